// The Linux registry store's own: where the hive files live, their text, damaged files, the
// parse cache, failed writes, concurrent processes and the WOW6432Node redirection. The rules
// it shares with Windows are Registry_test.cpp's.
#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/ChildProcess.h"
#include "platform/DebugOutput.h"
#include "platform/SystemInfo.h"
#include "platform/Text.h"
#include "tests/support/FileFaults.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/ScopedOverrides.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

class RegistryHiveTest : public qitest::RegistryFixture {
protected:
    const qitest::ScopedOverride m_systemInfo = qitest::ClearSystemInfoAtEnd();

    std::string MachineFile() const { return m_dir + "/machine.reg"; }
    std::string UserFile() const { return m_dir + "/user.reg"; }

    std::string m_dir = m_registry.Path();
};

TEST_F(RegistryHiveTest, HivesLiveWhereTheVariableSays) {
    EXPECT_EQ(GetRegistryHivePath(true), m_dir + "/machine.reg");
    EXPECT_EQ(GetRegistryHivePath(false), m_dir + "/user.reg");
    ::unsetenv("QI_REGISTRY_DIR");
    EXPECT_EQ(GetRegistryHivePath(true), "/var/lib/quillora-installer/registry/machine.reg");
    ::setenv("QI_REGISTRY_DIR", m_dir.c_str(), 1);

    HKEY k = Create(HKEY_CURRENT_USER, L"Software\\Test");
    RegCloseKey(k);
    EXPECT_TRUE(fs::exists(m_dir + "/user.reg"));
    EXPECT_FALSE(fs::exists(MachineFile()));
}

// Every type survives the file, in the form regedit writes, and reads back byte for byte.
TEST_F(RegistryHiveTest, ValuesRoundTripThroughTheRegeditFile) {
    const EveryType values = WriteEveryType(HKEY_LOCAL_MACHINE, L"Software\\Quillora Test\\Sub");
    HKEY k = nullptr;

    std::string file = ReadAll(MachineFile());
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\Quillora Test\\Sub]\n"), std::string::npos);
    EXPECT_NE(file.find("\"Dword\"=dword:01020304\n"), std::string::npos);
    EXPECT_NE(file.find("\"Plain\"=\"C:\\\\Program Files\\\\\\\"Q\\\" 汉字 😀\"\n"),
              std::string::npos);
    EXPECT_NE(file.find("\"Qword\"=hex(b):88,77,66,55,44,33,22,11\n"), std::string::npos);
    EXPECT_NE(file.find("@=\"default\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"Lines\"=\"line1\\nline2\"\n"), std::string::npos);
    EXPECT_NE(file.find(",\\\n  "), std::string::npos);  // long lists wrap

    // Read from the file itself, not from what this process cached when it wrote it.
    unsigned parses = GetHiveParseCountForTest();
    WriteAll(MachineFile(), file);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quillora Test\\Sub", 0, KEY_READ, &k),
              ERROR_SUCCESS);
    EXPECT_GT(GetHiveParseCountForTest(), parses);
    values.ExpectReadBack(k);
    RegCloseKey(k);

    // A name a line of the file could not hold is refused; Windows would take it.
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"bad\nname", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_INVALID_PARAMETER);
}

// A file that a person wrote with regedit on Windows: UTF-16LE, CRLF, comments, a duplicated
// section, hex continued over lines, an empty intermediate key left implicit.
TEST_F(RegistryHiveTest, ReadsARegeditExport) {
    std::wstring text =
        L"Windows Registry Editor Version 5.00\r\n\r\n; exported\r\n"
        L"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full]\r\n"
        L"\"Install\"=dword:1\r\n"
        L"\"Blob\"=hex:01,02,\\\r\n  03\r\n\r\n"
        L"[HKLM\\Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\full]\r\n"
        L"\"Version\"=\"4.8\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (uint8_t b : RegStringBytes(text, false))
        bytes.push_back(static_cast<char>(b));
    WriteAll(MachineFile(), bytes);

    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", 0,
                            KEY_READ, &k),
              ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(k), std::vector<std::wstring>{L"v4"});
    HKEY full = nullptr;
    ASSERT_EQ(RegOpenKeyExW(k, L"v4\\Full", 0, KEY_READ, &full), ERROR_SUCCESS);
    uint32_t type = 0;
    EXPECT_EQ(Query(full, L"Install", type), (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(Query(full, L"Blob", type), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Query(full, L"Version", type), RegStringBytes(L"4.8"));
    RegCloseKey(full);
    RegCloseKey(k);
}

// A line that does not parse is skipped with a log line naming it and the rest still reads; a
// file that is no hive at all reads as empty. Writes fail and the bytes stay until repaired.
TEST_F(RegistryHiveTest, DamagedHiveReadsWhatParsesAndIsNeverOverwritten) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string good = "[HKEY_LOCAL_MACHINE\\Software\\Good]\n\"v\"=\"ok\"\n";
    struct Case {
        std::string bytes;
        int badLine;  // 0: not a hive at all
    };
    std::vector<Case> cases = {
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n", 0},
        {header + "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=bogus:1\n" + good, 4},
        {header + "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=hex:zz\n" + good, 4},
        {header + "[HKEY_CURRENT_USER\\Software\\A]\n" + good, 3},          // another hive's key
        {header + "\"orphan\"=\"value\"\n" + good, 3},                      // value before any key
        {header + "[HKEY_LOCAL_MACHINE\\Software\\\xff\xfe]\n" + good, 3},  // not UTF-8
        {header + "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=\"a\\qb\"\n" + good, 4},  // escape
        {header + good + "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"x\"=hex:01,\\\n", 6},  // cut short
    };
    std::string utf16 = "\xFF\xFE";
    for (uint8_t b : RegStringBytes(L"Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\x", false))
        utf16.push_back(static_cast<char>(b));
    utf16 += std::string("\x00\xD8]\x00\r\x00\n\x00", 8);  // an unpaired surrogate in a key name
    for (uint8_t b : RegStringBytes(L"[HKLM\\Software\\Good]\r\n\"v\"=\"ok\"\r\n", false))
        utf16.push_back(static_cast<char>(b));
    cases.push_back({utf16, 3});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        WriteAll(MachineFile(), c.bytes);
        ScopedDebugCapture capture;
        HKEY k = nullptr;
        if (c.badLine == 0) {
            EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &k),
                      ERROR_FILE_NOT_FOUND);
            EXPECT_NE(capture.Text().find("machine.reg is no registry file"), std::string::npos);
        } else {
            ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Good", 0, KEY_READ, &k),
                      ERROR_SUCCESS);
            uint32_t type = 0;
            EXPECT_EQ(Query(k, L"v", type), RegStringBytes(L"ok"));
            RegCloseKey(k);
            std::string named = "machine.reg line " + std::to_string(c.badLine) + " skipped";
            EXPECT_NE(capture.Text().find(named), std::string::npos) << capture.Text();
            EXPECT_EQ(capture.Text().find(named), capture.Text().rfind(named))
                << "logged more than once";
        }
        HKEY root = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS, &root),
                  ERROR_SUCCESS);
        EXPECT_EQ(SetString(root, L"x", L"y"), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExW(root, L"Software\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                  nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyW(root, L"Software\\Good"), ERROR_BADDB);
        RegCloseKey(root);
        EXPECT_EQ(ReadAll(MachineFile()), c.bytes);
    }
    // Repaired, it is written again.
    WriteAll(MachineFile(), header + good);
    HKEY k = Create(HKEY_LOCAL_MACHINE, L"Software\\Good");
    EXPECT_EQ(SetString(k, L"w", L"new"), ERROR_SUCCESS);
    RegCloseKey(k);
}

TEST_F(RegistryHiveTest, StringsReadTheEscapesOfRegeditExports) {
    WriteAll(MachineFile(),
             "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\E]\n"
             "\"s\"=\"a\\nb\\rc\\0d\\\\e\\\"f\"\n");
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\E", 0, KEY_ALL_ACCESS, &k),
              ERROR_SUCCESS);
    uint32_t type = 0;
    EXPECT_EQ(Query(k, L"s", type), RegStringBytes(std::wstring(L"a\nb\rc\0d\\e\"f", 11)));
    EXPECT_EQ(type, REG_SZ);
    // Written back in the same form.
    EXPECT_EQ(SetString(k, L"t", L"x"), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_NE(ReadAll(MachineFile()).find("\"s\"=\"a\\nb\\rc\\0d\\\\e\\\"f\"\n"),
              std::string::npos);
}

TEST_F(RegistryHiveTest, AnUnchangedHiveIsNotParsedAgain) {
    HKEY k = Create(HKEY_CURRENT_USER, L"Software\\Cache");
    EXPECT_EQ(SetString(k, L"a", L"1"), ERROR_SUCCESS);
    unsigned parses = GetHiveParseCountForTest();
    uint32_t type = 0;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Query(k, L"a", type), RegStringBytes(L"1"));
    EXPECT_EQ(GetHiveParseCountForTest(), parses);
    EXPECT_EQ(SetString(k, L"b", L"2"), ERROR_SUCCESS);  // our own write needs no parse either
    EXPECT_EQ(Query(k, L"b", type), RegStringBytes(L"2"));
    EXPECT_EQ(GetHiveParseCountForTest(), parses);

    // Changed behind our back, in place and with the same size: read anew.
    std::string text = ReadAll(UserFile());
    size_t at = text.find("\"b\"=\"2\"");
    ASSERT_NE(at, std::string::npos);
    text[at + 5] = '3';
    std::fstream(UserFile(), std::ios::in | std::ios::out | std::ios::binary)
        .write(text.data(), text.size());
    EXPECT_EQ(Query(k, L"b", type), RegStringBytes(L"3"));
    EXPECT_GT(GetHiveParseCountForTest(), parses);
    RegCloseKey(k);
}

TEST_F(RegistryHiveTest, ThirtyTwoBitViewGoesThroughWow6432Node) {
    HKEY k = Create(HKEY_LOCAL_MACHINE, L"Software\\Vendor", KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    EXPECT_EQ(SetString(k, L"Bits", L"32"), ERROR_SUCCESS);
    RegCloseKey(k);
    k = Create(HKEY_LOCAL_MACHINE, L"Software\\Vendor", KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    EXPECT_EQ(SetString(k, L"Bits", L"64"), ERROR_SUCCESS);
    RegCloseKey(k);
    std::string file = ReadAll(MachineFile());
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Vendor]"), std::string::npos);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &software),
              ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(software), (std::vector<std::wstring>{L"Vendor", L"WOW6432Node"}));
    RegCloseKey(software);

    // A 32-bit build on a 64-bit system: the redirected view unless it asks for the native one;
    // a key opened under a redirected key stays redirected.
    SetNativeSystemForTest(NativeOverride{kArchAmd64, true});
    uint32_t type = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &software),
              ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(software), std::vector<std::wstring>{L"Vendor"});
    ASSERT_EQ(RegOpenKeyExW(software, L"Vendor", 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(Query(k, L"Bits", type), RegStringBytes(L"32"));
    RegCloseKey(k);
    RegCloseKey(software);
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Vendor", 0, KEY_READ | KEY_WOW64_64KEY, &k),
        ERROR_SUCCESS);
    EXPECT_EQ(Query(k, L"Bits", type), RegStringBytes(L"64"));
    RegCloseKey(k);
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Vendor", 0, 0), ERROR_SUCCESS);
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Vendor", 0, KEY_READ | KEY_WOW64_64KEY, &k),
        ERROR_SUCCESS);
    RegCloseKey(k);
    // The user hive is shared by both views.
    k = Create(HKEY_CURRENT_USER, L"Software\\Shared");
    RegCloseKey(k);
    EXPECT_EQ(ReadAll(m_dir + "/user.reg").find("WOW6432Node"), std::string::npos);
}

// A disk that is full or failing at any step of the write: the call fails, the hive file keeps
// every byte, nothing is left beside it, and the tree in memory is not changed either.
TEST_F(RegistryHiveTest, AFailedWriteLeavesTheHiveWhole) {
    HKEY k = Create(HKEY_LOCAL_MACHINE, L"Software\\Quillora");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(SetString(k, L"Kept", L"old"), ERROR_SUCCESS);
    const std::string before = ReadAll(MachineFile());
    const std::set<std::string> entries = qitest::FolderEntries(m_dir);
    for (const qitest::FileFault& fault : qitest::AllFileFaults()) {
        SCOPED_TRACE(qitest::Describe(fault));
        ScopedDebugCapture capture;
        {
            qitest::ScopedFileFault injected(fault);
            EXPECT_EQ(SetString(k, L"Added", L"new"), ERROR_REGISTRY_IO_FAILED);
            EXPECT_EQ(SetString(k, L"Kept", L"changed"), ERROR_REGISTRY_IO_FAILED);
            EXPECT_EQ(RegDeleteValueW(k, L"Kept"), ERROR_REGISTRY_IO_FAILED);
        }
        EXPECT_NE(capture.Text().find(MachineFile()), std::string::npos) << capture.Text();
        EXPECT_EQ(ReadAll(MachineFile()), before);
        EXPECT_EQ(qitest::FolderEntries(m_dir), entries);
        uint32_t type = 0, size = 0;
        EXPECT_EQ(RegQueryValueExW(k, L"Added", nullptr, &type, nullptr, &size),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(Query(k, L"Kept", type), RegStringBytes(L"old"));
    }
    EXPECT_EQ(SetString(k, L"Added", L"new"), ERROR_SUCCESS);  // the disk is back
    uint32_t type = 0;
    EXPECT_EQ(Query(k, L"Added", type), RegStringBytes(L"new"));
    RegCloseKey(k);
}

constexpr int kValuesPerChild = 40;

// Several processes write one hive while this one reads it: no reader ever sees a torn file
// (the sentinel stays readable), and no writer's change is lost.
TEST_F(RegistryHiveTest, ConcurrentProcessesLoseNothing) {
    HKEY k = Create(HKEY_LOCAL_MACHINE, L"Software\\Shared");
    ASSERT_EQ(SetString(k, L"Sentinel", L"here"), ERROR_SUCCESS);
    constexpr int kChildren = 4;
    std::vector<ChildProcess> children(kChildren);
    for (int c = 0; c < kChildren; ++c) {
        // Each child adds its share of values to the key, one write each, once "go" exists.
        SpawnOptions options;
        options.commandLine = L"\"" + Utf8ToWide(QI_TEST_CHILD) + L"\" registry-add-values " +
                              std::to_wstring(c) + L" " + std::to_wstring(kValuesPerChild);
        int error = 0;
        ASSERT_TRUE(SpawnProcess(options, children[c], error)) << error;
    }
    for (int waited = 0; waited < 20000; ++waited) {
        int ready = 0;
        for (int c = 0; c < kChildren; ++c)
            ready += fs::exists(m_dir + "/ready" + std::to_string(c)) ? 1 : 0;
        if (ready == kChildren)
            break;
        ::usleep(1000);
    }
    WriteAll(m_dir + "/go", "");

    int reads = 0;
    bool running = true;
    while (running) {
        uint32_t size = 0;
        ASSERT_EQ(RegQueryValueExW(k, L"Sentinel", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS)
            << "after " << reads << " reads";
        ++reads;
        running = false;
        for (ChildProcess& child : children) {
            if (!child.WaitForExit(0))
                running = true;
        }
    }
    for (ChildProcess& child : children) {
        ASSERT_TRUE(child.WaitForExit(60000));
        EXPECT_EQ(child.ExitCode(), 0u);
    }
    for (int c = 0; c < kChildren; ++c) {
        for (int i = 0; i < kValuesPerChild; ++i) {
            std::wstring name = L"c" + std::to_wstring(c) + L"_" + std::to_wstring(i);
            uint32_t v = 99, size = 4, type = 0;
            ASSERT_EQ(RegQueryValueExW(k, name.c_str(), nullptr, &type,
                                       reinterpret_cast<uint8_t*>(&v), &size),
                      ERROR_SUCCESS)
                << name.size();
            EXPECT_EQ(v, static_cast<uint32_t>(i));
        }
    }
    RegCloseKey(k);
    fs::path dir(m_dir);
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "machine.reg" || name == "machine.reg.lock" || name == "go" ||
                    name.rfind("ready", 0) == 0)
            << name;  // no leftovers
    }
}

}  // namespace
