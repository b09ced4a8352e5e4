#include "db/catalogue.h"

#include "core/formats.h"
#include "db/query.h"

#include <algorithm>

namespace edi::db {

void useDeclaredPrecision(Database& db, const std::string& table, std::vector<FieldDef>& fields) {
    if (std::none_of(fields.begin(), fields.end(), [](const FieldDef& f) { return f.type == FieldType::Numeric; }))
        return;
    Query q(db, "select r.rdb$field_name, f.rdb$field_precision from rdb$relation_fields r"
                " join rdb$fields f on f.rdb$field_name = r.rdb$field_source"
                " where r.rdb$relation_name = :TABELA and f.rdb$field_precision > 0");
    q.setParam("TABELA", Value::text(table));
    for (q.open(); !q.eof(); q.next()) {
        const std::string column = formats::trim(q.value(0).asText());
        for (FieldDef& f : fields)
            if (f.type == FieldType::Numeric && f.name == column)
                f.size = q.value(1).asInt32();
    }
}

} // namespace edi::db
