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

// The moment in a packet's name: its last twelve digits before ".xml" (ddmmyyhhnnss), years 70 to 99 read as
// 19yy, the others as 20yy. None when the name does not end so.
std::optional<Timestamp> MomentoDoPacote(const std::string& F);

// The moment that names an installation's next packet: its clock, unless that is not after the last moment
// used (a clock set back, the hour repeated when summer time ends) or cannot be a real recent moment (a dead
// clock battery, a year the name cannot tell apart): then a second after the last moment. Strictly increasing,
// so a later edit is never taken for an older one.
Timestamp ProximoMomento(const Timestamp& relogio, const std::optional<Timestamp>& ultimo);

// The moment as whole seconds since 1970-01-01 (no time zone), and back: how the database keeps the last one.
int64_t SegundosDoMomento(const Timestamp& momento);
Timestamp MomentoDosSegundos(int64_t segundos);

// Index name for DT_EXP: the first 24 characters of the table name + "_EXP_IX".
std::string NomeIndiceExp(const std::string& T);

} // namespace edi
