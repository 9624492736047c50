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

// Run-time modules (dlopen on Linux, LoadLibraryW on Windows). A handle is null when the
// module could not be loaded; `error` then holds the system's reason.
using ModuleHandle = void*;
// ".so" on Linux, ".dll" on Windows.
const wchar_t* SharedModuleSuffix();
// Loads the module at `path`: a full path loads that file only. On Linux a bare file name is
// looked for where the system's loader looks; on Windows only a full path is taken, and what
// the module imports comes from System32 only.
ModuleHandle LoadSharedModule(const std::wstring& path, std::string* error);
// The address of an exported function; null when the module has none by that name.
void* FindModuleSymbol(ModuleHandle module, const char* name);
void FreeSharedModule(ModuleHandle module);

}  // namespace platform
