#pragma once
// The test thread as the UI thread: owns the notify center, receives the events that
// workers post, and dispatches them while a test waits for a condition. Header-only so
// that only programs that link the UI library pay for it.

#include <chrono>
#include <functional>

#include "uilib/SNotifyCenter.h"

namespace qitest {

class CEventPump : public SOUI::IEventHandler {
public:
    using Handler = std::function<void(SOUI::EventArgs*)>;

    // Declares the event kinds the test wants delivered; `handler` sees each one.
    CEventPump(std::initializer_list<std::pair<int, const wchar_t*>> kinds, Handler handler)
        : m_handler(std::move(handler)) {
        for (const auto& kind : kinds)
            m_center.addEvent(kind.first, kind.second);
        m_center.RegisterEventMap(this);
    }
    ~CEventPump() override { m_center.UnregisterEventMap(this); }

    SOUI::SNotifyCenter& Center() { return m_center; }

    // Dispatches until `done` holds, at most `timeoutMs`; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            m_center.DispatchPending();
            if (done())
                return true;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return done();
            m_center.WaitForEvents(static_cast<int>(std::min<long long>(left.count(), 50)));
        }
    }

    bool _HandleEvent(SOUI::EventArgs* pEvt) override {
        if (m_handler)
            m_handler(pEvt);
        return true;
    }

private:
    SOUI::SNotifyCenter m_center;
    Handler m_handler;
};

}  // namespace qitest
