// The registry store over an arbitrary hive file: walk the keys and values below the
// user root (bounded), then write a value and read it back. A hive that does not parse
// must refuse the write (and stay as it was) rather than lose its content. And the text
// the store writes for what it read reads back as the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Registry.h"
#include "platform/RegistryFormat.h"
#include "platform/Text.h"

namespace {

using namespace platform;

void Walk(HKEY key, int depth, int& budget) {
    if (depth > 8 || budget <= 0)
        return;
    for (uint32_t i = 0; budget > 0; ++i, --budget) {
        wchar_t name[kMaxValueNameLength + 1];
        uint32_t nameChars = kMaxValueNameLength + 1;
        uint32_t type = 0;
        uint8_t bytes[256];
        uint32_t byteCount = sizeof bytes;
        LSTATUS rc = RegEnumValueW(key, i, name, &nameChars, nullptr, &type, bytes, &byteCount);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS) {
            uint32_t queried = sizeof bytes;
            RegQueryValueExW(key, name, nullptr, &type, bytes, &queried);
        }
    }
    for (uint32_t i = 0; budget > 0; ++i, --budget) {
        wchar_t name[kMaxKeyNameLength + 1];
        uint32_t nameChars = kMaxKeyNameLength + 1;
        LSTATUS rc = RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Walk(sub, depth + 1, budget);
            RegCloseKey(sub);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("QI_REGISTRY_DIR", fuzz::ScratchDir().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        registry::Key parsed;
        std::vector<size_t> badLines;
        std::string bytes(reinterpret_cast<const char*>(data), size);
        if (registry::ParseHive(registry::DecodeRegFile(bytes), HKEY_CURRENT_USER, parsed,
                                badLines)) {
            std::string written =
                WideToUtf8(registry::FormatRegText(parsed, registry::kUserRootName));
            registry::Key reread;
            std::vector<size_t> none;
            QI_FUZZ_CHECK(registry::ParseHive(registry::DecodeRegFile(written), HKEY_CURRENT_USER,
                                              reread, none));
            QI_FUZZ_CHECK(none.empty());
            QI_FUZZ_CHECK(WideToUtf8(registry::FormatRegText(reread, registry::kUserRootName)) ==
                          written);
        }
    }
    fuzz::WriteFile(GetRegistryHivePath(false), data, size);
    int budget = 2000;
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &root) == ERROR_SUCCESS) {
        Walk(root, 0, budget);
        RegCloseKey(root);
    }

    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Fuzz", 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        const std::vector<uint8_t> value = RegStringBytes(L"written");
        rc = RegSetValueExW(key, L"Value", 0, REG_SZ, value.data(),
                            static_cast<uint32_t>(value.size()));
        if (rc == ERROR_SUCCESS) {
            uint8_t back[64];
            uint32_t backSize = sizeof back;
            uint32_t type = 0;
            QI_FUZZ_CHECK(RegQueryValueExW(key, L"Value", nullptr, &type, back, &backSize) ==
                          ERROR_SUCCESS);
            // The data as stored, terminator included.
            QI_FUZZ_CHECK(type == REG_SZ &&
                          RegBytesToString(back, backSize) == std::wstring(L"written", 8));
        }
        RegCloseKey(key);
    }
    return 0;
}
