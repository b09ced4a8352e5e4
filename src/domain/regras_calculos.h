#pragma once

// Figures derived from a row: the exposed child's process number, and the columns shown but never stored.

#include "core/value.h"

#include <optional>
#include <string>
#include <vector>

namespace edi::domain {

// "<mother's number>-"
std::string PrefixoNrProcessoCrianca(int64_t nrProcessoMae);
// The first "<prefix><n>", n from 1, that none of the numbers already given holds exactly.
std::string ProximoNrProcessoCrianca(const std::string& prefixo, const std::vector<std::string>& existentes);

// "SIM" for 1, "NÃO" for 0 or empty, nothing otherwise.
std::string SimNao(const Value& flag);

// The CD4 figures of a laboratory result; empty when their divisor is not positive.
struct FigurasCd4 {
    std::optional<double> prcd4, prcd8, rcd4cd8;
};
FigurasCd4 CalculaCd4(const Value& cd3, const Value& cd4, const Value& cd8);

} // namespace edi::domain
