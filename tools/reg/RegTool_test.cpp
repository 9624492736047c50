#include "tools/reg/RegTool.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/ChildProcess.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

class RegToolTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QI_REGISTRY_DIR", m_dir.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("QI_REGISTRY_DIR"); }

    // Runs the tool in-process; `answer` is what the user says to every question.
    int Reg(const std::vector<std::wstring>& args, bool answer = false) {
        m_out.clear();
        m_err.clear();
        m_questions.clear();
        CRegTool tool([this](const std::wstring& t) { m_out += t; },
                      [this](const std::wstring& t) { m_err += t; },
                      [this, answer](const std::wstring& q) {
                          m_questions.push_back(q);
                          return answer;
                      });
        return tool.Run(args);
    }

    qitest::TempDir m_dir;
    std::wstring m_out;
    std::wstring m_err;
    std::vector<std::wstring> m_questions;
};

TEST_F(RegToolTest, AddQueryAndDeleteInTheFamiliarForms) {
    const std::wstring key = L"HKLM\\Software\\Quillora";
    EXPECT_EQ(Reg({L"add", key, L"/v", L"Path", L"/d", L"/opt/quillora app", L"/f"}), 0);
    EXPECT_EQ(m_out, L"The operation completed successfully.\n");
    EXPECT_EQ(Reg({L"add", key, L"/v", L"Count", L"/t", L"REG_DWORD", L"/d", L"0x2A"}), 0);
    EXPECT_EQ(Reg({L"ADD", key, L"-v", L"Big", L"-t", L"reg_qword", L"-d", L"4294967296"}), 0);
    EXPECT_EQ(Reg({L"add", key, L"/v", L"Blob", L"/t", L"REG_BINARY", L"/d", L"00ff10"}), 0);
    EXPECT_EQ(
        Reg({L"add", key, L"/v", L"List", L"/t", L"REG_MULTI_SZ", L"/d", L"a;b c", L"/s", L";"}),
        0);
    EXPECT_EQ(Reg({L"add", key, L"/ve", L"/d", L"默认"}), 0);
    EXPECT_EQ(Reg({L"add", key + L"\\Sub\\Deeper"}), 0);

    EXPECT_EQ(Reg({L"query", key, L"/v", L"count"}), 0);
    EXPECT_EQ(m_out,
              L"\nHKEY_LOCAL_MACHINE\\Software\\Quillora\n    Count    REG_DWORD    0x2a\n\n");
    EXPECT_EQ(Reg({L"query", key}), 0);
    EXPECT_EQ(m_out,
              L"\nHKEY_LOCAL_MACHINE\\Software\\Quillora\n"
              L"    Path    REG_SZ    /opt/quillora app\n"
              L"    Count    REG_DWORD    0x2a\n"
              L"    Big    REG_QWORD    0x100000000\n"
              L"    Blob    REG_BINARY    00FF10\n"
              L"    List    REG_MULTI_SZ    a\\0b c\n"
              L"    (Default)    REG_SZ    默认\n"
              L"HKEY_LOCAL_MACHINE\\Software\\Quillora\\Sub\n");
    EXPECT_EQ(Reg({L"query", L"HKEY_LOCAL_MACHINE\\software", L"/s"}), 0);
    EXPECT_NE(m_out.find(L"\nHKEY_LOCAL_MACHINE\\software\\Quillora\\Sub\\Deeper\n"),
              std::wstring::npos);

    EXPECT_EQ(Reg({L"delete", key, L"/v", L"Blob", L"/f"}), 0);
    EXPECT_EQ(Reg({L"query", key, L"/v", L"Blob"}), 1);
    EXPECT_EQ(m_err,
              L"ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(Reg({L"delete", key, L"/va", L"/f"}), 0);
    EXPECT_EQ(Reg({L"query", key}), 0);
    EXPECT_EQ(m_out,
              L"\nHKEY_LOCAL_MACHINE\\Software\\Quillora\n"
              L"HKEY_LOCAL_MACHINE\\Software\\Quillora\\Sub\n");
    EXPECT_EQ(Reg({L"delete", key, L"/f"}), 0);  // the whole tree
    EXPECT_EQ(Reg({L"query", key}), 1);
    EXPECT_EQ(Reg({L"query", L"HKLM\\Software"}), 0);
}

TEST_F(RegToolTest, AsksBeforeOverwritingOrDeleting) {
    const std::wstring key = L"HKCU\\Software\\Ask";
    ASSERT_EQ(Reg({L"add", key, L"/v", L"Name", L"/d", L"old"}), 0);
    EXPECT_TRUE(m_questions.empty());  // a new value needs no question
    EXPECT_EQ(Reg({L"add", key, L"/v", L"Name", L"/d", L"new"}, false), 1);
    EXPECT_EQ(m_questions, std::vector<std::wstring>{L"Value Name exists, overwrite(Yes/No)? "});
    EXPECT_EQ(Reg({L"delete", key}, false), 1);
    EXPECT_EQ(
        m_questions,
        std::vector<std::wstring>{
            L"Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Ask (Yes/No)? "});
    ASSERT_EQ(Reg({L"query", key, L"/v", L"name"}), 0);
    EXPECT_NE(m_out.find(L"REG_SZ    old"), std::wstring::npos);
    EXPECT_EQ(Reg({L"add", key, L"/v", L"Name", L"/d", L"new"}, true), 0);
    ASSERT_EQ(Reg({L"query", key, L"/v", L"Name"}), 0);
    EXPECT_NE(m_out.find(L"REG_SZ    new"), std::wstring::npos);
}

TEST_F(RegToolTest, BadCommandLinesChangeNothing) {
    const std::vector<std::vector<std::wstring>> bad = {
        {},
        {L"add"},
        {L"copy", L"HKLM\\Software\\X"},
        {L"add", L"HKXX\\Software\\X"},
        {L"add", L"HKLM\\Software\\X", L"/v", L"n", L"/t", L"REG_DWORD", L"/d", L"12z"},
        {L"add", L"HKLM\\Software\\X", L"/v", L"n", L"/t", L"REG_DWORD", L"/d", L"4294967296"},
        {L"add", L"HKLM\\Software\\X", L"/v", L"n", L"/t", L"REG_BINARY", L"/d", L"abc"},
        {L"add", L"HKLM\\Software\\X", L"/v", L"n", L"/t", L"REG_WHATEVER"},
        {L"add", L"HKLM\\Software\\X", L"/v", L"n", L"/s", L";", L"/d", L"a"},
        {L"add", L"HKLM\\Software\\X", L"/d", L"data without a value name"},
        {L"add", L"HKLM\\Software\\X", L"/bogus"},
        {L"add", L"HKLM\\Software\\X", L"/v"},
        {L"delete", L"HKLM", L"/f"},
        {L"delete", L"HKLM\\Software\\X", L"/v", L"n", L"/va"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(Reg(args), 1) << (args.empty() ? "" : WideToUtf8(args[0]));
        EXPECT_FALSE(m_err.empty());
    }
    EXPECT_FALSE(::access((m_dir / "machine.reg").c_str(), F_OK) == 0);
}

TEST_F(RegToolTest, ViewSwitchesChooseTheNativeOrTheRedirectedKey) {
    ASSERT_EQ(Reg({L"add", L"HKLM\\Software\\V", L"/v", L"bits", L"/d", L"32", L"/reg:32"}), 0);
    ASSERT_EQ(Reg({L"add", L"HKLM\\Software\\V", L"/v", L"bits", L"/d", L"64", L"/reg:64"}), 0);
    ASSERT_EQ(Reg({L"query", L"HKLM\\Software\\WOW6432Node\\V", L"/v", L"bits"}), 0);
    EXPECT_NE(m_out.find(L"REG_SZ    32"), std::wstring::npos);
    ASSERT_EQ(Reg({L"query", L"HKLM\\Software\\V", L"/v", L"bits", L"/reg:64"}), 0);
    EXPECT_NE(m_out.find(L"REG_SZ    64"), std::wstring::npos);
}

// The real program, many copies at once on one hive: each add lands, the file stays whole.
TEST_F(RegToolTest, ParallelProcessesEachLandTheirValue) {
    constexpr int kCopies = 12;
    std::vector<ChildProcess> children(kCopies);
    for (int i = 0; i < kCopies; ++i) {
        SpawnOptions options;
        options.commandLine = L"\"" + Utf8ToWide(QI_REG_EXE) + L"\" add HKLM\\Software\\Par /v v" +
                              std::to_wstring(i) + L" /t REG_DWORD /d " + std::to_wstring(i) +
                              L" /f";
        options.captureOutput = true;
        int error = 0;
        ASSERT_TRUE(SpawnProcess(options, children[i], error)) << error;
    }
    for (ChildProcess& child : children) {
        ASSERT_TRUE(child.WaitForExit(60000));
        EXPECT_EQ(child.ExitCode(), 0u);
    }
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Par", 0, KEY_READ, &k), ERROR_SUCCESS);
    for (int i = 0; i < kCopies; ++i) {
        uint32_t v = 0, size = 4;
        std::wstring name = L"v" + std::to_wstring(i);
        EXPECT_EQ(RegQueryValueExW(k, name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<uint8_t*>(&v), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(v, static_cast<uint32_t>(i));
    }
    RegCloseKey(k);
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (uint8_t b : RegStringBytes(text, false))
        bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST_F(RegToolTest, ExportAndImportInRegeditsOwnForm) {
    const std::wstring key = L"HKCU\\Software\\Quillora";
    ASSERT_EQ(Reg({L"add", key, L"/v", L"Path", L"/d", L"/opt/q \"x\"", L"/f"}), 0);
    ASSERT_EQ(Reg({L"add", key + L"\\Sub", L"/v", L"N", L"/t", L"REG_DWORD", L"/d", L"7"}), 0);
    std::string file = m_dir / "out.reg";
    ASSERT_EQ(Reg({L"export", key, PathFromNarrow(file)}), 0);
    const std::wstring expected =
        L"Windows Registry Editor Version 5.00\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Quillora]\r\n\"Path\"=\"/opt/q \\\"x\\\"\"\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Quillora\\Sub]\r\n\"N\"=dword:00000007\r\n\r\n";
    EXPECT_EQ(qitest::TempDir::Read(file), Utf16File(expected));

    // An existing file is replaced only when the user agrees or /y says so.
    EXPECT_EQ(Reg({L"export", key + L"\\Sub", PathFromNarrow(file)}, false), 1);
    EXPECT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(qitest::TempDir::Read(file), Utf16File(expected));
    EXPECT_EQ(Reg({L"export", key + L"\\Sub", PathFromNarrow(file), L"/y"}), 0);
    EXPECT_TRUE(m_questions.empty());
    EXPECT_EQ(Reg({L"export", L"HKCU\\Software\\Missing", PathFromNarrow(file), L"/y"}), 1);

    // What regedit writes comes back in: keys, escapes, deletions of keys and values.
    std::string import =
        m_dir.Write("in.reg", Utf16File(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                        L"[HKEY_CURRENT_USER\\Software\\Quillora]\r\n"
                                        L"\"Path\"=-\r\n\"Text\"=\"a\\nb\"\r\n\r\n"
                                        L"[-HKEY_CURRENT_USER\\Software\\Quillora\\Sub]\r\n\r\n"
                                        L"[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n@=\"d\"\r\n"));
    ASSERT_EQ(Reg({L"import", PathFromNarrow(import)}), 0) << m_err;
    EXPECT_EQ(Reg({L"query", key, L"/s"}), 0);
    EXPECT_EQ(m_out, L"\nHKEY_CURRENT_USER\\Software\\Quillora\n    Text    REG_SZ    a\nb\n");
    EXPECT_EQ(Reg({L"query", L"HKLM\\Software\\Other", L"/ve"}), 0);

    // A line that does not parse changes nothing and is named.
    std::string before = qitest::TempDir::Read(m_dir / "user.reg");
    std::string bad = m_dir.Write("bad.reg",
                                  "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\New]\n\"x\"=oops\n");
    EXPECT_EQ(Reg({L"import", PathFromNarrow(bad)}), 1);
    EXPECT_NE(m_err.find(L"line 4 does not parse"), std::wstring::npos) << m_err;
    EXPECT_EQ(qitest::TempDir::Read(m_dir / "user.reg"), before);
    EXPECT_EQ(Reg({L"import", PathFromNarrow(m_dir / "none.reg")}), 1);

    // A damaged hive is refused with its own message, and left as it is.
    std::string damaged =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n\"a\"=?\n";
    m_dir.Write("user.reg", damaged);
    EXPECT_EQ(Reg({L"add", L"HKCU\\X", L"/v", L"b", L"/d", L"1", L"/f"}), 1);
    EXPECT_NE(m_err.find(L"registry database is corrupt"), std::wstring::npos) << m_err;
    EXPECT_EQ(qitest::TempDir::Read(m_dir / "user.reg"), damaged);
}

}  // namespace
