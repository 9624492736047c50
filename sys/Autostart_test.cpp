#include "sys/Autostart.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/support/TempRegistry.h"

namespace {

TEST(AutostartTest, RunKeyEntries) {
    qitest::TempRegistry registry;
    ASSERT_TRUE(registry.Ok());
    const std::wstring command = L"C:\\Program Files\\Quillora\\Quillora.exe -tray";
    EXPECT_FALSE(RemoveAutoStart(L"Quillora"));  // no Run key yet
    EXPECT_FALSE(IsAutoStart(L"Quillora", command));
    ASSERT_TRUE(SetAutoStart(L"Quillora", command));
    EXPECT_TRUE(IsAutoStart(L"quillora", command));
    EXPECT_FALSE(IsAutoStart(L"Quillora", L"C:\\Program Files\\Quillora\\Quillora.exe"));
#ifndef _WIN32
    // Linux only: the store's hive file.
    EXPECT_NE(qitest::TempDir::Read(registry.Path() + "/user.reg")
                  .find("[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
                        "\"Quillora\"=\"C:\\\\Program Files\\\\Quillora\\\\Quillora.exe -tray\"\n"),
              std::string::npos);
#endif
    EXPECT_TRUE(RemoveAutoStart(L"Quillora"));
    EXPECT_TRUE(RemoveAutoStart(L"Quillora"));
    EXPECT_FALSE(IsAutoStart(L"Quillora", command));
}

}  // namespace
