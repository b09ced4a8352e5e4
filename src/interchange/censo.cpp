#include "interchange/censo.h"

#include "core/errors.h"
#include "core/formats.h"
#include "db/catalogue.h"
#include "db/query.h"
#include "domain/censo.h"
#include "packet/packet_types.h"

#include <algorithm>
#include <charconv>

namespace edi {

namespace {

uint64_t fnv1a(std::string_view texto) {
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : texto) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// The rows' hashes are summed: without a final mix, related rows could cancel out.
uint64_t mistura(uint64_t h) {
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    return h ^ (h >> 31);
}

bool ehNumero(FieldType tipo) {
    return tipo == FieldType::Numeric || tipo == FieldType::Double;
}

// "1.50" and "1.5000" are one value under two declared scales: the two sides' schemas may differ there.
void semZerosDecimais(std::string& texto, size_t inicio) {
    const size_t ponto = texto.find('.', inicio);
    if (ponto == std::string::npos || texto.find_first_of("eE", inicio) != std::string::npos)
        return;
    const size_t ultimo = texto.find_last_not_of('0');
    texto.erase(ultimo == ponto ? ponto : ultimo + 1);
}

std::string condicaoDoDono(const std::string& T) {
    return " FROM " + T + " WHERE CD_UND = :CD_UND AND CD_EDI IS NOT NULL";
}

} // namespace

std::vector<FaixaDivergente> comparaCensos(const CensoDaTabela& unidade, const CensoDaTabela& central) {
    std::vector<FaixaDivergente> out;
    auto u = unidade.begin();
    auto c = central.begin();
    while (u != unidade.end() || c != central.end()) {
        if (c == central.end() || (u != unidade.end() && u->first < c->first)) {
            out.push_back({u->first, u->second.linhas, 0});
            ++u;
        } else if (u == unidade.end() || c->first < u->first) {
            out.push_back({c->first, 0, c->second.linhas});
            ++c;
        } else {
            if (!(u->second == c->second))
                out.push_back({u->first, u->second.linhas, c->second.linhas});
            ++u;
            ++c;
        }
    }
    return out;
}

std::string textoDasColunas(const Colunas& colunas) {
    std::string texto;
    for (const std::string& c : colunas)
        texto += (texto.empty() ? "" : ",") + c;
    return texto;
}

Colunas leColunas(std::string_view texto) {
    Colunas colunas;
    while (!texto.empty()) {
        const size_t virgula = texto.find(',');
        if (virgula != 0)
            colunas.push_back(formats::toUpper(std::string(texto.substr(0, virgula))));
        texto = virgula == std::string_view::npos ? std::string_view() : texto.substr(virgula + 1);
    }
    std::sort(colunas.begin(), colunas.end());
    return colunas;
}

Recenseador::Recenseador(const std::vector<FieldDef>& campos, const std::optional<Colunas>& soEstas) : campos_(campos) {
    for (size_t i = 0; i < campos_.size(); ++i) {
        const std::string nome = formats::toUpper(campos_[i].name);
        if (nome != "DT_EXP" && (!soEstas || std::binary_search(soEstas->begin(), soEstas->end(), nome)))
            ordem_.push_back(i);
    }
    std::sort(ordem_.begin(), ordem_.end(), [&](size_t a, size_t b) {
        return formats::toUpper(campos_[a].name) < formats::toUpper(campos_[b].name);
    });
}

Colunas Recenseador::colunas() const {
    Colunas colunas;
    for (const size_t i : ordem_)
        colunas.push_back(formats::toUpper(campos_[i].name));
    return colunas;
}

void Recenseador::conta(int64_t cdEdi, const std::vector<const Value*>& valores) {
    texto_.clear();
    for (const size_t i : ordem_) {
        texto_ += campos_[i].name;
        const Value& v = *valores[i];
        if (v.isNull()) {
            texto_ += '\x01';
            continue;
        }
        texto_ += '=';
        const size_t inicio = texto_.size();
        packet_detail::appendValueText(texto_, v, campos_[i], rascunho_);
        if (campos_[i].type == FieldType::Char) // blank padding depends on the engine's character set
            texto_.erase(std::max(inicio, texto_.find_last_not_of(' ') + 1));
        else if (ehNumero(campos_[i].type))
            semZerosDecimais(texto_, inicio);
        texto_ += '\x1e';
    }
    ResumoDaFaixa& f = censo_[faixaDoCodigo(cdEdi)];
    ++f.linhas;
    f.resumo += mistura(fnv1a(texto_));
}

namespace {
std::vector<FieldDef> camposDaTabela(db::Database& db, const std::string& T) {
    std::vector<FieldDef> campos = db::Query(db, "SELECT * FROM " + T + " WHERE 1=2").fields();
    db::useDeclaredPrecision(db, T, campos);
    return campos;
}
} // namespace

Colunas colunasDoCenso(db::Database& db, const std::string& T) {
    return Recenseador(camposDaTabela(db, T)).colunas();
}

Recenseamento recenseia(db::Database& db, const std::string& T, int64_t cdUnd, int64_t ateCodigo,
                        const std::optional<Colunas>& soEstas) {
    const std::vector<FieldDef> campos = camposDaTabela(db, T);
    Recenseador r(campos, soEstas);
    db::Query q(db, "SELECT *" + condicaoDoDono(T) + " AND CD_EDI <= :ATE");
    q.setParam("CD_UND", Value::int64(cdUnd));
    q.setParam("ATE", Value::int64(ateCodigo));
    const int cdEdi = q.fieldIndex("CD_EDI");
    std::vector<const Value*> valores(campos.size());
    for (q.open(); !q.eof(); q.next()) {
        for (size_t i = 0; i < valores.size(); ++i)
            valores[i] = &q.value(i);
        r.conta(q.value(static_cast<size_t>(cdEdi)).asInt64(), valores);
    }
    return {r.censo(), r.colunas()};
}

std::vector<int64_t> codigosDaFaixa(db::Database& db, const std::string& T, int64_t cdUnd, int64_t faixa,
                                    int64_t ateCodigo) {
    db::Query q(db, "SELECT CD_EDI" + condicaoDoDono(T) + " AND CD_EDI BETWEEN :DE AND :ATE ORDER BY CD_EDI");
    q.setParam("CD_UND", Value::int64(cdUnd));
    q.setParam("DE", Value::int64(primeiroCodigoDaFaixa(faixa)));
    q.setParam("ATE", Value::int64(std::min(ateCodigo, primeiroCodigoDaFaixa(faixa + 1) - 1)));
    std::vector<int64_t> codigos;
    for (q.open(); !q.eof(); q.next())
        codigos.push_back(q.value(0).asInt64());
    return codigos;
}

std::optional<int64_t> maiorCodigoAcima(db::Database& db, const std::string& T, int64_t cdUnd, int64_t codigo) {
    db::Query q(db, "SELECT MAX(CD_EDI)" + condicaoDoDono(T) + " AND CD_EDI > :CODIGO");
    q.setParam("CD_UND", Value::int64(cdUnd));
    q.setParam("CODIGO", Value::int64(codigo));
    q.open();
    if (q.eof() || q.value(0).isNull())
        return std::nullopt;
    return q.value(0).asInt64();
}

std::string textoDosCodigos(const std::vector<int64_t>& codigos) {
    std::string texto;
    for (size_t i = 0; i < codigos.size();) {
        size_t j = i;
        while (j + 1 < codigos.size() && codigos[j + 1] == codigos[j] + 1)
            ++j;
        texto += (texto.empty() ? "" : ",") + std::to_string(codigos[i]);
        if (j > i)
            texto += "-" + std::to_string(codigos[j]);
        i = j + 1;
    }
    return texto;
}

std::vector<int64_t> leCodigos(std::string_view texto) {
    std::vector<int64_t> codigos;
    auto numero = [&](std::string_view t) {
        int64_t v = 0;
        const auto [fim, erro] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (erro != std::errc() || fim != t.data() + t.size() || t.empty())
            throw Error("lista de códigos inválida: \"" + std::string(texto) + "\"");
        return v;
    };
    while (!texto.empty()) {
        const size_t virgula = texto.find(',');
        const std::string_view parte = texto.substr(0, virgula);
        const size_t traco = parte.find('-', 1);
        const int64_t de = numero(parte.substr(0, traco));
        const int64_t ate = traco == std::string_view::npos ? de : numero(parte.substr(traco + 1));
        if (ate < de || ate - de > kCodigosPorFaixa)
            throw Error("lista de códigos inválida: \"" + std::string(texto) + "\"");
        for (int64_t c = de; c <= ate; ++c)
            codigos.push_back(c);
        texto = virgula == std::string_view::npos ? std::string_view() : texto.substr(virgula + 1);
    }
    return codigos;
}

std::string textoDoResumo(uint64_t resumo) {
    char buf[17];
    const auto fim = std::to_chars(buf, buf + 16, resumo, 16).ptr;
    return std::string(16 - static_cast<size_t>(fim - buf), '0') + std::string(buf, fim);
}

std::optional<uint64_t> leResumo(std::string_view texto) {
    uint64_t v = 0;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), v, 16);
    if (erro != std::errc() || fim != texto.data() + texto.size() || texto.empty())
        return std::nullopt;
    return v;
}

std::vector<UltimoCenso> leUltimosCensos(db::Database& db) {
    std::vector<UltimoCenso> out;
    {
        db::Query existe(db, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NOME");
        existe.setParam("NOME", Value::text(domain::kTabelaEstadoCenso));
        existe.open();
        if (existe.value(0).asInt64() == 0)
            return out;
    }
    db::Query q(db, std::string("SELECT NM_TABELA, DT_CENSO, DT_RESPOSTA, QT_LINHAS, QT_FAIXAS, QT_IGUAIS, "
                                "QT_REPARADAS, QT_EXCLUSOES, QT_DIVERGENTES FROM ") +
                        domain::kTabelaEstadoCenso +
                        " WHERE QT_LINHAS > 0 OR QT_REPARADAS > 0 OR QT_DIVERGENTES > 0 ORDER BY NM_TABELA");
    auto numero = [&](size_t i) { return q.value(i).isNull() ? 0 : q.value(i).asInt64(); };
    auto momento = [&](size_t i) {
        return q.value(i).isNull() ? std::nullopt : std::optional<Timestamp>(q.value(i).asTimestamp());
    };
    for (q.open(); !q.eof(); q.next())
        out.push_back({q.value(0).asText(), momento(1), momento(2), numero(3), numero(4), numero(5), numero(6),
                       numero(7), numero(8)});
    return out;
}

std::string quantos(int64_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

std::string textoDoCenso(const UltimoCenso& c) {
    auto quando = [](const Timestamp& t) { return formatDateTime("dd/mm/yyyy hh:nn:ss", t); };
    std::string t = c.tabela + ": censo";
    if (c.censo)
        t += " de " + quando(*c.censo);
    t += ", " + quantos(c.linhas, "linha", "linhas") + " em " + quantos(c.faixas, "faixa", "faixas") + "; ";
    if (!c.resposta)
        return t + "sem resposta ainda";
    t += "resposta de " + quando(*c.resposta) + ": ";
    if (c.reparadas == 0)
        t += "em dia";
    else
        t += quantos(c.reparadas, "faixa reenviada", "faixas reenviadas") + ", " +
             quantos(c.exclusoes, "exclusão", "exclusões");
    if (c.divergentes > 0)
        t += ", " + quantos(c.divergentes, "faixa ainda divergente", "faixas ainda divergentes");
    return t;
}

} // namespace edi
