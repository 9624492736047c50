#pragma once
// The outcome of one asynchronous request of CHttpMgr, posted to the UI thread.

#include "uilib/SEvents.h"

enum { EVT_HTTP_CALLBACK = 10000002 };

class EventHttpCallBack : public SOUI::TplEventArgs<EventHttpCallBack> {
    using __baseCls = SOUI::TplEventArgs<EventHttpCallBack>;
    SOUI_CLASS_NAME(EventHttpCallBack, L"on_httpcallback")

public:
    enum { EventID = EVT_HTTP_CALLBACK };
    explicit EventHttpCallBack(SOUI::IObject* pSender) : __baseCls(pSender) {}

    int userid = 0;           // the number AsyncPost or AsyncGet returned
    int param = 0;            // the caller's value
    SOUI::SStringW response;  // the body received, also for a failed request
};
