#include "interchange/registro.h"

#include "app/session.h"
#include "core/formats.h"
#include "db/query.h"

#include <algorithm>

namespace edi {

namespace {

std::string textoDe(db::Query& q, const char* campo) {
    const int i = q.fieldIndex(campo);
    return i < 0 ? std::string() : q.value(static_cast<size_t>(i)).asText();
}

} // namespace

std::vector<RegistroEDI> carregaRegistro(TDM& dm) {
    return carregaRegistro(dm.DB());
}

std::vector<RegistroEDI> carregaRegistro(db::Database& base) {
    db::Query q(base, "select * from  TABELA_EDI");
    std::vector<RegistroEDI> rows;
    for (q.open(); !q.eof(); q.next()) {
        RegistroEDI r;
        r.NM_TABELA = formats::trim(textoDe(q, "NM_TABELA"));
        r.NM_ALIAS = formats::trim(textoDe(q, "NM_ALIAS"));
        // Flags keep their blanks: only exactly "N" switches a table off.
        r.FL_ENVIAR = textoDe(q, "FL_ENVIAR");
        r.FL_RECEBER = textoDe(q, "FL_RECEBER");
        r.FL_VALIDAR_RECEBIMENTO = textoDe(q, "FL_VALIDAR_RECEBIMENTO");
        r.FL_MARCAR_EXP = textoDe(q, "FL_MARCAR_EXP");
        r.FL_ATUALIZAR_EDI = textoDe(q, "FL_ATUALIZAR_EDI");
        const int ordem = q.fieldIndex("NR_ORDEM");
        if (ordem >= 0 && !q.value(static_cast<size_t>(ordem)).isNull())
            r.NR_ORDEM = q.value(static_cast<size_t>(ordem)).asInt32();
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const RegistroEDI& a, const RegistroEDI& b) {
        if (a.NR_ORDEM != b.NR_ORDEM)
            return a.NR_ORDEM < b.NR_ORDEM; // an empty optional orders first
        return a.NM_TABELA < b.NM_TABELA;
    });
    return rows;
}

} // namespace edi
