#pragma once
// The platform's process-wide test overrides, each set for the life of a scope and cleared
// when it ends, also when a test fails half-way: the next test never starts with a hook set.
//
//   const auto module = qitest::OverrideModuleFileName(L"/tmp/x/installer");
//
// A test that changes an override several times takes the clearing one first
// (qitest::ClearSystemInfoAtEnd()) and calls the setters in between.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Devices.h"
#include "platform/Guid.h"
#include "platform/Module.h"
#include "platform/ShellFolders.h"
#include "platform/SystemInfo.h"
#include "platform/Time.h"

namespace qitest {

// Runs `set` now and `clear` when it goes.
class [[nodiscard]] ScopedOverride {
public:
    ScopedOverride(const std::function<void()>& set, std::function<void()> clear)
        : m_clear(std::move(clear)) {
        set();
    }
    ScopedOverride(ScopedOverride&& other) noexcept : m_clear(std::exchange(other.m_clear, {})) {}
    ScopedOverride& operator=(ScopedOverride&&) = delete;
    ~ScopedOverride() {
        if (m_clear)
            m_clear();
    }

private:
    std::function<void()> m_clear;
};

inline ScopedOverride OverrideModuleFileName(std::wstring path) {
    return {[&] { platform::SetModuleFileNameForTest(path); },
            [] { platform::SetModuleFileNameForTest(L""); }};
}

// The special folders `csidls` all at `path`.
inline ScopedOverride OverrideSpecialFolders(std::vector<int> csidls, std::wstring path) {
    return {[&] {
                for (int csidl : csidls)
                    platform::SetSpecialFolderForTest(csidl, path);
            },
            [csidls] {
                for (int csidl : csidls)
                    platform::SetSpecialFolderForTest(csidl, std::nullopt);
            }};
}

inline ScopedOverride OverrideLocalTime(platform::LocalTimeHook hook) {
    return {[&] { platform::SetLocalTimeHookForTest(hook); },
            [] { platform::SetLocalTimeHookForTest(nullptr); }};
}

inline ScopedOverride OverrideGuidFailure() {
    return {[] { platform::SetGuidFailureForTest(true); },
            [] { platform::SetGuidFailureForTest(false); }};
}

#ifndef _WIN32
// The Linux stand-in's device tree; Windows asks setupapi.
inline ScopedOverride OverrideSysfsRoot(std::string root) {
    return {[&] { platform::SetSysfsRootForTest(root); },
            [] { platform::SetSysfsRootForTest(""); }};
}
#endif

// The version record, the native system and the adapter list back to the system's at the
// end; the setters of platform/SystemInfo.h may be called in between.
inline ScopedOverride ClearSystemInfoAtEnd() {
    return {[] {},
            [] {
                platform::ResetVersionRecordForTest();
                platform::SetNativeSystemForTest(std::nullopt);
                platform::SetAdaptersForTest(std::nullopt);
            }};
}

}  // namespace qitest
