#pragma once
// The installation engine: runs the step sequence on an install thread of its own and
// reports every change as an EventInstallCallBack through the notify center.
//
// The install thread cannot be killed: destroying the manager (or StopInstallThread)
// asks it to stop and joins it; every blocking point of the steps honours the request
// within about 100 ms.

#include <memory>
#include <string>

#include "platform/Thread.h"
#include "uilib/SObject.h"

class CInstallMgr : public SOUI::SObjectImpl<SOUI::IObject> {
public:
    CInstallMgr();
    ~CInstallMgr() override;
    CInstallMgr(const CInstallMgr&) = delete;
    CInstallMgr& operator=(const CInstallMgr&) = delete;

    // Before BeginInstallThread, on the UI thread.
    void SetInstallDir(const std::wstring& dir);
    const std::wstring& GetInstallDir() const { return m_strInstallDir; }

    // Starts the install thread (created behind its gate, then resumed). A second call
    // while a thread exists does nothing but log.
    void BeginInstallThread();
    // Asks a running install thread to stop and waits for it.
    void StopInstallThread();
    // True once an install thread was started and has returned.
    bool IsInstallThreadFinished() const;

    // The thread procedure; `pParam` is the manager. Returns 0.
    static unsigned ThreadInstall(void* pParam);
    // The step sequence, run on the install thread.
    void IntallSoftware();

    // Steps, each on the install thread.
    bool CheckNetFile();
    bool DownNetFile();
    bool InstallNetFile();
    bool DownInstallFile();
    // A package found beside the installer against "install_pack_sha256" (a download is
    // checked before it takes its name). True when no digest is named or it matches; else
    // the package is deleted and the step fails with "安装包校验失败".
    bool VerifyInstallFile();
    bool InstallFile();
    bool AfterInstall();

private:
    // Ends running copies of the product and its companions.
    void EndProductProcesses();

    std::wstring m_strInstallDir;
    std::unique_ptr<platform::GatedThread> m_hInstallThread;  // null until a thread is started
};
