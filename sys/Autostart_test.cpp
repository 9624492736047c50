#include "sys/Autostart.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/TempDir.h"

namespace {

TEST(AutostartTest, RunKeyEntries) {
    qitest::TempDir dir;
    ::setenv("QI_REGISTRY_DIR", dir.Path().c_str(), 1);
    EXPECT_FALSE(RemoveAutoStart(L"Quillora"));  // no Run key yet
    EXPECT_FALSE(IsAutoStart(L"Quillora", L"/opt/Quillora/Quillora.exe -tray"));
    ASSERT_TRUE(SetAutoStart(L"Quillora", L"/opt/Quillora/Quillora.exe -tray"));
    EXPECT_TRUE(IsAutoStart(L"quillora", L"/opt/Quillora/Quillora.exe -tray"));
    EXPECT_FALSE(IsAutoStart(L"Quillora", L"/opt/Quillora/Quillora.exe"));
    EXPECT_NE(qitest::TempDir::Read(dir / "user.reg")
                  .find("[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
                        "\"Quillora\"=\"/opt/Quillora/Quillora.exe -tray\"\n"),
              std::string::npos);
    EXPECT_TRUE(RemoveAutoStart(L"Quillora"));
    EXPECT_TRUE(RemoveAutoStart(L"Quillora"));
    EXPECT_FALSE(IsAutoStart(L"Quillora", L"/opt/Quillora/Quillora.exe -tray"));
    ::unsetenv("QI_REGISTRY_DIR");
}

}  // namespace
