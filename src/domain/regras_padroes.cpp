#include "domain/regras_padroes.h"

#include <map>

namespace edi::domain {

namespace {

using O = Origem;
using Lista = std::vector<Padrao>;

// The place of a notification or of its treatment: this unit, its province and municipality.
Lista lugar(const char* unidade, const char* dsUnidade, const char* provincia, const char* dsProvincia,
            const char* municipio, const char* dsMunicipio) {
    return {{unidade, O::CodigoUnidade}, {dsUnidade, O::DescricaoUnidade},
            {provincia, O::Provincia},   {dsProvincia, O::DescricaoProvincia},
            {municipio, O::Municipio},   {dsMunicipio, O::DescricaoMunicipio}};
}

Lista junta(std::initializer_list<Lista> partes) {
    Lista todas;
    for (const auto& parte : partes)
        todas.insert(todas.end(), parte.begin(), parte.end());
    return todas;
}

Lista notificacao() {
    return junta(
        {{{"CD_USUARIO", O::Constante, "1"},
          {"CD_FICHA", O::Gerador, "NOTIFICACAO_CD_FICHA_SEQ"},
          {"CD_NOTIFICACAO", O::Gerador, "GEN_CD_NOTIFICACAO"}},
         lugar("CD_UNIDADE", "DS_UNIDADE", "CD_PROVINCIA_NOT", "DS_PROVINCIA_NOT", "CD_MUNICIPIO", "DS_MUNICIPIO_NOT"),
         lugar("CD_UNIDADE_TRATAMENTO", "DS_UNIDADE_TRATAMENTO", "CD_PROVINCIA_TRATAMENTO", "DS_PROVINCIA_TRATAMENTO",
               "CD_MUNICIPIO_TRATAMENTO", "DS_MUNICIPIO_TRATAMENTO"),
         {{"CD_UND", O::CodigoUnidade}}});
}

// A risk-factor row of a notification: its own key, the unit, today's date and the notification's CD_FICHA.
Lista fatorRisco(const char* chave, const char* gerador, const char* data) {
    return {{chave, O::Gerador, gerador},
            {"CD_UND", O::CodigoUnidade},
            {data, O::Hoje},
            {"CD_FICHA", O::ColunaMestre, "TB_NOTIFICACAO.CD_FICHA"}};
}

Lista empresa(const char* chave, const char* gerador, bool comUnidade) {
    Lista l;
    if (chave)
        l.push_back({chave, O::Gerador, gerador});
    if (comUnidade)
        l.push_back({"CD_UND", O::CodigoUnidade});
    l.push_back({"CD_EMPRESA", O::EmpresaAtual});
    return l;
}

// A detail of TB_PESSOA: the person's key comes from the master row.
Lista detalhePessoa() {
    return {{"CD_PESSOA", O::ColunaMestre, "TB_PESSOA.CD_PESSOA"}, {"CD_EMPRESA", O::EmpresaAtual}};
}

Lista chaveEUnidade(const char* chave, const char* gerador) {
    return {{chave, O::Gerador, gerador}, {"CD_UND", O::CodigoUnidade}};
}

const Lista kUnidade = {{"CD_UND", O::CodigoUnidade}};

// A clinical form: created now by the login user.
const Lista kFormulario = {{"DT_CADASTRO", O::Agora}, {"CD_USUARIO_CADASTRO", O::UsuarioLogado}};

// The monthly registers: unit, creation and change stamps (two separate server reads).
const Lista kRegistro = {
    {"CD_UND", O::CodigoUnidade},           {"CD_UNIDADE", O::CodigoUnidade}, {"CD_USU_INCLUSAO", O::UsuarioLogado},
    {"CD_USU_ALTERACAO", O::UsuarioLogado}, {"DT_INCLUSAO", O::Agora},        {"DT_ALTERACAO", O::Agora}};

const Lista kRegistroSemAlteracao = {{"CD_UND", O::CodigoUnidade},
                                     {"CD_UNIDADE", O::CodigoUnidade},
                                     {"CD_USU_INCLUSAO", O::UsuarioLogado},
                                     {"DT_INCLUSAO", O::Agora}};

const Lista kRegistroAceite = {{"CD_UND", O::CodigoUnidade},
                               {"DT_REGISTRO", O::Hoje},
                               {"FL_ACEITAR", O::Constante, "0"},
                               {"FL_STATUS", O::Constante, "P"}};

const std::map<std::string, Lista, std::less<>>& padroes() {
    static const std::map<std::string, Lista, std::less<>> tabela = {
        {"TB_USUARIO", chaveEUnidade("CD_USUARIO", "USUARIO_CD_USUARIO_SEQ")},
        {"TB_USUARIO_CMP", chaveEUnidade("CD_USUARIO", "USUARIO_CD_USUARIO_SEQ")},
        {"TB_PESSOA", empresa(nullptr, nullptr, true)},
        {"TB_PESSOA_DOC", detalhePessoa()},
        {"TB_PESSOA_ENDERECO", detalhePessoa()},
        {"TB_PESSOA_TEL", detalhePessoa()},
        {"TB_ENDERECO", empresa(nullptr, nullptr, false)},
        {"TB_DOCUMENTO", empresa(nullptr, nullptr, true)},
        {"TB_UNIDADE",
         {{"CD_UNIDADE", O::GeradorForaSistemaUnidades, "UNIDADE_CD_UNIDADE_SEQ"}, {"CD_UND", O::CentralOuUnidade}}},
        {"TB_TIPO_DOCUMENTO",
         {{"CD_TIPO_DOCUMENTO", O::GeradorForaSistemaUnidades, "TIPO_DOC_CD_TIPO_DOC_SEQ"},
          {"CD_UND", O::CentralOuUnidade}}},
        {"TB_PAIS", chaveEUnidade("CD_PAIS", "PAIS_CD_PAIS_SEQ")},
        {"TB_PROVINCIA", junta({chaveEUnidade("CD_PROVINCIA", "PROVINCIA_CD_PROVINCIA_SEQ"), {{"DS_PAIS", O::Vazio}}})},
        {"TB_MUNICIPIO", {{"CD_UND", O::CentralOuUnidade}, {"DS_PAIS", O::Vazio}, {"DS_PROVINCIA", O::Vazio}}},
        {"TB_OCUPACAO", {{"CD_UND", O::CentralOuUnidade}}},
        {"TB_MEDICO", chaveEUnidade("CD_MEDICO", "GEN_MEDICO")},
        {"TB_INVESTIGADOR", chaveEUnidade("CD_INVESTIGADOR", "GEN_INVESTIGADOR")},
        {"TB_ATENDIMENTO", chaveEUnidade("CD_ATENDIMENTO", "GEN_ATENDIMENTO")},
        {"TB_PARAMETRO", kUnidade},
        {"TB_ESQUEMA", kUnidade},
        {"TB_FORMA", kUnidade},
        {"TB_ST_UNIDADE",
         {{"CD_UND", O::CodigoUnidade},
          {"DT_INCLUSAO", O::Agora},
          {"FL_ATIVA", O::Constante, "N"},
          {"ST_STATUS", O::Constante, "P"},
          {"NM_USU", O::NomeQyUsuario}}},
        {"TB_VERSAO_RELATORIO",
         {{"DT_VERSAO", O::Agora}, {"CD_USUARIO", O::UsuarioLogado}, {"NM_USUARIO", O::NomeUsuarioLogado}}},
        {"TB_PACIENTE",
         {{"CD_PACIENTE", O::Gerador, "PACIENTE_CD_PACIENTE_SEQ"},
          {"CD_UND", O::CodigoUnidade},
          {"FL_GESTANTE", O::Constante, "0"},
          {"FL_TRANS", O::Constante, "0"},
          {"FL_OBITO", O::Constante, "1"},
          {"FL_CRIANCA_EXPOSTA", O::Constante, "N"},
          {"CD_UNIDADE", O::CodigoUnidade}}},
        {"TB_NOTIFICACAO", notificacao()},
        {"TB_TRANSFUSAO", fatorRisco("CD_TRANSFUSAO", "TRANSFUSAO_CD_TRANSFUSAO_SEQ", "DT_TRANSFUSAO")},
        {"TB_PERFURACAO", fatorRisco("CD_PERFURACAO", "PERFURACAO_CD_PERFURACAO_SEQ", "DT_PERFURACAO")},
        {"TB_TATUAGEM", fatorRisco("CD_TATUAGEM", "TATUAGEM_CD_TATUAGEM_SEQ", "DT_TATUAGEM")},
        {"TB_DENTARIO", fatorRisco("CD_DENTARIO", "DENTARIO_CD_DENTARIO_SEQ", "DT_DENTARIO")},
        {"TB_INTERV_CIRURGICA", fatorRisco("CD_INTERV_CIRURGICA", "INTERV_CIRURGICA_CD_INTERV_SEQ", "DT_CIRURGIA")},
        {"TB_CIRCUNCISAO", fatorRisco("CD_CIRCUNCISAO", "CIRCUNCISAO_CD_CIRCUNCISAO_SEQ", "DT_CIRCUNCISAO")},
        {"TB_NOT_GESTANTE",
         {{"CD_UND", O::CodigoUnidade}, {"CD_USU_INCLUSAO", O::UsuarioLogado}, {"DT_INCLUSAO", O::Agora}}},
        {"TB_ABANDONO", {{"CD_UND", O::CodigoUnidade}, {"DT_CONTATO", O::Hoje}}},
        {"TB_CARACTERIZACAO", junta({kUnidade, lugar("CD_UNIDADE", "DS_UNIDADE", "CD_PROVINCIA", "DS_PROVINCIA",
                                                     "CD_MUNICIPIO", "DS_MUNICIPIO")})},
        {"TB_AGENDA",
         {{"CD_AGENDA", O::Gerador, "GEN_AGENDA"},
          {"CD_UND", O::CodigoUnidade},
          {"FL_REMARCADO", O::Constante, "0"},
          {"FL_REALIZADO", O::Constante, "0"},
          {"FL_CONFIRMADO", O::Constante, "0"},
          {"FL_ESQUEMA", O::Constante, "0"},
          {"FL_LAB", O::Constante, "N"},
          {"FL_RX", O::Constante, "N"},
          {"CD_UNIDADE", O::CodigoUnidade},
          {"DS_UNIDADE", O::DescricaoUnidade},
          {"CD_USU_INCLUSAO", O::UsuarioLogado},
          {"DT_INCLUSAO", O::Agora}}},
        {"TB_PRIMEIRA_CONSULTA", kFormulario},
        {"TB_AVALIACAO_INICIAL", kFormulario},
        {"TB_SEGUIMENTO_ENFERMAGEM", kFormulario},
        {"TB_MAPA", kFormulario},
        {"TB_TRIAGEM_ENFERMAGEM", junta({kFormulario, {{"DT_CADASTRO_2", O::Hoje}}})},
        {"TB_ATV", kRegistro},
        {"TB_PTV", kRegistro},
        {"TB_TARV", kRegistro},
        {"TB_TARV_ACOMP", kRegistro},
        {"TB_TARV_CD4", kRegistro},
        {"TB_TARV_ESQUEMA", kRegistro},
        {"TB_COINFECCAO", kRegistro},
        {"TB_PROGRAMA", {{"CD_UND", O::CodigoUnidade}, {"CD_UNIDADE", O::CodigoUnidade}}},
        {"TB_TESTES_POSITIVOS", {{"CD_UND", O::CodigoUnidade}, {"CD_UNIDADE", O::CodigoUnidade}}},
        {"TB_CRIANCAS_EXP", kRegistroSemAlteracao},
        {"TB_PRE_NATAL", kRegistroSemAlteracao},
        {"TB_SERVICOS_ACOMP", kRegistroSemAlteracao},
        {"TB_SERVICOS_TARV", kRegistroSemAlteracao},
        {"TB_ATV_ARE", kRegistroAceite},
        {"TB_PTV_ARE", kRegistroAceite},
        {"TB_TARV_ARE", kRegistroAceite},
        {"TB_TARV_ACOMP_ARE", kRegistroAceite},
        {"TB_TARV_ESQUEMA_ARE", kRegistroAceite},
        {"TB_TARV_CD4_ARE", kRegistroAceite},
        {"TB_COINFECCAO_ARE", kRegistroAceite},
        {"TB_PROGRAMA_ARE", kRegistroAceite},
    };
    return tabela;
}

const std::map<std::string, VinculoGerador, std::less<>>& vinculos() {
    using M = MomentoGerador;
    static const std::map<std::string, VinculoGerador, std::less<>> tabela = {
        {"TB_PESSOA_TEL", {"GEN_TELEFONE", "CD_TELEFONE", M::Gravacao}},
        {"TB_ESQUEMA", {"GEN_ESQUEMA", "CD_ESQUEMA", M::Gravacao}},
        {"TB_FORMA", {"GEN_FORMA", "CD_FORMA", M::NovoRegistro}},
        {"TB_ST_UNIDADE", {"GEN_ST_UNIDADE", "CD_ST_UNIDADE", M::Gravacao}},
        {"TB_VERSAO_RELATORIO", {"GEN_VERSAO_RELATORIO", "CD_VERSAO", M::NovoRegistro}},
        {"TB_NOT_GESTANTE", {"GEN_NOT_GESTANTE", "CD_NOT_GESTANTE", M::NovoRegistro}},
        {"TB_ABANDONO", {"GEN_ABANDONO_HIST", "CD_ABANDONO_HIST", M::NovoRegistro}},
        {"TB_CARACTERIZACAO", {"GEN_CARACTERIZACAO", "CD_CARACTERIZACAO", M::Gravacao}},
        {"TB_PRIMEIRA_CONSULTA", {"GEN_PRIMEIRA_CONSULTA", "CD_PRIMEIRA_CONSULTA", M::NovoRegistro}},
        {"TB_AVALIACAO_INICIAL", {"GEN_AVALIACAO_INICIAL", "CD_AVALIACAO_INICIAL", M::NovoRegistro}},
        {"TB_SEGUIMENTO_ENFERMAGEM", {"GEN_SEGUIMENTO_ENFERMAGEM", "CD_SEGUIMENTO_ENFERMAGEM", M::NovoRegistro}},
        {"TB_MAPA", {"GEN_MAPA", "CD_MAPA", M::NovoRegistro}},
        {"TB_TRIAGEM_ENFERMAGEM", {"GEN_TRIAGEM_ENFERMAGEM", "CD_TRIAGEM_ENFERMAGEM", M::NovoRegistro}},
        {"TB_ATV", {"GEN_REGISTRO_ATV", "CD_REGISTRO_ATV", M::NovoRegistro}},
        {"TB_PTV", {"GEN_REGISTRO_PTV", "CD_REGISTRO_PTV", M::NovoRegistro}},
        {"TB_TARV", {"GEN_REGISTRO_TARV", "CD_REGISTRO_TARV", M::NovoRegistro}},
        {"TB_TARV_ACOMP", {"GEN_REGISTRO_TARV_ACOMP", "CD_REGISTRO_TARV_ACOMP", M::NovoRegistro}},
        {"TB_TARV_CD4", {"GEN_REGISTRO_TARV_CD4", "CD_REGISTRO_TARV_CD4", M::NovoRegistro}},
        {"TB_TARV_ESQUEMA", {"GEN_REGISTRO_TARV_ESQUEMA", "CD_REGISTRO_TARV_ESQUEMA", M::NovoRegistro}},
        {"TB_COINFECCAO", {"GEN_REGISTRO_COINFECCAO", "CD_REGISTRO_COINFECCAO", M::NovoRegistro}},
        {"TB_PROGRAMA", {"GEN_REGISTRO_PROGRAMA", "CD_REGISTRO_PROGRAMA", M::NovoRegistro}},
        {"TB_TESTES_POSITIVOS", {"GEN_REGISTRO_TESTES_POSITIVOS", "CD_REGISTRO_TESTES_POSITIVOS", M::NovoRegistro}},
        {"TB_CRIANCAS_EXP", {"GEN_REGISTRO_CRIANCAS_EXP", "CD_REGISTRO_CRIANCAS_EXP", M::NovoRegistro}},
        {"TB_PRE_NATAL", {"GEN_REGISTRO_PRE_NATAL", "CD_REGISTRO_PRE_NATAL", M::NovoRegistro}},
        {"TB_SERVICOS_ACOMP", {"GEN_REGISTRO_SERVICOS_ACOMP", "CD_REGISTRO_SERVICOS_ACOMP", M::NovoRegistro}},
        {"TB_SERVICOS_TARV", {"GEN_REGISTRO_SERVICOS_TARV", "CD_REGISTRO_SERVICOS_TARV", M::NovoRegistro}},
        {"TB_ATV_ARE", {"GEN_REGISTRO_ATV_ARE", "CD_REGISTRO_ATV", M::NovoRegistro}},
        {"TB_PTV_ARE", {"GEN_REGISTRO_PTV_ARE", "CD_REGISTRO_PTV", M::NovoRegistro}},
        {"TB_TARV_ARE", {"GEN_REGISTRO_TARV_ARE", "CD_REGISTRO_TARV", M::NovoRegistro}},
        {"TB_TARV_ACOMP_ARE", {"GEN_REGISTRO_TARV_ACOMP_ARE", "CD_REGISTRO_TARV_ACOMP", M::NovoRegistro}},
        {"TB_TARV_ESQUEMA_ARE", {"GEN_REGISTRO_TARV_ESQUEMA_ARE", "CD_REGISTRO_TARV_ESQUEMA", M::NovoRegistro}},
        {"TB_TARV_CD4_ARE", {"GEN_REGISTRO_TARV_CD4_ARE", "CD_REGISTRO_TARV_CD4", M::NovoRegistro}},
        {"TB_COINFECCAO_ARE", {"GEN_REGISTRO_COINFECCAO_ARE", "CD_REGISTRO_COINFECCAO", M::NovoRegistro}},
        {"TB_PROGRAMA_ARE", {"GEN_REGISTRO_PROGRAMA_ARE", "CD_REGISTRO_PROGRAMA", M::NovoRegistro}},
        {"TB_PROTOCOLO_ENVIO", {"GEN_PROTOCOLO_ENVIO", "CD_PROTOCOLO", M::NovoRegistro}},
        {"TB_ARQUIVO_EDI", {"GEN_ARQUIVO_EDI", "CD_ARQUIVO", M::NovoRegistro}},
        {"TB_SERVICOS", {"GEN_SERVICOS", "CD_SERVICO", M::NovoRegistro}},
    };
    return tabela;
}

} // namespace

const std::vector<Padrao>& PadroesNovoRegistro(std::string_view dataset) {
    static const Lista nenhum;
    const auto it = padroes().find(dataset);
    return it == padroes().end() ? nenhum : it->second;
}

const VinculoGerador* VinculoGeradorDe(std::string_view dataset) {
    const auto it = vinculos().find(dataset);
    return it == vinculos().end() ? nullptr : &it->second;
}

std::vector<std::string> DatasetsComPadroes() {
    std::vector<std::string> nomes;
    for (const auto& [nome, lista] : padroes())
        nomes.push_back(nome);
    for (const auto& [nome, vinculo] : vinculos())
        if (!padroes().contains(nome))
            nomes.push_back(nome);
    return nomes;
}

} // namespace edi::domain
