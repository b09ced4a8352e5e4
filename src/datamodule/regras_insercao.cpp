// A new row's key, owning unit and defaults, set when the row is started.
#include "datamodule/regras_comum.h"

#include "domain/regras_padroes.h"

namespace edi::datamodule {

namespace {

using domain::Origem;

bool sistemaUnidades(const UGeral& g) {
    return g.prmSistemaUnidades == "S";
}

class FontesModulo : public domain::FontesPadrao {
public:
    explicit FontesModulo(TDMGERAL& modulo) : m_(modulo), g_(modulo.geral()) {}

    bool aplica(Origem origem) override { return origem != Origem::GeradorForaSistemaUnidades || !sistemaUnidades(g_); }

    Value valor(Origem origem, std::string_view argumento) override {
        switch (origem) {
        case Origem::CodigoUnidade: return Value::text(g_.prmUnidade);
        case Origem::CentralOuUnidade: return Value::text(sistemaUnidades(g_) ? g_.prmUnidadeCentral : g_.prmUnidade);
        case Origem::UsuarioLogado: return Value::int32(m_.usuario().codigo);
        case Origem::NomeUsuarioLogado: return Value::text(m_.usuario().nome);
        case Origem::NomeQyUsuario: return Value::text(valorCorrente(m_, "qyUsuario", "NM_USUARIO").asText());
        case Origem::EmpresaAtual: {
            const Value empresa = valorCorrente(m_, "qyDadosEmpresa", "CD_EMPRESA");
            return empresa.isNull() ? Value::int32(0) : empresa;
        }
        case Origem::Agora: return Value::timestamp(m_.dm().GetDateTime());
        case Origem::Hoje: return Value::timestamp(m_.dm().GetDate());
        case Origem::DescricaoUnidade: return Value::text(g_.sUnidadeDefautDescricao);
        case Origem::Provincia: return Value::int32(g_.iProvincia);
        case Origem::DescricaoProvincia: return Value::text(g_.sProvinciaDefautDescricao);
        case Origem::Municipio: return Value::int32(g_.iMunicipio);
        case Origem::DescricaoMunicipio: return Value::text(g_.sMunicipioDefautDescricao);
        case Origem::Constante: return Value::text(std::string(argumento));
        case Origem::Gerador:
        case Origem::GeradorForaSistemaUnidades: return Value::int64(m_.dm().GeraCodigo(std::string(argumento)));
        case Origem::Vazio: return Value();
        case Origem::ColunaMestre: {
            // The whole value: CD_FICHA is 64-bit and may come from another unit.
            const std::string a(argumento);
            const size_t ponto = a.find('.');
            return valorCorrente(m_, a.substr(0, ponto), a.substr(ponto + 1));
        }
        }
        return Value();
    }

private:
    TDMGERAL& m_;
    UGeral& g_;
};

// Descriptions are looked up by the select for display only; a select without them has nothing to show.
bool soParaExibir(Origem origem) {
    return origem == Origem::Vazio || origem == Origem::DescricaoUnidade || origem == Origem::DescricaoProvincia ||
           origem == Origem::DescricaoMunicipio;
}

void aplicaPadroes(TDMGERAL& modulo, ModuleDataset& ds) {
    FontesModulo fontes(modulo);
    for (const domain::Padrao& p : domain::PadroesNovoRegistro(ds.name())) {
        if (!fontes.aplica(p.origem) || (soParaExibir(p.origem) && ds.raw().fieldIndex(p.coluna) < 0))
            continue;
        ds.assign(p.coluna, fontes.valor(p.origem, p.argumento));
    }
}

// A notification started while its patient is being edited marks the patient as having a result.
void marcaResultadoDoPaciente(TDMGERAL& modulo) {
    ModuleDataset& paciente = modulo.dataset("TB_PACIENTE");
    if (editandoOuInserindo(paciente))
        paciente.assign("FL_RESULTADO", Value::text("1"));
}

} // namespace

void instalaRegrasInsercao(TDMGERAL& modulo) {
    for (const std::string& nome : domain::DatasetsComPadroes())
        if (ModuleDataset* ds = modulo.findDataset(nome); ds && !domain::PadroesNovoRegistro(nome).empty())
            encadeia(ds->hooks().afterInsert, [&modulo](ModuleDataset& d) { aplicaPadroes(modulo, d); });
    encadeia(modulo.dataset("TB_NOTIFICACAO").hooks().afterInsert,
             [&modulo](ModuleDataset&) { marcaResultadoDoPaciente(modulo); });
}

} // namespace edi::datamodule
