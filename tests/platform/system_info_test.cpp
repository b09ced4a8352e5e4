#include "platform/system_info.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace edi::platform {
namespace {

TEST(SystemInfo, ComputerNameIsTheShortHostNameCutTo15Characters) {
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    std::string expected = names.nodename;
    expected = expected.substr(0, expected.find('.')).substr(0, 15);
    EXPECT_EQ(NomeDoComputador(), expected);
    EXPECT_FALSE(expected.empty());
}

TEST(SystemInfo, PhysicalMemoryAgreesWithTheKernel) {
    struct sysinfo info {};
    ASSERT_EQ(::sysinfo(&info), 0);
    const auto figures = physicalMemory();
    ASSERT_TRUE(figures.has_value());
    const std::uint64_t kernelTotal = std::uint64_t{info.totalram} * info.mem_unit;
    // /proc/meminfo counts in kB: the two may differ by the rounding of one kilobyte.
    EXPECT_NEAR(static_cast<double>(figures->totalBytes), static_cast<double>(kernelTotal), 1024.0);
    EXPECT_GT(figures->availableBytes, 0u);
    EXPECT_LE(figures->availableBytes, figures->totalBytes);
}

TEST(SystemInfo, MeminfoWithoutAvailableFallsBackToFreeAndCaches) {
    const auto figures = parseMeminfo("MemTotal:        2048 kB\nMemFree:          100 kB\nBuffers:           20 kB\n"
                                      "Cached:            30 kB\nSwapCached:        99 kB\n");
    ASSERT_TRUE(figures.has_value());
    EXPECT_EQ(figures->totalBytes, 2048u * 1024);
    EXPECT_EQ(figures->availableBytes, 150u * 1024);
    EXPECT_EQ(parseMeminfo("MemFree: 100 kB\n"), std::nullopt);
}

sockaddr_storage v4(const char* text) {
    sockaddr_storage storage{};
    auto& a = reinterpret_cast<sockaddr_in&>(storage);
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, text, &a.sin_addr);
    return storage;
}

sockaddr_storage v6(const char* text) {
    sockaddr_storage storage{};
    auto& a = reinterpret_cast<sockaddr_in6&>(storage);
    a.sin6_family = AF_INET6;
    ::inet_pton(AF_INET6, text, &a.sin6_addr);
    return storage;
}

const sockaddr* asAddress(const sockaddr_storage& s) {
    return reinterpret_cast<const sockaddr*>(&s);
}

TEST(SystemInfo, OnlyARunningNonLoopbackInterfaceWithARoutableAddressCounts) {
    const unsigned up = IFF_UP | IFF_RUNNING;
    const auto lan = v4("192.168.0.10"), loop = v4("127.0.0.1"), autoconf = v4("169.254.3.4");
    const auto global6 = v6("2001:db8::1"), link6 = v6("fe80::1");
    EXPECT_TRUE(isConnectedInterface(up, asAddress(lan)));
    EXPECT_TRUE(isConnectedInterface(up, asAddress(global6)));
    EXPECT_FALSE(isConnectedInterface(up | IFF_LOOPBACK, asAddress(loop)));
    EXPECT_FALSE(isConnectedInterface(IFF_UP, asAddress(lan))) << "no carrier";
    EXPECT_FALSE(isConnectedInterface(IFF_RUNNING, asAddress(lan))) << "switched off";
    EXPECT_FALSE(isConnectedInterface(up, asAddress(autoconf)));
    EXPECT_FALSE(isConnectedInterface(up, asAddress(link6)));
    EXPECT_FALSE(isConnectedInterface(up, nullptr));
}

} // namespace
} // namespace edi::platform
