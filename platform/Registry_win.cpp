// The registry calls on Windows: advapi32's own. A platform::HKEY is the Windows handle
// itself, so the predefined roots and opened keys pass through unchanged, and so does every
// status. Only the sizes change type (uint32_t here, DWORD there).
#include "platform/Registry.h"

#include "platform/Guid.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace platform {
namespace {

::HKEY Win(HKEY key) {
    return reinterpret_cast<::HKEY>(key);
}

HKEY Ours(::HKEY key) {
    return reinterpret_cast<HKEY>(key);
}

// A DWORD copy of an optional in/out size, written back when the call returns.
class DwordArg {
public:
    explicit DwordArg(uint32_t* value) : m_value(value), m_dword(value ? *value : 0) {}
    ~DwordArg() {
        if (m_value)
            *m_value = static_cast<uint32_t>(m_dword);
    }
    DwordArg(const DwordArg&) = delete;
    DwordArg& operator=(const DwordArg&) = delete;
    DWORD* Get() { return m_value ? &m_dword : nullptr; }

private:
    uint32_t* m_value;
    DWORD m_dword;
};

}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, const wchar_t* subKey, uint32_t options, uint32_t samDesired,
                      HKEY* result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(Win(key), subKey, options, samDesired, &opened);
    *result = status == ERROR_SUCCESS ? Ours(opened) : nullptr;
    return status;
}

LSTATUS RegCreateKeyExW(HKEY key, const wchar_t* subKey, uint32_t reserved, wchar_t* keyClass,
                        uint32_t options, uint32_t samDesired, const void* security, HKEY* result,
                        uint32_t* disposition) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    ::HKEY created = nullptr;
    DwordArg disp(disposition);
    LSTATUS status = ::RegCreateKeyExW(
        Win(key), subKey, reserved, keyClass, options, samDesired,
        static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(security)), &created, disp.Get());
    *result = status == ERROR_SUCCESS ? Ours(created) : nullptr;
    return status;
}

LSTATUS RegCloseKey(HKEY key) {
    return ::RegCloseKey(Win(key));
}

LSTATUS RegEnumKeyExW(HKEY key, uint32_t index, wchar_t* name, uint32_t* nameChars,
                      uint32_t* reserved, wchar_t* keyClass, uint32_t* classChars,
                      void* lastWriteTime) {
    DwordArg nameArg(nameChars), reservedArg(reserved), classArg(classChars);
    return ::RegEnumKeyExW(Win(key), index, name, nameArg.Get(), reservedArg.Get(), keyClass,
                           classArg.Get(), static_cast<FILETIME*>(lastWriteTime));
}

LSTATUS RegEnumValueW(HKEY key, uint32_t index, wchar_t* valueName, uint32_t* valueNameChars,
                      uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    DwordArg nameArg(valueNameChars), reservedArg(reserved), typeArg(type), sizeArg(dataSize);
    return ::RegEnumValueW(Win(key), index, valueName, nameArg.Get(), reservedArg.Get(),
                           typeArg.Get(), data, sizeArg.Get());
}

LSTATUS RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* dataSize) {
    DwordArg reservedArg(reserved), typeArg(type), sizeArg(dataSize);
    return ::RegQueryValueExW(Win(key), valueName, reservedArg.Get(), typeArg.Get(), data,
                              sizeArg.Get());
}

LSTATUS RegSetValueExW(HKEY key, const wchar_t* valueName, uint32_t reserved, uint32_t type,
                       const uint8_t* data, uint32_t size) {
    return ::RegSetValueExW(Win(key), valueName, reserved, type, data, size);
}

LSTATUS RegDeleteValueW(HKEY key, const wchar_t* valueName) {
    return ::RegDeleteValueW(Win(key), valueName);
}

LSTATUS RegDeleteKeyExW(HKEY key, const wchar_t* subKey, uint32_t samDesired, uint32_t reserved) {
    return ::RegDeleteKeyExW(Win(key), subKey, samDesired, reserved);
}

LSTATUS RegDeleteKeyW(HKEY key, const wchar_t* subKey) {
    return ::RegDeleteKeyW(Win(key), subKey);
}

// ---------------------------------------------------------------------------------------------
// The test registry. (windows.h makes the roots' names macros; in this namespace they give
// our handles, with Windows' values.)

namespace {

std::mutex s_testMutex;
std::wstring s_testKeyPath;  // below the real HKEY_CURRENT_USER; empty when none is in place

// "Software\QiTest-<32 hex digits>": a key of its own per test, so that no two tests share
// (and race to delete) a parent.
bool NewTestKeyPath(std::wstring& path) {
    platform::GUID guid{};
    if (platform::CoCreateGuid(&guid) != 0)
        return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&guid);
    path = L"Software\\QiTest-";
    for (size_t i = 0; i < sizeof guid; ++i) {
        path.push_back(L"0123456789ABCDEF"[bytes[i] >> 4]);
        path.push_back(L"0123456789ABCDEF"[bytes[i] & 15]);
    }
    return true;
}

::HKEY CreateUnder(::HKEY parent, const wchar_t* name) {
    ::HKEY key = nullptr;
    if (::RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

}  // namespace

bool BeginTestRegistry() {
    std::lock_guard<std::mutex> lock(s_testMutex);
    if (!s_testKeyPath.empty())
        return false;
    std::wstring path;
    if (!NewTestKeyPath(path))
        return false;
    ::HKEY base = CreateUnder(Win(HKEY_CURRENT_USER), path.c_str());
    if (base == nullptr)
        return false;
    ::HKEY machine = CreateUnder(base, L"machine");
    ::HKEY user = CreateUnder(base, L"user");
    bool ok = machine != nullptr && user != nullptr &&
              ::RegOverridePredefKey(Win(HKEY_LOCAL_MACHINE), machine) == ERROR_SUCCESS &&
              ::RegOverridePredefKey(Win(HKEY_CURRENT_USER), user) == ERROR_SUCCESS;
    // The overrides hold handles of their own.
    for (::HKEY k : {machine, user, base}) {
        if (k != nullptr)
            ::RegCloseKey(k);
    }
    if (!ok) {
        ::RegOverridePredefKey(Win(HKEY_LOCAL_MACHINE), nullptr);
        ::RegOverridePredefKey(Win(HKEY_CURRENT_USER), nullptr);
        ::RegDeleteTreeW(Win(HKEY_CURRENT_USER), path.c_str());
        return false;
    }
    s_testKeyPath = path;
    return true;
}

void EndTestRegistry() {
    std::lock_guard<std::mutex> lock(s_testMutex);
    if (s_testKeyPath.empty())
        return;
    ::RegOverridePredefKey(Win(HKEY_LOCAL_MACHINE), nullptr);
    ::RegOverridePredefKey(Win(HKEY_CURRENT_USER), nullptr);
    ::RegDeleteTreeW(Win(HKEY_CURRENT_USER), s_testKeyPath.c_str());
    s_testKeyPath.clear();
}

}  // namespace platform
