#include "transport/http_client.h"

#include "support/http/recording_server.h"
#include "support/temp_dir.h"

#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace edi::transport {
namespace {

namespace fs = std::filesystem;
using edi::test::filesIn;
using edi::test::patternedBytes;
using namespace std::chrono_literals;
using test::RecordingServer;
using test::Reply;
using ::testing::HasSubstr;

// The text of a failure; a success fails the test.
template <typename T> std::string failureOf(const Resultado<T>& r) {
    EXPECT_FALSE(r.has_value()) << "the request should have failed";
    return r.error();
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpOptions options() const {
        HttpOptions o;
        o.login = "quelmar";
        o.password = "dorven";
        o.connectTimeout = 1s;
        o.requestTimeout = 2s;
        o.lowSpeedLimit = 1024;
        o.lowSpeedTime = 1s;
        return o;
    }

    RecordingServer server;
    test::TempDir dir;
    HttpClient client{options()};
};

TEST_F(HttpClientTest, GetTextGivesTheBodyOfAnAnswerToAUrlWithoutScheme) {
    server.on("/dbArquivo.php", Reply::text("<DATAPACKET/>"));
    const auto answer = client.getText(server.host() + "/dbArquivo.php?op=S&unidade=12");
    EXPECT_EQ(answer.value_or("failed"), "<DATAPACKET/>");
    EXPECT_EQ(client.lastStatus(), 200);
    EXPECT_EQ(answer.error(), "");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/dbArquivo.php");
    EXPECT_EQ(requests[0].queryValue("op"), "S");
    EXPECT_EQ(requests[0].queryValue("unidade"), "12");
}

TEST_F(HttpClientTest, OnlyA2xxAnswerCountsAndTheErrorNamesHostAndStatus) {
    server.on("/fails", Reply::text("<html>boom</html>", 500));
    server.on("/empty", Reply::text(""));

    const std::string failure = failureOf(client.getText(server.url("/fails")));
    EXPECT_EQ(client.lastStatus(), 500);
    EXPECT_THAT(failure, HasSubstr(server.host()));
    EXPECT_THAT(failure, HasSubstr("HTTP 500 Internal Server Error"));

    EXPECT_THAT(failureOf(client.getText(server.url("/missing"))), HasSubstr("HTTP 404"));

    // An empty body is an answer, not a failure, for those who need to tell them apart.
    const auto empty = client.getText(server.url("/empty"));
    EXPECT_EQ(empty.value_or("failed"), "");
    EXPECT_EQ(empty.error(), "");
}

TEST_F(HttpClientTest, CredentialsGoWithEveryKindOfRequestAndWrongOnesShowTheStatus) {
    server.requireCredentials("quelmar", "dorven");
    server.on("/list", Reply::text("ok"));
    server.on("/file.xml", Reply::text("<x/>"));
    server.on("/edi/ReceiveUpload.aspx", Reply::text("stored"));
    const fs::path upload = dir / "up.xml";
    writeFileAtomically(upload, "<up/>");

    EXPECT_EQ(client.getText(server.url("/list")).value_or("failed"), "ok");
    EXPECT_TRUE(client.Download(server.url("/file.xml"), dir / "file.xml"));
    EXPECT_TRUE(client.BlockingUpload(server.url("/edi/ReceiveUpload.aspx"), upload));
    for (const auto& r : server.requests())
        EXPECT_EQ(r.basicCredentials(), "quelmar:dorven") << r.path;

    HttpOptions wrong = options();
    wrong.password = "wrong";
    HttpClient intruder(wrong);
    EXPECT_THAT(failureOf(intruder.getText(server.url("/list"))), HasSubstr("HTTP 401"));
    EXPECT_THAT(failureOf(intruder.Download(server.url("/file.xml"), dir / "other.xml")), HasSubstr("HTTP 401"));
    EXPECT_FALSE(fs::exists(dir / "other.xml"));
    EXPECT_THAT(failureOf(intruder.BlockingUpload(server.url("/edi/ReceiveUpload.aspx"), upload)),
                HasSubstr("HTTP 401"));
}

TEST_F(HttpClientTest, EveryRequestOpensItsOwnConnection) {
    server.on("/a", Reply::text("a"));
    client.getText(server.url("/a"));
    client.getText(server.url("/a"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].remotePort, requests[1].remotePort);
}

TEST_F(HttpClientTest, EncodedQueryValuesReachTheServerUnchanged) {
    server.on("/dbSQL.php", Reply::text("<html/>"));
    const std::vector<std::string> values = {
        "select * from PACIENTE where NM_PACIENTE = 'Ana & Rui' -- #1",
        "'2013-05-04 10:22:31'",
        "\"double\" quotes, 100% sure, a+b=c?",
        "line one\r\nline two\nthree",
        "Ação Conceição São Tomé € ü",
        "../../etc/passwd;rm -rf /",
    };
    for (const auto& value : values)
        client.getText(server.host() + "/dbSQL.php?op=S&sql=" + encodeQueryValue(value));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(requests[i].queryValue("sql"), values[i]);
        EXPECT_EQ(requests[i].queryValue("op"), "S");
        EXPECT_EQ(requests[i].query.size(), 2u) << "a value leaked into another parameter: " << requests[i].target;
    }
    EXPECT_EQ(encodeQueryValue("Az09-._~"), "Az09-._~");
    EXPECT_EQ(encodeQueryValue("ç /"), "%C3%A7%20%2F");
}

TEST(HttpUrl, SchemeIsAddedOnlyWhereMissing) {
    EXPECT_EQ(completeUrl("www.example.test/dbArquivo.php?op=S"), "http://www.example.test/dbArquivo.php?op=S");
    EXPECT_EQ(completeUrl("127.0.0.1:8080/x"), "http://127.0.0.1:8080/x");
    EXPECT_EQ(completeUrl("https://central.test/x"), "https://central.test/x");
    EXPECT_EQ(completeUrl("HTTP://central.test"), "HTTP://central.test");
    EXPECT_EQ(hostOf("https://user:pw@central.test:8443/a?b=c"), "central.test:8443");
    EXPECT_EQ(hostOf("central.test?x=//y"), "central.test");
}

TEST_F(HttpClientTest, DownloadSavesTheWholeBodyAndReplacesAnOlderFile) {
    const std::string body = patternedBytes(300 * 1024);
    server.on("/edi/out/PACIENTE12.xml", Reply::text(body));
    writeFileAtomically(dir / "PACIENTE12.xml", "old");
    fs::permissions(dir / "PACIENTE12.xml", fs::perms(0750));

    EXPECT_TRUE(client.Download(server.host() + "/edi/out/PACIENTE12.xml", dir / "PACIENTE12.xml"));
    EXPECT_EQ(readFile(dir / "PACIENTE12.xml"), body);
    EXPECT_EQ(fs::status(dir / "PACIENTE12.xml").permissions() & fs::perms::all, fs::perms(0750))
        << "the replaced file's mode is kept";
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"PACIENTE12.xml"});
}

TEST_F(HttpClientTest, ACutOrRefusedDownloadLeavesNoPartialFileAndKeepsTheOldOne) {
    server.on("/cut.xml", Reply::with(Reply::Mode::CutHalfway, patternedBytes(200 * 1024)));
    server.on("/error.xml", Reply::text("<html>server error page</html>", 500));
    writeFileAtomically(dir / "kept.xml", "old content");

    EXPECT_THAT(failureOf(client.Download(server.url("/cut.xml"), dir / "kept.xml")), HasSubstr(server.host()));
    failureOf(client.Download(server.url("/cut.xml"), dir / "new.xml"));
    EXPECT_THAT(failureOf(client.Download(server.url("/error.xml"), dir / "error.xml")), HasSubstr("HTTP 500"));

    EXPECT_EQ(readFile(dir / "kept.xml"), "old content");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"kept.xml"});
}

TEST_F(HttpClientTest, DownloadNeedsAFileNameAndAWritableFolder) {
    server.on("/edi/out/", Reply::text("listing"));
    EXPECT_THAT(failureOf(client.Download(server.url("/edi/out/"), dir.path())), HasSubstr("sem nome de arquivo"));
    EXPECT_THAT(failureOf(client.Download(server.url("/edi/out/"), dir / "missing-folder" / "x.xml")),
                HasSubstr("missing-folder"));
    EXPECT_TRUE(server.requests().empty()) << "nothing should be asked when nothing can be saved";
}

TEST_F(HttpClientTest, UploadPostsTheFileInFieldFile1) {
    server.on("/edi/ReceiveUpload.aspx", Reply::text("ok"));
    const std::string content = patternedBytes(70 * 1024); // binary, NUL bytes included
    writeFileAtomically(dir / "PACIENTE12010203.xml", content);

    const auto sent = client.BlockingUpload(server.host() + "/edi/ReceiveUpload.aspx", dir / "PACIENTE12010203.xml");
    ASSERT_TRUE(sent) << sent.error();
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_THAT(requests[0].header("Content-Type"), HasSubstr("multipart/form-data"));
    ASSERT_EQ(requests[0].parts.size(), 1u);
    EXPECT_EQ(requests[0].parts[0].name, "file1");
    EXPECT_EQ(requests[0].parts[0].filename, "PACIENTE12010203.xml");
    EXPECT_EQ(requests[0].parts[0].content, content);
}

TEST_F(HttpClientTest, AnUploadFollowsNoRedirect) {
    server.on("/moved", Reply::text("a page that stores nothing"));
    writeFileAtomically(dir / "a.xml", "<a/>");
    for (const int status : {301, 302, 303, 307, 308}) {
        server.on("/edi/ReceiveUpload.aspx", Reply::redirect(status, server.url("/moved")));
        EXPECT_THAT(failureOf(client.BlockingUpload(server.url("/edi/ReceiveUpload.aspx"), dir / "a.xml")),
                    HasSubstr("HTTP " + std::to_string(status)));
    }
    for (const auto& r : server.requests())
        EXPECT_EQ(r.path, "/edi/ReceiveUpload.aspx");
}

TEST_F(HttpClientTest, UploadFailsOnANon2xxAnswerAndOnAMissingFile) {
    server.on("/edi/ReceiveUpload.aspx", Reply::text("disk full", 500));
    writeFileAtomically(dir / "a.xml", "<a/>");
    EXPECT_THAT(failureOf(client.BlockingUpload(server.url("/edi/ReceiveUpload.aspx"), dir / "a.xml")),
                HasSubstr("HTTP 500"));

    EXPECT_THAT(failureOf(client.BlockingUpload(server.url("/edi/ReceiveUpload.aspx"), dir / "gone.xml")),
                HasSubstr("gone.xml"));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpClientTest, NobodyListeningIsReportedWithTheHost) {
    std::string host;
    {
        RecordingServer gone;
        host = gone.host();
    }
    const std::string failure = failureOf(client.getText(host + "/x"));
    EXPECT_THAT(failure, HasSubstr(host));
    EXPECT_THAT(failure, HasSubstr("não foi possível conectar"));
    EXPECT_EQ(client.lastStatus(), 0);
}

// Time-outs: each request must end close to its limit, however the server behaves.
class HttpTimeoutTest : public HttpClientTest {
protected:
    HttpClient quick() const {
        HttpOptions o = options();
        o.requestTimeout = 300ms;
        return HttpClient(o);
    }
    template <typename F> static std::chrono::milliseconds timed(F&& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
};

TEST_F(HttpTimeoutTest, AServerThatNeverAnswersOrAnswersTooSlowlyTimesOut) {
    server.on("/silent", Reply::with(Reply::Mode::NeverAnswer));
    server.on("/slow", Reply{200, "late", Reply::Mode::Whole, 4s});
    HttpClient c = quick();

    std::string failure;
    EXPECT_LT(timed([&] { failure = failureOf(c.getText(server.url("/silent"))); }), 1500ms);
    EXPECT_THAT(failure, HasSubstr("tempo esgotado"));
    EXPECT_THAT(failure, HasSubstr(server.host()));
    // A download has no whole-transfer limit: a silent server is dropped by the lowest speed.
    EXPECT_LT(timed([&] { failure = failureOf(c.Download(server.url("/slow"), dir / "slow.xml")); }), 3s);
    EXPECT_THAT(failure, HasSubstr("1024 bytes/s"));
    EXPECT_THAT(failure, HasSubstr(server.host()));
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(HttpTimeoutTest, ASlowAnswerWithinTheLimitArrives) {
    server.on("/slow", Reply{200, "late but fine", Reply::Mode::Whole, 100ms});
    EXPECT_EQ(client.getText(server.url("/slow")).value_or("failed"), "late but fine");
}

TEST_F(HttpTimeoutTest, ATransferBelowTheLowestSpeedIsAbandonedAndASteadyOneIsNeverCut) {
    Reply trickle = Reply::with(Reply::Mode::Endless, "<row/>"); // about 300 bytes/s
    trickle.pace = 20ms;
    server.on("/trickle.xml", trickle);
    Reply steady{200, patternedBytes(112 * 1024), Reply::Mode::Paced};
    steady.piece = 8 * 1024; // 14 pieces, 120 ms apart: well above the lowest speed, longer than any request limit
    steady.pace = 120ms;
    server.on("/steady.xml", steady);
    HttpClient c = quick();

    std::string failure;
    EXPECT_LT(timed([&] { failure = failureOf(c.Download(server.url("/trickle.xml"), dir / "trickle.xml")); }), 3s);
    EXPECT_THAT(failure, HasSubstr("1024 bytes/s"));
    EXPECT_TRUE(filesIn(dir.path()).empty());

    EXPECT_GT(timed([&] {
                  const auto steadily = c.Download(server.url("/steady.xml"), dir / "steady.xml");
                  EXPECT_TRUE(steadily) << steadily.error();
              }),
              1s);
    EXPECT_EQ(readFile(dir / "steady.xml"), steady.body);
}

TEST_F(HttpClientTest, AnswersBeyondTheSizeBoundAreAbandoned) {
    server.on("/endless", Reply::with(Reply::Mode::Endless));
    server.on("/big", Reply::text(std::string(300 * 1024, 'b')));
    server.on("/fits", Reply::text(std::string(256 * 1024, 'f')));
    HttpOptions o = options();
    o.maxAnswerBytes = 256 * 1024;
    o.maxDownloadBytes = 512 * 1024;
    HttpClient bounded(o);

    EXPECT_THAT(failureOf(bounded.getText(server.url("/endless"))), HasSubstr("maior que 256 KiB"));
    // announced length above the bound
    EXPECT_THAT(failureOf(bounded.getText(server.url("/big"))), HasSubstr("maior que 256 KiB"));
    EXPECT_EQ(bounded.getText(server.url("/fits")).value_or("").size(), 256u * 1024);

    EXPECT_THAT(failureOf(bounded.Download(server.url("/endless"), dir / "endless.xml")),
                HasSubstr("maior que 512 KiB"));
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

} // namespace
} // namespace edi::transport
