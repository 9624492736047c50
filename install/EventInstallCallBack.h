#pragma once
// The event from the install thread to the main window.

#include <cstdint>

#include "uilib/SEvents.h"

enum { EVT_INSTALL_CALLBACK = 10000001 };

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
};

// Creates the event with one reference and hands it to the notify center.
void PostInstallEvent(SOUI::IObject* pSender, int progress, int status, const wchar_t* text);
// The same for a download under way, with its speed and time left.
void PostDownloadEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                       double bytesPerSecond, int64_t secondsLeft);
