#include "transport/out_stream.h"

#include "tests/support/failing_allocate_stream_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

struct OutStreamCase {
    const char* name;
    bool allocationFails;
    uint32_t capacity;  // what a writer may fill
};

const OutStreamCase kOutStreamCases[] = {
    {"allocated", false, 1024},
    {"allocation failed: nothing to write into", true, 0},
};

// A writer that keeps within the capacity, from the position on, gets back
// what it wrote, and never writes through null.
TEST(OutStreamTest, WriterWithinTheCapacityGetsBackWhatItWrote)
{
    constexpr uint32_t kRequested = 1024;
    std::string bytes(kRequested + 16, '\0');  // more than fits
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + 1);
    }
    for (const OutStreamCase& row : kOutStreamCases) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<COutStream> stream;
        {
            std::optional<CFailStreamAllocationScope> failing;
            if (row.allocationFails) {
                failing.emplace();
            }
            stream = std::make_unique<COutStream>(kRequested);
        }
        ASSERT_EQ(stream->capacity, row.capacity);
        ASSERT_EQ(stream->position, stream->buffer);
        const size_t fits = std::min<size_t>(bytes.size(), stream->capacity);
        if (fits > 0) {
            std::memcpy(stream->position, bytes.data(), fits);
            stream->position += fits;
        }
        EXPECT_EQ(std::string(stream->buffer, stream->position), bytes.substr(0, row.capacity));
    }
}

}  // namespace
