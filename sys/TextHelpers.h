#pragma once
// Text conversions between wide text, the system code page ("ANSI": the process
// locale's encoding) and UTF-8, and the executable's directory. Every conversion stops
// at the first zero character; what a target encoding cannot hold becomes '?'.

#include <string>

// Folder of the running executable, without a trailing separator, "." and ".." resolved.
std::wstring GetExeDirectory();

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string AnsiToUtf8(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);

namespace sys {
// The directory part of an executable path, canonicalised when that succeeds.
std::wstring ExeDirectoryFromPath(const std::wstring& exePath);
}  // namespace sys
