#include "net/RetryPolicy.h"

#include <curl/curl.h>

#include <algorithm>
#include <random>

CRetryPolicy::CRetryPolicy(int retries, uint32_t firstBackoffMs, uint32_t maxBackoffMs)
    : m_nRetries(std::max(retries, 0)),
      m_nFirstMs(std::max<uint32_t>(firstBackoffMs, 1)),
      m_nCapMs(std::max<uint32_t>(maxBackoffMs, 1)) {}

bool CRetryPolicy::AllowsRetry(bool retryable, bool progressed) {
    m_nFruitless = progressed ? 0 : m_nFruitless + 1;
    return m_nRetries > 0 && retryable && m_nFruitless <= m_nRetries;
}

uint32_t CRetryPolicy::DelayMs(uint32_t retryAfterMs) const {
    return BackoffDelayMs(std::max(m_nFruitless - 1, 0), retryAfterMs, m_nFirstMs, m_nCapMs);
}

bool CRetryPolicy::IsTransientFailure(int code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:     // refused
        case CURLE_PARTIAL_FILE:        // body cut off
        case CURLE_OPERATION_TIMEDOUT:  // connect or transfer time-out, or a stalled line
        case CURLE_GOT_NOTHING:         // closed before an answer
        case CURLE_SEND_ERROR:          // reset while sending
        case CURLE_RECV_ERROR:          // reset or lost while receiving
        case CURLE_HTTP2:               // framing broken off
        case CURLE_HTTP2_STREAM:        // stream reset
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

uint32_t CRetryPolicy::BackoffDelayMs(int step, uint32_t retryAfterMs, uint32_t firstMs,
                                      uint32_t capMs) {
    const uint64_t cap = capMs;
    if (retryAfterMs > 0)
        return static_cast<uint32_t>(std::min<uint64_t>(retryAfterMs, cap));
    uint64_t delay = firstMs;
    for (int i = 0; i < step && delay < cap; ++i)
        delay *= 2;
    delay = std::min(delay, cap);
    // Jitter: installers that lost the same server do not all come back at once.
    thread_local std::mt19937 rng(std::random_device{}());
    const uint64_t jitter = std::uniform_int_distribution<uint64_t>(0, delay / 4)(rng);
    return static_cast<uint32_t>(std::min(delay + jitter, cap));
}
