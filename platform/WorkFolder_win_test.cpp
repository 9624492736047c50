// The working folder's ACL as the system reads it back, an untrusted folder replaced, and a
// held file refused to writers but still startable. Windows only: the Linux folder's rules
// are a mode and an owner, and a POSIX descriptor holds nobody off.
#include "platform/WorkFolder.h"

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <filesystem>

#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace platform {
bool IsTrustedFolderSddlForTesting(const std::wstring& sddl, std::string* why);
}

namespace {

// Wine keeps no security descriptor for files (it makes one up from the mode, owned by the
// running user): what it reads back cannot show ours.
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring Wide(const std::string& utf8) {
    std::wstring w = platform::Utf8ToWide(utf8);
    for (wchar_t& c : w) {
        if (c == L'/')
            c = L'\\';
    }
    return w;
}

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override { platform::SetWorkFolderRootForTesting(Wide(m_root.Path())); }
    void TearDown() override { platform::SetWorkFolderRootForTesting(L""); }

    std::wstring Prepare() {
        std::wstring path;
        std::string error;
        EXPECT_TRUE(platform::PrepareWorkFolder(path, &error)) << error;
        return path;
    }

    // The folder's owner and DACL as SDDL.
    static std::wstring SecurityOf(const std::wstring& path) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
            return L"(unreadable)";
        LPWSTR text = nullptr;
        std::wstring sddl;
        if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                sd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
                nullptr))
            sddl = text;
        ::LocalFree(text);
        ::LocalFree(sd);
        return sddl;
    }

    static void MakeFolder(const std::wstring& path, const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                           &sd, nullptr));
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        const BOOL made = ::CreateDirectoryW(path.c_str(), &sa);
        ::LocalFree(sd);
        ASSERT_TRUE(made) << ::GetLastError();
    }

    qitest::TempDir m_root;
};

constexpr wchar_t kProtected[] = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

TEST_F(WorkFolder, IsMadeWithAProtectedAclOnBothLevels) {
    const std::wstring path = Prepare();
    EXPECT_EQ(path, Wide(m_root.Path()) + L"\\Quillora\\Installer");
    if (!UnderWine()) {
        EXPECT_EQ(SecurityOf(path), kProtected);
        EXPECT_EQ(SecurityOf(Wide(m_root.Path()) + L"\\Quillora"), kProtected);
    }
    // A second run keeps it, with what it holds.
    m_root.Write("Quillora/Installer/net4.exe.part", "resume");
    EXPECT_EQ(Prepare(), path);
    EXPECT_TRUE(std::filesystem::exists(m_root / "Quillora/Installer/net4.exe.part"));
}

TEST(WorkFolderRule, OnlySystemAndAdministratorsMayOwnOrWrite) {
    std::string why;
    EXPECT_TRUE(platform::IsTrustedFolderSddlForTesting(kProtected, &why)) << why;
    // Deny entries and others' read access change nothing.
    EXPECT_TRUE(platform::IsTrustedFolderSddlForTesting(
        L"O:SYD:(D;;FA;;;WD)(A;;FA;;;BA)(A;;FR;;;WD)", &why))
        << why;
    const struct {
        const wchar_t* sddl;
        const char* why;
    } refused[] = {
        {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)", "its owner is not SYSTEM or Administrators"},
        {L"O:BA", "it has no ACL: everyone may write it"},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)", "its ACL lets others write"},
        // What the common application data gives what is made in it: Users may add files.
        {L"O:BAD:AI(A;OICIID;FA;;;BA)(A;CIID;DCLCRPCR;;;BU)", "its ACL lets others write"},
        {L"O:BAD:(A;OICIIO;GA;;;CO)", "its ACL lets others write"},
        {L"O:BAD:(A;;WD;;;AU)", "its ACL lets others write"},
    };
    for (const auto& c : refused) {
        why.clear();
        EXPECT_FALSE(platform::IsTrustedFolderSddlForTesting(c.sddl, &why))
            << platform::WideToUtf8(c.sddl);
        EXPECT_EQ(why, c.why) << platform::WideToUtf8(c.sddl);
    }
}

TEST_F(WorkFolder, AnUntrustedFolderIsMovedAsideAndMadeAgain) {
    // A parent made before us that lets everyone write (Wine cannot keep that ACL), and a
    // file where the folder should be.
    const std::wstring parent = Wide(m_root.Path()) + L"\\Quillora";
    MakeFolder(parent, L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)");
    m_root.Write("Quillora/Installer", "planted");

    const std::wstring path = Prepare();
    EXPECT_TRUE(std::filesystem::is_directory(m_root / "Quillora/Installer"));
    if (!UnderWine()) {
        EXPECT_EQ(SecurityOf(path), kProtected);
        EXPECT_EQ(SecurityOf(parent), kProtected);
    }
    int aside = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root.Path()))
        aside += entry.path().filename().wstring().find(L".untrusted-") != std::wstring::npos;
    EXPECT_EQ(aside, 1);
}

TEST_F(WorkFolder, AJunctionIsNotFollowed) {
    const std::wstring parent = Wide(m_root.Path()) + L"\\Quillora";
    MakeFolder(parent, kProtected);
    const std::wstring elsewhere = Wide(m_root / "elsewhere");
    MakeFolder(elsewhere, kProtected);
    if (!::CreateSymbolicLinkW((parent + L"\\Installer").c_str(), elsewhere.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "this system makes no directory links here: " << ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW((parent + L"\\Installer").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "the link does not show as a reparse point here";

    const std::wstring path = Prepare();
    EXPECT_FALSE(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_TRUE(std::filesystem::exists(m_root / "elsewhere"));
}

TEST_F(WorkFolder, AHeldFileRefusesWritersAndRemovalButStarts) {
    const std::wstring folder = Prepare();
    const std::wstring program = folder + L"\\child.exe";
    ASSERT_TRUE(::CopyFileW(Wide(QI_TEST_CHILD).c_str(), program.c_str(), FALSE));
    platform::HeldFile held;
    std::string error;
    ASSERT_TRUE(held.Open(program, &error)) << error;
    EXPECT_TRUE(held.IsOpen());

    HANDLE writer = ::CreateFileW(program.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);
    EXPECT_FALSE(::DeleteFileW(program.c_str()));
    EXPECT_FALSE(::MoveFileExW(program.c_str(), (folder + L"\\moved.exe").c_str(), 0));

    std::wstring commandLine = L"\"" + program + L"\" run exit:7";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &pi))
        << ::GetLastError();
    ::WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 7u);

    platform::HeldFile moved = std::move(held);
    EXPECT_FALSE(held.IsOpen());
    moved.Close();
    EXPECT_TRUE(::DeleteFileW(program.c_str())) << ::GetLastError();
}

}  // namespace
