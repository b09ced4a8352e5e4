// What is derived before a row is saved, what a dataset sets before it opens, which values a column refuses,
// the figures shown but never stored, and which datasets commit after saving.
#include "datamodule/regras_comum.h"

#include "app/geral.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/regras_calculos.h"
#include "domain/regras_transacao.h"

namespace edi::datamodule {

namespace {

const char* const kRegistrosComUsuario[] = {"TB_ATV",      "TB_PTV",        "TB_TARV",       "TB_TARV_ESQUEMA",
                                            "TB_TARV_CD4", "TB_TARV_ACOMP", "TB_COINFECCAO", "TB_PROGRAMA"};
const char* const kFormularios[] = {"TB_PRIMEIRA_CONSULTA", "TB_AVALIACAO_INICIAL", "TB_SEGUIMENTO_ENFERMAGEM",
                                    "TB_TRIAGEM_ENFERMAGEM", "TB_MAPA"};

// The patient dataset's current CD_PACIENTE; a row keeps its own while no patient is at hand.
void copiaPacienteCorrente(TDMGERAL& modulo, ModuleDataset& ds) {
    const Value paciente = valorCorrente(modulo, "TB_PACIENTE", "CD_PACIENTE");
    if (!paciente.isNull())
        ds.assign("CD_PACIENTE", paciente);
}

bool vazio(const Value& v) {
    return v.isNull() || (v.kind() == Value::Kind::Text && v.rawText().empty());
}

void marcaEvolucaoObito(ModuleDataset& notificacao, const Value& dtObito) {
    notificacao.assign("CD_EVOLUCAO", Value::int32(2));
    notificacao.assign("DT_EVOLUCAO", dtObito.isNull() ? Value() : Value::date(dtObito.asDate()));
}

// The patient's notification: same patient code and same owning unit, so a death recorded here never
// reaches another unit's notification that happens to use the same patient code.
bool localizaNotificacao(ModuleDataset& notificacao, const Value& paciente, const Value& unidade) {
    for (notificacao.first(); !notificacao.eof(); notificacao.next())
        if (notificacao.value("CD_PACIENTE").asInt64() == paciente.asInt64() &&
            notificacao.value("CD_UND").asInt64() == unidade.asInt64())
            return true;
    return false;
}

void antesDeGravarPaciente(TDMGERAL& modulo, ModuleDataset& paciente) {
    const Value resultado = paciente.value("FL_RESULTADO");
    if (!vazio(resultado) && formats::parseInteger(formats::trim(resultado.asText())) == 1)
        paciente.assign("FL_NOTIFICACAO", Value::int32(1));
    if (paciente.value("FL_OBITO").isNull() || paciente.value("FL_OBITO").asInt64() != 2)
        return;
    const Value dtObito = paciente.value("DT_OBITO");
    ModuleDataset& notificacao = modulo.dataset("TB_NOTIFICACAO");
    if (editandoOuInserindo(notificacao)) {
        marcaEvolucaoObito(notificacao, dtObito);
        return;
    }
    struct Fecha {
        ModuleDataset& ds;
        ~Fecha() { ds.close(); }
    } fecha{notificacao};
    notificacao.open();
    if (localizaNotificacao(notificacao, paciente.value("CD_PACIENTE"), paciente.value("CD_UND"))) {
        notificacao.edit();
        marcaEvolucaoObito(notificacao, dtObito);
        notificacao.post();
    }
}

void antesDeGravarAgenda(TDMGERAL& modulo, ModuleDataset& agenda) {
    const Value agora = Value::timestamp(modulo.dm().GetDateTime());
    if (!agenda.value("FL_CONFIRMADO").isNull() && agenda.value("FL_CONFIRMADO").asInt64() == 1)
        agenda.assign("DT_CONFIRMACAO", agora);
    agenda.assign("CD_USU_ALTERACAO", Value::int32(modulo.usuario().codigo));
    agenda.assign("DT_ALTERACAO", agora);
    if (agenda.value("NR_LAB").isNull())
        agenda.assign("NR_LAB", Value::int64(modulo.dm().GeraCodigo("gen_numero_lab")));
}

void antesDeGravarCaracterizacao(TDMGERAL& modulo, ModuleDataset& ds) {
    ds.assign("CD_UTENTE", Value::int64(modulo.dm().GeraCodigo("GEN_CARACTERIZACAO_CD_UTENTE")));
    copiaPacienteCorrente(modulo, ds);
}

void antesDeGravarRegistro(TDMGERAL& modulo, ModuleDataset& ds) {
    const std::string nome =
        ds.name() == "TB_ATV" ? modulo.usuario().nome : valorCorrente(modulo, "qyUsuario", "NM_USUARIO").asText();
    ds.assign("NM_USU", Value::text(nome));
    ds.assign("VL_VERSAO", Value::text(modulo.geral().prmVersao));
}

void antesDeGravarFormulario(TDMGERAL& modulo, ModuleDataset& ds) {
    ds.assign("DT_ALTERACAO", Value::timestamp(modulo.dm().GetDateTime()));
    ds.assign("CD_USUARIO_ALTERACAO", Value::int32(modulo.usuario().codigo));
}

// An appointment is confirmed only on its own day (the whole date-time compared with today at midnight).
void validaConfirmacao(TDMGERAL& modulo, ModuleDataset& agenda, const Value& valor) {
    const Value novo = convertForField(valor, agenda.raw().field("FL_CONFIRMADO"));
    if (novo.isNull() || novo.asInt64() != 1)
        return;
    const Value data = agenda.value("DT_AGENDA");
    if (!data.isNull() && data.asTimestamp() == modulo.dm().GetDate())
        return;
    modulo.dm().ui().showInformation("A Confirmação só pode ser relizada na data da consulta!");
    throw Abort();
}

void recusa(TDMGERAL& modulo, const std::string& texto) {
    modulo.dm().ui().showInformation(texto);
    throw Abort();
}

// An exposed child takes its mother's process number followed by the first free sequence number.
void numeraCriancaExposta(TDMGERAL& modulo, ModuleDataset& paciente, const Value& novo) {
    if (novo.asText() != "S")
        return;
    const Value mae = paciente.value("CD_PACIENTE_MAE");
    if (mae.isNull())
        recusa(modulo, "Antes de marcar como criança exposta é preciso selecionar a mãe pelo botão \"Procurar Mãe\"");
    if (!vazio(paciente.value("NR_PROCESSO_CRIANCA_EXP")))
        return;
    const Value nrProcessoMae = PegaValor(modulo.dm(), "NR_PROCESSO", "PACIENTE", {"CD_PACIENTE"}, {mae});
    if (nrProcessoMae.isNull())
        recusa(modulo, "O cadastro da mãe não tem número de processo");
    const std::string prefixo = domain::PrefixoNrProcessoCrianca(nrProcessoMae.asInt64());
    db::Query consulta(modulo.dm().DB(), "SELECT NR_PROCESSO_CRIANCA_EXP FROM PACIENTE\n"
                                         "WHERE NR_PROCESSO_CRIANCA_EXP like :NR_PROCESSO_CRIANCA_EXP");
    if (!ExecutaSQL(consulta, {"NR_PROCESSO_CRIANCA_EXP"}, {Value::text(prefixo + "%")})) {
        modulo.dm().ui().showError("Não foi possível numerar a criança exposta: a consulta dos números de "
                                   "processo já usados falhou.");
        throw Abort();
    }
    std::vector<std::string> usados;
    for (; !consulta.eof(); consulta.next())
        usados.push_back(consulta.value(0).asText());
    consulta.close();
    const std::string numero = domain::ProximoNrProcessoCrianca(prefixo, usados);
    const auto largura = static_cast<size_t>(paciente.raw().field("NR_PROCESSO_CRIANCA_EXP").size);
    if (numero.size() > largura) {
        modulo.dm().ui().showError("O número de processo da criança exposta (" + numero + ") não cabe nas " +
                                   std::to_string(largura) + " posições da coluna.");
        throw Abort();
    }
    paciente.assign("NR_PROCESSO_CRIANCA_EXP", Value::text(numero));
}

void calculaAgenda(ModuleDataset& agenda) {
    agenda.setCalculated("DS_REALIZADO", Value::text(domain::SimNao(agenda.value("FL_REALIZADO"))));
    agenda.setCalculated("DS_REMARCADO", Value::text(domain::SimNao(agenda.value("FL_REMARCADO"))));
    agenda.setCalculated("DS_TRANSFERIDO", Value::text(domain::SimNao(agenda.value("FL_TRANSFERIDO"))));
    agenda.setCalculated("DS_CONFIRMADO", Value::text(domain::SimNao(agenda.value("FL_CONFIRMADO"))));
    const Value confirmado = agenda.value("FL_CONFIRMADO");
    const bool confirmada = !confirmado.isNull() && confirmado.asInt64() == 1;
    agenda.setCalculated("CALC_STATUS", confirmada ? Value::text("Confirmado") : Value());
    const bool temDigital = agenda.raw().fieldIndex("DIGITAL") >= 0;
    const Value digital = temDigital ? agenda.value("DIGITAL") : Value();
    agenda.setCalculated("FL_DIGITAL", Value::int32(!digital.isNull() && digital.asInt64() == 1 ? 1 : 0));
}

void calculaResultadoCd4(ModuleDataset& ds) {
    const domain::FigurasCd4 f = domain::CalculaCd4(ds.value("NR_CD3"), ds.value("NR_CD4"), ds.value("NR_CD8"));
    const auto poe = [&](const char* coluna, const std::optional<double>& v) {
        ds.setCalculated(coluna, v ? Value::real(*v) : Value());
    };
    poe("NR_PRCD4", f.prcd4);
    poe("NR_PRCD8", f.prcd8);
    poe("NR_RCD4CD8", f.rcd4cd8);
}

FieldDef texto(const char* nome, int tamanho) {
    return {nome, FieldType::VarChar, tamanho, 0, false};
}
FieldDef numero(const char* nome, FieldType tipo) {
    return {nome, tipo, 0, 0, false};
}

constexpr int kCasasCd4 = 2; // the figures' display pattern "0.00"

void instalaCalculados(TDMGERAL& modulo) {
    ModuleDataset& agenda = modulo.dataset("TB_AGENDA");
    for (const char* c : {"DS_REALIZADO", "DS_REMARCADO", "DS_TRANSFERIDO", "DS_CONFIRMADO"})
        agenda.addCalculated(texto(c, 3));
    agenda.addCalculated(texto("CALC_STATUS", 50));
    agenda.addCalculated(numero("FL_DIGITAL", FieldType::Integer));
    agenda.hooks().calcFields = calculaAgenda;

    ModuleDataset& cd4 = modulo.dataset("TB_RESULTADO_CD4");
    for (const char* c : {"NR_PRCD4", "NR_PRCD8", "NR_RCD4CD8"})
        cd4.addCalculated(numero(c, FieldType::Double), kCasasCd4);
    cd4.addCalculated(texto("CTX_REFAZER", 10));
    cd4.hooks().calcFields = calculaResultadoCd4;
}

void antesDeGravar(TDMGERAL& modulo, const char* dataset, void (*regra)(TDMGERAL&, ModuleDataset&)) {
    encadeia(modulo.dataset(dataset).hooks().beforePost, [&modulo, regra](ModuleDataset& ds) { regra(modulo, ds); });
}

void instalaPoliticaDeCommit(TDMGERAL& modulo) {
    for (const std::string& nome : modulo.datasetNames()) {
        ModuleDataset& ds = modulo.dataset(nome);
        const auto commit = [&modulo](ModuleDataset&) { modulo.dm().Commit(); };
        if (domain::ComitaAposGravar(nome))
            encadeia(ds.hooks().afterPost, commit);
        if (domain::ComitaAposExcluir(nome))
            encadeia(ds.hooks().afterDelete, commit);
    }
}

} // namespace

void instalaRegrasGravacao(TDMGERAL& modulo) {
    antesDeGravar(modulo, "TB_NOTIFICACAO", copiaPacienteCorrente);
    antesDeGravar(modulo, "TB_PACIENTE", antesDeGravarPaciente);
    antesDeGravar(modulo, "TB_AGENDA", antesDeGravarAgenda);
    antesDeGravar(modulo, "TB_CARACTERIZACAO", antesDeGravarCaracterizacao);
    for (const char* registro : kRegistrosComUsuario)
        antesDeGravar(modulo, registro, antesDeGravarRegistro);
    for (const char* formulario : kFormularios)
        antesDeGravar(modulo, formulario, antesDeGravarFormulario);

    // The list of laboratory staff that names a result's responsible person.
    encadeia(modulo.dataset("TB_RESULTADO_CD4").hooks().beforeOpen, [&modulo](ModuleDataset& ds) {
        if (ds.hasParam("CD_TABELA"))
            ds.setParam("CD_TABELA", Value::text(modulo.geral().prmTabRespLab));
    });

    modulo.dataset("TB_AGENDA").hooks().validate["FL_CONFIRMADO"] = [&modulo](ModuleDataset& ds, const Value& v) {
        validaConfirmacao(modulo, ds, v);
    };
    modulo.dataset("TB_PACIENTE").hooks().validate["FL_CRIANCA_EXPOSTA"] =
        [&modulo](ModuleDataset& ds, const Value& v) { numeraCriancaExposta(modulo, ds, v); };

    instalaCalculados(modulo);
    instalaPoliticaDeCommit(modulo);
}

} // namespace edi::datamodule
