#pragma once
// An empty registry store of a test's own, in a temporary folder: the registry functions
// use it while the object lives, and it is removed with its hives at the end.

#include <stdlib.h>

#include <string>

#include "tests/support/TempDir.h"

namespace qitest {

class TempRegistry {
public:
    TempRegistry() {
        if (!m_dir.Path().empty())
            ::setenv("QI_REGISTRY_DIR", m_dir.Path().c_str(), 1);
    }
    ~TempRegistry() { ::unsetenv("QI_REGISTRY_DIR"); }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    // The folder of the hives; empty when no temporary folder could be made.
    const std::string& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
};

}  // namespace qitest
