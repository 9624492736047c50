#pragma once
// The running executable and run-time modules.

#include <string>
#include <string_view>

namespace platform {

// Full path of the running executable (from /proc/self/exe), wide.
std::wstring GetModuleFileName();

// Test hook: make GetModuleFileName answer `path` (an empty path restores the real one).
void SetModuleFileNameForTest(std::wstring path);

// Lexical resolution of "." and ".." parts and repeated separators of an absolute path,
// as the shell's canonicalisation does it (no file-system access). False for a relative
// path or an empty one.
bool CanonicalizePath(std::wstring_view path, std::wstring& out);

}  // namespace platform
