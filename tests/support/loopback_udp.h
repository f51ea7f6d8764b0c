// UDP sockets on loopback for tests: bound senders, free ports, one datagram.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>

namespace testsupport {

inline const uint32_t kLoopback = htonl(INADDR_LOOPBACK);  // as a socket address holds it

inline uint16_t PortOf(SOCKET s)
{
    sockaddr_in address{};
    int length = static_cast<int>(sizeof address);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR) {
        return 0;
    }
    return ntohs(address.sin_port);
}

// A datagram socket bound to `address` (socket-address byte order) and
// `port` (0: the system chooses), or INVALID_SOCKET.
inline SOCKET BoundUdpSocket(uint32_t address, uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (s != INVALID_SOCKET &&
        bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Opening a transport on port 0 is refused, so let the system pick a port
// and free it again.
inline uint16_t FreeLoopbackPort()
{
    SOCKET probe = BoundUdpSocket(kLoopback, 0);
    const uint16_t port = PortOf(probe);
    closesocket(probe);
    return port;
}

// Sends one datagram to `port` on loopback; the bytes sent, or SOCKET_ERROR.
inline int SendToLoopback(SOCKET sender, uint16_t port, const std::string& payload)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = kLoopback;
    return sendto(sender, payload.data(), static_cast<int>(payload.size()), 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

}  // namespace testsupport
