#pragma once

#include <filesystem>
#include <string>

// Sentences that several layers say to a person, in one place each. The program speaks Portuguese only, so
// the texts are written here in Portuguese; a library's own text (the engine's, the HTTP library's, the
// system's) is appended unchanged after the sentence that says what the program was doing.
namespace edi::msg {

// "sentence: cause", or just the sentence when the cause is empty.
inline std::string withCause(const std::string& sentence, const std::string& cause) {
    return cause.empty() ? sentence : sentence + ": " + cause;
}

inline std::string cannotCreate(const std::filesystem::path& p) {
    return "Não foi possível criar " + p.string();
}
inline std::string cannotOpen(const std::filesystem::path& p) {
    return "Não foi possível abrir " + p.string();
}
inline std::string cannotRead(const std::filesystem::path& p) {
    return "Não foi possível ler " + p.string();
}
inline std::string cannotWrite(const std::filesystem::path& p) {
    return "Não foi possível gravar " + p.string();
}
inline std::string cannotCreateFolder(const std::filesystem::path& p) {
    return "Não foi possível criar a pasta " + p.string();
}
inline std::string cannotMove(const std::filesystem::path& from, const std::filesystem::path& to) {
    return "Não foi possível mover " + from.string() + " para " + to.string();
}

inline std::string notANumber(const std::string& text) {
    return "'" + text + "' não é um número válido";
}
inline std::string outOfRange(const std::string& what) {
    return what + " está fora da faixa aceita";
}

} // namespace edi::msg
