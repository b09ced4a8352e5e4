#include "interchange/chaves.h"

#include "app/constants.h"
#include "app/session.h"
#include "app/unidade_de_trabalho.h"
#include "core/errors.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/ddl.h"
#include "domain/schema.h"

#include <ibase.h>

#include <algorithm>
#include <optional>

namespace edi {

namespace {

constexpr const char* kDono = "CD_UND";
constexpr size_t kMaxNome = 31;

struct ChavePrimaria {
    std::string nome;
    std::vector<std::string> colunas;
};

bool contem(const std::vector<std::string>& nomes, std::string_view nome) {
    return std::any_of(nomes.begin(), nomes.end(),
                       [&](const std::string& n) { return formats::equalsIgnoreCase(n, nome); });
}

std::string lista(const std::vector<std::string>& nomes) {
    std::string texto;
    for (const auto& n : nomes)
        texto += (texto.empty() ? "" : ", ") + n;
    return texto;
}

int64_t contagem(db::Database& db, const std::string& sql, const std::string& nome = "") {
    db::Query q(db, sql);
    if (!nome.empty())
        q.setParam("NOME", Value::text(nome));
    q.open();
    return q.value(0).asInt64();
}

ChavePrimaria chavePrimaria(db::Database& db, const std::string& T) {
    db::Query q(db, "select trim(c.rdb$constraint_name), trim(s.rdb$field_name) from rdb$relation_constraints c "
                    "join rdb$index_segments s on s.rdb$index_name = c.rdb$index_name "
                    "where c.rdb$relation_name = :NOME and c.rdb$constraint_type = 'PRIMARY KEY' "
                    "order by s.rdb$field_position");
    q.setParam("NOME", Value::text(T));
    ChavePrimaria pk;
    for (q.open(); !q.eof(); q.next()) {
        pk.nome = q.value(0).asText();
        pk.colunas.push_back(q.value(1).asText());
    }
    return pk;
}

// Null when the table has no such column; else whether the column is declared NOT NULL.
std::optional<bool> colunaObrigatoria(db::Database& db, const std::string& T, const std::string& coluna) {
    db::Query q(db, "select coalesce(rdb$null_flag, 0) from rdb$relation_fields "
                    "where rdb$relation_name = :T and rdb$field_name = :C");
    q.setParam("T", Value::text(T));
    q.setParam("C", Value::text(coluna));
    q.open();
    if (q.eof())
        return std::nullopt;
    return q.value(0).asInt64() != 0;
}

// A name of the engine's own making (INTEG_n) is not ours to give again.
std::string nomeDaChave(const std::string& T, const std::string& antigo) {
    const std::string nosso = "PK_" + T;
    return nosso.size() <= kMaxNome ? nosso : antigo;
}

// Schema statements take effect, and fail, at commit: they are committed here on their own. A hard commit
// first lets go of row versions that only this session's transaction still kept (a row given its owner or
// deleted a moment ago), which the engine would otherwise check too. The engine's text when they fail.
std::optional<std::string> aplica(TDM& dm, const std::vector<std::string>& comandos) {
    dm.RenovaTransacao();
    UnidadeDeTrabalho unidade(dm);
    try {
        for (const auto& c : comandos)
            dm.DB().execute(c);
        unidade.confirma();
    } catch (const Error& e) {
        unidade.desfaz();
        std::string texto = e.what();
        std::replace(texto.begin(), texto.end(), '\n', ' ');
        const auto* erro = dynamic_cast<const DatabaseError*>(&e);
        if (erro && erro->gdsCode() == isc_lock_conflict)
            texto = "a tabela está em uso por outro programa (" + texto + ")";
        return texto;
    }
    return std::nullopt;
}

} // namespace

PreparacaoChaves::PreparacaoChaves(TDM& dm, std::string unidade)
    : dm_(dm), db_(dm.DB()), unidade_(std::move(unidade)) {}

bool PreparacaoChaves::prepara(const std::string& tabela, std::vector<std::string>& avisos) {
    const std::string T = formats::toUpper(tabela);
    if (!feitas_.insert(T).second)
        return false;
    const size_t antes = avisos.size();
    bool alterou = alargaChave(T, avisos);
    alterou = criaChavesEstrangeiras(T, avisos) || alterou;
    if (avisos.size() > antes)
        feitas_.erase(T); // tried again by the next run: the rows or the other program may have changed
    return alterou;
}

bool PreparacaoChaves::alargaChave(const std::string& T, std::vector<std::string>& avisos) {
    const ChavePrimaria pk = chavePrimaria(db_, T);
    const std::optional<bool> donoObrigatorio = colunaObrigatoria(db_, T, kDono);
    if (pk.colunas.empty() || !donoObrigatorio || contem(pk.colunas, kDono))
        return false;
    const std::string naoAlargada =
        "a chave primária (" + lista(pk.colunas) + ") não inclui CD_UND e não foi alargada: ";
    if (contagem(db_, "select count(*) from rdb$ref_constraints where rdb$const_name_uq = :NOME", pk.nome) > 0) {
        avisos.push_back(naoAlargada + "outras tabelas referem-se a ela; linhas de duas unidades com o mesmo código "
                                       "não podem coexistir aqui");
        return false;
    }
    if (!*donoObrigatorio && contagem(db_, "select count(*) from " + T + " where CD_UND is null") > 0) {
        // A row without an owner was never exported (export stamps the owner first, import refuses a record
        // without one): it was made here, and this unit's code is what its first export would give it.
        const auto unidade = formats::parseInteger(unidade_);
        if (!unidade || *unidade == NUMERO_INDEFINIDO) {
            avisos.push_back(naoAlargada + "há linhas sem CD_UND e o código desta unidade não está definido");
            return false;
        }
        db_.execute("UPDATE " + T + " SET CD_UND = " + std::to_string(*unidade) + " WHERE CD_UND IS NULL");
    }
    std::vector<std::string> comandos;
    if (!*donoObrigatorio)
        comandos.push_back("ALTER TABLE " + T + " ALTER CD_UND SET NOT NULL");
    comandos.push_back("ALTER TABLE " + T + " DROP CONSTRAINT " + pk.nome);
    std::vector<std::string> colunas = pk.colunas;
    colunas.push_back(kDono);
    comandos.push_back("ALTER TABLE " + T + " ADD CONSTRAINT " + nomeDaChave(T, pk.nome) + " PRIMARY KEY (" +
                       lista(colunas) + ")");
    if (const auto erro = aplica(dm_, comandos)) {
        avisos.push_back(naoAlargada + *erro);
        return false;
    }
    return true;
}

bool PreparacaoChaves::criaChavesEstrangeiras(const std::string& T, std::vector<std::string>& avisos) {
    const domain::Table* descrita = domain::findTable(T);
    if (!descrita)
        return false;
    bool alterou = false;
    for (const domain::ForeignKey& fk : descrita->foreignKeys) {
        if (contagem(db_, "select count(*) from rdb$relation_constraints where rdb$constraint_name = :NOME", fk.name))
            continue;
        alterou = prepara(fk.parent, avisos) || alterou; // the parent's key first
        const std::string naoCriada = "a chave estrangeira " + fk.name + " para " + fk.parent + " não foi criada: ";
        const ChavePrimaria pai = chavePrimaria(db_, fk.parent);
        if (!std::equal(pai.colunas.begin(), pai.colunas.end(), fk.columns.begin(), fk.columns.end(),
                        [](const auto& a, const auto& b) { return formats::equalsIgnoreCase(a, b); })) {
            avisos.push_back(naoCriada + "a chave primária de " + fk.parent + " não é (" + lista(fk.columns) + ")");
            continue;
        }
        bool faltaColuna = false;
        for (const auto& c : fk.columns)
            faltaColuna = faltaColuna || !colunaObrigatoria(db_, T, c);
        if (faltaColuna) {
            avisos.push_back(naoCriada + "faltam colunas (" + lista(fk.columns) + ")");
            continue;
        }
        std::string preenchidas, iguais;
        for (const auto& c : fk.columns) {
            preenchidas += " and f." + c + " is not null";
            iguais += std::string(iguais.empty() ? "" : " and ") + "p." + c + " = f." + c;
        }
        const int64_t orfas =
            contagem(db_, "select count(*) from " + T + " f where 1=1" + preenchidas +
                              " and not exists (select 1 from " + fk.parent + " p where " + iguais + ")");
        if (orfas > 0) {
            avisos.push_back(naoCriada + std::to_string(orfas) + " linha(s) de " + T + " sem a linha de " + fk.parent +
                             " do mesmo dono (" + lista(fk.columns) + ")");
            continue;
        }
        if (const auto erro = aplica(dm_, {domain::createForeignKeySql(*descrita, fk)})) {
            avisos.push_back(naoCriada + *erro);
            continue;
        }
        alterou = true;
    }
    return alterou;
}

} // namespace edi
