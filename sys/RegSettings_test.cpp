#include "sys/RegSettings.h"

#include <gtest/gtest.h>

#include "platform/SystemInfo.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempRegistry.h"

using namespace platform;

namespace {

class RegSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_registry.Ok()); }
    qitest::TempRegistry m_registry;
    const qitest::ScopedOverride m_restore = qitest::ClearSystemInfoAtEnd();
};

TEST_F(RegSettingsTest, MissingKeyWithoutCreateAnswersEverythingWithFalse) {
    CRegSettings reg(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", false,
                     false);
    EXPECT_FALSE(reg.IsOpen());
    std::vector<std::wstring> names{L"kept"};
    EXPECT_FALSE(reg.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"kept"});
    uint32_t value = 7;
    reg.ReadDword(L"x", value, 1);
    EXPECT_EQ(value, 7u);  // untouched without a key
    wchar_t text[CRegSettings::kReadStringChars] = L"old";
    reg.ReadString(L"x", text);
    EXPECT_STREQ(text, L"");
    EXPECT_FALSE(reg.WriteDword(L"x", 1));
    EXPECT_FALSE(reg.OpenSubKey(L"v4"));
    EXPECT_FALSE(reg.DeleteKeyTree(L"v4"));
    HKEY software = nullptr;  // nothing was written
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &software),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegSettingsTest, KeyWithoutSubkeysListsNothingAndSucceeds) {
    CRegSettings reg(HKEY_CURRENT_USER, L"Software\\Quillora", false, true);
    ASSERT_TRUE(reg.IsOpen());
    std::vector<std::wstring> names{L"kept"};
    EXPECT_TRUE(reg.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"kept"});

    CRegSettings child(HKEY_CURRENT_USER, L"Software\\Quillora\\b", false, true);
    CRegSettings child2(HKEY_CURRENT_USER, L"Software\\Quillora\\A", false, true);
    EXPECT_TRUE(reg.EnumSubKeys(names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"kept", L"A", L"b"}));

    EXPECT_FALSE(reg.OpenSubKey(L"missing"));
    EXPECT_FALSE(reg.OpenSubKey(nullptr));
    ASSERT_TRUE(reg.WriteDword(L"StillHere", 1));  // the held key stayed
    EXPECT_TRUE(reg.OpenSubKey(L"B"));
    names.clear();
    EXPECT_TRUE(reg.EnumSubKeys(names));
    EXPECT_TRUE(names.empty());
}

TEST_F(RegSettingsTest, TypedReadsRefuseOtherTypesAndSizes) {
    CRegSettings reg(HKEY_CURRENT_USER, L"Software\\Typed", false, true);
    ASSERT_TRUE(reg.WriteString(L"Text", L"12"));
    ASSERT_TRUE(reg.WriteDword(L"Number", 0xDEADBEEF));
    uint64_t big = 5;
    {
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Typed", 0, KEY_ALL_ACCESS, &k),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(k, L"Big", 0, REG_QWORD, reinterpret_cast<uint8_t*>(&big), 8),
                  ERROR_SUCCESS);
        std::vector<uint8_t> exp = RegStringBytes(L"%TEMP%\\q");
        ASSERT_EQ(RegSetValueExW(k, L"Expand", 0, REG_EXPAND_SZ, exp.data(),
                                 static_cast<uint32_t>(exp.size())),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    }
    uint32_t value = 0;
    reg.ReadDword(L"Number", value, 1);
    EXPECT_EQ(value, 0xDEADBEEFu);
    reg.ReadDword(L"Text", value, 1);
    EXPECT_EQ(value, 1u);
    reg.ReadDword(L"Big", value, 2);
    EXPECT_EQ(value, 2u);
    reg.ReadDword(L"Missing", value, 3);
    EXPECT_EQ(value, 3u);

    wchar_t text[CRegSettings::kReadStringChars];
    reg.ReadString(L"Expand", text);
    EXPECT_STREQ(text, L"%TEMP%\\q");  // not expanded
    reg.ReadString(L"Number", text);
    EXPECT_STREQ(text, L"");

    uint8_t bin[3] = {9, 9, 9};
    EXPECT_FALSE(reg.ReadBinary(L"Number", bin, 3));  // too small, and not binary
    EXPECT_EQ(bin[0], 9);
    const uint8_t blob[3] = {1, 2, 3};
    ASSERT_TRUE(reg.WriteBinary(L"Blob", blob, 3));
    uint8_t two[2] = {9, 9};
    EXPECT_FALSE(reg.ReadBinary(L"Blob", two, 2));  // never past the buffer
    EXPECT_TRUE(reg.ReadBinary(L"Blob", bin, 3));
    EXPECT_EQ(bin[2], 3);
    EXPECT_FALSE(reg.ReadBinary(L"Text", bin, 3));

    const wchar_t multi[] = L"a\0bc\0";  // 6 characters with both terminators and the last empty
    ASSERT_TRUE(reg.WriteMultiString(L"Multi", multi, 6));
    uint32_t size = 0, type = 0;
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Typed", 0, KEY_READ, &k), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryValueExW(k, L"Multi", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(size, 12u);
    RegCloseKey(k);
}

// Strings are read through a 2048-byte window: longer ones read as empty, and the caller's
// 1024 characters are never overrun.
TEST_F(RegSettingsTest, ReadStringStaysInsideTheCallersBuffer) {
    CRegSettings reg(HKEY_CURRENT_USER, L"Software\\Long", false, true);
    std::wstring fits(1023, L'x');  // 2048 bytes with its terminator
    ASSERT_TRUE(reg.WriteString(L"Fits", fits.c_str()));
    std::wstring tooLong(1024, L'y');  // 2050 bytes
    ASSERT_TRUE(reg.WriteString(L"TooLong", tooLong.c_str()));
    std::wstring wide;  // 600 characters, but 2402 bytes as UTF-16
    for (int i = 0; i < 600; ++i)
        wide += L"\U0001F600";
    ASSERT_TRUE(reg.WriteString(L"Wide", wide.c_str()));
    {
        // 1024 characters stored without a terminator: exactly 2048 bytes.
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Long", 0, KEY_ALL_ACCESS, &k),
                  ERROR_SUCCESS);
        // Windows takes a zero unit just past the size given for a forgotten terminator:
        // the buffer holds one character more.
        std::vector<uint8_t> raw = RegStringBytes(std::wstring(1025, L'z'), false);
        ASSERT_EQ(RegSetValueExW(k, L"Unterminated", 0, REG_SZ, raw.data(), 2048), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    wchar_t buffer[CRegSettings::kReadStringChars + 1];
    buffer[CRegSettings::kReadStringChars] = L'#';  // canary just past the caller's 1024
    reg.ReadString(L"Fits", buffer);
    EXPECT_EQ(std::wstring(buffer), fits);
    reg.ReadString(L"TooLong", buffer);
    EXPECT_STREQ(buffer, L"");
    reg.ReadString(L"Wide", buffer);
    EXPECT_STREQ(buffer, L"");
    reg.ReadString(L"Unterminated", buffer);
    EXPECT_EQ(std::wstring(buffer), std::wstring(1023, L'z'));
    EXPECT_EQ(buffer[CRegSettings::kReadStringChars], L'#');
}

TEST_F(RegSettingsTest, NamesDifferingOnlyInCaseAreOne) {
    CRegSettings reg(HKEY_CURRENT_USER, L"Software\\Case", false, true);
    ASSERT_TRUE(reg.WriteString(L"InstallPath", L"/opt/a"));
    ASSERT_TRUE(reg.WriteString(L"INSTALLPATH", L"/opt/b"));
    wchar_t text[CRegSettings::kReadStringChars];
    reg.ReadString(L"installpath", text);
    EXPECT_STREQ(text, L"/opt/b");
    CRegSettings again(HKEY_CURRENT_USER, L"SOFTWARE\\case", false, false);
    ASSERT_TRUE(again.IsOpen());
    again.ReadString(L"InstallPath", text);
    EXPECT_STREQ(text, L"/opt/b");
    EXPECT_TRUE(again.DeleteValue(L"installPATH"));
    EXPECT_FALSE(again.DeleteValue(L"InstallPath"));
}

TEST_F(RegSettingsTest, DeleteKeyTreeRemovesADeepTreeAndNothingElse) {
    std::wstring path = L"Software\\Tree\\Doomed";
    for (int depth = 0; depth < 25; ++depth) {
        path += L"\\level" + std::to_wstring(depth);
        CRegSettings sibling(HKEY_CURRENT_USER, (path + L"_sibling\\leaf").c_str(), false, true);
        ASSERT_TRUE(sibling.WriteDword(L"v", depth));
    }
    CRegSettings deepest(HKEY_CURRENT_USER, path.c_str(), false, true);
    ASSERT_TRUE(deepest.IsOpen());
    CRegSettings keep(HKEY_CURRENT_USER, L"Software\\Tree\\Kept\\Child", false, true);
    ASSERT_TRUE(keep.IsOpen());

    CRegSettings tree(HKEY_CURRENT_USER, L"Software\\Tree", false, false);
    EXPECT_FALSE(tree.DeleteKey(L"Doomed"));  // has subkeys
    EXPECT_TRUE(tree.DeleteKeyTree(L"doomed"));
    std::vector<std::wstring> names;
    EXPECT_TRUE(tree.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"Kept"});
    EXPECT_FALSE(tree.DeleteKeyTree(L"Doomed"));  // already gone
    EXPECT_FALSE(tree.DeleteKeyTree(L""));        // never the held key itself
    EXPECT_TRUE(keep.WriteDword(L"alive", 1));
    EXPECT_FALSE(deepest.WriteDword(L"dead", 1));  // its key went with the tree
}

#ifndef _WIN32
// A 32-bit build on a 64-bit system: with the flag it reads and writes what 64-bit programs
// see, without it the redirected keys. (Only the Linux store can play such a system: a 64-bit
// Windows build is never redirected, and neither is the test registry there.)
TEST_F(RegSettingsTest, SixtyFourBitViewReachesTheNativeKeys) {
    SetNativeSystemForTest(NativeOverride{kArchAmd64, true});
    {
        CRegSettings native(HKEY_LOCAL_MACHINE,
                            L"Software\\Microsoft\\NET Framework Setup\\NDP\\v4", true, true);
        ASSERT_TRUE(native.IsOpen());
        CRegSettings redirected(HKEY_LOCAL_MACHINE,
                                L"Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5", false,
                                true);
        ASSERT_TRUE(redirected.IsOpen());
    }
    std::vector<std::wstring> names;
    CRegSettings ndp64(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", true,
                       false);
    EXPECT_TRUE(ndp64.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"v4"});
    names.clear();
    CRegSettings ndp32(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", false,
                       false);
    EXPECT_TRUE(ndp32.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"v3.5"});
    CRegSettings ms(HKEY_LOCAL_MACHINE, L"Software\\Microsoft", true, false);
    EXPECT_TRUE(ms.DeleteKeyTree(L"NET Framework Setup"));
    names.clear();
    EXPECT_TRUE(ndp32.EnumSubKeys(names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"v3.5"});  // the other view kept its tree
}

#endif

}  // namespace
