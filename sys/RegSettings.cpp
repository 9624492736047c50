#include "sys/RegSettings.h"

#include <algorithm>

using namespace platform;

CRegSettings::CRegSettings(HKEY root, const wchar_t* subKeyPath, bool nativeView,
                           bool createIfMissing)
    : use64BitView(nativeView ? 1 : 0) {
    if (RegOpenKeyExW(root, subKeyPath, 0, AccessMask(), &key) != ERROR_SUCCESS) {
        key = nullptr;
        if (createIfMissing &&
            RegCreateKeyExW(root, subKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, AccessMask(),
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            key = nullptr;
        }
    }
}

CRegSettings::~CRegSettings() {
    if (key != nullptr)
        RegCloseKey(key);
}

uint32_t CRegSettings::AccessMask() const {
    return use64BitView ? (KEY_ALL_ACCESS | KEY_WOW64_64KEY) : KEY_ALL_ACCESS;
}

bool CRegSettings::OpenSubKey(const wchar_t* subKeyPath) {
    if (key == nullptr || subKeyPath == nullptr)
        return false;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, subKeyPath, 0, AccessMask(), &sub) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    key = sub;
    return true;
}

bool CRegSettings::EnumSubKeys(std::vector<std::wstring>& names) {
    if (key == nullptr)
        return false;
    wchar_t name[260];
    for (uint32_t index = 0;; ++index) {
        std::fill(std::begin(name), std::end(name), L'\0');
        uint32_t chars = 260;
        if (RegEnumKeyExW(key, index, name, &chars) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return true;
}

bool CRegSettings::WriteDword(const wchar_t* name, uint32_t value) {
    if (key == nullptr)
        return false;
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return RegSetValueExW(key, name, 0, REG_DWORD, bytes, 4) == ERROR_SUCCESS;
}

bool CRegSettings::WriteString(const wchar_t* name, const wchar_t* text) {
    if (key == nullptr || text == nullptr)
        return false;
    std::vector<uint8_t> bytes = RegStringBytes(text, true);
    return RegSetValueExW(key, name, 0, REG_SZ, bytes.data(),
                          static_cast<uint32_t>(bytes.size())) == ERROR_SUCCESS;
}

bool CRegSettings::WriteBinary(const wchar_t* name, const uint8_t* data, uint32_t size) {
    if (key == nullptr || (data == nullptr && size != 0))
        return false;
    return RegSetValueExW(key, name, 0, REG_BINARY, data, size) == ERROR_SUCCESS;
}

bool CRegSettings::WriteMultiString(const wchar_t* name, const wchar_t* block, uint32_t length) {
    if (key == nullptr || (block == nullptr && length != 0))
        return false;
    std::vector<uint8_t> bytes =
        RegStringBytes(std::wstring_view(block ? block : L"", length), false);
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, bytes.data(),
                          static_cast<uint32_t>(bytes.size())) == ERROR_SUCCESS;
}

void CRegSettings::ReadDword(const wchar_t* name, uint32_t& value, uint32_t defaultValue) {
    if (key == nullptr)
        return;
    uint8_t bytes[4] = {};
    uint32_t size = sizeof bytes;
    uint32_t type = REG_NONE;
    // A REG_DWORD shorter than 4 bytes (hand-edited) is no number either.
    if (RegQueryValueExW(key, name, nullptr, &type, bytes, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != 4) {
        value = defaultValue;
        return;
    }
    value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void CRegSettings::ReadString(const wchar_t* name, wchar_t* buffer) {
    if (buffer == nullptr)
        return;
    buffer[0] = L'\0';
    if (key == nullptr)
        return;
    uint8_t bytes[kReadStringBytes];
    uint32_t size = sizeof bytes;
    uint32_t type = REG_NONE;
    if (RegQueryValueExW(key, name, nullptr, &type, bytes, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return;
    }
    // Stored without terminator, 2048 bytes would fill the buffer: the terminator always fits.
    std::wstring text = RegBytesToString(bytes, size);
    size_t length = std::min<size_t>(text.find(L'\0'), kReadStringChars - 1);
    text.copy(buffer, length);
    buffer[length] = L'\0';
}

bool CRegSettings::ReadBinary(const wchar_t* name, uint8_t* buffer, uint32_t size) {
    if (key == nullptr || (buffer == nullptr && size != 0))
        return false;
    uint32_t type = REG_NONE;
    uint32_t got = size;
    return RegQueryValueExW(key, name, nullptr, &type, buffer, &got) == ERROR_SUCCESS &&
           type == REG_BINARY;
}

bool CRegSettings::DeleteValue(const wchar_t* name) {
    if (key == nullptr)
        return false;
    return RegDeleteValueW(key, name) == ERROR_SUCCESS;
}

bool CRegSettings::DeleteKey(const wchar_t* name) {
    if (key == nullptr || name == nullptr || *name == L'\0')
        return false;
    return RegDeleteKeyExW(key, name, use64BitView ? KEY_WOW64_64KEY : 0, 0) == ERROR_SUCCESS;
}

bool CRegSettings::DeleteKeyTree(const wchar_t* name) {
    // An empty name would name the held key itself; only named subkeys are deleted.
    if (key == nullptr || name == nullptr || *name == L'\0')
        return false;
    return DeleteTree(key, name) == ERROR_SUCCESS;
}

LSTATUS CRegSettings::DeleteTree(HKEY parent, const wchar_t* name) {
    if (parent == nullptr)
        return ERROR_INVALID_HANDLE;
    HKEY sub = nullptr;
    if (LSTATUS status = RegOpenKeyExW(parent, name, 0, AccessMask(), &sub))
        return status;
    wchar_t child[256] = {};
    while (true) {
        uint32_t chars = 256;
        if (RegEnumKeyExW(sub, 0, child, &chars) != ERROR_SUCCESS)
            break;
        // Each deletion removes index 0, so index 0 names the next child.
        if (LSTATUS status = DeleteTree(sub, child)) {
            RegCloseKey(sub);
            return status;
        }
    }
    RegCloseKey(sub);
    return RegDeleteKeyExW(parent, name, use64BitView ? KEY_WOW64_64KEY : 0, 0);
}
