#pragma once
// A test fixture over an empty registry of the test's own (TempRegistry), with the calls
// registry tests make again and again: create a key, write a string, read a value back,
// list the subkeys.

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

    TempRegistry m_registry;
};

}  // namespace qitest
