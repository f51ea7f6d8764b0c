// Lets a test make the transport's receive fail and its buffer requests be refused.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

// While not 0, every receive fails with this Winsock error.
extern std::atomic<int> gReceiveFailure;
// How many receives failed that way.
extern std::atomic<int> gFailedReceives;
// While not 0, a request for a larger receive buffer is refused.
extern std::atomic<int> gLargestReceiveBuffer;

// The buffer sizes asked for, in order, refused or not.
std::vector<int> ReceiveBufferRequests();
void ForgetReceiveBufferRequests();
