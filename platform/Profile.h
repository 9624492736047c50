#pragma once
// INI profile functions with the Windows rules: names compare case-insensitively, the
// first matching section and key win, blanks around names and values are trimmed, one
// pair of enclosing quotes is removed, values are cut to size - 1 characters, and the
// default applies only when the file, the section or the key is missing.
//
// Files are read as UTF-8 (with or without BOM) or as UTF-16LE with BOM. A write keeps
// the file's encoding and line ends, creates a missing file as UTF-8, changes only the
// line it concerns and replaces the file atomically.

#include <cstdint>

namespace platform {

// Copies the value into `buffer` (at most size - 1 characters and a terminator) and
// returns the number of characters copied. A null `section` lists the section names,
// a null `key` the keys of the section, each terminated, the list by a second zero.
uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                  const wchar_t* fileName);

// The number formed by the value's leading decimal digits (0 when it does not begin
// with a digit); `defaultValue` when the file, section or key is missing or empty.
int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue,
                          const wchar_t* fileName);

// Sets `key` in `section` to `value`; a null `value` deletes the key, a null `key` the
// whole section. False when the file cannot be written.
bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName);

}  // namespace platform
