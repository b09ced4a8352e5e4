#include "core/formats.h"

#include <algorithm>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace edi::formats {

namespace {

std::string pad2(int v) {
    return v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads an unsigned run of digits of exactly `len` characters at `pos`.
bool digitsAt(std::string_view s, size_t pos, size_t len, int& out) {
    if (pos + len > s.size())
        return false;
    int v = 0;
    for (size_t i = pos; i < pos + len; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

} // namespace

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

bool isBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), isSpace);
}

std::string toUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    // Column and parameter names are compared for every value bound: equal bytes first, the locale only when
    // they differ.
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] &&
            std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string formatDouble(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, res.ptr);
    for (char& c : s)
        if (c == '.')
            c = kDecimalSeparator;
    return s;
}

std::string formatFixed(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(v * scale) / scale;
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, rounded == 0 ? 0.0 : rounded, std::chars_format::fixed, decimals);
    std::string s(buf, res.ptr);
    for (char& c : s)
        if (c == '.')
            c = kDecimalSeparator;
    return s;
}

std::string formatInteger(int64_t v) {
    return std::to_string(v);
}

std::string formatThousands(int64_t v) {
    std::string digits = std::to_string(v < 0 ? -v : v);
    std::string out;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count > 0 && count % 3 == 0)
            out.insert(out.begin(), kThousandSeparator);
        out.insert(out.begin(), *it);
        ++count;
    }
    return v < 0 ? "-" + out : out;
}

std::string formatDate(const Date& d) {
    int y = 0, m = 0, day = 0;
    d.toYmd(y, m, day);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", day, m, y);
    return buf;
}

std::string formatTime(const Time& t) {
    return pad2(t.hour()) + ":" + pad2(t.minute()) + ":" + pad2(t.second());
}

std::string formatTimestamp(const Timestamp& ts) {
    if (ts.time.units == 0)
        return formatDate(ts.date);
    return formatDate(ts.date) + " " + formatTime(ts.time);
}

std::optional<int64_t> parseInteger(std::string_view text) {
    std::string t = trim(text);
    if (t.empty())
        return std::nullopt;
    const char* b = t.data();
    if (*b == '+')
        ++b;
    int64_t v = 0;
    auto res = std::from_chars(b, t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

std::optional<double> parseDouble(std::string_view text) {
    std::string t = trim(text);
    if (t.empty())
        return std::nullopt;
    for (char& c : t)
        if (c == ',')
            c = '.';
    const char* b = t.data();
    if (*b == '+')
        ++b;
    double v = 0;
    auto res = std::from_chars(b, t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<Time> parseTime(std::string_view text) {
    std::string t = trim(text);
    int h = 0, n = 0, s = 0, ms = 0;
    if (t.size() < 5 || !digitsAt(t, 0, 2, h) || t[2] != ':' || !digitsAt(t, 3, 2, n))
        return std::nullopt;
    size_t pos = 5;
    if (pos < t.size()) {
        if (t[pos] != ':' || !digitsAt(t, pos + 1, 2, s))
            return std::nullopt;
        pos += 3;
        if (pos < t.size()) {
            if (t[pos] == '.' || t[pos] == ',')
                ++pos;
            const size_t len = t.size() - pos;
            if (len == 0 || len > 3 || !digitsAt(t, pos, len, ms))
                return std::nullopt;
            for (size_t i = len; i < 3; ++i)
                ms *= 10;
        }
    }
    if (!isValidTime(h, n, s, ms))
        return std::nullopt;
    return Time::fromHms(h, n, s, ms);
}

std::optional<Timestamp> parseTimestamp(std::string_view text) {
    std::string t = trim(text);
    int y = 0, m = 0, d = 0;
    size_t timePos = std::string::npos;
    if (t.size() >= 10 && t[2] == '/' && t[5] == '/' && digitsAt(t, 0, 2, d) && digitsAt(t, 3, 2, m) &&
        digitsAt(t, 6, 4, y)) {
        timePos = 10;
    } else if (t.size() >= 10 && t[4] == '-' && t[7] == '-' && digitsAt(t, 0, 4, y) && digitsAt(t, 5, 2, m) &&
               digitsAt(t, 8, 2, d)) {
        timePos = 10;
    } else if (t.size() >= 8 && digitsAt(t, 0, 4, y) && digitsAt(t, 4, 2, m) && digitsAt(t, 6, 2, d)) {
        timePos = 8;
    } else {
        return std::nullopt;
    }
    if (!isValidDate(y, m, d))
        return std::nullopt;
    Timestamp ts{Date::fromYmd(y, m, d), Time{}};
    if (timePos < t.size()) {
        if (t[timePos] != ' ' && t[timePos] != 'T')
            return std::nullopt;
        auto time = parseTime(std::string_view(t).substr(timePos + 1));
        if (!time)
            return std::nullopt;
        ts.time = *time;
    }
    return ts;
}

} // namespace edi::formats
