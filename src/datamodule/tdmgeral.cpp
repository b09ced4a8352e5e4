#include "datamodule/tdmgeral.h"

#include "core/errors.h"
#include "core/formats.h"

namespace edi::datamodule {

TDMGERAL::TDMGERAL(TDM& dm, UGeral& geral) : dm_(dm), geral_(geral) {
    for (const DatasetDef& def : datasetDefs()) {
        auto ds = std::make_unique<ModuleDataset>(dm_.DB(), def);
        ds->unitCode = [this] { return Value::text(geral_.prmUnidade); };
        ds->nextValue = [this](const std::string& generator) { return dm_.GeraCodigo(generator); };
        datasets_.emplace(formats::toUpper(def.name), std::move(ds));
    }
    linkMasters();
    // qyUnidade reads this installation's unit.
    qyUnidade().hooks().beforeOpen = [this](ModuleDataset& ds) {
        ds.setParam("Unidade", Value::text(geral_.prmUnidade));
    };
    instalaRegras(*this);
}

TDMGERAL::~TDMGERAL() = default;

void TDMGERAL::linkMasters() {
    for (auto& [name, ds] : datasets_)
        if (!ds->def().master.master.empty())
            dataset(ds->def().master.master).addDetail(*ds);
}

ModuleDataset* TDMGERAL::findDataset(const std::string& name) {
    auto it = datasets_.find(formats::toUpper(name));
    return it == datasets_.end() ? nullptr : it->second.get();
}

ModuleDataset& TDMGERAL::dataset(const std::string& name) {
    if (ModuleDataset* ds = findDataset(name))
        return *ds;
    throw Error("O módulo de dados não tem o conjunto " + name);
}

std::vector<std::string> TDMGERAL::datasetNames() const {
    std::vector<std::string> out;
    for (const DatasetDef& def : datasetDefs())
        out.push_back(def.name);
    return out;
}

void TDMGERAL::DataModuleCreate() {
    try {
        InicializaParametros(dm_, geral_);
        ModuleDataset& unidade = qyUnidade();
        unidade.open();
        const bool achou = !unidade.eof();
        geral_.iProvincia = achou ? unidade.value("CD_PROVINCIA").asInt32() : 0;
        geral_.iMunicipio = achou ? unidade.value("CD_MUNICIPIO").asInt32() : 0;
        geral_.sProvinciaDefautDescricao = achou ? unidade.value("DS_PROVINCIA").asText() : "";
        geral_.sMunicipioDefautDescricao = achou ? unidade.value("DS_MUNICIPIO").asText() : "";
        unidade.close();
        InicializaDados(dm_, geral_);
    } catch (const Abort&) {
        // already reported
    } catch (const Error& e) {
        dm_.ui().showError(std::string("Erro ao iniciar o módulo de dados: ") + e.what());
    }
}

void TDMGERAL::GetVersaoUnidadesWeb(const CarregaLista& carregaLista) {
    try {
        gravaVersoes(carregaLista);
    } catch (...) {
        try {
            dm_.Commit();
        } catch (const std::exception&) {
            // the fetch's own failure is the one to report
        }
        throw;
    }
    dm_.Commit();
}

void TDMGERAL::gravaVersoes(const CarregaLista& carregaLista) {
    cds_ = carregaLista("/dbUnidade.php?op=S", geral_.sPathTemp / "Unidades.xml");
    ModuleDataset& unidade = TB_UNIDADE();
    struct Fecha {
        ModuleDataset& ds;
        ~Fecha() { ds.close(); }
    } fecha{unidade};
    unidade.open();
    for (cds_.first(); !cds_.eof(); cds_.next()) {
        if (!unidade.locate("CD_UNIDADE", Value::int32(cds_.value("UNIDADE").asInt32())))
            continue;
        unidade.edit();
        unidade.setValue("VL_VERSAO", Value::text(cds_.value("VERSAO").asText()));
        unidade.post();
    }
}

} // namespace edi::datamodule
