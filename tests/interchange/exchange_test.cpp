#include "core/files.h"
#include "installation.h"
#include "interchange/retidos.h"
#include "packet/packet_table.h"

#include <gtest/gtest.h>

#include <ctime>

#include <fstream>
#include <sys/resource.h>

namespace edi {
namespace {

namespace fs = std::filesystem;
using test::Instalacao;

const char* kInserePaciente = "insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, TP_SEXO, DT_NASCIMENTO,"
                              " DT_CADASTRO, NR_PESO, NR_CARTAO, DS_OBS, BL_FOTO, FL_ATIVO, CD_EDI) values ";

void semeiaPacientes(Instalacao& u) {
    u.sql(std::string(kInserePaciente) +
          "(1, 12, 'João Conceição & Filhos <\"x\">', 'M', '1980-01-31', '2024-03-15 14:30:05.123', 1234.5678,"
          " 9007199254740993, 'Linha 1' || ascii_char(13) || ascii_char(10) || 'Linha 2 – ação', x'00FF0D0A3C26', 1, "
          "null)");
    u.sql(std::string(kInserePaciente) +
          "(2, 12, '', 'F', null, null, -0.0001, -9223372036854775808, '', null, 0, null)");
    // Received earlier from unit 3: keeps its owner and code.
    u.sql(std::string(kInserePaciente) + "(7, 3, 'Recebido', null, null, null, null, null, null, null, null, 57)");
}

TEST(Export, StampsMarksAndPacksEveryPendingRow) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.registra("REGISTRO_TARV", 2); // nothing pending: no file
    semeiaPacientes(u);
    u.engine->btExportarClick();

    EXPECT_EQ(u.engine->lbLog(), "");
    EXPECT_EQ(u.ui.message(), "Pronto!");
    EXPECT_EQ(u.ui.position, 0);
    const auto files = u.saida();
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    EXPECT_EQ(name.substr(0, 10), "PACIENTE12");
    EXPECT_EQ(name.size(), std::string("PACIENTE12311210230509.xml").size());

    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 0);
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP <> cast(cast('now' as date) as timestamp)"), 0);
    EXPECT_EQ(u.texto("select CD_UND || '/' || CD_EDI from PACIENTE where CD_PACIENTE = 7"), "3/57");
    EXPECT_EQ(u.numero("select count(distinct CD_EDI) from PACIENTE where CD_UND = 12"), 2);
    EXPECT_EQ(u.numero("select gen_id(GEN_EDI, 0) from DUAL"), 2);

    // The packet holds the rows exactly as the database keeps them after marking.
    PacketTable packet = PacketTable::loadFromFile(files[0]);
    ASSERT_EQ(packet.recordCount(), 3u);
    std::vector<std::string> fromPacket;
    for (packet.first(); !packet.eof(); packet.next()) {
        std::string row;
        for (size_t i = 0; i < packet.fields().size(); ++i)
            row += packet.fields()[i].name + "=" + packet.value(i).debugString() + ";";
        fromPacket.push_back(row);
    }
    std::sort(fromPacket.begin(), fromPacket.end());
    auto fromDb = u.linhas("PACIENTE", "CD_PACIENTE");
    std::sort(fromDb.begin(), fromDb.end());
    EXPECT_EQ(fromPacket, fromDb);

    u.engine->btExportarClick();
    EXPECT_EQ(u.saida().size(), 1u); // nothing pending any more
}

TEST(Export, AChildTableRegisteredBeforeItsParentIsSaid) {
    Instalacao u("12");
    u.sql("create table NOTIFICACAO (CD_FICHA integer not null, CD_UND integer not null, CD_PACIENTE integer,"
          " DT_EXP timestamp, CD_EDI integer, primary key (CD_FICHA, CD_UND))");
    u.registra("NOTIFICACAO", 1);
    u.registra("PACIENTE", 2);
    u.engine->btExportarClick();
    EXPECT_EQ(u.engine->lbLog(), "NOTIFICACAO:a tabela PACIENTE, de que esta depende, vem depois dela em TABELA_EDI "
                                 "(NR_ORDEM): ponha-a antes, ou os registros desta que chegarem junto com os dela "
                                 "falham\r");
}

TEST(Export, ATableThatFailsIsLoggedAndTheOthersGoOn) {
    Instalacao u("12");
    u.registra("NAO_EXISTE", 1);
    u.registra("PACIENTE", 2);
    u.registra("REGISTRO_TARV", 3, "N");
    semeiaPacientes(u);
    u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND) values (1, 12)");
    u.engine->btExportarClick();
    EXPECT_EQ(u.engine->lbLog().rfind("NAO_EXISTE:", 0), 0u) << u.engine->lbLog();
    EXPECT_EQ(u.engine->lbLog().back(), '\r');
    ASSERT_EQ(u.saida().size(), 1u);
    EXPECT_EQ(u.saida()[0].filename().string().substr(0, 8), "PACIENTE");
    EXPECT_EQ(u.numero("select count(*) from REGISTRO_TARV where DT_EXP is null"), 1); // "N": not sent
}

// Text leaves as UTF-8 whatever the connection's character set, and a column in NONE as the Windows-1252 it
// holds. A row with a text that cannot be carried stays pending, with a log line naming its key and column,
// also when the program found it out only after the row was marked; the rest of the table goes out.
TEST(Export, TextLeavesAsUtf8AndARowThatCannotBeCarriedStaysPendingAlone) {
    for (const std::string charset : {"WIN1252", "NONE"}) {
        SCOPED_TRACE(charset);
        Instalacao u(
            [&](db::ConnectionParams& p) {
                auto db = db::Database::create(p, "UTF8", 8192, false);
                Instalacao::roda(*db, std::string(test::kEsquemaMotor) + R"(
;
insert into PARAMETRO values (1, '12')
;
insert into PARAMETRO values (27, '31')
;
insert into PARAMETRO values (29, '')
;
alter table PACIENTE add NM_ANTIGO varchar(20) character set none, add NM_LOCAL varchar(20) character set win1250
;
insert into TABELA_EDI values ('PACIENTE', 'S', 'S', 1, null)
;
insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, NM_ANTIGO) values (1, 12, 'São João', x'4AE36F20E7')
;
insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (2, 12, 'Łukasz')
;
insert into PACIENTE (CD_PACIENTE, CD_UND, NM_LOCAL) values (3, 12, 'Łódź'))");
                p.charset = charset;
            },
            "texto.fdb");
        u.engine->btExportarClick();

        // WIN1252 cannot carry the Ł of a UTF8 column (the engine refuses the marking); nothing can carry one
        // of a WIN1250 column read through NONE (the program finds it out with the row already marked).
        const bool win = charset == "WIN1252";
        const std::string semConversao = ": o texto não cabe no conjunto de caracteres da conexão (WIN1252)\r";
        std::string log = win ? "PACIENTE:registro CD_PACIENTE=2, CD_UND=12: Coluna NM_PACIENTE" + semConversao +
                                    "PACIENTE:registro CD_PACIENTE=3, CD_UND=12: Coluna NM_LOCAL" + semConversao
                              : "PACIENTE:registro CD_PACIENTE=3, CD_UND=12: Coluna NM_LOCAL: o byte 163 está num "
                                "conjunto de caracteres que o programa não converte\r";
        EXPECT_EQ(u.engine->lbLog(), log);
        EXPECT_EQ(u.texto("select list(CD_PACIENTE) from (select CD_PACIENTE from PACIENTE where DT_EXP is null"
                          " order by 1)"),
                  win ? "2,3" : "3");

        ASSERT_EQ(u.saida().size(), 1u);
        PacketTable packet = PacketTable::loadFromFile(u.saida()[0]);
        packet.sortBy("CD_PACIENTE");
        ASSERT_EQ(packet.recordCount(), win ? 1u : 2u);
        packet.first();
        EXPECT_EQ(packet.value("NM_PACIENTE"), Value::text("São João"));
        EXPECT_EQ(packet.value("NM_ANTIGO"), Value::text("Jão ç"));
        if (!win) {
            packet.next();
            EXPECT_EQ(packet.value("NM_PACIENTE"), Value::text("Łukasz"));
        }
    }
}

TEST(Export, RowsWithoutAnOwnerColumnFailOneByOneAndLeaveNoPacket) {
    Instalacao u("12");
    u.sql("create table SEM_DONO (ID integer not null primary key, NOME varchar(10))");
    u.sql("insert into SEM_DONO (ID, NOME) values (1, 'a')");
    u.sql("insert into SEM_DONO (ID, NOME) values (2, 'b')");
    u.registra("SEM_DONO", 1);
    u.engine->btExportarClick();
    const std::string& log = u.engine->lbLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\r'), 2) << log;
    EXPECT_TRUE(u.saida().empty());
    EXPECT_EQ(u.numero("select count(*) from SEM_DONO where DT_EXP is null"), 2); // still pending
}

TEST(Exchange, RowsArriveIntactAndASecondImportUpdates) {
    Instalacao u("12"), central("31");
    for (Instalacao* i : {&u, &central})
        i->registra("PACIENTE", 1);
    semeiaPacientes(u);
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE, DT_EXP, CD_EDI) values"
          " (9, 31, 'Da central', null, 900)");
    u.engine->btExportarClick();
    const fs::path packet = u.saida().at(0);
    fs::copy_file(packet, central.geral.sPathIn / packet.filename());

    central.engine->btImportarClick();
    EXPECT_EQ(central.ui.message(), "Pronto!");
    EXPECT_EQ(central.texto("select VALOR from PARAMETRO where CD_PARAMETRO = 29"), "Importar!");
    // Every column arrives as sent, but the mark: rows of other owners become pending here.
    EXPECT_EQ(central.linhas("PACIENTE", "CD_UND, CD_PACIENTE", {"DT_EXP"}),
              u.linhas("PACIENTE", "CD_UND, CD_PACIENTE", {"DT_EXP"}));
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where DT_EXP is null and CD_UND <> 31"), 3);
    EXPECT_EQ(central.numero("select count(*) from PACIENTE where DT_EXP is not null and CD_UND = 31"), 1);

    const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
    EXPECT_TRUE(fs::exists(central.geral.sPathIn / D / packet.filename()));
    EXPECT_FALSE(fs::exists(central.geral.sPathIn / packet.filename()));
    const auto logs = central.arquivos(central.geral.sPathIn / D);
    ASSERT_EQ(logs.size(), 2u);
    const std::string log = readFile(logs[0].extension() == ".log" ? logs[0] : logs[1]);
    EXPECT_EQ(log, "Lendo arquivo:" + packet.filename().string() + "\r\n" + packet.filename().string() +
                       " Erros :0 Alterados :0 Novos :4\r\n");

    // The same packet again: found by owner and code, updated, nothing duplicated.
    u.sql("update PACIENTE set NM_PACIENTE = 'mudado' where CD_PACIENTE = 1");
    fs::copy_file(packet, central.geral.sPathIn / packet.filename());
    central.engine->btImportarClick();
    EXPECT_EQ(central.numero("select count(*) from PACIENTE"), 4);
    EXPECT_EQ(central.texto("select NM_PACIENTE from PACIENTE where CD_PACIENTE = 1"),
              "João Conceição & Filhos <\"x\">");
}

// Writes a REGISTRO_TARV packet with the given (code, quantity) rows for unit 12.
void pacoteRegistro(const fs::path& arquivo, const std::vector<std::pair<int, int>>& linhas) {
    PacketTable cds({{"CD_REGISTRO", FieldType::Integer, 0, 0, true},
                     {"CD_UND", FieldType::Integer, 0, 0, true},
                     {"VL_MESANO", FieldType::VarChar, 8},
                     {"NR_QTD", FieldType::Integer},
                     {"DT_EXP", FieldType::Timestamp},
                     {"CD_EDI", FieldType::Integer}});
    for (const auto& [codigo, qtd] : linhas) {
        cds.append();
        cds.setValue("CD_REGISTRO", Value::int32(codigo));
        cds.setValue("CD_UND", Value::int32(12));
        cds.setValue("VL_MESANO", Value::text("01/2011"));
        cds.setValue("NR_QTD", Value::int32(qtd));
        cds.setValue("DT_EXP", Value::timestamp(Timestamp::fromParts(2011, 1, 1)));
        cds.setValue("CD_EDI", Value::int32(codigo));
        cds.post();
    }
    cds.saveToFile(arquivo);
}

TEST(Import, FilesAreMatchedByNameTakenOldestFirstAndWrittenUnderTheAlias) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1, "S", "S", "REGISTRO_TARV_AR");
    c.registra("REGISTRO_TARV_ACOMP", 2);
    const fs::path in = c.geral.sPathIn;
    pacoteRegistro(in / "REGISTRO_TARV12010111173000.xml", {{1, 30}});
    pacoteRegistro(in / "REGISTRO_TARV3010111080000.xml", {{1, 25}});
    pacoteRegistro(in / "REGISTRO_TARV12311210230509.xml", {{1, 10}});
    pacoteRegistro(in / "REGISTRO_TARV12010111080000.xml", {{1, 20}, {2, 5}});
    pacoteRegistro(in / "REGISTRO_TARV_ACOMP12311210230509.xml", {{1, 1}});
    pacoteRegistro(in / "REGISTRO_TARV-999311210230509.xml", {{3, 1}});
    c.engine->btImportarClick();

    std::vector<std::string> taken;
    for (const auto& m : c.ui.of("message"))
        if (auto p = m.rfind("Arquivo :"); p != std::string::npos)
            taken.push_back(m.substr(p + 9));
    // By the moment in the name (ddmmyyhhnnss), equal moments by name.
    EXPECT_EQ(taken, (std::vector<std::string>{"REGISTRO_TARV12311210230509.xml", "REGISTRO_TARV12010111080000.xml",
                                               "REGISTRO_TARV3010111080000.xml", "REGISTRO_TARV12010111173000.xml",
                                               "REGISTRO_TARV_ACOMP12311210230509.xml"}));
    EXPECT_EQ(c.texto("select NR_QTD from REGISTRO_TARV_AR where CD_REGISTRO = 1"), "30");
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 0);
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV_ACOMP"), 1);
    EXPECT_TRUE(fs::exists(in / "REGISTRO_TARV-999311210230509.xml"));                    // never matches
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV_AR where DT_EXP is null"), 2); // owner 12 is not central
}

TEST(Import, AFailingRecordIsLoggedAndTheOthersStayCommitted) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV_ACOMP", 1);
    const std::string F = "REGISTRO_TARV_ACOMP12311210230509.xml";
    pacoteRegistro(c.geral.sPathIn / F, {{1, 1}, {2, -5}, {3, 3}}); // the check refuses -5
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV_ACOMP"), 2);
    const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
    std::string log;
    for (const auto& f : c.arquivos(c.geral.sPathIn / D))
        if (f.extension() == ".log")
            log = readFile(f);
    const std::string prefixo = "Lendo arquivo:" + F +
                                "\r\nErro:REGISTRO_TARV_ACOMP Registro :2 Total :3"
                                "Memória Física:  2.096.633Memória Física:  1.048.576\r";
    EXPECT_EQ(log.substr(0, prefixo.size()), prefixo) << log;
    EXPECT_NE(log.find("\r\n" + F + " Erros :1 Alterados :0 Novos :3\r\n"), std::string::npos) << log;
}

// Logs named for the current second and the next minutes are already there: the import must write beside them.
TEST(Import, ALogNeverReplacesAnotherOfTheSameTableAndSecond) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV_ACOMP", 1);
    const Timestamp agora = Timestamp::localNow();
    const fs::path dia = c.geral.sPathIn / formatDateTime("ddmmyy", agora);
    fs::create_directories(dia);
    for (int s = 0; s < 600; ++s)
        std::ofstream(dia / ("REGISTRO_TARV_ACOMP" + formatDateTime("hhnss", agora.plusSeconds(s)) + ".log"))
            << "antes";
    const std::vector<std::string> pacotes = {"REGISTRO_TARV_ACOMP12311210230509.xml",
                                              "REGISTRO_TARV_ACOMP12311210230510.xml"};
    pacoteRegistro(c.geral.sPathIn / pacotes[0], {{1, -5}}); // the check refuses both
    pacoteRegistro(c.geral.sPathIn / pacotes[1], {{2, -6}});
    c.engine->btImportarClick();

    std::string novos;
    for (const auto& f : c.arquivos(dia))
        if (f.extension() == ".log" && readFile(f) != "antes")
            novos += readFile(f);
    EXPECT_EQ(c.arquivos(dia).size(), 600u + 2 + 2); // the earlier logs, the two packets, a log each
    for (const auto& F : pacotes)
        EXPECT_NE(novos.find("\r\n" + F + " Erros :1 "), std::string::npos) << novos;
}

TEST(Import, UnitsAreMatchedByTheirOwnCodeAndAMissingKeyFailsTheRecord) {
    Instalacao c("12");
    c.registra("UNIDADE", 1);
    c.sql("insert into UNIDADE values (3, 'Antigo', 31, null, 77)");
    PacketTable cds({{"CD_UNIDADE", FieldType::Integer, 0, 0, true},
                     {"DS_UNIDADE", FieldType::VarChar, 60},
                     {"CD_UND", FieldType::Integer},
                     {"CD_EDI", FieldType::Integer}});
    cds.append();
    cds.setValue("CD_UNIDADE", Value::int32(3));
    cds.setValue("DS_UNIDADE", Value::text("Posto Novo"));
    cds.setValue("CD_UND", Value::int32(31));
    cds.setValue("CD_EDI", Value::int32(5)); // another code: units are found by CD_UNIDADE alone
    cds.post();
    cds.append();
    cds.setValue("DS_UNIDADE", Value::text("sem código"));
    cds.post();
    cds.saveToFile(c.geral.sPathIn / "UNIDADE31311210230509.xml");
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from UNIDADE"), 1);
    EXPECT_EQ(c.texto("select DS_UNIDADE || '/' || CD_EDI from UNIDADE"), "Posto Novo/5");
    EXPECT_EQ(c.texto("select DT_EXP from UNIDADE"), ""); // the central unit owns it: no export mark of ours
}

TEST(Import, UnreadableFilesAreSetAsideAndTheRunStartsOver) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    const fs::path in = c.geral.sPathIn;
    writeFileAtomically(in / "REGISTRO_TARV12999999999999.xml", "");
    writeFileAtomically(in / "REGISTRO_TARV12888888888888.xml", "<?xml version=\"1.0\"?><DATAPACKET><METADATA>");
    writeFileAtomically(in / "REGISTRO_TARV12777777777777.xml", "isto não é xml");
    pacoteRegistro(in / "REGISTRO_TARV12111111111111.xml", {{1, 1}});
    c.engine->btImportarClick();

    const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
    EXPECT_EQ(c.arquivos(in / "corrompido" / D / "Liberado").size(), 3u);
    EXPECT_EQ(c.refsDescartadas.size(), 3u);
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 1);
    EXPECT_TRUE(c.arquivos(in).empty());
    const auto msgs = c.ui.of("message");
    EXPECT_EQ(std::count(msgs.begin(), msgs.end(), "Arquivo corrompido... Reininciando EDI..."), 3);
    EXPECT_EQ(msgs.back(), "Pronto!");

    // When the server cannot drop the reference the file stays in the day's "corrompido" folder.
    Instalacao d("31");
    d.registra("REGISTRO_TARV", 1);
    d.engine->DeleteRefEDI_UNIDADE = [](const std::string&) { return std::string("Erro"); };
    writeFileAtomically(d.geral.sPathIn / "REGISTRO_TARV12999999999999.xml", "");
    d.engine->btImportarClick();
    EXPECT_EQ(d.arquivos(d.geral.sPathIn / "corrompido" / D).size(), 1u);
}

TEST(Import, FilesWaitingInCorrompidoAreReleasedOnceTheServerDropsThem) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    const fs::path in = c.geral.sPathIn, antigo = in / "corrompido" / "010111";
    const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
    fs::create_directories(antigo / "Liberado");
    writeFileAtomically(antigo / "REGISTRO_TARV12010111080000.xml", "");
    writeFileAtomically(antigo / "REGISTRO_TARV12020111080000.xml", "");
    writeFileAtomically(antigo / "Liberado" / "REGISTRO_TARV12311210230509.xml", ""); // already dropped
    writeFileAtomically(in / "REGISTRO_TARV12999999999999.xml", "");
    bool servidorResponde = false;
    c.engine->DeleteRefEDI_UNIDADE = [&](const std::string& f) {
        c.refsDescartadas.push_back(f);
        return std::string(servidorResponde ? "OK" : "Erro");
    };

    // The server does not answer: one retry shows it, and every file keeps waiting.
    c.engine->btImportarClick();
    EXPECT_EQ(c.refsDescartadas,
              (std::vector<std::string>{"REGISTRO_TARV12010111080000.xml", "REGISTRO_TARV12999999999999.xml"}));
    EXPECT_EQ(c.arquivos(antigo).size(), 2u);
    EXPECT_EQ(c.arquivos(in / "corrompido" / D).size(), 1u);

    servidorResponde = true;
    c.refsDescartadas.clear();
    c.engine->btImportarClick();
    std::sort(c.refsDescartadas.begin(), c.refsDescartadas.end());
    EXPECT_EQ(c.refsDescartadas,
              (std::vector<std::string>{"REGISTRO_TARV12010111080000.xml", "REGISTRO_TARV12020111080000.xml",
                                        "REGISTRO_TARV12999999999999.xml"}));
    EXPECT_TRUE(c.arquivos(antigo).empty());
    EXPECT_EQ(c.arquivos(antigo / "Liberado").size(), 3u);
    EXPECT_TRUE(c.arquivos(in / "corrompido" / D).empty());
    EXPECT_EQ(c.arquivos(in / "corrompido" / D / "Liberado").size(), 1u);
}

// Caps the address space for a while: an allocation beyond it fails whatever the machine's overcommit policy.
struct LimiteDeMemoria {
    rlimit antes{};
    explicit LimiteDeMemoria(rlim_t bytes) {
        getrlimit(RLIMIT_AS, &antes);
        rlimit novo = antes;
        novo.rlim_cur = std::min(bytes, antes.rlim_cur);
        setrlimit(RLIMIT_AS, &novo);
    }
    ~LimiteDeMemoria() { setrlimit(RLIMIT_AS, &antes); }
};

TEST(Import, AFileThatFailsToLoadForWantOfIoOrMemoryWaitsForTheNextRun) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    c.registra("REGISTRO_TARV_ACOMP", 2);
    const fs::path in = c.geral.sPathIn;
    const std::string io = "REGISTRO_TARV12010111080000.xml", memoria = "REGISTRO_TARV_ACOMP12010111080000.xml";
    fs::create_symlink("/proc/self/mem", in / io); // a regular file whose first read fails with EIO
    std::ofstream(in / memoria).close();
    fs::resize_file(in / memoria, rlim_t{1} << 40); // sparse: a terabyte no loader can hold
    {
        LimiteDeMemoria limite(rlim_t{1} << 38);
        c.engine->btImportarClick();
    }
    EXPECT_TRUE(fs::is_symlink(in / io));
    EXPECT_TRUE(fs::exists(in / memoria));
    EXPECT_TRUE(c.refsDescartadas.empty());
    const auto msgs = c.ui.of("message");
    for (const auto& [F, T] : {std::pair{io, "REGISTRO_TARV"}, std::pair{memoria, "REGISTRO_TARV_ACOMP"}}) {
        const std::string falha = F + "\r" + T + "\rErro:" + (F == io ? "Não foi possível ler" : "");
        EXPECT_TRUE(std::any_of(msgs.begin(), msgs.end(), [&](const std::string& m) { return m.rfind(falha, 0) == 0; }))
            << F;
    }
    EXPECT_EQ(msgs.back(), "Pronto!");

    fs::remove(in / io);
    fs::remove(in / memoria);
    pacoteRegistro(in / io, {{1, 7}});
    pacoteRegistro(in / memoria, {{1, 8}});
    c.engine->btImportarClick();
    EXPECT_EQ(c.texto("select NR_QTD from REGISTRO_TARV"), "7");
    EXPECT_EQ(c.texto("select NR_QTD from REGISTRO_TARV_ACOMP"), "8");
}

TEST(Exchange, TheLaterVersionOfARowWinsWhenTwoOfItsPacketsArriveTogether) {
    Instalacao u("12"), central("31");
    u.registra("PACIENTE", 1);
    central.registra("PACIENTE", 1);
    u.sql("insert into PACIENTE (CD_PACIENTE, CD_UND, NM_PACIENTE) values (1, 12, 'Versão de 5 de janeiro')");
    u.engine->btExportarClick();
    fs::rename(u.saida().at(0), central.geral.sPathIn / "PACIENTE12050124093000.xml");
    u.sql("update PACIENTE set NM_PACIENTE = 'Versão de 10 de janeiro', DT_EXP = null");
    u.engine->btExportarClick();
    fs::rename(u.saida().at(0), central.geral.sPathIn / "PACIENTE12100124081500.xml");
    central.engine->btImportarClick();
    EXPECT_EQ(central.texto("select NM_PACIENTE from PACIENTE"), "Versão de 10 de janeiro");
}

} // namespace
} // namespace edi

namespace edi {
namespace {

TEST(Import, ATableThatFailsShowsItsErrorAndTheOthersAreImported) {
    Instalacao c("31");
    c.registra("NAO_EXISTE", 1);
    c.registra("REGISTRO_TARV", 2);
    pacoteRegistro(c.geral.sPathIn / "NAO_EXISTE12311210230509.xml", {{1, 1}});
    pacoteRegistro(c.geral.sPathIn / "REGISTRO_TARV12311210230509.xml", {{1, 1}});
    c.engine->btImportarClick();
    const auto msgs = c.ui.of("message");
    const bool falhaMostrada = std::any_of(msgs.begin(), msgs.end(), [](const std::string& m) {
        return m.rfind("\rNAO_EXISTE\rErro:", 0) == 0; // no file taken yet: the file part is empty
    });
    EXPECT_TRUE(falhaMostrada);
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 1);
    EXPECT_TRUE(std::filesystem::exists(c.geral.sPathIn / "NAO_EXISTE12311210230509.xml")); // waits for next run
    EXPECT_EQ(msgs.back(), "Pronto!");
}

// What another connection sees committed at each batch commit of one file of five records.
std::vector<int64_t> vistosACadaLote(Instalacao& c, int lote) {
    c.engine->loteImportacao = lote;
    pacoteRegistro(c.geral.sPathIn / "REGISTRO_TARV12311210230509.xml", {{1, 1}, {2, 2}, {3, -1}, {4, 4}, {5, 5}});
    auto outra = db::Database::open(c.params);
    std::vector<int64_t> vistos;
    c.engine->pontoDeTeste = [&](const char* ponto) {
        if (std::string(ponto) != "import:batch-committed")
            return;
        db::Query q(*outra, "select count(*) from REGISTRO_TARV");
        q.open();
        vistos.push_back(q.value(0).asInt64());
        outra->transaction().commitRetaining();
    };
    c.engine->btImportarClick();
    return vistos;
}

// A record is written by one statement, which the engine undoes whole when it fails, triggers' writes included:
// record 3's row and what its trigger wrote before refusing it both go.
TEST(Import, RecordsAreCommittedInBatchesAndAFailingOneIsUndoneAlone) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    c.sql("create table LADO (CD_REGISTRO integer)");
    c.sql("create exception NEGATIVO 'quantidade negativa'");
    c.sql("create trigger REGISTRO_TARV_LADO for REGISTRO_TARV after insert as begin insert into LADO values "
          "(new.CD_REGISTRO); if (new.NR_QTD < 0) then exception NEGATIVO; end");
    // Record 3 fails; a batch counts the records it holds, so the second batch ends at record 5.
    EXPECT_EQ(vistosACadaLote(c, 2), (std::vector<int64_t>{2, 4}));
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV where CD_REGISTRO <> 3"), 4);
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 4);
    EXPECT_EQ(c.numero("select count(*) from LADO where CD_REGISTRO <> 3"), 4);
    EXPECT_EQ(c.numero("select count(*) from LADO"), 4);

    Instalacao um("31");
    um.registra("REGISTRO_TARV", 1);
    um.sql("alter table REGISTRO_TARV add constraint QTD_POSITIVA check (NR_QTD >= 0)");
    EXPECT_EQ(vistosACadaLote(um, 1), (std::vector<int64_t>{1, 2, 3, 4}));
}

// Something started from the message loop that commits the session makes the batch's rows durable: the batch
// is then full, so their memory is written and committed with the next record rather than at the batch's end.
TEST(Import, ABatchCommittedUnderTheImportIsClosedAtOnce) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    int vezes = 0;
    c.ui.onPump = [&] {
        if (++vezes == 4) // before record 3
            c.dm->Commit();
    };
    EXPECT_EQ(vistosACadaLote(c, 500), (std::vector<int64_t>{3, 5}));
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 5);
}

// The window's message loop runs between records: an operation started there that rolls the session back
// takes the batch with it, and the file must then wait rather than leave as if imported.
TEST(Import, ABatchRolledBackUnderTheImportLeavesItsFileForTheNextRun) {
    Instalacao c("31");
    c.registra("REGISTRO_TARV", 1);
    const std::string F = "REGISTRO_TARV12311210230509.xml";
    pacoteRegistro(c.geral.sPathIn / F, {{1, 1}, {2, 2}, {3, 3}});
    int vezes = 0;
    c.ui.onPump = [&] {
        if (++vezes == 4) // before record 3: records 1 and 2 wait in the batch
            c.dm->Rollback();
    };
    c.engine->btImportarClick();
    EXPECT_TRUE(fs::exists(c.geral.sPathIn / F));
    c.ui.onPump = nullptr;
    c.engine->btImportarClick();
    EXPECT_FALSE(fs::exists(c.geral.sPathIn / F));
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 3);
}

TEST(Export, ResettingTheMarksSendsEveryRowAgainWithItsCode) {
    Instalacao u("12");
    u.registra("PACIENTE", 1);
    u.registra("NAO_EXISTE", 2);
    semeiaPacientes(u);
    u.engine->btExportarClick();
    const auto antes = u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"});
    u.engine->btLimparDtExpClick();
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 3);
    for (const auto& f : u.saida())
        std::filesystem::remove(f);
    u.engine->btExportarClick();
    EXPECT_EQ(PacketTable::loadFromFile(u.saida().at(0)).recordCount(), 3u);
    EXPECT_EQ(u.linhas("PACIENTE", "CD_PACIENTE", {"DT_EXP"}), antes); // same owners and codes
}

// A deletion at the owner removes the row where it was imported, unless a newer packet wrote the row since; an older
// packet arriving late does not bring the row back; a deletion the database refuses is kept and retried.
TEST(Import, DeletionsReachTheCentralUnitInTheirOrderAndARefusedOneIsKept) {
    Instalacao u("12"), c("31");
    for (Instalacao* i : {&u, &c})
        i->registra("PACIENTE", 1);
    semeiaPacientes(u);
    u.engine->btExportarClick();
    const fs::path insercao = u.saida().at(0);
    fs::copy_file(insercao, c.geral.sPathIn / insercao.filename());
    c.engine->btImportarClick();
    ASSERT_EQ(c.numero("select count(*) from PACIENTE"), 3);
    const std::string D = formatDateTime("ddmmyy", Timestamp::localNow());
    const fs::path guardada = u.home.path() / insercao.filename();
    fs::rename(insercao, guardada);

    u.sql("delete from PACIENTE where CD_PACIENTE in (1, 2)");
    c.sql("create exception NAO_APAGA 'registro protegido'");
    c.sql("create trigger PROTEGE for PACIENTE before delete as begin if (old.CD_PACIENTE = 2) then exception "
          "NAO_APAGA; end");
    u.engine->btExportarClick();
    const fs::path exclusao = u.saida().at(0);
    u.entregaPara(c);
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from PACIENTE where CD_UND = 12"), 1);
    std::string log;
    for (const auto& f : c.arquivos(c.geral.sPathIn / D))
        if (f.extension() == ".log" && readFile(f).rfind("Lendo arquivo:" + exclusao.filename().string(), 0) == 0)
            log = readFile(f);
    EXPECT_NE(log.find(exclusao.filename().string() + " Erros :1 Alterados :0 Novos :0 Excluídos :2\r\n"),
              std::string::npos)
        << log;
    // passed on to the other units, as the central unit passes on the rows it imports
    EXPECT_EQ(c.numero("select count(*) from EDI_EXCLUSAO where CD_UND = 12"), 1);

    // The older packet arrives late: the deleted row stays deleted. The refused deletion is retried.
    fs::copy_file(guardada, c.geral.sPathIn / ("x" + guardada.filename().string()));
    fs::rename(c.geral.sPathIn / ("x" + guardada.filename().string()), c.geral.sPathIn / guardada.filename());
    c.sql("drop trigger PROTEGE");
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from PACIENTE where CD_UND = 12"), 0);
    EXPECT_EQ(c.numero("select count(*) from PACIENTE"), 1); // unit 3's row, never deleted at its owner
}

// A unit's deletion reaches every unit its row was relayed to; the owner alone deletes its rows, so the relayed
// deletion coming back to it spares a row its restored database coded again.
TEST(Import, TheCentralUnitRelaysADeletionAndTheOwnerKeepsItsOwnRow) {
    Instalacao u("12"), c("31"), o("15");
    for (Instalacao* i : {&u, &c, &o})
        i->registra("PACIENTE", 1);
    semeiaPacientes(u);
    auto passaPelaCentral = [&] {
        u.engine->btExportarClick();
        u.entregaPara(c);
        c.engine->btImportarClick();
        c.engine->btExportarClick();
    };
    passaPelaCentral();
    c.entregaPara(o);
    o.engine->btImportarClick();
    ASSERT_EQ(o.numero("select count(*) from PACIENTE where CD_UND = 12"), 2);

    const long long codigo = u.numero("select CD_EDI from PACIENTE where CD_PACIENTE = 1");
    u.sql("delete from PACIENTE where CD_PACIENTE = 1");
    passaPelaCentral();
    for (const auto& f : c.saida())
        fs::copy_file(f, u.geral.sPathIn / f.filename());
    c.entregaPara(o);
    u.sql(std::string(kInserePaciente) + "(9, 12, 'Depois da cópia', null, null, null, null, null, null, null, " +
          "null, " + std::to_string(codigo) + ")");
    u.engine->btImportarClick();
    o.engine->btImportarClick();
    EXPECT_EQ(o.numero("select count(*) from PACIENTE where CD_UND = 12"), 1);
    EXPECT_EQ(o.numero("select count(*) from PACIENTE where CD_EDI = " + std::to_string(codigo)), 0);
    EXPECT_EQ(o.numero("select count(*) from EDI_EXCLUSAO"), 0); // a unit does not pass it on again
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where CD_PACIENTE = 9"), 1);
}

// A row the owner deleted, coming back in a relay packet the central unit made before the deletion reached it, stays
// deleted at the owner: else the owner would send it again and the central unit would take it back.
TEST(Import, ARowTheOwnerDeletedDoesNotComeBackThroughTheCentralUnit) {
    Instalacao u("12"), c("31");
    for (Instalacao* i : {&u, &c})
        i->registra("PACIENTE", 1);
    semeiaPacientes(u);
    u.engine->btExportarClick();
    u.entregaPara(c);
    c.engine->btImportarClick();
    c.engine->btExportarClick(); // relays unit 12's rows, as it does for every unit

    u.sql("delete from PACIENTE where CD_PACIENTE = 1");
    c.entregaPara(u);
    u.engine->btImportarClick();
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where CD_PACIENTE = 1"), 0);
    u.engine->btExportarClick();
    u.entregaPara(c);
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from PACIENTE where CD_UND = 12"), 1);
}

// The central unit relays a unit's rows to every unit, and no unit passes them on: an older copy sent on by a unit
// whose clock runs ahead overtook the owner's newer change at the central unit, and every row echoed for ever. At
// the owner, a relay older than its changes never takes one it has not sent yet.
TEST(Import, OlderCopiesOfARowNeverOvertakeItsOwnersChange) {
    Instalacao u("12"), o("15"), c("31");
    for (Instalacao* i : {&u, &o, &c})
        i->registra("PACIENTE", 1);
    semeiaPacientes(u);
    u.engine->btExportarClick();
    u.entregaPara(c);
    c.engine->btImportarClick();
    c.engine->btExportarClick();
    for (const auto& f : c.saida())
        fs::copy_file(f, u.geral.sPathIn / f.filename());
    c.entregaPara(o);
    auto nomeDe = [&](int paciente) {
        return "select NM_PACIENTE from PACIENTE where CD_UND = 12 and CD_EDI = " +
               std::to_string(u.numero("select CD_EDI from PACIENTE where CD_PACIENTE = " + std::to_string(paciente)));
    };
    const std::string nome = nomeDe(1);

    u.sql("update PACIENTE set NM_PACIENTE = 'Mudado', DT_EXP = null where CD_PACIENTE = 1");
    u.engine->btExportarClick();
    u.entregaPara(c);
    o.sql("create sequence GEN_EDI_PACOTE"); // its last packet moment: a clock two minutes ahead
    o.sql("alter sequence GEN_EDI_PACOTE restart with " + std::to_string(std::time(nullptr) + 120));
    o.engine->btImportarClick();
    EXPECT_EQ(o.numero("select count(*) from PACIENTE where DT_EXP is null"), 0);
    o.engine->btExportarClick();
    o.entregaPara(c);
    c.engine->btImportarClick();
    EXPECT_EQ(c.texto(nome), "Mudado");

    // The owner meets the relay made before its changes, and a change not sent yet stands; then the relay made after.
    u.sql("update PACIENTE set NM_PACIENTE = 'Ainda não enviado', DT_EXP = null where CD_PACIENTE = 2");
    u.engine->btImportarClick();
    EXPECT_EQ(u.texto(nomeDe(2)), "Ainda não enviado");
    c.engine->btExportarClick();
    c.entregaPara(u);
    u.engine->btImportarClick();
    EXPECT_EQ(u.texto(nome), "Mudado");
    EXPECT_EQ(u.numero("select count(*) from PACIENTE where DT_EXP is null"), 1); // the change not sent yet
}

// The units are matched by their code, which a deletion does not carry: it goes by owner and interchange code.
TEST(Import, ADeletedUnitIsDeletedAtTheUnitsAndNotKept) {
    Instalacao u("12"), c("31");
    for (Instalacao* i : {&u, &c})
        i->registra("UNIDADE", 1);
    c.sql("insert into UNIDADE (CD_UNIDADE, DS_UNIDADE, CD_UND) values (40, 'Unidade 40', 31)");
    c.engine->btExportarClick();
    c.entregaPara(u);
    u.engine->btImportarClick();
    ASSERT_EQ(u.numero("select count(*) from UNIDADE where CD_UNIDADE = 40"), 1);

    c.sql("delete from UNIDADE where CD_UNIDADE = 40");
    c.engine->btExportarClick();
    c.entregaPara(u);
    u.engine->btImportarClick();
    EXPECT_EQ(u.numero("select count(*) from UNIDADE where CD_UNIDADE = 40"), 0);
    EXPECT_TRUE(arquivosRetidos(u.geral.sPathIn).empty());
}

// A parent's deletion waits for its child's, which a later table brings: one run applies both and keeps nothing.
// One the database still refuses then stays kept, counted once for the run.
TEST(Import, AParentDeletedWithItsChildGoesInTheSameRunAfterTheChild) {
    Instalacao u("12"), c("31");
    registraFichaEAcompanhamento(u, c);
    for (int r : {1, 2}) {
        u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, NR_QTD) values (" + std::to_string(r) + ", 12, 5)");
        u.sql("insert into REGISTRO_TARV_ACOMP (CD_REGISTRO, CD_UND, NR_QTD) values (" + std::to_string(r) +
              ", 12, 3)");
    }
    u.engine->btExportarClick();
    u.entregaPara(c);
    c.engine->btImportarClick();
    ASSERT_EQ(c.numero("select count(*) from REGISTRO_TARV_ACOMP"), 2);

    u.sql("delete from REGISTRO_TARV_ACOMP");
    u.sql("delete from REGISTRO_TARV");
    c.sql("create exception NAO_APAGA 'registro protegido'");
    c.sql("create trigger PROTEGE for REGISTRO_TARV_ACOMP before delete as begin if (old.CD_REGISTRO = 2) then "
          "exception NAO_APAGA; end");
    u.engine->btExportarClick();
    u.entregaPara(c);
    c.engine->btImportarClick();
    EXPECT_EQ(c.texto("select list(CD_REGISTRO) from REGISTRO_TARV"), "2");
    EXPECT_EQ(c.texto("select list(CD_REGISTRO) from REGISTRO_TARV_ACOMP"), "2");
    std::vector<std::string> retidos;
    for (const auto& r : arquivosRetidos(c.geral.sPathIn))
        retidos.push_back(r.caminho.filename().string().substr(0, 17));
    EXPECT_EQ(retidos, (std::vector<std::string>{"1-REGISTRO_TARV12", "1-REGISTRO_TARV_A"}));

    c.sql("drop trigger PROTEGE");
    c.engine->btImportarClick();
    EXPECT_EQ(c.numero("select count(*) from REGISTRO_TARV"), 0);
    EXPECT_TRUE(arquivosRetidos(c.geral.sPathIn).empty());
}

// A month sheet is saved by deleting it and entering it again (new rows, new codes): corrected three times at the
// unit, the central unit holds one sheet, with the last values.
TEST(Import, AMonthSheetReenteredThreeTimesLeavesOneSheetWithTheLastValues) {
    Instalacao u("12"), c("31");
    for (Instalacao* i : {&u, &c})
        i->registra("REGISTRO_TARV", 1);
    int codigo = 0;
    for (int correcao = 0; correcao <= 3; ++correcao) {
        u.sql("delete from REGISTRO_TARV where VL_MESANO = '202403'");
        for (int linha = 0; linha < 2; ++linha)
            u.sql("insert into REGISTRO_TARV (CD_REGISTRO, CD_UND, VL_MESANO, NR_QTD) values (" +
                  std::to_string(++codigo) + ", 12, '202403', " + std::to_string(10 * correcao + linha) + ")");
        u.engine->btExportarClick();
        u.entregaPara(c);
        c.engine->btImportarClick();
    }
    EXPECT_EQ(c.linhas("REGISTRO_TARV", "NR_QTD", {"DT_EXP"}), u.linhas("REGISTRO_TARV", "NR_QTD", {"DT_EXP"}));
    EXPECT_EQ(c.texto("select list(NR_QTD) from (select NR_QTD from REGISTRO_TARV order by 1)"), "30,31");
}

} // namespace
} // namespace edi
