#include "transport/out_stream.h"

#include "tests/support/failing_stream_allocation.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(OutStreamTest, FailedAllocationLeavesNoCapacity)
{
    std::unique_ptr<COutStream> stream;
    {
        CFailStreamAllocationScope failing;
        stream = std::make_unique<COutStream>(1024);
    }
    EXPECT_EQ(stream->buffer, nullptr);
    EXPECT_EQ(stream->position, nullptr);
    EXPECT_EQ(stream->capacity, 0u);
}

}  // namespace
