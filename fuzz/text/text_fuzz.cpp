// Text conversions in the three kinds of locale the program meets (UTF-8, a two-byte code
// page, plain C): any bytes convert without fault, UTF-8 that round-trips stays
// unchanged, and wide text always converts back to what it came from when representable.
#include <clocale>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static const char* const kLocales[] = {"C", "zh_CN.GBK", "zh_CN.UTF-8", "en_US.ISO-8859-1"};
    // The first byte picks the locale (one missing on this machine leaves the previous).
    std::setlocale(LC_ALL, kLocales[data[0] % 4]);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::wstring fromUtf8 = platform::Utf8ToWide(bytes);
    const std::string utf8 = platform::WideToUtf8(fromUtf8);
    QI_FUZZ_CHECK(platform::Utf8ToWide(utf8) == fromUtf8);

    const std::wstring fromNarrow = platform::MultiByteToWide(bytes);
    const std::string narrow = platform::WideToMultiByte(fromNarrow);
    // Decoded text has no '?' substitutions left to lose: it converts back and forth the same.
    QI_FUZZ_CHECK(platform::MultiByteToWide(narrow) == fromNarrow);

    platform::EqualsNoCase(fromUtf8, fromNarrow);
    platform::Utf16Length(fromUtf8);
    std::setlocale(LC_ALL, "C");
    return 0;
}
