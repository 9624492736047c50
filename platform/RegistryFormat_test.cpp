#include "platform/RegistryFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;
using namespace platform::registry;

namespace {

// What the store writes, it reads back to the same tree: the text of a parsed canonical file is
// that file again, long binary lists wrapped, escapes and names in their case included.
TEST(RegistryFormat, CanonicalTextRoundTrips) {
    std::wstring text = std::wstring(kHeader) +
                        L"\n\n"
                        L"[HKEY_CURRENT_USER]\n\n"
                        L"[HKEY_CURRENT_USER\\Software]\n\n"
                        L"[HKEY_CURRENT_USER\\Software\\Alpha]\n"
                        L"@=\"default\"\n"
                        L"\"Quote \\\"q\\\"\"=\"a\\\\b\\nc\"\n"
                        L"\"Dword\"=dword:0000002a\n"
                        L"\"Multi\"=hex(7):6f,00,6e,00,65,00,00,00,00,00\n"
                        L"\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,"
                        L"13,14,15,\\\n"
                        L"  16,17,18,19\n\n"
                        L"[HKEY_CURRENT_USER\\Software\\beta]\n\n";
    Key root;
    std::vector<size_t> bad;
    ASSERT_TRUE(ParseHive(text, HKEY_CURRENT_USER, root, bad));
    EXPECT_TRUE(bad.empty());
    ASSERT_NE(root.Child(L"SOFTWARE"), nullptr);
    const Key* alpha = root.Child(L"software")->Child(L"ALPHA");
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(alpha->FindValue(L"quote \"Q\""), nullptr);
    EXPECT_EQ(alpha->FindValue(L"Quote \"q\"")->data, RegStringBytes(L"a\\b\nc"));
    ASSERT_NE(alpha->FindValue(L"long"), nullptr);
    EXPECT_EQ(alpha->FindValue(L"long")->data.size(), 26u);
    EXPECT_EQ(FormatRegText(root, kUserRootName), text);
}

// Lines that do not parse are named by number and skipped; the rest reads. A text without the
// header is no hive at all.
TEST(RegistryFormat, BadLinesAreNamedAndSkipped) {
    std::wstring text = std::wstring(kHeader) +
                        L"\n"
                        L"[HKEY_CURRENT_USER\\Good]\n"
                        L"\"a\"=dword:1\n"
                        L"\"b\"=dword:123456789\n"        // 4: nine digits
                        L"[HKEY_LOCAL_MACHINE\\Other]\n"  // 5: another hive's key
                        L"\"c\"=\"lost with its key\"\n"  // 6
                        L"[HKEY_CURRENT_USER\\Good]\n"
                        L"\"d\"=\"unterminated\n";  // 8
    Key root;
    std::vector<size_t> bad;
    ASSERT_TRUE(ParseHive(text, HKEY_CURRENT_USER, root, bad));
    EXPECT_EQ(bad, (std::vector<size_t>{4, 5, 6, 8}));
    ASSERT_NE(root.Child(L"Good"), nullptr);
    EXPECT_EQ(root.Child(L"Good")->values.size(), 1u);

    Key none;
    EXPECT_FALSE(ParseHive(L"[HKEY_CURRENT_USER\\Good]\n", HKEY_CURRENT_USER, none, bad));
}

// An import file becomes its operations in order, each value carrying its key; one bad line
// refuses the whole file.
TEST(RegistryFormat, ImportFilesBecomeOperations) {
    std::vector<RegLine> ops;
    size_t badLine = 99;
    std::string file =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "[-HKLM\\Software\\Old]\r\n"
        "[HKCU\\Software\\New]\r\n"
        "\"v\"=\"1\"\r\n"
        "\"gone\"=-\r\n";
    ASSERT_TRUE(ParseImportFile(file, ops, badLine));
    EXPECT_EQ(badLine, 0u);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0].kind, RegLine::Kind::DeleteKey);
    EXPECT_EQ(ops[0].root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ops[2].kind, RegLine::Kind::Value);
    EXPECT_EQ(ops[2].root, HKEY_CURRENT_USER);
    EXPECT_EQ(ops[2].parts, (std::vector<std::wstring>{L"Software", L"New"}));
    EXPECT_EQ(ops[3].kind, RegLine::Kind::DeleteValue);
    EXPECT_EQ(ops[3].name, L"gone");

    EXPECT_FALSE(ParseImportFile(file + "\"v\"=dword:xyz\r\n", ops, badLine));
    EXPECT_EQ(badLine, 7u);
    EXPECT_FALSE(ParseImportFile("\"v\"=\"1\"\r\n", ops, badLine));
    EXPECT_EQ(badLine, 0u);
}

}  // namespace
