#pragma once
// Runs a real host's loop until a condition holds, for tests that wait on what the window
// system delivers.

#include <cstdint>

#include "uilib/SHostBackend.h"

namespace SOUI {

// Runs `host`'s loop until `pred` holds (looked at every 10 ms); false when `timeoutMs` pass
// without.
template <class Pred>
bool RunLoopUntil(IHostBackend& host, Pred pred, unsigned timeoutMs = 5000) {
    const uint64_t poll = host.AddTimer(10, [&] {
        if (pred())
            host.QuitLoop(0);
    });
    const uint64_t guard = host.AddTimer(timeoutMs, [&] { host.QuitLoop(-1); });
    const int code = host.RunLoop();
    host.RemoveTimer(poll);
    host.RemoveTimer(guard);
    return code == 0;
}

}  // namespace SOUI
