// The INI profile functions over an arbitrary file: list sections and keys, read every
// listed value as text and number, then write a key and read it back.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Profile.h"

namespace {

// Splits a double-zero-terminated list.
std::vector<std::wstring> SplitList(const wchar_t* buffer, uint32_t length) {
    std::vector<std::wstring> out;
    for (uint32_t i = 0; i < length;) {
        std::wstring item(buffer + i);
        if (item.empty())
            break;
        i += static_cast<uint32_t>(item.size()) + 1;
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::ScratchDir() + "/fuzz.ini";
    fuzz::WriteFile(path, data, size);
    const std::wstring file(path.begin(), path.end());

    std::vector<wchar_t> buffer(4096);
    uint32_t n = platform::GetPrivateProfileStringW(
        nullptr, nullptr, L"", buffer.data(), static_cast<uint32_t>(buffer.size()), file.c_str());
    QI_FUZZ_CHECK(n < buffer.size());
    const std::vector<std::wstring> sections = SplitList(buffer.data(), n);
    for (size_t s = 0; s < sections.size() && s < 8; ++s) {
        n = platform::GetPrivateProfileStringW(sections[s].c_str(), nullptr, L"", buffer.data(),
                                               static_cast<uint32_t>(buffer.size()), file.c_str());
        const std::vector<std::wstring> keys = SplitList(buffer.data(), n);
        for (size_t k = 0; k < keys.size() && k < 8; ++k) {
            wchar_t small[4];
            n = platform::GetPrivateProfileStringW(sections[s].c_str(), keys[k].c_str(), L"d",
                                                   small, 4, file.c_str());
            QI_FUZZ_CHECK(n <= 3 && small[n] == L'\0');
            platform::GetPrivateProfileIntW(sections[s].c_str(), keys[k].c_str(), 7, file.c_str());
        }
    }

    // A write changes only its own line: the value reads back, and so do the others.
    if (platform::WritePrivateProfileStringW(L"FuzzSection", L"FuzzKey", L"written",
                                             file.c_str())) {
        wchar_t back[16];
        n = platform::GetPrivateProfileStringW(L"FuzzSection", L"FuzzKey", L"", back, 16,
                                               file.c_str());
        QI_FUZZ_CHECK(std::wstring(back, n) == L"written");
    }
    return 0;
}
