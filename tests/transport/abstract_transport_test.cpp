#include "transport/abstract_transport.h"

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

// A transport whose operations only count, so the worker's state machine shows.
class CountingTransport : public CAbstractTransport {
public:
    explicit CountingTransport(CAbstractDevice* device) : CAbstractTransport(0, device) {}

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

    void Request(TransportState value) { transport->WriteState(value); }

    NullDevice device;
    CountingTransport* transport = new CountingTransport(&device);
};

// Long enough for two idle turns of about 105 ms each.
constexpr DWORD kTwoIdleTurnsMs = 250;

TEST_F(AbstractTransportTest, IdleMakesNoCalls)
{
    ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
    Sleep(kTwoIdleTurnsMs);  // waiting for nothing to happen needs a window of time
    EXPECT_EQ(transport->connects.load(), 0);
    EXPECT_EQ(transport->disconnects.load(), 0);
    EXPECT_EQ(transport->processes.load(), 0);
    EXPECT_EQ(transport->threadStarts.load(), 1);
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
    Sleep(kTwoIdleTurnsMs);
    EXPECT_EQ(transport->connects.load(), 1);
    EXPECT_EQ(transport->processes.load(), 0);
    EXPECT_EQ(transport->ReadState(), Idle);
}

// What the worker makes of a failed Process, by what another writer left in
// the state word meanwhile.
struct ProcessFailureCase {
    const char* name;
    TransportState writtenDuringProcess;  // Active: nobody else wrote
    int expectedDisconnects;
};

const ProcessFailureCase kProcessFailureCases[] = {
    {"nobody else wrote", Active, 1},
    {"a connect request gives way", ConnectRequested, 1},
    {"a disconnect request stays", DisconnectRequested, 1},
    {"idle stays idle", Idle, 0},
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
            transport->WriteState(row.writtenDuringProcess);
            return false;
        };
        ASSERT_TRUE(transport->Open(0, 0, 0, 0, 0, 0, 0));
        Request(ConnectRequested);
        ASSERT_TRUE(WaitUntil([&] { return failed.load(); }));
        ASSERT_TRUE(WaitUntil([&] { return transport->ReadState() == Idle; }));
        Sleep(kTwoIdleTurnsMs);
        EXPECT_EQ(transport->disconnects.load(), row.expectedDisconnects);
        EXPECT_EQ(transport->connects.load(), 1);
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

TEST_F(AbstractTransportTest, SendGoesThroughSendAllWhateverTheClient)
{
    const char data[] = "abc";
    EXPECT_TRUE(transport->Send(42, data, 3));
    EXPECT_EQ(transport->lastSendAllLength.load(), 3u);
}

TEST_F(AbstractTransportTest, AddressQueriesReportNothing)
{
    EXPECT_EQ(transport->GetLocalAddress(), 0u);
    EXPECT_EQ(transport->GetLocalPort(), 0);
    EXPECT_EQ(transport->GetClientAddress(3), 0u);
    EXPECT_EQ(transport->GetClientPort(3), 0);
    EXPECT_EQ(transport->GetClientHost(3), nullptr);
}

TEST(AbstractTransportRoutineTest, NullRecordOrOwnerReturnsAtOnce)
{
    EXPECT_EQ(CAbstractTransport::WorkerRoutine(nullptr), 0u);
    CWorkerThread ownerless(nullptr, &CAbstractTransport::WorkerRoutine);
    EXPECT_EQ(CAbstractTransport::WorkerRoutine(&ownerless), 0u);
}

}  // namespace
