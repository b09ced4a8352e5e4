#include "transport/estado_update.h"

#include "core/errors.h"
#include "core/files.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace edi {

namespace fs = std::filesystem;

namespace {

// One line per row, fields apart by tabs: the few bytes that would break a line or a field are %-escaped.
std::string escapa(const std::string& texto) {
    std::string out;
    for (const char c : texto) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            static constexpr char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[static_cast<unsigned char>(c) >> 4];
            out += hex[static_cast<unsigned char>(c) & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string desescapa(const std::string& texto) {
    std::string out;
    for (size_t i = 0; i < texto.size(); ++i) {
        if (texto[i] == '%' && i + 2 < texto.size() && std::isxdigit(static_cast<unsigned char>(texto[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(texto[i + 2]))) {
            out += static_cast<char>(std::stoi(texto.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += texto[i];
        }
    }
    return out;
}

std::vector<std::string> campos(const std::string& linha) {
    std::vector<std::string> out;
    std::string campo;
    std::istringstream in(linha);
    while (std::getline(in, campo, '\t'))
        out.push_back(desescapa(campo));
    return out;
}

} // namespace

EstadoUpdate::EstadoUpdate(fs::path arquivo, std::string momento)
    : arquivo_(std::move(arquivo)), momento_(std::move(momento)) {
    std::error_code ec;
    if (!fs::exists(arquivo_, ec))
        return;
    std::istringstream in(readFile(arquivo_));
    std::string linha;
    if (!std::getline(in, linha) || linha != "Update=" + escapa(momento_))
        return;
    while (std::getline(in, linha)) {
        const auto c = campos(linha);
        if (c.size() != 3)
            continue;
        Linha& l = linhas_[{c[1], c[2]}];
        if (c[0] == "aplicada")
            l.aplicada = true;
        else if (c[0].rfind("falhas=", 0) == 0)
            l.falhas = std::atoi(c[0].c_str() + 7);
    }
}

bool EstadoUpdate::concluida(const std::string& nome, const std::string& destino) const {
    const auto it = linhas_.find({nome, destino});
    return it != linhas_.end() && (it->second.aplicada || it->second.falhas >= kTentativas);
}

void EstadoUpdate::aplicada(const std::string& nome, const std::string& destino) {
    linhas_[{nome, destino}].aplicada = true;
    grava();
}

bool EstadoUpdate::falhou(const std::string& nome, const std::string& destino) {
    Linha& l = linhas_[{nome, destino}];
    ++l.falhas;
    grava();
    return l.falhas >= kTentativas;
}

void EstadoUpdate::encerra() {
    linhas_.clear();
    std::error_code ec;
    fs::remove(arquivo_, ec);
}

void EstadoUpdate::grava() const {
    std::string texto = "Update=" + escapa(momento_) + "\n";
    for (const auto& [chave, l] : linhas_) {
        texto += l.aplicada ? std::string("aplicada") : "falhas=" + std::to_string(l.falhas);
        texto += '\t' + escapa(chave.first) + '\t' + escapa(chave.second) + '\n';
    }
    writeFileAtomically(arquivo_, texto);
}

} // namespace edi
