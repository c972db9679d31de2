#include <cstdlib>

#include "sim/clsersim/socket_channel.h"
#include "sim/clsersim/socket_system.h"

namespace clsersim {

bool SocketChannel::parseAddress(const std::string& address, std::string& host, uint16_t& port) {
    const size_t colon = address.rfind(':');
    host = colon == std::string::npos ? "127.0.0.1" : address.substr(0, colon);
    const std::string digits = colon == std::string::npos ? address : address.substr(colon + 1);
    if (host.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::strtoul(digits.c_str(), nullptr, 10);
    if (value == 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

bool SocketChannel::open(const std::string& address) {
    close();
    std::string host;
    uint16_t port = 0;
    if (!parseAddress(address, host, port) || !socketsReady())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    for (addrinfo* place = found; place && fd_ < 0; place = place->ai_next)
        fd_ = connectPlace(*place);
    ::freeaddrinfo(found);
    return fd_ >= 0;
}

}  // namespace clsersim
