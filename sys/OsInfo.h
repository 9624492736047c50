#pragma once
// Which system this is: the OS version code (0..13, Windows numbering: 0-3 mean XP or
// older), its display text, the bitness facts and the machine's MAC address text.

#include <cstdint>
#include <string>

// True when the system's version is at least major.minor with at least `servicePack`.
bool IsOsVersionOrGreater(uint16_t major, uint16_t minor, uint16_t servicePack);

int GetOsVersionCode();

// Display text of the current version code; returns true in every case.
bool GetOsDisplayName(std::wstring& name);
bool GetOsDisplayName(std::string& name);  // in the system code page

// A 32-bit build running on a 64-bit system.
bool IsWow64();
// The native architecture is x64 or Itanium, whatever this build's bitness.
bool Is64BitOs();

// "00-1A-2B-3C-4D-5E" of the first adapter on the PCI bus or wireless, else empty.
std::wstring GetMacAddressText();

namespace sys {
// Display text for a version code ("未知系统" outside 1..13).
const wchar_t* OsDisplayNameForCode(int code);
}  // namespace sys
