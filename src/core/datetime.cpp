#include "core/datetime.h"

#include "core/errors.h"

#include <cctype>
#include <chrono>
#include <ctime>

namespace edi {

namespace {

// Howard Hinnant's civil-calendar algorithms.
int32_t daysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
}

void civilFromDays(int32_t z, int& y, int& m, int& d) {
    z += 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe) + era * 400 + (m <= 2);
}

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

} // namespace

bool isValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool isValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && millisecond >= 0 &&
           millisecond < 1000;
}

Date Date::fromYmd(int year, int month, int day) {
    if (!isValidDate(year, month, day))
        throw ConversionError("Data inválida " + std::to_string(year) + "-" + std::to_string(month) + "-" +
                              std::to_string(day));
    return Date{daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))};
}

void Date::toYmd(int& year, int& month, int& day) const {
    civilFromDays(days, year, month, day);
}

Time Time::fromHms(int hour, int minute, int second, int millisecond) {
    if (!isValidTime(hour, minute, second, millisecond))
        throw ConversionError("Hora inválida " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                              std::to_string(second));
    return Time{static_cast<uint32_t>(((hour * 60 + minute) * 60 + second)) * kUnitsPerSecond +
                static_cast<uint32_t>(millisecond) * 10u};
}

Timestamp Timestamp::fromParts(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    return Timestamp{Date::fromYmd(year, month, day), Time::fromHms(hour, minute, second, millisecond)};
}

Timestamp Timestamp::localNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return fromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                     static_cast<int>(ms));
}

Timestamp Timestamp::plusSeconds(int64_t seconds) const {
    constexpr int64_t kSecondsPerDay = 86400;
    const int64_t second = time.units / Time::kUnitsPerSecond + seconds;
    const int64_t days = second >= 0 ? second / kSecondsPerDay : (second + 1) / kSecondsPerDay - 1;
    const int64_t secondOfDay = second - days * kSecondsPerDay;
    return Timestamp{
        Date{static_cast<int32_t>(date.days + days)},
        Time{static_cast<uint32_t>(secondOfDay * Time::kUnitsPerSecond + time.units % Time::kUnitsPerSecond)}};
}

std::string formatDateTime(std::string_view pattern, const Timestamp& ts) {
    int year = 0, month = 0, day = 0;
    ts.date.toYmd(year, month, day);
    const Time t = ts.time;
    std::string out;
    bool lastWasHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        size_t n = 0;
        switch (c) {
        case 'y':
            n = run('y');
            out += n <= 2 ? twoDigits(year % 100) : std::to_string(year);
            lastWasHour = false;
            break;
        case 'm':
            n = run('m');
            if (lastWasHour)
                out += n >= 2 ? twoDigits(t.minute()) : std::to_string(t.minute());
            else
                out += n >= 2 ? twoDigits(month) : std::to_string(month);
            lastWasHour = false;
            break;
        case 'd':
            n = run('d');
            out += n >= 2 ? twoDigits(day) : std::to_string(day);
            lastWasHour = false;
            break;
        case 'h':
            n = run('h');
            out += n >= 2 ? twoDigits(t.hour()) : std::to_string(t.hour());
            lastWasHour = true;
            break;
        case 'n':
            n = run('n');
            out += n >= 2 ? twoDigits(t.minute()) : std::to_string(t.minute());
            lastWasHour = false;
            break;
        case 's':
            n = run('s');
            out += n >= 2 ? twoDigits(t.second()) : std::to_string(t.second());
            lastWasHour = false;
            break;
        case 'z': {
            n = run('z');
            std::string ms = std::to_string(t.millisecond());
            if (n >= 3)
                ms.insert(0, 3 - ms.size(), '0');
            out += ms;
            lastWasHour = false;
            break;
        }
        default:
            n = 1;
            out += pattern[i];
            // A separator keeps the hour context, so "hh:mm" formats minutes.
            if (std::isalnum(static_cast<unsigned char>(pattern[i])))
                lastWasHour = false;
            break;
        }
        i += n;
    }
    return out;
}

} // namespace edi
