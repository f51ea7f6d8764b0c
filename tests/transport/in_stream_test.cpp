#include "transport/in_stream.h"

#include "tests/support/failing_allocate_stream_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Not KeepNewest or Grow: a write that does not fit is refused.
constexpr OverflowMode kRefuse = static_cast<OverflowMode>(0);

// Write number k carries bytes that differ from every other write's, so a
// lost, doubled or misplaced range shows in the stored bytes.
std::string Payload(size_t writeIndex, uint32_t n)
{
    std::string bytes(n, '\0');
    for (uint32_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((writeIndex * 97 + i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

std::string Stored(const CInStream& stream)
{
    return std::string(stream.readPos, stream.writePos);
}

void ExpectInvariant(const CInStream& stream)
{
    EXPECT_LE(stream.buffer, stream.readPos);
    EXPECT_LE(stream.readPos, stream.writePos);
    EXPECT_LE(stream.writePos, stream.buffer + stream.capacity);
}

// What a refused write must leave exactly as it was.
struct Snapshot {
    explicit Snapshot(const CInStream& stream)
        : buffer(stream.buffer), capacity(stream.capacity), readPos(stream.readPos),
          writePos(stream.writePos), bytes(Stored(stream))
    {
    }
    bool operator==(const Snapshot&) const = default;

    char* buffer;
    uint32_t capacity;
    char* readPos;
    char* writePos;
    std::string bytes;
};

struct WriteCase {
    const char* name;
    OverflowMode mode;
    uint32_t capacity;
    std::vector<uint32_t> writes;
    std::vector<bool> accepted;
    uint32_t capacityAfter;
    // The stored bytes are the newest this many bytes of the accepted writes.
    uint32_t storedAfter;
};

const WriteCase kWriteCases[] = {
    {"grow 1000 then 100", Grow, 1024, {1000, 100}, {true, true}, 1124, 1100},
    {"grow by exactly each write that does not fit", Grow, 8, {8, 5, 20}, {true, true, true}, 33, 33},
    {"grow into an empty stream of capacity 0", Grow, 0, {10}, {true}, 10, 10},
    {"keep newest 1000 then 100", KeepNewest, 1024, {1000, 100}, {true, true}, 1024, 1024},
    {"keep newest 2000 at once", KeepNewest, 1024, {2000}, {true}, 1024, 1024},
    {"keep newest a full write onto stored bytes", KeepNewest, 1024, {10, 1024}, {true, true}, 1024, 1024},
    {"keep newest through many small writes", KeepNewest, 16, {5, 5, 5, 5, 7, 1}, {true, true, true, true, true, true}, 16, 16},
    {"keep newest below capacity drops nothing", KeepNewest, 1024, {300, 300}, {true, true}, 1024, 600},
    {"refusing mode fills to capacity", kRefuse, 1024, {1024}, {true}, 1024, 1024},
    {"refusing mode then one more", kRefuse, 1024, {1024, 1}, {true, false}, 1024, 1024},
    {"refusing mode keeps taking what fits", kRefuse, 10, {6, 5, 4}, {true, false, true}, 10, 10},
};

TEST(InStreamTest, StoresByEachOverflowMode)
{
    for (const WriteCase& row : kWriteCases) {
        SCOPED_TRACE(row.name);
        CInStream stream(row.capacity, row.mode);
        std::string accepted;
        for (size_t i = 0; i < row.writes.size(); ++i) {
            const std::string data = Payload(i, row.writes[i]);
            EXPECT_EQ(stream.Write(data.data(), row.writes[i]), row.accepted[i]) << "write " << i;
            if (row.accepted[i]) {
                accepted += data;
            }
        }
        ExpectInvariant(stream);
        EXPECT_EQ(stream.capacity, row.capacityAfter);
        ASSERT_LE(row.storedAfter, accepted.size());
        EXPECT_TRUE(Stored(stream) == accepted.substr(accepted.size() - row.storedAfter))
            << "stored bytes differ";
    }
}

TEST(InStreamTest, ZeroByteWriteChangesNothingInEveryMode)
{
    for (OverflowMode mode : {KeepNewest, Grow, kRefuse}) {
        SCOPED_TRACE(static_cast<int>(mode));
        for (uint32_t filled : {0u, 1000u, 1024u}) {
            CInStream stream(1024, mode);
            const std::string data = Payload(0, filled);
            ASSERT_TRUE(stream.Write(data.data(), filled));
            const Snapshot before(stream);
            EXPECT_TRUE(stream.Write(nullptr, 0));
            EXPECT_TRUE(Snapshot(stream) == before) << "filled " << filled;
        }
    }
}

TEST(InStreamTest, RefusedWriteChangesNothing)
{
    CInStream stream(1024, kRefuse);
    const std::string data = Payload(0, 1025);
    ASSERT_TRUE(stream.Write(data.data(), 1000));
    const Snapshot before(stream);
    EXPECT_FALSE(stream.Write(data.data(), 25));
    EXPECT_TRUE(Snapshot(stream) == before);
}

TEST(InStreamTest, GrowPastFourGigabytesIsRefusedNotWrapped)
{
    // A capacity that wrapped would be tiny, and the copy would overrun it.
    // The refused write never reads its data, so a short buffer is enough.
    CInStream stream(1024, Grow);
    const std::string data = Payload(0, 1000);
    ASSERT_TRUE(stream.Write(data.data(), 1000));
    const Snapshot before(stream);
    EXPECT_FALSE(stream.Write(data.data(), UINT32_MAX - 1000));
    EXPECT_FALSE(stream.Write(data.data(), UINT32_MAX));
    EXPECT_TRUE(Snapshot(stream) == before);
}

TEST(InStreamTest, GrowThatCannotAllocateChangesNothing)
{
    CInStream stream(1024, Grow);
    const std::string data = Payload(0, 1100);
    ASSERT_TRUE(stream.Write(data.data(), 1000));
    const Snapshot before(stream);
    {
        CFailStreamAllocationScope failing;
        EXPECT_FALSE(stream.Write(data.data() + 1000, 100));
    }
    EXPECT_TRUE(Snapshot(stream) == before);

    // The stream is still whole: the same write succeeds once memory is back.
    EXPECT_TRUE(stream.Write(data.data() + 1000, 100));
    EXPECT_EQ(stream.capacity, 1124u);
    EXPECT_TRUE(Stored(stream) == data);
}

TEST(InStreamTest, StreamWithoutBlockRefusesUnlessItMayGrow)
{
    const std::string data = Payload(0, 10);
    for (OverflowMode mode : {KeepNewest, kRefuse}) {
        SCOPED_TRACE(static_cast<int>(mode));
        std::unique_ptr<CInStream> stream;
        {
            CFailStreamAllocationScope failing;
            stream = std::make_unique<CInStream>(1024, mode);
        }
        EXPECT_EQ(stream->buffer, nullptr);
        EXPECT_EQ(stream->capacity, 0u);
        EXPECT_TRUE(stream->Write(nullptr, 0));
        EXPECT_FALSE(stream->Write(data.data(), 10));
        EXPECT_EQ(stream->writePos, stream->readPos);
    }

    std::unique_ptr<CInStream> growing;
    {
        CFailStreamAllocationScope failing;
        growing = std::make_unique<CInStream>(1024, Grow);
    }
    EXPECT_TRUE(growing->Write(data.data(), 10));
    EXPECT_EQ(growing->capacity, 10u);
    EXPECT_TRUE(Stored(*growing) == data);
}

}  // namespace
