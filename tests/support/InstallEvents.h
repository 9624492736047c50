#pragma once
// The UI side of an installation for tests: a notify center on the test thread that
// records every install event, and bounded loops that deliver them.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "install/EventInstallCallBack.h"
#include "uilib/SNotifyCenter.h"

namespace qitest {

struct InstallEventRecord {
    SOUI::IObject* sender;
    int progress;
    int status;
    std::wstring text;
};

class InstallEvents : public SOUI::IEventHandler {
public:
    InstallEvents() {
        m_center.addEvent(EventInstallCallBack::EventID, L"on_install_callback");
        m_center.RegisterEventMap(this);
    }
    ~InstallEvents() override { m_center.UnregisterEventMap(this); }

    bool _HandleEvent(SOUI::EventArgs* evt) override {
        if (evt->GetID() != EventInstallCallBack::EventID) return false;
        auto* e = static_cast<EventInstallCallBack*>(evt);
        m_seen.push_back({e->sender, e->progress, e->status, e->text});
        return true;
    }

    // Delivers events for `duration`.
    void Pump(std::chrono::milliseconds duration) {
        auto end = std::chrono::steady_clock::now() + duration;
        for (;;) {
            m_center.DispatchPending();
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            m_center.WaitForEvents(static_cast<int>(left.count()));
        }
    }

    // Delivers events until `done` holds (then drains the queue); false after `limit`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            m_center.DispatchPending();
            if (done()) {
                m_center.DispatchPending();
                return true;
            }
            m_center.WaitForEvents(20);
        }
        return false;
    }

    const std::vector<InstallEventRecord>& Seen() const { return m_seen; }
    std::vector<int> Progresses() const {
        std::vector<int> p;
        for (const auto& e : m_seen) p.push_back(e.progress);
        return p;
    }
    SOUI::SNotifyCenter& Center() { return m_center; }

private:
    SOUI::SNotifyCenter m_center;
    std::vector<InstallEventRecord> m_seen;
};

// Writes an Install.ini whose URLs lead nowhere (a refused local port), so a run that
// reaches the network fails fast instead of leaving the machine.
inline std::string OfflineInstallIni() {
    return "[Config]\r\n"
           "net40_url=http://127.0.0.1:1/net40.exe\r\n"
           "net45_url=http://127.0.0.1:1/net45.exe\r\n"
           "install_pack_url=http://127.0.0.1:1/pack.exe\r\n"
           "install_statistics_url=http://127.0.0.1:1/stats\r\n";
}

}  // namespace qitest
