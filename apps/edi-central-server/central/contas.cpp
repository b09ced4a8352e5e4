#include "central/contas.h"

#include "core/errors.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <vector>

namespace edi::central {

namespace {

constexpr const char* kEsquema = "pbkdf2-sha256";
constexpr std::size_t kBytesDoHash = 32;
constexpr std::size_t kCacheMaximo = 10000;

std::string hex(const unsigned char* data, std::size_t size) {
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::optional<std::vector<unsigned char>> fromHex(std::string_view text) {
    if (text.empty() || text.size() % 2)
        return std::nullopt;
    std::vector<unsigned char> out(text.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto [ptr, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, out[i], 16);
        if (ec != std::errc() || ptr != text.data() + 2 * i + 2)
            return std::nullopt;
    }
    return out;
}

std::vector<unsigned char> pbkdf2(const std::string& senha, const std::vector<unsigned char>& sal, int iteracoes,
                                  std::size_t bytes) {
    std::vector<unsigned char> out(bytes);
    if (PKCS5_PBKDF2_HMAC(senha.data(), static_cast<int>(senha.size()), sal.data(), static_cast<int>(sal.size()),
                          iteracoes, EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
        throw Error("Não foi possível calcular o hash da senha");
    return out;
}

std::string sha256(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw Error("Não foi possível calcular o resumo da senha");
    return std::string(reinterpret_cast<const char*>(digest), size);
}

std::vector<std::string_view> campos(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('$', start);
        out.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

Recusa recusaProibido(std::string texto) {
    return Recusa{403, std::move(texto)};
}

} // namespace

std::string hashDeSenha(const std::string& senha, int iteracoes) {
    std::vector<unsigned char> sal(16);
    if (RAND_bytes(sal.data(), static_cast<int>(sal.size())) != 1)
        throw Error("Não foi possível gerar o sal da senha");
    const auto hash = pbkdf2(senha, sal, iteracoes, kBytesDoHash);
    return std::string(kEsquema) + "$" + std::to_string(iteracoes) + "$" + hex(sal.data(), sal.size()) + "$" +
           hex(hash.data(), hash.size());
}

bool senhaConfere(const std::string& senha, const std::string& hashSenha) {
    const auto partes = campos(hashSenha);
    if (partes.size() != 4 || partes[0] != kEsquema)
        return false;
    int iteracoes = 0;
    const auto [ptr, ec] = std::from_chars(partes[1].data(), partes[1].data() + partes[1].size(), iteracoes);
    const auto sal = fromHex(partes[2]);
    const auto esperado = fromHex(partes[3]);
    if (ec != std::errc() || ptr != partes[1].data() + partes[1].size() || iteracoes <= 0 || !sal || !esperado)
        return false;
    const auto calculado = pbkdf2(senha, *sal, iteracoes, esperado->size());
    return CRYPTO_memcmp(calculado.data(), esperado->data(), calculado.size()) == 0;
}

PoliticaDeAcesso::PoliticaDeAcesso(RegrasDeAcesso regras, BuscaConta busca)
    : regras_(std::move(regras)), busca_(std::move(busca)) {}

bool PoliticaDeAcesso::verificada(const std::string& senha, const std::string& hashSenha) const {
    const std::string chave = sha256(hashSenha + '\n' + senha);
    {
        std::lock_guard lock(mutex_);
        if (verificadas_.count(chave))
            return true;
    }
    if (!senhaConfere(senha, hashSenha))
        return false;
    std::lock_guard lock(mutex_);
    if (verificadas_.size() >= kCacheMaximo)
        verificadas_.clear();
    verificadas_.insert(chave);
    return true;
}

std::variant<Chamador, Recusa> PoliticaDeAcesso::autentica(const std::string& login, const std::string& senha) const {
    const Recusa naoAutenticado{401, "autenticação necessária"};
    // An account of the server's own takes the login over from the shared account.
    if (const auto conta = busca_(login)) {
        if (!verificada(senha, conta->hashSenha))
            return naoAutenticado;
        return Chamador{conta->login, conta->unidade, false, conta->operador};
    }
    if (login != regras_.loginCompartilhado || senha != regras_.senhaCompartilhada)
        return naoAutenticado;
    if (!regras_.contaCompartilhada)
        return recusaProibido("a conta compartilhada está desativada neste servidor: use a conta da sua unidade "
                              "([EDI] Login e Senha do jaq.ini)");
    return Chamador{login, std::nullopt, true, false};
}

std::optional<Recusa> PoliticaDeAcesso::agePor(const Chamador& chamador, int unidade) const {
    if (chamador.compartilhada || chamador.unidade == unidade)
        return std::nullopt;
    if (!chamador.unidade)
        return recusaProibido("a conta " + chamador.login + " não pertence a nenhuma unidade");
    return recusaProibido("a conta " + chamador.login + " é da unidade " + std::to_string(*chamador.unidade) +
                          " e não pode agir pela unidade " + std::to_string(unidade));
}

std::optional<Recusa> PoliticaDeAcesso::usaConsola(const Chamador& chamador) const {
    if (chamador.operador || (chamador.compartilhada && regras_.consolaCompartilhada))
        return std::nullopt;
    return recusaProibido("a consola SQL é só para contas de operador; a conta " + chamador.login + " não é");
}

std::optional<Recusa> PoliticaDeAcesso::veRede(const Chamador& chamador) {
    if (leTudo(chamador))
        return std::nullopt;
    return recusaProibido("a página da rede é só para operadores e a conta compartilhada; a conta " + chamador.login +
                          " não é");
}

std::optional<Recusa> PoliticaDeAcesso::usaEnvio(const Chamador& chamador, const std::string& nome,
                                                 std::optional<int> dono) {
    const auto unidade = donoDoEnvio(chamador);
    if (!unidade || !dono || *dono == *unidade)
        return std::nullopt;
    return recusaProibido("o arquivo " + nome + " foi enviado pela unidade " + std::to_string(*dono) + " e a conta " +
                          chamador.login + " não pode registrá-lo");
}

} // namespace edi::central
