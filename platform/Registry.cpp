#include "platform/Registry.h"

#include "platform/Text.h"

namespace platform {
namespace {

constexpr wchar_t kMachineRootName[] = L"HKEY_LOCAL_MACHINE";
constexpr wchar_t kUserRootName[] = L"HKEY_CURRENT_USER";

}  // namespace

// Windows' own values (a LONG sign-extended into a handle), so that its side hands them on
// unchanged; the Linux store only compares them. Spelled out as casts of constants so that
// they are set before any other file's initialisers run.
const HKEY HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
const HKEY HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001u)));

std::vector<uint8_t> RegStringBytes(std::wstring_view text, bool terminate) {
    std::string bytes = WideToUtf16Le(text);
    if (terminate)
        bytes.append(2, '\0');
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::wstring RegBytesToString(const uint8_t* data, size_t size) {
    if (data == nullptr)
        return std::wstring();
    return Utf16LeToWide(std::string_view(reinterpret_cast<const char*>(data), size));
}

std::wstring GetRootKeyName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE)
        return kMachineRootName;
    if (root == HKEY_CURRENT_USER)
        return kUserRootName;
    return std::wstring();
}

HKEY RootKeyFromName(std::wstring_view name) {
    std::wstring folded = FoldName(name);
    if (folded == kMachineRootName || folded == L"HKLM")
        return HKEY_LOCAL_MACHINE;
    if (folded == kUserRootName || folded == L"HKCU")
        return HKEY_CURRENT_USER;
    return nullptr;
}

}  // namespace platform
