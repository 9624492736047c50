#include "platform/Profile.h"

#include <gtest/gtest.h>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace {

using platform::GetPrivateProfileIntW;
using platform::GetPrivateProfileStringW;
using platform::WritePrivateProfileStringW;

std::wstring Get(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* def,
                 uint32_t size = 1024) {
    std::vector<wchar_t> buf(size + 1, L'#');
    uint32_t n = GetPrivateProfileStringW(section, key, def, buf.data(), size, file.c_str());
    EXPECT_EQ(buf[n], L'\0');
    EXPECT_EQ(buf[size], L'#') << "wrote past the buffer";
    return std::wstring(buf.data(), n);
}

class ProfileTest : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes) { return platform::PathFromNarrow(m_dir.Write("a.ini", bytes)); }
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
    std::wstring ini = Write("; comment\n[config]\nKEY=first\nkey=second\n[CONFIG]\nkey=third\n[ Spaced ]\n x = y\n");
    EXPECT_EQ(Get(ini, L"Config", L"key", L""), L"first");
    EXPECT_EQ(Get(ini, L"spaced", L"X", L""), L"y");
}

TEST_F(ProfileTest, OnePairOfQuotesIsRemovedAndValuesAreCut) {
    std::wstring ini = Write("[C]\nq=\"a b\"\ns='x'\nmixed=\"x'\ninner=\"\"two\"\"\n"
                             "long=" + std::string(70, 'v') + "\n");
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

TEST_F(ProfileTest, IntegersFromLeadingDigits) {
    std::wstring ini = Write("[Config]\na=2\nb=abc\nc=12xyz\nd=\ne=-5\n");
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"a", 1, ini.c_str()), 2);
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"b", 1, ini.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"c", 1, ini.c_str()), 12);
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"d", 1, ini.c_str()), 1);
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"e", 1, ini.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"zz", 9, ini.c_str()), 9);
}

TEST_F(ProfileTest, MalformedFilesGiveDefaults) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 37) & 0xFF));
    std::wstring junk = Write(binary);
    EXPECT_EQ(Get(junk, L"Config", L"version", L"d"), L"d");
    std::wstring huge = Write("[Config]\nversion=" + std::string(1 << 20, 'x'));  // 1 MB line, no line end
    EXPECT_EQ(Get(huge, L"Config", L"version", L"", 64), std::wstring(63, L'x'));
    std::wstring odd = Write(std::string("\xFF\xFE", 2) + "[");  // odd-length UTF-16
    EXPECT_EQ(Get(odd, L"Config", L"version", L"d"), L"d");
    EXPECT_EQ(Get(platform::PathFromNarrow(m_dir.Path()), L"Config", L"version", L"d"), L"d");  // a folder
}

TEST_F(ProfileTest, WriteChangesOnlyItsOwnLineAndKeepsTheEncoding) {
    std::string original = "; keep me\r\n[Config]\r\nchannel=old\r\nother = \xFF\xFE raw\r\n";
    std::wstring ini = Write(original);
    ASSERT_TRUE(WritePrivateProfileStringW(L"config", L"CHANNEL", L"新", ini.c_str()));
    std::string after = qitest::TempDir::Read(m_dir / "a.ini");
    EXPECT_EQ(after, "; keep me\r\n[Config]\r\nCHANNEL=\xE6\x96\xB0\r\nother = \xFF\xFE raw\r\n");

    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"language", L"2", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"New", L"k", L"v", ini.c_str()));
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"language", 1, ini.c_str()), 2);
    EXPECT_EQ(Get(ini, L"New", L"k", L""), L"v");
    EXPECT_NE(qitest::TempDir::Read(m_dir / "a.ini").find("\xFF\xFE raw"), std::string::npos);

    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"language", nullptr, ini.c_str()));
    EXPECT_EQ(GetPrivateProfileIntW(L"Config", L"language", 1, ini.c_str()), 1);
    ASSERT_TRUE(WritePrivateProfileStringW(L"New", nullptr, nullptr, ini.c_str()));
    EXPECT_EQ(Get(ini, L"New", L"k", L"gone"), L"gone");
}

TEST_F(ProfileTest, WriteCreatesUtf8AndKeepsUtf16) {
    std::wstring fresh = platform::PathFromNarrow(m_dir / "user.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", L"channel", L"渠道", fresh.c_str()));
    EXPECT_EQ(qitest::TempDir::Read(m_dir / "user.ini"), "[Config]\r\nchannel=\xE6\xB8\xA0\xE9\x81\x93\r\n");

    std::wstring wide = Write(std::string("\xFF\xFE[\0C\0]\0\n\0", 10));
    ASSERT_TRUE(WritePrivateProfileStringW(L"C", L"k", L"v", wide.c_str()));
    EXPECT_EQ(qitest::TempDir::Read(m_dir / "a.ini"), std::string("\xFF\xFE[\0C\0]\0\n\0k\0=\0v\0\n\0", 18));
    EXPECT_EQ(Get(wide, L"C", L"k", L""), L"v");

    EXPECT_FALSE(WritePrivateProfileStringW(L"C", L"k", L"v", L"/nonexistent-dir/x.ini"));
}

}  // namespace
