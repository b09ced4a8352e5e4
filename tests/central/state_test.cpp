// The server's saved state: a state file of an earlier version is taken over once, and kept aside.
#include "central_rig.h"

#include "central/postgres.h"

#include "core/errors.h"
#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace edi::central::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;

constexpr const char* kOldState = R"(<?xml version="1.0"?>
<central next-id="9">
  <unit code="12" version="2.0.9" first-seen="2024-01-01 10:00:00"/>
  <unit code="14" first-seen="2024-01-02 10:00:00"/>
  <delivery id="3" name="UP.xml" from="12" to="31" registered="2024-01-03 10:00:00" status="waiting"/>
  <delivery id="5" name="DOWN.xml" from="31" to="12" registered="2024-01-03 11:00:00" status="received" closed="2024-01-03 12:00:00"/>
  <delivery id="6" name="DOWN.xml" from="31" to="14" registered="2024-01-03 11:00:00" status="waiting"/>
  <central-file name="DOWN.xml" registered="2024-01-03 11:00:00"/>
  <protocol name="Protocolo12_010124120000.html" unit="12" registered="2024-01-04 10:00:00"/>
</central>
)";

// A web root as an earlier version left it: the XML state file and nothing else of the state.
void leaveOldState(CentralRig& rig, const std::string& state) {
    rig.stop();
    for (const auto& entry : fs::directory_iterator(rig.root()))
        if (entry.path().filename().string().rfind("central-state", 0) == 0)
            fs::remove(entry.path());
    writeFileAtomically(rig.root() / "central-state.xml", state);
}

// Only the embedded store comes from earlier versions.
class CentralState : public ::testing::Test {
protected:
    void SetUp() override {
        if (onPostgres())
            GTEST_SKIP() << "o estado no PostgreSQL não vem de versões anteriores";
    }
};

TEST_F(CentralState, AnOldStateFileIsTakenOverOnceAndKeptAside) {
    CentralRig rig;
    leaveOldState(rig, kOldState);
    rig.restart();

    EXPECT_THAT(rig.waiting(31), ElementsAre(Pair("3", uploadedPath("UP.xml"))));
    EXPECT_THAT(rig.waiting(14), ElementsAre(Pair("6", uploadedPath("DOWN.xml"))));
    EXPECT_THAT(rig.waiting(12), IsEmpty());
    EXPECT_THAT(rig.server().store().protocols(), SizeIs(1));
    // A unit new to the server still gets the central files, under identifiers that go on from the old ones.
    EXPECT_THAT(rig.waiting(16), ElementsAre(Pair("9", uploadedPath("DOWN.xml"))));
    const auto units = rig.server().store().units();
    ASSERT_THAT(units, SizeIs(4));
    EXPECT_EQ(units[0].code, 12);
    EXPECT_EQ(units[0].version, "2.0.9");
    EXPECT_FALSE(fs::exists(rig.root() / "central-state.xml"));
    EXPECT_EQ(readFile(rig.root() / "central-state.xml.migrado"), kOldState);

    // Killed after the new state was in place but before the old file was put aside: it is not taken over twice.
    writeFileAtomically(rig.root() / "central-state.xml", kOldState);
    rig.restart();
    EXPECT_THAT(rig.waiting(31), SizeIs(1));
    EXPECT_THAT(rig.waiting(16), SizeIs(1));
    EXPECT_FALSE(fs::exists(rig.root() / "central-state.xml"));
    EXPECT_EQ(readFile(rig.root() / "central-state.xml.migrado.2"), kOldState);
}

TEST_F(CentralState, AnOldStateFileThatCannotBeReadStopsTheServerAndStaysWhereItIs) {
    CentralRig rig;
    const std::string broken = "<central><delivery id=";
    leaveOldState(rig, broken);
    ServerConfig c;
    c.root = rig.root();
    EXPECT_THROW(CentralServer server(c), Error);
    EXPECT_EQ(readFile(rig.root() / "central-state.xml"), broken);
    EXPECT_FALSE(fs::exists(rig.root() / "central-state.xml.migrado"));
}

TEST(CentralAccounts, AreKeptByLoginReplacedWholeAndSurviveARestart) {
    CentralRig rig;
    CentralStore& store = rig.server().store();
    EXPECT_EQ(store.conta("u12"), std::nullopt);
    store.gravaConta(Conta{"u12", "hash-1", 12, false});
    store.gravaConta(Conta{"operador", "hash-2", std::nullopt, true});
    store.gravaConta(Conta{"u12", "hash-3", 14, false}); // replaces, never a second account of one login

    rig.restart();
    const auto contas = rig.server().store().contas();
    ASSERT_THAT(contas, SizeIs(2));
    EXPECT_EQ(contas[0].login, "operador");
    EXPECT_EQ(contas[0].unidade, std::nullopt);
    EXPECT_TRUE(contas[0].operador);
    const auto u12 = rig.server().store().conta("u12");
    ASSERT_TRUE(u12);
    EXPECT_EQ(u12->hashSenha, "hash-3");
    EXPECT_EQ(u12->unidade, 14);
    EXPECT_FALSE(u12->operador);
}

// The database restarts (its connections are ended) between requests: none of them fails.
TEST(CentralPostgres, ConnectionsTheDatabaseEndedCostNoRequest) {
    if (!onPostgres())
        GTEST_SKIP() << "só o estado no PostgreSQL tem ligações";
    const std::string aplicacao = "edi_rig_" + std::to_string(::getpid());
    ServerConfig c;
    c.postgres = freshPostgresSchema() + " application_name=" + aplicacao;
    CentralRig rig(c);
    pg::Connection admin(std::getenv("EDI_TEST_PG"));
    const auto endConnections = [&] {
        const auto ended = admin.exec("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                                      "WHERE application_name = $1",
                                      {aplicacao});
        ASSERT_GT(ended.rows(), 0);
    };

    ASSERT_EQ(rig.send("PACIENTE12010124120000.xml", 12), 200);
    endConnections();
    const auto waiting = rig.waiting(31);
    ASSERT_THAT(waiting, SizeIs(1));
    endConnections();
    EXPECT_EQ(rig.acknowledge(waiting[0].first, 31), 200);
    endConnections();
    EXPECT_EQ(rig.send("PACIENTE12010124120001.xml", 12), 200);
    const auto deliveries = rig.server().store().deliveries();
    ASSERT_THAT(deliveries, SizeIs(2));
    EXPECT_EQ(deliveries[0].status, Delivery::Status::Received);
    EXPECT_EQ(deliveries[1].status, Delivery::Status::Waiting);
}

} // namespace
} // namespace edi::central::test
