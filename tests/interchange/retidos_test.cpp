// Records the central unit refuses are kept, retried and finally held for the operator; never dropped.
#include "core/files.h"
#include "installation.h"
#include "interchange/retidos.h"
#include "packet/packet_table.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Instalacao;

// Every per-file log of the day's folder, joined.
std::string logsDoDia(Instalacao& c) {
    std::string todos;
    for (const auto& f : c.arquivos(c.geral.sPathIn / formatDateTime("ddmmyy", Timestamp::localNow())))
        if (f.extension() == ".log")
            todos += readFile(f);
    return todos;
}

std::vector<std::string> retidos(Instalacao& c) {
    std::vector<std::string> nomes;
    for (const auto& r : arquivosRetidos(c.geral.sPathIn))
        nomes.push_back(r.caminho.filename().string());
    return nomes;
}

// Unit 12 sends a patient and a register; another user at the central unit holds the patient's row in an
// uncommitted edit.
struct Bloqueio {
    Instalacao u{"12"}, c{"31"};
    std::unique_ptr<db::Database> operador;
    Bloqueio() {
        for (Instalacao* i : {&u, &c})
            i->registra("PACIENTE", 1);
        u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (1, 12, 'Ana', 1)");
        u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (2, 12, 'Bia', 2)");
        c.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (1, 12, 'antiga', 1)");
        u.engine->btExportarClick();
        u.entregaPara(c);
        operador = db::Database::open(c.params);
        operador->execute("update PACIENTE set NM_PACIENTE = 'em edição' where CD_PACIENTE = 1");
    }
};

TEST(Retidos, ARowLockedByAnotherUserWaitsABoundedTimeThenIsLeftForTheNextRunNotFailed) {
    Bloqueio b;
    b.c.engine->esperaPorBloqueio = std::chrono::milliseconds(300);
    b.c.engine->btImportarClick();
    EXPECT_EQ(b.c.texto("select NM_PACIENTE from PACIENTE where CD_PACIENTE = 2"), "Bia");
    EXPECT_NE(logsDoDia(b.c).find(" Erros :0 Alterados :0 Novos :1\r\n"
                                  "Registros deixados para a próxima execução por estarem bloqueados por outro "
                                  "usuário: 1\r\n"),
              std::string::npos)
        << logsDoDia(b.c);
    ASSERT_EQ(retidos(b.c).size(), 1u);
    EXPECT_EQ(retidos(b.c)[0].substr(0, 2), "0-");
    EXPECT_EQ(b.c.ui.message(), "Registros retidos em EDI/IN/retidos: 0 para nova tentativa, 1 à espera de um "
                                "registro bloqueado, 0 à espera do operador");

    // Still locked: the count of failed runs does not grow.
    b.c.engine->btImportarClick();
    EXPECT_EQ(retidos(b.c)[0].substr(0, 2), "0-");

    b.operador->transaction().rollbackRetaining();
    b.c.engine->btImportarClick();
    EXPECT_EQ(b.c.texto("select NM_PACIENTE from PACIENTE where CD_PACIENTE = 1"), "Ana");
    EXPECT_TRUE(retidos(b.c).empty());
    EXPECT_EQ(b.c.ui.message(), "Pronto!");
}

TEST(Retidos, ARowReleasedWhileTheImportWaitsIsWrittenInTheSameRun) {
    Bloqueio b;
    b.c.engine->esperaPorBloqueio = std::chrono::seconds(60);
    int vezes = 0;
    b.c.ui.onPump = [&] {
        if (++vezes == 3) // the file, record 1, then the first pause of the wait
            b.operador->transaction().rollbackRetaining();
    };
    b.c.engine->btImportarClick();
    EXPECT_EQ(b.c.texto("select list(NM_PACIENTE) from (select NM_PACIENTE from PACIENTE order by 1)"), "Ana,Bia");
    EXPECT_TRUE(retidos(b.c).empty());
    EXPECT_NE(logsDoDia(b.c).find(" Erros :0 Alterados :1 Novos :1\r\n"), std::string::npos) << logsDoDia(b.c);
}

// A child refused because its parent has not arrived is retried in its table's turn, after the parent's table.
TEST(Retidos, AChildKeptForWantOfItsParentArrivesOnceTheParentDoes) {
    Instalacao u("12"), c("31");
    registraFichaEAcompanhamento(u, c);
    u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, NR_QTD, CD_EDI) values (1, 12, 5, 1)");
    u.sql("insert into REGISTRO_TARV_ACOMP (CD_REGISTRO, CD_UND, NR_QTD, CD_EDI) values (1, 12, 3, 2)");
    u.engine->btExportarClick();
    const auto pacotes = u.saida(); // REGISTRO_TARV..., REGISTRO_TARV_ACOMP...
    ASSERT_EQ(pacotes.size(), 2u);
    fs::rename(pacotes[1], c.geral.sPathIn / pacotes[1].filename());
    c.engine->btImportarClick();
    EXPECT_EQ(retidos(c), (std::vector<std::string>{"1-" + pacotes[1].filename().string()}));

    fs::rename(pacotes[0], c.geral.sPathIn / pacotes[0].filename());
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV_ACOMP"), 1);
    EXPECT_TRUE(retidos(c).empty());
}

// A central database in WIN1252 that lacks the unit's new column, holds the unit's address key under another
// interchange code, and already has a patient of unit 12 under the code a restored unit gives again.
TEST(Retidos, RefusedRecordsAreKeptRetriedThriceThenHeldUntilTheOperatorReimports) {
    Instalacao u("12");
    Instalacao c(
        [](db::ConnectionParams& p) {
            auto db = db::Database::create(p, "WIN1252", 8192, false);
            Instalacao::roda(*db, std::string(test::kEsquemaMotor) + R"(
;
insert into PARAMETRO values (1, '31')
;
insert into PARAMETRO values (27, '31')
;
insert into PARAMETRO values (29, ''))");
        },
        "central.fdb");
    for (Instalacao* i : {&u, &c}) {
        i->sql("create table ENDERECO (CD_ENDERECO integer not null constraint PK_ENDERECO primary key,"
               " CD_UND integer, DS_ENDERECO varchar(40), DT_EXP timestamp, CD_EDI integer)");
        i->registra("PACIENTE", 1);
        i->registra("REGISTRO_TARV", 2);
        i->registra("ENDERECO", 3);
    }
    u.sql("alter table REGISTRO_TARV add NR_NOVA_COLUNA integer");
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (1, 12, 'Ana 😀', 1)");
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (2, 12, 'Bia', 2)");
    u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, NR_QTD, NR_NOVA_COLUNA) values (1, 12, 5, 7)");
    u.sql("insert into ENDERECO (CD_ENDERECO, CD_UND, DS_ENDERECO) values (1, 12, 'Rua A')");
    c.sql("insert into ENDERECO values (1, 12, 'Rua B', null, 7)"); // the same key under another code
    c.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, CD_EDI) values (9, 12, 'Criada depois', 2)");
    u.engine->btExportarClick();
    for (const auto& f : u.saida()) { // one moment for every packet, so the later fix is plainly newer
        const std::string nome = f.filename().string();
        fs::rename(f, c.geral.sPathIn / (nome.substr(0, nome.size() - 16) + "010124080000.xml"));
    }

    c.engine->btImportarClick();
    EXPECT_EQ(retidos(c), (std::vector<std::string>{"1-ENDERECO12010124080000.xml", "1-PACIENTE12010124080000.xml",
                                                    "1-REGISTRO_TARV12010124080000.xml"}));
    EXPECT_EQ(PacketTable::loadFromFile(c.geral.sPathIn / "retidos" / "1-PACIENTE12010124080000.xml").recordCount(),
              2u);
    EXPECT_EQ(c.texto("select NM_PACIENTE from PACIENTE where CD_UND = 12 and CD_EDI = 2"), "Criada depois");
    const std::string log = logsDoDia(c);
    for (const char* motivo :
         {"código de intercâmbio reutilizado: CD_UND 12, CD_EDI 2 já é a linha de CD_PACIENTE 9, "
          "e o registro traz CD_PACIENTE 2",
          "NR_NOVA_COLUNA", "violation of PRIMARY or UNIQUE KEY", "Registros retidos em EDI/IN/retidos/1-PACIENTE"})
        EXPECT_NE(log.find(motivo), std::string::npos) << motivo << "\n" << log;
    EXPECT_EQ(c.ui.message(), "Registros retidos em EDI/IN/retidos: 4 para nova tentativa, 0 à espera de um "
                              "registro bloqueado, 0 à espera do operador");

    c.engine->btImportarClick();
    c.engine->btImportarClick();
    const std::vector<std::string> doOperador = {"3-ENDERECO12010124080000.xml", "3-PACIENTE12010124080000.xml",
                                                 "3-REGISTRO_TARV12010124080000.xml"};
    EXPECT_EQ(retidos(c), doOperador);
    c.engine->btImportarClick(); // no longer retried on its own
    EXPECT_EQ(retidos(c), doOperador);
    const std::string aoOperador = "Registros retidos em EDI/IN/retidos: 0 para nova tentativa, 0 à espera de um "
                                   "registro bloqueado, 4 à espera do operador. Veja o motivo de cada um nos logs "
                                   "das pastas do dia em EDI/IN, corrija-o e execute \"edi-sync reimportar\"";
    EXPECT_EQ(c.ui.message(), aoOperador);
    EXPECT_NE(c.engine->lbLog().find("Importação:" + aoOperador + "\r"), std::string::npos);

    // The unit corrects the name: its newer version is imported, and the kept older one is dropped, never applied.
    u.sql("update PACIENTE set NM_PACIENTE = 'Ana', DT_EXP = null where CD_PACIENTE = 1");
    u.engine->btExportarClick();
    fs::rename(u.saida().at(0), c.geral.sPathIn / "PACIENTE12020124080000.xml");
    c.engine->btImportarClick();
    EXPECT_EQ(c.texto("select NM_PACIENTE from PACIENTE where CD_PACIENTE = 1"), "Ana");
    // The operator mends the other causes but the reused code, which needs a person to decide.
    c.sql("alter table REGISTRO_TARV add NR_NOVA_COLUNA integer");
    c.sql("delete from ENDERECO where CD_EDI = 7");
    c.engine->btReimportarClick();
    EXPECT_EQ(c.texto("select NR_NOVA_COLUNA from REGISTRO_TARV"), "7");
    EXPECT_EQ(c.texto("select DS_ENDERECO from ENDERECO"), "Rua A");
    EXPECT_EQ(retidos(c), (std::vector<std::string>{"4-PACIENTE12010124080000.xml"}));
    EXPECT_EQ(PacketTable::loadFromFile(c.geral.sPathIn / "retidos" / "4-PACIENTE12010124080000.xml").recordCount(),
              1u);
}

// A kept record keeps its packet's moment: once a newer version of its row is in, it is never applied over it.
TEST(Retidos, AKeptRecordNeverOverwritesANewerVersionOfItsRow) {
    Instalacao u("12"), c("31");
    for (Instalacao* i : {&u, &c})
        i->registra("REGISTRO_TARV", 1);
    c.sql("alter table REGISTRO_TARV add constraint QTD_POSITIVA check (NR_QTD >= 0)");
    u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, NR_QTD, CD_EDI) values (1, 12, -1, 1)");
    u.engine->btExportarClick();
    fs::rename(u.saida().at(0), c.geral.sPathIn / "REGISTRO_TARV12010124080000.xml");
    c.engine->btImportarClick();
    u.sql("update REGISTRO_TARV set NR_QTD = 5, DT_EXP = null");
    u.engine->btExportarClick();
    fs::rename(u.saida().at(0), c.geral.sPathIn / "REGISTRO_TARV12020124080000.xml");
    c.engine->btImportarClick(); // the kept -1 fails again, then 5 arrives
    EXPECT_EQ(retidos(c), (std::vector<std::string>{"2-REGISTRO_TARV12010124080000.xml"}));
    c.sql("alter table REGISTRO_TARV drop constraint QTD_POSITIVA");
    c.engine->btImportarClick();
    EXPECT_EQ(c.texto("select NR_QTD from REGISTRO_TARV"), "5");
    EXPECT_TRUE(retidos(c).empty());
}

} // namespace
} // namespace edi
