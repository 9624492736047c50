// The debugger output stream on Windows: OutputDebugStringW, which a debugger or a tool
// such as DebugView shows.
#include <string_view>

#include "platform/Text.h"

#include <windows.h>

namespace platform {

void WriteDebugStream(std::string_view utf8) {
    ::OutputDebugStringW(Utf8ToWide(utf8).c_str());
}

}  // namespace platform
