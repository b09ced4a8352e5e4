#pragma once

#include "core/datetime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace edi {

// The process-wide text formats: decimal ",", thousands ".", dates dd/MM/yyyy, times HH:mm:ss.
// Implemented here so that nothing depends on the machine's C locale.
namespace formats {

constexpr char kDecimalSeparator = ',';
constexpr char kThousandSeparator = '.';

std::string formatDouble(double v); // shortest exact text, "," as the decimal point
// A display pattern such as "0.00": that many decimals, rounded half away from zero, "," as the decimal point.
std::string formatFixed(double v, int decimals);
std::string formatInteger(int64_t v);
std::string formatThousands(int64_t v);           // 2096633 -> "2.096.633"
std::string formatDate(const Date& d);            // dd/MM/yyyy
std::string formatTime(const Time& t);            // hh:nn:ss
std::string formatTimestamp(const Timestamp& ts); // date, and the time when it is not midnight

std::optional<int64_t> parseInteger(std::string_view text);
// Accepts "," or "." as the decimal point, an optional sign and exponent; no thousands separators.
std::optional<double> parseDouble(std::string_view text);
// dd/MM/yyyy [hh:nn[:ss[.zzz]]], yyyy-mm-dd[ T]hh:nn:ss, yyyymmdd.
std::optional<Timestamp> parseTimestamp(std::string_view text);
std::optional<Time> parseTime(std::string_view text);

std::string trim(std::string_view s);
bool isBlank(std::string_view s); // empty or only spaces: trim(s).empty() without the copy
std::string toUpper(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace formats
} // namespace edi
