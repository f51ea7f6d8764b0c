// Lets a test make the transport's receive fail or serve datagrams of its
// own, and its buffer requests be refused.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

// While not 0, every receive fails with this Winsock error.
extern std::atomic<int> gReceiveFailure;
// How many receives failed that way.
extern std::atomic<int> gFailedReceives;
// While above 0, a receive takes one and returns "synthetic" from
// 127.0.0.1:5140 without reading the socket.
extern std::atomic<int> gSyntheticDatagrams;
inline constexpr char kSyntheticText[] = "synthetic";
// While not 0, a request for a larger receive buffer is refused.
extern std::atomic<int> gLargestReceiveBuffer;

// The buffer sizes asked for, in order, refused or not.
std::vector<int> ReceiveBufferRequests();
void ForgetReceiveBufferRequests();
