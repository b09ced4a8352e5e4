#include "app/configuracao.h"

#include "app/constants.h"
#include "core/datetime.h"
#include "core/formats.h"
#include "platform/ini_file.h"
#include "platform/system_info.h"

namespace edi {

namespace {

// "Tempo": a value that gives no timer interval (not a whole number, not positive, or so large that the interval
// overflows) would stop the timer for good; it counts as 60, and the log says so.
int leTempo(const platform::IniFile& ini, std::vector<std::string>& avisos) {
    const std::string texto = ini.readString("EDI", "Tempo", "");
    if (texto.empty())
        return 60;
    const auto minutos = formats::parseInteger(texto);
    if (minutos && *minutos >= 1 && *minutos <= kTempoMaximo)
        return static_cast<int>(*minutos);
    avisos.push_back("Tempo \"" + texto + "\" inválido (minutos de 1 a " + std::to_string(kTempoMaximo) +
                     "): usados 60 minutos");
    return 60;
}

// "LoteImportacao": records import commits together; anything but a whole number from 1 keeps the default.
int leLoteImportacao(const platform::IniFile& ini, std::vector<std::string>& avisos) {
    const std::string texto = ini.readString("EDI", "LoteImportacao", "");
    if (texto.empty())
        return kLoteImportacaoPadrao;
    const auto registros = formats::parseInteger(texto);
    if (registros && *registros >= 1 && *registros <= 1000000)
        return static_cast<int>(*registros);
    avisos.push_back("LoteImportacao \"" + texto + "\" inválido (registros de 1 a 1000000): usados " +
                     std::to_string(kLoteImportacaoPadrao) + " registros");
    return kLoteImportacaoPadrao;
}

} // namespace

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
    c.nTempo = leTempo(ini, c.avisos);
    c.update = ini.readString("EDI", "Update", "01-01-1900");
    c.servidor = ini.readString("EDI", "Servidor", sDominioPadrao);
    c.login = ini.readString("EDI", "Login", kLoginCentral);
    c.senhaWeb = ini.readString("EDI", "Senha", kSenhaCentral);
    c.certificadoCA = ini.readString("EDI", "CertificadoCA", "");
    c.forcaOffline = ini.readString("EDI", "Offline", "NAO") == "SIM";
    c.pausaMs = ini.readInteger("EDI", "Pausa", 2000);
    // A value that makes no sense keeps the default rather than leaving a transfer without any limit.
    if (const int v = ini.readInteger("EDI", "TempoConexao", c.tempoConexao); v > 0)
        c.tempoConexao = v;
    if (const int v = ini.readInteger("EDI", "VelocidadeMinima", c.velocidadeMinima); v >= 0)
        c.velocidadeMinima = v;
    if (const int v = ini.readInteger("EDI", "TempoVelocidadeMinima", c.tempoVelocidadeMinima); v > 0)
        c.tempoVelocidadeMinima = v;
    c.loteImportacao = leLoteImportacao(ini, c.avisos);
    if (const int v = ini.readInteger("EDI", "DiasEntreCensos", c.diasEntreCensos); v >= 0)
        c.diasEntreCensos = v;

    c.relatorioImagem = ini.readString("Relatorio", "SalvarImagem", "");

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
