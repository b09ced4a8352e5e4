#pragma once

#include "core/datetime.h"

#include <optional>
#include <string>

namespace edi {

// T followed by every character of F after its first |T| characters that is not a digit.
std::string RetiraNumero(const std::string& F, const std::string& T);

// True when F is T, then only digits, then ".xml": the name export gives a table's packet.
// A file of another table that starts with T, or with the unit "-999", does not belong.
bool PertenceATabela(const std::string& F, const std::string& T);

// Packet file name: table + unit code + "ddmmyyhhnnss" + ".xml".
std::string NomeArquivoPacote(const std::string& T, const std::string& unidade, const Timestamp& inicio);

// The moment in a packet's name: its last twelve digits before ".xml" (ddmmyyhhnnss, the exporting unit's
// clock). None when the name does not end so.
std::optional<Timestamp> MomentoDoPacote(const std::string& F);

// Index name for DT_EXP: the first 24 characters of the table name + "_EXP_IX".
std::string NomeIndiceExp(const std::string& T);

} // namespace edi
