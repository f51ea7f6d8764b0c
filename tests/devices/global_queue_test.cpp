#include "devices/global_queue.h"

#include "tests/support/failing_allocation.h"
#include "tests/support/installed_services.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::CInstalledGlobalQueue;
using testsupport::CInstalledSystemLogger;

const char kNoQueueLine[] =
    "\tERROR\t!!!!!!!!!!!!!!!!!!! CGlobalQueue NOT EXIST!!!!!!!!!!!!!!!!!!!!!\n";

QueueEvent* NewEvent(uint32_t code)
{
    auto* event = static_cast<QueueEvent*>(std::calloc(1, sizeof(QueueEvent)));
    event->code = code;
    return event;
}

class GlobalQueueTest : public ::testing::Test {
protected:
    GlobalQueueTest() { gEventAllocations = 0; }
    ~GlobalQueueTest() override
    {
        gFailEventAllocation = false;
        gFailOperatorNew = false;
    }
};

TEST_F(GlobalQueueTest, EventsComeOutOldestFirst)
{
    CGlobalQueue queue;
    EXPECT_EQ(queue.Pop(), nullptr);
    for (uint32_t code = EventDeviceConnected; code <= EventClientDisconnected; ++code) {
        ASSERT_TRUE(queue.Push(NewEvent(code)));
    }
    EXPECT_EQ(queue.Count(), 4u);
    for (uint32_t code = EventDeviceConnected; code <= EventClientDisconnected; ++code) {
        QueueEvent* event = queue.Pop();
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(event->code, code);
        std::free(event);
    }
    EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(GlobalQueueTest, PostedEventCarriesTheDeviceAndClient)
{
    CInstalledGlobalQueue installed;
    PostDeviceEvent(EventDeviceConnected, 0, 0);
    PostDeviceEvent(EventClientConnected, 0xBEEF, 65535);

    const std::vector<QueueEvent> events = installed.TakeAll();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, 129u);
    EXPECT_EQ(events[0].clientIndex, 0u);
    const QueueEvent& client = events[1];
    EXPECT_EQ(client.code, 131u);
    EXPECT_EQ(client.deviceId, 0xBEEFu);
    EXPECT_EQ(client.clientIndex, 65535u) << "widened, not sign-extended";
    EXPECT_EQ(client.reserved1 | client.reserved2 | client.reserved3 | client.reserved4, 0u);
}

TEST_F(GlobalQueueTest, WithoutAQueueThePostIsLoggedAndNothingAllocated)
{
    CInstalledSystemLogger logger;
    PostDeviceEvent(EventClientDisconnected, 0, 3);
    EXPECT_EQ(gEventAllocations.load(), 0);
    const std::vector<std::string> lines = logger.sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(kNoQueueLine), std::string::npos) << lines[0];
}

TEST_F(GlobalQueueTest, WithNeitherServiceThePostDoesNothing)
{
    ASSERT_EQ(gGlobalQueue, nullptr);
    ASSERT_EQ(gSystemLogger, nullptr);
    PostDeviceEvent(EventDeviceDisconnected, 0, 0);
    EXPECT_EQ(gEventAllocations.load(), 0);
}

TEST_F(GlobalQueueTest, FailedRecordAllocationPostsNothing)
{
    CInstalledGlobalQueue installed;
    gFailEventAllocation = true;
    PostDeviceEvent(EventClientConnected, 0, 1);
    gFailEventAllocation = false;
    EXPECT_EQ(gEventAllocations.load(), 1);
    EXPECT_EQ(installed.queue.Count(), 0u);

    PostDeviceEvent(EventClientConnected, 0, 2);
    EXPECT_EQ(installed.queue.Count(), 1u) << "the queue must still work afterwards";
    installed.TakeAll();
}

TEST_F(GlobalQueueTest, PushThatCannotGrowTheQueueIsRefused)
{
    CGlobalQueue queue;
    QueueEvent* event = NewEvent(EventDeviceConnected);
    gFailOperatorNew = true;
    const bool pushed = queue.Push(event);  // frees the event when refused
    gFailOperatorNew = false;
    EXPECT_FALSE(pushed);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_TRUE(queue.Push(NewEvent(EventDeviceDisconnected)));
    EXPECT_EQ(queue.Count(), 1u);
}

TEST_F(GlobalQueueTest, ConcurrentPostsAreAllQueued)
{
    constexpr int kPerThread = 2000;
    CInstalledGlobalQueue installed;
    auto post = [](uint16_t clientIndex) {
        for (int i = 0; i < kPerThread; ++i) {
            PostDeviceEvent(EventClientConnected, 0, clientIndex);
        }
    };
    std::thread first(post, 1);
    std::thread second(post, 2);
    first.join();
    second.join();

    int perClient[3] = {0, 0, 0};
    for (const QueueEvent& event : installed.TakeAll()) {
        ASSERT_TRUE(event.clientIndex == 1 || event.clientIndex == 2);
        ++perClient[event.clientIndex];
    }
    EXPECT_EQ(perClient[1], kPerThread);
    EXPECT_EQ(perClient[2], kPerThread);
}

}  // namespace
