#pragma once
// The running executable and run-time modules.

#include <string>
#include <string_view>

namespace platform {

// Full path of the running executable (GetModuleFileNameW; /proc/self/exe on Linux), wide.
std::wstring GetModuleFileName();

// Test hook: make GetModuleFileName answer `path` (an empty path restores the real one).
void SetModuleFileNameForTest(std::wstring path);

// Lexical resolution of "." and ".." parts and repeated separators of an absolute path
// ("/..." on Linux; "X:\..." or "\\server\share..." on Windows, given back with "\"),
// as the shell's canonicalisation does it (no file-system access). False for a relative
// path or an empty one.
bool CanonicalizePath(std::wstring_view path, std::wstring& out);

}  // namespace platform
