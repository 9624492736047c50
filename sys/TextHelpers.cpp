#include "sys/TextHelpers.h"

#include "platform/Module.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sys {

std::wstring ExeDirectoryFromPath(const std::wstring& exePath) {
    size_t slash = exePath.find_last_of(platform::kWidePathSeparators);
    std::wstring dir = slash == std::wstring::npos ? exePath : exePath.substr(0, slash);
    if (slash == 0)
        dir = L"/";
    std::wstring canonical;
    if (platform::CanonicalizePath(dir, canonical))
        return canonical;
    return dir;
}

}  // namespace sys

std::wstring GetExeDirectory() {
    return sys::ExeDirectoryFromPath(platform::GetModuleFileName());
}

std::string WideToAnsi(const std::wstring& text) {
    return platform::WideToMultiByte(text);
}

std::wstring AnsiToWide(const std::string& text) {
    return platform::MultiByteToWide(text);
}

std::string AnsiToUtf8(const std::string& text) {
    return platform::WideToUtf8(platform::MultiByteToWide(text));
}

std::string Utf8ToAnsi(const std::string& text) {
    return platform::WideToMultiByte(platform::Utf8ToWide(text));
}
