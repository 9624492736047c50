#pragma once
// The advapi32 registry calls. On Windows they are Windows' own (platform::HKEY is the real
// handle, the predefined roots included, and every status passes through); on Linux a
// registry store stands in for them. Both follow the same rules: names compare
// case-insensitively and keep the case they were first written in; subkeys enumerate in
// sorted order, values in the order they were first written; value data is the bytes Windows
// stores (strings as UTF-16LE with their terminator, so every size is a byte count);
// RegStringBytes / RegBytesToString convert between wide text and those bytes.
//
// The Linux store keeps one text file per hive:
//   QI_REGISTRY_DIR set and not empty:  $QI_REGISTRY_DIR/machine.reg and $QI_REGISTRY_DIR/user.reg
//   otherwise:                          /var/lib/quillora-installer/registry/machine.reg (machine)
//                                       $XDG_CONFIG_HOME/quillora-installer/registry/user.reg
//                                       (XDG_CONFIG_HOME defaults to $HOME/.config)
// The variable is read at every call, so a test can point the store at a temporary folder.
//
// A hive file is what regedit exports ("Windows Registry Editor Version 5.00"), so a person can
// read and edit it: written as UTF-8, read as UTF-8 (BOM optional) or UTF-16LE with BOM. Every
// change takes an exclusive lock (flock on "<hive>.lock"), re-reads the hive, and replaces it
// atomically, so a reader in another process always sees a whole file and concurrent writers
// lose nothing. A parsed hive is kept in memory and read again only when its file changed
// (inode, size, times). A line that does not parse is skipped with a log line naming it and
// the rest still reads; a file without the header line reads as empty. Either way the hive is
// never overwritten until repaired: writes fail with ERROR_BADDB, so nothing in it is lost.
// Quoted strings hold the escapes \\ \" \n \r \0.
//
// In the store HKEY_LOCAL_MACHINE\Software is seen through WOW6432Node by the 32-bit view, as
// on 64-bit Windows. The 32-bit view is the default of a 32-bit build on a 64-bit system (see
// IsWow64Process), and can be asked for with KEY_WOW64_32KEY; KEY_WOW64_64KEY asks for the native
// view. Without either flag a key opened under another open key keeps that key's view.
//
// The store checks access masks against what a call does (a key opened for reading cannot be
// written). A hive the user may not write (the machine hive of an ordinary user) still opens with
// full access; its writes fail with ERROR_ACCESS_DENIED.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RegKeyObject;
using HKEY = RegKeyObject*;

// The predefined roots, with the handle values Windows gives them.
extern const HKEY HKEY_LOCAL_MACHINE;
extern const HKEY HKEY_CURRENT_USER;

using LSTATUS = int32_t;
constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;      // key or value missing
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;       // access mask, file permissions, key has subkeys
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;      // null, closed or unknown key
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;  // bad arguments; on Linux a name the store
                                                 // cannot hold
constexpr LSTATUS ERROR_MORE_DATA = 234;         // buffer too small; the size tells what is needed
constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;     // enumeration past the end
constexpr LSTATUS ERROR_BADDB = 1009;            // the hive file does not parse
constexpr LSTATUS ERROR_REGISTRY_IO_FAILED = 1016;  // the hive could not be written
constexpr LSTATUS ERROR_KEY_DELETED = 1018;         // the open key was deleted meanwhile

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr uint32_t KEY_WOW64_64KEY = 0x0100;
constexpr uint32_t KEY_WOW64_32KEY = 0x0200;
constexpr uint32_t DELETE = 0x10000;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

constexpr uint32_t REG_OPTION_NON_VOLATILE = 0;
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

// Longest key name (one path part) and value name, in characters.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// Opens `subKey` (parts separated by '\'; null or empty opens `key` itself again). On success
// `*result` holds a key that the caller closes with RegCloseKey.
LSTATUS RegOpenKeyExW(HKEY key, const wchar_t* subKey, uint32_t options, uint32_t samDesired,
                      HKEY* result);

// Opens `subKey`, creating it and every missing parent. `keyClass` and `security` must be
// null. `disposition` (may be null) tells whether the key was created.
LSTATUS RegCreateKeyExW(HKEY key, const wchar_t* subKey, uint32_t reserved, wchar_t* keyClass,
                        uint32_t options, uint32_t samDesired, const void* security, HKEY* result,
                        uint32_t* disposition);

// Closes an opened key. Closing a predefined root does nothing.
LSTATUS RegCloseKey(HKEY key);

// The name of the direct subkey at `index` in sorted order. `*nameChars` is the buffer's size
// in characters on entry and the name's length (without terminator) on success; a buffer that
// cannot hold the name and its terminator gives ERROR_MORE_DATA. Past the end:
// ERROR_NO_MORE_ITEMS. The trailing arguments exist for the Windows signature and must be null.
LSTATUS RegEnumKeyExW(HKEY key, uint32_t index, wchar_t* name, uint32_t* nameChars,
                      uint32_t* reserved = nullptr, wchar_t* keyClass = nullptr,
                      uint32_t* classChars = nullptr, void* lastWriteTime = nullptr);

// The value at `index` in storage order: name as RegEnumKeyExW gives a key's, then type and
// data as RegQueryValueExW gives them (each of type, data and dataSize may be null).
LSTATUS RegEnumValueW(HKEY key, uint32_t index, wchar_t* valueName, uint32_t* valueNameChars,
                      uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* dataSize);

// Reads a value (null or empty name: the key's default value). `*dataSize` is the buffer's
// size in bytes on entry and the stored size on return. With a null `data` only type and size
// are reported; a buffer too small gives ERROR_MORE_DATA and nothing is copied.
LSTATUS RegQueryValueExW(HKEY key, const wchar_t* valueName, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* dataSize);

// Stores a value of `type` with `size` bytes of `data` (null name: the default value).
LSTATUS RegSetValueExW(HKEY key, const wchar_t* valueName, uint32_t reserved, uint32_t type,
                       const uint8_t* data, uint32_t size);

LSTATUS RegDeleteValueW(HKEY key, const wchar_t* valueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some). `samDesired`
// chooses the view (KEY_WOW64_64KEY / KEY_WOW64_32KEY). An empty `subKey` deletes `key` itself;
// a hive's root cannot be deleted.
LSTATUS RegDeleteKeyExW(HKEY key, const wchar_t* subKey, uint32_t samDesired, uint32_t reserved);
LSTATUS RegDeleteKeyW(HKEY key, const wchar_t* subKey);

// UTF-16LE bytes of `text` (which may hold zero characters), with one terminating zero unit
// when `terminate` is set.
std::vector<uint8_t> RegStringBytes(std::wstring_view text, bool terminate = true);
// Wide text of UTF-16LE bytes, every unit kept (zeros included); an odd last byte is ignored
// and unpaired surrogates become U+FFFD.
std::wstring RegBytesToString(const uint8_t* data, size_t size);

// The root's name as the hive files and the reg tool spell it ("HKEY_LOCAL_MACHINE"); empty
// for anything but a predefined root.
std::wstring GetRootKeyName(HKEY root);
// The predefined root for a name (long form or HKLM / HKCU, any case), or null.
HKEY RootKeyFromName(std::wstring_view name);

#ifdef _WIN32
// Test hook: points HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process at two new, empty
// keys (under HKEY_CURRENT_USER\Software\QiTest-<guid>), so that tests running side by side
// in one registry neither see each other's keys nor leave any behind. EndTestRegistry puts
// the roots back and deletes the keys. One at a time; false when the keys cannot be made.
bool BeginTestRegistry();
void EndTestRegistry();
#else
// The Linux store's own: the reg tool's export and import, and where the hives live.

// The key `subKey` under `key` (in the view `samDesired` asks for) and everything below it, as
// regedit exports it: the header line, then each key's "[full name]" line and its values, with
// CRLF line ends. ERROR_FILE_NOT_FOUND when the key does not exist.
LSTATUS RegExportKey(HKEY key, const wchar_t* subKey, uint32_t samDesired, std::wstring& text);

// Applies a regedit file (UTF-16LE with BOM, or UTF-8): "[KEY]" creates a key, "[-KEY]" deletes
// it with everything below, value lines set values and '"name"=-' deletes one. When a line does
// not parse nothing changes: ERROR_BADDB, with `badLine` its number (0: no header line). Each
// hive changes in one atomic write.
LSTATUS RegImportFile(const std::string& bytes, size_t& badLine);

// Test hook: how many times a hive file was parsed so far.
unsigned GetHiveParseCountForTest();

// The file of the machine hive or of the user hive, as the rules above place it.
std::string GetRegistryHivePath(bool machine);

#endif

}  // namespace platform
