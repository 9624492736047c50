#pragma once
// What a download shows of its progress: a smoothed speed, and a share of the file that
// never goes back.

#include <cstdint>

// An exponential moving average of the byte rate with a time constant of about 3 s,
// known once about 1 s has passed since the first byte.
class CSpeedMeter {
public:
    // `bytes`: every byte received so far (never fewer than at the sample before) at
    // `tickMs` (platform::GetTickCount). Samples closer than 250 ms to the last one taken
    // wait for a later one.
    void Sample(uint32_t tickMs, int64_t bytes);
    // Bytes per second; < 0 while not known yet.
    double BytesPerSecond() const;

private:
    bool m_bStarted = false;
    uint32_t m_nLastTick = 0;
    int64_t m_nLastBytes = 0;
    uint32_t m_nObservedMs = 0;
    double m_dAverage = 0;
};

// The bytes to show: the largest share of the file reached so far, also across a retry
// that starts over or a size that changes (a new version of the file).
class CMonotonicProgress {
public:
    // `done` of `total` bytes now (total 0: unknown); gives what to show in the same terms.
    // A size once known stays shown until another is known.
    void Update(int64_t done, int64_t total, int64_t& shownDone, int64_t& shownTotal);

private:
    double m_dMaxShare = 0;
    int64_t m_nMaxDone = 0;  // while no size is known
    int64_t m_nLastTotal = 0;
};
