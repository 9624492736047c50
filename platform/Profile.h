#pragma once
// INI profile functions with the Windows rules: names compare case-insensitively, the
// first matching section and key win, blanks around names and values are trimmed, one
// pair of enclosing quotes is removed, values are cut to size - 1 characters, and the
// default applies only when the file, the section or the key is missing. A key is a line
// with "="; a section name runs from "[" to the last "]" (a "[" line without "]" counts
// for nothing); keys before the first header form a section with an empty name; ";" is
// an ordinary character, not a comment.
//
// A file that exists but cannot be read is logged; reads then give the default and
// writes fail, so that nothing read only in part is ever written back.
//
// Files are read as UTF-8 (with or without BOM) or as UTF-16LE with BOM. A write keeps
// the file's encoding and line ends, creates a missing file as UTF-8, changes only the
// line it concerns and replaces the file atomically.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

// Copies the value into `buffer` (at most size - 1 characters and a terminator) and
// returns the number of characters copied. A null `section` lists the section names,
// a null `key` the keys of the section, each terminated, the list by a second zero.
uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                  const wchar_t* fileName);

// The number formed by the value's leading digits after an optional sign and an optional
// 0x, 0o or 0b prefix (0 when there are none); `defaultValue` when the file, section or key
// is missing or the value empty.
int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue,
                          const wchar_t* fileName);

// Sets `key` in `section` to `value`; a null `value` deletes the key, a null `key` the
// whole section. False when the file cannot be written.
bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName);

// Test hook: reads of INI files fail with EIO once `afterBytes` bytes were read; nullopt
// restores normal reads.
void SetProfileReadFailureForTest(std::optional<size_t> afterBytes);

}  // namespace platform
