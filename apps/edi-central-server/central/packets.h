#pragma once

#include "central/manifest.h"
#include "central/store.h"

#include <string>
#include <vector>

namespace edi::central {

// The list answers, as data packets in the plain variant the units' exporter writes.

// Field 0 the delivery's identifier, field 1 the file's path in the server's notation (units read them by position).
std::string waitingFilesPacket(const std::vector<Delivery>& waiting);
// NOME (path in the server's notation), DESTINO, TIPO, EXEC.
std::string updatesPacket(const std::vector<Publication>& publications);
// UNIDADE and VERSAO; a unit whose version was never told gets `defaultVersion`.
std::string unitsPacket(const std::vector<UnitRecord>& units, const std::string& defaultVersion);

} // namespace edi::central
