// The working folder on Windows: <common application data>\Quillora\Installer, both levels
// with a protected ACL that only SYSTEM and Administrators can write, and files held open
// without write or delete sharing.
//
// Users may create folders under the common application data, so either level may exist
// before the first run, made by someone else: such a folder (an owner other than SYSTEM or
// Administrators, a grant of write to anyone else, or a link elsewhere) is renamed aside and
// made again. The parent level matters as much as the folder itself: whoever may delete
// entries of the parent could swap the folder for their own.
#include "platform/WorkFolder.h"

#include <utility>

#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "platform/Text.h"

namespace platform {
namespace {

// Owner Administrators; protected (nothing inherited from above): SYSTEM and Administrators
// full control, Users read and execute, all of it inherited by what is made inside.
constexpr wchar_t kProtectedFolderSddl[] =
    L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Rights that let a holder change the folder, what it holds or who may: any of them granted
// to anyone but SYSTEM or Administrators makes the folder untrusted.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

std::wstring& RootForTesting() {
    static std::wstring root;
    return root;
}

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle() {
        if (m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

template <typename T>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (m_p != nullptr)
            ::LocalFree(m_p);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    T** Out() { return &m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

std::string SystemError(const char* what, DWORD code) {
    return std::string(what) + " (error " + std::to_string(code) + ")";
}

// Wine keeps no security descriptor for files: it reads back one made up from the file's
// mode, owned by the running user. There (where no ACL is enforced anyway) that user counts
// as trusted too; on Windows the user an elevated installer runs for is exactly who may not
// own the folder.
bool UnderWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool IsOwnUser(PSID sid) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    const bool same = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                      ::EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
    ::CloseHandle(token);
    return same;
}

bool IsTrustedSid(PSID sid) {
    return ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || (UnderWine() && IsOwnUser(sid));
}

// Whether a folder with this owner and DACL is one only SYSTEM and Administrators can change.
bool IsTrustedSecurity(PSID owner, PACL dacl, std::string* why) {
    if (owner == nullptr || !IsTrustedSid(owner)) {
        *why = "its owner is not SYSTEM or Administrators";
        return false;
    }
    if (dacl == nullptr) {
        *why = "it has no ACL: everyone may write it";
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            continue;
        // Deny entries only take rights away; no other kind is ever ours.
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            *why = "its ACL holds an entry of another kind";
            return false;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((ace->Mask & kWriteRights) != 0 && !IsTrustedSid(&ace->SidStart)) {
            *why = "its ACL lets others write";
            return false;
        }
    }
    return true;
}

enum class Existing { Missing, Trusted, Untrusted, Unreadable };

// Whether the folder at `path` may be used as it is. Links are not followed: the folder
// itself is judged, whatever it points at.
Existing Judge(const std::wstring& path, std::string* why) {
    ScopedHandle folder(::CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.IsValid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return Existing::Missing;
        *why = SystemError("cannot open it", code);
        return Existing::Unreadable;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder.Get(), &info)) {
        *why = SystemError("cannot read its attributes", ::GetLastError());
        return Existing::Unreadable;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        *why = "it is a link or junction";
        return Existing::Untrusted;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = "it is not a folder";
        return Existing::Untrusted;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMemory<void> descriptor;
    const DWORD got = ::GetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, nullptr, &dacl, nullptr, descriptor.Out());
    if (got != ERROR_SUCCESS) {
        *why = SystemError("cannot read its ACL", got);
        return Existing::Unreadable;
    }
    if (!IsTrustedSecurity(owner, dacl, why))
        return Existing::Untrusted;
    return Existing::Trusted;
}

// Renames an untrusted folder aside (a link is renamed itself, never what it points at).
bool MoveAside(const std::wstring& path, std::string* why) {
    const std::wstring aside = path + L".untrusted-" + std::to_wstring(::GetCurrentProcessId()) +
                               L"-" + std::to_wstring(::GetTickCount64());
    if (::MoveFileExW(path.c_str(), aside.c_str(), 0))
        return true;
    *why = SystemError("cannot move it aside", ::GetLastError());
    return false;
}

// Makes sure `path` is a trusted folder: kept when it is one, made when missing, moved
// aside and made again when it is not.
bool EnsureTrustedFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                         std::string* error) {
    // A few rounds: someone may make the folder again between our rename and our create.
    for (int round = 0; round < 4; ++round) {
        std::string why;
        switch (Judge(path, &why)) {
            case Existing::Trusted:
                return true;
            case Existing::Unreadable:
                *error = "working folder " + WideToUtf8(path) + ": " + why;
                return false;
            case Existing::Untrusted:
                if (!MoveAside(path, &why)) {
                    *error = "untrusted working folder " + WideToUtf8(path) + ": " + why;
                    return false;
                }
                break;
            case Existing::Missing:
                break;
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        if (!::CreateDirectoryW(path.c_str(), &attributes) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = "working folder " + WideToUtf8(path) + ": " +
                     SystemError("cannot create it", ::GetLastError());
            return false;
        }
        // Judged again next round: made by us, or by someone faster.
    }
    *error = "working folder " + WideToUtf8(path) + ": it keeps being replaced";
    return false;
}

std::wstring CommonAppData() {
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &folder)))
        path = folder;
    ::CoTaskMemFree(folder);
    return path;
}

}  // namespace

// The ownership and ACL rule alone, for tests: Wine cannot store a descriptor to judge.
bool IsTrustedFolderSddlForTesting(const std::wstring& sddl, std::string* why) {
    LocalMemory<void> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                descriptor.Out(), nullptr)) {
        *why = "not SDDL";
        return false;
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted);
    ::GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted);
    return IsTrustedSecurity(owner, present ? dacl : nullptr, why);
}

void SetWorkFolderRootForTesting(const std::wstring& root) {
    RootForTesting() = root;
}

bool PrepareWorkFolder(std::wstring& path, std::string* error) {
    std::string ignored;
    if (error == nullptr)
        error = &ignored;
    const bool testRoot = !RootForTesting().empty();
    std::wstring root = testRoot ? RootForTesting() : CommonAppData();
    if (root.empty()) {
        *error = "the common application data folder is unknown";
        return false;
    }
    for (wchar_t& c : root) {
        if (c == L'/')
            c = L'\\';
    }
    while (root.size() > 3 && root.back() == L'\\')
        root.pop_back();
    // A test's root may not exist yet (the system's always does).
    for (size_t at = testRoot ? root.find(L'\\', 3) : std::wstring::npos; at != std::wstring::npos;
         at = root.find(L'\\', at + 1))
        ::CreateDirectoryW(root.substr(0, at).c_str(), nullptr);
    if (testRoot)
        ::CreateDirectoryW(root.c_str(), nullptr);
    LocalMemory<void> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kProtectedFolderSddl, SDDL_REVISION_1, descriptor.Out(), nullptr)) {
        *error = SystemError("cannot build the working folder's ACL", ::GetLastError());
        return false;
    }
    const std::wstring parent = root + L"\\Quillora";
    const std::wstring folder = parent + L"\\Installer";
    if (!EnsureTrustedFolder(parent, descriptor.Get(), error) ||
        !EnsureTrustedFolder(folder, descriptor.Get(), error))
        return false;
    path = folder;
    return true;
}

HeldFile::HeldFile() = default;

HeldFile::~HeldFile() {
    Close();
}

HeldFile::HeldFile(HeldFile&& other) noexcept : m_hFile(std::exchange(other.m_hFile, -1)) {}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_hFile = std::exchange(other.m_hFile, -1);
    }
    return *this;
}

bool HeldFile::Open(const std::wstring& path, std::string* error) {
    Close();
    std::wstring native = path;
    for (wchar_t& c : native) {
        if (c == L'/')
            c = L'\\';
    }
    // Others may read it (the system reads it to start it) but not write, delete or rename it
    // while we hold it; a link is refused rather than followed.
    HANDLE h = ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = SystemError(("cannot hold " + WideToUtf8(native)).c_str(), ::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        ::CloseHandle(h);
        if (error != nullptr)
            *error = "cannot hold " + WideToUtf8(native) + ": not a plain file";
        return false;
    }
    m_hFile = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void HeldFile::Close() {
    if (m_hFile != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_hFile, -1)));
}

bool HeldFile::IsOpen() const {
    return m_hFile != -1;
}

}  // namespace platform
