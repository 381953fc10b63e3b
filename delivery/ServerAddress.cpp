#include "delivery/ServerAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sstream>

namespace Delivery {

namespace {

// The interface of the default IPv4 route with the lowest metric.
std::string defaultRouteInterface()
{
    std::ifstream routes("/proc/net/route");
    std::string line, best;
    long bestMetric = -1;
    std::getline(routes, line); // the column names
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, mask;
        unsigned long flags = 0;
        long refs = 0, use = 0, metric = 0;
        if (!(fields >> iface >> destination >> gateway >> std::hex >> flags >> std::dec >> refs >> use >> metric >> mask))
            continue;
        if (destination != "00000000" || mask != "00000000" || !(flags & RTF_UP))
            continue;
        if (bestMetric < 0 || metric < bestMetric) {
            best = iface;
            bestMetric = metric;
        }
    }
    return best;
}

} // namespace

bool defaultRouteAddress(std::string& address, std::string* error)
{
    const std::string iface = defaultRouteInterface();
    if (iface.empty()) {
        if (error)
            *error = "this machine has no default route; name the address to serve on with --address";
        return false;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error)
            *error = std::string("cannot list the network interfaces: ") + std::strerror(errno);
        return false;
    }
    address.clear();
    for (const ifaddrs* entry = list; entry && address.empty(); entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || iface != entry->ifa_name)
            continue;
        char text[INET_ADDRSTRLEN] = "";
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            address = text;
    }
    ::freeifaddrs(list);
    if (address.empty() && error)
        *error = "the default route's interface " + iface + " has no IPv4 address; name one with --address";
    return !address.empty();
}

bool resolveListenAddress(const std::string& given, uint16_t port, ListenAddress& out, std::string* error)
{
    std::string address = given;
    if (address.empty() && !defaultRouteAddress(address, error))
        return false;
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    out = ListenAddress();
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out.socket);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.socket);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        out.length = sizeof(sockaddr_in);
        out.urlHost = address;
        if (v4->sin_addr.s_addr == htonl(INADDR_ANY) && !defaultRouteAddress(out.urlHost, error))
            return false;
        return true;
    }
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        out.length = sizeof(sockaddr_in6);
        out.ipv6 = true;
        out.urlHost = "[" + address + "]";
        if (IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr) && !defaultRouteAddress(out.urlHost, error))
            return false;
        return true;
    }
    if (error)
        *error = "\"" + given + "\" is not an IPv4 or IPv6 address";
    return false;
}

} // namespace Delivery
