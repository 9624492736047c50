#include "platform/ProcessTable.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex s_scanHookMutex;
std::function<void()> s_scanHook;

}  // namespace

std::vector<ProcessEntry> ScanForOpening() {
    std::vector<ProcessEntry> list = ListProcesses();
    std::lock_guard<std::mutex> lock(s_scanHookMutex);
    if (s_scanHook)
        s_scanHook();
    return list;
}

void SetProcessScanHookForTest(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(s_scanHookMutex);
    s_scanHook = std::move(hook);
}

}  // namespace platform
