#pragma once
// When a download tries a URL again and how long it waits first. The budget is spent only
// by attempts that brought no new byte of the file: a line that keeps breaking but always
// moves forward is followed to the end, one that gives nothing is given up.

#include <cstdint>

class CRetryPolicy {
public:
    // `retries`: further attempts after a transient failure without progress (0: none at
    // all); the waits start at `firstBackoffMs` and never exceed `maxBackoffMs`.
    CRetryPolicy(int retries, uint32_t firstBackoffMs, uint32_t maxBackoffMs);

    // Records a failed attempt; true when another attempt may follow. `retryable`: the
    // failure is transient (or the body must start over); `progressed`: the attempt
    // brought bytes of the file beyond any it had before, which starts the count afresh.
    bool AllowsRetry(bool retryable, bool progressed);
    // The wait before the attempt AllowsRetry allowed: a server's Retry-After of
    // `retryAfterMs` (> 0), else the back-off for the fruitless attempts in a row.
    uint32_t DelayMs(uint32_t retryAfterMs) const;
    // Failed attempts in a row without progress, the last one included.
    int FruitlessInRow() const { return m_nFruitless; }
    int Retries() const { return m_nRetries; }

    // True for the failures worth another attempt: libcurl's codes for a refused, reset or
    // lost connection, a time-out or a cut-off body, and the statuses 408, 429, 500, 502,
    // 503 and 504.
    static bool IsTransientFailure(int code);
    // The back-off after `step` + 1 fruitless attempts: `firstMs` doubling, at most `capMs`,
    // plus up to a quarter of jitter within that cap; a Retry-After of `retryAfterMs` (> 0)
    // takes its place, also at most `capMs`.
    static uint32_t BackoffDelayMs(int step, uint32_t retryAfterMs, uint32_t firstMs,
                                   uint32_t capMs);

private:
    int m_nRetries;
    uint32_t m_nFirstMs;
    uint32_t m_nCapMs;
    int m_nFruitless = 0;
};
