#pragma once
// Holds a CMutex for the life of the guard.

#include "net/Mutex.h"

class [[nodiscard]] CAutoLock {
public:
    explicit CAutoLock(CMutex* pMutex) : m_pMutex(pMutex) { m_pMutex->Lock(); }
    ~CAutoLock() { m_pMutex->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CMutex* m_pMutex;
};
