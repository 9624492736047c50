#pragma once
// A proxy lookup that does not answer until the test lets it (or 10 s have passed), for
// the tests of a transfer held up by the system's proxy settings (a PAC file that does not
// come). It runs on the proxy lookup's own thread and may outlive the transfer: it keeps
// itself alive through the function it hands out.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "net/TransferOptions.h"

namespace qitest {

class CSlowProxyLookup : public std::enable_shared_from_this<CSlowProxyLookup> {
public:
    static std::shared_ptr<CSlowProxyLookup> Make() { return std::make_shared<CSlowProxyLookup>(); }

    // The lookup: blocks, then answers "direct".
    ProxyLookupFn Fn() {
        std::shared_ptr<CSlowProxyLookup> self = shared_from_this();
        return [self](const std::string&, std::string& proxy) {
            std::unique_lock<std::mutex> guard(self->m_lock);
            self->m_bStarted = true;
            self->m_cv.notify_all();
            self->m_cv.wait_for(guard, std::chrono::seconds(10), [&] { return self->m_bRelease; });
            self->m_bEnded = true;
            self->m_cv.notify_all();
            proxy.clear();
            return true;
        };
    }
    // True once a lookup has begun (waits up to 10 s).
    bool WaitStarted() {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_cv.wait_for(guard, std::chrono::seconds(10), [&] { return m_bStarted; });
    }
    // Lets the lookup answer and waits until its thread is out of it.
    void Finish() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_bRelease = true;
        m_cv.notify_all();
        m_cv.wait_for(guard, std::chrono::seconds(10), [&] { return m_bEnded || !m_bStarted; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bRelease = false;
    bool m_bStarted = false;
    bool m_bEnded = false;
};

}  // namespace qitest
