#include "installation.h"
#include "interchange/versoes.h"

#include <gtest/gtest.h>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Instalacao;

TEST(RowVersion, TheMomentOfAPacketIsTheTimeInItsName) {
    EXPECT_EQ(MomentoDoPacote("PACIENTE12311210235959.xml"), Timestamp::fromParts(2010, 12, 31, 23, 59, 59));
    EXPECT_EQ(MomentoDoPacote("PACIENTE12010111000000.xml"), Timestamp::fromParts(2011, 1, 1));
    EXPECT_FALSE(MomentoDoPacote("PACIENTE12321210235959.xml")); // no 32nd day
    EXPECT_FALSE(MomentoDoPacote("PACIENTE1231121023595.xml"));
    EXPECT_FALSE(MomentoDoPacote("x.xml"));
}

// Exports the unit's pending patients and hands the packet to the central unit under a name of the given moment.
void entrega(Instalacao& u, Instalacao& central, const std::string& momento) {
    u.engine->btExportarClick();
    ASSERT_EQ(u.saida().size(), 1u);
    fs::rename(u.saida()[0], central.geral.sPathIn / ("PACIENTE12" + momento + ".xml"));
}

// Unit 12 with `pacientes` new patients to send, the central unit 31 receiving them.
struct Par {
    Instalacao u{"12"}, central{"31"};
    explicit Par(int pacientes) {
        u.registra("PACIENTE", 1);
        central.registra("PACIENTE", 1);
        for (int k = 1; k <= pacientes; ++k)
            u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (" + std::to_string(k) +
                  ", 12, 'Paciente " + std::to_string(k) + "')");
    }
};

TEST(RowVersion, ARecordOfAnOlderPacketArrivingLateDoesNotOverwriteWhatANewerPacketWrote) {
    Par par(4);
    auto& [u, central] = par;
    const fs::path guardado = u.home.path() / "antigo.xml";
    entrega(u, central, "050124100000");
    fs::rename(central.geral.sPathIn / "PACIENTE12050124100000.xml", guardado);
    u.sql("update PACIENTE set NM_PACIENTE = 'Revisto', DT_EXP = null where CD_PACIENTE in (2, 4)");
    entrega(u, central, "100124100000");

    central.engine->btImportarClick(); // the newer packet: patients 2 and 4 revised
    fs::rename(guardado, central.geral.sPathIn / "PACIENTE12050124100000.xml");
    central.engine->btImportarClick(); // the older one, delivered again: patients 1 and 3 are new, 2 and 4 stay
    EXPECT_EQ(central.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}), u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}));
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where NM_PACIENTE = 'Revisto'"), 2);
}

// An installation upgraded from the memory kept a row per row still has it: it is read (through an index on the
// moment that the import adds), never written again.
TEST(RowVersion, TheRowPerRowMemoryOfAnEarlierVersionIsStillHonoured) {
    Par par(3);
    auto& [u, central] = par;
    entrega(u, central, "050124100000");
    central.sql("create table EDI_VERSAO (NM_TABELA varchar(31) not null, CD_UND bigint not null, CD_EDI bigint not "
                "null, DT_ARQUIVO timestamp not null, primary key (NM_TABELA, CD_UND, CD_EDI))");
    const int64_t segundo = u.numero("select CD_EDI from PACIENTE where CD_PACIENTE = 2");
    central.sql("insert into EDI_VERSAO values ('PACIENTE', 12, " + std::to_string(segundo) +
                ", timestamp '2024-01-06 00:00:00')");
    central.engine->btImportarClick();
    EXPECT_EQ(central.numero("select count(*) from PACIENTE"), 2);
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where CD_EDI = " + std::to_string(segundo)), 0);
    EXPECT_EQ(central.numero("select count(*) from EDI_VERSAO"), 1);
    EXPECT_EQ(central.numero("select count(*) from RDB$INDICES where RDB$INDEX_NAME = 'EDI_VERSAO_MOMENTO'"), 1);
}

// The memory of a batch is written with its rows, before their commit: when it cannot be, the batch goes and the
// file waits for the next run, which writes both.
TEST(RowVersion, ABatchWhoseMemoryCannotBeWrittenLeavesNothingAndItsFileWaits) {
    Par par(3);
    auto& [u, central] = par;
    entrega(u, central, "050124100000");
    central.sql("create table EDI_VERSAO_FAIXA (NM_TABELA varchar(31) not null, CD_UND bigint not null, CD_EDI_DE "
                "bigint not null, CD_EDI_ATE bigint not null, DT_ARQUIVO timestamp not null, constraint CHEIA check "
                "(CD_UND <> 12))");
    central.engine->btImportarClick();
    EXPECT_EQ(central.numero("select count(*) from PACIENTE"), 0);
    EXPECT_TRUE(fs::exists(central.geral.sPathIn / "PACIENTE12050124100000.xml"));

    central.sql("alter table EDI_VERSAO_FAIXA drop constraint CHEIA");
    central.engine->btImportarClick();
    EXPECT_EQ(central.numero("select count(*) from PACIENTE"), 3);
    EXPECT_EQ(central.numero("select count(*) from EDI_VERSAO_FAIXA"), 1); // three new codes: one run
}

} // namespace
} // namespace edi
