// The interface every device offers to its transport and its controller.
#pragma once

#include <cstdint>

// What a transport tells its owner about a client: only the 1-based index in
// its table; a null pointer instead stands for the transport itself.
struct ClientRef {
    uint16_t clientIndex;
};

// Queries answer true and notifications do nothing unless a device says
// otherwise; a transport calls a notification only after its query said true.
class CAbstractDevice {
public:
    virtual ~CAbstractDevice() = default;
    virtual int32_t Reserved1() { return 0; }
    virtual bool Connect() { return false; }
    virtual void Disconnect() {}
    virtual bool Poll() { return false; }
    virtual void Reserved2() {}
    virtual bool CanConnect(uint32_t /*transportId*/, const ClientRef* /*client*/) { return true; }
    virtual void OnConnected(uint32_t /*transportId*/) {}
    virtual bool CanDisconnect(uint32_t /*transportId*/, const ClientRef* /*client*/) { return true; }
    virtual void OnDisconnected(uint32_t /*transportId*/) {}
    virtual bool CanReceive(uint32_t /*transportId*/, const ClientRef* /*client*/) { return true; }
    // `data` is valid only during the call.
    virtual void OnReceive(uint32_t transportId, const char* data, int32_t count) = 0;
};
