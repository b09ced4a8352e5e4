#pragma once

// Who may call the central server and for which unit: password hashes, the shared account, the SQL console.
// Knows no database: accounts come through a lookup function, so any store can back it.

#include "central/store.h"

#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>

namespace edi::central {

inline constexpr int kIteracoesPadrao = 100000;

// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", with a fresh random salt.
std::string hashDeSenha(const std::string& senha, int iteracoes = kIteracoesPadrao);
// False also for a hash text this server cannot read.
bool senhaConfere(const std::string& senha, const std::string& hashSenha);

// Who made a request.
struct Chamador {
    std::string login;
    std::optional<int> unidade; // the account's unit; none for the shared account and for accounts of no unit
    bool compartilhada = false;
    bool operador = false;
};

// A request refused: HTTP status and the text for the answer.
struct Recusa {
    int status;
    std::string texto;
};

struct RegrasDeAcesso {
    std::string loginCompartilhado = "quelmar";
    std::string senhaCompartilhada = "dorven";
    bool contaCompartilhada = true;    // old installations all use the shared account
    bool consolaCompartilhada = false; // the shared account may use the SQL console
};

class PoliticaDeAcesso {
public:
    using BuscaConta = std::function<std::optional<Conta>(const std::string& login)>;

    PoliticaDeAcesso(RegrasDeAcesso regras, BuscaConta busca);

    // The caller with these Basic credentials, or 401 (unknown, wrong password) or 403 (shared account turned off).
    std::variant<Chamador, Recusa> autentica(const std::string& login, const std::string& senha) const;
    // None when `chamador` may act for `unidade`; an account bound to a unit acts for that unit only.
    std::optional<Recusa> agePor(const Chamador& chamador, int unidade) const;
    std::optional<Recusa> usaConsola(const Chamador& chamador) const;
    // The network page shows every unit: for those that read everything.
    static std::optional<Recusa> veRede(const Chamador& chamador);
    // Registering or summarising an uploaded file passes it off as the caller's unit's: not a file another unit
    // sent (`dono`, the unit that owns the upload).
    static std::optional<Recusa> usaEnvio(const Chamador& chamador, const std::string& nome, std::optional<int> dono);
    // Whether it may read any uploaded file; the others only what waits for their unit.
    static bool leTudo(const Chamador& chamador) { return chamador.compartilhada || chamador.operador; }
    // The unit that owns what it uploads; none for those that read everything, which replace any upload.
    static std::optional<int> donoDoEnvio(const Chamador& chamador) {
        return leTudo(chamador) ? std::nullopt : chamador.unidade;
    }

private:
    bool verificada(const std::string& senha, const std::string& hashSenha) const;

    RegrasDeAcesso regras_;
    BuscaConta busca_;
    // Digests of passwords already verified against a hash: the slow hash is paid once per password, not per
    // request. A changed hash misses the cache.
    mutable std::mutex mutex_;
    mutable std::set<std::string> verificadas_;
};

} // namespace edi::central
