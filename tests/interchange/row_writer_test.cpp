#include "app/session.h"
#include "db/dataset.h"
#include "interchange/nomes.h"
#include "interchange/registro.h"
#include "interchange/row_writer.h"
#include "interchange/tfrm_edi.h"
#include "packet/nome_do_pacote.h"
#include "support/db/scratch_database.h"
#include "support/recording_ui.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

struct EngineBasics : ::testing::Test {
    test::ScratchDatabase scratch;
    test::RecordingUi ui;
    std::unique_ptr<TDM> dm;
    UGeral geral;

    void SetUp() override {
        scratch.run("create table FORMA (CD_FORMA integer not null primary key, CD_UND integer, DS_FORMA varchar(30),"
                    " DT_EXP timestamp, CD_EDI integer)\n;\n"
                    "create table T (K integer not null primary key)\n;\n"
                    "create table DUAS (A integer not null, B integer not null, C varchar(5), primary key (A, B))\n;\n"
                    "create table LOG_SEM_CHAVE (X integer)\n;\n"
                    "create table REGISTRO_TESTES_POSITIVOS (ID integer not null, CD_UND integer not null,"
                    " primary key (ID, CD_UND))\n;\n"
                    "create table OCUPACAO (CD integer not null, CD_UND integer not null, DT_EXP timestamp,"
                    " CD_EDI integer, primary key (CD, CD_UND))\n;\n"
                    "create table PAIS (ID integer not null primary key, CD_EDI integer)\n;\n"
                    "create table TABELA_EDI (NM_TABELA char(31) not null primary key, FL_ENVIAR char(1),"
                    " FL_RECEBER char(1), NR_ORDEM integer, NM_ALIAS varchar(50))");
        dm = std::make_unique<TDM>(scratch.params(), ui);
    }
    std::vector<std::string> indexes(const std::string& table) {
        db::Query q(dm->DB(), "select trim(rdb$index_name) from rdb$indices where rdb$relation_name = :T"
                              " and rdb$index_name not starting with 'RDB$' order by 1");
        q.setParam("T", Value::text(table));
        std::vector<std::string> out;
        for (q.open(); !q.eof(); q.next())
            out.push_back(q.value(0).asText());
        return out;
    }
};

TEST_F(EngineBasics, StatementsFollowTheTableAndItsKeyExactly) {
    const ComandosTabela f = MontaComandos(*dm, "FORMA");
    EXPECT_EQ(f.select, "SELECT * FROM FORMA where 1=2");
    EXPECT_EQ(f.insert, "INSERT INTO FORMA(CD_FORMA,CD_UND,DS_FORMA,DT_EXP,CD_EDI) "
                        "VALUES(:CD_FORMA,:CD_UND,:DS_FORMA,:DT_EXP,:CD_EDI)");
    EXPECT_EQ(f.modify, "UPDATE FORMA set CD_FORMA = :CD_FORMA,\rCD_UND = :CD_UND,\rDS_FORMA = :DS_FORMA,\r"
                        "DT_EXP = :DT_EXP,\rCD_EDI = :CD_EDI where CD_FORMA = :OLD_CD_FORMA");
    EXPECT_EQ(f.del, "DELETE FROM FORMA where CD_FORMA = :OLD_CD_FORMA");

    const ComandosTabela t = MontaComandos(*dm, "T");
    EXPECT_EQ(t.insert, "INSERT INTO T(K) VALUES(:K)");
    EXPECT_EQ(t.modify, "UPDATE T set K = :K where K = :OLD_K");

    const ComandosTabela d = MontaComandos(*dm, "DUAS");
    EXPECT_EQ(d.del.substr(0, 23), "DELETE FROM DUAS where ");
    EXPECT_TRUE(d.del == "DELETE FROM DUAS where A = :OLD_A\rand B = :OLD_B" ||
                d.del == "DELETE FROM DUAS where B = :OLD_B\rand A = :OLD_A")
        << d.del;

    for (const char* semChave : {"LOG_SEM_CHAVE", "forma", "NAO_EXISTE"}) {
        try {
            MontaComandos(*dm, semChave);
            FAIL() << semChave;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Erro:") + semChave + "\rCampo Chave nao definido!");
        }
    }
}

TEST_F(EngineBasics, GeneratedStatementsWriteRowsThroughADataset) {
    db::Dataset ds(dm->DB());
    MontaDataSet(*dm, "DUAS", ds);
    ds.setSelectSql("SELECT * FROM DUAS WHERE A = 1");
    ds.open();
    ds.append();
    ds.setValue("A", Value::int32(1));
    ds.setValue("B", Value::int32(2));
    ds.post();
    ds.open();
    ds.edit();
    ds.setValue("B", Value::int32(3)); // a key column changes, found by its old value
    ds.setValue("C", Value::text("x"));
    ds.post();
    db::Query q(dm->DB(), "select B, C from DUAS");
    q.open();
    EXPECT_EQ(q.value(0), Value::int32(3));
    EXPECT_EQ(q.value(1), Value::text("x"));
}

TEST(CopiaValor, ConvertsBySourceTypeAndLeavesNullsAlone) {
    EXPECT_FALSE(CopiaValor({"X", FieldType::VarChar}, Value()).has_value());
    EXPECT_EQ(*CopiaValor({"X", FieldType::Boolean}, Value::boolean(true)), Value::int32(1));
    EXPECT_EQ(*CopiaValor({"X", FieldType::Boolean}, Value::boolean(false)), Value::int32(0));
    EXPECT_EQ(*CopiaValor({"X", FieldType::BigInt}, Value::int64(INT64_C(9007199254740993))),
              Value::text("9007199254740993"));
    EXPECT_EQ(*CopiaValor({"X", FieldType::Date}, Value::date(Date::fromYmd(2010, 12, 31))),
              Value::timestamp(Timestamp::fromParts(2010, 12, 31)));
    EXPECT_EQ(*CopiaValor({"X", FieldType::Numeric, 18, 4}, Value::numeric({12345, 4})), Value::numeric({12345, 4}));
}

TEST_F(EngineBasics, SchemaPreparationAddsOnlyWhatIsMissing) {
    TfrmEDI engine(*dm, geral, ui);
    std::vector<std::string> executed;
    dm->DB().setTraceListener([&](const db::TraceEvent& e) {
        if (e.kind == db::TraceKind::Execute && (e.text.rfind("ALTER", 0) == 0 || e.text.rfind("CREATE", 0) == 0))
            executed.emplace_back(e.text);
    });
    EXPECT_TRUE(engine.ValidaCamposEDI("REGISTRO_TESTES_POSITIVOS"));
    EXPECT_EQ(executed, (std::vector<std::string>{
                            "ALTER TABLE REGISTRO_TESTES_POSITIVOS ADD DT_EXP TIMESTAMP",
                            "CREATE INDEX REGISTRO_TESTES_POSITIVO_EXP_IX ON REGISTRO_TESTES_POSITIVOS(DT_EXP)",
                            "ALTER TABLE REGISTRO_TESTES_POSITIVOS ADD CD_EDI INTEGER"}));
    executed.clear();
    EXPECT_TRUE(engine.ValidaCamposEDI("PAIS"));
    EXPECT_EQ(executed.size(), 2u);
    dm->Commit();
    EXPECT_EQ(indexes("PAIS"), std::vector<std::string>{"PAIS_EXP_IX"});
    executed.clear();
    EXPECT_FALSE(engine.ValidaCamposEDI("OCUPACAO"));
    EXPECT_FALSE(engine.ValidaCamposEDI("PAIS"));
    EXPECT_TRUE(
        std::none_of(executed.begin(), executed.end(), [](const std::string& s) { return s.rfind("ALTER", 0) == 0; }));
    EXPECT_THROW(engine.ValidaCamposEDI("NAO_EXISTE"), DatabaseError);

    // Names alike in their first 24 characters still each get an index.
    scratch.run("create table REGISTRO_TARV_ESQUEMA_AR (ID integer not null primary key)\n;\n"
                "create table REGISTRO_TARV_ESQUEMA_ARE (ID integer not null primary key)");
    engine.ValidaCamposEDI("REGISTRO_TARV_ESQUEMA_AR");
    dm->Commit();
    engine.ValidaCamposEDI("REGISTRO_TARV_ESQUEMA_ARE");
    dm->Commit();
    EXPECT_EQ(indexes("REGISTRO_TARV_ESQUEMA_ARE"), std::vector<std::string>{"REGISTRO_TARV_ESQUEMA_A2_EXP_IX"});
}

// Tables made before the owner was part of every key: widened where it is safe, and said where it is not.
TEST_F(EngineBasics, SchemaPreparationWidensTheKeyToTheOwnerWhereItCan) {
    scratch.run("create table PAI (ID integer not null primary key, CD_UND integer not null)\n;\n"
                "create table FILHA (X integer not null primary key, ID integer references PAI (ID))\n;\n"
                "create table SEM_DONO (ID integer not null primary key, CD_UND integer)");
    scratch.detach(); // its transaction would keep every row version alive, the engine's checks would see them
    // Through the session: rows another attachment wrote keep their table in use there, and the engine then
    // refuses schema changes.
    test::runScript(dm->DB(), "insert into FORMA (CD_FORMA, CD_UND) values (1, null)\n;\n"
                              "insert into FORMA (CD_FORMA, CD_UND) values (2, 31)\n;\n"
                              "insert into SEM_DONO values (1, null)");
    {
        geral.prmUnidade = "-999";
        TfrmEDI engine(*dm, geral, ui);
        engine.ValidaCamposEDI("SEM_DONO");
        EXPECT_EQ(engine.lbLog(), "SEM_DONO:a chave primária (ID) não inclui CD_UND e não foi alargada: há linhas sem "
                                  "CD_UND e o código desta unidade não está definido\r");
    }
    geral.prmUnidade = "12";
    TfrmEDI engine(*dm, geral, ui);
    EXPECT_TRUE(engine.ValidaCamposEDI("FORMA"));
    engine.ValidaCamposEDI("PAI");
    EXPECT_EQ(engine.lbLog(),
              "PAI:a chave primária (ID) não inclui CD_UND e não foi alargada: outras tabelas "
              "referem-se a ela; linhas de duas unidades com o mesmo código não podem coexistir aqui\r");
    dm->Commit();
    const ComandosTabela f = MontaComandos(*dm, "FORMA");
    EXPECT_EQ(f.chaves, (std::vector<std::string>{"CD_FORMA", "CD_UND"}));
    test::runScript(dm->DB(), "insert into FORMA (CD_FORMA, CD_UND) values (2, 12)");
    db::Query q(dm->DB(), "select list(CD_FORMA || '/' || CD_UND, ' ') from (select * from FORMA order by 1, 2)");
    q.open();
    EXPECT_EQ(q.value(0).asText(), "1/12 2/12 2/31"); // the row without an owner was made here
}

// Another program holding the table (the data-entry application) makes the engine refuse the change at commit:
// said, and the table is still usable as it was.
TEST_F(EngineBasics, SchemaPreparationThatTheEngineRefusesIsToldAndLeavesTheTableAsItWas) {
    scratch.run("insert into FORMA (CD_FORMA, CD_UND) values (1, 31)");
    TfrmEDI engine(*dm, geral, ui);
    EXPECT_FALSE(engine.ValidaCamposEDI("FORMA"));
    EXPECT_EQ(engine.lbLog().rfind("FORMA:a chave primária (CD_FORMA) não inclui CD_UND e não foi alargada: a tabela "
                                   "está em uso por outro programa (",
                                   0),
              0u)
        << engine.lbLog();
    EXPECT_EQ(MontaComandos(*dm, "FORMA").chaves, std::vector<std::string>{"CD_FORMA"});
    test::runScript(dm->DB(), "insert into FORMA (CD_FORMA, CD_UND) values (2, 12)");
}

// A table of the description gets its foreign keys once no row lacks its parent; its parent's key is widened first.
TEST_F(EngineBasics, SchemaPreparationAddsAForeignKeyOnlyWhenNoRowIsAnOrphan) {
    scratch.run("create table PACIENTE (CD_PACIENTE integer not null primary key, CD_UND integer)\n;\n"
                "create table NOTIFICACAO (CD_FICHA bigint not null primary key, CD_PACIENTE integer,"
                " CD_UND integer, DT_EXP timestamp, CD_EDI integer)");
    scratch.detach();
    test::runScript(dm->DB(), "insert into PACIENTE values (1, 12)\n;\n"
                              "insert into NOTIFICACAO (CD_FICHA, CD_PACIENTE, CD_UND) values (10, 1, 12)\n;\n"
                              "insert into NOTIFICACAO (CD_FICHA, CD_PACIENTE, CD_UND) values (11, 2, 12)");
    auto chaveEstrangeira = [&] {
        db::Query q(dm->DB(), "select count(*) from rdb$relation_constraints"
                              " where rdb$constraint_name = 'FK_NOTIFICACAO_PACIENTE'");
        q.open();
        return q.value(0).asInt64();
    };
    geral.prmUnidade = "12";
    {
        TfrmEDI engine(*dm, geral, ui);
        EXPECT_TRUE(engine.ValidaCamposEDI("NOTIFICACAO"));
        EXPECT_EQ(engine.lbLog(), "NOTIFICACAO:a chave estrangeira FK_NOTIFICACAO_PACIENTE para PACIENTE não foi "
                                  "criada: 1 linha(s) de NOTIFICACAO sem a linha de PACIENTE do mesmo dono "
                                  "(CD_PACIENTE, CD_UND)\r");
        dm->Commit();
        EXPECT_EQ(MontaComandos(*dm, "PACIENTE").chaves, (std::vector<std::string>{"CD_PACIENTE", "CD_UND"}));
        EXPECT_EQ(chaveEstrangeira(), 0);
    }
    test::runScript(dm->DB(), "delete from NOTIFICACAO where CD_FICHA = 11");
    TfrmEDI engine(*dm, geral, ui);
    EXPECT_TRUE(engine.ValidaCamposEDI("NOTIFICACAO"));
    EXPECT_EQ(engine.lbLog(), "");
    dm->Commit();
    EXPECT_EQ(chaveEstrangeira(), 1);
    EXPECT_THROW(dm->DB().execute("delete from PACIENTE"), DatabaseError);
}

TEST_F(EngineBasics, RegistryIsOrderedNullsFirstThenByNameAndReadOncePerRun) {
    scratch.run("insert into TABELA_EDI values ('B', 'N', null, 2, null)\n;\n"
                "insert into TABELA_EDI values ('A', 'n', 'N', 1, '  ALVO  ')\n;\n"
                "insert into TABELA_EDI values ('D', ' ', '', 2, null)\n;\n"
                "insert into TABELA_EDI values ('C', null, null, null, null)");
    TfrmEDI engine(*dm, geral, ui);
    engine.btOrdemClick();
    std::vector<std::string> order;
    for (const auto& r : engine.CDSTabela())
        order.push_back(r.NM_TABELA);
    EXPECT_EQ(order, (std::vector<std::string>{"C", "A", "B", "D"}));
    const auto& a = engine.CDSTabela()[1];
    EXPECT_TRUE(a.enviar()); // "n" does not switch a table off
    EXPECT_FALSE(a.receber());
    EXPECT_EQ(a.destino(), "ALVO");
    EXPECT_FALSE(engine.CDSTabela()[2].enviar());
    EXPECT_TRUE(engine.CDSTabela()[3].enviar());
    EXPECT_EQ(engine.CDSTabela()[0].destino(), "C");

    scratch.run("insert into TABELA_EDI values ('E', null, null, 0, null)");
    engine.btOrdemClick();
    EXPECT_EQ(engine.CDSTabela().size(), 4u); // changes count from the next start
}

TEST(FileNames, PacketNamesAndTheirMatchingToTables) {
    const auto t = Timestamp::fromParts(2010, 12, 31, 23, 5, 9);
    EXPECT_EQ(NomeArquivoPacote("PACIENTE", "12", t), "PACIENTE12311210230509.xml");
    EXPECT_EQ(NomeArquivoPacote("PACIENTE", "-999", t), "PACIENTE-999311210230509.xml");
    EXPECT_TRUE(PertenceATabela("REGISTRO_TARV12311210230509.xml", "REGISTRO_TARV"));
    EXPECT_TRUE(
        PertenceATabela("registro_tarv12311210230509.xml", "REGISTRO_TARV")); // the prefix is matched without case
    EXPECT_FALSE(PertenceATabela("REGISTRO_TARV_ACOMP12311210230509.xml", "REGISTRO_TARV"));
    EXPECT_TRUE(PertenceATabela("REGISTRO_TARV_ACOMP12311210230509.xml", "REGISTRO_TARV_ACOMP"));
    EXPECT_FALSE(PertenceATabela("REGISTRO_TARV-999311210230509.xml", "REGISTRO_TARV"));
    EXPECT_FALSE(PertenceATabela("arquivos.xml", "A"));
    EXPECT_EQ(RetiraNumero("PAIS12x3.xml", "PAIS"), "PAISx.xml");
    // Every side reads back what export writes: send's filter, the sender's unit, the benchmark's table.
    for (const char* unidade : {"12", "-999"}) {
        const std::string nome = NomeArquivoPacote("REGISTRO_TARV2", unidade, t);
        EXPECT_TRUE(NomeDePacote(nome)) << nome;
        EXPECT_EQ(UnidadeDoPacote(nome, "REGISTRO_TARV2"), unidade);
        EXPECT_EQ(TabelaDoPacote(nome, unidade), "REGISTRO_TARV2");
        EXPECT_EQ(PacoteArquivado(NomeArquivado(nome)), nome);
    }
    EXPECT_FALSE(NomeDePacote(".PACIENTE12311210230509.xml.parcial"));
    EXPECT_FALSE(UnidadeDoPacote("PACIENTE311210230509.xml", "PACIENTE_X"));
    EXPECT_FALSE(PacoteArquivado("PACIENTE12311210230509.xml"));
    EXPECT_EQ(NomeIndiceExp("REGISTRO_TESTES_POSITIVOS"), "REGISTRO_TESTES_POSITIVO_EXP_IX");
}

} // namespace
} // namespace edi
