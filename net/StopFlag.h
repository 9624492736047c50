#pragma once
// The process-wide stop flag: false at start, set by the main window when it closes,
// never cleared. Downloads read it: once set they report no more progress and do not
// give a finished download its final name. It never aborts a transfer.

#include <atomic>

extern std::atomic<bool> g_bStopFlag;
