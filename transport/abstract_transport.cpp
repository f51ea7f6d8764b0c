// Base of every transport: the worker's state machine over the state word.
#include "transport/abstract_transport.h"

#include "runtime/scoped_lock.h"
#include "transport/turn_pause.h"

static constexpr DWORD kIdlePauseMs = 100;
static constexpr DWORD kTurnPauseMs = 5;

CAbstractTransport::CAbstractTransport(uint32_t id, CAbstractDevice* ownerDevice)
    : transportId(id), owner(ownerDevice), connected(false), state(Idle), stateLock(nullptr),
      worker(nullptr), fullTurn(false)
{
    worker = new CWorkerThread(this, &CAbstractTransport::WorkerRoutine);
    stateLock = new CKestrumCriticalSection();
}

CAbstractTransport::~CAbstractTransport()
{
    if (worker != nullptr) {
        worker->Stop();
        delete worker;
        worker = nullptr;
    }
    delete stateLock;
    stateLock = nullptr;
}

bool CAbstractTransport::Send(uint16_t /*client*/, const char* data, uint32_t length)
{
    return SendAll(data, length);
}

void CAbstractTransport::Reserved4(uint32_t /*value*/) {}
void CAbstractTransport::SetTimeout(uint32_t /*milliseconds*/) {}
uint32_t CAbstractTransport::GetLocalAddress() { return 0; }
uint16_t CAbstractTransport::GetLocalPort() { return 0; }
uint32_t CAbstractTransport::GetClientAddress(uint16_t /*client*/) { return GetPeerAddress(); }
uint32_t CAbstractTransport::GetPeerAddress() { return 0; }
uint16_t CAbstractTransport::GetClientPort(uint16_t /*client*/) { return GetPeerPort(); }
uint16_t CAbstractTransport::GetPeerPort() { return 0; }
const char* CAbstractTransport::GetClientHost(uint16_t /*client*/) { return GetPeerHost(); }
const char* CAbstractTransport::GetPeerHost() { return nullptr; }
void CAbstractTransport::Reserved5(uint32_t /*value*/) {}
void CAbstractTransport::OnThreadStart() {}
void CAbstractTransport::OnThreadEnd() {}

TransportState CAbstractTransport::ReadState()
{
    CScopedLock guard(stateLock);
    return state;
}

void CAbstractTransport::WriteStateAndConnected(TransportState value, bool isConnected)
{
    CScopedLock guard(stateLock);
    state = value;
    connected = isConnected;
}

bool CAbstractTransport::RequestState(TransportState value, TransportState unless)
{
    CScopedLock guard(stateLock);
    if (state == unless) {
        return false;
    }
    state = value;
    return true;
}

void CAbstractTransport::RunTurn()
{
    fullTurn = false;
    switch (ReadState()) {
    case Idle:
        PauseTurn(kIdlePauseMs);
        break;
    case DisconnectRequested:
        Disconnect();
        break;
    case ConnectRequested:
        Connect();  // it reports through `state`
        break;
    case Active:
        if (!Process()) {
            // A request written meanwhile gives way, but an Idle set by
            // another writer stays: there is nothing left to disconnect.
            RequestState(DisconnectRequested, Idle);
        }
        break;
    default:
        break;
    }
    // More is waiting: on Windows a pause lasts a whole scheduler tick (about
    // 15.6 ms), which would cap draining a flood at about 65,000 datagrams a
    // second. The worker's loop still sees a stop request after every turn.
    if (fullTurn) {
        return;
    }
    PauseTurn(kTurnPauseMs);
}

uint32_t CAbstractTransport::WorkerRoutine(CWorkerThread* record)
{
    if (record == nullptr) {
        return 0;
    }
    auto* transport = static_cast<CAbstractTransport*>(record->owner);
    if (transport == nullptr) {
        return 0;
    }
    transport->OnThreadStart();
    while (record->ReadState() == Running) {
        transport->RunTurn();
    }
    transport->OnThreadEnd();
    return 0;
}
