#include "platform/system_info.h"

#include "core/errors.h"
#include "core/files.h"
#include "core/formats.h"

#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

namespace edi::platform {

namespace {

constexpr std::size_t kComputerNameLength = 15;

bool isLinkLocal(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        return (ntohl(v4.sin_addr.s_addr) >> 16) == 0xA9FE; // 169.254.0.0/16
    }
    sockaddr_in6 v6{};
    std::memcpy(&v6, address, sizeof v6);
    return v6.sin6_addr.s6_addr[0] == 0xFE && (v6.sin6_addr.s6_addr[1] & 0xC0) == 0x80; // fe80::/10
}

// "MemTotal:       16318340 kB" -> bytes, for the line that starts with `name`.
std::optional<std::uint64_t> meminfoField(std::string_view text, std::string_view name) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != ':')
            continue;
        std::string_view number = line.substr(name.size() + 1);
        const bool inKilobytes = number.size() >= 2 && number.substr(number.size() - 2) == "kB";
        if (inKilobytes)
            number.remove_suffix(2);
        const auto value = formats::parseInteger(number);
        if (!value || *value < 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(*value) * (inKilobytes ? 1024 : 1);
    }
    return std::nullopt;
}

} // namespace

std::string NomeDoComputador() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    std::string name(buffer);
    name = name.substr(0, name.find('.'));
    return name.substr(0, kComputerNameLength);
}

bool isConnectedInterface(unsigned int flags, const sockaddr* address) {
    if ((flags & IFF_LOOPBACK) || !(flags & IFF_UP) || !(flags & IFF_RUNNING) || !address)
        return false;
    if (address->sa_family != AF_INET && address->sa_family != AF_INET6)
        return false;
    return !isLinkLocal(address);
}

bool networkConnected() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool connected = false;
    for (const ifaddrs* i = list; i && !connected; i = i->ifa_next)
        connected = isConnectedInterface(i->ifa_flags, i->ifa_addr);
    ::freeifaddrs(list);
    return connected;
}

std::optional<MemoryFigures> parseMeminfo(std::string_view text) {
    const auto total = meminfoField(text, "MemTotal");
    if (!total)
        return std::nullopt;
    MemoryFigures figures;
    figures.totalBytes = *total;
    if (const auto available = meminfoField(text, "MemAvailable")) {
        figures.availableBytes = *available;
    } else {
        // Kernels before 3.14: free memory plus what the caches would give back.
        for (const char* name : {"MemFree", "Buffers", "Cached"})
            figures.availableBytes += meminfoField(text, name).value_or(0);
    }
    return figures;
}

std::optional<MemoryFigures> physicalMemory() {
    try {
        return parseMeminfo(readFile("/proc/meminfo"));
    } catch (const Error&) {
        return std::nullopt;
    }
}

} // namespace edi::platform
