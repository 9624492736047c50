#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Profile.h"
#include "platform/Registry.h"
#include "tests/support/TempDir.h"

namespace {

TEST(Utf8, RoundTripsEveryPlane) {
    const std::wstring text = L"a\u00e9\u4e2d\U0001F600z";
    EXPECT_EQ(platform::WideToUtf8(text), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(platform::Utf8ToWide(platform::WideToUtf8(text)), text);
    EXPECT_EQ(platform::Utf16Length(text), 6u);  // the emoji takes a surrogate pair
}

TEST(Utf8, BadSequencesBecomeReplacementCharacters) {
    // A stray continuation byte, a cut-off sequence, an overlong form and a surrogate.
    EXPECT_EQ(platform::Utf8ToWide("a\x80"
                                   "b"),
              L"a\uFFFDb");
    EXPECT_EQ(platform::Utf8ToWide("\xE4\xB8"), L"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(platform::WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(Utf8, ConversionsStopAtTheFirstZero) {
    EXPECT_EQ(platform::Utf8ToWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(platform::WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(platform::WideToMultiByte(std::wstring(L"x\0y", 3)), "x");
}

}  // namespace

namespace {

// Ill-formed UTF-8 and what the one rule makes of it: U+FFFD for each byte that does not
// begin a well-formed sequence, then on with the next byte.
struct BadUtf8 {
    const char* what;
    std::string bytes;
    std::wstring wide;
};

std::vector<BadUtf8> BadUtf8Cases() {
    return {
        {"stray continuation byte", "a\x80z", L"a\uFFFDz"},
        {"cut off at the end", "a\xE4\xB8", L"a\uFFFD\uFFFD"},
        {"cut off before ASCII", "\xE4\xB8z", L"\uFFFD\uFFFDz"},
        {"two-byte overlong", "\xC0\xAF", L"\uFFFD\uFFFD"},
        {"three-byte overlong", "\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},
        {"four-byte overlong", "\xF0\x80\x80\xAF", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"high surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"low surrogate", "\xED\xBF\xBF", L"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", std::wstring(5, L'\uFFFD')},
        {"FF byte", "\xFFz", L"\uFFFDz"},
    };
}

TEST(Utf8, OneRuleForEveryIllFormedSequence) {
    for (const BadUtf8& c : BadUtf8Cases()) {
        EXPECT_EQ(platform::Utf8ToWide(c.bytes), c.wide) << c.what;
        EXPECT_FALSE(platform::IsValidUtf8(c.bytes)) << c.what;
    }
    // The edges of what is well formed.
    const std::string good =
        "\xC2\x80"           // U+0080
        "\xED\x9F\xBF"       // U+D7FF
        "\xEE\x80\x80"       // U+E000
        "\xEF\xBF\xBF"       // U+FFFF
        "\xF4\x8F\xBF\xBF";  // U+10FFFF
    EXPECT_TRUE(platform::IsValidUtf8(good));
    EXPECT_TRUE(platform::IsValidUtf8(std::string("a\0b", 3)));  // a zero is a character
    EXPECT_EQ(platform::Utf8ToWide(good), L"\u0080\uD7FF\uE000\uFFFF\U0010FFFF");
    const platform::DecodedChar last = platform::DecodeUtf8At(good, good.size() - 4);
    EXPECT_TRUE(last.valid);
    EXPECT_EQ(last.value, U'\U0010FFFF');
    EXPECT_EQ(last.length, 4u);
}

// Linux only: there wide text is UTF-32 and can hold what is no scalar value.
#ifndef _WIN32
TEST(Utf32, WhatIsNotAScalarValueIsWrittenAsTheReplacementCharacter) {
    std::wstring bad;
    bad.push_back(static_cast<wchar_t>(0xDFFF));
    bad.push_back(static_cast<wchar_t>(0x110000));
    bad.push_back(static_cast<wchar_t>(-1));
    EXPECT_EQ(platform::WideToUtf8(bad), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(platform::WideToUtf16Le(bad), std::string("\xFD\xFF\xFD\xFF\xFD\xFF", 6));
}
#endif

TEST(Utf16Le, PairsDecodeAndLoneSurrogatesAreReplaced) {
    using namespace std::string_literals;
    // U+1F600 as a pair, a zero unit (kept), 'A'.
    const std::string pair = "\x3D\xD8\x00\xDE\x00\x00\x41\x00"s;
    EXPECT_EQ(platform::Utf16LeToWide(pair), L"\U0001F600"s + L'\0' + L"A");
    EXPECT_EQ(platform::WideToUtf16Le(platform::Utf16LeToWide(pair)), pair);

    // A high surrogate before a non-surrogate keeps what follows it.
    EXPECT_EQ(platform::Utf16LeToWide("\x3D\xD8\x41\x00"s), L"\uFFFDA");
    // A low surrogate alone, a pair in the wrong order, a high surrogate last.
    EXPECT_EQ(platform::Utf16LeToWide("\x00\xDE\x41\x00"s), L"\uFFFDA");
    EXPECT_EQ(platform::Utf16LeToWide("\x00\xDE\x3D\xD8"s), L"\uFFFD\uFFFD");
    EXPECT_EQ(platform::Utf16LeToWide("\x41\x00\x3D\xD8"s), L"A\uFFFD");
    // An odd last byte is no character; stepping reports it as a cut-off unit.
    EXPECT_EQ(platform::Utf16LeToWide("\x41\x00\x42"s), L"A");
    const platform::DecodedChar torn = platform::DecodeUtf16LeAt("\x41\x00\x42"s, 2);
    EXPECT_FALSE(torn.valid);
    EXPECT_EQ(torn.length, 1u);
}

// A document's own code page, whatever the system's: what the RTF reader decodes with.
TEST(CodePage, DecodesNamedCodePagesAndMarksWhatDoesNotDecode) {
    using namespace std::string_view_literals;
    EXPECT_EQ(platform::CodePageToWide("\xd3\xc3\xbb\xa7 a"sv, 936), L"\u7528\u6237 a");
    EXPECT_EQ(platform::CodePageToWide("\x80\xe9\0z"sv, 1252), std::wstring(L"\u20ac\u00e9\0z", 4));
    EXPECT_EQ(platform::CodePageToWide("\xe7\x94\xa8\xff!"sv, 65001), L"\u7528?!");
    // A lead byte with a bad trail byte, and one cut off at the end.
    EXPECT_EQ(platform::CodePageToWide("\x81\x20\xd3"sv, 936), L"? ?");
    EXPECT_EQ(platform::CodePageToWide(""sv, 936), L"");
    EXPECT_FALSE(platform::CodePageToWide("x"sv, 12345).has_value());
}

// The letters on which folding to upper case and folding to lower case disagree, and the
// answers of the one rule (simple upper-case mapping of each code point).
// Linux only: the stand-in folds by the simple Unicode mapping; Windows by a table of its
// own, which the system's registry and profile functions use anyway.
#ifndef _WIN32
TEST(EqualsNoCase, FoldsEachCharacterToUpperCase) {
    struct Pair {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    };
    const Pair pairs[] = {
        {L"\u00DF", L"\u1E9E", false},  // ß and capital sharp s: ß has no simple upper case
        {L"stra\u00DFe", L"STRASSE", false},
        {L"\u017F", L"s", true},  // long s upper-cases to S
        {L"\u017F", L"S", true},
        {L"\u212A", L"k", false},  // KELVIN SIGN is upper case already; 'k' folds to 'K'
        {L"\u212A", L"K", false},
        {L"\u0131", L"i", true},  // dotless i upper-cases to I
        {L"\u0131", L"I", true},
        {L"\u0130", L"i", false},  // dotted capital I is upper case already
        {L"\u0130", L"I", false},
        {L"\u03C2", L"\u03C3", true},  // final sigma, sigma, capital sigma
        {L"\u03C2", L"\u03A3", true},
        {L"\u00B5", L"\u03BC", true},  // MICRO SIGN and mu both upper-case to capital mu
        {L"\u00B5", L"\u039C", true},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(platform::EqualsNoCase(p.a, p.b), p.same)
            << "U+" << std::hex << static_cast<unsigned>(p.a[0]);
        EXPECT_EQ(platform::EqualsNoCase(p.b, p.a), p.same);
        EXPECT_EQ(platform::FoldName(p.a) == platform::FoldName(p.b), p.same);
    }
    EXPECT_EQ(platform::FoldName(L"ab_\u03C2"), L"AB_\u03A3");
}
#endif

// Every reader of text files and values decodes the same bytes alike.
TEST(TextReaders, ProfileValuesDecodeLikeTheCodec) {
    qitest::TempDir dir;
    // A file without a byte-order mark is UTF-8 to the stand-in; Windows reads it in the
    // ANSI code page.
#ifndef _WIN32
    for (const BadUtf8& c : BadUtf8Cases()) {
        std::wstring ini =
            platform::PathFromNarrow(dir.Write("u8.ini", "[S]\nk=<" + c.bytes + ">\n"));
        wchar_t buf[64] = {};
        uint32_t n = platform::GetPrivateProfileStringW(L"S", L"k", L"", buf, 64, ini.c_str());
        EXPECT_EQ(std::wstring(buf, n), L"<" + c.wide + L">") << c.what;
    }
#endif
    // UTF-16 files: a lone surrogate in a value.
    using namespace std::string_literals;
    const std::string value = "\x3D\xD8\x41\x00\x00\xDE"s;
    std::string file = "\xFF\xFE"s + platform::WideToUtf16Le(L"[S]\r\nk=") + value +
                       platform::WideToUtf16Le(L"\r\n");
    std::wstring ini = platform::PathFromNarrow(dir.Write("u16.ini", file));
    wchar_t buf[64] = {};
    uint32_t n = platform::GetPrivateProfileStringW(L"S", L"k", L"", buf, 64, ini.c_str());
#ifdef _WIN32
    // Windows' wide text is UTF-16 itself: the system hands lone surrogates through.
    EXPECT_EQ(std::wstring(buf, n), std::wstring(L"\xD83D"
                                                 L"A\xDE00"));
#else
    EXPECT_EQ(std::wstring(buf, n), platform::Utf16LeToWide(value));
    EXPECT_EQ(std::wstring(buf, n), L"\uFFFDA\uFFFD");
#endif
}

TEST(TextReaders, RegistryStringBytesDecodeLikeTheCodec) {
    using namespace std::string_literals;
    const std::string cases[] = {"\x3D\xD8\x41\x00"s, "\x00\xDE\x3D\xD8"s, "\x41\x00\x00\x00\x42"s,
                                 "\x3D\xD8\x00\xDE"s};
    for (const std::string& bytes : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_EQ(platform::RegBytesToString(data, bytes.size()), platform::Utf16LeToWide(bytes));
    }
    std::wstring bad = L"x";
    bad.push_back(static_cast<wchar_t>(0xD800));
    bad.push_back(static_cast<wchar_t>(0x1F600));
    std::vector<uint8_t> stored = platform::RegStringBytes(bad, false);
    EXPECT_EQ(std::string(stored.begin(), stored.end()), platform::WideToUtf16Le(bad));
}

}  // namespace

namespace {
TEST(EqualsNoCase, ComparesWholeNamesWithoutCase) {
    EXPECT_TRUE(platform::EqualsNoCase(L"Config", L"cONFIG"));
    EXPECT_TRUE(platform::EqualsNoCase(L"Ä", L"ä"));
    EXPECT_FALSE(platform::EqualsNoCase(L"v4", L"v40"));
    EXPECT_TRUE(platform::EqualsNoCase(L"", L""));
}
}  // namespace
