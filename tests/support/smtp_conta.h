#pragma once

#include "app/configuracao.h"
#include "support/smtp_server.h"

namespace edi::test {

// The mail settings of a loopback SMTP server; no spacing between mail attempts.
inline Configuracao contaDoServidor(const ServidorSmtp& s) {
    Configuracao c;
    c.nTempo = 0;
    c.emailHost = "127.0.0.1";
    c.emailPorta = s.porta();
    c.emailUsuario = s.opcoes().usuario;
    c.emailSenha = s.opcoes().senha;
    c.emailDe = "edi@unidade.test";
    c.emailPara = "suporte@central.test";
    return c;
}

} // namespace edi::test
