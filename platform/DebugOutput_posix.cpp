// The debugger output stream on Linux: standard error, one write per call.
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace platform {

void WriteDebugStream(std::string_view utf8) {
    while (!utf8.empty()) {
        ssize_t n = ::write(STDERR_FILENO, utf8.data(), utf8.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;  // nobody listening is no failure
        }
        utf8.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace platform
