#include "net/StopFlag.h"

std::atomic<bool> g_bStopFlag{false};
