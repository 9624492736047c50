#pragma once
// New GUIDs: 16 bytes from the kernel's random source with the version-4 bits.

#include <cstdint>

namespace platform {

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

constexpr int32_t S_OK = 0;
constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);

// S_OK with a fresh version-4 GUID, or E_FAIL when no random bytes could be had.
int32_t CoCreateGuid(GUID* guid);

// Test hook: make CoCreateGuid fail while set.
void SetGuidFailureForTest(bool fail);

}  // namespace platform
