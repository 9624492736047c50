#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TempRegistry.h"

using namespace platform;

namespace {

// Threads of one process share the cached hive: each sees the others' writes and none is lost.
TEST(RegistryThreads, WritersAndReadersShareTheCachedHive) {
    qitest::TempRegistry registry;
    ASSERT_TRUE(registry.Ok());
    constexpr int kThreads = 4;
    constexpr int kValues = 25;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Threads", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
                ++failures[t];
                return;
            }
            for (int i = 0; i < kValues; ++i) {
                std::wstring name = L"t" + std::to_wstring(t) + L"v" + std::to_wstring(i);
                std::vector<uint8_t> data = RegStringBytes(name);
                if (RegSetValueExW(key, name.c_str(), 0, REG_SZ, data.data(),
                                   static_cast<uint32_t>(data.size())) != ERROR_SUCCESS)
                    ++failures[t];
                uint32_t size = 0;
                if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) !=
                    ERROR_SUCCESS)
                    ++failures[t];
            }
            RegCloseKey(key);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Threads", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    uint32_t count = 0;
    wchar_t name[64];
    for (uint32_t chars = 64; RegEnumValueW(key, count, name, &chars, nullptr, nullptr, nullptr,
                                            nullptr) == ERROR_SUCCESS;
         chars = 64)
        ++count;
    EXPECT_EQ(count, static_cast<uint32_t>(kThreads * kValues));
    RegCloseKey(key);
}

}  // namespace
