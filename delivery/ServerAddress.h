#pragma once
// Where the over-the-air server listens and how phones reach it.

#include <cstdint>
#include <string>
#include <sys/socket.h>

namespace Delivery {

// The IPv4 address of the interface that holds the default route (the
// Wi-Fi or wired network a phone shares with this machine). False with a
// reason when there is no such route or it has no address.
bool defaultRouteAddress(std::string& address, std::string* error);

struct ListenAddress {
    sockaddr_storage socket{};
    socklen_t length = 0;
    bool ipv6 = false;
    // How a URL names it: "192.168.1.5" or "[fe80::1]". For a wildcard
    // (0.0.0.0 or ::) the default route's address, which phones can reach.
    std::string urlHost;
};

// `address` (a literal IPv4 or IPv6 address, empty for the default route's)
// with `port`; false with a clear reason for anything else.
bool resolveListenAddress(const std::string& address, uint16_t port, ListenAddress& out, std::string* error);

} // namespace Delivery
