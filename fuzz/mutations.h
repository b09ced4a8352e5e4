#pragma once
// Deterministic mutations of a seed input for the replay tests: cut short, bytes replaced by specials or noise,
// spans deleted and duplicated, and a splice with another seed.
#include <random>
#include <string>
#include <vector>

namespace edi::fuzz {

inline std::vector<std::string> mutationsOf(const std::string& seed, const std::string& other, std::mt19937& rng,
                                            int replaced = 96, int mostBytesPerChange = 1) {
    std::vector<std::string> out;
    const auto at = [&](size_t bound) { return bound ? std::uniform_int_distribution<size_t>(0, bound - 1)(rng) : 0; };
    for (size_t k = 1; k < 8; ++k)
        out.push_back(seed.substr(0, seed.size() * k / 8));
    static const char specials[] = {'<', '>', '"', '\'', '&', '/', '=', ';', '#', '\0', '\r', '\x80', '\xC3', '\xFF'};
    for (int k = 0; k < replaced && !seed.empty(); ++k) {
        std::string m = seed;
        for (int n = 0; n <= k % mostBytesPerChange; ++n)
            m[at(m.size())] = k % 3 ? specials[at(sizeof specials)] : static_cast<char>(at(256));
        out.push_back(std::move(m));
    }
    for (int k = 0; k < 6 && !seed.empty(); ++k) {
        std::string m = seed;
        const size_t from = at(m.size());
        m.erase(from, at(64) + 1);
        out.push_back(std::move(m));
        std::string d = seed;
        const size_t start = at(d.size());
        d.insert(at(d.size()), d.substr(start, at(200) + 1));
        out.push_back(std::move(d));
    }
    out.push_back(seed.substr(0, seed.size() / 2) + other.substr(other.size() / 2));
    return out;
}

} // namespace edi::fuzz
