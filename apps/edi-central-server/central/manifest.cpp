#include "central/manifest.h"

#include "central/moment.h"
#include "core/errors.h"
#include "core/files.h"

#include <algorithm>
#include <sstream>

namespace edi::central {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

Publication parseLine(const std::string& line, const fs::path& manifest, int lineNumber) {
    const auto fail = [&](const std::string& why) {
        return Error(manifest.string() + " linha " + std::to_string(lineNumber) + ": " + why);
    };
    const std::vector<std::string> fields = splitTabs(line);
    if (fields.size() != 5)
        throw fail("esperados 5 campos separados por TAB (PUBLICADO, NOME, DESTINO, TIPO, EXEC), encontrados " +
                   std::to_string(fields.size()));
    const auto moment = parseMoment(fields[0]);
    if (!moment)
        throw fail("PUBLICADO \"" + fields[0] + "\" não é um momento aaaa-mm-dd hh:nn:ss");
    if (!isBareFileName(fields[1]))
        throw fail("NOME \"" + fields[1] + "\" não é um nome de arquivo simples");
    return Publication{*moment, fields[1], fields[2], fields[3], fields[4]};
}

void checkStorable(const std::string& what, const std::string& value) {
    if (value.find_first_of("\t\r\n") != std::string::npos)
        throw Error(what + " não pode conter TAB nem quebra de linha");
}

} // namespace

std::vector<Publication> readManifest(const fs::path& manifest) {
    std::error_code ec;
    if (!fs::exists(manifest, ec))
        return {};
    std::istringstream in(readFile(manifest));
    std::vector<Publication> publications;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line.front() == '#')
            continue;
        publications.push_back(parseLine(line, manifest, lineNumber));
    }
    return publications;
}

void writeManifest(const fs::path& manifest, const std::vector<Publication>& publications) {
    std::string text = "# PUBLICADO\tNOME\tDESTINO\tTIPO\tEXEC\n";
    for (const Publication& p : publications)
        text += formatMoment(p.publicado) + '\t' + p.nome + '\t' + p.destino + '\t' + p.tipo + '\t' + p.exec + '\n';
    writeFileAtomically(manifest, text);
}

Publication publishUpdate(const WebRoot& root, const fs::path& file, Publication details) {
    details.nome = file.filename().string();
    if (!isBareFileName(details.nome) || details.nome == WebRoot::kManifestName)
        throw Error("Não é possível publicar um arquivo chamado \"" + details.nome + "\"");
    checkStorable("DESTINO", details.destino);
    checkStorable("TIPO", details.tipo);
    checkStorable("EXEC", details.exec);
    if (details.destino.empty())
        throw Error("DESTINO está vazio: indique o caminho de destino na unidade");

    root.prepare();
    writeFileAtomically(root.updates() / details.nome, readFile(file));
    std::vector<Publication> publications = readManifest(root.manifest());
    std::erase_if(publications, [&](const Publication& p) { return p.nome == details.nome; });
    publications.push_back(details);
    writeManifest(root.manifest(), publications);
    return details;
}

std::vector<Publication> publishedSince(const WebRoot& root, const Timestamp& since,
                                        std::vector<std::string>* missing) {
    std::vector<Publication> result;
    for (Publication& p : readManifest(root.manifest())) {
        if (p.publicado < since)
            continue;
        std::error_code ec;
        if (fs::is_regular_file(root.updates() / p.nome, ec))
            result.push_back(std::move(p));
        else if (missing)
            missing->push_back(p.nome);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Publication& a, const Publication& b) { return a.publicado < b.publicado; });
    return result;
}

} // namespace edi::central
