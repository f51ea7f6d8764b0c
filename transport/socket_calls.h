// The socket calls of the UDP server transport that a test may make fail.
#pragma once

#include <winsock2.h>

// recvfrom of one datagram into `buffer`, with its sender: the bytes taken,
// or SOCKET_ERROR with the reason in WSAGetLastError. Its own translation
// unit, so that a test can make it fail at link time.
int ReceiveDatagram(SOCKET s, char* buffer, int size, sockaddr_in* sender);

// Asks for a receive buffer of `bytes`; false when the system refused. The
// system may grant less than asked without refusing.
bool RequestReceiveBuffer(SOCKET s, int bytes);
