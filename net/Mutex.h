#pragma once
// The lock of the network layer's shared state. It is taken only through CAutoLock
// (net/AutoLock.h), which gives it back on every way out of the scope, an exception too:
// there is no way to lock it by hand.

#include <mutex>

class CMutex final {
public:
    CMutex() = default;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

private:
    friend class CAutoLock;
    void Lock() { m_cs.lock(); }
    void Unlock() { m_cs.unlock(); }

    std::mutex m_cs;
};
