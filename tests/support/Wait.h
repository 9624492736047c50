#pragma once
// A bounded wait for something another thread or process brings about.

#include <chrono>
#include <thread>

namespace qitest {

// Asks `pred` every 10 ms for up to `ms`; true as soon as it holds, else its last answer.
template <class Pred>
bool WaitUntil(Pred pred, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

}  // namespace qitest
