// Command-line splitting: any text splits without fault, and each argument quoted the
// way the installer quotes its own command lines splits back into the same arguments.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/ChildProcess.h"
#include "platform/Text.h"
#include "sys/TextUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text =
        platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::vector<std::wstring> args = platform::SplitCommandLine(text);

    // The program name follows rules of its own: round-trip the rest after a plain one.
    std::wstring line = L"program";
    std::vector<std::wstring> rest;
    for (const std::wstring& arg : args) {
        if (arg.find(L'\0') != std::wstring::npos)
            continue;
        rest.push_back(arg);
        line += L" " + QuoteCommandArgument(arg);
    }
    const std::vector<std::wstring> again = platform::SplitCommandLine(line);
    QI_FUZZ_CHECK(!again.empty() && again[0] == L"program");
    QI_FUZZ_CHECK(std::vector<std::wstring>(again.begin() + 1, again.end()) == rest);
    return 0;
}
