#pragma once
// The event from the install thread to the main window.

#include <cstdint>

#include "install/InstallFailure.h"
#include "uilib/SEvents.h"

enum { EVT_INSTALL_CALLBACK = 10000001, EVT_INSTALL_ENDED = 10000003 };  // 10000002: the HTTP event

class EventInstallCallBack : public SOUI::TplEventArgs<EventInstallCallBack> {
    using __baseCls = SOUI::TplEventArgs<EventInstallCallBack>;
    SOUI_CLASS_NAME(EventInstallCallBack, L"on_install_callback")

public:
    enum { EventID = EVT_INSTALL_CALLBACK };
    explicit EventInstallCallBack(SOUI::IObject* pSender) : __baseCls(pSender) {}
    int GetObjectType() const override { return -1; }

    int progress = 0;  // overall percent
    int status = 0;    // 0, or -1 when the step that `text` names failed
    SOUI::SStringW text;
    // While a file downloads: its smoothed speed in bytes per second and the seconds left,
    // each < 0 while unknown.
    double bytesPerSecond = -1;
    int64_t secondsLeft = -1;
    // With status -1: why the step failed, and the status or exit code the reason names.
    InstallFailure reason = InstallFailure::None;
    int64_t reasonValue = 0;
    // A progress report of a download under way, not the start of a step.
    bool transferReport = false;
};

// The last event of a run: the install thread is about to return.
class EventInstallEnded : public SOUI::TplEventArgs<EventInstallEnded> {
    using __baseCls = SOUI::TplEventArgs<EventInstallEnded>;
    SOUI_CLASS_NAME(EventInstallEnded, L"on_install_ended")

public:
    enum { EventID = EVT_INSTALL_ENDED };
    explicit EventInstallEnded(SOUI::IObject* pSender) : __baseCls(pSender) {}
    int GetObjectType() const override { return -1; }

    // None when the product was installed; else the reason of the step that ended the run.
    InstallFailure result = InstallFailure::None;
    int64_t value = 0;
};

// Creates the event with one reference and hands it to the notify center.
void PostInstallEvent(SOUI::IObject* pSender, int progress, int status, const wchar_t* text);
// The event of a failed step (status -1) with its reason.
void PostFailureEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                      InstallFailure reason, int64_t value = 0);
// The end of a run.
void PostInstallEnded(SOUI::IObject* pSender, InstallFailure result, int64_t value);
// A progress report of a download under way (same text, a higher percent).
void PostTransferReport(SOUI::IObject* pSender, int progress, const wchar_t* text);
// The same for a download under way, with its speed and time left.
void PostDownloadEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                       double bytesPerSecond, int64_t secondsLeft);
