#pragma once

#include "core/datetime.h"
#include "core/value.h"

#include <cstdint>
#include <span>
#include <string>

namespace edi::domain {

// A small deterministic generator (splitmix64): the same seed gives the same sequence on every platform,
// which the standard distributions do not promise.
class SeedRandom {
public:
    explicit SeedRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    int between(int lo, int hi); // inclusive
    bool chance(int percent);
    template <class T> const T& pick(std::span<const T> items) {
        return items[static_cast<size_t>(between(0, static_cast<int>(items.size()) - 1))];
    }

private:
    uint64_t state_;
};

// Plausible Portuguese values for synthetic rows.
struct Pessoa {
    std::string nome;
    bool feminino = false;
};

Pessoa randomPessoa(SeedRandom& r);
Pessoa randomPessoa(SeedRandom& r, bool feminino);
std::string randomEndereco(SeedRandom& r);
std::string randomTelefone(SeedRandom& r);
std::string randomObservacao(SeedRandom& r);
Bytes randomBytes(SeedRandom& r, int minSize, int maxSize);

Date addDays(Date d, int days);
Timestamp atTime(Date d, SeedRandom& r); // the day at a random office hour
int yearsBetween(Date from, Date to);
std::string mesAno(int year, int month); // "MM/YYYY"

} // namespace edi::domain
