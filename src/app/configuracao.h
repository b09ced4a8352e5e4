#pragma once

#include "app/constants.h"

#include <filesystem>
#include <string>
#include <vector>

namespace edi {

// The longest "Tempo" whose interval in milliseconds an int holds.
inline constexpr int kTempoMaximo = 35791;

// What jaq.ini says, with the program's defaults for every missing key.
struct Configuracao {
    std::filesystem::path arquivo; // the jaq.ini read

    // [Geral]
    std::string DB;      // connection string, used verbatim
    std::string usuario; // database login
    std::string senha;
    std::string charset;

    // [EDI]
    bool bExportar = false; // "Exportar" exactly "SIM"
    bool bImportar = false; // "Importar" exactly "SIM"
    int nTempo = 60;        // minutes between timer runs, 1 to kTempoMaximo
    std::string update = "01-01-1900";
    std::string servidor; // host[:port] or URL of the central server
    std::string login, senhaWeb;
    std::string certificadoCA; // "CertificadoCA": authorities the https central server is verified against
    bool forcaOffline = false; // "Offline" = "SIM": the machine counts as not connected
    int pausaMs = 2000;        // the visible pauses of the cycle
    // Transfers with the central server: seconds to connect; a transfer moving fewer than velocidadeMinima
    // bytes per second (0: no limit) for tempoVelocidadeMinima seconds is abandoned.
    int tempoConexao = 10;
    int velocidadeMinima = 1024;
    int tempoVelocidadeMinima = 60;
    int loteImportacao = kLoteImportacaoPadrao; // records import commits together, 1 or more
    int diasEntreCensos = 1;                    // "DiasEntreCensos": 0 takes a census only on demand

    // [Email]: the SMTP account of the error mail
    std::string emailHost, emailUsuario, emailSenha, emailDe, emailPara;
    int emailPorta = 587;
    std::string emailCertificados; // "CA": certificate authorities for STARTTLS; empty: the system's

    // [Relatorio] SalvarImagem: where the report viewer's hidden "Salvar Imagem" writes the page body;
    // empty: RelatorioGeralPrograma.xml in the temporary folder.
    std::string relatorioImagem;

    // What the log should say about values that were replaced by their default.
    std::vector<std::string> avisos;

    int intervaloTimerMs() const { return nTempo * 60000; }
};

// Reads jaq.ini; a missing file gives every default (and so an empty connection string).
Configuracao LeConfiguracao(const std::filesystem::path& arquivo);

// Writes the moment of this application update, "yyyy-mm-dd hh:nn:ss" in local time, to EDI/Update and
// returns it; every other byte of the file stays as it was.
std::string AtualizaUpdate(const std::filesystem::path& arquivo);

// True when the machine has a network connection, or the central server is on this machine;
// never when the configuration forces the machine offline.
bool EstaNaInternet(const Configuracao& config);

} // namespace edi
