#include "core/errors.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/catalogue.h"
#include "domain/censo.h"
#include "domain/create_database.h"
#include "domain/exclusoes.h"
#include "domain/schema.h"
#include "domain/unit_database.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

namespace edi::domain {
namespace {

using test::countRows;
using test::scalar;
using test::UnitDatabase;

// The catalogue's view of a described column: rdb$field_type, sub type, scale and precision.
struct StoredType {
    int type, subType, scale, precision;
};

StoredType storedType(const FieldDef& c) {
    switch (c.type) {
    case FieldType::SmallInt: return {7, 0, 0, 0};
    case FieldType::Integer: return {8, 0, 0, 0};
    case FieldType::BigInt: return {16, 0, 0, 0};
    case FieldType::Numeric: return {16, 1, -c.scale, c.size};
    case FieldType::Date: return {12, 0, 0, 0};
    case FieldType::Timestamp: return {35, 0, 0, 0};
    case FieldType::Char: return {14, 0, 0, 0};
    case FieldType::VarChar: return {37, 0, 0, 0};
    case FieldType::BinaryBlob: return {261, 0, 0, 0};
    default: ADD_FAILURE() << "type not in the schema: " << c.name; return {};
    }
}

class CreateDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { unit = new UnitDatabase(12, 31); }
    static void TearDownTestSuite() {
        delete unit;
        unit = nullptr;
    }
    static UnitDatabase* unit;
};
UnitDatabase* CreateDatabaseTest::unit = nullptr;

TEST_F(CreateDatabaseTest, CatalogueHoldsEveryDescribedTableColumnKeyIndexAndGenerator) {
    auto db = unit->open();
    const test::Catalogue cat = test::readCatalogue(*db);
    // and where deletions wait for export, and what a unit keeps of its censuses
    EXPECT_EQ(cat.tables.size(), tables().size() + 1 + tabelasDoCenso().size());
    EXPECT_EQ(cat.tables.count(kTabelaExclusoes), 1u);
    for (const auto& censo : tabelasDoCenso())
        EXPECT_EQ(cat.tables.count(censo.first), 1u) << censo.first;
    size_t exportIndexes = 0;
    for (const Table& t : tables()) {
        SCOPED_TRACE(t.name);
        const auto found = cat.tables.find(t.name);
        ASSERT_NE(found, cat.tables.end());
        const test::CatalogueTable& stored = found->second;
        ASSERT_EQ(stored.columns.size(), t.columns.size());
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const Column& c = t.columns[i];
            const test::CatalogueColumn& s = stored.columns[i];
            SCOPED_TRACE(c.name);
            EXPECT_EQ(s.name, formats::toUpper(c.name)) << "names are created unquoted";
            const StoredType want = storedType(c);
            EXPECT_EQ(s.type, want.type);
            EXPECT_EQ(s.subType, want.subType);
            EXPECT_EQ(s.scale, want.scale);
            if (c.type == FieldType::Numeric) {
                EXPECT_EQ(s.precision, want.precision);
            }
            if (c.type == FieldType::Char || c.type == FieldType::VarChar) {
                EXPECT_EQ(s.characterLength, c.size);
            }
            EXPECT_EQ(s.notNull, c.required);
        }
        EXPECT_EQ(stored.primaryKeyName, "PK_" + t.name);
        EXPECT_EQ(stored.primaryKey, t.primaryKey);
        if (!t.exportIndex.empty()) {
            ++exportIndexes;
            const auto index = cat.indexes.find(t.exportIndex);
            ASSERT_NE(index, cat.indexes.end());
            EXPECT_EQ(index->second.table, t.name);
            EXPECT_EQ(index->second.segments, std::vector<std::string>{"DT_EXP"});
            const auto lookup = cat.indexes.find(t.interchangeIndex);
            ASSERT_NE(lookup, cat.indexes.end());
            EXPECT_EQ(lookup->second.segments, (std::vector<std::string>{"CD_UND", "CD_EDI"}));
        }
    }
    EXPECT_EQ(cat.indexes.size(), 2 * exportIndexes) << "no index beyond the keys, the marks and the lookups";

    std::set<std::string> described, stored(cat.generators.begin(), cat.generators.end());
    for (const std::string& g : generatorNames())
        described.insert(formats::toUpper(g));
    EXPECT_EQ(stored, described);
}

TEST_F(CreateDatabaseTest, GeneratorsAnswerTheStatementsTheApplicationBuilds) {
    auto db = unit->open();
    // Names go into "select gen_id(<name>,1) from dual" unquoted, the lower-case one included.
    EXPECT_EQ(scalar(*db, "select gen_id(gen_numero_lab,1) from dual").asInt64(), 1);
    EXPECT_EQ(scalar(*db, "select gen_id(gen_numero_lab,1) from dual").asInt64(), 2);
    EXPECT_EQ(scalar(*db, "select gen_id(GEN_EDI,1) from dual").asInt64(), 1);
    db->transaction().rollback();
}

TEST_F(CreateDatabaseTest, WritesDualParametersAndUnits) {
    auto db = unit->open();
    EXPECT_EQ(countRows(*db, "DUAL"), 1);
    std::map<int64_t, std::string> valores;
    db::Query q(*db, "SELECT CD_PARAMETRO, CD_UND, DS_PARAMETRO, VALOR FROM PARAMETRO");
    for (q.open(); !q.eof(); q.next()) {
        EXPECT_EQ(q.value(1).asInt64(), 12);
        EXPECT_FALSE(formats::trim(q.value(2).asText()).empty());
        valores[q.value(0).asInt64()] = q.value(3).asText();
    }
    EXPECT_EQ(valores[1], "12");
    EXPECT_EQ(valores[2], "2.1.0-04");
    EXPECT_EQ(valores[27], "31");
    EXPECT_TRUE(valores.count(29)) << "the status text has a row to be written into";
    EXPECT_EQ(scalar(*db, "SELECT DS_PARAMETRO FROM PARAMETRO WHERE CD_PARAMETRO = 1").asText(), "Código da unidade");

    EXPECT_EQ(scalar(*db, "SELECT DS_UNIDADE FROM UNIDADE WHERE CD_UNIDADE = 12").asText(), "Unidade 12");
    EXPECT_EQ(countRows(*db, "UNIDADE", "CD_UNIDADE = 31"), 1);
    EXPECT_EQ(countRows(*db, "UNIDADE", "CD_UND <> 31"), 0) << "the central unit keeps the list of units";
    EXPECT_EQ(countRows(*db, "UNIDADE", "DT_EXP IS NOT NULL"), 0);
}

TEST_F(CreateDatabaseTest, RegistryOfAUnitSendsDataAndReceivesReferenceLists) {
    auto db = unit->open();
    db::Query q(*db, "SELECT NM_TABELA, FL_ENVIAR, FL_RECEBER, NR_ORDEM, TP_TABELA_EDI FROM TABELA_EDI");
    size_t rows = 0;
    for (q.open(); !q.eof(); q.next(), ++rows) {
        const std::string name = formats::trim(q.value(0).asText());
        SCOPED_TRACE(name);
        const Table* t = findTable(name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(q.value(3).asInt64(), t->registryOrder);
        const bool data = t->kind == TableKind::Data;
        EXPECT_EQ(q.value(1).asText(), data ? "S" : "N");
        EXPECT_EQ(q.value(2).asText(), data ? "N" : "S");
        EXPECT_EQ(q.value(4).asText(), data ? "D" : "R");
    }
    EXPECT_EQ(rows, registeredTables().size());
    EXPECT_EQ(countRows(*db, "TABELA_EDI", "NM_TABELA IN ('PARAMETRO', 'TABELA_EDI', 'DUAL', 'TELEFONE')"), 0);
    EXPECT_EQ(countRows(*db, "TABELA_EDI", "DT_INCLUSAO IS NULL"), 0);
}

TEST_F(CreateDatabaseTest, RowWriterFindsAKeyForEveryRegisteredTable) {
    auto db = unit->open();
    db::Query tabelas(*db, "SELECT NM_TABELA FROM TABELA_EDI");
    db::Query campos(*db, "select rdb$field_name NM_CAMPO\n"
                          "from rdb$relation_constraints c,\n"
                          "     rdb$index_segments i\n"
                          "where c.rdb$relation_name = :NM_TABELA\n"
                          "and c.rdb$constraint_type='PRIMARY KEY'\n"
                          "and c.rdb$index_name = i.rdb$index_name");
    for (tabelas.open(); !tabelas.eof(); tabelas.next()) {
        const std::string name = formats::trim(tabelas.value(0).asText());
        campos.setParam("NM_TABELA", Value::text(name));
        campos.open();
        std::set<std::string> key;
        for (; !campos.eof(); campos.next())
            key.insert(formats::trim(campos.value(0).asText()));
        EXPECT_TRUE(key.count("CD_UND") || !table(name).column("CD_UND").required) << name;
        EXPECT_EQ(key.size(), table(name).primaryKey.size()) << name;
    }
}

TEST(CreateDatabase, RegistryOfTheCentralUnitReceivesDataAndSendsReferenceLists) {
    UnitDatabase central(31, 31);
    auto db = central.open();
    EXPECT_EQ(countRows(*db, "UNIDADE"), 1);
    EXPECT_EQ(countRows(*db, "TABELA_EDI", "TP_TABELA_EDI = 'D' AND (FL_ENVIAR <> 'N' OR FL_RECEBER <> 'S')"), 0);
    EXPECT_EQ(countRows(*db, "TABELA_EDI", "TP_TABELA_EDI = 'R' AND (FL_ENVIAR <> 'S' OR FL_RECEBER <> 'S')"), 0);
    EXPECT_EQ(scalar(*db, "SELECT FL_ENVIAR FROM TABELA_EDI WHERE NM_TABELA = 'PACIENTE'").asText(), "N");
    EXPECT_EQ(scalar(*db, "SELECT FL_ENVIAR FROM TABELA_EDI WHERE NM_TABELA = 'MUNICIPIO'").asText(), "S");
}

TEST(CreateDatabase, RefusesAnExistingFileAndLeavesItByteForByte) {
    UnitDatabase existing(12, 31);
    const std::string before = test::fileContents(existing.path());
    CreateOptions o;
    o.connection = existing.params();
    o.unit = 77;
    try {
        createDatabase(o);
        FAIL() << "an existing database was accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("já existe"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::fileContents(existing.path()), before);
    auto db = existing.open();
    EXPECT_EQ(scalar(*db, "SELECT VALOR FROM PARAMETRO WHERE CD_PARAMETRO = 1").asText(), "12");

    // Not a database at all: refused as well, never overwritten.
    test::TempDir dir;
    const auto other = dir / "notes.fdb";
    std::ofstream(other, std::ios::binary) << std::string("\0\x01 some bytes \xff", 15);
    o.connection.database = other.string();
    EXPECT_THROW(createDatabase(o), Error);
    EXPECT_EQ(test::fileContents(other), std::string("\0\x01 some bytes \xff", 15));
}

TEST(CreateDatabase, TakesTheDefaultCharacterSetAskedFor) {
    test::TempDir dir;
    CreateOptions o;
    o.connection.database = (dir / "latin.fdb").string();
    o.unit = 12;
    o.defaultCharset = "WIN1252";
    createDatabase(o);
    auto db = db::Database::open(o.connection);
    EXPECT_EQ(formats::trim(scalar(*db, "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE").asText()), "WIN1252");
    EXPECT_EQ(scalar(*db, "SELECT DS_PARAMETRO FROM PARAMETRO WHERE CD_PARAMETRO = 23").asText(),
              "Tabela auxiliar dos responsáveis do laboratório");
}

TEST(CreateDatabase, LeavesNoHalfMadeDatabaseBehind) {
    test::TempDir dir;
    CreateOptions o;
    o.connection.database = (dir / "half.fdb").string();
    o.unit = 12;
    o.version = std::string(300, '9'); // longer than PARAMETRO.VALOR: fails after the tables exist
    EXPECT_THROW(createDatabase(o), DatabaseError);
    EXPECT_FALSE(std::filesystem::exists(dir / "half.fdb"));

    o.version = platform::kVersaoDoSistema;
    o.defaultCharset = "NO_SUCH_CHARSET";
    EXPECT_THROW(createDatabase(o), DatabaseError);
    EXPECT_FALSE(std::filesystem::exists(dir / "half.fdb"));
}

} // namespace
} // namespace edi::domain
