#include "transport/abstract_transport.h"

#include "tests/support/counting_turn_pause.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace {

using testsupport::FinishesWithin;
using testsupport::WaitUntil;

class NullDevice : public CAbstractDevice {
public:
    void OnReceive(uint32_t, const char*, int32_t) override {}
};

// An idle turn pauses twice (its idle pause, then the pause after every
// turn), so this many more pauses hold two whole turns that began after
// they were counted from: a call that an idle worker wrongly makes comes
// within them.
constexpr int kTwoWholeTurnsOfPauses = 6;

constexpr uint32_t kPeerAddress = 0x0100007F;
constexpr uint16_t kPeerPort = 5140;
constexpr char kPeerHost[] = "peer";

// A transport whose operations only count, so the worker's state machine shows.
class CountingTransport : public CAbstractTransport {
public:
    explicit CountingTransport(CAbstractDevice* device) : CAbstractTransport(0, device) {}
    // The worker calls into this part; the base would stop it only after
    // this part is gone.
    ~CountingTransport() override { worker->Stop(); }

    bool Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override
    {
        return worker->Start();
    }
    bool Connect() override
    {
        NoteCall();
        ++connects;
        WriteStateAndConnected(connectSucceeds ? Active : Idle, connectSucceeds);
        return connectSucceeds;
    }
    void Disconnect() override
    {
        NoteCall();
        ++disconnects;
        WriteStateAndConnected(Idle, false);
    }
    bool SendAll(const char*, uint32_t length) override
    {
        lastSendAllLength = length;
        return true;
    }
    bool Process() override
    {
        NoteCall();
        ++processes;
        if (onProcess) {
            return onProcess();
        }
        return true;
    }
    void Reserved1(uint32_t, uint32_t) override {}
    void Reserved2(uint32_t) override {}
    void Reserved3() override {}
    uint32_t GetPeerAddress() override { return kPeerAddress; }
    uint16_t GetPeerPort() override { return kPeerPort; }
    const char* GetPeerHost() override { return kPeerHost; }
    void OnThreadStart() override { ++threadStarts; }
    void OnThreadEnd() override
    {
        ++threadEnds;
        ended = true;
    }

    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0};
    std::atomic<int> processes{0};
    std::atomic<int> threadStarts{0};
    std::atomic<int> threadEnds{0};
    std::atomic<int> callsAfterEnd{0};
    std::atomic<bool> ended{false};
    std::atomic<uint32_t> lastSendAllLength{0};
    bool connectSucceeds = true;
    std::function<bool()> onProcess;  // set before the worker runs it

private:
    void NoteCall()
    {
        if (ended) {
            ++callsAfterEnd;
        }
    }
};

class AbstractTransportTest : public ::testing::Test {
protected:
    void TearDown() override { delete transport; }

    // As a device asks: a connect unless active, a disconnect unless idle.
    void Request(TransportState value)
    {
        transport->RequestState(value, value == ConnectRequested ? Active : Idle);
    }

    int Calls() { return transport->connects + transport->disconnects + transport->processes; }

    // True when a call beyond `expected` comes within two whole turns.
    // Counted in the worker's own pauses, not in time: a loaded machine
    // may give it less than a turn in any fixed time.
    bool ExtraCallComes(int expected)
    {
        const int pauses = gTurnPauses;
        const bool turned = WaitUntil(
            [&] { return Calls() > expected || gTurnPauses >= pauses + kTwoWholeTurnsOfPauses; });
        EXPECT_TRUE(turned) << "the worker stopped turning";
        return Calls() > expected;
    }

    // The worker still turns: a new connect request is served at once.
    void ExpectWorkerServesAConnect()
    {
        const int connects = transport->connects;
        Request(ConnectRequested);
        EXPECT_TRUE(WaitUntil([&] { return transport->connects == connects + 1; }));
    }

    NullDevice device;
    CountingTransport* transport = new CountingTransport(&device);
};

TEST_F(AbstractTransportTest, IdleMakesNoCalls)
{
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(ExtraCallComes(0));
    EXPECT_EQ(transport->threadStarts.load(), 1);
    ExpectWorkerServesAConnect();
}

TEST_F(AbstractTransportTest, OneConnectPerRequestThenProcessEveryTurn)
{
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    Request(ConnectRequested);
    ASSERT_TRUE(WaitUntil([&] { return transport->processes >= 5; }));
    EXPECT_EQ(transport->connects.load(), 1);
    EXPECT_EQ(transport->ReadState(), Active);
}

TEST_F(AbstractTransportTest, FailedConnectFallsBackToIdle)
{
    transport->connectSucceeds = false;
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    Request(ConnectRequested);
    ASSERT_TRUE(WaitUntil([&] { return transport->connects == 1; }));
    EXPECT_EQ(transport->ReadState(), Idle);
    EXPECT_FALSE(ExtraCallComes(1));
    ExpectWorkerServesAConnect();
}

// What the worker makes of a failed Process, by what became of the state
// word meanwhile.
struct ProcessFailureCase {
    const char* name;
    bool leavesItIdle;         // Process dropped the connection itself
    TransportState requested;  // then asked for, as a device asks; Active: nothing
    int expectedDisconnects;
};

const ProcessFailureCase kProcessFailureCases[] = {
    {"nothing else happened", false, Active, 1},
    {"a disconnect request stays", false, DisconnectRequested, 1},
    {"idle stays idle", true, Active, 0},
    {"a connect request after it went idle gives way", true, ConnectRequested, 1},
};

TEST_F(AbstractTransportTest, FailedProcessRequestsDisconnectUnlessIdle)
{
    delete transport;
    for (const ProcessFailureCase& row : kProcessFailureCases) {
        SCOPED_TRACE(row.name);
        transport = new CountingTransport(&device);
        std::atomic<bool> failed{false};
        transport->onProcess = [&] {
            if (failed.exchange(true)) {
                return true;
            }
            if (row.leavesItIdle) {
                transport->WriteStateAndConnected(Idle, false);
            }
            if (row.requested != Active) {
                Request(row.requested);
            }
            return false;
        };
        ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
        Request(ConnectRequested);
        ASSERT_TRUE(WaitUntil([&] { return failed.load(); }));
        ASSERT_TRUE(WaitUntil([&] {
            return transport->ReadState() == Idle &&
                   transport->disconnects == row.expectedDisconnects;
        }));
        // One connect, one failed Process, the disconnects; nothing after.
        EXPECT_FALSE(ExtraCallComes(2 + row.expectedDisconnects));
        EXPECT_EQ(transport->disconnects.load(), row.expectedDisconnects);
        EXPECT_EQ(transport->connects.load(), 1);
        ExpectWorkerServesAConnect();
        // Stops the worker while `failed` still lives.
        delete transport;
        transport = nullptr;
    }
}

TEST_F(AbstractTransportTest, ThreadEndIsAnnouncedOnceAfterTheLastTurn)
{
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    Request(ConnectRequested);
    ASSERT_TRUE(WaitUntil([&] { return transport->processes >= 3; }));
    transport->worker->Stop();
    EXPECT_EQ(transport->threadEnds.load(), 1);
    EXPECT_EQ(transport->callsAfterEnd.load(), 0);
    transport->worker->Stop();  // the destructor stops again; no second end
    EXPECT_EQ(transport->threadEnds.load(), 1);
}

TEST_F(AbstractTransportTest, DestructionWhileIdleDoesNotHang)
{
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    CountingTransport* doomed = transport;
    transport = nullptr;
    EXPECT_TRUE(FinishesWithin([doomed] { delete doomed; }));
}

TEST_F(AbstractTransportTest, DestructionWithoutWorkerStartedDoesNotHang)
{
    CountingTransport* doomed = transport;
    transport = nullptr;
    EXPECT_TRUE(FinishesWithin([doomed] { delete doomed; }));
}

// A transport with one peer answers every per-client call for that peer.
TEST_F(AbstractTransportTest, ClientCallsGoToThePeerWhateverTheClient)
{
    for (uint16_t client : {uint16_t{0}, uint16_t{3}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(client);
        EXPECT_EQ(transport->GetClientAddress(client), kPeerAddress);
        EXPECT_EQ(transport->GetClientPort(client), kPeerPort);
        EXPECT_STREQ(transport->GetClientHost(client), kPeerHost);
        const uint32_t length = 3u + client % 5;
        EXPECT_TRUE(transport->Send(client, "abcdefgh", length));
        EXPECT_EQ(transport->lastSendAllLength.load(), length);
    }
}

TEST(AbstractTransportRoutineTest, NullRecordOrOwnerReturnsAtOnce)
{
    EXPECT_EQ(CAbstractTransport::WorkerRoutine(nullptr), 0u);
    CWorkerThread ownerless(nullptr, &CAbstractTransport::WorkerRoutine);
    EXPECT_EQ(CAbstractTransport::WorkerRoutine(&ownerless), 0u);
}

}  // namespace
