#include "net/TransferProgress.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr uint32_t kMinSampleMs = 250;
constexpr double kTimeConstantMs = 3000;
constexpr uint32_t kKnownAfterMs = 1000;
}  // namespace

void CSpeedMeter::Sample(uint32_t tickMs, int64_t bytes) {
    if (!m_bStarted) {
        if (bytes <= 0)
            return;  // the clock starts with the data, not with the connection
        m_bStarted = true;
        m_nLastTick = tickMs;
        m_nLastBytes = bytes;
        return;
    }
    const uint32_t elapsed = tickMs - m_nLastTick;
    if (elapsed < kMinSampleMs)
        return;
    const double rate =
        static_cast<double>(std::max<int64_t>(bytes - m_nLastBytes, 0)) * 1000.0 / elapsed;
    if (m_nObservedMs == 0) {
        m_dAverage = rate;
    } else {
        // The weight of a sample grows with the time it covers, so irregular samples
        // average as evenly spaced ones would.
        const double weight = 1.0 - std::exp(-static_cast<double>(elapsed) / kTimeConstantMs);
        m_dAverage += weight * (rate - m_dAverage);
    }
    m_nObservedMs += elapsed;
    m_nLastTick = tickMs;
    m_nLastBytes = bytes;
}

double CSpeedMeter::BytesPerSecond() const {
    return m_nObservedMs >= kKnownAfterMs ? m_dAverage : -1;
}

void CMonotonicProgress::Update(int64_t done, int64_t total, int64_t& shownDone,
                                int64_t& shownTotal) {
    if (total > 0)
        m_nLastTotal = total;
    shownTotal = m_nLastTotal;
    if (shownTotal <= 0) {
        m_nMaxDone = std::max(m_nMaxDone, done);
        shownDone = m_nMaxDone;
        return;
    }
    const int64_t current = total > 0 ? std::min(done, total) : 0;
    m_dMaxShare =
        std::max(m_dMaxShare, static_cast<double>(current) / static_cast<double>(shownTotal));
    const auto atMax = static_cast<int64_t>(m_dMaxShare * static_cast<double>(shownTotal));
    shownDone = std::min(std::max(current, atMax), shownTotal);
}
