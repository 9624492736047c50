#pragma once
// An environment variable set (or removed) while the object lives, then put back.

#include <stdlib.h>

#include <optional>
#include <string>

namespace qitest {

class ScopedEnv {
public:
    // A null `value` removes the variable.
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = ::getenv(name))
            m_old = old;
        Set(name, value);
    }
    ~ScopedEnv() { Set(m_name.c_str(), m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        // The C runtime's copy and the process's own (which libcurl reads) at once; an
        // empty value removes it. Names are case-insensitive there.
        ::_putenv_s(name, value != nullptr ? value : "");
#else
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
#endif
    }

    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace qitest
