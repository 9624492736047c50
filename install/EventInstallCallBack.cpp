#include "install/EventInstallCallBack.h"

#include "uilib/SNotifyCenter.h"

void PostDownloadEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                       double bytesPerSecond, int64_t secondsLeft) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->text = text ? text : L"";
    evt->bytesPerSecond = bytesPerSecond;
    evt->secondsLeft = secondsLeft;
    evt->transferReport = true;
    SOUI::SNotifyCenter::PostEvent(evt.detach());  // released there when no window exists
}

void PostInstallEvent(SOUI::IObject* pSender, int progress, int status, const wchar_t* text) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->status = status;
    evt->text = text ? text : L"";
    SOUI::SNotifyCenter::PostEvent(evt.detach());  // released there when no window exists
}

void PostFailureEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                      InstallFailure reason, int64_t value) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->status = -1;
    evt->text = text ? text : L"";
    evt->reason = reason;
    evt->reasonValue = value;
    SOUI::SNotifyCenter::PostEvent(evt.detach());
}

void PostInstallEnded(SOUI::IObject* pSender, InstallFailure result, int64_t value) {
    auto evt = SOUI::AdoptRef(new EventInstallEnded(pSender));
    evt->result = result;
    evt->value = value;
    SOUI::SNotifyCenter::PostEvent(evt.detach());
}

void PostTransferReport(SOUI::IObject* pSender, int progress, const wchar_t* text) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->text = text ? text : L"";
    evt->transferReport = true;
    SOUI::SNotifyCenter::PostEvent(evt.detach());
}
