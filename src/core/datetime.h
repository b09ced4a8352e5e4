#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace edi {

// Calendar date as days since 1970-01-01 (negative before), proleptic Gregorian.
struct Date {
    int32_t days = 0;

    static Date fromYmd(int year, int month, int day);
    void toYmd(int& year, int& month, int& day) const;
    auto operator<=>(const Date&) const = default;
};

// Time of day in units of 1/10000 s (the database's resolution).
struct Time {
    static constexpr uint32_t kUnitsPerSecond = 10000;
    static constexpr uint32_t kUnitsPerDay = 86400u * kUnitsPerSecond;
    uint32_t units = 0;

    static Time fromHms(int hour, int minute, int second, int millisecond = 0);
    int hour() const { return static_cast<int>(units / (3600u * kUnitsPerSecond)); }
    int minute() const { return static_cast<int>(units / (60u * kUnitsPerSecond) % 60u); }
    int second() const { return static_cast<int>(units / kUnitsPerSecond % 60u); }
    int millisecond() const { return static_cast<int>(units % kUnitsPerSecond / 10u); }
    auto operator<=>(const Time&) const = default;
};

struct Timestamp {
    Date date;
    Time time;

    static Timestamp fromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                               int millisecond = 0);
    // The local clock, to the millisecond.
    static Timestamp localNow();
    // Whole seconds later (earlier when negative), across days.
    Timestamp plusSeconds(int64_t seconds) const;
    auto operator<=>(const Timestamp&) const = default;
};

bool isValidDate(int year, int month, int day);
bool isValidTime(int hour, int minute, int second, int millisecond = 0);

// Formats with the pattern letters the product uses: yyyy yy mm m dd d hh h nn n ss s zzz, anything else literal.
// "mm" right after an hour means minutes, as in the classic date-time patterns.
std::string formatDateTime(std::string_view pattern, const Timestamp& ts);

} // namespace edi
