// Export and import throughput against the raw database work they imply, packet speed, and the peak memory
// of importing a large packet. Not a test: it prints figures.
//   edi-bench [--rows N] [--memory-mb M] [--keep DIR]   (edi-bench --help)
#include "app/constants.h"
#include "bench_figures.h"
#include "bench_site.h"

#include "app/session.h"
#include "app/ui.h"
#include "core/files.h"
#include "db/dataset.h"
#include "db/query.h"
#include "domain/create_database.h"
#include "domain/schema.h"
#include "domain/seed.h"
#include "interchange/row_writer.h"
#include "interchange/tfrm_edi.h"
#include "packet/nome_do_pacote.h"
#include "packet/packet_table.h"
#include "platform/linha_de_comando.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace edi;
using namespace edi::bench;

namespace {

constexpr double kMetaImportacao = 15000; // rows per second
constexpr double kMetaPacotesMBs = 300;

// What export implies per row: one generator call, one date query, one update; one commit per table.
double rawExport(Site& s) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& r : s.engine->CDSTabela()) {
        if (!r.enviar())
            continue;
        const ComandosTabela c = MontaComandos(*s.dm, r.NM_TABELA);
        std::string where;
        for (const auto& k : c.chaves)
            where += (where.empty() ? "" : " and ") + k + " = :" + k;
        db::Query rows(s.dm->DB(), "select * from " + r.NM_TABELA + " where DT_EXP is null");
        db::Query update(s.dm->DB(), "update " + r.NM_TABELA +
                                         " set CD_EDI = :CD_EDI, CD_UND = :CD_UND, DT_EXP = :DT_EXP where " + where);
        for (rows.open(); !rows.eof(); rows.next()) {
            update.setParam("CD_EDI", Value::int64(s.dm->GeraCodigo("GEN_EDI")));
            update.setParam("CD_UND", Value::int32(12));
            update.setParam("DT_EXP", Value::timestamp(s.dm->GetDate()));
            for (const auto& k : c.chaves)
                update.setParam(k, rows.value(k));
            update.execute();
        }
        s.dm->Commit();
    }
    return seconds(start);
}

// What import implies per row: one keyed select, one insert, and a commit after every `porCommit` rows.
double rawImport(Site& s, const std::vector<fs::path>& packets, int porCommit = 1) {
    std::vector<std::pair<std::string, PacketTable>> loaded;
    for (const auto& f : packets) {
        loaded.emplace_back(TabelaDoPacote(f.filename().string(), "12"), PacketTable::loadFromFile(f));
    }
    // In registry order, parents first, as import walks them: the foreign keys refuse a child before its parent.
    s.engine->btOrdemClick();
    const auto& registro = s.engine->CDSTabela();
    auto posicao = [&](const std::string& tabela) {
        return std::find_if(registro.begin(), registro.end(),
                            [&](const RegistroEDI& r) { return r.NM_TABELA == tabela; }) -
               registro.begin();
    };
    std::stable_sort(loaded.begin(), loaded.end(),
                     [&](const auto& a, const auto& b) { return posicao(a.first) < posicao(b.first); });
    const auto start = std::chrono::steady_clock::now();
    long escritas = 0;
    for (auto& [table, cds] : loaded) {
        const ComandosTabela c = MontaComandos(*s.dm, table);
        db::Query select(s.dm->DB(), table == "UNIDADE"
                                         ? "select * from UNIDADE where CD_UNIDADE = :CD_UNIDADE"
                                         : "select * from " + table + " where CD_UND = :CD_UND and CD_EDI = :CD_EDI");
        db::Query insert(s.dm->DB(), c.insert);
        for (cds.first(); !cds.eof(); cds.next()) {
            for (const auto& p : select.paramNames())
                select.setParam(p, cds.value(p));
            select.open();
            select.close();
            for (size_t i = 0; i < cds.fieldCount(); ++i)
                insert.setParam(cds.field(i).name, cds.value(i));
            insert.execute();
            if (++escritas % porCommit == 0)
                s.dm->Commit();
        }
    }
    s.dm->Commit();
    return seconds(start);
}

// Megabytes per second of `work` on `bytes`, repeated for two seconds.
template <typename Work> double throughput(size_t bytes, Work work) {
    const auto start = std::chrono::steady_clock::now();
    int rounds = 0;
    while (seconds(start) < 2.0 && ++rounds)
        work();
    return static_cast<double>(bytes) * rounds / 1e6 / seconds(start);
}

// Reading and writing a packet, against the XML parser alone on the same text (each round copies the text, as
// reading does, since both parse in place).
void packetSpeed(const fs::path& file) {
    const std::string text = readFile(file);
    PacketTable cds;
    const double readMBs = throughput(text.size(), [&] { cds = PacketTable::loadFromString(text); });
    const double writeMBs = throughput(text.size(), [&] { cds.saveToString(); });
    const double parserMBs = throughput(text.size(), [&] {
        std::string copy = text;
        pugi::xml_document doc;
        doc.load_buffer_inplace(copy.data(), copy.size(), pugi::parse_escapes, pugi::encoding_utf8);
    });
    std::printf("%sleitura %.1f MB/s, escrita %.1f MB/s  (analisador de XML sozinho %.1f MB/s; %s, %.1f MB)  "
                "meta >= 300 MB/s cada: %s\n",
                rotulo("pacotes").c_str(), readMBs, writeMBs, parserMBs, file.filename().c_str(),
                static_cast<double>(text.size()) / 1e6,
                veredicto(readMBs >= kMetaPacotesMBs && writeMBs >= kMetaPacotesMBs));
}

RawParts exchange(const fs::path& dir, int patients) {
    std::printf("Semeando duas cópias da unidade 12 (%d pacientes) e uma unidade central...\n", patients);
    Site unit(dir / "u12", 12, patients), raw(dir / "u12-raw", 12, patients);
    const int64_t rows = unit.pending();
    raw.pending();

    auto start = std::chrono::steady_clock::now();
    unit.engine->btExportarClick();
    const double exportSeconds = seconds(start);
    if (!unit.engine->lbLog().empty())
        std::printf("registro da exportação: %s\n", unit.engine->lbLog().c_str());
    const double rawExportSeconds = rawExport(raw);

    std::vector<fs::path> packets;
    int64_t bytes = 0;
    for (const auto& e : fs::directory_iterator(unit.geral.sPathOut)) {
        packets.push_back(e.path());
        bytes += static_cast<int64_t>(e.file_size());
    }
    Site central(dir / "c31", 31, 0), centralRaw(dir / "c31-raw", 31, 0), centralLotes(dir / "c31-lotes", 31, 0);
    for (const auto& f : packets)
        fs::copy_file(f, central.geral.sPathIn / f.filename());
    start = std::chrono::steady_clock::now();
    central.engine->btImportarClick();
    const double importSeconds = seconds(start);
    const double rawImportSeconds = rawImport(centralRaw, packets);
    const double rawBatchSeconds = rawImport(centralLotes, packets, kLoteImportacaoPadrao);

    std::printf("\n%s%10lld linhas em %zu pacotes (%.1f MB)\n", rotulo("trocadas").c_str(),
                static_cast<long long>(rows), packets.size(), static_cast<double>(bytes) / 1e6);
    std::printf("%s%10.0f linhas/s  (trabalho direto %.0f linhas/s)  razão %.2f  sem meta\n",
                rotulo("exportação").c_str(), rows / exportSeconds, rows / rawExportSeconds,
                exportSeconds / rawExportSeconds);
    const double importRate = rows / importSeconds;
    std::printf("%s%10.0f linhas/s  (trabalho direto confirmado a cada %d: %.0f linhas/s, razão %.2f; uma "
                "confirmação por linha: %.0f linhas/s)  meta >= %.0f linhas/s: %s\n",
                rotulo("importação").c_str(), importRate, kLoteImportacaoPadrao, rows / rawBatchSeconds,
                importSeconds / rawBatchSeconds, rows / rawImportSeconds, kMetaImportacao,
                veredicto(importRate >= kMetaImportacao));

    // The census reads the same rows once, at the unit and again at the central unit that answers it.
    start = std::chrono::steady_clock::now();
    unit.engine->btCensoClick(true);
    const double censusSeconds = seconds(start);
    for (const auto& e : fs::directory_iterator(unit.geral.sPathOut))
        if (e.path().filename().string().rfind("EDI_CENSO", 0) == 0)
            fs::copy_file(e.path(), central.geral.sPathIn / e.path().filename());
    start = std::chrono::steady_clock::now();
    central.engine->btCensoClick(false);
    const double answerSeconds = seconds(start);
    std::printf("%s%10.0f linhas/s  (resposta da central %.0f linhas/s; exportação %.0f linhas/s)  "
                "meta: censo e resposta mais rápidos que a exportação: %s\n",
                rotulo("censo").c_str(), rows / censusSeconds, rows / answerSeconds, rows / exportSeconds,
                veredicto(censusSeconds < exportSeconds && answerSeconds < exportSeconds));

    // Packet speed on the largest packet.
    fs::path largest = packets.front();
    for (const auto& f : packets)
        if (fs::file_size(f) > fs::file_size(largest))
            largest = f;
    packetSpeed(largest);
    return RawParts{rows, rawExportSeconds, rawBatchSeconds}; // import commits in batches: compare like with like
}

// Writes a PACIENTE packet of about `megabytes` MB, then imports it in a child process and reports the child's
// peak memory against the file size.
void memory(const fs::path& dir, int megabytes) {
    Site central(dir / "mem", 31, 0);
    const domain::Table& t = domain::table("PACIENTE");
    PacketTable cds(t.fieldDefs());
    const std::string name = "PACIENTE12010101000000.xml";
    int64_t n = 0, target = 5000;
    const std::string filler(120, 'x');
    fs::path file = central.geral.sPathIn / name;
    for (; n < target; ++n) {
        cds.append();
        for (size_t i = 0; i < cds.fieldCount(); ++i) {
            const FieldDef& f = cds.field(i);
            if (f.name == "CD_UND")
                cds.setValue(i, Value::int32(12));
            else if (f.name == "CD_EDI" || f.name == "CD_PACIENTE")
                cds.setValue(i, Value::int64(n + 1));
            else if (isTextType(f.type) && f.size >= 20)
                cds.setValue(i, Value::text("Paciente " + std::to_string(n) + " " + filler.substr(0, f.size - 20)));
            else if (f.required && (f.type == FieldType::Date || f.type == FieldType::Timestamp))
                cds.setValue(i, Value::timestamp(Timestamp::fromParts(2020, 1, 1)));
            else if (f.required)
                cds.setValue(i, isTextType(f.type) ? Value::text("x") : Value::int32(1));
        }
        cds.post();
        if (n == 4999) { // size the packet from its first rows
            cds.saveToFile(file);
            target = static_cast<int64_t>(static_cast<double>(megabytes) * 1e6 /
                                          (static_cast<double>(fs::file_size(file)) / 5000.0));
        }
    }
    cds.saveToFile(file);
    const auto size = fs::file_size(file);
    cds.clear();
    central.engine.reset();
    central.dm.reset();
    std::printf("\nImportando um pacote de %.1f MB com %lld linhas num processo filho...\n",
                static_cast<double>(size) / 1e6, static_cast<long long>(n));
    std::fflush(stdout); // or the child would print again what the parent has not written out yet
    const pid_t pid = fork();
    if (pid == 0) {
        SilentUi ui;
        TDM dm(central.params, ui);
        UGeral geral;
        geral.sPath = central.home / "";
        InicializaParametros(dm, geral);
        TfrmEDI engine(dm, geral, ui);
        engine.FormCreate();
        const auto start = std::chrono::steady_clock::now();
        engine.btImportarClick();
        std::printf("importado em %.1f s: %s\n", seconds(start), ui.message().c_str());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const double peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
    const double vezes = peak / static_cast<double>(size);
    std::printf("%s%.1f MB no pico para um pacote de %.1f MB: %.2f vezes o seu tamanho  meta < 2,5 vezes: %s\n",
                rotulo("memória da importação").c_str(), peak / 1e6, static_cast<double>(size) / 1e6, vezes,
                veredicto(vezes < 2.5));
}

constexpr const char* kAjuda =
    "Uso: edi-bench [--rows N] [--memory-mb M] [--units U] [--deliveries E] [--postgres LIGAÇÃO] [--keep PASTA]\n"
    "Mede a exportação e a importação (linhas por segundo) contra o trabalho direto na base de dados que\n"
    "implicam, a velocidade dos pacotes de dados, a memória máxima de importar um pacote grande, a troca\n"
    "completa através do servidor central e os pedidos por segundo do servidor central com um estado grande.\n"
    "\n"
    "Medidas (uma linha cada, com a sua meta e se foi atingida):\n"
    "  exportação           linhas por segundo de exportar, e a razão contra o trabalho direto (um gerador,\n"
    "                       uma data e uma alteração por linha; sem meta)\n"
    "  importação           linhas por segundo de importar (meta: 15000), contra o trabalho direto (uma\n"
    "                       consulta e uma inserção por linha) confirmado a cada 500 linhas, como ela\n"
    "                       confirma, e confirmado a cada linha\n"
    "  censo                linhas por segundo do censo das mesmas linhas na unidade e da resposta da\n"
    "                       unidade central (meta: ambos mais rápidos que a exportação)\n"
    "  pacotes              MB por segundo de ler e de escrever o maior pacote (meta: 300 cada), e do\n"
    "                       analisador de XML sozinho sobre o mesmo texto\n"
    "  memória da importação\n"
    "                       memória máxima de importar um pacote de M MB, em vezes o tamanho do arquivo\n"
    "                       (meta: menos de 2,5)\n"
    "  troca completa       as mesmas linhas da unidade 12 até a unidade central 31 através do servidor\n"
    "                       central de referência em loopback (exportar, enviar, receber, importar) contra a\n"
    "                       soma das partes diretas: exportação e importação diretas e a transferência dos\n"
    "                       mesmos bytes (meta: razão até 1,30)\n"
    "  servidor: arranque   segundos para o servidor carregar (ou migrar) um estado de E entregas\n"
    "  servidor: op=S/op=I  pedidos por segundo de listar o que aguarda uma unidade e de registrar um arquivo\n"
    "                       com U unidades e E entregas no estado, contra os mesmos pedidos com 1000 entregas\n"
    "                       (meta: razão até 1,50, ou seja, o custo de um pedido não cresce com o estado)\n"
    "  rede                 pedidos por segundo de 8 clientes ao mesmo tempo (envio, registro, lista,\n"
    "                       transferência, confirmação; 200 unidades e a unidade central): o estado embutido\n"
    "                       com um servidor, e com --postgres o PostgreSQL com um e com dois servidores (cada\n"
    "                       servidor um processo edi-central-server: EDI_CENTRAL_SERVER ou o compilado com\n"
    "                       este programa; sem meta)\n"
    "\n"
    "Opções:\n"
    "      --rows N         linhas exportadas e importadas (100000 por omissão; 0: sem estas medidas nem a\n"
    "                       troca completa)\n"
    "      --memory-mb M    tamanho do pacote da medida de memória, em MB (100 por omissão; 0: sem ela)\n"
    "      --units U        unidades conhecidas pelo servidor central (1000 por omissão)\n"
    "      --deliveries E   entregas no estado do servidor central (1000000 por omissão; 0: sem estas medidas)\n"
    "      --postgres LIGAÇÃO  o PostgreSQL das medidas de rede (um esquema novo para cada medida, apagado\n"
    "                       no fim; por omissão a variável EDI_BENCH_POSTGRES; sem ele só o estado embutido)\n"
    "      --keep PASTA     deixa as bases e os pacotes em PASTA (por omissão vão para uma pasta temporária\n"
    "                       que é apagada no fim)\n"
    "  -h, --help           mostra esta ajuda e sai\n"
    "      --version        mostra a versão e sai\n"
    "\n"
    "Situação de saída: 0 depois de mostrar os números, 1 quando uma medida falhou, 2 quando a linha de\n"
    "comando está errada.\n";

int erroDeUso(const std::string& texto) {
    return edi::platform::erroDeUso("edi-bench", texto);
}

// A whole number from 0 up for the options that take one.
std::optional<int> quantidade(const std::string& texto) {
    int n = -1;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), n);
    if (texto.empty() || erro != std::errc() || fim != texto.data() + texto.size() || n < 0)
        return std::nullopt;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto respondido = platform::respondeAjudaOuVersao(argc, argv, "edi-bench", kAjuda))
        return *respondido;
    int rows = 100000, memoryMb = 100, units = 1000, deliveries = 1000000;
    std::string keep;
    const char* postgresVariable = std::getenv("EDI_BENCH_POSTGRES");
    std::string postgres = postgresVariable ? postgresVariable : "";
    for (int i = 1; i < argc; i += 2) {
        const std::string a = argv[i];
        if (a != "--rows" && a != "--memory-mb" && a != "--keep" && a != "--units" && a != "--deliveries" &&
            a != "--postgres")
            return erroDeUso("opção desconhecida: " + a);
        if (i + 1 >= argc)
            return erroDeUso("a opção " + a + " precisa de um valor");
        const std::string valor = argv[i + 1];
        if (a == "--keep" || a == "--postgres") {
            (a == "--keep" ? keep : postgres) = valor;
            continue;
        }
        const auto n = quantidade(valor);
        if (!n)
            return erroDeUso(a + " precisa de um número inteiro, não \"" + valor + "\"");
        (a == "--rows" ? rows : a == "--memory-mb" ? memoryMb : a == "--units" ? units : deliveries) = *n;
    }
    const fs::path dir =
        keep.empty() ? fs::temp_directory_path() / ("edi-bench-" + std::to_string(getpid())) : fs::path(keep);
    fs::create_directories(dir);
    try {
        // The seed writes about 3.9 rows per patient across the tables a unit sends.
        if (rows > 0) {
            const int patients = std::max(1, static_cast<int>(rows / 3.9));
            const RawParts raw = exchange(dir, patients);
            wholeExchangeFigure(dir, patients, raw);
        }
        if (memoryMb > 0)
            memory(dir, memoryMb);
        if (deliveries > 0)
            bench::centralServerFigures(dir, std::max(2, units), deliveries);
        bench::centralNetworkFigures(dir, postgres);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "edi-bench: %s\n", e.what());
        return 1;
    }
    if (keep.empty())
        fs::remove_all(dir);
    return 0;
}
