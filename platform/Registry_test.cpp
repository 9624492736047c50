// The registry rules both systems share: run against Windows' own registry (under Wine) and
// against the Linux store, so that the store stays faithful. The store's files are
// RegistryHive_test.cpp's.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/RegistryFixture.h"

using namespace platform;

namespace {

using RegistryTest = qitest::RegistryFixture;

// Every type reads back byte for byte and with its type; strings are sized in UTF-16 units.
TEST_F(RegistryTest, ValuesReadBackAsWritten) {
    const EveryType values = WriteEveryType(HKEY_LOCAL_MACHINE, L"Software\\Quillora Test\\Sub");
    HKEY k = nullptr;

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\QUILLORA TEST\\sub", 0, KEY_READ, &k),
              ERROR_SUCCESS);
    values.ExpectReadBack(k);
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(RegQueryValueExW(k, L"Wide", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);  // one unit, a surrogate pair and the terminator
    std::vector<uint8_t> bytes = Query(k, L"Plain", type);
    EXPECT_EQ(RegBytesToString(bytes.data(), bytes.size()), values.plain + L'\0');

    // Enumeration gives name, type and data alike.
    wchar_t name[32];
    uint8_t data[8];
    bool sawDword = false;
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = 32, dataSize = sizeof data;
        LSTATUS s = RegEnumValueW(k, i, name, &chars, nullptr, &type, data, &dataSize);
        if (s == ERROR_NO_MORE_ITEMS)
            break;
        if (std::wstring(name, chars) == L"Dword") {
            ASSERT_EQ(s, ERROR_SUCCESS);
            EXPECT_EQ(type, REG_DWORD);
            EXPECT_EQ(dataSize, 4u);
            EXPECT_EQ(data[0], 4);
            sawDword = true;
        }
    }
    EXPECT_TRUE(sawDword);
    RegCloseKey(k);
}

TEST_F(RegistryTest, NamesIgnoreCaseKeepCaseAndSubkeysSort) {
    HKEY k = Create(HKEY_CURRENT_USER, L"Software\\Sorted");
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"_under", L"Ärger", L"ALPHA"}) {
        HKEY c = nullptr;
        uint32_t disposition = 0;
        ASSERT_EQ(
            RegCreateKeyExW(k, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &c, &disposition),
            ERROR_SUCCESS);
        EXPECT_EQ(disposition,
                  std::wstring(name) == L"ALPHA" ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY);
        RegCloseKey(c);
    }
    // Upper-case order: '_' (0x5F) comes after the letters.
    std::vector<std::wstring> expected{L"Alpha", L"beta", L"gamma", L"_under", L"Ärger"};
    std::vector<std::wstring> sorted = Subkeys(k);
#ifdef _WIN32
    // Wine sorts by lower case, '_' before the letters; Windows, like the store, by upper case.
    std::erase(expected, L"_under");
    std::erase(sorted, L"_under");
#endif
    EXPECT_EQ(sorted, expected);
    EXPECT_EQ(SetString(k, L"Name", L"first"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(k, L"NAME", L"second"), ERROR_SUCCESS);
    uint32_t type = 0;
    EXPECT_EQ(Query(k, L"name", type), RegStringBytes(L"second"));
    wchar_t name[32];
    uint32_t n = 32;
    EXPECT_EQ(RegEnumValueW(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name), L"Name");  // the first spelling stays
    n = 32;
    EXPECT_EQ(RegEnumValueW(k, 1, name, &n, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    HKEY c = nullptr;
    EXPECT_EQ(RegOpenKeyExW(k, L"äRGER", 0, KEY_READ, &c), ERROR_SUCCESS);
    RegCloseKey(c);
    RegCloseKey(k);
}

TEST_F(RegistryTest, WindowsErrorCodes) {
    HKEY k = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Missing", 0, KEY_READ, &k),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(k, nullptr);

    k = Create(HKEY_LOCAL_MACHINE, L"Software\\Codes\\Child");
    RegCloseKey(k);
    k = Create(HKEY_LOCAL_MACHINE, L"Software\\Codes");
    EXPECT_EQ(SetString(k, L"Text", L"abcdef"), ERROR_SUCCESS);

    uint8_t small[4];
    uint32_t size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(k, L"Text", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 14u);  // UTF-16 size with terminator
    EXPECT_EQ(RegQueryValueExW(k, L"None", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    wchar_t name[6];
    uint32_t n = 5;  // "Child" needs 6 with its terminator
    EXPECT_EQ(RegEnumKeyExW(k, 0, name, &n), ERROR_MORE_DATA);
    n = 6;
    EXPECT_EQ(RegEnumKeyExW(k, 0, name, &n), ERROR_SUCCESS);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(RegEnumKeyExW(k, 1, name, &n), ERROR_NO_MORE_ITEMS);
    n = 4;  // "Text" needs 5
    EXPECT_EQ(RegEnumValueW(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    n = 6;
    size = sizeof small;
    EXPECT_EQ(RegEnumValueW(k, 0, name, &n, nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 14u);

    // A key with subkeys stays; so does a root.
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Codes"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Codes\\Nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(k, L"None"), ERROR_FILE_NOT_FOUND);

    HKEY ro = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Codes", 0, KEY_READ, &ro),
              ERROR_SUCCESS);
    EXPECT_EQ(SetString(ro, L"Text", L"x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(ro, L"Text"), ERROR_ACCESS_DENIED);
    RegCloseKey(ro);

    // A key deleted under an open handle.
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(k, L"Child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(k, L"CHILD"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(child, L"x", L"y"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExW(child, 0, name, &n), ERROR_KEY_DELETED);
    RegCloseKey(child);
    EXPECT_EQ(Subkeys(k), std::vector<std::wstring>{});

    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);  // closed twice
    EXPECT_EQ(SetString(k, L"x", L"y"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(nullptr, L"x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
}

// Both views of the user hive are one: nothing there is redirected.
TEST_F(RegistryTest, UserKeysAreSharedByBothViews) {
    HKEY k = Create(HKEY_CURRENT_USER, L"Software\\Shared", KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    EXPECT_EQ(SetString(k, L"Bits", L"32"), ERROR_SUCCESS);
    RegCloseKey(k);
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", 0, KEY_READ | KEY_WOW64_64KEY, &k),
        ERROR_SUCCESS);
    uint32_t type = 0;
    EXPECT_EQ(Query(k, L"Bits", type), RegStringBytes(L"32"));
    RegCloseKey(k);
    EXPECT_EQ(RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", KEY_WOW64_64KEY, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", 0, KEY_READ | KEY_WOW64_32KEY, &k),
        ERROR_FILE_NOT_FOUND);
}

}  // namespace
