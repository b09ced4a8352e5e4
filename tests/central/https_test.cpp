// The server's https listener and the client's verification of its certificate, with throwaway authorities.
#include "central_rig.h"

#include "core/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <httplib.h>

#include <cstdlib>
#include <thread>

namespace edi::central::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::SizeIs;

// Two certificate authorities made by openssl for this run; the server's certificate is signed by the first.
class CentralHttps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new edi::test::TempDir;
        const fs::path d = dir_->path();
        writeFileAtomically(d / "san.cnf", "subjectAltName=IP:127.0.0.1\n");
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        const std::string script =
            "cd '" + d.string() + "' && openssl req -x509" + ec + " -keyout ca.key -out ca.pem -days 2 -subj /CN=CA-A" +
            " && openssl req -x509" + ec + " -keyout outra.key -out outra.pem -days 2 -subj /CN=CA-B" +
            " && openssl req" + ec + " -keyout servidor.key -out servidor.csr -subj /CN=127.0.0.1" +
            " && openssl x509 -req -in servidor.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2" +
            " -extfile san.cnf -out servidor.pem 2>/dev/null >/dev/null";
        ASSERT_EQ(std::system((script + " 2>/dev/null").c_str()), 0) << "openssl could not make the certificates";
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static fs::path file(const char* name) { return dir_->path() / name; }

    static ServerConfig overHttps() {
        ServerConfig c;
        c.certificate = file("servidor.pem");
        c.privateKey = file("servidor.key");
        return c;
    }

    static transport::HttpClient clientTrusting(const std::string& caFile) {
        transport::HttpOptions o = clientOptions();
        o.caFile = caFile;
        return transport::HttpClient(o);
    }

    static inline edi::test::TempDir* dir_ = nullptr;
};

TEST_F(CentralHttps, AClientTrustingTheServersAuthorityExchanges) {
    CentralRig rig(overHttps());
    rig.client = clientTrusting(file("ca.pem"));
    ASSERT_EQ(rig.send("PACIENTE12010124120000.xml", 12, "<DATAPACKET/>"), 200);
    const auto waiting = rig.waiting(31);
    ASSERT_THAT(waiting, SizeIs(1));
    EXPECT_EQ(rig.mustGet("/edi/out/PACIENTE12010124120000.xml"), "<DATAPACKET/>");
    EXPECT_EQ(rig.acknowledge(waiting[0].first, 31), 200);
    EXPECT_TRUE(rig.log().waitFor("(https)"));
}

TEST_F(CentralHttps, ACertificateThatDoesNotVerifyIsRefusedWithAClearText) {
    CentralRig rig(overHttps());
    for (const std::string ca : {"", "outra.pem"}) { // the system's authorities, then another one
        rig.client = clientTrusting(ca.empty() ? "" : file(ca.c_str()).string());
        const auto answer = rig.get("/dbArquivo.php?op=S&unidade=31");
        ASSERT_FALSE(answer) << ca;
        EXPECT_THAT(answer.error(), HasSubstr("o certificado do servidor não foi verificado, conexão recusada")) << ca;
        EXPECT_FALSE(rig.upload("A.xml", "<x/>")) << ca;
    }
    EXPECT_FALSE(fs::exists(rig.root() / "edi" / "out" / "A.xml"));
    rig.client = clientTrusting((dir_->path() / "nenhuma.pem").string());
    const auto answer = rig.get("/dbArquivo.php?op=S&unidade=31");
    ASSERT_FALSE(answer);
    EXPECT_THAT(answer.error(), HasSubstr("não foi possível ler as autoridades de certificação"));
}

// A proxy in front of the server that sends the unit on to plain http: the answer would come unverified.
TEST_F(CentralHttps, ARedirectToPlainHttpIsNotFollowed) {
    httplib::Server emClaro;
    emClaro.Get("/dbUnidade.php",
                [](const httplib::Request&, httplib::Response& res) { res.set_content("<DATAPACKET/>", "text/xml"); });
    httplib::SSLServer proxy(file("servidor.pem").c_str(), file("servidor.key").c_str());
    const int claro = emClaro.bind_to_any_port("127.0.0.1");
    proxy.Get("/dbUnidade.php", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://127.0.0.1:" + std::to_string(claro) + "/dbUnidade.php?op=S");
    });
    const int port = proxy.bind_to_any_port("127.0.0.1");
    std::thread servers[] = {std::thread([&] { emClaro.listen_after_bind(); }),
                             std::thread([&] { proxy.listen_after_bind(); })};
    auto client = clientTrusting(file("ca.pem"));
    const auto answer = client.getText("https://127.0.0.1:" + std::to_string(port) + "/dbUnidade.php?op=S");
    proxy.stop();
    emClaro.stop();
    for (std::thread& t : servers)
        t.join();
    EXPECT_FALSE(answer);
}

TEST_F(CentralHttps, AMissingCertificateStopsTheServerFromStarting) {
    ServerConfig c = overHttps();
    c.root = dir_->path() / "raiz";
    c.certificate = file("nenhum.pem");
    EXPECT_THROW(CentralServer server(c, std::cerr), Error);
}

} // namespace
} // namespace edi::central::test
