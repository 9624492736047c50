#include "install/EventInstallCallBack.h"

#include "uilib/SNotifyCenter.h"

void PostDownloadEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                       double bytesPerSecond, int64_t secondsLeft) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->text = text ? text : L"";
    evt->bytesPerSecond = bytesPerSecond;
    evt->secondsLeft = secondsLeft;
    SOUI::SNotifyCenter::PostEvent(evt.detach());  // released there when no window exists
}

void PostInstallEvent(SOUI::IObject* pSender, int progress, int status, const wchar_t* text) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->status = status;
    evt->text = text ? text : L"";
    SOUI::SNotifyCenter::PostEvent(evt.detach());  // released there when no window exists
}
