// Identifiers on Linux: version-4 GUIDs from the kernel's random source.
#include "platform/Guid.h"

#include <errno.h>
#include <sys/random.h>

#include <atomic>

namespace platform {

namespace {
std::atomic<bool> s_failForTest{false};
}

int32_t CoCreateGuid(GUID* guid) {
    if (guid == nullptr || s_failForTest)
        return E_FAIL;
    uint8_t bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return E_FAIL;
        got += static_cast<size_t>(n);
    }
    guid->Data1 =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    guid->Data2 = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
    // Version 4 (random) and the RFC 4122 variant.
    guid->Data3 = static_cast<uint16_t>(((bytes[6] | (bytes[7] << 8)) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = bytes[8 + i];
    guid->Data4[0] = static_cast<uint8_t>((guid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

void SetGuidFailureForTest(bool fail) {
    s_failForTest = fail;
}

}  // namespace platform
