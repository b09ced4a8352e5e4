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
    EXPECT_EQ(MomentoDoPacote("PACIENTE12311299230000.xml"), Timestamp::fromParts(1999, 12, 31, 23)); // not 2099
    EXPECT_EQ(MomentoDoPacote("PACIENTE12010170000000.xml"), Timestamp::fromParts(1970, 1, 1));
    EXPECT_EQ(MomentoDoPacote("PACIENTE12311269000000.xml"), Timestamp::fromParts(2069, 12, 31));
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
    EXPECT_EQ(central.ui.message(), "Pronto! Registros ignorados por já terem versão mais recente: 2");
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

// Every patient renamed and exported under the unit's clock, then received by the central unit.
void editaEEntrega(Par& par, const Timestamp& relogio, const std::string& nome) {
    par.u.sql("update PACIENTE set NM_PACIENTE = '" + nome + "', DT_EXP = null");
    par.u.engine->relogio = [relogio] { return relogio; };
    par.u.engine->btExportarClick();
    par.u.entregaPara(par.central);
    par.central.engine->btImportarClick();
}

// A clock set back, the hour repeated when summer time ends (a naive local clock going back 40 minutes) and a
// clock before 2000 (a packet once named "...311299..." was read as 2099): a later edit always stands.
TEST(PacketMoment, ALaterEditStandsWhateverTheUnitsClockSays) {
    const Timestamp certo = Timestamp::fromParts(2026, 10, 25, 1, 50);
    for (const Timestamp errado : {Timestamp::fromParts(2026, 1, 1, 10), Timestamp::fromParts(2026, 10, 25, 1, 10),
                                   Timestamp::fromParts(1999, 12, 31, 23, 59, 59)}) {
        Par par(3);
        int edicao = 0;
        for (const Timestamp& relogio : {certo, errado, certo.plusSeconds(3600)}) {
            editaEEntrega(par, relogio, "Edicao " + std::to_string(++edicao));
            const bool iguais = par.central.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}) ==
                                par.u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"});
            EXPECT_TRUE(iguais) << formatDateTime("dd/mm/yyyy hh:nn:ss", errado) << ", edição " << edicao;
            if (!iguais)
                break;
        }
    }
}

// The last moment and the highest code are kept in the program folder and in the database: a database restored
// from a copy, or a lost program folder, alone rewinds neither.
TEST(PacketMoment, ARestoredDatabaseOrALostProgramFolderRewindsNeitherMomentsNorCodes) {
    Par par(2);
    auto& [u, central] = par;
    const Timestamp dia = Timestamp::fromParts(2026, 3, 1, 10);
    editaEEntrega(par, dia, "Antes da copia");
    u.fecha();
    const fs::path base = u.params.database, copia = u.home.path() / "copia.fdb";
    fs::copy_file(base, copia);
    u.abre();
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (3, 12, 'Depois da copia')");
    editaEEntrega(par, dia.plusSeconds(60), "Depois da copia");
    u.fecha();
    fs::copy_file(copia, base, fs::copy_options::overwrite_existing);
    u.abre();

    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (4, 12, 'Nova')");
    editaEEntrega(par, dia, "Restaurada");
    EXPECT_EQ(u.numero("select min(CD_EDI) from PACIENTE where CD_PACIENTE = 4"), 4);
    EXPECT_NE(u.engine->lbLog().find("A base de dados foi restaurada de uma cópia: o gerador GEN_EDI estava em 2 e os "
                                     "códigos de intercâmbio passaram para depois de 3"),
              std::string::npos)
        << u.engine->lbLog();
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where NM_PACIENTE = 'Restaurada'"), 3);
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where NM_PACIENTE = 'Depois da copia'"), 1);

    fs::remove(u.home.path() / "EstadoInstalacao.txt");
    editaEEntrega(par, dia, "Pasta perdida");
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where NM_PACIENTE = 'Pasta perdida'"), 3);
}

// Two installations configured as unit 12 are told apart by the identity their packets carry: alternating
// packets are an error that names both computers; a reinstallation (one change, never back) is not. The records
// are imported either way.
TEST(PacketMoment, TwoInstallationsSendingAsOneUnitAreSaidLoudly) {
    Instalacao a("12"), b("12"), central("31");
    for (Instalacao* i : {&a, &b, &central})
        i->registra("PACIENTE", 1);
    a.engine->computador = "pc-a";
    b.engine->computador = "pc-b";
    int minuto = 0, codigo = 0;
    auto envia = [&](Instalacao& i) {
        i.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (" + std::to_string(++codigo) +
              ", 12, 'P')");
        i.engine->relogio = [m = ++minuto] { return Timestamp::fromParts(2026, 5, 1, 10, m); };
        i.engine->btExportarClick();
        i.entregaPara(central);
        central.engine->btImportarClick();
    };
    envia(a);
    envia(b); // a reinstallation would look so far the same
    envia(b);
    EXPECT_NO_THROW(central.engine->LancaAlertas());
    envia(a);
    try {
        central.engine->LancaAlertas();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Duas instalações enviam pacotes como a unidade 12: os computadores \"pc-a\" e "
                               "\"pc-b\". Os registros foram importados, mas os códigos de intercâmbio das duas "
                               "podem coincidir e uma sobrepor as linhas da outra: dê a cada instalação o seu próprio "
                               "código de unidade.");
    }
    EXPECT_TRUE(central.arquivos(central.geral.sPathIn).empty()); // every packet imported
}

} // namespace
} // namespace edi
