// What the programs say when things go wrong is Portuguese: errors provoked across the layers are read with the
// library's own text (engine, HTTP library, system) cut off, and no English word may remain.
#include "app/geral.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/value.h"
#include "db/database.h"
#include "db/query.h"
#include "packet/packet_table.h"
#include "support/db/scratch_database.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "transport/transporte.h"
#include "transport/zip_extract.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <regex>
#include <sys/wait.h>

namespace edi {
namespace {

namespace fs = std::filesystem;

// English words a Portuguese sentence never contains.
const std::regex kEnglish(R"(\b(cannot|can't|could|unable|failed|fails|not|no such|invalid|missing|unknown|error|the|)"
                          R"(file|folder|is|does|expected|found|empty|already|out of range|wrong|usage|try)\b)",
                          std::regex::icase);

// The program's own part of a message: up to where the library's text begins (`cut`, when found), with the
// names the test chose (paths, addresses) blanked out.
std::string ownPart(std::string message, const std::string& cut, const std::vector<std::string>& names) {
    if (const size_t at = cut.empty() ? std::string::npos : message.find(cut); at != std::string::npos)
        message.erase(at);
    for (const auto& name : names)
        for (size_t at; !name.empty() && (at = message.find(name)) != std::string::npos;)
            message.replace(at, name.size(), "<>");
    return message;
}

// Runs `provoke`, which must throw an edi::Error, and judges the program's part of its message.
void expectPortuguese(const std::string& what, const std::function<void()>& provoke, const std::string& cut = "",
                      const std::vector<std::string>& names = {}) {
    try {
        provoke();
        ADD_FAILURE() << what << ": no error";
    } catch (const Error& e) {
        const std::string own = ownPart(e.what(), cut, names);
        EXPECT_FALSE(own.empty()) << what;
        std::smatch m;
        EXPECT_FALSE(std::regex_search(own, m, kEnglish)) << what << ": \"" << m.str() << "\" in: " << own;
    }
}

TEST(Portuguese, ErrorsOfEveryLayerSpeakPortuguese) {
    test::TempDir dir;
    const std::string folder = dir.path().string();

    // Database: a file that is not there, and a wrong password on the server; the engine's text follows a line break.
    db::ConnectionParams missing;
    missing.database = (dir / "absent.fdb").string();
    expectPortuguese("banco ausente", [&] { db::Database::open(missing); }, "\n", {folder});
    if (const auto server = test::loopbackServer()) {
        db::ConnectionParams wrong;
        wrong.database = server->host + ":" + server->folder + "/language.fdb";
        wrong.password = server->password + "x";
        expectPortuguese("senha errada", [&] { db::Database::open(wrong); }, "\n", {wrong.database});
    }
    test::ScratchDatabase scratch;
    expectPortuguese("comando vazio", [&] { db::Query(scratch.db(), " ").prepare(); });

    // Values and packets: everything is the program's own text but the file's name.
    expectPortuguese("número", [] { (void)Value::text("12a").asInt32(); });
    expectPortuguese("data", [] { (void)Value::text("31/02/x").asTimestamp(); });
    writeFileAtomically(dir / "vazio.xml", "");
    writeFileAtomically(dir / "raiz.xml", "<DATASET/>");
    writeFileAtomically(dir / "quebrado.xml", "<DATAPACKET Version=\"2.0\"><METADATA>");
    for (const char* name : {"vazio.xml", "raiz.xml", "quebrado.xml"})
        expectPortuguese(name, [&] { PacketTable::loadFromFile(dir / name); }, "", {folder});
    // The system's reason follows the file's name.
    const std::string noEntry = std::string(": ") + std::strerror(ENOENT);
    expectPortuguese("pacote ausente", [&] { PacketTable::loadFromFile(dir / "ausente.xml"); }, noEntry, {folder});
    expectPortuguese("pasta ausente",
                     [&] {
                         PacketTable({{"A", FieldType::Integer}}).saveToFile(dir / "x" / "a.xml");
                     },
                     noEntry, {folder});

    // Archives: a file that is not one.
    expectPortuguese("zip", [&] { transport::ZipArchive(dir / "raiz.xml").extractTo(dir / "destino"); }, "", {folder});

    // Transport: no central server listening; the HTTP library's text follows the address.
    UGeral geral;
    geral.definePastas(dir.path());
    for (const auto& p : {geral.sPathIn, geral.sPathOut, geral.sPathTemp})
        fs::create_directories(p);
    geral.prmUnidade = "12";
    geral.sDominio = "127.0.0.1:1";
    test::RecordingUi ui;
    TransporteEDI transporte(geral, ui, transport::HttpOptions{});
    expectPortuguese("sem servidor", [&] { transporte.btnReceberArquivoClick(); }, ": 127.0.0.1:1:", {folder});
}

// What edi-sync writes on a wrong command line.
TEST(Portuguese, EdiSyncUsageErrors) {
    const char* program = std::getenv("EDI_SYNC");
    ASSERT_NE(program, nullptr);
    for (const std::string args : {"--nada", "etapa-inexistente", "--home"}) {
        const std::string command = std::string(program) + " " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        std::array<char, 512> buf{};
        for (size_t n; (n = fread(buf.data(), 1, buf.size(), pipe)) > 0;)
            out.append(buf.data(), n);
        EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 2) << out;
        const std::string own = ownPart(out, "", {args});
        std::smatch m;
        EXPECT_FALSE(std::regex_search(own, m, kEnglish)) << args << ": \"" << m.str() << "\" in: " << own;
    }
}

} // namespace
} // namespace edi
