// The e-mail form against a real SMTP server on loopback.
#include "app/configuracao.h"
#include "core/errors.h"
#include "core/files.h"
#include "support/smtp_conta.h"
#include "support/temp_dir.h"
#include "tools/email.h"

#include <gtest/gtest.h>

#include <chrono>

namespace edi::tools {
namespace {

int portaFechada() {
    const test::PortaMuda p; // closed again at once: nothing listens there
    return p.porta();
}

TEST(Email, SendsBodySubjectRecipientsAndAttachmentsOverOneLoggedInConnection) {
    test::ServidorSmtp servidor;
    test::TempDir dir;
    writeFileAtomically(dir / "anexo.txt", "conteúdo do anexo\n");
    writeFileAtomically(dir / "corpo.html", "<p>um</p>\r\n<p>dois</p>\r\n");

    Email form(test::contaDoServidor(servidor));
    EXPECT_EQ(form.edPort, std::to_string(servidor.porta()));
    EXPECT_EQ(form.mmMsg, std::vector<std::string>{"MSG Teste"});
    form.edPara = "suporte@central.test; \"Silva, Ana\" <ana@central.test>";
    form.sSubject = "Relatório de erros";
    form.mmMsg = {"linha 1", "linha 2"};
    form.AddAttachment(dir / "anexo.txt");
    form.AddAttachment(dir / "nao-existe.txt");
    form.AddBodyHtml(dir / "nao-existe.html");
    EXPECT_EQ(form.contentType(), "");
    EXPECT_EQ(form.mmMsg.size(), 2u);
    ASSERT_TRUE(form.Enviar()) << (form.mmLog.empty() ? "" : form.mmLog[0]);

    // The form keeps its attachment and now sends HTML, with an empty subject.
    form.AddBody("<p>a</p>\n<p>b</p>\n<p>c</p>");
    EXPECT_EQ(form.mmMsg.size(), 3u);
    form.sSubject = "";
    ASSERT_TRUE(form.Enviar()) << (form.mmLog.empty() ? "" : form.mmLog[0]);
    form.AddBodyHtml(dir / "corpo.html");
    ASSERT_TRUE(form.Enviar());
    EXPECT_TRUE(form.mmLog.empty());

    const auto m = servidor.mensagens();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].de, "edi@unidade.test");
    EXPECT_EQ(m[0].para, "suporte@central.test,ana@central.test");
    EXPECT_EQ(m[0].assunto, "Relatório de erros");
    EXPECT_EQ(m[0].tipo, "text/plain");
    EXPECT_EQ(m[0].corpo, "linha 1\nlinha 2\n");
    EXPECT_EQ(m[0].mecanismo, "LOGIN");
    EXPECT_FALSE(m[0].tls); // this server offers no STARTTLS
    EXPECT_EQ(m[0].anexos, "anexo.txt");
    ASSERT_EQ(m[0].conteudoDosAnexos.size(), 1u);
    EXPECT_EQ(m[0].conteudoDosAnexos[0], "conteúdo do anexo\n");
    EXPECT_EQ(m[1].assunto, "");
    EXPECT_EQ(m[1].tipo, "text/html");
    EXPECT_EQ(m[1].corpo, "<p>a</p>\n<p>b</p>\n<p>c</p>\n");
    EXPECT_EQ(m[1].anexos, "anexo.txt");
    EXPECT_EQ(m[2].corpo, "<p>um</p>\n<p>dois</p>\n");
    // The connection stayed open: one login for the three messages.
    EXPECT_EQ(servidor.logins(), std::vector<std::string>{"LOGIN edi@unidade.test ok tls=0"});
}

TEST(Email, FailuresGoOnTopOfTheLogNewestFirstWithinTheConnectTimeout) {
    test::ServidorSmtp servidor;
    Email form(test::contaDoServidor(servidor));
    form.edSenha = "senha-errada";
    EXPECT_FALSE(form.Enviar());
    ASSERT_EQ(form.mmLog.size(), 1u);
    EXPECT_EQ(form.mmLog[0].rfind("ERROR: ", 0), 0u);
    EXPECT_NE(form.mmLog[0].find("recusou o usuário ou a senha"), std::string::npos) << form.mmLog[0];
    EXPECT_TRUE(servidor.mensagens().empty());

    form.edPort = std::to_string(portaFechada());
    EXPECT_FALSE(form.Enviar());
    ASSERT_EQ(form.mmLog.size(), 2u);
    EXPECT_NE(form.mmLog[0].find("Não foi possível conectar"), std::string::npos) << form.mmLog[0];
    EXPECT_NE(form.mmLog[1].find("recusou"), std::string::npos);

    const test::PortaMuda muda;
    form.edPort = std::to_string(muda.porta());
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_FALSE(form.Enviar());
    const auto demora = std::chrono::steady_clock::now() - inicio;
    EXPECT_LT(demora, std::chrono::milliseconds(2500));
    ASSERT_EQ(form.mmLog.size(), 3u);
    EXPECT_NE(form.mmLog[0].find("não respondeu a tempo"), std::string::npos) << form.mmLog[0];
    for (const auto& linha : form.mmLog)
        EXPECT_EQ(linha.find("senha-errada"), std::string::npos) << linha;

    // A port that is no number is raised, not logged.
    form.edPort = "58x7";
    EXPECT_THROW(form.Enviar(), ConversionError);
    EXPECT_EQ(form.mmLog.size(), 3u);
}

TEST(Email, UsesStartTlsWhenOfferedAndNeverSendsThePasswordWhenItFails) {
    test::ServidorSmtp::Opcoes comTls;
    comTls.starttls = true;
    test::ServidorSmtp cifrado(comTls);
    Configuracao c = test::contaDoServidor(cifrado);
    c.emailCertificados = cifrado.certificado().string();
    Email form(c);
    ASSERT_TRUE(form.Enviar()) << (form.mmLog.empty() ? "" : form.mmLog[0]);
    ASSERT_EQ(cifrado.mensagens().size(), 1u);
    EXPECT_TRUE(cifrado.mensagens()[0].tls);
    EXPECT_EQ(cifrado.logins(), std::vector<std::string>{"LOGIN edi@unidade.test ok tls=1"});

    test::ServidorSmtp::Opcoes recusa;
    recusa.recusaStartTls = true;
    test::ServidorSmtp falho(recusa);
    Email outro(test::contaDoServidor(falho));
    EXPECT_FALSE(outro.Enviar());
    ASSERT_EQ(outro.mmLog.size(), 1u);
    EXPECT_NE(outro.mmLog[0].find("cifrada"), std::string::npos) << outro.mmLog[0];
    EXPECT_TRUE(falho.logins().empty());
    EXPECT_TRUE(falho.mensagens().empty());
}

} // namespace
} // namespace edi::tools
