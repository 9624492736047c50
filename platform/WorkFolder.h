#pragma once
// The installer's working folder, and files held open from their check until they run.

#include <cstdint>
#include <string>

namespace platform {

// The installer's working folder: downloads, their resume records and the runtime installer
// are fetched, checked and started there. Only administrators and SYSTEM may write it
// (Windows: <common application data>\Quillora\Installer, its protected ACL set at creation:
// SYSTEM and Administrators full control, Users read & execute; an existing folder whose owner
// is not SYSTEM/Administrators or whose ACL grants anyone else write is not used: it is moved
// aside or removed and made again). Linux: $XDG_CACHE_HOME/quillora-installer (default
// ~/.cache/quillora-installer; run as root: /var/cache/quillora-installer), mode 0700, owned by
// the running user; an existing one owned by someone else, a symlink, or with group/other
// write is moved aside and made again.
// Returns false and an English description in `error` when no safe folder can be had.
bool PrepareWorkFolder(std::wstring& path, std::string* error);
// Tests point the root elsewhere (a temporary folder); empty restores the system's.
void SetWorkFolderRootForTesting(const std::wstring& root);

// A file held open from its check until the child that runs it has started: while held,
// nobody can open it for writing, delete or rename it (Windows: opened with FILE_SHARE_READ
// only; POSIX: an open descriptor — the folder is private, so that is what POSIX offers).
class HeldFile {
public:
    HeldFile();
    ~HeldFile();
    HeldFile(HeldFile&&) noexcept;
    HeldFile& operator=(HeldFile&&) noexcept;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool Open(const std::wstring& path, std::string* error);  // read access only
    void Close();
    bool IsOpen() const;

private:
    std::intptr_t m_hFile = -1;  // a descriptor (POSIX) or a HANDLE (Windows); -1 when closed
};

}  // namespace platform
