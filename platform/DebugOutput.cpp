#include "platform/DebugOutput.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/Text.h"

namespace platform {

// The debugger output stream itself (DebugOutput_posix.cpp, DebugOutput_win.cpp).
void WriteDebugStream(std::string_view utf8);

namespace {

std::mutex g_sinkLock;
std::shared_ptr<DebugSink> g_sink;  // guarded by g_sinkLock
// Without a sink (the normal case) writers go straight to the stream and never wait
// for one another.
std::atomic<bool> g_hasSink{false};

void Emit(std::string_view utf8) {
    if (utf8.empty())
        return;
    if (!g_hasSink.load(std::memory_order_acquire)) {
        WriteDebugStream(utf8);
        return;
    }
    std::lock_guard<std::mutex> lock(g_sinkLock);
    if (g_sink) {
        (*g_sink)(utf8);
        return;
    }
    WriteDebugStream(utf8);
}

}  // namespace

void OutputDebugStringW(const wchar_t* text) {
    if (text == nullptr)
        return;
    Emit(WideToUtf8(text));
}

void OutputDebugStringA(const char* text) {
    if (text == nullptr)
        return;
    Emit(WideToUtf8(MultiByteToWide(text)));
}

void SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = sink ? std::make_shared<DebugSink>(std::move(sink)) : nullptr;
    g_hasSink.store(g_sink != nullptr, std::memory_order_release);
}

struct ScopedDebugCapture::State {
    mutable std::mutex lock;
    std::string text;
};

ScopedDebugCapture::ScopedDebugCapture() : m_pState(new State) {
    State* state = m_pState;
    SetDebugSink([state](std::string_view piece) {
        std::lock_guard<std::mutex> lock(state->lock);
        state->text.append(piece);
    });
}

ScopedDebugCapture::~ScopedDebugCapture() {
    SetDebugSink(nullptr);
    delete m_pState;
}

std::string ScopedDebugCapture::Text() const {
    std::lock_guard<std::mutex> lock(m_pState->lock);
    return m_pState->text;
}

void ScopedDebugCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_pState->lock);
    m_pState->text.clear();
}

}  // namespace platform
