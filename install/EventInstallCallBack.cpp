#include "install/EventInstallCallBack.h"

#include "uilib/SNotifyCenter.h"

namespace {

// The event every poster below fills in and hands over.
SOUI::SAutoRefPtr<EventInstallCallBack> NewEvent(SOUI::IObject* pSender, int progress,
                                                 const wchar_t* text) {
    auto evt = SOUI::AdoptRef(new EventInstallCallBack(pSender));
    evt->progress = progress;
    evt->text = text ? text : L"";
    return evt;
}

void Post(SOUI::SAutoRefPtr<EventInstallCallBack> evt) {
    SOUI::SNotifyCenter::PostEvent(evt.detach());  // released there when no window exists
}

}  // namespace

void PostDownloadEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                       double bytesPerSecond, int64_t secondsLeft) {
    auto evt = NewEvent(pSender, progress, text);
    evt->bytesPerSecond = bytesPerSecond;
    evt->secondsLeft = secondsLeft;
    evt->transferReport = true;
    Post(std::move(evt));
}

void PostInstallEvent(SOUI::IObject* pSender, int progress, int status, const wchar_t* text) {
    auto evt = NewEvent(pSender, progress, text);
    evt->status = status;
    Post(std::move(evt));
}

void PostFailureEvent(SOUI::IObject* pSender, int progress, const wchar_t* text,
                      InstallFailure reason, int64_t value) {
    auto evt = NewEvent(pSender, progress, text);
    evt->status = -1;
    evt->reason = reason;
    evt->reasonValue = value;
    Post(std::move(evt));
}

void PostTransferReport(SOUI::IObject* pSender, int progress, const wchar_t* text) {
    auto evt = NewEvent(pSender, progress, text);
    evt->transferReport = true;
    Post(std::move(evt));
}

void PostInstallEnded(SOUI::IObject* pSender, InstallFailure result, int64_t value) {
    auto evt = SOUI::AdoptRef(new EventInstallEnded(pSender));
    evt->result = result;
    evt->value = value;
    SOUI::SNotifyCenter::PostEvent(evt.detach());
}
