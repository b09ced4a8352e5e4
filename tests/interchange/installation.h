#pragma once

#include "app/geral.h"
#include "app/session.h"
#include "db/query.h"
#include "interchange/tfrm_edi.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace edi::test {

// The tables the engine tests exchange: a patient table with every value type, the units, and a few
// programme registers, plus what the engine and the session read.
inline const char* kEsquemaMotor = R"(create table DUAL (X integer)
;
insert into DUAL values (1)
;
create generator GEN_EDI
;
create table PARAMETRO (CD_PARAMETRO integer not null primary key, VALOR varchar(200))
;
create table TABELA_EDI (NM_TABELA char(31) not null primary key, FL_ENVIAR char(1), FL_RECEBER char(1),
  NR_ORDEM integer, NM_ALIAS varchar(50))
;
create table UNIDADE (CD_UNIDADE integer not null primary key, DS_UNIDADE varchar(60), CD_UND integer,
  DT_EXP timestamp, CD_EDI integer)
;
create table PACIENTE (CD_PACIENTE integer not null, CD_UND integer not null, NM_PACIENTE varchar(60),
  TP_SEXO char(1), DT_NASCIMENTO date, DT_CADASTRO timestamp, NR_PESO numeric(18,4), NR_CARTAO bigint,
  DS_OBS blob sub_type text, BL_FOTO blob, FL_ATIVO smallint, DT_EXP timestamp, CD_EDI integer,
  primary key (CD_PACIENTE, CD_UND))
;
create table REGISTRO_TARV (CD_REGISTRO integer not null, CD_UND integer not null, VL_MESANO varchar(8),
  NR_QTD integer, DT_EXP timestamp, CD_EDI integer, primary key (CD_REGISTRO, CD_UND))
;
create table REGISTRO_TARV_AR (CD_REGISTRO integer not null, CD_UND integer not null, VL_MESANO varchar(8),
  NR_QTD integer, DT_EXP timestamp, CD_EDI integer, primary key (CD_REGISTRO, CD_UND))
;
create table REGISTRO_TARV_ACOMP (CD_REGISTRO integer not null, CD_UND integer not null, VL_MESANO varchar(8),
  NR_QTD integer check (NR_QTD >= 0), DT_EXP timestamp, CD_EDI integer, primary key (CD_REGISTRO, CD_UND))
)";

// One installation: its own database, program folder, session, parameters and engine.
struct Instalacao {
    TempDir home;
    db::ConnectionParams params;
    RecordingUi ui;
    std::unique_ptr<TDM> dm;
    UGeral geral;
    std::unique_ptr<TfrmEDI> engine;
    std::vector<std::string> refsDescartadas; // files the engine asked the server to drop

    // A database with the engine tests' small schema.
    Instalacao(const std::string& unidade, const std::string& central = "31") {
        params.database = (home.path() / "edi.fdb").string();
        {
            auto db = db::Database::create(params, "UTF8", 8192, false);
            roda(*db, kEsquemaMotor);
            roda(*db, "insert into PARAMETRO values (1, '" + unidade + "')\n;\ninsert into PARAMETRO values (27, '" +
                          central + "')\n;\ninsert into PARAMETRO values (29, '')");
        }
        abre();
    }
    // A database made by `criar` (given the connection) before the session opens.
    template <typename Criar> Instalacao(Criar criar, const char* arquivo) {
        params.database = (home.path() / arquivo).string();
        criar(params);
        abre();
    }
    static void roda(db::Database& db, const std::string& script) {
        std::stringstream in(script);
        std::string linha, comando;
        auto executa = [&] {
            if (comando.find_first_not_of(" \n") != std::string::npos) {
                db.execute(comando);
                db.transaction().commitRetaining();
            }
            comando.clear();
        };
        while (std::getline(in, linha)) {
            if (linha == ";")
                executa();
            else
                comando += linha + "\n";
        }
        executa();
    }
    // Opens the session and the engine as the program does at start-up.
    void abre() {
        dm = std::make_unique<TDM>(params, ui);
        geral = UGeral();
        geral.sPath = home.path() / "";
        InicializaParametros(*dm, geral);
        engine = std::make_unique<TfrmEDI>(*dm, geral, ui);
        engine->FormCreate();
        engine->memoria = [] { return MemoriaFisica{2096633, 1048576}; };
        engine->DeleteRefEDI_UNIDADE = [this](const std::string& f) {
            refsDescartadas.push_back(f);
            return std::string("OK");
        };
    }
    void fecha() {
        engine.reset();
        dm.reset();
    }
    void registra(const std::string& tabela, int ordem, const std::string& enviar = "S",
                  const std::string& receber = "S", const std::string& alias = "") {
        sql("insert into TABELA_EDI values ('" + tabela + "', '" + enviar + "', '" + receber + "', " +
            std::to_string(ordem) + ", " + (alias.empty() ? "null" : "'" + alias + "'") + ")");
    }
    void sql(const std::string& statement) {
        dm->DB().execute(statement);
        dm->Commit();
    }
    std::string texto(const std::string& query) {
        db::Query q(dm->DB(), query);
        q.open();
        return q.eof() ? "<none>" : q.value(0).asText();
    }
    int64_t numero(const std::string& query) {
        db::Query q(dm->DB(), query);
        q.open();
        return q.value(0).asInt64();
    }
    // Every row of a table as text, ordered by the given columns: a signature to compare two databases.
    std::vector<std::string> linhas(const std::string& tabela, const std::string& ordem,
                                    const std::vector<std::string>& ignorar = {}) {
        db::Query q(dm->DB(), "select * from " + tabela + " order by " + ordem);
        std::vector<std::string> out;
        for (q.open(); !q.eof(); q.next()) {
            std::string linha;
            for (size_t i = 0; i < q.fields().size(); ++i) {
                if (std::find(ignorar.begin(), ignorar.end(), q.fields()[i].name) != ignorar.end())
                    continue;
                linha += q.fields()[i].name + "=" + q.value(i).debugString() + ";";
            }
            out.push_back(linha);
        }
        return out;
    }
    std::vector<std::filesystem::path> arquivos(const std::filesystem::path& pasta) const {
        std::vector<std::filesystem::path> out;
        if (std::filesystem::exists(pasta))
            for (const auto& e : std::filesystem::directory_iterator(pasta))
                if (e.is_regular_file())
                    out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::filesystem::path> saida() const { return arquivos(geral.sPathOut); }
    // Hands every outgoing packet of this installation to another one's incoming folder.
    void entregaPara(Instalacao& outra) {
        for (const auto& f : saida())
            std::filesystem::rename(f, outra.geral.sPathIn / f.filename());
    }
};

// A month sheet and its follow-up, registered at both sides in that order; at the central unit the follow-up's
// foreign key refuses a child without its sheet.
inline void registraFichaEAcompanhamento(Instalacao& u, Instalacao& c) {
    for (Instalacao* i : {&u, &c}) {
        i->registra("REGISTRO_TARV", 1);
        i->registra("REGISTRO_TARV_ACOMP", 2);
    }
    c.sql("alter table REGISTRO_TARV_ACOMP add constraint FK_ACOMP foreign key (CD_REGISTRO, CD_UND)"
          " references REGISTRO_TARV");
}

} // namespace edi::test
