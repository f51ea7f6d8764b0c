// Base of every transport: a state word that requests connection and
// disconnection, and a worker thread that carries them out.
#pragma once

#include "devices/abstract_device.h"
#include "runtime/kestrum_critical_section.h"
#include "runtime/worker_thread.h"

#include <cstdint>

enum TransportState : int32_t {
    Idle = 0,
    DisconnectRequested = 1,
    ConnectRequested = 2,
    Active = 3,
};

class CAbstractTransport {
public:
    CAbstractTransport(uint32_t transportId, CAbstractDevice* owner);
    virtual ~CAbstractTransport();

    CAbstractTransport(const CAbstractTransport&) = delete;
    CAbstractTransport& operator=(const CAbstractTransport&) = delete;

    virtual bool Open(uint32_t first, uint32_t second, uint32_t port, uint32_t slots,
                      uint32_t fifth, uint32_t sixth, uint32_t seventh) = 0;
    virtual bool Connect() = 0;
    virtual void Disconnect() = 0;
    virtual bool SendAll(const char* data, uint32_t length) = 0;
    virtual bool Send(uint16_t client, const char* data, uint32_t length);
    virtual bool Process() = 0;
    // Slots kept for the interface's layout; nothing calls them.
    virtual void Reserved1(uint32_t first, uint32_t second) = 0;
    virtual void Reserved2(uint32_t value) = 0;
    virtual void Reserved3() = 0;
    virtual void Reserved4(uint32_t value);
    virtual void SetTimeout(uint32_t milliseconds);
    virtual uint32_t GetLocalAddress();
    virtual uint16_t GetLocalPort();
    virtual uint32_t GetClientAddress(uint16_t client);
    virtual uint32_t GetPeerAddress();
    virtual uint16_t GetClientPort(uint16_t client);
    virtual uint16_t GetPeerPort();
    virtual const char* GetClientHost(uint16_t client);
    virtual const char* GetPeerHost();
    virtual void Reserved5(uint32_t value);
    virtual void OnThreadStart();
    virtual void OnThreadEnd();

    static uint32_t WorkerRoutine(CWorkerThread* record);

    // Copies `state` under `stateLock`.
    TransportState ReadState();
    // Writes `state` and `connected` together under `stateLock`.
    void WriteStateAndConnected(TransportState value, bool isConnected);
    // The one way to ask the worker for something: writes `value` unless
    // `state` is `unless`, in one locked step. False when it was left alone.
    bool RequestState(TransportState value, TransportState unless);

    uint32_t transportId;
    CAbstractDevice* owner;
    bool connected;  // written under stateLock; read on the worker thread only
    TransportState state;
    CKestrumCriticalSection* stateLock;
    CWorkerThread* worker;

protected:
    // Worker thread only: Process sets it when its turn took as much as one
    // turn may, so that the next turn follows without a pause.
    bool fullTurn;

private:
    void RunTurn();
};
