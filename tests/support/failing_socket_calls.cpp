// Link-time stand-ins for the transport's socket calls: they fail, or serve
// datagrams of their own, on request.
#include "tests/support/failing_socket_calls.h"

#include "transport/socket_calls.h"

#include <algorithm>
#include <cstring>

std::atomic<int> gReceiveFailure{0};
std::atomic<int> gFailedReceives{0};
std::atomic<int> gSyntheticDatagrams{0};
std::atomic<int> gLargestReceiveBuffer{0};

namespace {

std::mutex gRequestsLock;
std::vector<int> gRequests;

}  // namespace

std::vector<int> ReceiveBufferRequests()
{
    std::lock_guard<std::mutex> guard(gRequestsLock);
    return gRequests;
}

void ForgetReceiveBufferRequests()
{
    std::lock_guard<std::mutex> guard(gRequestsLock);
    gRequests.clear();
}

int ReceiveDatagram(SOCKET s, char* buffer, int size, sockaddr_in* sender)
{
    const int failure = gReceiveFailure.load();
    if (failure != 0) {
        ++gFailedReceives;
        WSASetLastError(failure);
        return SOCKET_ERROR;
    }
    // Only the transport's worker receives, so nobody takes one meanwhile.
    if (gSyntheticDatagrams > 0) {
        --gSyntheticDatagrams;
        const int length = std::min(size, static_cast<int>(sizeof kSyntheticText) - 1);
        memcpy(buffer, kSyntheticText, static_cast<size_t>(length));
        *sender = {};
        sender->sin_family = AF_INET;
        sender->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sender->sin_port = htons(5140);
        return length;
    }
    int senderLength = static_cast<int>(sizeof *sender);
    return recvfrom(s, buffer, size, 0, reinterpret_cast<sockaddr*>(sender), &senderLength);
}

bool RequestReceiveBuffer(SOCKET s, int bytes)
{
    {
        std::lock_guard<std::mutex> guard(gRequestsLock);
        gRequests.push_back(bytes);
    }
    const int largest = gLargestReceiveBuffer.load();
    if (largest != 0 && bytes > largest) {
        return false;
    }
    return setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                      static_cast<int>(sizeof bytes)) == 0;
}
