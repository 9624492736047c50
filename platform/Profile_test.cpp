// The INI rules both systems share: run against Windows' own profile functions (under Wine)
// and against the Linux stand-in, so that the stand-in stays faithful.
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/support/TempDir.h"
#ifndef _WIN32
#include "platform/DebugOutput.h"
#include "tests/support/FileFaults.h"
#endif

namespace {

using platform::GetPrivateProfileIntW;
using platform::GetPrivateProfileStringW;
using platform::WritePrivateProfileStringW;

std::wstring Get(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                 const wchar_t* def, uint32_t size = 1024) {
    std::vector<wchar_t> buf(size + 1, L'#');
    uint32_t n = GetPrivateProfileStringW(section, key, def, buf.data(), size, file.c_str());
    EXPECT_EQ(buf[n], L'\0');
    EXPECT_EQ(buf[size], L'#') << "wrote past the buffer";
    return std::wstring(buf.data(), n);
}

class ProfileTest : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes) {
        return platform::PathFromNarrow(m_dir.Write("a.ini", bytes));
    }
    std::string Read(const std::string& name) const { return qitest::TempDir::Read(m_dir / name); }
    qitest::TempDir m_dir;
};

TEST_F(ProfileTest, DefaultsOnlyForWhatIsMissing) {
    std::wstring ini = Write("[Config]\nchannel=\nversion = 1.2 \n");
    EXPECT_EQ(Get(ini, L"Config", L"channel", L"mokra"), L"");  // present but empty
    EXPECT_EQ(Get(ini, L"Config", L"version", L"0"), L"1.2");
    EXPECT_EQ(Get(ini, L"Config", L"missing", L"dflt  "), L"dflt");  // default's trailing blanks go
    EXPECT_EQ(Get(ini, L"Other", L"version", L"d"), L"d");
    EXPECT_EQ(Get(platform::PathFromNarrow(m_dir / "none.ini"), L"Config", L"version", L"d"), L"d");
    EXPECT_EQ(Get(ini, L"Config", L"missing", nullptr), L"");
}

TEST_F(ProfileTest, NamesIgnoreCaseAndTheFirstMatchWins) {
    std::wstring ini = Write(
        "; comment\n[config]\nKEY=first\nkey=second\n[CONFIG]\nkey=third\n[ Spaced ]\n x = y\n");
    EXPECT_EQ(Get(ini, L"Config", L"key", L""), L"first");
    EXPECT_EQ(Get(ini, L"spaced", L"X", L""), L"y");
}

TEST_F(ProfileTest, OnePairOfQuotesIsRemovedAndValuesAreCut) {
    std::wstring ini = Write(
        "[C]\nq=\"a b\"\ns='x'\nmixed=\"x'\ninner=\"\"two\"\"\n"
        "long=" +
        std::string(70, 'v') + "\n");
    EXPECT_EQ(Get(ini, L"C", L"q", L""), L"a b");
    EXPECT_EQ(Get(ini, L"C", L"s", L""), L"x");
    EXPECT_EQ(Get(ini, L"C", L"mixed", L""), L"\"x'");
    EXPECT_EQ(Get(ini, L"C", L"inner", L""), L"\"two\"");
    EXPECT_EQ(Get(ini, L"C", L"long", L"", 64), std::wstring(63, L'v'));
    EXPECT_EQ(Get(ini, L"C", L"missing", L"abcdef", 4), L"abc");  // defaults are cut too
}

TEST_F(ProfileTest, ReadsUtf8WithBomAndUtf16) {
    std::wstring bom = Write("\xEF\xBB\xBF[Config]\r\nchannel=\xE4\xB8\xAD\xE6\x96\x87\r\n");
    EXPECT_EQ(Get(bom, L"Config", L"channel", L""), L"中文");
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[Config]\r\nchannel=渠道\r\n")) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    std::wstring wide = Write(utf16);
    EXPECT_EQ(Get(wide, L"Config", L"channel", L""), L"渠道");
}

// A zero ends a value in either encoding; the lines after it still read.
TEST_F(ProfileTest, AZeroEndsTheValue) {
    using namespace std::string_literals;
    std::wstring u8 = Write("[C]\r\nk=ab\0cd\r\nn=after\r\n"s);
    EXPECT_EQ(Get(u8, L"C", L"k", L"d"), L"ab");
    EXPECT_EQ(Get(u8, L"C", L"n", L"d"), L"after");
    std::wstring u16 = Write(
        "\xFF\xFE"s + platform::WideToUtf16Le(std::wstring(L"[C]\r\nk=ab\0cd\r\nn=after\r\n", 21)));
    EXPECT_EQ(Get(u16, L"C", L"k", L"d"), L"ab");
    EXPECT_EQ(Get(u16, L"C", L"n", L"d"), L"after");
    EXPECT_EQ(Get(u16, L"C", nullptr, L""), std::wstring(L"k\0n\0", 4));
}

TEST_F(ProfileTest, IntegersFromSignPrefixAndLeadingDigits) {
    std::wstring ini = Write(
        "[Config]\na=2\nb=abc\nc=12xyz\nd=\ne=-5\nf=+3\ng=0x1F\nh=0o17\ni=0b101\nj=-0x1f\n"
        "k=0x\nl=\"7\"\nm=0X1F\nn=0B101\no=0O17\np=4294967297\nq=017\n");
    auto get = [&](const wchar_t* key, int def = 1) {
        return GetPrivateProfileIntW(L"Config", key, def, ini.c_str());
    };
    EXPECT_EQ(get(L"a"), 2);
    EXPECT_EQ(get(L"b"), 0);
    EXPECT_EQ(get(L"c"), 12);
    EXPECT_EQ(get(L"d"), 1);
    EXPECT_EQ(get(L"e"), -5);
    EXPECT_EQ(get(L"f"), 3);
    EXPECT_EQ(get(L"g"), 31);
    EXPECT_EQ(get(L"h"), 15);
    EXPECT_EQ(get(L"i"), 5);
    EXPECT_EQ(get(L"j"), -31);
    EXPECT_EQ(get(L"k"), 0);
    EXPECT_EQ(get(L"l"), 7);
    EXPECT_EQ(get(L"m"), 0);  // the prefixes are lower case only
    EXPECT_EQ(get(L"n"), 0);
    EXPECT_EQ(get(L"o"), 0);
    EXPECT_EQ(get(L"p"), 1);  // wraps at 32 bits
    EXPECT_EQ(get(L"q"), 17);
    EXPECT_EQ(get(L"zz", 9), 9);
}

TEST_F(ProfileTest, LinesAsWindowsReadsThem) {
    std::wstring ini = Write(
        "top=before any section\n"
        "[A]\n"
        "novalue\n"
        ";semi=colon\n"
        "[broken\n"
        "after=still in A\n"
        "[x]y]\n"
        "k=in x]y\n"
        "[]\n"
        "empty=named\n"
        "[B]\n"
        "b=1\n");
    EXPECT_EQ(Get(ini, L"A", L"novalue", L"d"), L"d");  // no '=': not a key
    EXPECT_EQ(Get(ini, L"A", L";semi", L"d"), L"colon");
    EXPECT_EQ(Get(ini, L"A", L"after", L"d"), L"still in A");
    EXPECT_EQ(Get(ini, L"broken", L"after", L"d"), L"d");
    EXPECT_EQ(Get(ini, L"x]y", L"k", L"d"), L"in x]y");
    // The listings show what lookups find, but for commented-out keys; the empty section
    // name does not end the list.
    EXPECT_EQ(Get(ini, nullptr, nullptr, L""), std::wstring(L"A\0x]y\0B\0", 8));
    EXPECT_EQ(Get(ini, L"A", nullptr, L""), std::wstring(L"after\0", 6));  // ";" comments out
#ifndef _WIN32
    // "[]" is the section with the empty name, and the lines before the first header are in
    // no section, as on Windows. Wine deviates here (its own tests mark it as a known fault):
    // it reads those lines as the empty section.
    EXPECT_EQ(Get(ini, L"", L"top", L"d"), L"d");
    EXPECT_EQ(Get(ini, L"", L"empty", L"d"), L"named");
    EXPECT_EQ(Get(ini, L"", nullptr, L""), std::wstring(L"empty\0", 6));
    ASSERT_TRUE(WritePrivateProfileStringW(L"", L"more", L"v", ini.c_str()));
    const std::string tail = "[]\nempty=named\nmore=v\n[B]\nb=1\n";
    std::string after = Read("a.ini");
    EXPECT_EQ(after.substr(after.size() - tail.size()), tail);
#endif
}

TEST_F(ProfileTest, QuotedValueFillingTheBufferIsCut) {
    std::wstring ini = Write("[C]\nq=\"abc\"\n");
    EXPECT_EQ(Get(ini, L"C", L"q", L"", 5), L"abc");
    EXPECT_EQ(Get(ini, L"C", L"q", L"", 4), L"ab");
    EXPECT_EQ(Get(ini, L"C", L"q", L"", 3), L"ab");
    EXPECT_EQ(Get(ini, L"C", L"q", L"", 2), L"a");
}

TEST_F(ProfileTest, MalformedFilesGiveDefaults) {
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 37) & 0xFF));
    std::wstring junk = Write(binary);
    EXPECT_EQ(Get(junk, L"Config", L"version", L"d"), L"d");
    std::wstring huge =
        Write("[Config]\nversion=" + std::string(1 << 20, 'x'));  // 1 MB line, no line end
    EXPECT_EQ(Get(huge, L"Config", L"version", L"", 64), std::wstring(63, L'x'));
    std::wstring odd = Write(std::string("\xFF\xFE", 2) + "[");  // odd-length UTF-16
    EXPECT_EQ(Get(odd, L"Config", L"version", L"d"), L"d");
    EXPECT_EQ(Get(platform::PathFromNarrow(m_dir.Path()), L"Config", L"version", L"d"),
              L"d");  // a folder
}

// A write keeps the file's encoding and the key's spelling; a new key goes to the end of its
// section, a new section to the end of the file, and deleting what is missing succeeds. (The
// lines are in the form Windows writes them: Wine rewrites the whole file, see below.)
TEST_F(ProfileTest, WritesKeepTheEncoding) {
    using namespace std::string_literals;
    const std::string bom = "\xEF\xBB\xBF";
    std::wstring ini = Write(bom + "[Config]\r\nchannel=old\r\nother=\xE4\xB8\xAD\r\n");
    ASSERT_TRUE(WritePrivateProfileStringW(L"config", L"CHANNEL", L"新", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"language", L"2", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"New", L"k", L"v", ini.c_str()));
    EXPECT_EQ(Read("a.ini"), bom +
                                 "[Config]\r\nchannel=\xE6\x96\xB0\r\nother=\xE4\xB8\xAD\r\n"
                                 "language=2\r\n[New]\r\nk=v\r\n");
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"language", nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"New", nullptr, nullptr, ini.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"Config", L"missing", nullptr, ini.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"Missing", nullptr, nullptr, ini.c_str()));
    EXPECT_EQ(Read("a.ini"), bom + "[Config]\r\nchannel=\xE6\x96\xB0\r\nother=\xE4\xB8\xAD\r\n");

    std::wstring wide = Write("\xFF\xFE"s + platform::WideToUtf16Le(L"[C]\r\nk=v\r\n"));
    ASSERT_TRUE(WritePrivateProfileStringW(L"C", L"n", L"新", wide.c_str()));
    EXPECT_EQ(Read("a.ini"), "\xFF\xFE"s + platform::WideToUtf16Le(L"[C]\r\nk=v\r\nn=新\r\n"));
    EXPECT_EQ(Get(wide, L"C", L"n", L""), L"新");

    std::wstring fresh = platform::PathFromNarrow(m_dir / "user.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"channel", L"abc", fresh.c_str()));
    EXPECT_EQ(Read("user.ini"), "[Config]\r\nchannel=abc\r\n");
    EXPECT_FALSE(WritePrivateProfileStringW(L"C", L"k", L"v", L"/nonexistent-dir/x.ini"));
}

TEST_F(ProfileTest, WriteIntoUtf16WithATornLastUnitShiftsNothing) {
    std::wstring wide = Write(std::string("\xFF\xFE[\0C\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0\x41", 21));
    ASSERT_TRUE(WritePrivateProfileStringW(L"C", L"n", L"新", wide.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"D", L"m", L"w", wide.c_str()));
    EXPECT_EQ(Get(wide, L"C", L"k", L"d"), L"v");
    EXPECT_EQ(Get(wide, L"C", L"n", L"d"), L"新");
    EXPECT_EQ(Get(wide, L"D", L"m", L"d"), L"w");
    EXPECT_EQ(Read("a.ini").size() % 2, 0u);
}

#ifndef _WIN32
// Windows changes only the line a write concerns. Wine rewrites the whole file from what it
// parsed, dropping blank lines, blanks around "=", bytes it cannot decode and the file's line
// ends (its own tests mark this as a known fault), so this runs on Linux only. Files without
// a BOM are UTF-8 here, where Windows reads them in the ANSI code page.
TEST_F(ProfileTest, WriteChangesOnlyItsOwnLine) {
    using namespace std::string_literals;
    std::wstring ini = Write(
        "; keep me\r\n\r\n[Config]\r\nchannel = old\r\nother = \xFF\xFE raw\r\n\r\n[B]\nb=1\n");
    ASSERT_TRUE(WritePrivateProfileStringW(L"config", L"CHANNEL", L"新", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"language", L"2", ini.c_str()));
    EXPECT_EQ(Read("a.ini"),
              "; keep me\r\n\r\n[Config]\r\nchannel=\xE6\x96\xB0\r\nother = \xFF\xFE raw\r\n"
              "language=2\r\n\r\n[B]\nb=1\n");

    std::wstring wide = Write("\xFF\xFE"s + platform::WideToUtf16Le(L"[C]\n"));
    ASSERT_TRUE(WritePrivateProfileStringW(L"C", L"k", L"v", wide.c_str()));
    EXPECT_EQ(Read("a.ini"), "\xFF\xFE"s + platform::WideToUtf16Le(L"[C]\nk=v\n"));

    std::wstring fresh = platform::PathFromNarrow(m_dir / "user.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"channel", L"渠道", fresh.c_str()));
    EXPECT_EQ(Read("user.ini"), "[Config]\r\nchannel=\xE6\xB8\xA0\xE9\x81\x93\r\n");
}

// The Linux files' own: read errors and failed writes, made through the file layer's hooks.

TEST_F(ProfileTest, ReadErrorIsNoEndOfFile) {
    std::string original = "[Config]\nchannel=abc\nversion=1.2\n";
    std::wstring ini = Write(original);
    platform::ScopedDebugCapture capture;
    {
        qitest::ScopedReadFault fault(12, EIO);  // in the middle of "channel"
        EXPECT_EQ(Get(ini, L"Config", L"version", L"d"), L"d");
        EXPECT_FALSE(WritePrivateProfileStringW(L"Config", L"language", L"2", ini.c_str()));
    }
    EXPECT_EQ(Read("a.ini"), original);
    EXPECT_NE(capture.Text().find("WritePrivateProfileStringW: cannot read "), std::string::npos)
        << capture.Text();
    EXPECT_NE(capture.Text().find("a.ini (errno 5)"), std::string::npos);
    EXPECT_EQ(Get(ini, L"Config", L"version", L"d"), L"1.2");
}

// A disk that is full or failing at any step of the write: the write fails with a log line and
// the file keeps every byte, with nothing left beside it.
TEST_F(ProfileTest, AFailedWriteLeavesTheFileWhole) {
    const std::string original = "\xEF\xBB\xBF[Config]\r\nchannel=abc\r\n";
    std::wstring ini = Write(original);
    const std::set<std::string> entries = qitest::FolderEntries(m_dir.Path());
    for (const qitest::FileFault& fault : qitest::AllFileFaults()) {
        SCOPED_TRACE(qitest::Describe(fault));
        platform::ScopedDebugCapture capture;
        {
            qitest::ScopedFileFault injected(fault);
            EXPECT_FALSE(WritePrivateProfileStringW(L"Config", L"channel", L"new", ini.c_str()));
            EXPECT_FALSE(WritePrivateProfileStringW(L"Config", nullptr, nullptr, ini.c_str()));
        }
        EXPECT_NE(capture.Text().find(m_dir / "a.ini"), std::string::npos) << capture.Text();
        EXPECT_NE(capture.Text().find(std::strerror(fault.error)), std::string::npos);
        EXPECT_EQ(Read("a.ini"), original);
        EXPECT_EQ(qitest::FolderEntries(m_dir.Path()), entries);
    }
    EXPECT_TRUE(WritePrivateProfileStringW(L"Config", L"channel", L"new", ini.c_str()));
    EXPECT_EQ(Get(ini, L"Config", L"channel", L""), L"new");
}
#endif

}  // namespace
