#include "sys/TextHelpers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "platform/Module.h"
#include "platform/Text.h"
#include "sys/ProcessControl.h"
#include "tests/support/TempDir.h"

namespace {

// Switches the process locale for one test and restores it.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : m_saved(std::setlocale(LC_ALL, nullptr)) {
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_ALL, m_saved.c_str()); }
    bool ok() const { return m_ok; }

private:
    std::string m_saved;
    bool m_ok = false;
};

TEST(Conversions, GbkLocaleGivesGbkBytes) {
    LocaleScope locale("zh_CN.GBK");
    ASSERT_TRUE(locale.ok()) << "scripts/setup generates zh_CN.GBK";
    EXPECT_EQ(WideToAnsi(L"中文"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(AnsiToWide("\xD6\xD0\xCE\xC4"), L"中文");
    EXPECT_EQ(AnsiToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(WideToAnsi(L"a€😀b"), "a\x80?b");  // GBK has the euro sign, not the emoji
    EXPECT_EQ(AnsiToWide("ok\xD6"), L"ok?");    // a cut-off double-byte character
}

TEST(Conversions, Utf8LocalePassesTextThrough) {
    LocaleScope locale("zh_CN.UTF-8");
    ASSERT_TRUE(locale.ok()) << "scripts/setup generates zh_CN.UTF-8";
    EXPECT_EQ(WideToAnsi(L"中文"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(AnsiToUtf8("plain ascii"), "plain ascii");
    EXPECT_EQ(AnsiToWide(""), L"");
}

TEST(Conversions, CLocaleMeansUtf8) {
    LocaleScope locale("C");
    ASSERT_TRUE(locale.ok());
    EXPECT_EQ(WideToAnsi(L"中文"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(AnsiToWide("\xE4\xB8\xAD"), L"中");
}

TEST(Conversions, WesternCodePageGivesQuestionMarks) {
    LocaleScope locale("C");
    // Any single-byte locale the machine has; skip where none is generated.
    LocaleScope latin("en_US.ISO-8859-1");
    if (!latin.ok())
        GTEST_SKIP() << "no single-byte locale here";
    EXPECT_EQ(WideToAnsi(L"a中b"), "a?b");
}

TEST(ExeDirectory, ResolvesDotPartsAndKeepsChineseNames) {
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"/opt/安装/./bin/../tools/setup"), L"/opt/安装/tools");
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"/setup"), L"/");
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"relative/setup"),
              L"relative");  // canonicalisation fails: kept
    platform::SetModuleFileNameForTest(L"/a/b/../c/prog");
    EXPECT_EQ(GetExeDirectory(), L"/a/c");
    platform::SetModuleFileNameForTest(L"");
}

TEST(ExeDirectory, RealExecutableInAChineseFolder) {
    // A real program, copied into a folder with Chinese characters, reports it.
    LocaleScope locale("C.UTF-8");
    qitest::TempDir dir;
    std::string folder = dir / "夸克 安装";
    std::filesystem::create_directories(folder);
    std::string copy = folder + "/probe";
    std::filesystem::copy_file(QI_TEST_CHILD, copy);
    ::chmod(copy.c_str(), 0755);
    std::wstring output;
    uint32_t code = 0;
    std::wstring cmd = L"\"" + platform::Utf8ToWide(copy) + L"\" exe-dir";
    ASSERT_TRUE(RunAndCapture(cmd, output, code, 60000)) << platform::WideToUtf8(output);
    EXPECT_NE(output.find(L"EXEDIR=[" + platform::Utf8ToWide(folder) + L"]"), std::wstring::npos)
        << platform::WideToUtf8(output);
}

}  // namespace
