#include "db/database.h"
#include "domain/unit_database.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace edi {
namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the edi-admin program built with the tests; `environment` goes before it (as "env VAR=value").
Outcome admin(const test::TempDir& dir, const std::string& args, const std::string& environment = "") {
    const char* exe = std::getenv("EDI_ADMIN");
    if (!exe)
        ADD_FAILURE() << "EDI_ADMIN is not set (run the tests through ctest)";
    const auto out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = environment + " " + quoted(exe ? exe : "edi-admin") + " " + args + " >" +
                                quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = test::fileContents(out);
    r.err = test::fileContents(err);
    return r;
}

TEST(EdiAdmin, CreatesAndSeedsAThousandPatientsInSeconds) {
    test::TempDir dir;
    const std::string path = (dir / "u12.fdb").string();
    const auto start = std::chrono::steady_clock::now();
    const Outcome created = admin(dir, "create-db " + quoted(path) + " --unit 12 --central 31");
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_NE(created.out.find("Criada " + path + " para a unidade 12 (unidade central 31)"), std::string::npos)
        << created.out;
    const Outcome seeded = admin(dir, "seed " + quoted(path) + " --patients 1000 --seed=4");
    ASSERT_EQ(seeded.status, 0) << seeded.err;
    EXPECT_NE(seeded.out.find("com 1000 pacientes (semente 4)"), std::string::npos) << seeded.out;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

    db::ConnectionParams params;
    params.database = path;
    auto db = db::Database::open(params);
    EXPECT_EQ(test::countRows(*db, "PACIENTE"), 1000);
    EXPECT_EQ(test::scalar(*db, "SELECT VALOR FROM PARAMETRO WHERE CD_PARAMETRO = 27").asText(), "31");

    // Deletions waiting for export are shown per table; sent ones are not.
    for (const char* enviada : {"NULL", "NULL", "NULL", "CURRENT_TIMESTAMP"})
        db->execute(std::string("INSERT INTO EDI_EXCLUSAO (NM_TABELA, CD_UND, CD_EDI, DT_EXCLUSAO, DT_EXP) VALUES "
                                "('PACIENTE', 12, 1, CURRENT_TIMESTAMP, ") +
                    enviada + ")");
    db->transaction().commit();
    db.reset();
    const Outcome report = admin(dir, "report " + quoted(path));
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("\nPACIENTE                            3 exclusões a enviar\n"), std::string::npos)
        << report.out;
}

TEST(EdiAdmin, RefusesAnExistingDatabaseWithAClearMessage) {
    test::TempDir dir;
    const auto path = dir / "existing.fdb";
    std::ofstream(path) << "keep me";
    const Outcome r = admin(dir, "create-db " + quoted(path.string()) + " --unit 12");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("já existe"), std::string::npos) << r.err;
    EXPECT_EQ(test::fileContents(path), "keep me");
}

// Without FIREBIRD_LOCK each program takes the lock folder beside its first database; a second database in
// another folder is opened only while the engine keeps each file to one process.
TEST(EdiAdmin, LockFolderFollowsTheDatabase) {
    test::TempDir dir;
    const std::string rule = "env -u FIREBIRD_LOCK -u FIREBIRD";
    for (const char* unit : {"a", "b"}) {
        std::filesystem::create_directory(dir / unit);
        const auto path = dir / unit / "u.fdb";
        ASSERT_EQ(admin(dir, "create-db " + quoted(path.string()) + " --unit 12", rule).status, 0);
        EXPECT_TRUE(std::filesystem::is_directory(dir / unit / ".firebird-lock")) << unit;
    }
    std::ofstream(dir / "jaq.ini") << "[Geral]\nDB=" << (dir / "a" / "u.fdb").string() << "\n";
    const std::string depara = "depara --de " + quoted((dir / "a" / "u.fdb").string()) + " --para " +
                               quoted((dir / "b" / "u.fdb").string()) + " --tabela PACIENTE --home " +
                               quoted(dir.path().string()) + " abrir";
    const Outcome exclusive = admin(dir, depara, rule);
    EXPECT_EQ(exclusive.status, 0) << exclusive.err;

    // An engine set up to share files between processes: the second folder would be a second lock table.
    const auto conf = dir / "conf";
    std::filesystem::create_directories(conf);
    std::ofstream(conf / "firebird.conf") << "ServerMode = SuperClassic\n";
    const std::string shared = "env -u FIREBIRD_LOCK FIREBIRD=" + quoted(conf.string());
    const Outcome refused = admin(dir, depara, shared);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("defina FIREBIRD_LOCK"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("DB Para - Aberto"), std::string::npos) << refused.out;
    std::filesystem::create_directory(dir / "comum");
    const Outcome common = admin(
        dir, depara, "env FIREBIRD_LOCK=" + quoted((dir / "comum").string()) + " FIREBIRD=" + quoted(conf.string()));
    EXPECT_EQ(common.status, 0) << common.err;
}

TEST(EdiAdmin, WrongCommandLinesExitWithTheUsage) {
    test::TempDir dir;
    const std::string path = quoted((dir / "x.fdb").string());
    for (const std::string& args :
         {std::string(""), "create-db " + path, "create-db " + path + " --unit twelve",
          "create-db " + path + " --unit 12 --colour red", "seed " + path, "seed " + path + " --patients -5",
          "drop " + path, std::string("create-db --unit 12")}) {
        const Outcome r = admin(dir, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("edi-admin --help"), std::string::npos) << args;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.fdb"));
    const Outcome seedMissing = admin(dir, "seed " + path + " --patients 5");
    EXPECT_EQ(seedMissing.status, 1) << "no such database";
    EXPECT_FALSE(seedMissing.err.empty());
    EXPECT_EQ(admin(dir, "--help").status, 0);
}

} // namespace
} // namespace edi
