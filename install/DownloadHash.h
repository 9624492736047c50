#pragma once
// The BLAKE2b-512 of a download, hashed on a thread of its own while the transfer goes on:
// on a fast line the hash costs about as much as the transfer, and the two then overlap
// instead of adding up. Fed by the download's thread only (CBodyDigest).

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "install/PublisherSignature.h"
#include "net/BodyDigest.h"

class CDownloadHash final : public CBodyDigest {
public:
    CDownloadHash() = default;  // the thread starts with the first block
    ~CDownloadHash() override;
    CDownloadHash(const CDownloadHash&) = delete;
    CDownloadHash& operator=(const CDownloadHash&) = delete;

    void Reset() override;
    void Update(const void* data, size_t size) override;
    // The digest of everything fed since the last Reset, once the thread has hashed it.
    CFileHash Final();

private:
    struct CBlock {
        bool reset = false;  // start over before these bytes
        std::vector<uint8_t> bytes;
    };
    void Push(CBlock block);
    void Run();

    std::vector<uint8_t> m_pending;  // bytes not yet handed over (the feeding thread's)
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<CBlock> m_queue;  // guarded by m_lock, as the three below
    bool m_bBusy = false;        // the thread hashes a block taken from the queue
    bool m_bStop = false;
    CBlake2bDigest m_digest;  // the thread's while it runs; read when it is idle
    std::thread m_thread;
};
