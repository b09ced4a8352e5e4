#include "central/moment.h"

#include <charconv>
#include <vector>

namespace edi::central {

namespace {

// Splits `text` at every separator of `separators`; nullopt when a piece is not 1 to 4 digits.
std::optional<std::vector<int>> numbers(std::string_view text, std::string_view separators,
                                        std::vector<std::size_t>* widths = nullptr) {
    std::vector<int> result;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of(separators, start);
        const std::string_view piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        int value = 0;
        const auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || piece.size() > 4 || ec != std::errc() || ptr != piece.data() + piece.size() ||
            piece.front() == '-' || piece.front() == '+')
            return std::nullopt;
        result.push_back(value);
        if (widths)
            widths->push_back(piece.size());
        if (end == std::string_view::npos)
            return result;
        start = end + 1;
    }
}

} // namespace

std::string formatMoment(const Timestamp& moment) {
    return formatDateTime("yyyy-mm-dd hh:nn:ss", moment);
}

std::optional<Timestamp> parseMoment(std::string_view text) {
    const std::size_t blank = text.find_first_of(" T");
    const std::string_view datePart = text.substr(0, blank);
    const std::string_view timePart = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);

    std::vector<std::size_t> widths;
    const auto date = numbers(datePart, "-/", &widths);
    if (!date || date->size() != 3)
        return std::nullopt;
    const bool yearFirst = widths[0] == 4;
    if (!yearFirst && widths[2] != 4)
        return std::nullopt;
    const int year = yearFirst ? (*date)[0] : (*date)[2];
    const int month = (*date)[1];
    const int day = yearFirst ? (*date)[2] : (*date)[0];

    int hour = 0, minute = 0, second = 0;
    if (blank != std::string_view::npos) {
        const auto time = numbers(timePart, ":");
        if (!time || time->size() < 2 || time->size() > 3)
            return std::nullopt;
        hour = (*time)[0];
        minute = (*time)[1];
        second = time->size() == 3 ? (*time)[2] : 0;
    }
    if (!isValidDate(year, month, day) || !isValidTime(hour, minute, second))
        return std::nullopt;
    return Timestamp::fromParts(year, month, day, hour, minute, second);
}

std::optional<std::string> unquoteLiteral(std::string_view text) {
    if (text.empty() || text.front() != '\'')
        return std::string(text);
    if (text.size() < 2 || text.back() != '\'')
        return std::nullopt;
    const std::string_view inner = text.substr(1, text.size() - 2);
    std::string value;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\'') {
            if (i + 1 >= inner.size() || inner[i + 1] != '\'')
                return std::nullopt;
            ++i;
        }
        value += inner[i];
    }
    return value;
}

} // namespace edi::central
