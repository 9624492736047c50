#include "install/InstallPackDown.h"

#include <cmath>

#include "install/EventInstallCallBack.h"

CInstallPackDown::CInstallPackDown(int startPercent, int endPercent, const std::wstring& text,
                                   SOUI::SObjectImpl<SOUI::IObject>* pOwner)
    : m_nStartPercent(startPercent), m_nEndPercent(endPercent), m_strText(text), m_pOwner(pOwner) {}

int CInstallPackDown::PercentFor(double total, double now) const {
    int offset = 0;
    if (std::fabs(total) >= 1e-8) {
        double share = (m_nEndPercent - m_nStartPercent) * now / total;
        offset = static_cast<int>(share);  // toward zero
    }
    int percent = m_nStartPercent + offset;
    // A server that sends more than it announced must not push the bar past this range.
    if (percent > m_nEndPercent)
        percent = m_nEndPercent;
    if (percent < m_nStartPercent)
        percent = m_nStartPercent;
    return percent;
}

void CInstallPackDown::OnDownloadProgress(int type, int, double total, double now) {
    if (type != 1)
        return;
    PostTransferReport(m_pOwner, PercentFor(total, now), m_strText.c_str());
}

void CInstallPackDown::OnUploadProgress(int, double, double) {}

void CInstallPackDown::OnDownloadStats(const CDownloadProgress& progress) {
    const int64_t secondsLeft = progress.SecondsLeft();
    if (progress.bytesPerSecond < 0 || secondsLeft < 0)
        return;  // the page shows nothing rather than a guess
    PostDownloadEvent(
        m_pOwner,
        PercentFor(static_cast<double>(progress.total), static_cast<double>(progress.done)),
        m_strText.c_str(), progress.bytesPerSecond, secondsLeft);
}
