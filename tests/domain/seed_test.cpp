#include "core/errors.h"
#include "core/formats.h"
#include "db/query.h"
#include "domain/schema.h"
#include "domain/seed.h"
#include "domain/unit_database.h"

#include <gtest/gtest.h>

#include <map>

namespace edi::domain {
namespace {

using test::countRows;
using test::scalar;
using test::UnitDatabase;

// The whole content of a value: blobs byte for byte, everything else as text.
std::string contentOf(const Value& v) {
    if (v.isNull())
        return "\x01";
    if (v.kind() == Value::Kind::Blob) {
        const Bytes& b = v.rawBytes();
        return std::string(b.begin(), b.end());
    }
    if (v.kind() == Value::Kind::Timestamp)
        return formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", v.asTimestamp());
    return v.asText();
}

// Every row of a table in key order, folded into a digest (FNV-1a) with the row count.
std::string signature(db::Database& db, const Table& t) {
    std::string order;
    for (const std::string& k : t.primaryKey)
        order += (order.empty() ? "" : ", ") + k;
    db::Query q(db, "SELECT * FROM " + t.name + " ORDER BY " + order);
    uint64_t hash = 1469598103934665603ULL;
    int64_t rows = 0;
    for (q.open(); !q.eof(); q.next(), ++rows) {
        for (size_t i = 0; i < q.fieldCount(); ++i)
            for (char ch : contentOf(q.value(i)) + '\x1f')
                hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
    }
    return std::to_string(rows) + ":" + std::to_string(hash);
}

// Every table but the registry, whose creation time comes from the server clock.
std::map<std::string, std::string> signatures(db::Database& db) {
    std::map<std::string, std::string> result;
    for (const Table& t : tables())
        if (t.name != "TABELA_EDI")
            result[t.name] = signature(db, t);
    return result;
}

SeedSummary seedFile(const UnitDatabase& unit, int patients, uint64_t seed) {
    auto db = unit.open();
    return seedDatabase(*db, {patients, seed});
}

TEST(Seed, SameSeedGivesTheSameRowsAndAnotherSeedOtherRows) {
    UnitDatabase a(12, 31, "a.fdb"), b(12, 31, "b.fdb"), c(12, 31, "c.fdb");
    const SeedSummary first = seedFile(a, 40, 7);
    const SeedSummary second = seedFile(b, 40, 7);
    seedFile(c, 40, 8);
    EXPECT_EQ(first.rowsPerTable, second.rowsPerTable);
    auto da = a.open(), db = b.open(), dc = c.open();
    const auto sa = signatures(*da), sb = signatures(*db), sc = signatures(*dc);
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa.at("PACIENTE"), sc.at("PACIENTE"));
    EXPECT_NE(sa.at("NOTIFICACAO"), sc.at("NOTIFICACAO"));
}

class SeededDatabase : public ::testing::Test {
protected:
    static constexpr int kPatients = 150;
    static void SetUpTestSuite() {
        unit = new UnitDatabase(12, 31);
        summary = new SeedSummary(seedFile(*unit, kPatients, 3));
    }
    static void TearDownTestSuite() {
        delete summary;
        delete unit;
    }
    static UnitDatabase* unit;
    static SeedSummary* summary;
};
UnitDatabase* SeededDatabase::unit = nullptr;
SeedSummary* SeededDatabase::summary = nullptr;

TEST_F(SeededDatabase, SummaryCountsWhatIsInTheDatabase) {
    auto db = unit->open();
    EXPECT_EQ(summary->unit, 12);
    int64_t total = 0;
    for (const auto& [name, rows] : summary->rowsPerTable) {
        EXPECT_EQ(countRows(*db, name), rows) << name;
        total += rows;
    }
    EXPECT_EQ(total, summary->rows);
    EXPECT_EQ(countRows(*db, "PACIENTE"), kPatients);
    for (const char* filled : {"NOTIFICACAO",
                               "TRANSFUSAO",
                               "PERFURACAO",
                               "TATUAGEM",
                               "DENTARIO",
                               "INTERV_CIRURGICA",
                               "AGENDA",
                               "RESULTADO_CD4",
                               "REQUISICAO",
                               "NOTIFICACAO_GESTANTE",
                               "REGISTRO_ATV",
                               "REGISTRO_PTV",
                               "REGISTRO_TARV",
                               "REGISTRO_TARV_CD4",
                               "REGISTRO_COINFECCAO",
                               "REGISTRO_ATV_ARE",
                               "PROTOCOLO_ENVIO",
                               "MEDICO",
                               "PESSOA",
                               "USUARIO",
                               "MUNICIPIO"})
        EXPECT_GT(countRows(*db, filled), 0) << filled;
}

TEST_F(SeededDatabase, RowsArePendingExportAndOwnedAsTheTopologyWants) {
    auto db = unit->open();
    for (const auto& [name, rows] : summary->rowsPerTable) {
        const Table& t = table(name);
        if (!t.hasColumn("CD_UND"))
            continue;
        EXPECT_EQ(countRows(*db, name, "DT_EXP IS NOT NULL OR CD_EDI IS NOT NULL"), 0) << name;
        const int owner = t.kind == TableKind::Reference ? 31 : 12;
        EXPECT_EQ(countRows(*db, name, "CD_UND <> " + std::to_string(owner)), 0) << name;
    }
}

TEST_F(SeededDatabase, RequiredTextIsNeverBlank) {
    auto db = unit->open();
    for (const auto& [name, rows] : summary->rowsPerTable) {
        for (const Column& c : table(name).columns) {
            if (!c.required || (c.type != FieldType::VarChar && c.type != FieldType::Char))
                continue;
            EXPECT_EQ(countRows(*db, name, "TRIM(" + c.name + ") = ''"), 0) << name << "." << c.name;
        }
    }
}

TEST_F(SeededDatabase, DetailsBelongToTheirParents) {
    auto db = unit->open();
    EXPECT_EQ(countRows(*db, "NOTIFICACAO N",
                        "NOT EXISTS (SELECT 1 FROM PACIENTE P WHERE P.CD_PACIENTE = N.CD_PACIENTE"
                        " AND P.CD_UND = N.CD_UND)"),
              0);
    for (const char* detail : {"TRANSFUSAO", "PERFURACAO", "TATUAGEM", "DENTARIO", "INTERV_CIRURGICA", "CIRCUNCISAO"})
        EXPECT_EQ(countRows(*db, std::string(detail) + " D",
                            "NOT EXISTS (SELECT 1 FROM NOTIFICACAO N WHERE N.CD_FICHA = D.CD_FICHA)"),
                  0)
            << detail;
    EXPECT_EQ(countRows(*db, "CIRCUNCISAO D",
                        "EXISTS (SELECT 1 FROM NOTIFICACAO N JOIN PACIENTE P ON P.CD_PACIENTE ="
                        " N.CD_PACIENTE WHERE N.CD_FICHA = D.CD_FICHA AND P.TP_SEXO = 'F')"),
              0);
    EXPECT_EQ(countRows(*db, "NOTIFICACAO_GESTANTE G",
                        "NOT EXISTS (SELECT 1 FROM PACIENTE P WHERE P.TP_SEXO = 'F'"
                        " AND P.NM_PACIENTE = G.NM_GEST)"),
              0);
    EXPECT_EQ(countRows(*db, "RESULTADO_CD4 R",
                        "NOT EXISTS (SELECT 1 FROM AGENDA A WHERE A.CD_AGENDA = R.CD_AGENDA"
                        " AND A.FL_LAB = 'S' AND A.NR_LAB IS NOT NULL)"),
              0);
    EXPECT_EQ(countRows(*db, "RESULTADO_CD4", "NR_CD3 <= 0 OR NR_CD4 > NR_CD3"), 0);
}

TEST_F(SeededDatabase, MonthSheetsAreWholeAndAnnouncedByAProtocol) {
    auto db = unit->open();
    db::Query sheets(*db, "SELECT VL_MESANO, COUNT(*), COUNT(DISTINCT CD_REGISTRO_GERAL), MIN(CD_REGISTRO_GERAL)"
                          " FROM REGISTRO_ATV GROUP BY VL_MESANO");
    int months = 0;
    for (sheets.open(); !sheets.eof(); sheets.next(), ++months) {
        const std::string mes = sheets.value(0).asText();
        EXPECT_EQ(mes.size(), 7u) << mes;
        EXPECT_EQ(sheets.value(1).asInt64(), 8) << mes;
        EXPECT_EQ(sheets.value(2).asInt64(), 1) << "one general register number per sheet";
        EXPECT_EQ(countRows(*db, "PROTOCOLO_ENVIO",
                            "TP_PROTOCOLO = 1 AND VL_MESANO = '" + mes +
                                "' AND CD_REGISTRO_GERAL = " + sheets.value(3).asText() + " AND FL_ENVIADO = 'N'"),
                  1)
            << mes;
    }
    EXPECT_EQ(months, 3);
    EXPECT_EQ(countRows(*db, "REGISTRO_ATV", "VL_ACONSELHADOS <> VL_POSITIVOS + VL_NEGATIVOS + VL_INDETERMINADOS"), 0);
    EXPECT_EQ(countRows(*db, "REGISTRO_ATV_ARE", "FL_STATUS <> 'P' OR FL_ACEITAR <> 0"), 0);
    const std::string documento =
        scalar(*db, "SELECT FIRST 1 BL_PROTOCOLO FROM PROTOCOLO_ENVIO WHERE TP_PROTOCOLO = 8").asText();
    EXPECT_NE(documento.find("Relatório de Coinfecção"), std::string::npos) << documento;
}

TEST_F(SeededDatabase, NamesCarryAccentsAndFitTheirColumns) {
    auto db = unit->open();
    db::Query q(*db, "SELECT NM_PACIENTE, NM_MAE FROM PACIENTE");
    int accented = 0;
    for (q.open(); !q.eof(); q.next()) {
        const std::string nome = q.value(0).asText();
        EXPECT_LE(nome.size(), 4u * 50u);
        for (char ch : nome + q.value(1).asText())
            if (static_cast<unsigned char>(ch) >= 0x80) {
                ++accented;
                break;
            }
    }
    EXPECT_GT(accented, kPatients / 4);
    EXPECT_GT(countRows(*db, "PESSOA", "OCTET_LENGTH(BL_IMAGEM) > 0"), 0);
}

TEST_F(SeededDatabase, GeneratorsStandPastEverySeededKey) {
    auto db = unit->open();
    for (const Table& t : tables()) {
        for (const GeneratorUse& g : t.generators) {
            const Value largest = scalar(*db, "SELECT MAX(" + g.column + ") FROM " + t.name);
            if (largest.isNull())
                continue;
            EXPECT_GE(scalar(*db, "SELECT GEN_ID(" + g.generator + ", 0) FROM DUAL").asInt64(), largest.asInt64())
                << g.generator << " for " << t.name << "." << g.column;
        }
    }
}

TEST(Seed, SecondRunAddsRowsUnderNewKeysAndKeepsTheLists) {
    UnitDatabase unit(12, 31);
    seedFile(unit, 20, 5);
    int64_t paises;
    {
        auto db = unit.open();
        paises = countRows(*db, "PAIS");
    }
    const SeedSummary again = seedFile(unit, 20, 5);
    auto db = unit.open();
    EXPECT_EQ(countRows(*db, "PACIENTE"), 40);
    EXPECT_EQ(countRows(*db, "PAIS"), paises);
    EXPECT_EQ(countRows(*db, "REGISTRO_ATV"), 2 * 3 * 8);
    for (const auto& [name, rows] : again.rowsPerTable)
        EXPECT_NE(name, "PAIS");
}

TEST(Seed, RefusesADatabaseWithoutItsUnitAndWritesNothing) {
    UnitDatabase unit(12, 31);
    {
        auto db = unit.open();
        db->execute("DELETE FROM PARAMETRO WHERE CD_PARAMETRO = 1");
        db->transaction().commit();
    }
    auto db = unit.open();
    try {
        seedDatabase(*db, {10, 1});
        FAIL() << "seeded a database without a unit code";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("parâmetro 1"), std::string::npos) << e.what();
    }
    EXPECT_EQ(countRows(*db, "PACIENTE"), 0);
    EXPECT_EQ(countRows(*db, "PAIS"), 0);
}

} // namespace
} // namespace edi::domain
