// The syslog receiving device: owns a UDP server transport and shows every
// datagram's text in the log window.
#include "devices/syslog_server.h"

#include "devices/global_queue.h"
#include "logwindow/log_append.h"
#include "logwindow/log_view_rule.h"
#include "runtime/text_conversion.h"
#include "transport/udp_server_transport.h"

#include <cstring>

static constexpr uint32_t kStreamCapacity = 1024;
// The view lets one step take it past its trim threshold by one datagram's
// text; a datagram gives at most one unit per byte.
static_assert(kMaxDatagramBytes <= kLogMostPastTrim, "a datagram's text must fit past the trim");
static constexpr uint32_t kTransportId = 0;

CSyslogServer::CSyslogServer() : inStream(nullptr), outStream(nullptr), currentClient(0)
{
    inStream = new CInStream(kStreamCapacity, Grow);
    outStream = new COutStream(kStreamCapacity);
    transport = new CUDPServerTransport(kTransportId, this);
}

CSyslogServer::~CSyslogServer()
{
    // The transport goes first, while this device is whole: its destruction
    // announces every sender still known, then its own disconnection.
    delete transport;
    transport = nullptr;
    delete outStream;
    outStream = nullptr;
    delete inStream;
    inStream = nullptr;
}

TransportState CSyslogServer::ReadTransportState()
{
    return transport->ReadState();
}

bool CSyslogServer::Connect()
{
    if (transport == nullptr) {
        return false;
    }
    state = DeviceConnecting;
    connectStart = Now();
    transport->RequestState(ConnectRequested, Active);
    return true;
}

void CSyslogServer::Disconnect()
{
    if (transport == nullptr) {
        return;
    }
    // The device becomes idle when the transport announces its disconnection.
    transport->RequestState(DisconnectRequested, Idle);
}

bool CSyslogServer::Poll()
{
    const DeviceState current = state;
    const bool isConnected = current == DeviceConnected;
    if (connected != isConnected) {
        connected = isConnected;
    }
    switch (current) {
    case DeviceIdle:
        return PollIdle();
    case DeviceConnecting:
        // Equal to the time-out is not late yet. Given up in one step: an
        // OnConnected that landed since `state` was read keeps its Connected.
        if (Now() - connectStart > connectTimeout) {
            DeviceState expected = DeviceConnecting;
            state.compare_exchange_strong(expected, DeviceIdle);
        }
        return false;
    default:
        return false;
    }
}

bool CSyslogServer::PollIdle()
{
    if (transport == nullptr) {
        return false;
    }
    switch (ReadTransportState()) {
    case Idle:
        Connect();  // whatever it returns, a new connect was started
        return true;
    case ConnectRequested:
    case Active:
        // The transport still tries, or connected after we gave up: start over.
        transport->RequestState(DisconnectRequested, Idle);
        return false;
    default:
        return false;
    }
}

void CSyslogServer::NoteClient(const ClientRef* client)
{
    if (client != nullptr) {
        currentClient = client->clientIndex;
    }
}

bool CSyslogServer::CanConnect(uint32_t /*transportId*/, const ClientRef* client)
{
    if (state == DeviceConnected) {
        if (client == nullptr) {
            return false;  // connected already
        }
        currentClient = client->clientIndex;
        return true;
    }
    // Senders are accepted only while the device is connected.
    return client == nullptr;
}

void CSyslogServer::OnConnected(uint32_t /*transportId*/)
{
    const uint16_t client = currentClient;
    if (client == 0) {
        state = DeviceConnected;
        PostDeviceEvent(EventDeviceConnected, deviceId, 0);
    } else {
        PostDeviceEvent(EventClientConnected, deviceId, client);
    }
    currentClient = 0;
}

bool CSyslogServer::CanDisconnect(uint32_t /*transportId*/, const ClientRef* client)
{
    NoteClient(client);
    return true;
}

void CSyslogServer::OnDisconnected(uint32_t /*transportId*/)
{
    const uint16_t client = currentClient;
    if (client == 0) {
        state = DeviceIdle;
        PostDeviceEvent(EventDeviceDisconnected, deviceId, 0);
    } else {
        PostDeviceEvent(EventClientDisconnected, deviceId, client);
    }
    currentClient = 0;
}

bool CSyslogServer::CanReceive(uint32_t /*transportId*/, const ClientRef* client)
{
    NoteClient(client);
    return true;
}

// Never waits for the window: a flood costs the window, not the socket. Each
// datagram is decoded on its own, so a sequence cut short at its end never
// swallows the first bytes of the next.
static void HandOverDatagram(const char* data, size_t count)
{
    // The transport offers no more than it receives; a longer count is cut
    // to what the buffers below hold.
    if (count > kMaxDatagramBytes) {
        count = kMaxDatagramBytes;
    }
    char bytes[kMaxDatagramBytes + 1];
    memcpy(bytes, data, count);
    bytes[count] = '\0';  // the text ends at the first zero byte in any case
    // A UTF-8 sequence never gives more UTF-16 units than it has bytes.
    wchar_t text[kMaxDatagramBytes];
    const auto units = static_cast<size_t>(DecodeUtf8Into(bytes, text) - text);
    if (units > 0) {
        HandTextToLog(text, units);
    }
}

void CSyslogServer::OnReceive(uint32_t /*transportId*/, const char* data, int32_t count)
{
    lastReceive = Now();
    // Nothing is added to the text: no time stamp, no sender, no line break.
    if (data != nullptr && count > 0) {
        HandOverDatagram(data, static_cast<size_t>(count));
    }
    currentClient = 0;
}

bool CSyslogServer::Open(const ConnectionSettings* newSettings)
{
    if (newSettings == nullptr) {
        return false;
    }
    ReleaseSettings();
    settings = *newSettings;
    const bool opened = transport->Open(0, 0, settings.port, settings.slotCount, 0, 0, 0);
    if (opened) {
        transport->SetTimeout(settings.timeout);
    }
    return opened;
}

bool CSyslogServer::Send(uint16_t client, const char* data, uint32_t length)
{
    if (transport == nullptr || data == nullptr || length == 0) {
        return false;
    }
    return transport->Send(client, data, length);
}

bool CSyslogServer::SetSystemChannel(uint32_t /*id*/, const CVariant& /*value*/)
{
    return true;  // this device has no channels of its own and refuses none
}

bool CSyslogServer::GetSystemChannel(uint32_t /*id*/, CVariant& /*value*/)
{
    return true;
}

void CSyslogServer::Reserved11(uint32_t /*value*/) {}
