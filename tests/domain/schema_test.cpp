#include "core/errors.h"
#include "core/formats.h"
#include "domain/ddl.h"
#include "domain/schema.h"
#include "domain/schema_notation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace edi::domain {
namespace {

std::vector<std::string> names(const std::vector<Column>& columns) {
    std::vector<std::string> result;
    for (const Column& c : columns)
        result.push_back(c.name);
    return result;
}

TEST(ColumnNotation, ReadsTypesSizesRequiredFlagsAndRanges) {
    const auto cols = parseColumns("CD integer!, NM varchar(50), TX varchar, SG char(2)!, VL numeric(18,4), "
                                   "FL_A1..3 char(1), BL blob, DT timestamp, D date, N smallint, G bigint");
    ASSERT_EQ(cols.size(), 13u);
    EXPECT_EQ(cols[0].type, FieldType::Integer);
    EXPECT_TRUE(cols[0].required);
    EXPECT_EQ(cols[1].type, FieldType::VarChar);
    EXPECT_EQ(cols[1].size, 50);
    EXPECT_FALSE(cols[1].required);
    EXPECT_EQ(cols[2].size, 20) << "a text column without a size has 20 characters";
    EXPECT_EQ(cols[3].type, FieldType::Char);
    EXPECT_TRUE(cols[3].required);
    EXPECT_EQ(cols[4].type, FieldType::Numeric);
    EXPECT_EQ(cols[4].size, 18);
    EXPECT_EQ(cols[4].scale, 4);
    EXPECT_EQ(names(cols)[5], "FL_A1");
    EXPECT_EQ(names(cols)[7], "FL_A3");
    EXPECT_EQ(cols[7].type, FieldType::Char);
    EXPECT_EQ(cols[8].type, FieldType::BinaryBlob);
    EXPECT_EQ(cols[12].type, FieldType::BigInt);
}

TEST(ColumnNotation, RefusesWhatItCannotRead) {
    for (const char* bad :
         {"CD", "CD integr", "CD varchar(0)", "CD varchar(10", "CD numeric(4)", "CD numeric(4,6)", "CD integer(4)",
          "1CD integer", "C-D integer", "CD1..1 integer", "CD..3 integer", "CD integer,", "CD char(1,2)"})
        EXPECT_THROW(parseColumns(bad), Error) << bad;
    EXPECT_THROW(parseGeneratorUses("GEN_X"), Error);
    EXPECT_TRUE(parseColumns("").empty());
    EXPECT_TRUE(parseGeneratorUses("").empty());
}

TEST(Schema, TablesKeepTheirListedColumnsInOrderPlusTheInterchangeColumns) {
    // Column counts as listed for each table; tables with CD_UND gain whichever of DT_EXP and CD_EDI they lack.
    const std::pair<const char*, size_t> listed[] = {{"PACIENTE", 44 + 2},
                                                     {"NOTIFICACAO", 58 + 2},
                                                     {"NOTIFICACAO_GESTANTE", 171},
                                                     {"CARACTERIZACAO", 70 + 2},
                                                     {"AVALIACAO_INICIAL", 126},
                                                     {"SEGUIMENTO_ENFERMAGEM", 92},
                                                     {"PRIMEIRA_CONSULTA", 74},
                                                     {"TRIAGEM_ENFERMAGEM", 44},
                                                     {"REGISTRO_PROGRAMA", 62 + 2},
                                                     {"REGISTRO_TARV_CD4", 27},
                                                     {"REGISTRO_PROGRAMA_AR", 28},
                                                     {"REGISTRO_PROGRAMA_ARE", 28},
                                                     {"ST_UNIDADE", 26},
                                                     {"TABELA_EDI", 16},
                                                     {"PROTOCOLO_ENVIO", 21},
                                                     {"USUARIO", 12},
                                                     {"AGENDA", 32 + 2},
                                                     {"REGISTRO_SERVICOS_TARV", 35}};
    for (const auto& [name, count] : listed)
        EXPECT_EQ(table(name).columns.size(), count) << name;

    const Table& tarv = table("REGISTRO_TARV");
    EXPECT_EQ(tarv.columns.front().name, "CD_REGISTRO_TARV");
    EXPECT_EQ(tarv.columns[tarv.columns.size() - 3].name, "VL_VERSAO");
    EXPECT_EQ(tarv.columns[tarv.columns.size() - 2].name, "DT_EXP");
    EXPECT_EQ(tarv.columns.back().name, "CD_EDI");
    // A table that lists DT_EXP keeps it where it is listed.
    EXPECT_EQ(table("ST_UNIDADE").columns[4].name, "DT_EXP");

    for (const Table& t : tables()) {
        if (!t.hasColumn("CD_UND"))
            continue;
        EXPECT_EQ(t.column("DT_EXP").type, FieldType::Timestamp) << t.name;
        EXPECT_EQ(t.column("CD_EDI").type, FieldType::Integer) << t.name;
        EXPECT_FALSE(t.exportIndex.empty()) << t.name;
    }
}

TEST(Schema, TypesAndSizesFollowTheColumnNotation) {
    EXPECT_EQ(table("NOTIFICACAO").column("CD_FICHA").type, FieldType::BigInt);
    EXPECT_EQ(table("PACIENTE").column("IDADE").type, FieldType::SmallInt);
    EXPECT_EQ(table("TABELA_EDI").column("NM_TABELA").type, FieldType::Char);
    EXPECT_EQ(table("TABELA_EDI").column("NM_TABELA").size, 31);
    EXPECT_EQ(table("RESULTADO_CD4").column("NR_CD4").scale, 4);
    EXPECT_EQ(table("PROTOCOLO_ENVIO").column("BL_PROTOCOLO").type, FieldType::BinaryBlob);
    EXPECT_EQ(table("REGISTRO_PRE_NATAL").column("VL_MESANO").size, 8);
    EXPECT_TRUE(table("PACIENTE").column("NM_MAE").required);
    EXPECT_FALSE(table("PACIENTE").column("NR_TEL_1").required);
    // Mixed-case names as the dataset declares them; lookups ignore case.
    EXPECT_EQ(table("REGISTRO_SERVICOS_ACOMP").column("vl_m_30X99").name, "VL_M_30x99");
    EXPECT_EQ(table("registro_programa").column("VL_REGISTRAD0S_4").type, FieldType::Integer);
    EXPECT_EQ(findTable("NO_SUCH_TABLE"), nullptr);
    EXPECT_THROW(table("PACIENTE").column("NO_SUCH_COLUMN"), Error);
}

TEST(Schema, PrimaryKeyAddsTheOwningUnitWhereRowsTravelAndTheKeyLacksIt) {
    using Key = std::vector<std::string>;
    EXPECT_EQ(table("PACIENTE").primaryKey, (Key{"CD_PACIENTE", "CD_UND"}));
    EXPECT_EQ(table("NOTIFICACAO").primaryKey, (Key{"CD_FICHA", "CD_UND"}));
    EXPECT_EQ(table("TRANSFUSAO").primaryKey, (Key{"CD_TRANSFUSAO", "CD_FICHA", "CD_UND"}));
    EXPECT_EQ(table("UNIDADE").primaryKey, (Key{"CD_UNIDADE", "CD_UND"})) << "already keyed by its owner";
    EXPECT_EQ(table("PESSOA_DOC").primaryKey, (Key{"CD_PESSOA", "CD_DOCUMENTO", "CD_UND"})) << "CD_UND may be null";
    EXPECT_EQ(table("ENDERECO").primaryKey, (Key{"CD_ENDERECO", "CD_UND"}));
    EXPECT_EQ(table("PARAMETRO").primaryKey, (Key{"CD_PARAMETRO"})) << "parameters never travel";
    EXPECT_EQ(table("TELEFONE").primaryKey, (Key{"CD_TELEFONE"})) << "no CD_UND";
    EXPECT_EQ(table("TABELA_EDI").primaryKey, (Key{"NM_TABELA"}));
    for (const Table& t : tables()) {
        ASSERT_FALSE(t.primaryKey.empty()) << t.name;
        for (const std::string& k : t.primaryKey) {
            EXPECT_TRUE(t.column(k).key) << t.name << "." << k;
            EXPECT_TRUE(t.column(k).required) << t.name << "." << k;
        }
        const size_t keyColumns = static_cast<size_t>(
            std::count_if(t.columns.begin(), t.columns.end(), [](const Column& c) { return c.key; }));
        EXPECT_EQ(keyColumns, t.primaryKey.size()) << t.name;
        if (t.isRegistered()) {
            EXPECT_TRUE(t.column("CD_UND").key) << t.name;
        }
    }
}

TEST(Schema, ForeignKeysReferToAParentOfTheSameOwnerRegisteredBeforeTheChild) {
    using Key = std::vector<std::string>;
    const auto& notificacao = table("NOTIFICACAO").foreignKeys;
    ASSERT_EQ(notificacao.size(), 1u);
    EXPECT_EQ(notificacao[0].name, "FK_NOTIFICACAO_PACIENTE");
    EXPECT_EQ(notificacao[0].parent, "PACIENTE");
    EXPECT_EQ(notificacao[0].columns, (Key{"CD_PACIENTE", "CD_UND"}));
    EXPECT_EQ(table("ASPECTO_NOTIFICACAO").foreignKeys.at(0).name, "FK_ASPECTO_NOTIFICACAO_NOTIFICA");
    EXPECT_TRUE(table("PACIENTE").foreignKeys.empty()) << "the lists of the central unit are not referred to";
    size_t keys = 0;
    for (const Table& t : tables())
        for (const ForeignKey& k : t.foreignKeys) {
            ++keys;
            EXPECT_LE(k.name.size(), 31u);
            EXPECT_EQ(k.columns, table(k.parent).primaryKey) << k.name;
            EXPECT_LT(table(k.parent).registryOrder, t.registryOrder) << k.name;
            EXPECT_GT(table(k.parent).registryOrder, 0) << k.name;
        }
    EXPECT_EQ(keys, schemaDdl().foreignKeys.size());
}

TEST(Schema, NamesAreUniqueAndFitTheEngine) {
    std::set<std::string> tableNames, indexNames;
    for (const Table& t : tables()) {
        EXPECT_TRUE(tableNames.insert(t.name).second) << t.name;
        EXPECT_LE(("PK_" + t.name).size(), 31u) << t.name;
        std::set<std::string> columnNames;
        for (const Column& c : t.columns) {
            EXPECT_LE(c.name.size(), 31u);
            EXPECT_TRUE(columnNames.insert(formats::toUpper(c.name)).second) << t.name << "." << c.name;
        }
        if (!t.exportIndex.empty()) {
            EXPECT_LE(t.exportIndex.size(), 31u);
            EXPECT_TRUE(indexNames.insert(t.exportIndex).second) << t.exportIndex;
        }
    }
}

TEST(Schema, ExportIndexIsNamedAsTheSchemaPreparationNamesIt) {
    EXPECT_EQ(exportIndexName("REGISTRO_TESTES_POSITIVOS"), "REGISTRO_TESTES_POSITIVO_EXP_IX");
    EXPECT_EQ(exportIndexName("PAIS"), "PAIS_EXP_IX");
    EXPECT_EQ(table("REGISTRO_TESTES_POSITIVOS").exportIndex, "REGISTRO_TESTES_POSITIVO_EXP_IX");
    EXPECT_EQ(table("PACIENTE").exportIndex, "PACIENTE_EXP_IX");
    // Both copies of the regimen register share their first 24 characters; the later one gets a digit.
    EXPECT_EQ(table("REGISTRO_TARV_ESQUEMA_AR").exportIndex, "REGISTRO_TARV_ESQUEMA_AR_EXP_IX");
    EXPECT_EQ(table("REGISTRO_TARV_ESQUEMA_ARE").exportIndex, "REGISTRO_TARV_ESQUEMA_A2_EXP_IX");
    EXPECT_TRUE(table("TABELA_EDI").exportIndex.empty());
}

TEST(Schema, DatasetsAndClassification) {
    EXPECT_EQ(table("PACIENTE").dataset, "TB_PACIENTE");
    EXPECT_EQ(findTableByDataset("TB_PESSOA_TEL")->name, "TELEFONE");
    EXPECT_EQ(findTableByDataset("TB_NOT_GESTANTE")->name, "NOTIFICACAO_GESTANTE");
    EXPECT_EQ(findTableByDataset("TB_TARV_ESQUEMA_ARE")->name, "REGISTRO_TARV_ESQUEMA_ARE");
    EXPECT_EQ(findTableByDataset("TB_CID10")->name, "CID10_SUBCATEGORIA");
    EXPECT_EQ(findTableByDataset(""), nullptr);
    for (const char* reference : {"PAIS", "PROVINCIA", "MUNICIPIO", "UNIDADE", "ESQUEMA", "SERVICOS"})
        EXPECT_EQ(table(reference).kind, TableKind::Reference) << reference;
    for (const char* data : {"PACIENTE", "NOTIFICACAO", "CIRCUNCISAO", "AGENDA", "REGISTRO_ATV_AR", "PROTOCOLO_ENVIO"})
        EXPECT_EQ(table(data).kind, TableKind::Data) << data;
    for (const char* local : {"PARAMETRO", "TABELA_EDI", "DUAL"})
        EXPECT_EQ(table(local).kind, TableKind::Local) << local;
}

TEST(Schema, RegistryHoldsEveryTravellingTableParentsFirst) {
    const auto registered = registeredTables();
    std::vector<std::string> order;
    int previous = 0;
    for (const Table* t : registered) {
        EXPECT_GT(t->registryOrder, previous) << t->name;
        previous = t->registryOrder;
        order.push_back(t->name);
    }
    for (const Table& t : tables())
        EXPECT_EQ(t.isRegistered(), t.hasColumn("CD_UND") && t.kind != TableKind::Local) << t.name;
    EXPECT_FALSE(table("PARAMETRO").isRegistered());
    auto pos = [&](const char* name) {
        const auto it = std::find(order.begin(), order.end(), name);
        EXPECT_NE(it, order.end()) << name;
        return it - order.begin();
    };
    const char* chain[] = {"PAIS",
                           "PROVINCIA",
                           "MUNICIPIO",
                           "UNIDADE",
                           "PESSOA",
                           "USUARIO",
                           "MEDICO",
                           "PACIENTE",
                           "NOTIFICACAO",
                           "TRANSFUSAO",
                           "NOTIFICACAO_GESTANTE",
                           "AGENDA",
                           "REGISTRO_ATV",
                           "REGISTRO_ATV_AR",
                           "REGISTRO_ATV_ARE",
                           "PROTOCOLO_ENVIO"};
    for (size_t i = 1; i < std::size(chain); ++i)
        EXPECT_LT(pos(chain[i - 1]), pos(chain[i])) << chain[i - 1] << " before " << chain[i];
}

TEST(Schema, RegistryFlagsKeepEveryKindFlowingOneWay) {
    const Table& data = table("PACIENTE");
    const Table& reference = table("MUNICIPIO");
    // A unit sends its records and receives the lists.
    EXPECT_TRUE(registryFlags(data, false).enviar);
    EXPECT_FALSE(registryFlags(data, false).receber);
    EXPECT_FALSE(registryFlags(reference, false).enviar);
    EXPECT_TRUE(registryFlags(reference, false).receber);
    // The central unit receives the records and never sends them back; it sends and receives the lists.
    EXPECT_FALSE(registryFlags(data, true).enviar);
    EXPECT_TRUE(registryFlags(data, true).receber);
    EXPECT_TRUE(registryFlags(reference, true).enviar);
    EXPECT_TRUE(registryFlags(reference, true).receber);
}

TEST(Schema, GeneratorsAreListedOnceAsSpelled) {
    const auto& gens = generatorNames();
    ASSERT_FALSE(gens.empty());
    EXPECT_EQ(gens.front(), "GEN_EDI");
    std::set<std::string> upper;
    for (const std::string& g : gens)
        EXPECT_TRUE(upper.insert(formats::toUpper(g)).second) << g;
    for (const char* g : {"gen_numero_lab", "USUARIO_CD_USUARIO_SEQ", "NOTIFICACAO_CD_FICHA_SEQ", "GEN_CD_NOTIFICACAO",
                          "INTERV_CIRURGICA_CD_INTERV_SEQ", "GEN_CARACTERIZACAO_CD_UTENTE", "GEN_REGISTRO_PROGRAMA_ARE",
                          "TIPO_DOC_CD_TIPO_DOC_SEQ", "GEN_TELEFONE", "GEN_SERVICOS", "GEN_ARQUIVO_EDI"})
        EXPECT_NE(std::find(gens.begin(), gens.end(), g), gens.end()) << g;
    const auto& agenda = table("AGENDA").generators;
    ASSERT_EQ(agenda.size(), 2u);
    EXPECT_EQ(agenda[1].generator, "gen_numero_lab");
    EXPECT_EQ(agenda[1].column, "NR_LAB");
}

TEST(Ddl, WritesColumnsKeysAndIndexes) {
    EXPECT_EQ(createTableSql(table("FORMA")), "CREATE TABLE FORMA (\n"
                                              "    CD_FORMA INTEGER NOT NULL,\n"
                                              "    CD_UND INTEGER NOT NULL,\n"
                                              "    DS_FORMA VARCHAR(50),\n"
                                              "    DT_EXP TIMESTAMP,\n"
                                              "    CD_EDI INTEGER,\n"
                                              "    CONSTRAINT PK_FORMA PRIMARY KEY (CD_FORMA, CD_UND)\n"
                                              ")");
    EXPECT_EQ(createExportIndexSql(table("PAIS")), "CREATE INDEX PAIS_EXP_IX ON PAIS (DT_EXP)");
    EXPECT_EQ(createExportIndexSql(table("DUAL")), "");
    EXPECT_EQ(columnTypeSql(table("RESULTADO_CD4").column("NR_CD3")), "NUMERIC(18,4)");
    EXPECT_EQ(columnTypeSql(table("TABELA_EDI").column("NM_TABELA")), "CHAR(31)");
    EXPECT_EQ(columnTypeSql(table("REQUISICAO").column("BL_REQUISICAO")), "BLOB SUB_TYPE BINARY");
    EXPECT_NE(createTableSql(table("PACIENTE")).find("PRIMARY KEY (CD_PACIENTE, CD_UND)"), std::string::npos);
    EXPECT_EQ(createForeignKeySql(table("TATUAGEM"), table("TATUAGEM").foreignKeys.at(0)),
              "ALTER TABLE TATUAGEM ADD CONSTRAINT FK_TATUAGEM_NOTIFICACAO FOREIGN KEY (CD_FICHA, CD_UND) "
              "REFERENCES NOTIFICACAO (CD_FICHA, CD_UND)");

    const SchemaDdl ddl = schemaDdl();
    EXPECT_EQ(ddl.tables.size(), tables().size());
    EXPECT_EQ(ddl.generators.size(), generatorNames().size());
    EXPECT_EQ(ddl.generators.front(), "CREATE SEQUENCE GEN_EDI");
}

} // namespace
} // namespace edi::domain
