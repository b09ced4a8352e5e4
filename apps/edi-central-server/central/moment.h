#pragma once

#include "core/datetime.h"

#include <optional>
#include <string>
#include <string_view>

namespace edi::central {

// "yyyy-mm-dd hh:nn:ss": how the server stores moments and how units send the time of their last update.
std::string formatMoment(const Timestamp& moment);

// Reads "yyyy-mm-dd[ hh:nn[:ss]]" and "dd-mm-yyyy" or "dd/mm/yyyy" with the same optional time (a unit that never
// updated sends "01-01-1900"); nullopt for anything else or an impossible date.
std::optional<Timestamp> parseMoment(std::string_view text);

// The value of an SQL string literal: '...' with doubled quotes inside. Text without the quotes is taken as it is;
// nullopt for an opening quote without its closing one or a lone quote inside.
std::optional<std::string> unquoteLiteral(std::string_view text);

} // namespace edi::central
