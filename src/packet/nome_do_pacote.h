#pragma once

// How a data packet's file is named, for every side that writes, sends, archives or reads one.

#include "core/datetime.h"

#include <optional>
#include <string>

namespace edi {

// A packet waiting to go, or received; once sent it is archived under the same name with the other extension.
inline constexpr const char* kExtensaoPacote = ".xml";
inline constexpr const char* kExtensaoArquivado = ".bkp";
// The two-digit years a name can hold: 1970 to 2069.
inline constexpr int kPrimeiroAnoDoNome = 1970;

// Packet file name: table + unit code + "ddmmyyhhnnss" + ".xml".
std::string NomeArquivoPacote(const std::string& T, const std::string& unidade, const Timestamp& inicio);

// True for a name NomeArquivoPacote gives, whatever the table: a temporary or foreign file is no packet.
bool NomeDePacote(const std::string& nome);

// T followed by every character of F after its first |T| characters that is not a digit.
std::string RetiraNumero(const std::string& F, const std::string& T);

// True when F is T, then only digits, then ".xml": the name export gives a table's packet.
// A file of another table that starts with T, or with the unit "-999", does not belong.
bool PertenceATabela(const std::string& F, const std::string& T);

// The moment in a packet's name: its last twelve digits before ".xml" (ddmmyyhhnnss), years 70 to 99 read as
// 19yy, the others as 20yy. None when the name does not end so.
std::optional<Timestamp> MomentoDoPacote(const std::string& F);

// The unit code in the name of table T's packet F; none when F is too short to hold T and a moment.
std::optional<std::string> UnidadeDoPacote(const std::string& F, const std::string& T);
// The table of unit `unidade`'s packet F; empty when F is too short.
std::string TabelaDoPacote(const std::string& F, const std::string& unidade);

// The name a sent packet is archived under, and back; none for a name that is not an archived packet.
std::string NomeArquivado(const std::string& pacote);
std::optional<std::string> PacoteArquivado(const std::string& arquivado);

} // namespace edi
