#pragma once

#include "core/datetime.h"
#include "packet/nome_do_pacote.h"

#include <optional>
#include <string>

namespace edi {

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
