// The wake signal on Windows: a manual-reset event object.
#include "platform/WakeEvent.h"

#include <string>

#include "platform/DebugOutput.h"

#include <windows.h>

namespace platform {

WakeEvent::WakeEvent() {
    m_handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_handle == nullptr) {
        const std::string line =
            "WakeEvent: CreateEvent failed (error " + std::to_string(::GetLastError()) + ")\n";
        OutputDebugStringA(line.c_str());
    }
}

WakeEvent::~WakeEvent() {
    if (m_handle != nullptr)
        ::CloseHandle(m_handle);
}

bool WakeEvent::IsValid() const {
    return m_handle != nullptr;
}

void WakeEvent::Raise() {
    ::SetEvent(m_handle);
}

void WakeEvent::Clear() {
    ::ResetEvent(m_handle);
}

bool WakeEvent::Wait(int timeoutMs) const {
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return ::WaitForSingleObject(m_handle, limit) == WAIT_OBJECT_0;
}

}  // namespace platform
