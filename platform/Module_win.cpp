// The running executable on Windows, and paths resolved as PathCanonicalizeW does.
#include "platform/Module.h"

#include <algorithm>
#include <vector>

#include <windows.h>

#include "platform/Text.h"

namespace platform {

// Module.cpp
std::wstring ResolveDotParts(std::wstring_view root, std::wstring_view rest, wchar_t separator);

std::wstring SystemModuleFileName() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::wstring();
        if (n < buf.size())
            return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);  // cut off: try a larger buffer
    }
}

bool CanonicalizePath(std::wstring_view path, std::wstring& out) {
    auto isSlash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    // The root stays as it is: "X:" of a drive path, "\\server\share" of a UNC one.
    std::wstring root;
    size_t pos = 0;
    if (path.size() >= 3 && path[1] == L':' && isSlash(path[2]) &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        root.assign(path.substr(0, 2));
        pos = 3;
    } else if (path.size() > 2 && isSlash(path[0]) && isSlash(path[1]) && !isSlash(path[2])) {
        size_t server = path.find_first_of(L"\\/", 2);
        if (server == std::wstring_view::npos || server + 1 >= path.size())
            return false;
        size_t share = path.find_first_of(L"\\/", server + 1);
        if (share == std::wstring_view::npos)
            share = path.size();
        root = L"\\\\" + std::wstring(path.substr(2, server - 2)) + L"\\" +
               std::wstring(path.substr(server + 1, share - server - 1));
        pos = share;
    } else {
        return false;
    }
    out = ResolveDotParts(root, path.substr(std::min(pos, path.size())), L'\\');
    return true;
}

const wchar_t* SharedModuleSuffix() {
    return L".dll";
}

ModuleHandle LoadSharedModule(const std::wstring& path, std::string* error) {
    std::wstring native = path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    // That file and no other: a bare name would be searched for. What the module imports
    // comes from System32 only, never from the module's folder or the current one.
    const bool full = native.size() > 2 &&
                      ((native[1] == L':' && native[2] == L'\\') || native.starts_with(L"\\\\"));
    if (!full) {
        if (error != nullptr)
            *error = "not a full path: " + WideToUtf8(native);
        return nullptr;
    }
    HMODULE h = ::LoadLibraryExW(native.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (h == nullptr && error != nullptr) {
        const DWORD code = ::GetLastError();
        wchar_t* text = nullptr;
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring message = text != nullptr ? text : L"";
        if (text != nullptr)
            ::LocalFree(text);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
            message.pop_back();
        *error =
            "error " + std::to_string(code) + (message.empty() ? "" : ": ") + WideToUtf8(message);
    }
    return reinterpret_cast<ModuleHandle>(h);
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void FreeSharedModule(ModuleHandle module) {
    if (module != nullptr)
        ::FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace platform
