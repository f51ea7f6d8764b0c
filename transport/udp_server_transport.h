// Listens on one UDP port and keeps a table of the senders it has heard from.
#pragma once

// First, so that the Winsock 2 declarations are the ones in force.
#include <winsock2.h>

#include "runtime/kestrum_critical_section.h"
#include "transport/abstract_transport.h"

#include <atomic>
#include <cstdint>

inline constexpr uint32_t kMaxDatagramBytes = 1024;
inline constexpr uint32_t kDefaultClientTimeoutMs = 120000;
inline constexpr uint16_t kDefaultPort = 9422;
// At most this many datagrams leave the socket in one worker turn.
inline constexpr uint32_t kMaxDatagramsPerTurn = 1024;

// One sender. A slot is free while its address and port are both 0, and in
// use otherwise.
struct ClientSlot {
    uint32_t address;   // as the received socket address carries it
    uint16_t port;      // host byte order
    uint32_t lastSeen;  // TickCount when added or last heard
};

// A table of `count` free slots from malloc, or null. Its own translation
// unit, so that a test can make it fail at link time.
ClientSlot* AllocateClientTable(uint16_t count);

// Why the last Open failed.
enum class OpenFailure {
    None,
    Winsock,    // WSAStartup failed; openError holds its result
    Arguments,  // port 0 or no slots
    NoTable,    // no memory for the sender table
    NoThread,   // the worker thread did not start; openError holds GetLastError
};

class CUDPServerTransport : public CAbstractTransport {
public:
    CUDPServerTransport(uint32_t transportId, CAbstractDevice* owner);
    ~CUDPServerTransport() override;

    bool Open(uint32_t first, uint32_t second, uint32_t portArgument, uint32_t slotsArgument,
              uint32_t fifth, uint32_t sixth, uint32_t seventh) override;
    bool Connect() override;
    void Disconnect() override;
    bool SendAll(const char* data, uint32_t length) override;
    bool Send(uint16_t client, const char* data, uint32_t length) override;
    bool Process() override;
    void Reserved1(uint32_t first, uint32_t second) override;
    void Reserved2(uint32_t value) override;
    void Reserved3() override;
    void SetTimeout(uint32_t milliseconds) override;
    void OnThreadStart() override;

    // Winsock error of the last failed socket set-up; 0 after a good Connect.
    int LastSocketError() const;
    // Winsock error that made a socket fail for good, once a new socket
    // listens; each such failure is taken once, and 0 means none.
    int TakeReceiveError();

    // Steps of a worker turn, public so that tests can drive the table.
    uint16_t FindOrAddClient(uint32_t senderAddress, uint16_t senderPort);
    uint16_t AddClient(uint32_t senderAddress, uint16_t senderPort);
    void ExpireClients();
    void RemoveClient(uint16_t client);
    void CloseAll();

    // Silent for longer than `timeoutMs`, counted in wrapping 32-bit ticks.
    static bool IsExpired(uint32_t lastSeen, uint32_t timeoutMs, uint32_t now);

    uint16_t slotCount;
    uint32_t clientTimeout;
    ClientSlot* clients;
    SOCKET socketHandle;
    sockaddr_in localAddress;
    char receiveBuffer[kMaxDatagramBytes];
    uint16_t port;
    // Guards the table, slotCount, clientTimeout, port and every write of
    // socketHandle; never held while the owner is called.
    CKestrumCriticalSection* tableLock;
    std::atomic<int> lastSocketError;
    // Published by the Connect that listens again after a failed receive.
    std::atomic<int> lastReceiveError;
    // Worker thread only: why the last socket failed, until a Connect succeeds.
    int receiveFailure;
    // Written by Open, for its caller to read when it failed.
    OpenFailure openFailure;
    int openError;

private:
    // Lost: a receive failed for the moment; its datagram is dropped and the
    // turn goes on.
    enum class ReceiveResult { Failed, Nothing, Taken, Lost };
    ReceiveResult ReceiveOne(long waitMicroseconds);
    ReceiveResult FailReceive(int error);
    bool FailOpen(OpenFailure failure, int error);
    bool FailConnect(int error);
    void AskForReceiveBuffer();
    uint16_t ClearNextClient(uint32_t from, bool expiredOnly);
    bool SendToSlot(const ClientSlot& slot, const char* data, uint32_t length, bool* failed,
                    bool* peerGone);
    void AnnounceConnection(const ClientRef* client);
    void AnnounceDisconnection(const ClientRef* client);
    void OfferDatagram(uint16_t client, int32_t count);
};
