#include "devices/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
constexpr int32_t kS32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kS32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kS64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kS64Max = std::numeric_limits<int64_t>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

union Payload {
    uint8_t u8;
    int8_t s8;
    int16_t s16;
    uint16_t u16;
    int32_t s32;
    uint32_t u32;
    float f32;
    int64_t s64;
    uint64_t u64;
    double f64;
};

// What every getter should read, in the order of the getters.
struct Readings {
    bool b;
    int8_t s8;
    uint8_t u8;
    int16_t s16;
    uint16_t u16;
    int32_t s32;
    uint32_t u32;
    float f32;
    int64_t s64;
    uint64_t u64;
    double f64;
};

struct ConversionCase {
    const char* name;
    VariantType type;
    Payload payload;   // for every tag but "string"
    const char* text;  // for "string"
    Readings want;
};

constexpr Readings kZero = {false, 0, 0, 0, 0, 0, 0, 0.0f, 0, 0, 0.0};
constexpr Readings kOne = {true, 1, 1, 1, 1, 1, 1, 1.0f, 1, 1, 1.0};
constexpr Readings kMinusOne = {true, -1, 255, -1, 65535, -1,
                                4294967295u, -1.0f, -1, kU64Max, -1.0};

const ConversionCase kConversionCases[] = {
    // Tags without a payload the getters know read zero, whatever the bytes hold.
    {"none", VariantNone, {.u64 = kU64Max}, nullptr, kZero},
    {"pointer", VariantPointer, {.u64 = kU64Max}, nullptr, kZero},
    {"time", VariantTime, {.u64 = kU64Max}, nullptr, kZero},
    {"tag beyond time", static_cast<VariantType>(15), {.u64 = kU64Max}, nullptr, kZero},
    // Only the lowest bit of a bool counts.
    {"bool 1", VariantBool, {.u8 = 1}, nullptr, kOne},
    {"bool byte 2", VariantBool, {.u8 = 2}, nullptr, kZero},
    {"bool byte 3", VariantBool, {.u8 = 3}, nullptr, kOne},
    {"s8 -1", VariantS8, {.s8 = -1}, nullptr, kMinusOne},
    {"u8 255", VariantU8, {.u8 = 255}, nullptr,
     {true, -1, 255, 255, 255, 255, 255, 255.0f, 255, 255, 255.0}},
    {"s16 -32768", VariantS16, {.s16 = -32768}, nullptr,
     {true, 0, 0, -32768, 32768, -32768, 4294934528u, -32768.0f, -32768, 18446744073709518848u,
      -32768.0}},
    {"u16 65535", VariantU16, {.u16 = 65535}, nullptr,
     {true, -1, 255, -1, 65535, 65535, 65535, 65535.0f, 65535, 65535, 65535.0}},
    {"s32 minimum", VariantS32, {.s32 = kS32Min}, nullptr,
     {true, 0, 0, 0, 0, kS32Min, 2147483648u, -2147483648.0f, kS32Min, 18446744071562067968u,
      -2147483648.0}},
    // The top bit makes a large positive number, never a negative one.
    {"u32 2147483648", VariantU32, {.u32 = 2147483648u}, nullptr,
     {true, 0, 0, 0, 0, kS32Min, 2147483648u, 2147483648.0f, 2147483648, 2147483648u,
      2147483648.0}},
    {"f32 -1.5", VariantF32, {.f32 = -1.5f}, nullptr,
     {true, -1, 255, -1, 65535, -1, 4294967295u, -1.5f, -1, kU64Max, -1.5}},
    // Widening to 64 bits adds no digits of its own.
    {"f32 0.1", VariantF32, {.f32 = 0.1f}, nullptr,
     {true, 0, 0, 0, 0, 0, 0, 0.1f, 0, 0, 0.100000001490116119384765625}},
    // The low 32 bits are 1: narrow getters must not go through a saturating step.
    {"s64 -4294967295", VariantS64, {.s64 = -4294967295}, nullptr,
     {true, 1, 1, 1, 1, 1, 1, -4294967296.0f, -4294967295, 18446744069414584321u,
      -4294967295.0}},
    {"u64 maximum", VariantU64, {.u64 = kU64Max}, nullptr,
     {true, -1, 255, -1, 65535, -1, 4294967295u, 18446744073709551616.0f, -1, kU64Max,
      18446744073709551616.0}},
    {"f64 -2.9", VariantF64, {.f64 = -2.9}, nullptr,
     {true, -2, 254, -2, 65534, -2, 4294967294u, -2.9f, -2, 18446744073709551614u, -2.9}},
    {"f64 300.75", VariantF64, {.f64 = 300.75}, nullptr,
     {true, 44, 44, 300, 300, 300, 300, 300.75f, 300, 300, 300.75}},
    {"f64 -0.5", VariantF64, {.f64 = -0.5}, nullptr,
     {true, 0, 0, 0, 0, 0, 0, -0.5f, 0, 0, -0.5}},
    {"string -1", VariantString, {}, "-1", kMinusOne},
    {"string 2.75", VariantString, {}, "2.75", {true, 2, 2, 2, 2, 2, 2, 2.75f, 2, 2, 2.75}},
    {"string 0.5", VariantString, {}, "0.5", {false, 0, 0, 0, 0, 0, 0, 0.5f, 0, 0, 0.5}},
    {"string true", VariantString, {}, "true", kZero},
    {"string 12abc", VariantString, {}, "12abc",
     {true, 12, 12, 12, 12, 12, 12, 12.0f, 12, 12, 12.0}},
    // Integers are read in the 32-bit range only, saturating beyond it.
    {"string 4294967296", VariantString, {}, "4294967296",
     {true, -1, 255, -1, 65535, kS32Max, 2147483647u, 4294967296.0f, kS32Max, 2147483647u,
      4294967296.0}},
    {"string -9999999999", VariantString, {}, "-9999999999",
     {true, 0, 0, 0, 0, kS32Min, 2147483648u, -9999999999.0f, kS32Min, 18446744071562067968u,
      -9999999999.0}},
    {"string null", VariantString, {}, nullptr, kZero},
    {"string empty", VariantString, {}, "", kZero},
};

void Fill(CVariant& variant, VariantType type, const Payload& payload, const char* text)
{
    if (type == VariantString) {
        variant.SetString(text);
        return;
    }
    variant.type = type;
    std::memcpy(variant.value, &payload, sizeof variant.value);
}

TEST(VariantTest, EveryTagConvertsThroughEveryGetter)
{
    for (const ConversionCase& row : kConversionCases) {
        SCOPED_TRACE(row.name);
        CVariant variant;
        Fill(variant, row.type, row.payload, row.text);
        EXPECT_EQ(variant.GetBool(), row.want.b);
        EXPECT_EQ(variant.GetS8(), row.want.s8);
        EXPECT_EQ(variant.GetU8(), row.want.u8);
        EXPECT_EQ(variant.GetS16(), row.want.s16);
        EXPECT_EQ(variant.GetU16(), row.want.u16);
        EXPECT_EQ(variant.GetS32(), row.want.s32);
        EXPECT_EQ(variant.GetU32(), row.want.u32);
        EXPECT_EQ(variant.GetF32(), row.want.f32);
        EXPECT_EQ(variant.GetS64(), row.want.s64);
        EXPECT_EQ(variant.GetU64(), row.want.u64);
        EXPECT_EQ(variant.GetF64(), row.want.f64);
        EXPECT_EQ(variant.type, row.type) << "a getter changed the variant";
    }
}

struct TruncationCase {
    const char* name;
    double number;
    int8_t s8;
    uint8_t u8;
    int16_t s16;
    uint16_t u16;
    int32_t s32;
    uint32_t u32;
    int64_t s64;
    uint64_t u64;
};

// Where the 32- or 64-bit truncation does not fit, the getter saturates at
// its own range; NaN reads 0.
const TruncationCase kTruncationCases[] = {
    {"NaN", std::nan(""), 0, 0, 0, 0, 0, 0, 0, 0},
    {"+infinity", kInfinity, 127, 255, 32767, 65535, kS32Max, 4294967295u, kS64Max, kU64Max},
    {"-infinity", -kInfinity, -128, 0, -32768, 0, kS32Min, 0, kS64Min, 0},
    {"largest 32-bit truncation", 2147483647.9, -1, 255, -1, 65535, kS32Max, 2147483647u,
     2147483647, 2147483647u},
    {"one past the 32-bit range", 2147483648.0, 127, 255, 32767, 65535, kS32Max, 2147483648u,
     2147483648, 2147483648u},
    {"one below the 32-bit range", -2147483649.0, -128, 0, -32768, 0, kS32Min, 2147483647u,
     -2147483649, 18446744071562067967u},
    {"smallest 64-bit truncation", -9223372036854775808.0, -128, 0, -32768, 0, kS32Min, 0,
     kS64Min, 9223372036854775808u},
    {"one past the 64-bit range", 9223372036854775808.0, 127, 255, 32767, 65535, kS32Max,
     4294967295u, kS64Max, 9223372036854775808u},
    {"1e19 fits only the unsigned getter", 1e19, 127, 255, 32767, 65535, kS32Max, 4294967295u,
     kS64Max, 10000000000000000000u},
    {"1e30", 1e30, 127, 255, 32767, 65535, kS32Max, 4294967295u, kS64Max, kU64Max},
    {"-1e30", -1e30, -128, 0, -32768, 0, kS32Min, 0, kS64Min, 0},
};

TEST(VariantTest, FloatingValuesOutsideTheIntegerRangesHaveDefinedResults)
{
    for (const TruncationCase& row : kTruncationCases) {
        for (const VariantType type : {VariantF64, VariantF32}) {
            const float narrowed = static_cast<float>(row.number);
            if (type == VariantF32 && !std::isnan(row.number) && narrowed != row.number) {
                continue;  // not a float value: only the f64 source applies
            }
            SCOPED_TRACE(std::string(row.name) + (type == VariantF32 ? " as f32" : " as f64"));
            const Payload payload =
                type == VariantF32 ? Payload{.f32 = narrowed} : Payload{.f64 = row.number};
            CVariant variant;
            Fill(variant, type, payload, nullptr);
            EXPECT_EQ(variant.GetS8(), row.s8);
            EXPECT_EQ(variant.GetU8(), row.u8);
            EXPECT_EQ(variant.GetS16(), row.s16);
            EXPECT_EQ(variant.GetU16(), row.u16);
            EXPECT_EQ(variant.GetS32(), row.s32);
            EXPECT_EQ(variant.GetU32(), row.u32);
            EXPECT_EQ(variant.GetS64(), row.s64);
            EXPECT_EQ(variant.GetU64(), row.u64);
            EXPECT_TRUE(variant.GetBool()) << "only 0.0 is false, a NaN included";
        }
    }
}

TEST(VariantTest, NaNStaysNaNThroughTheFloatingGetters)
{
    CVariant variant;
    Fill(variant, VariantF64, Payload{.f64 = std::nan("")}, nullptr);
    EXPECT_TRUE(std::isnan(variant.GetF32()));
    EXPECT_TRUE(std::isnan(variant.GetF64()));
}

TEST(VariantTest, SetStringKeepsItsOwnCopy)
{
    char text[] = "42";
    CVariant variant;
    variant.SetString(text);
    text[0] = '9';
    ASSERT_NE(variant.Text(), nullptr);
    EXPECT_NE(variant.Text(), text);
    EXPECT_STREQ(variant.Text(), "42");
    EXPECT_EQ(variant.GetU8(), 42);
}

TEST(VariantTest, SetStringAcceptsTheTextItAlreadyHolds)
{
    CVariant variant;
    variant.SetString("held text");
    variant.SetString(variant.Text());
    ASSERT_NE(variant.Text(), nullptr);
    EXPECT_STREQ(variant.Text(), "held text");
}

TEST(VariantTest, NullOrEmptyTextGivesAStringWithoutText)
{
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        CVariant variant;
        variant.SetU16(5);
        variant.SetString(text);
        EXPECT_EQ(variant.type, VariantString);
        EXPECT_EQ(variant.Text(), nullptr);
    }
}

TEST(VariantTest, ANumberReplacesAHeldString)
{
    CVariant variant;
    variant.SetString("7");
    variant.SetU16(9);
    EXPECT_EQ(variant.type, VariantU16);
    EXPECT_EQ(variant.Text(), nullptr);
    EXPECT_EQ(variant.GetU16(), 9);
    EXPECT_EQ(variant.GetU64(), 9u);
}

}  // namespace
