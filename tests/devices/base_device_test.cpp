#include "devices/base_device.h"

#include "tests/support/fake_tick_count.h"
#include "transport/abstract_transport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testsupport::CFakeTickScope;

// The smallest concrete device; it counts the calls that reach it through the
// interface and remembers the strings held when ReleaseSettings ran.
class ProbeDevice : public CBaseDevice {
public:
    void OnReceive(uint32_t, const char*, int32_t) override {}
    void OnTimer() override { ++timerFirings; }
    void ReleaseSettings() override
    {
        releasedStrings.push_back(settings.string1);
        CBaseDevice::ReleaseSettings();
    }

    int timerFirings = 0;
    std::vector<const char*> releasedStrings;
};

// A transport that reports fixed peer and local endpoints.
class EndpointTransport : public CAbstractTransport {
public:
    explicit EndpointTransport(CAbstractDevice* owner) : CAbstractTransport(1, owner) {}

    bool Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override
    {
        return false;
    }
    bool Connect() override { return false; }
    void Disconnect() override {}
    bool SendAll(const char*, uint32_t) override { return false; }
    bool Process() override { return false; }
    void Reserved1(uint32_t, uint32_t) override {}
    void Reserved2(uint32_t) override {}
    void Reserved3() override {}
    const char* GetPeerHost() override { return peerHost; }
    uint32_t GetPeerAddress() override { return peerAddress; }
    uint16_t GetPeerPort() override { return peerPort; }
    uint32_t GetLocalAddress() override { return localAddress; }
    uint16_t GetLocalPort() override { return localPort; }

    const char* peerHost = "sender.example";
    uint32_t peerAddress = 0;
    uint16_t peerPort = 5140;
    uint32_t localAddress = 0;
    uint16_t localPort = 514;
};

// An address held in socket byte order: its bytes in memory are the octets.
uint32_t SocketOrder(uint8_t first, uint8_t second, uint8_t third, uint8_t fourth)
{
    const uint8_t octets[4] = {first, second, third, fourth};
    uint32_t address;
    std::memcpy(&address, octets, sizeof address);
    return address;
}

char* Copy(const char* text)
{
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    std::memcpy(copy, text, size);
    return copy;
}

// A timer whose interval is 100 ms must not fire exactly 100 ms after its
// start, must fire at the first check after that, and never again. The later
// starts put the interval across the 32-bit wrap of the device's clock.
TEST(BaseDeviceTimerTest, FiresOnceAndOnlyAfterTheWholeInterval)
{
    struct Start {
        const char* name;
        uint32_t creationTick;
        uint32_t sinceCreation;
    };
    const Start kStarts[] = {
        {"just after creation", 1000, 0},
        {"after the tick counter wrapped", 0xFFFFFFF0u, 0x20},
        {"49.7 days after creation", 1000, 0xFFFFFFC0u},
        {"at the last millisecond before the wrap", 1000, 0xFFFFFFFFu},
    };
    constexpr uint32_t kInterval = 100;
    for (const Start& start : kStarts) {
        SCOPED_TRACE(start.name);
        CFakeTickScope clock(start.creationTick);
        ProbeDevice device;
        device.SetTimerInterval(kInterval);
        const uint32_t startTick = start.creationTick + start.sinceCreation;
        clock.Set(startTick);
        device.StartTimer();

        device.CheckTimer();
        clock.Set(startTick + kInterval);
        device.CheckTimer();
        EXPECT_EQ(device.timerFirings, 0) << "equal to the interval is not enough";
        clock.Set(startTick + kInterval + 1);
        device.CheckTimer();
        EXPECT_EQ(device.timerFirings, 1);
        EXPECT_FALSE(device.timerArmed);
        clock.Set(startTick + 10 * kInterval);
        device.CheckTimer();
        EXPECT_EQ(device.timerFirings, 1) << "a one-shot timer fired twice";
    }
}

TEST(BaseDeviceTimerTest, OnlyAStartedTimerFires)
{
    CFakeTickScope clock(5000);
    ProbeDevice device;
    device.SetTimerInterval(0);
    clock.Set(90000);
    device.CheckTimer();
    EXPECT_EQ(device.timerFirings, 0) << "never started";

    device.StartTimer();
    device.StopTimer();
    clock.Set(95000);
    device.CheckTimer();
    EXPECT_EQ(device.timerFirings, 0) << "stopped";
}

class BaseDeviceChannelTest : public ::testing::Test {
protected:
    ~BaseDeviceChannelTest() override { device.transport = nullptr; }

    ProbeDevice device;
    EndpointTransport endpoints{&device};
};

TEST_F(BaseDeviceChannelTest, ReadsTheDeviceAndItsTransport)
{
    device.transport = &endpoints;
    device.connected = true;
    device.state = DeviceConnected;
    device.systemFlag = true;
    endpoints.peerAddress = SocketOrder(192, 168, 0, 1);
    endpoints.localAddress = SocketOrder(10, 0, 0, 255);

    struct Read {
        uint32_t id;
        VariantType type;
        const char* text;  // for string channels
        uint32_t number;   // for the others
    };
    const Read kReads[] = {
        {kChannelConnected, VariantBool, nullptr, 1},
        {kChannelState, VariantU8, nullptr, DeviceConnected},
        {kChannelPeerHost, VariantString, "sender.example", 0},
        {kChannelPeerAddress, VariantString, "192.168.0.1", 0},
        {kChannelPeerPort, VariantU16, nullptr, 5140},
        {kChannelLocalAddress, VariantString, "10.0.0.255", 0},
        {kChannelLocalPort, VariantU16, nullptr, 514},
        {kChannelSystemFlag, VariantBool, nullptr, 1},
    };
    for (const Read& read : kReads) {
        SCOPED_TRACE(testing::Message() << std::hex << read.id);
        CVariant value;
        ASSERT_TRUE(device.GetSystemChannel(read.id, value));
        EXPECT_EQ(value.type, read.type);
        if (read.text != nullptr) {
            ASSERT_NE(value.Text(), nullptr);
            EXPECT_STREQ(value.Text(), read.text);
        } else {
            EXPECT_EQ(value.GetU32(), read.number);
        }
    }
}

TEST_F(BaseDeviceChannelTest, ANewDeviceReadsDisconnectedAndIdle)
{
    CVariant value;
    ASSERT_TRUE(device.GetSystemChannel(kChannelConnected, value));
    EXPECT_FALSE(value.GetBool());
    ASSERT_TRUE(device.GetSystemChannel(kChannelState, value));
    EXPECT_EQ(value.GetU8(), DeviceIdle);
}

TEST_F(BaseDeviceChannelTest, EmptyEndpointsReadAsNoTextAndZeros)
{
    device.transport = &endpoints;
    endpoints.peerPort = 0;
    for (const char* host : {static_cast<const char*>(nullptr), ""}) {
        endpoints.peerHost = host;
        CVariant value;
        ASSERT_TRUE(device.GetSystemChannel(kChannelPeerHost, value));
        EXPECT_EQ(value.type, VariantString);
        EXPECT_EQ(value.Text(), nullptr);
    }
    CVariant address;
    ASSERT_TRUE(device.GetSystemChannel(kChannelPeerAddress, address));
    EXPECT_STREQ(address.Text(), "0.0.0.0");
    CVariant port;
    ASSERT_TRUE(device.GetSystemChannel(kChannelPeerPort, port));
    EXPECT_EQ(port.GetU16(), 0);
}

// A refused read leaves the caller's variant exactly as it was.
TEST_F(BaseDeviceChannelTest, RefusedReadsLeaveTheVariantUntouched)
{
    const uint32_t kRefused[] = {0xFF000007, 0xFF000008, kChannelSystemValue, 0xFF00000B,
                                 0xFEFFFFFF, 0};
    device.transport = &endpoints;
    for (const uint32_t id : kRefused) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        CVariant value;
        value.SetU16(0xBEEF);
        EXPECT_FALSE(device.GetSystemChannel(id, value));
        EXPECT_EQ(value.type, VariantU16);
        EXPECT_EQ(value.GetU16(), 0xBEEF);
    }
}

TEST_F(BaseDeviceChannelTest, TransportChannelsAreRefusedWithoutATransport)
{
    for (uint32_t id = kChannelPeerHost; id <= kChannelLocalPort; ++id) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        CVariant value;
        value.SetU8(7);
        EXPECT_FALSE(device.GetSystemChannel(id, value));
        EXPECT_EQ(value.GetU8(), 7);
    }
}

TEST_F(BaseDeviceChannelTest, OnlyTheSystemValueCanBeWritten)
{
    CVariant seven;
    seven.SetString("7");
    EXPECT_TRUE(device.SetSystemChannel(kChannelSystemValue, seven));
    EXPECT_EQ(device.systemValue, 7u);

    CVariant yes;
    yes.SetBool(true);
    for (const uint32_t id : {kChannelSystemFlag, kChannelConnected, kChannelState, 0xFF000008u}) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        EXPECT_FALSE(device.SetSystemChannel(id, yes));
    }
    EXPECT_FALSE(device.systemFlag);
    EXPECT_FALSE(device.connected);
    EXPECT_EQ(device.systemValue, 7u);
}

// Strings of a record: set for the test, and freed by the test when the
// device does not own them.
struct OwnedStrings {
    char* string1 = Copy("one");
    char* string2 = Copy("two");
    char* string3 = Copy("three");
};

TEST(BaseDeviceSettingsTest, ReleaseFreesOnlyTheStringsTheKindOwns)
{
    struct KindCase {
        uint32_t kind;
        bool firstTwoKept;
    };
    const KindCase kKinds[] = {{3, true}, {0x13, true}, {4, false}, {0, false}};
    for (const KindCase& row : kKinds) {
        SCOPED_TRACE(testing::Message() << "kind " << std::hex << row.kind);
        ProbeDevice device;
        OwnedStrings strings;
        ConnectionSettings record{};
        record.kind = row.kind;
        record.string1 = strings.string1;
        record.string2 = strings.string2;
        record.string3 = strings.string3;
        ASSERT_TRUE(device.Open(&record));

        for (int call = 0; call < 2; ++call) {
            device.ReleaseSettings();
            EXPECT_EQ(device.settings.string3, nullptr);
            EXPECT_EQ(device.settings.string1, row.firstTwoKept ? strings.string1 : nullptr);
            EXPECT_EQ(device.settings.string2, row.firstTwoKept ? strings.string2 : nullptr);
        }
        if (row.firstTwoKept) {
            EXPECT_STREQ(device.settings.string1, "one") << "a borrowed string was freed";
            std::free(strings.string1);
            std::free(strings.string2);
            device.settings.string1 = nullptr;
            device.settings.string2 = nullptr;
        }
    }
}

// A null record changes nothing; a new one replaces the old, whose strings
// are released first.
TEST(BaseDeviceSettingsTest, OpenReleasesTheOldRecordBeforeCopyingTheNew)
{
    ProbeDevice device;
    ConnectionSettings first{};
    first.string1 = Copy("first");
    first.port = 514;
    ConnectionSettings second{};
    second.string1 = Copy("second");
    second.slotCount = 1024;
    second.timeout = 12000;

    ASSERT_TRUE(device.Open(&first));
    EXPECT_FALSE(device.Open(nullptr));
    EXPECT_EQ(device.settings.string1, first.string1);
    ASSERT_TRUE(device.Open(&second));
    ASSERT_EQ(device.releasedStrings.size(), 2u);
    EXPECT_EQ(device.releasedStrings[0], nullptr) << "a new device holds no strings";
    EXPECT_EQ(device.releasedStrings[1], first.string1) << "the first record was not released";
    EXPECT_EQ(device.settings.string1, second.string1);
    EXPECT_EQ(device.settings.port, 0);
    EXPECT_EQ(device.settings.slotCount, 1024u);
    EXPECT_EQ(device.settings.timeout, 12000u);
}

}  // namespace
