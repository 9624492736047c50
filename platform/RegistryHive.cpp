#include "platform/RegistryHive.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"
#include "platform/File.h"
#include "platform/RegistryFormat.h"
#include "platform/Text.h"

namespace platform::registry {
namespace {

LSTATUS ErrnoToStatus(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED
                                                           : ERROR_REGISTRY_IO_FAILED;
}

// mkdir -p; errno of the first failure.
int MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    std::string parent = DirectoryOf(dir);
    if (parent != dir && parent != "." && parent != "/") {
        if (int err = MakeDirectories(parent))
            return err;
    }
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// What identifies one version of a hive file: an atomic replace gives a new inode, an edit in
// place a new change time.
struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    struct timespec mtime {};
    struct timespec ctime {};

    static FileStamp Of(const struct stat& st) {
        return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// The last parsed version of each hive: a call on an unchanged file parses nothing.
struct HiveCache {
    std::mutex mutex;
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const LoadedHive> hive;
    std::string reportedPath;  // the damaged file last logged, so that it is logged once
    FileStamp reportedStamp;
};

HiveCache s_hiveCache[2];  // machine, user
std::atomic<unsigned> s_hiveParses{0};

HiveCache& CacheOf(bool machine) {
    return s_hiveCache[machine ? 0 : 1];
}

void Remember(bool machine, const std::string& path, const FileStamp& stamp,
              std::shared_ptr<const LoadedHive> hive) {
    HiveCache& cache = CacheOf(machine);
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.path = path;
    cache.stamp = stamp;
    cache.hive = std::move(hive);
}

void LogSkippedLines(const std::string& path, const std::wstring& text,
                     const std::vector<size_t>& badLines) {
    constexpr size_t kMaxLogged = 20;
    std::vector<std::wstring_view> lines;
    std::wstring_view all(text);
    for (size_t n = 1, wanted = 0; wanted < badLines.size() && wanted < kMaxLogged; ++n) {
        size_t nl = all.find(L'\n');
        if (badLines[wanted] == n) {
            std::wstring line(all.substr(0, nl));
            for (wchar_t& c : line) {
                if (!IsValidCodePoint(c) || c == L'\r')
                    c = L'?';
            }
            OutputDebugStringW((L"Registry: " + PathFromNarrow(path) + L" line " +
                                std::to_wstring(n) + L" skipped, it does not parse: " + line +
                                L"\n")
                                   .c_str());
            ++wanted;
        }
        if (nl == std::wstring_view::npos)
            break;
        all.remove_prefix(nl + 1);
    }
    if (badLines.size() > kMaxLogged) {
        OutputDebugStringW((L"Registry: " + PathFromNarrow(path) + L" " +
                            std::to_wstring(badLines.size() - kMaxLogged) +
                            L" more lines skipped\n")
                               .c_str());
    }
    OutputDebugStringW(
        (L"Registry: " + PathFromNarrow(path) + L" is not written until it is repaired\n").c_str());
}

// True the first time a damaged version of a hive file is met.
bool FirstReport(bool machine, const std::string& path, const FileStamp& stamp) {
    HiveCache& cache = CacheOf(machine);
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.reportedPath == path && cache.reportedStamp == stamp)
        return false;
    cache.reportedPath = path;
    cache.reportedStamp = stamp;
    return true;
}

std::shared_ptr<const LoadedHive> ParseHiveFile(bool machine, const std::string& path,
                                                const FileStamp& stamp, const std::string& bytes) {
    ++s_hiveParses;
    auto hive = std::make_shared<LoadedHive>();
    hive->state = HiveState::Ok;
    if (bytes.empty())
        return hive;  // an empty file holds nothing that a write could lose
    std::wstring text = DecodeRegFile(bytes);
    std::vector<size_t> badLines;
    if (!ParseHive(text, machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, hive->root, badLines)) {
        hive->root = Key{};
        hive->state = HiveState::Corrupt;
        if (FirstReport(machine, path, stamp)) {
            OutputDebugStringW((L"Registry: " + PathFromNarrow(path) +
                                L" is no registry file; it is not written until it is repaired\n")
                                   .c_str());
        }
    } else if (!badLines.empty()) {
        hive->state = HiveState::Damaged;
        if (FirstReport(machine, path, stamp))
            LogSkippedLines(path, text, badLines);
    }
    return hive;
}

}  // namespace

std::shared_ptr<const LoadedHive> LoadHive(bool machine) {
    std::string path = GetRegistryHivePath(machine);
    auto failed = [](HiveState state, int error) {
        auto hive = std::make_shared<LoadedHive>();
        hive->state = state;
        hive->error = error;
        return hive;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return failed(errno == ENOENT ? HiveState::Missing : HiveState::Unreadable, errno);
    {
        HiveCache& cache = CacheOf(machine);
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (cache.hive && cache.path == path && cache.stamp == FileStamp::Of(st))
            return cache.hive;
    }
    std::string bytes;
    if (int err = ReadWholeFile(path, bytes, &st))
        return failed(err == ENOENT ? HiveState::Missing : HiveState::Unreadable, err);
    std::shared_ptr<const LoadedHive> hive = ParseHiveFile(machine, path, FileStamp::Of(st), bytes);
    // A file changed within the file system's clock tick could keep its stamp: such a fresh
    // file is parsed again next time rather than trusted.
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    bool settled =
        now.tv_sec - st.st_mtim.tv_sec > 1 ||
        (now.tv_sec - st.st_mtim.tv_sec) * 1000000000L + (now.tv_nsec - st.st_mtim.tv_nsec) >
            100000000L;
    if (settled)
        Remember(machine, path, FileStamp::Of(st), hive);
    return hive;
}

namespace {

// Replaces the hive file atomically; `stamp` receives the new file's identity.
LSTATUS WriteHiveFile(const std::string& path, const std::string& data, FileStamp& stamp) {
    if (int err = ReplaceFileAtomically(path, data))
        return ErrnoToStatus(err);
    // Under the hive's lock nobody else replaces the file: what is there now is ours.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        stamp = FileStamp::Of(st);
    return ERROR_SUCCESS;
}

// Holds the hive's exclusive lock for one read-change-write cycle.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) {
        if (int err = MakeDirectories(DirectoryOf(hivePath))) {
            m_status = ErrnoToStatus(err);
            return;
        }
        std::string lockPath = hivePath + ".lock";
        int err = 0;
        m_fd = OpenFile(lockPath, O_RDWR | O_CREAT, 0644, err);
        if (!m_fd.IsOpen()) {
            m_status = ErrnoToStatus(err);
            return;
        }
        while (::flock(m_fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_status = ErrnoToStatus(errno);
                return;
            }
        }
        m_status = ERROR_SUCCESS;
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    LSTATUS Status() const { return m_status; }

private:
    FileDescriptor m_fd;  // closing it releases the lock
    LSTATUS m_status = ERROR_REGISTRY_IO_FAILED;
};

}  // namespace

LSTATUS ModifyHive(bool machine, const HiveChange& change) {
    std::string path = GetRegistryHivePath(machine);
    HiveLock lock(path);
    if (lock.Status() != ERROR_SUCCESS)
        return lock.Status();
    std::shared_ptr<const LoadedHive> hive = LoadHive(machine);
    if (hive->state == HiveState::Corrupt || hive->state == HiveState::Damaged)
        return ERROR_BADDB;
    if (hive->state == HiveState::Unreadable)
        return ErrnoToStatus(hive->error);
    auto changed = std::make_shared<LoadedHive>();
    changed->state = HiveState::Ok;
    changed->root = Key(hive->root);
    bool dirty = false;
    LSTATUS status = change(changed->root, dirty);
    if (status != ERROR_SUCCESS || !dirty)
        return status;
    FileStamp stamp;
    std::string text =
        WideToUtf8(FormatRegText(changed->root, machine ? kMachineRootName : kUserRootName));
    status = WriteHiveFile(path, text, stamp);
    if (status == ERROR_SUCCESS)
        Remember(machine, path, stamp, std::move(changed));
    return status;
}

}  // namespace platform::registry

namespace platform {

unsigned GetHiveParseCountForTest() {
    return registry::s_hiveParses.load();
}

std::string GetRegistryHivePath(bool machine) {
    const char* dir = std::getenv("QI_REGISTRY_DIR");
    if (dir != nullptr && *dir != '\0') {
        return std::string(dir) + (machine ? "/machine.reg" : "/user.reg");
    }
    if (machine)
        return "/var/lib/quillora-installer/registry/machine.reg";
    std::string config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir = home != nullptr ? home : "";
        if (homeDir.empty()) {
            struct passwd pw {};
            struct passwd* found = nullptr;
            char buf[4096];
            if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found) {
                homeDir = found->pw_dir;
            }
        }
        config = homeDir + "/.config";
    }
    return config + "/quillora-installer/registry/user.reg";
}

}  // namespace platform
