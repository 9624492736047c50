#pragma once
// The installation engine: runs the step sequence on an install thread of its own and
// reports every change as an EventInstallCallBack through the notify center.
//
// The install thread cannot be killed: destroying the manager (or StopInstallThread)
// asks it to stop and joins it; every blocking point of the steps honours the request
// within about 100 ms.

#include <cstdint>
#include <memory>
#include <string>

#include "install/InstallFailure.h"
#include "install/RunnableFile.h"
#include "platform/Thread.h"
#include "platform/WorkFolder.h"
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

    // Before BeginInstallThread: install from this package file instead of the one beside
    // the installer or a download. The file is checked against "install_pack_sha256" like a
    // download, and left in place whatever the outcome.
    void SetPackageFile(const std::wstring& path) { m_strPackageFile = path; }
    // Before BeginInstallThread: fetch and check the runtime installer for this system and
    // the package into `dir`, install nothing.
    void SetLayoutDir(const std::wstring& dir) { m_strLayoutDir = dir; }

    // Starts the install thread (created behind its gate, then resumed). A call while a
    // thread runs does nothing but log; after a run has ended it starts a new run (a retry:
    // downloads resume what the last run kept).
    void BeginInstallThread();
    // Asks a running install thread to stop and waits for it.
    void StopInstallThread();
    // True once an install thread was started and has returned.
    bool IsInstallThreadFinished() const;
    // Once the thread has returned: None when the run did all it was asked to, else the
    // reason of the step that ended it and the status or exit code that reason names.
    InstallFailure GetResult() const { return m_result; }
    int64_t GetResultValue() const { return m_resultValue; }

    // The thread procedure; `pParam` is the manager. Returns 0.
    static unsigned ThreadInstall(void* pParam);
    // The step sequence, run on the install thread.
    void IntallSoftware();

    // Steps, each on the install thread.
    bool CheckNetFile();
    bool DownNetFile();
    bool InstallNetFile();
    bool DownInstallFile();
    // The package that is not downloaded: the one named on the command line (or else none
    // is), or one beside the installer or left in the working folder by an earlier run,
    // copied into the working folder and checked there (pin, signature) like a download.
    // False when there is none that passes; for --package that ends the run.
    bool VerifyInstallFile();
    bool InstallFile();
    bool AfterInstall();
    // The layout run: the runtime installer and the package into the layout folder.
    bool LayoutFiles();

private:
    // Posts the failure of a step that ends the run and records it as the run's result.
    void FailRun(int progress, const wchar_t* text, InstallFailure reason, int64_t value = 0);
    // The package the setup step runs, in the working folder.
    std::wstring PackagePath() const;
    // Where downloads land and files are checked and run: the layout folder, or the working
    // folder (made at the start of the run).
    std::wstring DownloadDir() const;
    // Makes the working folder once per run; false (the run failed) when there is no safe one.
    bool PrepareWorkDir();
    // The checks of the package and of the runtime installer (`url`: Install.ini's).
    CRunChecks PackageChecks() const;
    // A file that failed its checks after a download: the run ends with the reason.
    void FailCheck(int progress, const wchar_t* text, RunCheck check);
    // A failed runtime step: reported, and the installation goes on; a layout ends there.
    void ReportRuntimeFailure(const wchar_t* text, InstallFailure reason, int64_t value);
    // Ends running copies of the product and its companions.
    void EndProductProcesses();

    std::wstring m_strInstallDir;
    std::wstring m_strPackageFile;  // --package
    std::wstring m_strLayoutDir;    // --layout
    std::wstring m_strWorkDir;      // the working folder of this run
    // The runtime installer and the package, held from their checks until they have run.
    platform::HeldFile m_heldRuntime;
    platform::HeldFile m_heldPackage;
    InstallFailure m_result = InstallFailure::None;
    int64_t m_resultValue = 0;
    bool m_bCompleted = false;  // the run did everything it was asked to
    std::unique_ptr<platform::GatedThread> m_hInstallThread;  // null until a thread is started
};
