#include "sys/TextHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
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

#ifdef _WIN32
extern "C" __declspec(dllimport) unsigned int __stdcall GetACP();

// Windows' narrow forms are the system's ANSI code page: GBK on a Chinese system, Western
// European on an English one (scripts/test runs the tests under both).
TEST(Conversions, AnsiCodePageOfTheSystem) {
    if (GetACP() == 936) {
        EXPECT_EQ(WideToAnsi(L"中文"), "\xD6\xD0\xCE\xC4");
        EXPECT_EQ(AnsiToWide("\xD6\xD0\xCE\xC4"), L"中文");
        EXPECT_EQ(WideToAnsi(L"a€ÿb"), "a\x80?b");  // GBK has the euro sign, not ÿ
    } else if (GetACP() == 1252) {
        EXPECT_EQ(WideToAnsi(L"a中ÿb"),
                  "a?\xFF"
                  "b");
        EXPECT_EQ(AnsiToWide("\x80"), L"€");
    } else {
        GTEST_SKIP() << "code page " << GetACP();
    }
    EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi("plain ascii")), "plain ascii");
}
#else
// Linux: the process locale's encoding.
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

#endif

TEST(ExeDirectory, ResolvesDotPartsAndKeepsChineseNames) {
#ifdef _WIN32
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"C:\\安装\\.\\bin\\..\\tools\\setup.exe"),
              L"C:\\安装\\tools");
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"C:/a//b/../c/setup.exe"), L"C:\\a\\c");
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"\\\\srv\\share\\..\\x\\setup.exe"), L"\\\\srv\\share\\x");
    platform::SetModuleFileNameForTest(L"D:\\a\\b\\..\\c\\prog.exe");
    EXPECT_EQ(GetExeDirectory(), L"D:\\a\\c");
#else
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"/opt/安装/./bin/../tools/setup"), L"/opt/安装/tools");
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"/setup"), L"/");
    platform::SetModuleFileNameForTest(L"/a/b/../c/prog");
    EXPECT_EQ(GetExeDirectory(), L"/a/c");
#endif
    EXPECT_EQ(sys::ExeDirectoryFromPath(L"relative/setup"),
              L"relative");  // canonicalisation fails: kept
    platform::SetModuleFileNameForTest(L"");
}

TEST(ExeDirectory, RealExecutableInAChineseFolder) {
    // A real program, copied into a folder with Chinese characters, reports it.
    LocaleScope locale("C.UTF-8");
    qitest::TempDir dir;
    // A non-ASCII name the narrow encoding can hold (the output comes back in it).
    std::string name = "夸克 安装";
    if (AnsiToWide(WideToAnsi(L"夸克 安装")) != L"夸克 安装")
        name = "Café";
    std::string folder = dir / name;
    std::filesystem::create_directories(qitest::FsPath(folder));
    std::string copy = folder + "/probe.exe";
    std::filesystem::copy_file(qitest::FsPath(QI_TEST_CHILD), qitest::FsPath(copy));
    ::chmod(copy.c_str(), 0755);
    std::wstring output;
    uint32_t code = 0;
    std::wstring cmd = L"\"" + platform::Utf8ToWide(copy) + L"\" exe-dir";
    ASSERT_TRUE(RunAndCapture(cmd, output, code, 60000)) << platform::WideToUtf8(output);
    std::wstring expected = platform::Utf8ToWide(folder);
#ifdef _WIN32
    std::replace(expected.begin(), expected.end(), L'/', L'\\');  // the system's own form
#endif
    EXPECT_NE(output.find(L"EXEDIR=[" + expected + L"]"), std::wstring::npos)
        << platform::WideToUtf8(output);
}

}  // namespace
