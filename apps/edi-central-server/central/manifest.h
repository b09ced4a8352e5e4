#pragma once

#include "central/web_root.h"
#include "core/datetime.h"

#include <filesystem>
#include <string>
#include <vector>

namespace edi::central {

// One published update file. The manifest (app/manifest.txt) holds one per line, fields separated by TAB:
//
//   PUBLICADO <TAB> NOME <TAB> DESTINO <TAB> TIPO <TAB> EXEC
//   2024-03-15 14:30:05	edi.zip	/*APP*/edi.exe	1	1
//
// PUBLICADO is "yyyy-mm-dd hh:nn:ss", NOME the bare name of the file in app/, DESTINO the unit's destination path
// ("/*APP*/" stands for its program folder), TIPO "1" for a ZIP archive to unpack, EXEC "1" to start DESTINO after
// installing. Blank lines and lines starting with "#" are ignored.
struct Publication {
    Timestamp publicado;
    std::string nome;
    std::string destino;
    std::string tipo;
    std::string exec;
};

// The manifest's publications, in file order; none when the file does not exist. Throws Error naming the line of a
// malformed entry, IoError when the file cannot be read.
std::vector<Publication> readManifest(const std::filesystem::path& manifest);
void writeManifest(const std::filesystem::path& manifest, const std::vector<Publication>& publications);

// Copies `file` into app/ under its own name and lists it in the manifest, replacing an earlier publication of the
// same name. `details.nome` is ignored. Throws Error for a name or value the manifest cannot hold.
Publication publishUpdate(const WebRoot& root, const std::filesystem::path& file, Publication details);

// The publications at or after `since` whose file is present in app/, oldest first. Moments have a resolution of one
// second: a file published in the second a unit stamped its last update is offered again rather than missed.
// Publications whose file is missing are left out and their names added to `missing`, when given.
std::vector<Publication> publishedSince(const WebRoot& root, const Timestamp& since,
                                        std::vector<std::string>* missing = nullptr);

} // namespace edi::central
