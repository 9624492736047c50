#pragma once
// Turns the progress of one file download into install events within a range of the
// overall percentage. Lives on the stack of the step that downloads.

#include <string>

#include "net/LibcurlDownCallback.h"
#include "uilib/SObject.h"

class CInstallPackDown final : public CLibcurlDownCallback {
public:
    // Events go from `startPercent` (nothing received) towards `endPercent` (all of it),
    // carry `text`, and name `pOwner` (not owned) as their sender.
    CInstallPackDown(int startPercent, int endPercent, const std::wstring& text,
                     SOUI::SObjectImpl<SOUI::IObject>* pOwner);

    void OnDownloadProgress(int type, int taskId, double total, double now) override;
    void OnUploadProgress(int taskId, double total, double now) override;
    // Posts the report again with the download's speed and time left, once both are known.
    void OnDownloadStats(const CDownloadProgress& progress) override;

    // The percent a report of `now` of `total` bytes stands for.
    int PercentFor(double total, double now) const;

private:
    int m_nStartPercent;
    int m_nEndPercent;
    std::wstring m_strText;
    SOUI::SObjectImpl<SOUI::IObject>* m_pOwner;
};
