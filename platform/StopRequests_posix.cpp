#include <signal.h>

#include "platform/StopRequests.h"

namespace platform {

std::atomic<int> StopRequestCatcher::s_caught{0};

namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_old[3];

void OnSignal(int sig) {
    StopRequestCatcher::s_caught.store(sig);
}

}  // namespace

StopRequestCatcher::StopRequestCatcher() {
    s_caught.store(0);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &action, &g_old[i]);
}

StopRequestCatcher::~StopRequestCatcher() {
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &g_old[i], nullptr);
}

}  // namespace platform
