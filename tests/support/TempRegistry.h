#pragma once
// An empty registry of a test's own: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER lead there
// while the object lives, and it is removed with everything in it at the end. On Linux it is
// a store in a temporary folder; on Windows two fresh keys the roots are redirected to (see
// platform::BeginTestRegistry), since tests run side by side in one registry there.

#include <string>

#ifdef _WIN32
#include "platform/Registry.h"
#else
#include <stdlib.h>

#include "tests/support/TempDir.h"
#endif

namespace qitest {

class TempRegistry {
public:
#ifdef _WIN32
    TempRegistry() : m_ok(platform::BeginTestRegistry()) {}
    ~TempRegistry() {
        if (m_ok)
            platform::EndTestRegistry();
    }
#else
    TempRegistry() : m_ok(!m_dir.Path().empty()) {
        if (m_ok)
            ::setenv("QI_REGISTRY_DIR", m_dir.Path().c_str(), 1);
    }
    ~TempRegistry() {
        ::unsetenv("QI_REGISTRY_DIR");
    }

    // The folder of the hive files.
    const std::string& Path() const {
        return m_dir.Path();
    }
#endif
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    // False when the registry could not be set up.
    bool Ok() const {
        return m_ok;
    }

private:
#ifndef _WIN32
    TempDir m_dir;
#endif
    bool m_ok;
};

}  // namespace qitest
