#pragma once
// The text of hive and import files, as regedit writes them: parsed into a key tree and written
// from one. Works on text only; the files themselves are the hive store's (RegistryHive.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/RegistryTree.h"

namespace platform::registry {

inline constexpr wchar_t kHeader[] = L"Windows Registry Editor Version 5.00";
inline constexpr wchar_t kMachineRootName[] = L"HKEY_LOCAL_MACHINE";
inline constexpr wchar_t kUserRootName[] = L"HKEY_CURRENT_USER";

// A Unicode scalar value other than zero.
bool IsValidCodePoint(wchar_t c);

// A name the hive file can hold on one line and give back unchanged.
bool IsStorableName(std::wstring_view name);

// The text of a file's bytes: UTF-16LE with BOM, else UTF-8 (BOM optional). What cannot be
// decoded (a NUL, an unpaired surrogate, a torn unit, a line that is not strict UTF-8) becomes a
// character no name or value holds, so that the line holding it does not parse.
std::wstring DecodeRegFile(const std::string& bytes);

// One line of a regedit file that parses.
struct RegLine {
    enum class Kind { Key, DeleteKey, Value, DeleteValue };
    Kind kind = Kind::Key;
    HKEY root = nullptr;              // the root of the key the line belongs to
    std::vector<std::wstring> parts;  // that key's path below the root
    std::wstring name;                // Value, DeleteValue
    uint32_t type = REG_NONE;         // Value
    std::vector<uint8_t> data;        // Value
};

// Parses a hive file's text into `root`. A line that does not parse is skipped (so are the
// values of a key line that does not, keys of another root, and deletions, which belong to
// import files) and its number (from 1) goes to `badLines`; the rest still reads. False when
// the text is not a regedit file at all (no header line).
bool ParseHive(const std::wstring& text, HKEY hiveRoot, Key& root, std::vector<size_t>& badLines);

// The operations of an import file in file order, each value line carrying its key's root and
// path. False when a line does not parse (`badLine` is its number) or the header line is missing
// (`badLine` is 0).
bool ParseImportFile(const std::string& bytes, std::vector<RegLine>& ops, size_t& badLine);

// The header line, then `key` as "[fullName]" with its values and every key below it, with LF
// line ends.
std::wstring FormatRegText(const Key& key, const std::wstring& fullName);

}  // namespace platform::registry
