#pragma once
// INI profile functions with the Windows rules: names compare case-insensitively, the
// first matching section and key win, blanks around names and values are trimmed, one
// pair of enclosing quotes is removed, values are cut to size - 1 characters, and the
// default applies only when the file, the section or the key is missing. A key is a line
// with "="; a section name runs from "[" to the last "]" (a "[" line without "]" counts
// for nothing); "[]" is the section with the empty name, and lines before the first
// header belong to no section; a key whose name starts with ";" is found by that name but
// not listed. A zero character ends a line's text. A write to an existing key keeps the
// file's spelling of its name.
//
// On Windows these are kernel32's own. On Linux they stand in for them: files are read
// as UTF-8 (with or without BOM) or as UTF-16LE with BOM; a write keeps the file's
// encoding and line ends, creates a missing file as UTF-8, changes only the line it
// concerns and replaces the file atomically. A file that exists but cannot be read is
// logged; reads then give the default and writes fail, so that nothing read only in part
// is ever written back.

#include <cstddef>
#include <cstdint>

namespace platform {

// Copies the value into `buffer` (at most size - 1 characters and a terminator) and
// returns the number of characters copied. A null `section` lists the section names
// (but the empty one), a null `key` the keys of the section, each terminated, the list by
// a second zero.
uint32_t GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                  const wchar_t* fileName);

// The number formed by the value's leading digits after an optional sign and an optional
// 0x, 0o or 0b prefix, in lower case only (0 when there are none); `defaultValue` when the
// file, section or key is missing or the value empty.
int GetPrivateProfileIntW(const wchar_t* section, const wchar_t* key, int defaultValue,
                          const wchar_t* fileName);

// Sets `key` in `section` to `value`; a null `value` deletes the key, a null `key` the
// whole section. False when the file cannot be written.
bool WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* fileName);

}  // namespace platform
