// The running executable on Linux, and paths resolved as the shell does for "/" paths.
#include "platform/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "platform/Text.h"

namespace platform {

// Module.cpp
std::wstring ResolveDotParts(std::wstring_view root, std::wstring_view rest, wchar_t separator);

std::wstring SystemModuleFileName() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::wstring();
        if (static_cast<size_t>(n) < buf.size())
            return PathFromNarrow(std::string(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

bool CanonicalizePath(std::wstring_view path, std::wstring& out) {
    if (path.empty() || path.front() != L'/')
        return false;
    out = ResolveDotParts(L"", path, L'/');
    return true;
}

const wchar_t* SharedModuleSuffix() {
    return L".so";
}

ModuleHandle LoadSharedModule(const std::wstring& path, std::string* error) {
    ModuleHandle h = ::dlopen(PathToNarrow(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr && error != nullptr) {
        const char* why = ::dlerror();
        *error = why != nullptr ? why : "unknown error";
    }
    return h;
}

void* FindModuleSymbol(ModuleHandle module, const char* name) {
    return module != nullptr ? ::dlsym(module, name) : nullptr;
}

void FreeSharedModule(ModuleHandle module) {
    if (module != nullptr)
        ::dlclose(module);
}

}  // namespace platform
