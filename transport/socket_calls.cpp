// The socket calls of the UDP server transport that a test may make fail.
#include "transport/socket_calls.h"

int ReceiveDatagram(SOCKET s, char* buffer, int size, sockaddr_in* sender)
{
    int senderLength = static_cast<int>(sizeof *sender);
    return recvfrom(s, buffer, size, 0, reinterpret_cast<sockaddr*>(sender), &senderLength);
}

bool RequestReceiveBuffer(SOCKET s, int bytes)
{
    return setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                      static_cast<int>(sizeof bytes)) == 0;
}
