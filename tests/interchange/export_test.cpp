#include "core/files.h"
#include "installation.h"
#include "packet/packet_table.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Instalacao;

void paciente(Instalacao& u, int codigo, const std::string& nome = "'Paciente'", const std::string& obs = "null") {
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, DS_OBS) values (" + std::to_string(codigo) +
          ", 12, " + nome + ", " + obs + ")");
}

std::set<int64_t> pacientesNoPacote(const fs::path& f) {
    PacketTable p = PacketTable::loadFromFile(f);
    std::set<int64_t> out;
    for (p.first(); !p.eof(); p.next())
        out.insert(p.value("CD_PACIENTE").asInt64());
    return out;
}

std::vector<std::string> nomes(const std::vector<fs::path>& arquivos) {
    std::vector<std::string> out;
    for (const auto& f : arquivos)
        out.push_back(f.filename().string());
    return out;
}

TEST(ExportFiles, AnExportInTheSameSecondTakesTheNextFreeSecondAndReplacesNothing) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.engine->relogio = [] { return Timestamp::fromParts(2010, 12, 31, 23, 59, 59, 500); }; // the clock stands
    paciente(u, 1);
    u.engine->btExportarClick();
    paciente(u, 2);
    u.engine->btExportarClick();
    paciente(u, 3);
    u.engine->btExportarClick();

    EXPECT_EQ(u.engine->lbLog(), "");
    const auto arquivos = u.saida();
    EXPECT_EQ(nomes(arquivos), (std::vector<std::string>{"PACIENTE12010111000000.xml", "PACIENTE12010111000001.xml",
                                                         "PACIENTE12311210235959.xml"}));
    ASSERT_EQ(arquivos.size(), 3u);
    EXPECT_EQ(pacientesNoPacote(arquivos[2]), std::set<int64_t>{1});
    EXPECT_EQ(pacientesNoPacote(arquivos[0]), std::set<int64_t>{2});
    EXPECT_EQ(pacientesNoPacote(arquivos[1]), std::set<int64_t>{3});
}

// A clock set back must not give a packet the name of one already sent: the server keeps one file per name, and
// one still waiting there would be replaced.
TEST(ExportFiles, ANameAlreadySentIsNotTakenAgain) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.engine->relogio = [] { return Timestamp::fromParts(2010, 12, 31, 23, 59, 59); };
    paciente(u, 1);
    u.engine->btExportarClick();
    ASSERT_EQ(u.saida().size(), 1u);
    const fs::path arquivo = u.geral.sPathOut / "311210" / "PACIENTE12311210235959.bkp"; // as the send archives it
    fs::create_directories(arquivo.parent_path());
    fs::rename(u.saida()[0], arquivo);
    paciente(u, 2);
    u.engine->btExportarClick();

    EXPECT_EQ(nomes(u.saida()), std::vector<std::string>{"PACIENTE12010111000000.xml"});
}

// However many tables a run writes, its packets share one moment: names stay with the clock.
TEST(ExportFiles, ThePacketsOfOneRunShareItsMoment) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.registra("REGISTRO_TARV", 2);
    u.engine->relogio = [] { return Timestamp::fromParts(2011, 1, 5, 8, 0, 0); };
    paciente(u, 1);
    u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, NR_QTD) values (1, 12, 3)");
    u.engine->btExportarClick();
    EXPECT_EQ(nomes(u.saida()),
              (std::vector<std::string>{"PACIENTE12050111080000.xml", "REGISTRO_TARV12050111080000.xml"}));
}

// Two exports of one installation at once (the desktop client and the daemon) write into one folder.
TEST(ExportFiles, TwoExportsRacingIntoOneFolderKeepEveryPacket) {
    Instalacao a("12"), b("12");
    b.geral.sPathOut = a.geral.sPathOut;
    for (Instalacao* i : {&a, &b}) {
        i->registra("PACIENTE", 1);
        i->engine->relogio = [] { return Timestamp::fromParts(2011, 1, 5, 8, 0, 0); };
    }
    for (int k = 1; k <= 200; ++k)
        paciente(k % 2 ? a : b, k);

    std::thread outra([&] { b.engine->btExportarClick(); });
    a.engine->btExportarClick();
    outra.join();

    EXPECT_EQ(a.engine->lbLog() + b.engine->lbLog(), "");
    const auto arquivos = a.saida();
    EXPECT_EQ(nomes(arquivos), (std::vector<std::string>{"PACIENTE12050111080000.xml", "PACIENTE12050111080001.xml"}));
    std::set<int64_t> todos;
    for (const auto& f : arquivos)
        for (int64_t k : pacientesNoPacote(f))
            todos.insert(k);
    EXPECT_EQ(todos.size(), 200u);
}

TEST(ExportRows, OnlyAttributeValuesRefuseControlCharactersAndTheLogNamesTheRowsKey) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    paciente(u, 1, "'Texto'", "'Bip ' || ascii_char(7) || ascii_char(27) || ' fim'");
    paciente(u, 2, "'Sino ' || ascii_char(7)");
    u.engine->btExportarClick();

    EXPECT_EQ(u.engine->lbLog(), "PACIENTE:registro CD_PACIENTE=2, CD_UND=12: Coluna NM_PACIENTE: caractere de "
                                 "controle 7 não pode ir num pacote\r");
    ASSERT_EQ(u.saida().size(), 1u);
    PacketTable p = PacketTable::loadFromFile(u.saida()[0]);
    ASSERT_EQ(p.recordCount(), 1u);
    EXPECT_EQ(p.value("DS_OBS").asText(), "Bip \x07\x1B fim");
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null and CD_PACIENTE = 2"), 1);
}

TEST(ExportRows, ATableWhoseRowsAllFailWritesNoFile) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    paciente(u, 1, "'Sino ' || ascii_char(7)");
    u.engine->btExportarClick();
    EXPECT_NE(u.engine->lbLog(), "");
    EXPECT_TRUE(u.saida().empty());
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 1);
}

TEST(ExportPacket, NumericsDeclareTheirPrecisionAndRealsAreWrittenWithoutExponent) {
    Instalacao u("12");
    u.sql("create table MEDIDA (ID integer not null primary key, NR_A numeric(3,1), NR_B decimal(5,2),"
          " NR_C numeric(12,4), VL_R double precision, CD_UND integer, DT_EXP timestamp, CD_EDI integer)");
    u.sql("insert into MEDIDA (ID, NR_A, NR_B, NR_C, VL_R) values (1, 12.3, -123.45, 12345678.1234, 1e-7)");
    u.sql("insert into MEDIDA (ID, VL_R) values (2, 1.5e21)");
    u.registra("MEDIDA", 1);
    u.engine->btExportarClick();
    EXPECT_EQ(u.engine->lbLog(), "");
    ASSERT_EQ(u.saida().size(), 1u);
    const std::string xml = readFile(u.saida()[0]);
    for (const char* campo : {"<FIELD attrname=\"NR_A\" fieldtype=\"fixed\" DECIMALS=\"1\" WIDTH=\"3\"/>",
                              "<FIELD attrname=\"NR_B\" fieldtype=\"fixed\" DECIMALS=\"2\" WIDTH=\"5\"/>",
                              "<FIELD attrname=\"NR_C\" fieldtype=\"fixed\" DECIMALS=\"4\" WIDTH=\"12\"/>",
                              " VL_R=\"0.0000001\"", " VL_R=\"1500000000000000000000\""})
        EXPECT_NE(xml.find(campo), std::string::npos) << campo << "\n" << xml;
}

// A deletion is recorded for export when this unit owns the row and it had a code, whoever deletes it; the import's
// own deletions (its context variable set) came from elsewhere and are not.
TEST(DeletionCapture, OnlyOwnedRowsWithACodeDeletedOutsideTheImportAreRecorded) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    for (int codigo : {1, 2, 3})
        paciente(u, codigo);
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, CD_EDI) values (4, 31, 9)");
    u.engine->btExportarClick(); // prepares the table and gives the rows their codes
    ASSERT_EQ(u.engine->lbLog(), "");
    paciente(u, 5);
    const auto codigo = [&](int paciente) {
        return std::to_string(u.numero("select CD_EDI from PACIENTE where CD_PACIENTE = " + std::to_string(paciente)));
    };
    const std::string esperados = codigo(1) + ", " + codigo(3);
    u.sql("delete from PACIENTE where CD_PACIENTE in (1, 4, 5)");
    const auto contexto = [&](const std::string& valor) {
        db::Query q(u.dm->DB(),
                    "select rdb$set_context('USER_SESSION', 'EDI_IMPORTACAO', " + valor + ") from rdb$database");
        q.open();
    };
    contexto("'1'");
    u.sql("delete from PACIENTE where CD_PACIENTE = 2");
    contexto("null");
    u.sql("delete from PACIENTE where CD_PACIENTE = 3");

    EXPECT_EQ(u.numero("select count(*) from EDI_EXCLUSAO"), 2);
    EXPECT_EQ(
        u.numero("select count(*) from EDI_EXCLUSAO where NM_TABELA = 'PACIENTE' and CD_UND = 12 and CD_EDI in (" +
                 esperados + ") and DT_EXCLUSAO is not null and DT_EXP is null"),
        2);
}

// Recorded deletions travel in the table's packet as deleted rows with the row's owner and code; a packet may hold
// nothing else. They count as sent only once their file is complete.
TEST(DeletionTransport, DeletionsTravelAsDeletedRowsMarkedOnlyWithTheirFile) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    for (int codigo : {1, 2})
        paciente(u, codigo);
    u.engine->btExportarClick();
    for (const auto& f : u.saida())
        fs::remove(f);
    const int64_t codigo = u.numero("select CD_EDI from PACIENTE where CD_PACIENTE = 1");
    u.sql("delete from PACIENTE where CD_PACIENTE = 1");

    u.engine->pontoDeTeste = [](const char* ponto) {
        if (std::string_view(ponto) == "export:deletions-marked")
            throw IoError("disco cheio");
    };
    u.engine->btExportarClick();
    EXPECT_TRUE(u.saida().empty());
    EXPECT_EQ(u.numero("select count(*) from EDI_EXCLUSAO where DT_EXP is null"), 1);

    u.engine->pontoDeTeste = [](const char*) {};
    u.engine->btExportarClick();
    ASSERT_EQ(u.saida().size(), 1u);
    EXPECT_TRUE(pacientesNoPacote(u.saida()[0]).empty()); // what an older reader sees
    PacketTable p = PacketTable::loadFromFile(u.saida()[0], PacketTable::RowView::WithDeleted);
    ASSERT_EQ(p.recordCount(), 1u);
    EXPECT_EQ(p.rowState(), PacketTable::RowState::Deleted);
    EXPECT_EQ(p.value("CD_UND").asInt64(), 12);
    EXPECT_EQ(p.value("CD_EDI").asInt64(), codigo);
    EXPECT_EQ(u.numero("select count(*) from EDI_EXCLUSAO where DT_EXP is null"), 0);
    u.engine->btExportarClick(); // nothing more to send
    EXPECT_EQ(u.saida().size(), 1u);
}

} // namespace
} // namespace edi
