#include "db/query.h"
#include "support/db/scratch_database.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace edi {
namespace {

// These run against the private Firebird server the test script starts on loopback.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto s = test::loopbackServer();
        if (!s)
            GTEST_SKIP() << "EDI_TEST_FB_HOST not set: run through scripts/test.sh";
        server = *s;
        params.database = server.host + ":" + server.folder + "/server-" + std::to_string(::getpid()) + ".fdb";
        params.password = server.password;
    }
    test::ServerSettings server;
    db::ConnectionParams params;
};

TEST_F(ServerTest, CreatesAndUsesADatabaseOverTcpWithPassword) {
    {
        auto db = db::Database::create(params);
        db->execute("create table P (ID integer not null primary key, NOME varchar(30))");
        db->transaction().commitRetaining();
        db::Query q(*db, "insert into P values (:ID, :NOME)");
        q.setParam("ID", Value::int32(1));
        q.setParam("NOME", Value::text("Luís"));
        q.execute();
        db->transaction().commit();
        db->execute("update P set NOME = NOME"); // the default transaction starts again by itself
        db->transaction().commit();
    }
    auto again = db::Database::open(params);
    {
        db::Query q(*again, "select NOME from P");
        q.open();
        EXPECT_EQ(q.value(0), Value::text("Luís"));
    }
    again->drop();
}

TEST_F(ServerTest, WrongPasswordAndStoppedServerFailClearly) {
    db::ConnectionParams wrong = params;
    wrong.password = "errada";
    try {
        db::Database::open(wrong);
        FAIL();
    } catch (const DatabaseError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("user name and password"), std::string::npos) << m;
        EXPECT_EQ(m.find("errada"), std::string::npos) << m;
    }
    db::ConnectionParams down = params;
    down.database = "127.0.0.1/1:" + server.folder + "/x.fdb"; // nothing listens on port 1
    try {
        db::Database::open(down);
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1/1"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace edi
