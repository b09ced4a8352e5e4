#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr;

namespace edi::platform {

// The computer's network name: the host name without its domain, at most 15 characters; empty on failure.
std::string NomeDoComputador();

// True when an interface other than loopback is up and running with a routable address.
bool networkConnected();
// One interface's part of that test; `address` may be null.
bool isConnectedInterface(unsigned int flags, const sockaddr* address);

struct MemoryFigures {
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
};

// The machine's physical memory; nullopt when the system does not tell.
std::optional<MemoryFigures> physicalMemory();
// Reads the figures from the text of /proc/meminfo; nullopt when it lacks the total.
std::optional<MemoryFigures> parseMeminfo(std::string_view text);

} // namespace edi::platform
