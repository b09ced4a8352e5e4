#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace edi::transport {

// Why an exchange with the central server failed, in words for the message panel.
struct Falha {
    std::string texto;
};

// What a request or a transfer gave: its value, or the Falha saying why not. A failure is an ordinary outcome
// of talking to a server, so it is returned, not thrown; `Resultado<>` carries no value.
template <typename T = std::monostate> class Resultado {
public:
    Resultado() requires std::is_same_v<T, std::monostate> : valor_(T{}) {}
    Resultado(T valor) : valor_(std::move(valor)) {}
    Resultado(Falha falha) : erro_(std::move(falha.texto)) {}

    bool has_value() const { return valor_.has_value(); }
    explicit operator bool() const { return has_value(); }
    const T& value() const { return valor_.value(); }
    const T& operator*() const { return *valor_; }
    const T* operator->() const { return &*valor_; }
    T value_or(T outro) const { return valor_.value_or(std::move(outro)); }
    // Empty on success.
    const std::string& error() const { return erro_; }

private:
    std::optional<T> valor_;
    std::string erro_;
};

} // namespace edi::transport
