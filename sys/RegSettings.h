#pragma once
// One open registry key with typed reads, writes, enumeration and deletion. Every open and
// create asks for full access; with `use64BitView` set it also asks for the native (64-bit)
// view, so a 32-bit build on a 64-bit system reads what 64-bit programs see.
//
// Every operation answers false (or does nothing) while no key is held.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

class CRegSettings {
public:
    // Opens `subKeyPath` under `root`; when that fails and `createIfMissing` is set, creates it.
    // If both fail the object holds no key (IsOpen false).
    CRegSettings(platform::HKEY root, const wchar_t* subKeyPath, bool use64BitView,
                 bool createIfMissing);
    virtual ~CRegSettings();
    CRegSettings(const CRegSettings&) = delete;
    CRegSettings& operator=(const CRegSettings&) = delete;

    bool IsOpen() const { return key != nullptr; }

    // Holds the subkey instead of the current key; on failure (or a null path) the current key
    // stays.
    bool OpenSubKey(const wchar_t* subKeyPath);

    // Appends the names of the direct subkeys in the registry's order (the list is not
    // cleared). True whenever a key is held, even if nothing was listed.
    bool EnumSubKeys(std::vector<std::wstring>& names);

    bool WriteDword(const wchar_t* name, uint32_t value);
    // REG_SZ with its terminator.
    bool WriteString(const wchar_t* name, const wchar_t* text);
    bool WriteBinary(const wchar_t* name, const uint8_t* data, uint32_t size);
    // REG_MULTI_SZ of `length` characters; the caller counts every terminator, the final empty
    // one included.
    bool WriteMultiString(const wchar_t* name, const wchar_t* block, uint32_t length);

    // `value` receives the stored REG_DWORD, or `defaultValue` when the read fails or the value
    // is of another type or size. Without a key `value` is left untouched.
    void ReadDword(const wchar_t* name, uint32_t& value, uint32_t defaultValue);
    // `buffer` (at least kReadStringChars characters) receives a REG_SZ or REG_EXPAND_SZ of at
    // most kReadStringBytes stored bytes (references are not expanded), always terminated; in
    // every other case the empty string.
    void ReadString(const wchar_t* name, wchar_t* buffer);
    // At most `size` bytes; true only when they were read and the value is REG_BINARY.
    bool ReadBinary(const wchar_t* name, uint8_t* buffer, uint32_t size);

    bool DeleteValue(const wchar_t* name);
    // A direct subkey without subkeys of its own.
    bool DeleteKey(const wchar_t* name);
    // A direct subkey with everything below it; true when the whole tree is gone.
    bool DeleteKeyTree(const wchar_t* name);

    static constexpr uint32_t kReadStringChars = 1024;
    static constexpr uint32_t kReadStringBytes = 2048;

private:
    uint32_t AccessMask() const;
    platform::LSTATUS DeleteTree(platform::HKEY parent, const wchar_t* name);

    platform::HKEY key = nullptr;
    uint8_t use64BitView = 0;
};
