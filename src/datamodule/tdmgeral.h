#pragma once

#include "app/geral.h"
#include "app/log_sql.h"
#include "app/session.h"
#include "datamodule/module_dataset.h"
#include "packet/packet_table.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace edi::datamodule {

// The logged-in user of the data-entry application; code 0 and an empty name when nobody is.
struct Usuario {
    int32_t codigo = 0;
    std::string nome;
};

// The general data module: one dataset per table of the health-programme database and the read-only
// queries, all on the session's connection and transaction, with the rules bound to their events.
class TDMGERAL {
public:
    TDMGERAL(TDM& dm, UGeral& geral);
    ~TDMGERAL();

    TDM& dm() { return dm_; }
    UGeral& geral() { return geral_; }
    Usuario& usuario() { return usuario_; }

    // Start-up: the system parameters, then this unit's province and municipality, then InicializaDados.
    // A failing step is reported and the later ones are skipped; the program goes on starting.
    void DataModuleCreate();

    // Every unit's application version into UNIDADE.VL_VERSAO, through TB_UNIDADE. `carregaLista` fetches
    // the central server's list (given the path and query and the file to keep it in) as a data packet.
    // Commits however it ends: changed UNIDADE rows must not stay locked against the data-entry application
    // when a later step fails. A failure still reaches the caller.
    using CarregaLista = std::function<PacketTable(const std::string&, const std::filesystem::path&)>;
    void GetVersaoUnidadesWeb(const CarregaLista& carregaLista);
    PacketTable& cds() { return cds_; }

    // The SQL trace: one line per executed statement, error and transaction event of the session connection.
    // It lives with the session, so it is fed before and whatever the start-up of this module did.
    ListaLogSQL& LogSQL() { return dm_.LogSQL(); }
    void IBSQLMonitor1SQL(const db::TraceEvent& evento) { LogSQL().Registra(evento); }

    // Datasets and queries by name (TB_..., qy...); dataset() throws for an unknown name.
    ModuleDataset* findDataset(const std::string& name);
    ModuleDataset& dataset(const std::string& name);
    std::vector<std::string> datasetNames() const;

    ModuleDataset& TB_PARAMETRO() { return dataset("TB_PARAMETRO"); }
    ModuleDataset& TB_UNIDADE() { return dataset("TB_UNIDADE"); }
    ModuleDataset& TB_PROTOCOLO_ENVIO() { return dataset("TB_PROTOCOLO_ENVIO"); }
    ModuleDataset& qyUnidade() { return dataset("qyUnidade"); }

private:
    void linkMasters();
    void gravaVersoes(const CarregaLista& carregaLista);

    TDM& dm_;
    UGeral& geral_;
    Usuario usuario_;
    std::map<std::string, std::unique_ptr<ModuleDataset>> datasets_;
    PacketTable cds_;
};

// Binds the rules of the insert defaults, posting, deletion and validation to the module's datasets.
void instalaRegras(TDMGERAL& modulo);

} // namespace edi::datamodule
