// Identifiers on Windows: CoCreateGuid itself.
#include "platform/Guid.h"

#include <atomic>

#include <objbase.h>

namespace platform {

namespace {
std::atomic<bool> s_failForTest{false};
}

int32_t CoCreateGuid(GUID* guid) {
    if (guid == nullptr || s_failForTest)
        return static_cast<int32_t>(0x80004005u);  // E_FAIL
    ::GUID made{};
    const HRESULT hr = ::CoCreateGuid(&made);
    if (FAILED(hr))
        return hr;
    guid->Data1 = made.Data1;
    guid->Data2 = made.Data2;
    guid->Data3 = made.Data3;
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = made.Data4[i];
    return 0;  // S_OK
}

void SetGuidFailureForTest(bool fail) {
    s_failForTest = fail;
}

}  // namespace platform
