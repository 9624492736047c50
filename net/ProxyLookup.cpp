#include "net/ProxyLookup.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/ClusterCurl.h"
#include "net/SystemProxy.h"
#include "platform/Thread.h"
#include "platform/Time.h"

namespace {

constexpr uint32_t kWaitSliceMs = 20;
// An idle lookup thread ends after this long; the next lookup starts another.
constexpr auto kIdleEnd = std::chrono::seconds(2);

struct CLookupJob {
    std::string url;
    ProxyLookupFn lookup;  // empty: the system's
    bool started = false;  // guarded by the service's lock, as the fields below
    bool done = false;
    bool answered = false;
    std::string proxy;
};

// Never destroyed: its thread may still be inside a lookup when the program ends, and
// touches nothing else (the system lookup's factory is never freed either).
class CProxyLookupService {
public:
    static CProxyLookupService& Instance() {
        static auto* service = new CProxyLookupService();
        return *service;
    }

    ProxyRoute LookUp(const std::string& url, const ProxyLookupFn& lookup, uint32_t limitMs,
                      const std::atomic<bool>* stopFlag, std::string& proxy);

private:
    // Runs the queue; ends after kIdleEnd without work.
    void Run();
    // Under m_lock: a lookup thread is there to take the queue.
    bool EnsureWorkerLocked();

    std::mutex m_lock;
    std::condition_variable m_cvWork;  // the lookup thread waits for jobs
    std::condition_variable m_cvDone;  // callers wait for answers
    std::deque<std::shared_ptr<CLookupJob>> m_queue;
    std::shared_ptr<CLookupJob> m_pCurrent;  // the job the lookup thread runs
    uint32_t m_nCurrentSince = 0;
    bool m_bWorker = false;
};

bool CProxyLookupService::EnsureWorkerLocked() {
    if (m_bWorker)
        return true;
    try {
        // Detached: it ends by itself once idle, and the service it uses is never destroyed.
        std::thread([this] { Run(); }).detach();
    } catch (const std::system_error& e) {
        traceError("proxy lookup thread not started: %s\n", e.what());
        return false;
    }
    m_bWorker = true;
    return true;
}

void CProxyLookupService::Run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_queue.empty() &&
            !m_cvWork.wait_for(lock, kIdleEnd, [&] { return !m_queue.empty(); })) {
            m_bWorker = false;
            return;
        }
        std::shared_ptr<CLookupJob> job = m_queue.front();
        m_queue.pop_front();
        job->started = true;
        m_pCurrent = job;
        m_nCurrentSince = platform::GetTickCount();
        lock.unlock();

        std::string proxy;
        const bool answered =
            job->lookup ? job->lookup(job->url, proxy) : ResolveSystemProxy(job->url, proxy);

        lock.lock();
        job->done = true;
        job->answered = answered;
        job->proxy = proxy;
        m_pCurrent.reset();
        m_cvDone.notify_all();
    }
}

ProxyRoute CProxyLookupService::LookUp(const std::string& url, const ProxyLookupFn& lookup,
                                       uint32_t limitMs, const std::atomic<bool>* stopFlag,
                                       std::string& proxy) {
    const std::string key = ProxyLookupKey(url);
    const uint32_t start = platform::GetTickCount();
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_pCurrent != nullptr && start - m_nCurrentSince >= limitMs) {
        traceError("proxy lookup for %s skipped: an earlier lookup has not answered for %u ms\n",
                   key.c_str(), start - m_nCurrentSince);
        return ProxyRoute::TimedOut;
    }
    auto job = std::make_shared<CLookupJob>();
    job->url = url;
    job->lookup = lookup;
    m_queue.push_back(job);
    if (!EnsureWorkerLocked()) {
        m_queue.pop_back();
        return ProxyRoute::NoAnswer;
    }
    m_cvWork.notify_one();

    for (;;) {
        if (job->done) {
            proxy = job->proxy;
            return job->answered ? ProxyRoute::Answered : ProxyRoute::NoAnswer;
        }
        const bool cancelled =
            platform::IsCurrentThreadCancelled() || (stopFlag != nullptr && stopFlag->load());
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (cancelled || elapsed >= limitMs) {
            // A job not begun yet is dropped; one under way finishes unheard.
            if (!job->started)
                m_queue.erase(std::find(m_queue.begin(), m_queue.end(), job));
            if (cancelled)
                return ProxyRoute::Cancelled;
            traceError("proxy lookup for %s gave no answer within %u ms: going on without it\n",
                       key.c_str(), limitMs);
            return ProxyRoute::TimedOut;
        }
        m_cvDone.wait_for(lock,
                          std::chrono::milliseconds(std::min(kWaitSliceMs, limitMs - elapsed)));
    }
}

}  // namespace

std::string ProxyLookupKey(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return std::string();
    const size_t hostStart = scheme + 3;
    size_t hostEnd = url.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos)
        hostEnd = url.size();
    std::string authority = url.substr(hostStart, hostEnd - hostStart);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    std::string key = url.substr(0, hostStart) + authority;
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

ProxyRoute LookUpProxy(const std::string& url, const ProxyLookupFn& lookup, uint32_t limitMs,
                       const std::atomic<bool>* stopFlag, std::string& proxy) {
    return CProxyLookupService::Instance().LookUp(url, lookup, limitMs, stopFlag, proxy);
}
