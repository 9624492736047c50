#pragma once
// The UI side of an installation for tests: an event pump on the test thread that
// records every install event; and the programs an installation downloads and runs.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "install/EventInstallCallBack.h"
#include "tests/support/EventPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "uilib/SNotifyCenter.h"

namespace qitest {

struct InstallEventRecord {
    SOUI::IObject* sender;
    int progress;
    int status;
    std::wstring text;
};

class InstallEvents {
public:
    InstallEvents()
        : m_pump({{EventInstallCallBack::EventID, L"on_install_callback"}},
                 [this](SOUI::EventArgs* evt) {
                     if (evt->GetID() != EventInstallCallBack::EventID)
                         return;
                     auto* e = static_cast<EventInstallCallBack*>(evt);
                     m_seen.push_back({e->sender, e->progress, e->status, e->text});
                 }) {}

    // Delivers events for `duration`.
    void Pump(std::chrono::milliseconds duration) {
        m_pump.PumpUntil([] { return false; }, static_cast<int>(duration.count()));
    }

    // Delivers events until `done` holds (then drains the queue); false after `limit`.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        bool ok = m_pump.PumpUntil(done, static_cast<int>(limit.count()));
        m_pump.Center().DispatchPending();
        return ok;
    }

    const std::vector<InstallEventRecord>& Seen() const { return m_seen; }
    std::vector<int> Progresses() const {
        std::vector<int> p;
        for (const auto& e : m_seen)
            p.push_back(e.progress);
        return p;
    }
    SOUI::SNotifyCenter& Center() { return m_pump.Center(); }

private:
    std::vector<InstallEventRecord> m_seen;
    CEventPump m_pump;  // after m_seen: its handler writes there
};

// Writes an Install.ini whose URLs lead nowhere, so a run that reaches the network fails
// at once instead of leaving the machine: a scheme the installer refuses is a permanent
// failure (a refused port would be tried again after a back-off).
inline std::string OfflineInstallIni() {
    return "[Config]\r\n"
           "net40_url=ftp://127.0.0.1:1/net40.exe\r\n"
           "net45_url=ftp://127.0.0.1:1/net45.exe\r\n"
           "install_pack_url=ftp://127.0.0.1:1/pack.exe\r\n"
           "install_statistics_url=ftp://127.0.0.1:1/stats\r\n";
}

// The bytes of a program that writes its arguments, one a line, to `recordPath`, prints
// `output` and exits with `exitCode` (TestFiles.h), for a server to hand out: it will run
// from `landingPath`, where what it needs beside it (its plan, on Windows) is put now. Bytes
// appended to it do not change what it does.
inline std::string RecordingProgramBytes(const std::string& landingPath,
                                         const std::string& recordPath, int exitCode,
                                         const std::string& output = "") {
    std::string bytes;
    if (!WriteRecordingScript(landingPath, recordPath, exitCode, output) ||
        !ReadFile(landingPath, bytes))
        return "";
    std::error_code ec;
    std::filesystem::remove(FsPath(landingPath), ec);
    return bytes;
}

}  // namespace qitest
