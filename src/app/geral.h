#pragma once

#include "core/value.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace edi {

class TDM;
namespace db {
class Database;
class Query;
} // namespace db

// The system parameters, in the order they are loaded: number, constant, variable.
#define EDI_PARAMETROS(X)                                                                                              \
    X(1, nParUnidade, prmUnidade)                                                                                      \
    X(999, nParImpressora, prmImpressora)                                                                              \
    X(2, nParVersao, prmVersao)                                                                                        \
    X(3, nParMaxDataAgenda, prmMaxDataAgenda)                                                                          \
    X(4, nParMaxAtendAgenda, prmMaxAtendAgenda)                                                                        \
    X(5, nParDocPadrao, prmDocPadrao)                                                                                  \
    X(6, nParGruPadrao, prmGruPadrao)                                                                                  \
    X(11, nParPastaParecer, prmPastaParecer)                                                                           \
    X(12, nParMedicoPadraoAgenda, prmMedicoPadraoAgenda)                                                               \
    X(13, nParLstNaoTransfAgenda, prmLstNaoTransfAgenda)                                                               \
    X(14, nParMedicoIntegraLab, prmMedicoIntegraLab)                                                                   \
    X(15, nParImgFundo, prmImgFundo)                                                                                   \
    X(20, nParUrlRX, prmURLRX)                                                                                         \
    X(22, nParSGEmpresa, prmSGEmpresa)                                                                                 \
    X(23, nParTabRespLab, prmTabRespLab)                                                                               \
    X(24, nParUltimoNrProcesso, prmUltimoNrProcesso)                                                                   \
    X(25, nParAgendaSabDom, prmAgendaSabDom)                                                                           \
    X(26, nParSistemaUnidades, prmSistemaUnidades)                                                                     \
    X(27, nParUnidadeCentral, prmUnidadeCentral)                                                                       \
    X(28, nParConfirmaEDI, prmConfirmaEDI)                                                                             \
    X(29, nParBloqueio, prmBloqueio)                                                                                   \
    X(30, nParAgendaLaboratorio, prmAgendaLaboratorio)                                                                 \
    X(31, nParAgendaFarmacia, prmAgendaFarmacia)                                                                       \
    X(32, nParAgendaTesteRapido, prmAgendaTesteRapido)                                                                 \
    X(33, nParAgendaCriancaExposta, prmAgendaCriancaExposta)

#define EDI_CONSTANTE_PARAMETRO(numero, constante, variavel) inline constexpr int constante = numero;
EDI_PARAMETROS(EDI_CONSTANTE_PARAMETRO)
#undef EDI_CONSTANTE_PARAMETRO

// Process-wide values: the loaded parameters (as text, "-999" until loaded), the folder layout,
// and the texts that describe this installation in error reports.
struct UGeral {
#define EDI_VARIAVEL_PARAMETRO(numero, constante, variavel) std::string variavel = "-999";
    EDI_PARAMETROS(EDI_VARIAVEL_PARAMETRO)
#undef EDI_VARIAVEL_PARAMETRO

    std::string prmDataUpdate = "01-01-1900";
    std::string sDominio;

    std::string sLogComputer, sLogUnidade, sLogUsuario, sLogSistema;
    std::string sUnidadeDefautDescricao;
    int iProvincia = 0, iMunicipio = 0;
    std::string sProvinciaDefautDescricao, sMunicipioDefautDescricao;

    // Folders, each with a trailing separator.
    std::filesystem::path sPath, sPathApp, sPathIn, sPathOut, sPathProt, sPathTemp;
    // The journal of the exchange (app/diario_do_intercambio.h), beside jaq.ini.
    std::filesystem::path sArquivoDiario;

    UGeral();
    // Sets sPath, sPathApp and the interchange and temporary folder variables below `programFolder`.
    void definePastas(const std::filesystem::path& programFolder);
};

struct ParametroDef {
    int numero;
    const char* constante;
    std::string UGeral::*variavel;
};
// Every parameter in loading order.
const std::vector<ParametroDef>& Parametros();

// Report name per protocol type 1 to 8 (index 0 unused).
extern const std::array<std::string, 9> Protocolo;

// VALOR of that parameter; "-999" when the row is missing, empty text when VALOR is null.
std::string ValorParametro(TDM& dm, int numero);
// Loads every parameter still at "-999"; the central unit defaults to "31".
void InicializaParametros(TDM& dm, UGeral& geral);
// sUnidadeDefautDescricao from UNIDADE.
void InicializaDados(TDM& dm, UGeral& geral);

// Creates every missing folder along the path, outermost first; IoError when one cannot be created.
bool ValidaDiretorio(const std::filesystem::path& path);

// "<code>-<description>" of this unit; empty when there is no such unit.
std::string SelectNomeUnidadeParametro(TDM& dm);

// One value selected by key: "select C from T where K0 = :P0 and K1 = :P1 ...".
Value PegaValor(TDM& dm, const std::string& coluna, const std::string& tabela, const std::vector<std::string>& chaves,
                const std::vector<Value>& valores, db::Database* conexao = nullptr);

// Fills the named parameters of a query and opens it; nullptr when anything at all fails.
db::Query* ExecutaSQL(db::Query& query, const std::vector<std::string>& nomes, const std::vector<Value>& valores);

} // namespace edi
