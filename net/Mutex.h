#pragma once
// The request manager's lock over one critical section, and its scope guard.

#include <mutex>

class CMutex final {
public:
    CMutex() = default;
    ~CMutex() = default;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    virtual void Lock() { m_cs.lock(); }
    virtual void Unlock() { m_cs.unlock(); }

private:
    std::mutex m_cs;
};
