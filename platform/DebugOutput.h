#pragma once
// The debugger output stream: the process's diagnostic stream (standard error here).
// Each call writes its text as UTF-8 with one write, adding nothing.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

void OutputDebugStringW(const wchar_t* text);
void OutputDebugStringA(const char* text);  // text in the process's narrow encoding

// Receives every piece written while installed, as UTF-8. Called under a lock, so a sink
// sees the pieces in the order they were written.
using DebugSink = std::function<void(std::string_view utf8)>;

// Routes debugger output to `sink` instead of standard error (test hook). An empty
// sink restores standard error.
void SetDebugSink(DebugSink sink);

// Collects debugger output for as long as it lives.
class ScopedDebugCapture {
public:
    ScopedDebugCapture();
    ~ScopedDebugCapture();
    ScopedDebugCapture(const ScopedDebugCapture&) = delete;
    ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;

    std::string Text() const;  // everything captured so far, UTF-8
    void Clear();

private:
    struct State;
    State* m_pState;
};

}  // namespace platform
