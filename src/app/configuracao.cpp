#include "app/configuracao.h"

#include "app/constants.h"
#include "core/datetime.h"
#include "core/formats.h"
#include "platform/ini_file.h"
#include "platform/system_info.h"

namespace edi {

Configuracao LeConfiguracao(const std::filesystem::path& arquivo) {
    const platform::IniFile ini(arquivo);
    Configuracao c;
    c.arquivo = arquivo;
    c.DB = ini.readString("Geral", "DB", "");
    c.usuario = ini.readString("Geral", "Usuario", kUsuarioBanco);
    c.senha = ini.readString("Geral", "Senha", kSenhaBanco);
    c.charset = ini.readString("Geral", "Charset", "UTF8");

    c.bExportar = ini.readString("EDI", "Exportar", "NAO") == "SIM";
    c.bImportar = ini.readString("EDI", "Importar", "NAO") == "SIM";
    c.nTempo = ini.readInteger("EDI", "Tempo", 60);
    c.update = ini.readString("EDI", "Update", "01-01-1900");
    c.servidor = ini.readString("EDI", "Servidor", sDominioPadrao);
    c.login = ini.readString("EDI", "Login", kLoginCentral);
    c.senhaWeb = ini.readString("EDI", "Senha", kSenhaCentral);
    c.forcaOffline = ini.readString("EDI", "Offline", "NAO") == "SIM";
    c.pausaMs = ini.readInteger("EDI", "Pausa", 2000);

    // Sender, recipient and account are one address unless the deployment says otherwise.
    c.emailHost = ini.readString("Email", "Host", kEmailHostPadrao);
    c.emailPorta = ini.readInteger("Email", "Porta", 587);
    c.emailDe = ini.readString("Email", "De", kEmailPadrao);
    c.emailPara = ini.readString("Email", "Para", c.emailDe);
    c.emailUsuario = ini.readString("Email", "Usuario", c.emailDe);
    c.emailSenha = ini.readString("Email", "Senha", kEmailSenhaPadrao);
    c.emailCertificados = ini.readString("Email", "CA", "");
    return c;
}

std::string AtualizaUpdate(const std::filesystem::path& arquivo) {
    const std::string agora = formatDateTime("yyyy-mm-dd hh:nn:ss", Timestamp::localNow());
    platform::IniFile(arquivo).writeString("EDI", "Update", agora);
    return agora;
}

namespace {

// The host part of "host", "host:port" or "scheme://host:port/path".
std::string hostDe(std::string servidor) {
    const size_t scheme = servidor.find("://");
    if (scheme != std::string::npos)
        servidor = servidor.substr(scheme + 3);
    if (!servidor.empty() && servidor[0] == '[') // [::1]:8080
        return servidor.substr(1, servidor.find(']') - 1);
    return servidor.substr(0, servidor.find_first_of(":/"));
}

} // namespace

bool EstaNaInternet(const Configuracao& config) {
    if (config.forcaOffline)
        return false;
    const std::string host = formats::toUpper(hostDe(config.servidor));
    if (host == "LOCALHOST" || host.rfind("127.", 0) == 0 || host == "::1")
        return true;
    return platform::networkConnected();
}

} // namespace edi
