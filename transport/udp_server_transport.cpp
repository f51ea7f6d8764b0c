// Listens on one UDP port and keeps a table of the senders it has heard from.
#include "transport/udp_server_transport.h"

#include "runtime/scoped_lock.h"
#include "runtime/thread_name.h"
#include "runtime/tick_count.h"
#include "transport/socket_calls.h"

#include <climits>
#include <cstdlib>

// A turn that starts with nothing queued waits this long for a datagram: it
// is taken the moment it comes, and an idle receiver wakes 20 times a second
// rather than 200. Stop and disconnect requests wait at most this long.
static constexpr long kTurnWaitMicroseconds = 50 * 1000;
// A burst (a router rebooting, a host flushing its queue) must ride out a
// slow moment of the window: 32 MiB holds 100,000 datagrams of 120 bytes on
// Windows. A refused request is halved down to the Windows default, below
// which asking gains nothing.
static constexpr int kMostReceiveBufferBytes = 32 << 20;
static constexpr int kLeastReceiveBufferBytes = 64 << 10;

static bool IsFree(const ClientSlot& slot)
{
    return slot.address == 0 && slot.port == 0;
}

// Anything that is not free is a client, whatever its address or port: a
// slot that is neither would stay in the table until the next Open.
static bool IsInUse(const ClientSlot& slot)
{
    return !IsFree(slot);
}

CUDPServerTransport::CUDPServerTransport(uint32_t id, CAbstractDevice* ownerDevice)
    : CAbstractTransport(id, ownerDevice), slotCount(0), clientTimeout(kDefaultClientTimeoutMs),
      clients(nullptr), socketHandle(INVALID_SOCKET), localAddress{}, receiveBuffer{},
      port(kDefaultPort), tableLock(nullptr), lastSocketError(0),
      lastReceiveError(0), receiveFailure(0), openFailure(OpenFailure::None), openError(0)
{
    tableLock = new CKestrumCriticalSection();
}

// The worker stops first: a turn still under way would otherwise drop the
// same clients, announce the same disconnection and close the same socket as
// we do here.
CUDPServerTransport::~CUDPServerTransport()
{
    if (worker != nullptr) {
        worker->Stop();
    }
    CloseAll();
    if (connected) {
        AnnounceDisconnection(nullptr);
    }
    WriteStateAndConnected(Idle, false);
    free(clients);
    clients = nullptr;
    slotCount = 0;
    delete tableLock;
    tableLock = nullptr;
}

bool CUDPServerTransport::Open(uint32_t /*first*/, uint32_t /*second*/, uint32_t portArgument,
                               uint32_t slotsArgument, uint32_t /*fifth*/, uint32_t /*sixth*/,
                               uint32_t /*seventh*/)
{
    // Never paired with WSACleanup: the program uses sockets until it ends.
    WSADATA winsock;
    const int started = WSAStartup(MAKEWORD(2, 2), &winsock);
    if (started != 0) {
        return FailOpen(OpenFailure::Winsock, started);
    }
    const auto localPort = static_cast<uint16_t>(portArgument & 0xFFFF);
    if (localPort == 0 || slotsArgument == 0) {
        return FailOpen(OpenFailure::Arguments, 0);
    }
    // Only the low 16 bits count, so 65536 slots is an empty table.
    const auto count = static_cast<uint16_t>(slotsArgument & 0xFFFF);
    ClientSlot* table = nullptr;
    if (count != 0) {
        table = AllocateClientTable(count);
        if (table == nullptr) {
            return FailOpen(OpenFailure::NoTable, 0);  // the old table, if any, stays
        }
    }
    ClientSlot* old = nullptr;
    {
        CScopedLock guard(tableLock);
        old = clients;
        clients = table;
        slotCount = count;
        port = localPort;
    }
    // Clients of an earlier table are forgotten without a word. An open
    // socket is left alone: dropping the handle would leak it.
    free(old);
    if (!worker->Start()) {
        return FailOpen(OpenFailure::NoThread, static_cast<int>(GetLastError()));
    }
    openFailure = OpenFailure::None;
    openError = 0;
    return true;
}

bool CUDPServerTransport::FailOpen(OpenFailure failure, int error)
{
    openFailure = failure;
    openError = error;
    return false;
}

bool CUDPServerTransport::Connect()
{
    uint16_t localPort = 0;
    {
        CScopedLock guard(tableLock);
        localPort = port;
    }
    localAddress = {};
    localAddress.sin_family = AF_INET;
    localAddress.sin_port = htons(localPort);
    localAddress.sin_addr.s_addr = htonl(INADDR_ANY);

    if (socketHandle == INVALID_SOCKET) {
        const SOCKET created = socket(AF_INET, SOCK_DGRAM, 0);
        if (created == INVALID_SOCKET) {
            // Without a socket there is nothing to announce as connected.
            return FailConnect(WSAGetLastError());
        }
        CScopedLock guard(tableLock);
        socketHandle = created;
    }
    // Without it, another program could bind our port on one specific
    // address and take the datagrams meant for us.
    const BOOL exclusive = TRUE;
    if (setsockopt(socketHandle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive),
                   static_cast<int>(sizeof exclusive)) == SOCKET_ERROR) {
        return FailConnect(WSAGetLastError());
    }
    AskForReceiveBuffer();
    if (bind(socketHandle, reinterpret_cast<const sockaddr*>(&localAddress),
             static_cast<int>(sizeof localAddress)) == SOCKET_ERROR) {
        return FailConnect(WSAGetLastError());
    }
    // Non-blocking, so that a turn drains the queue with one call per
    // datagram and a receive can never hold the worker.
    u_long nonBlocking = 1;
    if (ioctlsocket(socketHandle, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        return FailConnect(WSAGetLastError());
    }
    lastSocketError = 0;
    // Only now is there something to tell of a failed socket: a new one listens.
    if (receiveFailure != 0) {
        lastReceiveError = receiveFailure;
        receiveFailure = 0;
    }
    WriteStateAndConnected(Active, true);
    AnnounceConnection(nullptr);
    return true;
}

// Best effort: the default buffer still works, only bursts fare worse.
void CUDPServerTransport::AskForReceiveBuffer()
{
    for (int bytes = kMostReceiveBufferBytes; bytes >= kLeastReceiveBufferBytes; bytes /= 2) {
        if (RequestReceiveBuffer(socketHandle, bytes)) {
            return;
        }
    }
}

// The owner hears nothing of a connection that never came about.
bool CUDPServerTransport::FailConnect(int error)
{
    lastSocketError = error;
    CloseAll();
    WriteStateAndConnected(Idle, false);
    return false;
}

void CUDPServerTransport::Disconnect()
{
    CloseAll();
    if (connected) {
        AnnounceDisconnection(nullptr);
    }
    WriteStateAndConnected(Idle, false);
}

// Clears the first client at or after index `from` (only one silent for too
// long, if `expiredOnly`) and returns its index, or 0 when there is none.
// The owner hears of it afterwards, with the lock released.
uint16_t CUDPServerTransport::ClearNextClient(uint32_t from, bool expiredOnly)
{
    CScopedLock guard(tableLock);
    const uint32_t now = TickCount();
    for (uint32_t i = from; i <= slotCount; ++i) {
        ClientSlot& slot = clients[i - 1];
        if (IsInUse(slot) && (!expiredOnly || IsExpired(slot.lastSeen, clientTimeout, now))) {
            slot = {};
            return static_cast<uint16_t>(i);
        }
    }
    return 0;
}

void CUDPServerTransport::CloseAll()
{
    // Each slot is cleared before the owner hears of it.
    for (uint32_t next = 1;;) {
        const uint16_t client = ClearNextClient(next, false);
        if (client == 0) {
            break;
        }
        const ClientRef ref{client};
        AnnounceDisconnection(&ref);
        next = static_cast<uint32_t>(client) + 1;
    }
    CScopedLock guard(tableLock);
    if (socketHandle != INVALID_SOCKET) {
        shutdown(socketHandle, SD_BOTH);  // fails on an unconnected datagram socket; harmless
        closesocket(socketHandle);
        socketHandle = INVALID_SOCKET;  // the next Connect makes a new one
    }
}

void CUDPServerTransport::OnThreadStart()
{
    // Taking datagrams out of the socket is cheap and cannot wait: when the
    // window is busy showing a flood, this thread goes first, or the socket
    // overflows and the system drops what does not fit.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    NameCurrentThread(L"syslog-receive");
}

bool CUDPServerTransport::Process()
{
    // Everything already queued, so a burst leaves the socket as fast as it
    // came; the bound keeps stop and disconnect requests seen every turn.
    ReceiveResult result = ReceiveOne(kTurnWaitMicroseconds);
    for (uint32_t taken = 1;
         (result == ReceiveResult::Taken || result == ReceiveResult::Lost) &&
         taken < kMaxDatagramsPerTurn;
         ++taken) {
        result = ReceiveOne(0);
    }
    if (result == ReceiveResult::Failed) {
        return false;
    }
    // The loop stops on a datagram only at the bound: more may be waiting.
    // A turn that stopped there on a failed receive still pauses, since a
    // receive that keeps failing without taking anything would otherwise
    // keep the worker busy.
    fullTurn = result == ReceiveResult::Taken;
    ExpireClients();
    return true;
}

CUDPServerTransport::ReceiveResult CUDPServerTransport::ReceiveOne(long waitMicroseconds)
{
    // Only this thread writes socketHandle, so it reads it without the lock.
    if (socketHandle == INVALID_SOCKET) {
        return ReceiveResult::Failed;  // nothing to wait on counts as a failed wait
    }
    if (waitMicroseconds > 0) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socketHandle, &readable);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(socketHandle, &failed);
        timeval wait{0, waitMicroseconds};
        // The first argument is ignored by Winsock; it is given for other stacks.
        const int ready =
            select(static_cast<int>(socketHandle + 1), &readable, nullptr, &failed, &wait);
        if (ready == SOCKET_ERROR) {
            return FailReceive(WSAGetLastError());
        }
        if (ready == 0 || !FD_ISSET(socketHandle, &readable)) {
            return ReceiveResult::Nothing;
        }
    }
    // The socket does not block (see Connect): with nothing waiting this
    // returns at once, so the worker never hangs where no stop request
    // reaches it, and a drained queue costs one call per datagram.
    sockaddr_in sender{};
    const int count = ReceiveDatagram(socketHandle, receiveBuffer,
                                      static_cast<int>(kMaxDatagramBytes), &sender);
    if (count == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        switch (error) {
        case WSAEWOULDBLOCK:
            return ReceiveResult::Nothing;
        case WSAEMSGSIZE:    // longer than the buffer: consumed and dropped
        case WSAECONNRESET:  // an earlier send was refused by its peer
        case WSAENETRESET:   // its time to live ran out on the way
        case WSAENOBUFS:     // the system was short of buffer space for a moment
            return ReceiveResult::Lost;
        default:
            // A socket that fails for good would fail every later call too:
            // the turn ends, the transport disconnects, and the device's
            // Poll opens a new socket.
            return FailReceive(error);
        }
    }
    // Empty: dropped without trace, and nobody is refreshed.
    if (count == 0) {
        return ReceiveResult::Taken;
    }
    const uint16_t client = FindOrAddClient(sender.sin_addr.s_addr, ntohs(sender.sin_port));
    OfferDatagram(client, count);
    return ReceiveResult::Taken;
}

CUDPServerTransport::ReceiveResult CUDPServerTransport::FailReceive(int error)
{
    receiveFailure = error;
    return ReceiveResult::Failed;
}

uint16_t CUDPServerTransport::FindOrAddClient(uint32_t senderAddress, uint16_t senderPort)
{
    // Such a sender looks like a free slot: it is heard, never remembered.
    if (senderAddress == 0 && senderPort == 0) {
        return 0;
    }
    {
        CScopedLock guard(tableLock);
        for (uint32_t i = 1; i <= slotCount; ++i) {
            ClientSlot& slot = clients[i - 1];
            if (slot.address == senderAddress && slot.port == senderPort) {
                slot.lastSeen = TickCount();
                return static_cast<uint16_t>(i);
            }
        }
    }
    return AddClient(senderAddress, senderPort);
}

uint16_t CUDPServerTransport::AddClient(uint32_t senderAddress, uint16_t senderPort)
{
    if (senderAddress == 0 && senderPort == 0) {
        return 0;
    }
    uint16_t client = 0;
    {
        CScopedLock guard(tableLock);
        for (uint32_t i = 1; i <= slotCount; ++i) {
            ClientSlot& slot = clients[i - 1];
            if (IsFree(slot)) {
                slot = {senderAddress, senderPort, TickCount()};
                client = static_cast<uint16_t>(i);
                break;
            }
        }
    }
    // A full table remembers and announces nothing.
    if (client != 0) {
        const ClientRef ref{client};
        AnnounceConnection(&ref);
    }
    return client;
}

bool CUDPServerTransport::IsExpired(uint32_t lastSeen, uint32_t timeoutMs, uint32_t now)
{
    // The difference, not lastSeen + timeout: a sum that wraps past 2^32
    // would look earlier than `now` and drop a client at once.
    return static_cast<uint32_t>(now - lastSeen) > timeoutMs;
}

void CUDPServerTransport::ExpireClients()
{
    for (uint32_t next = 1;;) {
        const uint16_t client = ClearNextClient(next, true);
        if (client == 0) {
            return;
        }
        const ClientRef ref{client};
        AnnounceDisconnection(&ref);
        next = static_cast<uint32_t>(client) + 1;
    }
}

void CUDPServerTransport::RemoveClient(uint16_t client)
{
    {
        CScopedLock guard(tableLock);
        if (client == 0 || client > slotCount || IsFree(clients[client - 1])) {
            return;
        }
        clients[client - 1] = {};
    }
    const ClientRef ref{client};
    AnnounceDisconnection(&ref);
}

void CUDPServerTransport::SetTimeout(uint32_t milliseconds)
{
    CScopedLock guard(tableLock);
    clientTimeout = milliseconds;
}

int CUDPServerTransport::LastSocketError() const
{
    return lastSocketError.load();
}

int CUDPServerTransport::TakeReceiveError()
{
    return lastReceiveError.exchange(0);
}

bool CUDPServerTransport::SendAll(const char* data, uint32_t length)
{
    return Send(0, data, length);
}

// Runs on the caller's thread, beside the worker: the whole exchange with the
// socket happens under tableLock, and a peer that looks gone is left to the
// worker to drop, so nothing is closed or announced twice.
bool CUDPServerTransport::Send(uint16_t client, const char* data, uint32_t length)
{
    bool allSent = true;
    bool failed = false;  // once set, each later slot gets one try only
    bool peerGone = false;
    bool addressedAny = false;
    bool pastTheTable = false;
    for (uint32_t i = (client == 0 ? 1u : client);; ++i) {
        {
            CScopedLock guard(tableLock);
            if (i > slotCount) {
                pastTheTable = client != 0;
                break;
            }
            // Free slots have nobody to send to, even when every slot is meant.
            if (IsInUse(clients[i - 1])) {
                addressedAny = true;
                if (!SendToSlot(clients[i - 1], data, length, &failed, &peerGone)) {
                    allSent = false;
                }
            }
        }
        if (client != 0) {
            break;
        }
    }
    if (peerGone) {
        // The worker drops every client, closes the socket and announces it
        // all on its next turn, as after a failed turn of its own.
        RequestState(DisconnectRequested, Idle);
    }
    // A datagram that went nowhere was not sent, unless there was nothing to
    // send; an index past the table names nobody at all, so that fails too.
    return addressedAny ? allSent : length == 0 && !pastTheTable;
}

// Called with tableLock held. True when the whole datagram went out.
bool CUDPServerTransport::SendToSlot(const ClientSlot& slot, const char* data, uint32_t length,
                                     bool* failed, bool* peerGone)
{
    if (socketHandle == INVALID_SOCKET) {
        *failed = true;
        return false;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(slot.port);
    destination.sin_addr.s_addr = slot.address;
    uint32_t sent = 0;
    bool refused = false;
    // A datagram socket takes a datagram whole or not at all, so one call
    // normally settles it; an empty datagram is sent too, and counts as sent
    // only when the socket took it.
    do {
        const uint32_t left = length - sent;
        const int result = sendto(socketHandle, data + sent,
                                  static_cast<int>(left > INT_MAX ? INT_MAX : left), 0,
                                  reinterpret_cast<const sockaddr*>(&destination),
                                  static_cast<int>(sizeof destination));
        if (result == SOCKET_ERROR) {
            refused = true;
        } else if (result > 0) {
            sent += static_cast<uint32_t>(result);
        } else if (left > 0) {
            // Nothing taken of a non-empty datagram: the peer counts as gone.
            refused = true;
            *peerGone = true;
        }
    } while (sent < length && !refused && !*failed);
    if (refused) {
        *failed = true;
    }
    return !refused && sent == length;
}

void CUDPServerTransport::Reserved1(uint32_t /*first*/, uint32_t /*second*/) {}
void CUDPServerTransport::Reserved2(uint32_t /*value*/) {}
void CUDPServerTransport::Reserved3() {}

void CUDPServerTransport::AnnounceConnection(const ClientRef* client)
{
    if (owner != nullptr && owner->CanConnect(transportId, client)) {
        owner->OnConnected(transportId);
    }
}

void CUDPServerTransport::AnnounceDisconnection(const ClientRef* client)
{
    if (owner != nullptr && owner->CanDisconnect(transportId, client)) {
        owner->OnDisconnected(transportId);
    }
}

void CUDPServerTransport::OfferDatagram(uint16_t client, int32_t count)
{
    const ClientRef ref{client};
    if (owner != nullptr && owner->CanReceive(transportId, &ref)) {
        owner->OnReceive(transportId, receiveBuffer, count);
    }
}
