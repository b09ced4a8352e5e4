// A central server that misbehaves on purpose, one scenario per behaviour, against the send, receive and update
// stages. Each scenario must be refused or bounded with a message that says why, write nothing outside the
// program folder, acknowledge nothing that was not stored, and leave the next cycle working once the server
// behaves again.
#include "app/configuracao.h"
#include "core/errors.h"
#include "core/files.h"
#include "support/zip_archive.h"
#include "transport/estacao.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace edi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Estacao;
using test::kRaiz;
using test::Reply;

// A peer whose kernel accepts connections that nobody ever reads or answers.
class SoqueteMudo {
public:
    SoqueteMudo() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), n) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            throw std::runtime_error("cannot open a listening socket");
        porta_ = ntohs(a.sin_port);
    }
    ~SoqueteMudo() { ::close(fd_); }
    std::string host() const { return "127.0.0.1:" + std::to_string(porta_); }

private:
    int fd_ = -1;
    int porta_ = 0;
};

enum class Etapa { Envio, Recepcao, Update };

const std::string kPacote = "PACIENTE12010203040506.xml";
const std::string kRecebido = "PACIENTE31010203040506.xml";
const std::string kConteudo = "<?xml version=\"1.0\"?><DATAPACKET/>";

std::string zipDe(const std::vector<test::ZipEntry>& entradas) {
    test::TempDir d;
    test::makeZip(d / "x.zip", entradas);
    return readFile(d / "x.zip");
}

std::string listaApp(const std::string& nome, const std::string& destino, const std::string& exec = "0") {
    return test::listaApp({{kRaiz + "app\\" + nome, destino, "1", exec}});
}

// What a well-behaved server answers for the stage.
void servidorCorreto(Estacao& e, Etapa etapa) {
    e.geral.sDominio = e.servidor.host();
    e.servidor.on("/edi/ReceiveUpload.aspx", Reply::text("ok"));
    for (const char* registro : {"/dbArquivo.php?op=I", "/dbArquivo.php?op=A"})
        e.servidor.on(registro, Reply::text(""));
    e.servidor.on("/dbArquivo.php?op=S", Reply::text(test::lista({{1, kRaiz + "edi\\out\\" + kRecebido}})));
    e.servidor.on("/edi/out/" + kRecebido, Reply::text(kConteudo));
    e.servidor.on("/dbArquivo.php?op=APP", Reply::text(listaApp("prog.zip", "/*APP*/bin/prog")));
    e.servidor.on("/app/prog.zip", Reply::text(zipDe({test::deflated("prog", "versão nova")})));
    if (etapa == Etapa::Envio)
        writeFileAtomically(e.geral.sPathOut / kPacote, kConteudo);
}

// Runs the stage; the stage's error text when it fails.
std::string roda(Estacao& e, Etapa etapa) {
    try {
        switch (etapa) {
        case Etapa::Envio: e.transporte->btnEnviarArquivoClick(); break;
        case Etapa::Recepcao: e.transporte->btnReceberArquivoClick(); break;
        case Etapa::Update: e.transporte->Aplicao1Click(); break;
        }
    } catch (const Error& erro) {
        return erro.what();
    }
    return {};
}

// Every path below `pasta`, relative to it.
std::vector<std::string> arvore(const fs::path& pasta) {
    std::vector<std::string> out;
    for (const auto& f : fs::recursive_directory_iterator(pasta))
        out.push_back(fs::relative(f.path(), pasta).string());
    std::sort(out.begin(), out.end());
    return out;
}

bool foiReconhecido(const Estacao& e) {
    for (const auto& r : e.servidor.requests())
        if (r.queryValue("op") == "A")
            return true;
    return false;
}

struct Cenario {
    std::string nome;
    Etapa etapa;
    std::function<void(Estacao&)> hostil; // turns the well-behaved server hostile
    std::string mensagem;                 // what the panel (or the failed stage) must say
};

std::vector<Cenario> cenarios() {
    const auto em = [](std::string caminho, Reply r) {
        return [caminho, r](Estacao& e) { e.servidor.on(caminho, r); };
    };
    const auto listaDeRecepcao = [](std::string caminho) {
        return [caminho](Estacao& e) {
            e.servidor.on("/dbArquivo.php?op=S", Reply::text(test::lista({{1, caminho}})));
        };
    };
    const auto listaDeUpdate = [](std::string nome, std::string destino, std::string exec = "0") {
        return [=](Estacao& e) { e.servidor.on("/dbArquivo.php?op=APP", Reply::text(listaApp(nome, destino, exec))); };
    };
    const auto pacoteUpdate = [](std::vector<test::ZipEntry> entradas) {
        const std::string zip = zipDe(entradas);
        return [zip](Estacao& e) { e.servidor.on("/app/prog.zip", Reply::text(zip)); };
    };
    const auto mudo = Reply::with(Reply::Mode::NeverAnswer);
    const auto semFim = Reply::with(Reply::Mode::Endless);
    const std::string upload = "/edi/ReceiveUpload.aspx", pacote = "/edi/out/" + kRecebido;
    const std::string lento = "bytes/s durante 1 s";
    return {
        {"upload 500", Etapa::Envio, em(upload, Reply::text("erro", 500)), "HTTP 500"},
        {"registro op=I 503", Etapa::Envio, em("/dbArquivo.php?op=I", Reply::text("erro", 503)), "HTTP 503"},
        {"upload sem resposta", Etapa::Envio, em(upload, mudo), lento},
        {"registro sem resposta", Etapa::Envio, em("/dbArquivo.php?op=I", mudo), lento},
        {"upload com resposta sem fim", Etapa::Envio, em(upload, semFim), "maior que 256 KiB"},
        {"upload redirecionado a si mesmo", Etapa::Envio, em(upload, Reply::redirect(307, upload)), "HTTP 307"},
        {"registro redirecionado a uma página 200", Etapa::Envio,
         [](Estacao& e) {
             e.servidor.on("/dbArquivo.php?op=I", Reply::redirect(302, "/manutencao.html"));
             e.servidor.on("/manutencao.html", Reply::text("em manutenção"));
         },
         "HTTP 302"},
        {"registro redirecionado a outro esquema", Etapa::Envio,
         em("/dbArquivo.php?op=I", Reply::redirect(301, "file:///etc/passwd")), "HTTP 301"},
        {"soquete que aceita e nunca responde", Etapa::Envio,
         [](Estacao& e) {
             static SoqueteMudo soquete;
             e.geral.sDominio = soquete.host();
         },
         lento},

        {"lista op=S 500", Etapa::Recepcao, em("/dbArquivo.php?op=S", Reply::text("erro", 500)), "HTTP 500"},
        {"lista sem resposta", Etapa::Recepcao, em("/dbArquivo.php?op=S", mudo), lento},
        {"lista sem fim", Etapa::Recepcao, em("/dbArquivo.php?op=S", semFim), "maior que 256 KiB"},
        {"lista que não é XML", Etapa::Recepcao, em("/dbArquivo.php?op=S", Reply::text("<html>erro</html>")),
         "não é um pacote de dados"},
        {"lista redirecionada em laço", Etapa::Recepcao,
         em("/dbArquivo.php?op=S", Reply::redirect(302, "/dbArquivo.php?op=S&unidade=12")), "redirecionamentos demais"},
        {"lista redirecionada a outro esquema", Etapa::Recepcao,
         em("/dbArquivo.php?op=S", Reply::redirect(302, "ftp://127.0.0.1/lista.xml")), "só http e https"},
        {"pacote 500", Etapa::Recepcao, em(pacote, Reply::text("erro", 500)), "HTTP 500"},
        {"pacote sem resposta", Etapa::Recepcao, em(pacote, mudo), lento},
        {"pacote sem fim", Etapa::Recepcao, em(pacote, semFim), "maior que 1 MiB"},
        {"pacote maior que o limite", Etapa::Recepcao, em(pacote, Reply::text(std::string(2 << 20, 'x'))),
         "maior que 1 MiB"},
        {"pacote truncado", Etapa::Recepcao, em(pacote, Reply::with(Reply::Mode::CutHalfway, kConteudo)),
         "a conexão caiu"},
        {"pacote redirecionado em laço", Etapa::Recepcao, em(pacote, Reply::redirect(301, pacote)),
         "redirecionamentos demais"},
        {"caminho com ..", Etapa::Recepcao, listaDeRecepcao(kRaiz + "edi\\..\\..\\jaq.xml"), "contém \"..\""},
        {"caminho absoluto", Etapa::Recepcao, listaDeRecepcao("/etc/passwd.xml"), "fora do servidor central"},
        {"caminho com letra de unidade", Etapa::Recepcao, listaDeRecepcao("C:\\Windows\\win.xml"),
         "fora do servidor central"},
        {"caminho em outro servidor", Etapa::Recepcao, listaDeRecepcao("outro.example\\edi\\out\\x.xml"),
         "fora do servidor central"},
        {"nome com milhares de caracteres", Etapa::Recepcao,
         listaDeRecepcao(kRaiz + "edi\\out\\" + std::string(5000, 'n') + ".xml"), "nome longo demais"},

        {"lista op=APP 500", Etapa::Update, em("/dbArquivo.php?op=APP", Reply::text("erro", 500)), "HTTP 500"},
        {"lista op=APP que não é XML", Etapa::Update, em("/dbArquivo.php?op=APP", Reply::text("não é XML")),
         "não é um pacote de dados"},
        {"arquivo de update sem resposta", Etapa::Update, em("/app/prog.zip", mudo), lento},
        {"arquivo de update sem fim", Etapa::Update, em("/app/prog.zip", semFim), "maior que 1 MiB"},
        {"arquivo de update redirecionado a outro esquema", Etapa::Update,
         em("/app/prog.zip", Reply::redirect(302, "file:///etc/passwd")), "só http e https"},
        {"nome vazio", Etapa::Update, listaDeUpdate("", "/*APP*/bin/prog"), "sem nome de arquivo"},
        {"bomba ZIP", Etapa::Update, pacoteUpdate({test::deflated("prog", std::string(32 << 20, '\0'))}),
         "passaria de 1 MiB"},
        {"ZIP com link simbólico", Etapa::Update, pacoteUpdate({test::withMode("prog", "/etc/passwd", 0120777)}),
         "entradas recusadas"},
        {"ZIP com entradas absolutas e ..", Etapa::Update,
         pacoteUpdate({{"/tmp/prog", "x"}, {"../prog", "x"}, {"..\\prog", "x"}, {"C:/prog", "x"}}),
         "entradas recusadas"},
        {"DESTINO com .. para fora", Etapa::Update, listaDeUpdate("prog.zip", "/*APP*/../fora/prog"),
         "destino fora da pasta do programa"},
        {"DESTINO absoluto fora, para iniciar", Etapa::Update,
         [](Estacao& e) {
             e.servidor.on("/dbArquivo.php?op=APP",
                           Reply::text(listaApp("prog.zip", (e.raiz / "fora" / "prog").string(), "1")));
         },
         "destino fora da pasta do programa"},
    };
}

class ServidorHostil : public ::testing::TestWithParam<Cenario> {};

TEST_P(ServidorHostil, RefusedOrBoundedNothingOutsideNothingAcknowledgedAndTheNextCycleWorks) {
    const Cenario& c = GetParam();
    Estacao e;
    writeFileAtomically(e.geral.sPath / "jaq.ini",
                        "[EDI]\nTempoConexao=1\nVelocidadeMinima=1024\nTempoVelocidadeMinima=1\n");
    e.opcoes = OpcoesHttp(LeConfiguracao(e.geral.sPath / "jaq.ini"));
    e.opcoes.maxAnswerBytes = 256 << 10;
    e.opcoes.maxDownloadBytes = 1 << 20;
    e.geral.sPathApp = e.geral.sPath;
    fs::create_directories(e.geral.sPath / "bin");
    writeFileAtomically(e.geral.sPath / "bin" / "prog", "versão antiga");
    e.reinicia();
    e.transporte->limiteDescompactado = 1 << 20;
    servidorCorreto(e, c.etapa);
    c.hostil(e);

    const auto inicio = std::chrono::steady_clock::now();
    const std::string erro = roda(e, c.etapa);
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 5s);
    std::string dito = erro;
    for (const auto& m : e.ui.of("message"))
        dito += "\n" + m;
    EXPECT_NE(dito.find(c.mensagem), std::string::npos) << dito;

    EXPECT_EQ(arvore(e.raiz.path()).front(), "programa");
    for (const auto& nome : arvore(e.raiz.path()))
        EXPECT_TRUE(nome.rfind("programa", 0) == 0) << "written outside the program folder: " << nome;
    for (const auto& nome : arvore(e.geral.sPath)) {
        EXPECT_FALSE(isTemporaryName(fs::path(nome).filename().string())) << nome;
        EXPECT_EQ(nome.find(".unzip-"), std::string::npos) << nome;
    }
    switch (c.etapa) {
    case Etapa::Envio: // not archived: it goes again
        EXPECT_TRUE(fs::exists(e.geral.sPathOut / kPacote));
        break;
    case Etapa::Recepcao:
        EXPECT_FALSE(foiReconhecido(e));
        EXPECT_EQ(test::filesIn(e.geral.sPathIn), std::vector<std::string>{"arquivos.xml"});
        break;
    case Etapa::Update:
        EXPECT_EQ(e.carimbos, 0);
        EXPECT_EQ(readFile(e.geral.sPath / "bin" / "prog"), "versão antiga");
        EXPECT_EQ(test::filesIn(e.geral.sPath / "bin"), std::vector<std::string>{"prog"});
        EXPECT_TRUE(e.iniciados.empty());
        break;
    }

    // The server behaves again: the next cycle goes through.
    servidorCorreto(e, c.etapa);
    e.reinicia();
    EXPECT_EQ(roda(e, c.etapa), "");
    switch (c.etapa) {
    case Etapa::Envio:
        EXPECT_FALSE(fs::exists(e.geral.sPathOut / kPacote));
        EXPECT_EQ(e.ui.message(), "Arquivo enviado com sucesso!");
        break;
    case Etapa::Recepcao:
        EXPECT_EQ(readFile(e.geral.sPathIn / kRecebido), kConteudo);
        EXPECT_TRUE(foiReconhecido(e));
        break;
    case Etapa::Update:
        EXPECT_EQ(readFile(e.geral.sPath / "bin" / "prog"), "versão nova");
        EXPECT_EQ(e.carimbos, 1);
        EXPECT_EQ(e.ui.message(), "Update conlcuido!");
        break;
    }
}

std::string nomeDoTeste(const ::testing::TestParamInfo<Cenario>& info) {
    std::string nome;
    for (const char ch : info.param.nome)
        if (std::isalnum(static_cast<unsigned char>(ch)))
            nome += ch;
    return std::to_string(info.index) + "_" + nome;
}

INSTANTIATE_TEST_SUITE_P(Cenarios, ServidorHostil, ::testing::ValuesIn(cenarios()), nomeDoTeste);

} // namespace
} // namespace edi
