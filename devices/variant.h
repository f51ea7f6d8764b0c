// The tagged value in which a device's channels are read and written.
#pragma once

#include <cstdint>

enum VariantType : uint32_t {
    VariantNone = 0,
    VariantBool = 1,
    VariantS8 = 2,
    VariantU8 = 3,
    VariantS16 = 4,
    VariantU16 = 5,
    VariantS32 = 6,
    VariantU32 = 7,
    VariantF32 = 8,
    VariantS64 = 9,
    VariantU64 = 10,
    VariantF64 = 11,
    VariantString = 12,
    VariantPointer = 13,
    VariantTime = 14,
};

// The tag's name ("none" to "time"), or null for a tag without one.
const char* VariantTypeName(uint32_t type);

// Every getter converts whatever is held; what cannot be converted reads as
// zero. A "string" payload is a malloc'd copy that the variant owns.
class CVariant {
public:
    CVariant();
    ~CVariant();

    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    bool GetBool() const;
    int8_t GetS8() const;
    uint8_t GetU8() const;
    int16_t GetS16() const;
    uint16_t GetU16() const;
    int32_t GetS32() const;
    uint32_t GetU32() const;
    float GetF32() const;
    int64_t GetS64() const;
    uint64_t GetU64() const;
    double GetF64() const;

    // The held text, or null when the variant holds no text.
    const char* Text() const;

    void SetBool(bool newValue);
    void SetU8(uint8_t newValue);
    void SetU16(uint16_t newValue);
    // A null or empty text (or a failed copy) stores a string without text.
    void SetString(const char* text);

    uint32_t reserved;  // no operation reads it; kept for the record's layout
    VariantType type;
    alignas(8) unsigned char value[8];  // every payload begins at the first byte

private:
    void ReleaseString();
};
