// The wake signal on Linux: an eventfd.
#include "platform/WakeEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/DebugOutput.h"

namespace platform {

WakeEvent::WakeEvent() {
    m_handle = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_handle < 0) {
        const std::string line =
            std::string("WakeEvent: eventfd failed (") + std::strerror(errno) + ")\n";
        OutputDebugStringA(line.c_str());
    }
}

WakeEvent::~WakeEvent() {
    if (m_handle >= 0)
        ::close(m_handle);
}

bool WakeEvent::IsValid() const {
    return m_handle >= 0;
}

void WakeEvent::Raise() {
    uint64_t one = 1;
    while (::write(m_handle, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeEvent::Clear() {
    uint64_t count = 0;
    while (::read(m_handle, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool WakeEvent::Wait(int timeoutMs) const {
    pollfd fd{m_handle, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&fd, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

}  // namespace platform
