// The tagged value in which a device's channels are read and written.
#include "devices/variant.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

static const char* const kTypeNames[] = {
    "none", "bool", "s8",  "u8",  "s16",    "u16",     "s32",  "u32",
    "f32",  "s64",  "u64", "f64", "string", "pointer", "time",
};
static_assert(sizeof(kTypeNames) / sizeof(kTypeNames[0]) == VariantTime + 1,
              "one name per tag");
static_assert(sizeof(CVariant) == 16, "a variant is a tag word, a type and eight bytes");

const char* VariantTypeName(uint32_t type)
{
    return type <= VariantTime ? kTypeNames[type] : nullptr;
}

namespace {

// How a stored value is read before it is narrowed to the getter's type.
enum class Shape { Zero, Signed, Unsigned, Floating, Text };

Shape ShapeOf(VariantType type)
{
    switch (type) {
    case VariantBool:
    case VariantU8:
    case VariantU16:
    case VariantU32:
    case VariantU64:
        return Shape::Unsigned;
    case VariantS8:
    case VariantS16:
    case VariantS32:
    case VariantS64:
        return Shape::Signed;
    case VariantF32:
    case VariantF64:
        return Shape::Floating;
    case VariantString:
        return Shape::Text;
    default:
        return Shape::Zero;
    }
}

template <typename T>
T Load(const unsigned char* bytes)
{
    T result;
    std::memcpy(&result, bytes, sizeof result);
    return result;
}

int64_t LoadSigned(const CVariant& variant)
{
    switch (variant.type) {
    case VariantS8:
        return Load<int8_t>(variant.value);
    case VariantS16:
        return Load<int16_t>(variant.value);
    case VariantS32:
        return Load<int32_t>(variant.value);
    default:
        return Load<int64_t>(variant.value);
    }
}

uint64_t LoadUnsigned(const CVariant& variant)
{
    switch (variant.type) {
    case VariantBool:
        return Load<uint8_t>(variant.value) & 1u;
    case VariantU8:
        return Load<uint8_t>(variant.value);
    case VariantU16:
        return Load<uint16_t>(variant.value);
    case VariantU32:
        return Load<uint32_t>(variant.value);
    default:
        return Load<uint64_t>(variant.value);
    }
}

double LoadFloating(const CVariant& variant)
{
    if (variant.type == VariantF32) {
        return Load<float>(variant.value);
    }
    return Load<double>(variant.value);
}

// atoi's reading of a text, saturated at the 32-bit range: atoi itself leaves
// a number beyond that range undefined.
int32_t ParseInteger(const char* text)
{
    const long long parsed = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(parsed, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

double ParseFloating(const char* text)
{
    return std::strtod(text, nullptr);  // what atof reads, with defined overflow
}

// Truncates toward zero into Wide (32 or 64 bits) and keeps T's low bits.
// Beyond Wide's range the result saturates at T's own ends; NaN reads 0.
template <typename T, typename Wide>
T TruncateFloating(double number)
{
    if (std::isnan(number)) {
        return 0;
    }
    const double truncated = std::trunc(number);
    constexpr double kWideLow = static_cast<double>(std::numeric_limits<Wide>::min());
    if (truncated >= kWideLow && truncated < -kWideLow) {
        return static_cast<T>(static_cast<Wide>(truncated));
    }
    if (truncated < 0) {
        return std::numeric_limits<T>::min();
    }
    if (truncated >= std::ldexp(1.0, std::numeric_limits<T>::digits)) {
        return std::numeric_limits<T>::max();
    }
    return static_cast<T>(truncated);  // an unsigned 64-bit value above Wide's range
}

// Integers keep the low bits of the sign- or zero-extended value.
template <typename T, typename Wide>
T ToInteger(const CVariant& variant)
{
    switch (ShapeOf(variant.type)) {
    case Shape::Signed:
        return static_cast<T>(LoadSigned(variant));
    case Shape::Unsigned:
        return static_cast<T>(LoadUnsigned(variant));
    case Shape::Floating:
        return TruncateFloating<T, Wide>(LoadFloating(variant));
    case Shape::Text: {
        const char* text = variant.Text();
        return text == nullptr ? 0 : static_cast<T>(ParseInteger(text));
    }
    default:
        return 0;
    }
}

template <typename T>
T ToFloating(const CVariant& variant)
{
    switch (ShapeOf(variant.type)) {
    case Shape::Signed:
        return static_cast<T>(LoadSigned(variant));
    case Shape::Unsigned:
        return static_cast<T>(LoadUnsigned(variant));
    case Shape::Floating:
        if (variant.type == VariantF32) {
            return static_cast<T>(Load<float>(variant.value));
        }
        return static_cast<T>(Load<double>(variant.value));
    case Shape::Text: {
        const char* text = variant.Text();
        return text == nullptr ? 0 : static_cast<T>(ParseFloating(text));
    }
    default:
        return 0;
    }
}

}  // namespace

CVariant::CVariant() : reserved(0), type(VariantNone), value{} {}

CVariant::~CVariant()
{
    ReleaseString();
}

bool CVariant::GetBool() const
{
    switch (ShapeOf(type)) {
    case Shape::Signed:
        return LoadSigned(*this) != 0;
    case Shape::Unsigned:
        return LoadUnsigned(*this) != 0;
    case Shape::Floating:
        return LoadFloating(*this) != 0.0;  // a NaN is true
    case Shape::Text: {
        const char* text = Text();
        return text != nullptr && ParseInteger(text) != 0;
    }
    default:
        return false;
    }
}

int8_t CVariant::GetS8() const { return ToInteger<int8_t, int32_t>(*this); }
uint8_t CVariant::GetU8() const { return ToInteger<uint8_t, int32_t>(*this); }
int16_t CVariant::GetS16() const { return ToInteger<int16_t, int32_t>(*this); }
uint16_t CVariant::GetU16() const { return ToInteger<uint16_t, int32_t>(*this); }
int32_t CVariant::GetS32() const { return ToInteger<int32_t, int32_t>(*this); }
// A 64-bit truncation first, so that -1.0 reads 4294967295 rather than 0.
uint32_t CVariant::GetU32() const { return ToInteger<uint32_t, int64_t>(*this); }
float CVariant::GetF32() const { return ToFloating<float>(*this); }
int64_t CVariant::GetS64() const { return ToInteger<int64_t, int64_t>(*this); }
uint64_t CVariant::GetU64() const { return ToInteger<uint64_t, int64_t>(*this); }
double CVariant::GetF64() const { return ToFloating<double>(*this); }

const char* CVariant::Text() const
{
    return type == VariantString ? Load<const char*>(value) : nullptr;
}

void CVariant::SetBool(bool newValue)
{
    ReleaseString();
    type = VariantBool;
    std::memset(value, 0, sizeof value);
    value[0] = newValue ? 1 : 0;
}

void CVariant::SetU8(uint8_t newValue)
{
    ReleaseString();
    type = VariantU8;
    std::memset(value, 0, sizeof value);
    value[0] = newValue;
}

void CVariant::SetU16(uint16_t newValue)
{
    ReleaseString();
    type = VariantU16;
    std::memset(value, 0, sizeof value);
    std::memcpy(value, &newValue, sizeof newValue);
}

void CVariant::SetString(const char* text)
{
    char* copy = nullptr;
    if (text != nullptr && text[0] != '\0') {
        const size_t size = std::strlen(text) + 1;
        copy = static_cast<char*>(std::malloc(size));
        if (copy != nullptr) {
            std::memcpy(copy, text, size);
        }
    }
    // Copy first: `text` may be the very text this variant holds.
    ReleaseString();
    type = VariantString;
    std::memset(value, 0, sizeof value);
    std::memcpy(value, &copy, sizeof copy);
}

void CVariant::ReleaseString()
{
    char* held = const_cast<char*>(Text());
    if (held == nullptr) {
        return;
    }
    std::free(held);
    std::memset(value, 0, sizeof value);
}
