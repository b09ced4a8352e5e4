#include "domain/seed.h"

#include "core/errors.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/schema.h"
#include "domain/seed_values.h"
#include "domain/table_writer.h"

#include <array>
#include <climits>
#include <functional>
#include <map>
#include <memory>

namespace edi::domain {

namespace {

// The seed's "today": rows must depend on the seed alone, never on the clock.
const Date kHoje = Date::fromYmd(2024, 6, 28);
constexpr int kMesesDeRegisto = 3; // month sheets for the months before kHoje

struct Lugar {
    int provincia = 0;
    int municipio = 0;
};

struct Paciente {
    int64_t codigo = 0;
    Pessoa pessoa;
    Date nascimento;
    int idade = 0;
    Lugar lugar;
    bool gestante = false;
};

struct Utilizador {
    int64_t codigo = 0;
    std::string nome;
};

Value texto(const std::string& s) {
    return Value::text(s);
}
Value inteiro(int64_t v) {
    return Value::int32(static_cast<int32_t>(v));
}
Value data(Date d) {
    return Value::date(d);
}
Value momento(Timestamp t) {
    return Value::timestamp(t);
}
Value bytesDe(const std::string& s) {
    return Value::blob(Bytes(s.begin(), s.end()));
}
Value simNao(bool on) {
    return Value::text(on ? "S" : "N");
}

using Lista = std::span<const char* const>;

constexpr std::array<const char*, 3> kPaises = {"República do Vale Verde", "Ilhas do Sul", "Terra Nova"};
constexpr std::array<const char*, 4> kProvincias = {"Planalto Norte", "Litoral Sul", "Vale do Rio Claro",
                                                    "Campos Altos"};
constexpr std::array<const char*, 12> kMunicipios = {
    "Santa Luzia",   "São Brás",   "Vila Alegre", "Porto Sereno", "Águas Claras", "Nova Esperança",
    "Ribeira Funda", "Monte Belo", "Cachoeira",   "Lagoa Seca",   "Pedra Branca", "Conceição do Mato"};
constexpr std::array<const char*, 8> kOcupacoes = {"Agricultor", "Professor", "Comerciante", "Estudante",
                                                   "Enfermeiro", "Motorista", "Doméstica",   "Pescador"};
constexpr std::array<const char*, 3> kTiposDocumento = {"Cartão de identidade", "Passaporte", "Cédula pessoal"};
constexpr std::array<const char*, 3> kFormas = {"Comprimido", "Xarope", "Cápsula"};
constexpr std::array<const char*, 5> kServicos = {"Aconselhamento e testagem", "Consulta de seguimento", "Laboratório",
                                                  "Farmácia", "Pediatria"};
constexpr std::array<const char*, 4> kTiposAbandono = {"Mudança de residência", "Falta de transporte",
                                                       "Óbito não confirmado", "Recusa do tratamento"};
constexpr std::array<const char*, 3> kTestes = {"Teste rápido", "ELISA", "Western blot"};
constexpr std::array<const char*, 8> kRelatorios = {"Relatório de ATV",      "Relatório de PTV",
                                                    "Relatório de TARV",     "Relatório de TARV Esquema",
                                                    "Relatório de TARV CD4", "Relatório de Acompanhamento",
                                                    "Relatório do Programa", "Relatório de Coinfecção"};

struct Medicamento {
    const char* nome;
    const char* sigla;
    const char* apresentacao;
};
constexpr std::array<Medicamento, 5> kMedicamentos = {{{"Zidovudina", "AZT", "300 mg"},
                                                       {"Lamivudina", "3TC", "150 mg"},
                                                       {"Nevirapina", "NVP", "200 mg"},
                                                       {"Efavirenz", "EFV", "600 mg"},
                                                       {"Tenofovir", "TDF", "300 mg"}}};

class Seeder {
public:
    Seeder(db::Database& db, const SeedOptions& options) : db_(db), options_(options), r_(options.seed) {}
    SeedSummary run();

private:
    TableWriter& w(const char* table);
    int64_t nextKey(const char* table, const char* column);
    bool isEmpty(const char* table);
    std::string parameter(int code);
    int intParameter(int code);
    Value und() const { return inteiro(unit_); }

    void lista(const char* table, const char* codeColumn, const char* descriptionColumn, Lista items);
    void referenceLists();
    void geography();
    void cid10();
    void loadPlaces();
    void staff();
    void patient();
    void notification(const Paciente& p);
    void riskFactors(int64_t ficha, const Paciente& p, Date notificada, const std::array<bool, 6>& fatores);
    void pregnancy(const Paciente& p, Date notificada);
    void appointments(const Paciente& p, Date desde);
    void abandonment(const Paciente& p);
    void registers();
    int64_t monthSheet(const char* table, int tipo, int year, int month,
                       const std::function<void(TableWriter&, int linha)>& fill, int linhas);
    void awaitAcceptance(int64_t geralAtv);
    void auditColumns(TableWriter& t, Timestamp quando);
    void syncGenerators();

    db::Database& db_;
    SeedOptions options_;
    SeedRandom r_;
    int unit_ = 0;
    int central_ = 0;
    std::string versao_;
    std::map<std::string, std::unique_ptr<TableWriter>> writers_;
    std::map<std::string, int64_t> keys_;
    std::vector<Lugar> lugares_;
    Lugar lugarDaUnidade_;
    std::vector<int64_t> medicos_;
    std::vector<int64_t> investigadores_;
    Utilizador utilizador_;
    int processo_ = 0;
};

TableWriter& Seeder::w(const char* table) {
    auto& slot = writers_[table];
    if (!slot)
        slot = std::make_unique<TableWriter>(db_, domain::table(table));
    return *slot;
}

// Keys continue after the largest one in the table, so a second run adds rows instead of colliding.
int64_t Seeder::nextKey(const char* table, const char* column) {
    const std::string id = std::string(table) + "." + column;
    auto it = keys_.find(id);
    if (it == keys_.end()) {
        db::Query q(db_, "SELECT MAX(" + std::string(column) + ") FROM " + table);
        q.open();
        const int64_t largest = q.value(0).isNull() ? 0 : q.value(0).asInt64();
        it = keys_.emplace(id, largest).first;
    }
    return ++it->second;
}

bool Seeder::isEmpty(const char* table) {
    db::Query q(db_, "SELECT COUNT(*) FROM " + std::string(table));
    q.open();
    return q.value(0).asInt64() == 0;
}

std::string Seeder::parameter(int code) {
    db::Query q(db_, "SELECT VALOR FROM PARAMETRO WHERE CD_PARAMETRO = :CD_PARAMETRO");
    q.setParam("CD_PARAMETRO", Value::int32(code));
    q.open();
    if (q.eof())
        throw Error("O banco de dados não tem o parâmetro " + std::to_string(code) +
                    "; seed preenche bancos criados por edi-admin create-db");
    return formats::trim(q.value(0).asText());
}

int Seeder::intParameter(int code) {
    const std::string valor = parameter(code);
    const auto n = formats::parseInteger(valor);
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        throw Error("O parâmetro " + std::to_string(code) + " contém \"" + valor + "\", que não é um código");
    return static_cast<int>(*n);
}

void Seeder::lista(const char* table, const char* codeColumn, const char* descriptionColumn, Lista items) {
    if (!isEmpty(table))
        return;
    TableWriter& t = w(table);
    const bool owned = t.table().hasColumn("CD_UND");
    for (size_t i = 0; i < items.size(); ++i) {
        t.set(codeColumn, inteiro(static_cast<int64_t>(i + 1))).set(descriptionColumn, texto(items[i]));
        if (owned)
            t.set("CD_UND", inteiro(central_)); // the central unit keeps the lists
        t.insert();
    }
}

void Seeder::geography() {
    lista("PAIS", "CD_PAIS", "DS_PAIS", kPaises);
    if (isEmpty("PROVINCIA")) {
        for (size_t i = 0; i < kProvincias.size(); ++i) {
            w("PROVINCIA")
                .set("CD_PROVINCIA", inteiro(static_cast<int64_t>(i + 1)))
                .set("CD_PAIS", inteiro(1))
                .set("DS_PROVINCIA", texto(kProvincias[i]))
                .set("CD_UND", inteiro(central_));
            w("PROVINCIA").insert();
        }
    }
    if (isEmpty("MUNICIPIO")) {
        for (size_t i = 0; i < kMunicipios.size(); ++i) {
            w("MUNICIPIO")
                .set("CD_MUNICIPIO", inteiro(static_cast<int64_t>(i + 1)))
                .set("CD_PROVINCIA", inteiro(static_cast<int64_t>(i % kProvincias.size() + 1)))
                .set("DS_MUNICIPIO", texto(kMunicipios[i]))
                .set("CD_UND", inteiro(central_));
            w("MUNICIPIO").insert();
        }
    }
}

void Seeder::cid10() {
    if (!isEmpty("CID10_SUBCATEGORIA"))
        return;
    w("CID10_CAPITULO")
        .set("CD_CAPITULO", inteiro(1))
        .set("DS_DESCRICAO", texto("Algumas doenças infecciosas e parasitárias"))
        .set("DS_DESCRABREV", texto("Doenças infecciosas e parasitárias"));
    w("CID10_CAPITULO").insert();
    struct Categoria {
        int codigo;
        const char* cat;
        const char* descricao;
    };
    const Categoria categorias[] = {{1, "A15", "Tuberculose respiratória, com confirmação bacteriológica"},
                                    {2, "B20", "Doença pelo HIV resultando em doenças infecciosas e parasitárias"},
                                    {3, "B24", "Doença pelo HIV não especificada"}};
    for (const Categoria& c : categorias) {
        w("CID10_CATEGORIA")
            .set("CD_CATEGORIA", inteiro(c.codigo))
            .set("CD_CAT", texto(c.cat))
            .set("CD_CAPITULO", inteiro(1))
            .set("CD_GRUPO", inteiro(1))
            .set("DS_DESCRICAO", texto(c.descricao))
            .set("DS_DESCRABREV", texto(c.cat));
        w("CID10_CATEGORIA").insert();
    }
    struct Subcategoria {
        int categoria;
        const char* codigo;
        const char* descricao;
    };
    const Subcategoria subcategorias[] = {{1, "A15.0", "Tuberculose pulmonar confirmada por baciloscopia"},
                                          {2, "B20.0", "Doença pelo HIV resultando em infecção por micobactérias"},
                                          {2, "B20.4", "Doença pelo HIV resultando em candidíase"},
                                          {2, "B20.7", "Doença pelo HIV resultando em infecções múltiplas"},
                                          {3, "B24", "Doença pelo HIV não especificada"}};
    int codigo = 0;
    for (const Subcategoria& s : subcategorias) {
        w("CID10_SUBCATEGORIA")
            .set("CD_SUBCATEGORIA", inteiro(++codigo))
            .set("CD_SUBCAT", texto(s.codigo))
            .set("CD_CAPITULO", inteiro(1))
            .set("CD_GRUPO", inteiro(1))
            .set("CD_CATEGORIA", inteiro(s.categoria))
            .set("FL_USAR", simNao(true))
            .set("DS_DESCRICAO", texto(s.descricao))
            .set("DS_DESCRABREV", texto(s.codigo));
        w("CID10_SUBCATEGORIA").insert();
    }
}

void Seeder::referenceLists() {
    geography();
    lista("OCUPACAO", "CD_OCUPACAO", "DS_OCUPACAO", kOcupacoes);
    lista("TIPO_DOCUMENTO", "CD_TIPO_DOCUMENTO", "DS_TIPO_DOCUMENTO", kTiposDocumento);
    lista("FORMA", "CD_FORMA", "DS_FORMA", kFormas);
    lista("SERVICOS", "CD_SERVICO", "DS_SERVICO", kServicos);
    lista("TIPO_ABANDONO", "CD_TIPO_ABANDONO", "DS_TIPO_ABANDONO", kTiposAbandono);
    if (isEmpty("ESQUEMA")) {
        for (size_t i = 0; i < kMedicamentos.size(); ++i) {
            const Medicamento& m = kMedicamentos[i];
            w("ESQUEMA")
                .set("CD_ESQUEMA", inteiro(static_cast<int64_t>(i + 1)))
                .set("DS_NOME_MEDICAMENTO", texto(m.nome))
                .set("DS_SIGLA", texto(m.sigla))
                .set("DS_APRESENTACAO", texto(m.apresentacao))
                .set("CD_UND", inteiro(central_))
                .set("FL_COMPONENTE", simNao(i < 3))
                .set("VL_ARV", texto(m.sigla));
            w("ESQUEMA").insert();
        }
    }
    if (isEmpty("STATUS")) {
        const std::pair<const char*, const char*> estados[] = {
            {"AT", "Activo"}, {"IN", "Inactivo"}, {"PE", "Pendente"}};
        for (const auto& [sigla, descricao] : estados) {
            w("STATUS").set("SG_STATUS", texto(sigla)).set("DS_STATUS", texto(descricao));
            w("STATUS").insert();
        }
    }
    if (isEmpty("TABELA_AUXILIAR")) {
        const int lista = intParameter(23); // the laboratory's responsible persons
        for (int i = 1; i <= 3; ++i) {
            w("TABELA_AUXILIAR")
                .set("CD_TABELA", inteiro(lista))
                .set("CD_CODIGO", inteiro(i))
                .set("DS_DESCRICAO", texto("Técn. " + randomPessoa(r_).nome));
            w("TABELA_AUXILIAR").insert();
        }
    }
    cid10();
}

void Seeder::loadPlaces() {
    db::Query q(db_, "SELECT CD_PROVINCIA, CD_MUNICIPIO FROM MUNICIPIO ORDER BY CD_MUNICIPIO, CD_UND");
    for (q.open(); !q.eof(); q.next())
        lugares_.push_back({static_cast<int>(q.value(0).asInt64()), static_cast<int>(q.value(1).asInt64())});
    if (lugares_.empty())
        lugares_.push_back({1, 1});
    lugarDaUnidade_ = lugares_.front();
    db::Query u(db_, "UPDATE UNIDADE SET CD_PROVINCIA = :CD_PROVINCIA, CD_MUNICIPIO = :CD_MUNICIPIO "
                     "WHERE CD_UNIDADE = :CD_UNIDADE AND CD_PROVINCIA IS NULL");
    u.setParam("CD_PROVINCIA", inteiro(lugarDaUnidade_.provincia));
    u.setParam("CD_MUNICIPIO", inteiro(lugarDaUnidade_.municipio));
    u.setParam("CD_UNIDADE", und());
    u.execute();
}

void Seeder::auditColumns(TableWriter& t, Timestamp quando) {
    t.set("CD_USU_INCLUSAO", inteiro(utilizador_.codigo)).set("DT_INCLUSAO", momento(quando));
}

void Seeder::staff() {
    const int64_t usuario = nextKey("USUARIO", "CD_USUARIO");
    utilizador_ = {usuario, randomPessoa(r_).nome};
    const std::string login = "tecnico" + std::to_string(usuario);
    std::string senha;
    for (int i = 0; i < 32; ++i)
        senha += "0123456789abcdef"[r_.between(0, 15)];
    w("USUARIO")
        .set("CD_USUARIO", inteiro(usuario))
        .set("CD_UND", und())
        .set("EMAIL", texto(login + "@unidade" + std::to_string(unit_) + ".example"))
        .set("NOME", texto(utilizador_.nome))
        .set("SENHA", texto(senha))
        .set("NM_LOGIN", texto(login))
        .set("DT_CADASTRO", momento(atTime(addDays(kHoje, -400), r_)))
        .set("NM_USUARIO", texto(utilizador_.nome));
    w("USUARIO").insert();

    for (int i = 0; i < 5; ++i) {
        const Pessoa p = randomPessoa(r_);
        const std::string nome = (p.feminino ? "Dra. " : "Dr. ") + p.nome;
        const int64_t medico = nextKey("MEDICO", "CD_MEDICO");
        medicos_.push_back(medico);
        w("MEDICO")
            .set("CD_MEDICO", inteiro(medico))
            .set("NM_MEDICO", texto(nome))
            .set("NR_TELEFONE", texto(randomTelefone(r_)))
            .set("CD_UND", und())
            .set("FL_ATIVO", inteiro(1))
            .set("DT_ATIVO", momento(atTime(addDays(kHoje, -r_.between(100, 2000)), r_)))
            .set("NR_ATENDIMENTO", inteiro(r_.between(10, 30)));
        w("MEDICO").insert();
        w("PESSOA")
            .set("CD_PESSOA", inteiro(nextKey("PESSOA", "CD_PESSOA")))
            .set("CD_UND", und())
            .set("NM_PESSOA", texto(nome))
            .set("TP_PESSOA", texto("ME"))
            .set("BL_IMAGEM", Value::blob(randomBytes(r_, 64, 700)))
            .set("FL_ATIVO", simNao(true))
            .set("FL_PRINCIPAL", simNao(false))
            .set("FL_PADRAO", simNao(false));
        w("PESSOA").insert();
    }
    for (int i = 0; i < 3; ++i) {
        const int64_t investigador = nextKey("INVESTIGADOR", "CD_INVESTIGADOR");
        investigadores_.push_back(investigador);
        w("INVESTIGADOR")
            .set("CD_INVESTIGADOR", inteiro(investigador))
            .set("NM_INVESTIGADOR", texto(randomPessoa(r_).nome))
            .set("NM_FUNCAO", texto(i == 0 ? "Supervisor de vigilância" : "Técnico de vigilância"))
            .set("NR_TELEFONE", texto(randomTelefone(r_)))
            .set("CD_UND", und());
        w("INVESTIGADOR").insert();
    }
}

void Seeder::patient() {
    Paciente p;
    p.codigo = nextKey("PACIENTE", "CD_PACIENTE");
    p.pessoa = randomPessoa(r_);
    p.nascimento = addDays(kHoje, -r_.between(200, 80 * 365));
    p.idade = yearsBetween(p.nascimento, kHoje);
    p.lugar = r_.pick(std::span<const Lugar>(lugares_));
    p.gestante = p.pessoa.feminino && p.idade >= 16 && p.idade <= 42 && r_.chance(20);
    const bool falecido = r_.chance(4);
    const Pessoa mae = randomPessoa(r_, true);

    TableWriter& t = w("PACIENTE");
    t.set("CD_PACIENTE", inteiro(p.codigo))
        .set("CD_PAIS", inteiro(1))
        .set("CD_MUNICIPIO", inteiro(p.lugar.municipio))
        .set("CD_MOR_MUNICIPIO", inteiro(p.lugar.municipio))
        .set("CD_PROVINCIA", inteiro(p.lugar.provincia))
        .set("NM_PACIENTE", texto(p.pessoa.nome))
        .set("DT_NASCIMENTO", data(p.nascimento))
        .set("IDADE", Value::int16(static_cast<int16_t>(p.idade)))
        .set("NM_MAE", texto(mae.nome))
        .set("CD_MORADA_PERM", simNao(r_.chance(85)))
        .set("TP_SEXO", texto(p.pessoa.feminino ? "F" : "M"))
        .set("ESTADO_CIVIL", inteiro(r_.between(1, 4)))
        .set("CD_NAR_PROVINCIA", inteiro(p.lugar.provincia))
        .set("CD_OCUPACAO", inteiro(r_.between(1, static_cast<int>(kOcupacoes.size()))))
        .set("TP_DOCUMENTO", texto(kTiposDocumento[0]))
        .set("NR_DOCUMENTO",
             texto(std::to_string(r_.between(100000, 999999)) + "LA0" + std::to_string(r_.between(10, 99))))
        .set("NR_TEL_1", texto(randomTelefone(r_)))
        .set("DS_ENDERECO", texto(randomEndereco(r_)))
        .set("FL_GESTANTE", inteiro(p.gestante ? 1 : 0))
        .set("FL_NOTIFICACAO", inteiro(0))
        .set("CD_UND", und())
        .set("CD_UNIDADE", und())
        .set("NR_PROCESSO", inteiro(++processo_))
        .set("FL_TRANS", inteiro(0))
        .set("FL_OBITO", inteiro(falecido ? 2 : 1))
        .set("FL_CRIANCA_EXPOSTA", simNao(false));
    if (p.gestante)
        t.set("NR_MESES_GESTANTE", inteiro(r_.between(1, 8)));
    if (falecido)
        t.set("DT_OBITO", momento(atTime(addDays(kHoje, -r_.between(1, 300)), r_)));
    if (r_.chance(40))
        t.set("NR_TEL_2", texto(randomTelefone(r_)));
    const bool notificado = r_.chance(70);
    if (notificado)
        t.set("FL_NOTIFICACAO", inteiro(1)).set("FL_RESULTADO", texto("1"));
    t.insert();

    if (notificado)
        notification(p);
    if (r_.chance(3))
        abandonment(p);
}

void Seeder::notification(const Paciente& p) {
    const int64_t ficha = nextKey("NOTIFICACAO", "CD_FICHA");
    const Date diagnostico = addDays(kHoje, -r_.between(10, 1500));
    const Date notificada = addDays(diagnostico, r_.between(0, 9));
    const int triagem = r_.between(1, 2);
    std::array<bool, 6> fatores{}; // transfusion, piercing, dental, surgery, circumcision, tattoo
    for (size_t i = 0; i < fatores.size(); ++i)
        fatores[i] = r_.chance(12);
    fatores[4] = fatores[4] && !p.pessoa.feminino;
    TableWriter& t = w("NOTIFICACAO");
    t.set("CD_FICHA", Value::int64(ficha))
        .set("CD_UNIDADE", und())
        .set("CD_USUARIO", inteiro(1))
        .set("CD_MUNICIPIO", inteiro(lugarDaUnidade_.municipio))
        .set("CD_UNIDADE_TRATAMENTO", und())
        .set("CD_MUNICIPIO_TRATAMENTO", inteiro(lugarDaUnidade_.municipio))
        .set("CD_PACIENTE", inteiro(p.codigo))
        .set("DT_NOTIFICACAO", data(notificada))
        .set("DT_DIAGNOSTICO", data(diagnostico))
        .set("CD_RELACOES_SEXO", Value::int16(static_cast<int16_t>(r_.between(1, 3))))
        .set("CD_MAE_POSITIVO", Value::int16(static_cast<int16_t>(r_.between(0, 2))))
        .set("SN_TRANSFUSAO_SANGUE", inteiro(fatores[0]))
        .set("SN_PERFURACAO", inteiro(fatores[1]))
        .set("SN_TRAT_DENTARIO", inteiro(fatores[2]))
        .set("SN_INTERV_CIRURGICA", inteiro(fatores[3]))
        .set("SN_CIRCUNCISAO", inteiro(fatores[4]))
        .set("SN_TATUAGEM", inteiro(fatores[5]))
        .set("CD_TESTE_TRIAGEM", Value::int16(static_cast<int16_t>(triagem)))
        .set("DS_TESTE_TRIAGEM", texto(kTestes[static_cast<size_t>(triagem - 1)]))
        .set("CD_TESTE_CONFIRMATORIO", Value::int16(3))
        .set("DS_TESTE_CONFIRMATORIO", texto(kTestes[2]))
        .set("CD_OMS", Value::int16(static_cast<int16_t>(r_.between(1, 4))))
        .set("CD_CD4", inteiro(r_.between(50, 1200)))
        .set("DS_OBSERVACAO", texto(randomObservacao(r_)))
        .set("CD_NOTIFICACAO", inteiro(nextKey("NOTIFICACAO", "CD_NOTIFICACAO")))
        .set("NM_ENTREVISTADOR", texto(randomPessoa(r_).nome))
        .set("NM_MEDICO", texto(randomPessoa(r_).nome))
        .set("TP_ENTRADA", inteiro(1))
        .set("EVIDENCIA_GESTANTE", inteiro(p.gestante ? 1 : 0))
        .set("CD_PROVINCIA_TRATAMENTO", inteiro(lugarDaUnidade_.provincia))
        .set("CD_PROVINCIA_NOT", inteiro(lugarDaUnidade_.provincia))
        .set("CD_MEDICO", inteiro(r_.pick(std::span<const int64_t>(medicos_))))
        .set("NR_NOTIFICACAO", texto("N" + std::to_string(100000 + ficha)))
        .set("CD_INVESTIGADOR", inteiro(r_.pick(std::span<const int64_t>(investigadores_))))
        .set("DT_TESTE_TRIAGEM", momento(atTime(diagnostico, r_)))
        .set("DT_TESTE_CONFIRMATORIO", momento(atTime(addDays(diagnostico, 2), r_)))
        .set("NR_PROCESSO_UTENTE", texto(std::to_string(unit_) + "/" + std::to_string(processo_)))
        .set("CD_UND", und())
        .set("DT_ENTRADA", data(notificada));
    t.insert();
    riskFactors(ficha, p, notificada, fatores);
    if (p.gestante)
        pregnancy(p, notificada);
    appointments(p, notificada);
}

void Seeder::riskFactors(int64_t ficha, const Paciente& p, Date notificada, const std::array<bool, 6>& fatores) {
    struct Fator {
        const char* table;
        const char* key;
        const char* date;
    };
    static const Fator kFatores[] = {
        {"TRANSFUSAO", "CD_TRANSFUSAO", "DT_TRANSFUSAO"},    {"PERFURACAO", "CD_PERFURACAO", "DT_PERFURACAO"},
        {"DENTARIO", "CD_DENTARIO", "DT_DENTARIO"},          {"INTERV_CIRURGICA", "CD_INTERV_CIRURGICA", "DT_CIRURGIA"},
        {"CIRCUNCISAO", "CD_CIRCUNCISAO", "DT_CIRCUNCISAO"}, {"TATUAGEM", "CD_TATUAGEM", "DT_TATUAGEM"}};
    for (size_t i = 0; i < fatores.size(); ++i) {
        if (!fatores[i])
            continue;
        const Fator& f = kFatores[i];
        const int vezes = r_.between(1, 2);
        for (int n = 0; n < vezes; ++n) {
            TableWriter& t = w(f.table);
            const int antes = r_.between(30, std::max(31, p.idade * 300));
            t.set(f.key, inteiro(nextKey(f.table, f.key)))
                .set("CD_FICHA", Value::int64(ficha))
                .set(f.date, data(addDays(notificada, -antes)))
                .set("CD_UND", und());
            if (t.table().hasColumn("DS_TRANSFUSAO"))
                t.set("DS_TRANSFUSAO", texto("Transfusão no hospital municipal, " + std::to_string(r_.between(1, 3)) +
                                             " unidade(s) de sangue"));
            t.insert();
        }
    }
}

void Seeder::pregnancy(const Paciente& p, Date notificada) {
    TableWriter& t = w("NOTIFICACAO_GESTANTE");
    t.set("CD_NOT_GESTANTE", inteiro(nextKey("NOTIFICACAO_GESTANTE", "CD_NOT_GESTANTE")))
        .set("CD_NR_NOFITICACAO", texto("G" + std::to_string(p.codigo)))
        .set("DT_NOTIFICACAO", momento(atTime(notificada, r_)))
        .set("CD_PROVINCIA", inteiro(lugarDaUnidade_.provincia))
        .set("CD_MUNICIPIO", inteiro(lugarDaUnidade_.municipio))
        .set("CD_UNIDADE", und())
        .set("NM_GEST", texto(p.pessoa.nome))
        .set("DT_NASC_GEST", momento(Timestamp{p.nascimento, {}}))
        .set("IDADE_GEST", inteiro(p.idade))
        .set("NR_PROCESSO_GEST", inteiro(processo_))
        .set("FL_ESTADO_CIVIL", inteiro(2))
        .set("DS_ESTADO_CIVIL", texto("União de facto"))
        .set("NR_TELEMOVEL", texto(randomTelefone(r_)))
        .set("DS_BAIRRO_MORADA", texto(randomEndereco(r_)))
        .set("FL_MOM_DIAG_VIH_1", inteiro(1))
        .set("DS_MOM_DIAG_VIH_1", texto("Durante a gravidez"))
        .set("DT_DIAG_VIH_1", momento(atTime(notificada, r_)))
        .set("FL_PRENATAL_CPN_2", inteiro(1))
        .set("DS_PRENATAL_CPN_2", texto("Sim"))
        .set("DT_PRIMEIRA_CON_2", momento(atTime(addDays(notificada, -30), r_)))
        .set("FL_IDADE_GES_2", inteiro(r_.between(8, 30)))
        .set("DT_PROVAVEL_PARTO_2", momento(Timestamp{addDays(notificada, r_.between(60, 200)), {}}))
        .set("FL_USA_ANTVIRAL_2", inteiro(1))
        .set("DS_USA_ANTVIRAL_2", texto("Sim, tratamento antirretroviral"))
        .set("CD_INVESTIGADOR", inteiro(r_.pick(std::span<const int64_t>(investigadores_))))
        .set("CD_UND", und());
    auditColumns(t, atTime(notificada, r_));
    t.insert();
}

void Seeder::appointments(const Paciente& p, Date desde) {
    const int consultas = r_.between(1, 3);
    for (int i = 0; i < consultas; ++i) {
        const int64_t agenda = nextKey("AGENDA", "CD_AGENDA");
        const Date dia = addDays(desde, r_.between(7, 180));
        const bool realizada = dia < kHoje;
        const bool laboratorio = r_.chance(50);
        TableWriter& t = w("AGENDA");
        t.set("CD_AGENDA", inteiro(agenda))
            .set("CD_UND", und())
            .set("CD_PACIENTE", inteiro(p.codigo))
            .set("DT_AGENDA", momento(Timestamp{dia, {}}))
            .set("CD_UNIDADE", und())
            .set("FL_REMARCADO", inteiro(0))
            .set("FL_REALIZADO", inteiro(realizada))
            .set("CD_MEDICO", inteiro(r_.pick(std::span<const int64_t>(medicos_))))
            .set("FL_CONFIRMADO", inteiro(realizada))
            .set("FL_TRANSFERIDO", inteiro(0))
            .set("FL_ESQUEMA", inteiro(0))
            .set("FL_PARECER", inteiro(realizada && r_.chance(50)))
            .set("FL_LAB", simNao(laboratorio))
            .set("FL_RX", simNao(r_.chance(10)));
        if (realizada)
            t.set("DT_CONFIRMACAO", momento(atTime(dia, r_)));
        auditColumns(t, atTime(addDays(dia, -7), r_));
        if (laboratorio) {
            t.set("NR_LAB", inteiro(nextKey("AGENDA", "NR_LAB"))).set("FL_EXAME1", simNao(true));
            t.insert();
            w("REQUISICAO")
                .set("CD_AGENDA", inteiro(agenda))
                .set("BL_REQUISICAO", bytesDe("Requisição de análises\nUtente: " + p.pessoa.nome +
                                              "\nExames: contagem de CD4/CD8, hemograma\n"));
            w("REQUISICAO").insert();
            if (realizada) {
                const int64_t cd3 = r_.between(6000000, 25000000); // units of 1/10000
                w("RESULTADO_CD4")
                    .set("CD_AGENDA", inteiro(agenda))
                    .set("NR_CD3", Value::numeric({cd3, 4}))
                    .set("NR_CD4", Value::numeric({cd3 / 100 * r_.between(5, 45), 4}))
                    .set("NR_CD8", Value::numeric({cd3 / 100 * r_.between(20, 60), 4}))
                    .set("CD_RESPONSAVEL", inteiro(r_.between(1, 3)))
                    .set("DT_RESULTADO", data(addDays(dia, r_.between(1, 5))))
                    .set("FL_REFAZER", simNao(r_.chance(5)));
                w("RESULTADO_CD4").insert();
            }
        } else {
            t.insert();
        }
    }
}

void Seeder::abandonment(const Paciente& p) {
    w("ABANDONO_HIST")
        .set("CD_ABANDONO_HIST", inteiro(nextKey("ABANDONO_HIST", "CD_ABANDONO_HIST")))
        .set("DT_CONTATO", momento(atTime(addDays(kHoje, -r_.between(1, 200)), r_)))
        .set("NM_RESP_CONTATO", texto(randomPessoa(r_).nome))
        .set("TP_ABANDONO", inteiro(r_.between(1, static_cast<int>(kTiposAbandono.size()))))
        .set("DS_DETALHE_ABANDONO", texto("Contacto telefónico; família informa que o utente " +
                                          std::string(r_.chance(50) ? "voltará à consulta." : "mudou-se.")))
        .set("FL_ENCONTRADO", inteiro(r_.chance(60)))
        .set("NM_INFORMANTE", texto(randomPessoa(r_).nome))
        .set("CD_PACIENTE", inteiro(p.codigo))
        .set("CD_UND", und());
    w("ABANDONO_HIST").insert();
}

// One month sheet of a register: `linhas` rows sharing unit, province, municipality and month, one general
// register number, and the sending protocol that announces the sheet. Returns the general register number.
int64_t Seeder::monthSheet(const char* table, int tipo, int year, int month,
                           const std::function<void(TableWriter&, int linha)>& fill, int linhas) {
    const Table& desc = domain::table(table);
    const std::string key = desc.primaryKey.front();
    const int64_t geral = nextKey("PROTOCOLO_ENVIO", "CD_REGISTRO_GERAL");
    const Date fimDoMes = addDays(Date::fromYmd(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1), -1);
    const Timestamp quando = atTime(addDays(fimDoMes, r_.between(1, 5)), r_);
    for (int linha = 0; linha < linhas; ++linha) {
        TableWriter& t = w(table);
        t.set(key, inteiro(nextKey(table, key.c_str())))
            .set("CD_UND", und())
            .set("DT_REGISTRO", momento(Timestamp{fimDoMes, {}}))
            .set("CD_UNIDADE", und())
            .set("CD_PROVINCIA", inteiro(lugarDaUnidade_.provincia))
            .set("CD_MUNICIPIO", inteiro(lugarDaUnidade_.municipio))
            .set("VL_MESANO", texto(mesAno(year, month)))
            .set("CD_REGISTRO_GERAL", inteiro(geral));
        auditColumns(t, quando);
        if (desc.hasColumn("NM_USU"))
            t.set("NM_USU", texto(utilizador_.nome)).set("VL_VERSAO", texto(versao_));
        fill(t, linha);
        t.insert();
    }
    const std::string documento = "<html><body><h1>" + std::string(kRelatorios[static_cast<size_t>(tipo - 1)]) +
                                  "</h1><p>Unidade " + std::to_string(unit_) + " &ndash; " + mesAno(year, month) +
                                  "</p><p>" + std::to_string(linhas) + " linha(s)</p></body></html>";
    w("PROTOCOLO_ENVIO")
        .set("CD_PROTOCOLO", inteiro(nextKey("PROTOCOLO_ENVIO", "CD_PROTOCOLO")))
        .set("CD_UND", und())
        .set("TP_PROTOCOLO", inteiro(tipo))
        .set("CD_UNIDADE", und())
        .set("CD_PROVINCIA", inteiro(lugarDaUnidade_.provincia))
        .set("CD_MUNICIPIO", inteiro(lugarDaUnidade_.municipio))
        .set("VL_MESANO", texto(mesAno(year, month)))
        .set("BL_PROTOCOLO", bytesDe(documento))
        .set("FL_ENVIADO", simNao(false))
        .set("CD_REGISTRO_GERAL", inteiro(geral));
    auditColumns(w("PROTOCOLO_ENVIO"), quando);
    w("PROTOCOLO_ENVIO").insert();
    return geral;
}

void Seeder::registers() {
    constexpr int kFaixas = 4;
    // A cell of the age-band by sex grid.
    auto cell = [](TableWriter& t, int linha) {
        t.set("ID_FAIXA_ETARIA", inteiro(linha / 2 + 1))
            .set("FL_SEXO", texto(linha % 2 ? "F" : "M"))
            .set("FL_GESTANTE", inteiro(0))
            .set("VL_X", inteiro(linha / 2 + 1))
            .set("VL_Y", inteiro(linha % 2 + 1));
    };
    int year, month, day;
    kHoje.toYmd(year, month, day);
    int64_t ultimaAtv = 0;
    for (int m = kMesesDeRegisto; m >= 1; --m) {
        const int total = year * 12 + (month - 1) - m;
        const int y = total / 12, mo = total % 12 + 1;
        ultimaAtv = monthSheet(
            "REGISTRO_ATV", 1, y, mo,
            [&](TableWriter& t, int linha) {
                cell(t, linha);
                const int pos = r_.between(0, 12), neg = r_.between(5, 80), ind = r_.between(0, 2);
                t.set("VL_POSITIVOS", inteiro(pos))
                    .set("VL_NEGATIVOS", inteiro(neg))
                    .set("VL_INDETERMINADOS", inteiro(ind));
                t.set("VL_ACONSELHADOS", inteiro(pos + neg + ind));
            },
            kFaixas * 2);
        monthSheet(
            "REGISTRO_PTV", 2, y, mo,
            [&](TableWriter& t, int linha) {
                static const char* const grupos[] = {"GESTANTE", "PARTO", "CRIANCA"};
                const std::string g = grupos[linha];
                t.set("FL_" + g, inteiro(1)).set("ID_GRUPOS_" + g, inteiro(linha + 1));
                t.set("VL_X_" + g, inteiro(1)).set("VL_Y_" + g, inteiro(linha + 1));
                if (linha == 0)
                    t.set("VL_ADMITIDAS_PTV", inteiro(r_.between(0, 20)))
                        .set("VL_ADMITIDAS_PARTO", inteiro(r_.between(0, 10)))
                        .set("VL_ADMITIDAS_POS_PARTO", inteiro(r_.between(0, 5)));
                else if (linha == 1)
                    t.set("VL_TERAPIA_COMPLETA", inteiro(r_.between(0, 10)))
                        .set("VL_TERAPIA_OUTRO", inteiro(r_.between(0, 4)))
                        .set("VL_TERAPIA_NENHUM", inteiro(r_.between(0, 2)));
                else
                    t.set("VL_TOTAL_CRIANCA", inteiro(r_.between(0, 12)));
            },
            3);
        monthSheet(
            "REGISTRO_TARV", 3, y, mo,
            [&](TableWriter& t, int linha) {
                cell(t, linha);
                t.set("VL_ACUMULADOS", inteiro(r_.between(20, 400)))
                    .set("VL_NOVOS", inteiro(r_.between(0, 25)))
                    .set("VL_TRANSFERIDOS", inteiro(r_.between(0, 4)))
                    .set("VL_ABANDONOS", inteiro(r_.between(0, 6)))
                    .set("VL_TRANSFERIDOS_PARA", inteiro(r_.between(0, 3)))
                    .set("VL_OBITOS", inteiro(r_.between(0, 2)));
            },
            kFaixas * 2);
        monthSheet(
            "REGISTRO_TARV_CD4", 5, y, mo,
            [&](TableWriter& t, int linha) {
                cell(t, linha);
                t.set("VL_CD4_MENOR_350", inteiro(r_.between(0, 30)))
                    .set("VL_CD4_MAIOR_350", inteiro(r_.between(0, 60)));
                for (int e = 1; e <= 4; ++e)
                    t.set("VL_ESTADO_CLINICO_" + std::to_string(e), inteiro(r_.between(0, 15)));
            },
            kFaixas * 2);
        monthSheet(
            "REGISTRO_COINFECCAO", 8, y, mo,
            [&](TableWriter& t, int linha) {
                cell(t, linha);
                t.set("VL_VIH_POSITIVOS", inteiro(r_.between(0, 10)))
                    .set("VL_TRATAMENTO_ARVS", inteiro(r_.between(0, 8)));
            },
            kFaixas * 2);
    }
    awaitAcceptance(ultimaAtv);
}

// A copy of a counselling sheet waiting for acceptance.
void Seeder::awaitAcceptance(int64_t geralAtv) {
    db::Query q(db_,
                "SELECT * FROM REGISTRO_ATV WHERE CD_REGISTRO_GERAL = :G AND CD_UND = :U ORDER BY CD_REGISTRO_ATV");
    q.setParam("G", inteiro(geralAtv));
    q.setParam("U", und());
    TableWriter& copia = w("REGISTRO_ATV_ARE");
    for (q.open(); !q.eof(); q.next()) {
        for (const Column& c : copia.table().columns)
            if (const int i = q.fieldIndex(c.name); i >= 0)
                copia.set(c.name, q.value(static_cast<size_t>(i)));
        copia.set("CD_REGISTRO_ATV", inteiro(nextKey("REGISTRO_ATV_ARE", "CD_REGISTRO_ATV")))
            .set("FL_ACEITAR", inteiro(0))
            .set("FL_STATUS", texto("P"));
        copia.insert();
    }
}

// Moves every generator past the largest value its column holds.
void Seeder::syncGenerators() {
    for (const Table& t : tables()) {
        for (const GeneratorUse& g : t.generators) {
            db::Query largest(db_, "SELECT MAX(" + g.column + ") FROM " + t.name);
            largest.open();
            if (largest.value(0).isNull())
                continue;
            db::Query current(db_, "SELECT GEN_ID(" + g.generator + ", 0) FROM RDB$DATABASE");
            current.open();
            const int64_t behind = largest.value(0).asInt64() - current.value(0).asInt64();
            if (behind > 0) {
                db::Query advance(db_, "SELECT GEN_ID(" + g.generator + ", " + std::to_string(behind) +
                                           ") FROM RDB$DATABASE");
                advance.open();
            }
        }
    }
}

SeedSummary Seeder::run() {
    unit_ = intParameter(1);
    central_ = intParameter(27);
    versao_ = parameter(2);
    referenceLists();
    loadPlaces();
    staff();
    for (int i = 0; i < options_.patients; ++i)
        patient();
    registers();
    syncGenerators();
    db_.transaction().commit();

    SeedSummary summary;
    summary.unit = unit_;
    for (const Table& t : tables()) {
        auto it = writers_.find(t.name);
        if (it == writers_.end() || it->second->rowsWritten() == 0)
            continue;
        summary.rowsPerTable.emplace_back(t.name, it->second->rowsWritten());
        summary.rows += it->second->rowsWritten();
    }
    return summary;
}

} // namespace

SeedSummary seedDatabase(db::Database& db, const SeedOptions& options) {
    if (options.patients < 0)
        throw Error("O número de pacientes não pode ser negativo");
    Seeder seeder(db, options);
    try {
        return seeder.run();
    } catch (...) {
        db.transaction().rollback();
        throw;
    }
}

} // namespace edi::domain
