#include "devices/syslog_server.h"

#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "tests/support/failing_socket_calls.h"
#include "tests/support/fake_tick_count.h"
#include "tests/support/installed_services.h"
#include "tests/support/loopback_udp.h"
#include "tests/support/wait_until.h"
#include "transport/udp_server_transport.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::CFakeTickScope;
using testsupport::CInstalledGlobalQueue;
using testsupport::CInstalledSystemLogger;
using testsupport::WaitUntil;

const char kQueueMissingLine[] = "!!!!!!!!!!!!!!!!!!! CGlobalQueue NOT EXIST!!!!!!!!!!!!!!!!!!!!!";

struct EventSeen {
    uint32_t code;
    uint32_t clientIndex;
    bool operator==(const EventSeen&) const = default;
};

std::vector<EventSeen> Seen(const std::vector<QueueEvent>& events)
{
    std::vector<EventSeen> seen;
    for (const QueueEvent& event : events) {
        seen.push_back({event.code, event.clientIndex});
    }
    return seen;
}

TransportState TransportStateOf(CSyslogServer& device)
{
    return device.transport->ReadState();
}

struct CanConnectCase {
    const char* name;
    DeviceState state;
    bool aboutAClient;
    bool expected;
    uint16_t currentClientAfter;
};

const CanConnectCase kCanConnectCases[] = {
    {"connected device refuses a second own connection", DeviceConnected, false, false, 9},
    {"connected device accepts a sender", DeviceConnected, true, true, 4},
    {"idle device accepts its own connection", DeviceIdle, false, true, 9},
    {"idle device refuses a sender", DeviceIdle, true, false, 9},
    {"connecting device accepts its own connection", DeviceConnecting, false, true, 9},
    {"connecting device refuses a sender", DeviceConnecting, true, false, 9},
};

TEST(SyslogServerTest, CanConnectAcceptsSendersOnlyWhileConnected)
{
    for (const CanConnectCase& row : kCanConnectCases) {
        SCOPED_TRACE(row.name);
        CSyslogServer device;
        device.state = row.state;
        device.currentClient = 9;
        const ClientRef client{4};
        EXPECT_EQ(device.CanConnect(0, row.aboutAClient ? &client : nullptr), row.expected);
        EXPECT_EQ(device.currentClient, row.currentClientAfter);
    }
}

TEST(SyslogServerTest, OwnConnectionConnectsTheDeviceWithNothingInstalled)
{
    CSyslogServer device;
    device.state = DeviceConnecting;
    ASSERT_TRUE(device.CanConnect(0, nullptr));
    device.OnConnected(0);
    EXPECT_EQ(device.state.load(), DeviceConnected);
    EXPECT_EQ(device.currentClient, 0);
}

TEST(SyslogServerTest, SenderConnectionLeavesTheStateAndResetsTheClient)
{
    CSyslogServer device;
    device.state = DeviceConnecting;
    device.currentClient = 7;
    device.OnConnected(0);
    EXPECT_EQ(device.state.load(), DeviceConnecting);
    EXPECT_EQ(device.currentClient, 0);
}

TEST(SyslogServerTest, EveryConnectionChangePostsOneEvent)
{
    CInstalledGlobalQueue queue;
    CSyslogServer device;
    device.deviceId = 5;
    const ClientRef sender{3};

    ASSERT_TRUE(device.CanConnect(0, nullptr));
    device.OnConnected(0);
    ASSERT_TRUE(device.CanConnect(0, &sender));
    device.OnConnected(0);
    ASSERT_TRUE(device.CanDisconnect(0, &sender));
    device.OnDisconnected(0);
    ASSERT_TRUE(device.CanDisconnect(0, nullptr));
    device.OnDisconnected(0);

    const std::vector<QueueEvent> events = queue.TakeAll();
    const std::vector<EventSeen> expected = {{EventDeviceConnected, 0},
                                             {EventClientConnected, 3},
                                             {EventClientDisconnected, 3},
                                             {EventDeviceDisconnected, 0}};
    EXPECT_EQ(Seen(events), expected);
    for (const QueueEvent& event : events) {
        EXPECT_EQ(event.deviceId, 5u);
    }
    EXPECT_EQ(device.state.load(), DeviceIdle);
}

TEST(SyslogServerTest, WithoutAQueueEachChangeLogsOneErrorLine)
{
    CInstalledSystemLogger logger;
    CSyslogServer device;
    device.OnConnected(0);
    device.OnDisconnected(0);
    const std::vector<std::string> lines = logger.sink.Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) {
        EXPECT_NE(line.find(std::string("\tERROR\t") + kQueueMissingLine + "\n"), std::string::npos)
            << line;
    }
}

TEST(SyslogServerTest, ConnectingDeviceGivesUpOnlyAfterTheWholeTimeout)
{
    constexpr uint32_t kStart = 0xFFFFFC00u;  // the time-out ends past the 32-bit wrap
    CFakeTickScope clock(kStart);
    CSyslogServer device;
    ASSERT_TRUE(device.Connect());
    ASSERT_EQ(device.state.load(), DeviceConnecting);

    clock.Set(kStart + device.connectTimeout);
    EXPECT_FALSE(device.Poll());
    EXPECT_EQ(device.state.load(), DeviceConnecting);

    clock.Set(kStart + device.connectTimeout + 1);
    EXPECT_FALSE(device.Poll());
    EXPECT_EQ(device.state.load(), DeviceIdle);
}

// The transport connects while Poll decides that the connect came too late:
// the device stays connected, or the next Poll would drop a bound socket.
TEST(SyslogServerTest, ConnectionThatLandsDuringALatePollStays)
{
    constexpr uint32_t kStart = 1000;
    CFakeTickScope clock(kStart);
    CSyslogServer device;
    ASSERT_TRUE(device.Connect());
    clock.Set(kStart + device.connectTimeout + 1);
    // Poll reads the clock after it read the state, before it gives up.
    testsupport::RunOnNextTickRead([&] {
        ASSERT_TRUE(device.CanConnect(0, nullptr));
        device.OnConnected(0);
    });
    EXPECT_FALSE(device.Poll());
    EXPECT_EQ(device.state.load(), DeviceConnected);
}

// The transport is never opened here, so it stays as the requests leave it.
struct IdlePollCase {
    const char* name;
    bool connectGivenUp;  // a connect the device gave up on came first
    bool disconnected;    // then a disconnect request
    bool expectedResult;
    TransportState transportAfter;
    DeviceState deviceAfter;
};

const IdlePollCase kIdlePollCases[] = {
    {"idle transport: connect again", false, false, true, ConnectRequested, DeviceConnecting},
    {"disconnecting transport: wait", true, true, false, DisconnectRequested, DeviceIdle},
    {"still trying: ask it to stop", true, false, false, DisconnectRequested, DeviceIdle},
};

TEST(SyslogServerTest, IdleDevicePollsTheTransportBackToAFreshConnect)
{
    constexpr uint32_t kStart = 1000;
    CFakeTickScope clock(kStart);
    for (const IdlePollCase& row : kIdlePollCases) {
        SCOPED_TRACE(row.name);
        clock.Set(kStart);
        CSyslogServer device;
        if (row.connectGivenUp) {
            ASSERT_TRUE(device.Connect());
            clock.Set(kStart + device.connectTimeout + 1);
            device.Poll();
            ASSERT_EQ(device.state.load(), DeviceIdle);
        }
        if (row.disconnected) {
            device.Disconnect();
        }
        EXPECT_EQ(device.Poll(), row.expectedResult);
        EXPECT_EQ(TransportStateOf(device), row.transportAfter);
        EXPECT_EQ(device.state.load(), row.deviceAfter);
    }
}

TEST(SyslogServerTest, PollMirrorsTheConnectedState)
{
    CSyslogServer device;
    device.state = DeviceConnected;
    EXPECT_FALSE(device.Poll());
    EXPECT_TRUE(device.connected);
    EXPECT_EQ(device.state.load(), DeviceConnected);
    device.state = DeviceConnecting;
    device.Poll();
    EXPECT_FALSE(device.connected);
}

TEST(SyslogServerTest, ConnectAndDisconnectOnlyRequest)
{
    CSyslogServer device;  // never opened: nothing carries the requests out
    device.Disconnect();
    EXPECT_EQ(TransportStateOf(device), Idle);  // nothing to disconnect: left alone
    EXPECT_TRUE(device.Connect());
    EXPECT_EQ(TransportStateOf(device), ConnectRequested);
    device.Disconnect();
    EXPECT_EQ(TransportStateOf(device), DisconnectRequested);
}

TEST(SyslogServerTest, OpenKeepsTheSettingsAndArmsTheTransportOnlyOnSuccess)
{
    CSyslogServer device;
    auto* udp = static_cast<CUDPServerTransport*>(device.transport);
    EXPECT_FALSE(device.Open(nullptr));

    ConnectionSettings refused{};
    refused.port = 0;  // no port: the transport refuses
    refused.slotCount = 4;
    refused.timeout = 500;
    EXPECT_FALSE(device.Open(&refused));
    EXPECT_EQ(device.settings.slotCount, 4u);
    EXPECT_NE(udp->clientTimeout, 500u);

    EXPECT_FALSE(device.Open(nullptr));
    EXPECT_EQ(device.settings.slotCount, 4u);  // the stored record stays
}

TEST(SyslogServerTest, SendRefusesNothingToSend)
{
    CSyslogServer device;
    EXPECT_FALSE(device.Send(0, nullptr, 3));
    EXPECT_FALSE(device.Send(0, "abc", 0));
}

TEST(SyslogServerTest, ChannelsAnswerTrueAndTouchNothing)
{
    CSyslogServer device;
    CVariant value;
    value.SetU16(1234);
    EXPECT_TRUE(device.GetSystemChannel(kChannelConnected, value));
    EXPECT_TRUE(device.GetSystemChannel(0x12345678, value));
    EXPECT_EQ(value.GetU16(), 1234);
    EXPECT_TRUE(device.SetSystemChannel(kChannelSystemValue, value));
    EXPECT_EQ(device.systemValue, 0u);
}

class WinsockScope {
public:
    WinsockScope()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockScope() { WSACleanup(); }
};

TEST(SyslogServerTest, DeletingAConnectedDeviceAnnouncesSendersThenItself)
{
    WinsockScope winsock;
    CInstalledGlobalQueue queue;
    auto* device = new CSyslogServer();
    device->deviceId = 77;  // events carry it: proof the device was whole when they came

    const uint16_t port = testsupport::FreeLoopbackPort();
    ConnectionSettings settings{};
    settings.port = port;
    settings.slotCount = 8;
    settings.timeout = 60000;
    ASSERT_TRUE(device->Open(&settings));
    ASSERT_TRUE(device->Connect());
    ASSERT_TRUE(WaitUntil([&] { return device->state == DeviceConnected; }));

    SOCKET first = socket(AF_INET, SOCK_DGRAM, 0);
    SOCKET second = socket(AF_INET, SOCK_DGRAM, 0);
    testsupport::SendToLoopback(first, port, "one");
    ASSERT_TRUE(WaitUntil([&] { return queue.queue.Count() >= 2; }));
    testsupport::SendToLoopback(second, port, "two");
    ASSERT_TRUE(WaitUntil([&] { return queue.queue.Count() >= 3; }));
    closesocket(first);
    closesocket(second);

    delete device;

    const std::vector<EventSeen> expected = {{EventDeviceConnected, 0},
                                             {EventClientConnected, 1},
                                             {EventClientConnected, 2},
                                             {EventClientDisconnected, 1},
                                             {EventClientDisconnected, 2},
                                             {EventDeviceDisconnected, 0}};
    const std::vector<QueueEvent> events = queue.TakeAll();
    EXPECT_EQ(Seen(events), expected);
    for (const QueueEvent& event : events) {
        EXPECT_EQ(event.deviceId, 77u);
    }
}

// A socket that fails for good: the transport drops it, and polling the
// device binds a new one.
TEST(SyslogServerTest, PollReconnectsAfterTheSocketFailed)
{
    WinsockScope winsock;
    CSyslogServer device;
    const uint16_t port = testsupport::FreeLoopbackPort();
    ConnectionSettings settings{};
    settings.port = port;
    settings.slotCount = 8;
    settings.timeout = 60000;
    ASSERT_TRUE(device.Open(&settings));
    ASSERT_TRUE(device.Connect());
    ASSERT_TRUE(WaitUntil([&] { return device.state == DeviceConnected; }));

    gReceiveFailure = WSAENETDOWN;
    const SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
    testsupport::SendToLoopback(sender, port, "lost");
    const bool dropped = WaitUntil([&] { return device.state == DeviceIdle; });
    gReceiveFailure = 0;
    ASSERT_TRUE(dropped);

    EXPECT_TRUE(WaitUntil([&] {
        device.Poll();
        return device.state == DeviceConnected;
    }));
    EXPECT_EQ(TransportStateOf(device), Active);
    closesocket(sender);
}

// The text waiting for the log window, taken away. The window is never
// started here, so what the device hands over stays waiting.
std::wstring TakeHandedText(CWindowsSystemLog* log)
{
    CLogText waiting;
    log->logView->DrainWaiting(waiting);
    return std::wstring(waiting.Text(), waiting.Units());
}

struct Datagram {
    std::string bytes;
    int32_t count;        // as the transport reports it
    std::wstring handed;  // what the window then has waiting, "" for nothing
};

struct ReceiveCase {
    const char* name;
    std::vector<Datagram> datagrams;
};

const ReceiveCase kReceiveCases[] = {
    // The window keeps each line break as the one character the view counts.
    {"nothing added, not even between datagrams",
     {{"<13>a", 5, L"<13>a"}, {"b\n", 2, L"b\r"}, {"c", 1, L"c"}}},
    {"a count of 0 or less is ignored", {{"x", 0, L""}, {"y", -1, L""}, {"z", 1, L"z"}}},
    {"only the bytes counted", {{"abcdef", 3, L"abc"}}},
    {"up to the first zero byte",
     {{std::string("ab\0cd", 5), 5, L"ab"}, {std::string("\0e", 2), 2, L""}}},
    // Joined, these bytes would read as one euro sign.
    {"each datagram decoded on its own", {{"\xE2\x82", 2, L"\xFFFD"}, {"\xAC", 1, L"\xFFFD"}}},
    {"the largest datagram whole",
     {{std::string(1021, 'x') + "\xE2\x82\xAC", 1024, std::wstring(1021, L'x') + L"\x20AC"},
      {std::string(1024, 'y'), 1024, std::wstring(1024, L'y')}}},
};

TEST(SyslogServerTest, EachDatagramReachesTheWindowAsItsOwnTextAtOnce)
{
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    for (const ReceiveCase& row : kReceiveCases) {
        SCOPED_TRACE(row.name);
        TakeHandedText(log);
        CSyslogServer device;
        const ClientRef sender{4};
        for (const Datagram& datagram : row.datagrams) {
            ASSERT_TRUE(device.CanReceive(0, &sender));
            EXPECT_EQ(device.currentClient, 4);
            device.OnReceive(0, datagram.bytes.data(), datagram.count);
            EXPECT_EQ(device.currentClient, 0);
            EXPECT_EQ(TakeHandedText(log), datagram.handed);
        }
    }
    CWindowsSystemLog::DestroyInstance();
}

}  // namespace
