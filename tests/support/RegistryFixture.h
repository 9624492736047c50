#pragma once
// A test fixture over an empty registry of the test's own (TempRegistry), with the calls
// registry tests make again and again: create a key, write a string, read a value back,
// list the subkeys; and one value of every type, written and read back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TempRegistry.h"

namespace qitest {

class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_registry.Ok()); }

    static platform::HKEY Create(platform::HKEY root, const wchar_t* path,
                                 uint32_t sam = platform::KEY_ALL_ACCESS) {
        platform::HKEY k = nullptr;
        EXPECT_EQ(platform::RegCreateKeyExW(root, path, 0, nullptr, 0, sam, nullptr, &k, nullptr),
                  platform::ERROR_SUCCESS);
        return k;
    }
    static platform::LSTATUS SetString(platform::HKEY k, const wchar_t* name,
                                       const std::wstring& text, uint32_t type = platform::REG_SZ) {
        std::vector<uint8_t> b = platform::RegStringBytes(text);
        return platform::RegSetValueExW(k, name, 0, type, b.data(),
                                        static_cast<uint32_t>(b.size()));
    }
    static std::vector<uint8_t> Query(platform::HKEY k, const wchar_t* name, uint32_t& type) {
        uint32_t size = 0;
        EXPECT_EQ(platform::RegQueryValueExW(k, name, nullptr, &type, nullptr, &size),
                  platform::ERROR_SUCCESS);
        std::vector<uint8_t> data(size);
        EXPECT_EQ(platform::RegQueryValueExW(k, name, nullptr, &type, data.data(), &size),
                  platform::ERROR_SUCCESS);
        return data;
    }
    static std::vector<std::wstring> Subkeys(platform::HKEY k) {
        std::vector<std::wstring> names;
        wchar_t name[256];
        for (uint32_t i = 0;; ++i) {
            uint32_t n = 256;
            if (platform::RegEnumKeyExW(k, i, name, &n) != platform::ERROR_SUCCESS)
                break;
            names.emplace_back(name, n);
        }
        return names;
    }

    // One value of every type under `k`, with the texts that are hardest to store: blanks,
    // quotes, a newline, CJK text and a character beyond the BMP.
    struct EveryType {
        uint32_t dword = 0x01020304;
        uint64_t qword = 0x1122334455667788ull;
        std::vector<uint8_t> binary;
        std::wstring plain = L"C:\\Program Files\\\"Q\" 汉字 \U0001F600";
        std::wstring lines = L"line1\nline2";
        std::vector<uint8_t> multi =
            platform::RegStringBytes(std::wstring(L"one\0two \"2\"\0\0", 14), false);

        EveryType() {
            for (size_t i = 0; i < 100; ++i)
                binary.push_back(static_cast<uint8_t>(i * 7));
        }
        void Write(platform::HKEY k) const {
            using namespace platform;
            EXPECT_EQ(SetString(k, L"Plain", plain), ERROR_SUCCESS);
            EXPECT_EQ(SetString(k, L"Lines", lines), ERROR_SUCCESS);
            EXPECT_EQ(SetString(k, L"Wide", L"汉\U0001F600"), ERROR_SUCCESS);
            EXPECT_EQ(SetString(k, L"Expand", L"%HOME%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
            EXPECT_EQ(SetString(k, nullptr, L"default"), ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(k, L"Dword", 0, REG_DWORD,
                                     reinterpret_cast<const uint8_t*>(&dword), 4),
                      ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(k, L"Qword", 0, REG_QWORD,
                                     reinterpret_cast<const uint8_t*>(&qword), 8),
                      ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(k, L"Bin", 0, REG_BINARY, binary.data(), 100), ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(k, L"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
            EXPECT_EQ(RegSetValueExW(k, L"Multi", 0, REG_MULTI_SZ, multi.data(),
                                     static_cast<uint32_t>(multi.size())),
                      ERROR_SUCCESS);
        }
        // Names are looked up in another case than they were written in.
        void ExpectReadBack(platform::HKEY k) const {
            using namespace platform;
            uint32_t type = 0;
            EXPECT_EQ(Query(k, L"plain", type), RegStringBytes(plain));
            EXPECT_EQ(type, REG_SZ);
            EXPECT_EQ(Query(k, L"LINES", type), RegStringBytes(lines));
            EXPECT_EQ(Query(k, L"Wide", type), RegStringBytes(L"汉\U0001F600"));
            EXPECT_EQ(Query(k, L"Expand", type), RegStringBytes(L"%HOME%\\x"));
            EXPECT_EQ(type, REG_EXPAND_SZ);
            EXPECT_EQ(Query(k, L"", type), RegStringBytes(L"default"));
            EXPECT_EQ(Query(k, nullptr, type), RegStringBytes(L"default"));
            EXPECT_EQ(Query(k, L"Dword", type), (std::vector<uint8_t>{4, 3, 2, 1}));
            EXPECT_EQ(type, REG_DWORD);
            EXPECT_EQ(Query(k, L"Qword", type),
                      (std::vector<uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
            EXPECT_EQ(type, REG_QWORD);
            EXPECT_EQ(Query(k, L"Bin", type), binary);
            EXPECT_EQ(type, REG_BINARY);
            EXPECT_TRUE(Query(k, L"Empty", type).empty());
            EXPECT_EQ(Query(k, L"Multi", type), multi);
            EXPECT_EQ(type, REG_MULTI_SZ);
        }
    };

    // Every type written under a new key `path` of `root`, which is closed again.
    static EveryType WriteEveryType(platform::HKEY root, const wchar_t* path) {
        EveryType values;
        platform::HKEY k = Create(root, path);
        EXPECT_NE(k, nullptr);
        if (k != nullptr) {
            values.Write(k);
            platform::RegCloseKey(k);
        }
        return values;
    }

    TempRegistry m_registry;
};

}  // namespace qitest
