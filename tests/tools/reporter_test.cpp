// The error reporter and the program's mail filter, with a real SMTP server on loopback.
#include "app/configuracao.h"
#include "app/geral.h"
#include "core/errors.h"
#include "core/files.h"
#include "support/smtp_server.h"
#include "support/temp_dir.h"
#include "tools/error_reporter.h"
#include "tools/new_dialog_filter.h"

#include <gtest/gtest.h>

namespace edi::tools {
namespace {

namespace fs = std::filesystem;

const char* const kCincoLinhas = "Computer:ESTACAO7\nUnidade:12-Centro de Saúde\nUsuário:-\n"
                                 "Sistema:EDI - ( Versão: 2.1.0-04 )\nLocal:";

[[gnu::noinline]] void falhaNoEnvio(const std::string& senha) {
    throw TransportError("GET http://central/edi?login=quelmar&senha=" + senha + " falhou");
}

size_t ocorrencias(const std::string& texto, const std::string& parte) {
    size_t n = 0;
    for (size_t p = texto.find(parte); p != std::string::npos; p = texto.find(parte, p + 1))
        ++n;
    return n;
}

// A reporter of its own on a program folder, with the program's filter mailing to `porta`.
struct Bancada {
    test::TempDir home;
    Configuracao config;
    UGeral geral;
    TErrorReporter reporter;
    std::shared_ptr<TNewDialogFilter> filtro;
    std::vector<TextosDoErro> mostrados;
    std::function<void()> aoMostrar;

    Bancada(int porta, bool identificada = true) {
        config.emailHost = "127.0.0.1";
        config.emailPorta = porta;
        config.emailUsuario = "edi@unidade.test";
        config.emailSenha = "segredo-smtp";
        config.emailDe = "edi@unidade.test";
        config.emailPara = "suporte@central.test";
        config.senhaWeb = "dorven-secreta";
        if (identificada) {
            geral.sLogComputer = "ESTACAO7";
            geral.sLogUnidade = "12-Centro de Saúde";
            geral.sLogUsuario = "-";
            geral.sLogSistema = "EDI - ( Versão: 2.1.0-04 )";
        }
        geral.sPath = home.path() / "";
        reporter.LogFile = home / "EDIMorvanix.log";
        reporter.mostraErro = [this](const TextosDoErro& t) {
            mostrados.push_back(t);
            if (aoMostrar)
                aoMostrar();
        };
        reporter.ocultaSegredos({config.senhaWeb, config.emailSenha});
        filtro = std::make_shared<TNewDialogFilter>(config, geral, reporter.LogFile);
        reporter.RegisterExceptionFilter<std::exception>(filtro, false);
    }
    void erro(const std::string& senha = "x") {
        try {
            falhaNoEnvio(senha);
        } catch (...) {
            reporter.HandleException(std::current_exception());
        }
    }
    std::string log() const { return fs::exists(reporter.LogFile) ? readFile(reporter.LogFile) : ""; }
};

TEST(Reporter, AnErrorIsLoggedThenMailedWithTheFiveLinesThenShownAndTheLogGoes) {
    test::ServidorSmtp servidor;
    Bancada b(servidor.porta());
    size_t mensagensAoMostrar = 99;
    b.aoMostrar = [&] { mensagensAoMostrar = servidor.mensagens().size(); };
    b.erro("dorven-secreta");

    ASSERT_EQ(b.mostrados.size(), 1u);
    const TextosDoErro& t = b.mostrados[0];
    EXPECT_EQ(t.titulo, "Application Error");
    // Class, module and the place of the throw with its source line, then the message without the password.
    EXPECT_NE(t.texto.find("Exceção edi::TransportError em test_tools+0x"), std::string::npos) << t.texto;
    EXPECT_NE(t.texto.find("falhaNoEnvio"), std::string::npos) << t.texto;
    EXPECT_NE(t.texto.find("reporter_test.cpp:"), std::string::npos) << t.texto;
    EXPECT_NE(t.texto.find("senha=**** falhou"), std::string::npos) << t.texto;
    EXPECT_NE(t.pilha.find("TestBody (reporter_test.cpp:"), std::string::npos) << t.pilha;
    EXPECT_EQ(mensagensAoMostrar, 1u); // the mail went before the dialog

    const auto m = servidor.mensagens();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].assunto, "Haldren - Erro");
    EXPECT_EQ(m[0].para, "suporte@central.test");
    EXPECT_EQ(m[0].anexos, "");
    EXPECT_EQ(ocorrencias(m[0].corpo, "Application Error"), 1u);
    EXPECT_NE(m[0].corpo.find("Pilha de chamadas:"), std::string::npos);
    EXPECT_NE(m[0].corpo.find("falhaNoEnvio"), std::string::npos);
    EXPECT_EQ(m[0].corpo.find("dorven-secreta"), std::string::npos);
    EXPECT_EQ(m[0].corpo.find("segredo-smtp"), std::string::npos);
    const std::string fim = std::string(kCincoLinhas) + b.geral.sPath.string() + "\n";
    ASSERT_GE(m[0].corpo.size(), fim.size());
    EXPECT_EQ(m[0].corpo.substr(m[0].corpo.size() - fim.size()), fim);
    EXPECT_FALSE(fs::exists(b.reporter.LogFile));
}

TEST(Reporter, WithTheMailServerDownTheLogAccumulatesAndTheNextMailCarriesAll) {
    test::ServidorSmtp servidor;
    int fechada = 0;
    {
        const test::PortaMuda p;
        fechada = p.porta();
    }
    Bancada b(fechada, false); // before the first run: the five lines carry empty values
    b.erro();
    b.erro();
    const std::string log = b.log();
    const std::string cinco = "Computer:\nUnidade:\nUsuário:\nSistema:\nLocal:" + b.geral.sPath.string() + "\n";
    const size_t r1 = log.find("Application Error"), c1 = log.find(cinco), r2 = log.find("Application Error", r1 + 1),
                 c2 = log.find(cinco, c1 + 1);
    ASSERT_NE(c2, std::string::npos) << log;
    EXPECT_TRUE(r1 < c1 && c1 < r2 && r2 < c2) << log;
    EXPECT_EQ(log.size(), c2 + cinco.size()) << log;
    EXPECT_EQ(b.mostrados.size(), 2u);

    b.config.emailPorta = servidor.porta();
    b.erro();
    const auto m = servidor.mensagens();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(ocorrencias(m[0].corpo, "Application Error"), 3u);
    EXPECT_EQ(ocorrencias(m[0].corpo, cinco), 3u);
    EXPECT_FALSE(fs::exists(b.reporter.LogFile));
}

TEST(Reporter, MailAttemptsAreSpacedByACycleAndEveryErrorIsStillShown) {
    int fechada = 0;
    {
        const test::PortaMuda p;
        fechada = p.porta();
    }
    Bancada b(fechada);
    b.filtro->espacamento = std::chrono::hours(1);
    b.erro();
    b.erro();
    b.erro();
    const std::string log = b.log();
    EXPECT_EQ(ocorrencias(log, "Application Error"), 3u);
    EXPECT_EQ(ocorrencias(log, "Computer:ESTACAO7"), 1u) << "one attempt in the cycle";
    EXPECT_EQ(b.mostrados.size(), 3u);
}

TEST(Reporter, FiltersMatchByClassNewestFirstAndStopEndsTheWalk) {
    TErrorReporter reporter;
    test::TempDir dir;
    reporter.LogFile = dir / "sub" / "EDIMorvanix.log"; // a folder that does not exist: no log at all
    std::vector<std::string> vistos;
    reporter.mostraErro = [&](const TextosDoErro& t) {
        vistos.push_back("dialogo:" + t.texto.substr(0, t.texto.find(" em ")));
    };

    struct Registra : IErrorFilter {
        std::string nome;
        std::vector<std::string>& vistos;
        ResultadoFiltro show;
        Registra(std::string n, std::vector<std::string>& v, ResultadoFiltro s = EXC_FILTER_CONTINUE)
            : nome(std::move(n)), vistos(v), show(s) {}
        ResultadoFiltro ShowException(const ErroCapturado&, const TextosDoErro&) override {
            vistos.push_back(nome);
            return show;
        }
        ResultadoFiltro LogException(const ErroCapturado&, const TextosDoErro&) override { return EXC_FILTER_CONTINUE; }
        ResultadoFiltro ExceptionMessage(const ErroCapturado&, std::string&) override { return EXC_FILTER_CONTINUE; }
    };
    reporter.RegisterExceptionFilter<Error>(std::make_shared<Registra>("Error", vistos), false);
    reporter.RegisterExceptionFilter<Error>(std::make_shared<Registra>("Error estrito", vistos), true);
    reporter.RegisterExceptionFilter<TransportError>(std::make_shared<Registra>("Transport", vistos), true);

    auto lanca = [&](auto erro) {
        try {
            throw erro;
        } catch (...) {
            reporter.HandleException(std::current_exception());
        }
    };
    lanca(TransportError("a"));
    lanca(IoError("b"));
    EXPECT_EQ(vistos, (std::vector<std::string>{"Transport", "Error", "dialogo:Exceção edi::TransportError", "Error",
                                                "dialogo:Exceção edi::IoError"}));
    EXPECT_FALSE(fs::exists(reporter.LogFile));

    vistos.clear();
    reporter.RegisterExceptionFilter<std::exception>(std::make_shared<Registra>("para", vistos, EXC_FILTER_STOP),
                                                     false);
    lanca(std::runtime_error("c"));
    EXPECT_EQ(vistos, std::vector<std::string>{"para"});
}

TEST(Reporter, ALogThatCannotBeWrittenMeansNoMailButTheErrorIsShown) {
    test::ServidorSmtp servidor;
    Bancada b(servidor.porta());
    b.reporter.LogFile = b.home / "nao-existe" / "EDIMorvanix.log";
    b.filtro = std::make_shared<TNewDialogFilter>(b.config, b.geral, b.reporter.LogFile);
    b.reporter.RegisterExceptionFilter<std::exception>(b.filtro, false);
    b.erro();
    EXPECT_EQ(b.mostrados.size(), 1u);
    EXPECT_TRUE(servidor.mensagens().empty());
}

} // namespace
} // namespace edi::tools
