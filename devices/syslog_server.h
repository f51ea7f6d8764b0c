// The syslog receiving device: owns a UDP server transport and shows every
// datagram's text in the log window.
#pragma once

#include "devices/base_device.h"
#include "transport/abstract_transport.h"
#include "transport/in_stream.h"
#include "transport/out_stream.h"

#include <cstdint>

class CSyslogServer : public CBaseDevice {
public:
    CSyslogServer();
    ~CSyslogServer() override;

    CSyslogServer(const CSyslogServer&) = delete;
    CSyslogServer& operator=(const CSyslogServer&) = delete;

    bool Connect() override;
    void Disconnect() override;
    bool Poll() override;
    bool CanConnect(uint32_t transportId, const ClientRef* client) override;
    void OnConnected(uint32_t transportId) override;
    bool CanDisconnect(uint32_t transportId, const ClientRef* client) override;
    void OnDisconnected(uint32_t transportId) override;
    bool CanReceive(uint32_t transportId, const ClientRef* client) override;
    void OnReceive(uint32_t transportId, const char* data, int32_t count) override;
    bool Open(const ConnectionSettings* settings) override;
    bool Send(uint16_t client, const char* data, uint32_t length) override;
    bool SetSystemChannel(uint32_t id, const CVariant& value) override;
    bool GetSystemChannel(uint32_t id, CVariant& value) override;
    virtual void Reserved11(uint32_t value);

    CInStream* inStream;
    COutStream* outStream;
    // Carries the client index from a query to the notification that follows;
    // the transport makes its callbacks one pair at a time, on one thread.
    uint16_t currentClient;

private:
    void NoteClient(const ClientRef* client);
    bool PollIdle();
    TransportState ReadTransportState();
};
