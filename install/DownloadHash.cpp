#include "install/DownloadHash.h"

namespace {

// Blocks of this size go to the thread; at most kMaxQueued wait there (the feeding thread
// waits beyond that, so memory stays bounded when the hash is slower than the line).
constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kMaxQueued = 8;

}  // namespace

CDownloadHash::~CDownloadHash() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bStop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CDownloadHash::Reset() {
    m_pending.clear();
    Push(CBlock{true, {}});
}

void CDownloadHash::Update(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_pending.insert(m_pending.end(), bytes, bytes + size);
    if (m_pending.size() >= kBlockBytes) {
        Push(CBlock{false, std::move(m_pending)});
        m_pending = {};
        m_pending.reserve(kBlockBytes + size);
    }
}

CFileHash CDownloadHash::Final() {
    if (!m_pending.empty()) {
        Push(CBlock{false, std::move(m_pending)});
        m_pending = {};
    }
    std::unique_lock<std::mutex> guard(m_lock);
    m_cv.wait(guard, [this] { return m_queue.empty() && !m_bBusy; });
    return m_digest.Final();
}

void CDownloadHash::Push(CBlock block) {
    std::unique_lock<std::mutex> guard(m_lock);
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    m_cv.wait(guard, [this] { return m_queue.size() < kMaxQueued; });
    m_queue.push_back(std::move(block));
    guard.unlock();
    m_cv.notify_all();
}

void CDownloadHash::Run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_cv.wait(guard, [this] { return m_bStop || !m_queue.empty(); });
        if (m_bStop)
            return;
        CBlock block = std::move(m_queue.front());
        m_queue.pop_front();
        m_bBusy = true;
        guard.unlock();
        m_cv.notify_all();  // room in the queue
        if (block.reset)
            m_digest.Reset();
        m_digest.Update(block.bytes.data(), block.bytes.size());
        guard.lock();
        m_bBusy = false;
        m_cv.notify_all();
    }
}
