#include "domain/catalogue.h"

#include "core/formats.h"
#include "db/query.h"

namespace edi::test {

namespace {

std::string name(const Value& v) {
    return formats::trim(v.asText());
}
int number(const Value& v) {
    return v.isNull() ? 0 : static_cast<int>(v.asInt64());
}

void readColumns(db::Database& db, Catalogue& c) {
    db::Query q(db, "SELECT RF.RDB$RELATION_NAME, RF.RDB$FIELD_NAME, RF.RDB$NULL_FLAG, F.RDB$FIELD_TYPE,"
                    " F.RDB$FIELD_SUB_TYPE, F.RDB$CHARACTER_LENGTH, F.RDB$FIELD_SCALE, F.RDB$FIELD_PRECISION"
                    " FROM RDB$RELATION_FIELDS RF"
                    " JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE"
                    " JOIN RDB$RELATIONS R ON R.RDB$RELATION_NAME = RF.RDB$RELATION_NAME"
                    " WHERE COALESCE(R.RDB$SYSTEM_FLAG, 0) = 0"
                    " ORDER BY RF.RDB$RELATION_NAME, RF.RDB$FIELD_POSITION");
    for (q.open(); !q.eof(); q.next()) {
        CatalogueColumn col;
        col.name = name(q.value(1));
        col.notNull = number(q.value(2)) == 1;
        col.type = number(q.value(3));
        col.subType = number(q.value(4));
        col.characterLength = number(q.value(5));
        col.scale = number(q.value(6));
        col.precision = number(q.value(7));
        c.tables[name(q.value(0))].columns.push_back(col);
    }
}

void readPrimaryKeys(db::Database& db, Catalogue& c) {
    db::Query q(db, "SELECT C.RDB$RELATION_NAME, C.RDB$CONSTRAINT_NAME, S.RDB$FIELD_NAME"
                    " FROM RDB$RELATION_CONSTRAINTS C"
                    " JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = C.RDB$INDEX_NAME"
                    " WHERE C.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'"
                    " ORDER BY C.RDB$RELATION_NAME, S.RDB$FIELD_POSITION");
    for (q.open(); !q.eof(); q.next()) {
        CatalogueTable& t = c.tables[name(q.value(0))];
        t.primaryKeyName = name(q.value(1));
        t.primaryKey.push_back(name(q.value(2)));
    }
}

void readIndexes(db::Database& db, Catalogue& c) {
    db::Query q(db, "SELECT I.RDB$INDEX_NAME, I.RDB$RELATION_NAME, S.RDB$FIELD_NAME"
                    " FROM RDB$INDICES I JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME"
                    " WHERE COALESCE(I.RDB$SYSTEM_FLAG, 0) = 0 AND NOT EXISTS (SELECT 1 FROM"
                    " RDB$RELATION_CONSTRAINTS C WHERE C.RDB$INDEX_NAME = I.RDB$INDEX_NAME)"
                    " ORDER BY I.RDB$INDEX_NAME, S.RDB$FIELD_POSITION");
    for (q.open(); !q.eof(); q.next()) {
        CatalogueIndex& index = c.indexes[name(q.value(0))];
        index.table = name(q.value(1));
        index.segments.push_back(name(q.value(2)));
    }
}

void readGenerators(db::Database& db, Catalogue& c) {
    db::Query q(db, "SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0"
                    " ORDER BY RDB$GENERATOR_ID");
    for (q.open(); !q.eof(); q.next())
        c.generators.push_back(name(q.value(0)));
}

} // namespace

Catalogue readCatalogue(db::Database& db) {
    Catalogue c;
    readColumns(db, c);
    readPrimaryKeys(db, c);
    readIndexes(db, c);
    readGenerators(db, c);
    return c;
}

} // namespace edi::test
