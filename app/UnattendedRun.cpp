#include "app/UnattendedRun.h"

#include <cstdio>
#include <string>

#include "install/EventInstallCallBack.h"
#include "install/InstallMgr.h"
#include "net/CurlRuntime.h"
#include "net/HttpMgr.h"
#include "net/StopFlag.h"
#include "platform/StopRequests.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "ui/InstallDir.h"
#include "uilib/SNotifyCenter.h"

namespace {

// The report of a finished installation is sent this long at most before the program ends.
constexpr uint32_t kReportWaitMs = 20000;
constexpr uint32_t kReportSliceMs = 100;

// Prints one line per step and per failure; the progress reports of a download under way
// are left out.
class CStepPrinter : public SOUI::IEventHandler {
public:
    bool _HandleEvent(SOUI::EventArgs* evt) override {
        if (evt->GetID() == EventInstallCallBack::EventID) {
            auto* e = static_cast<EventInstallCallBack*>(evt);
            const std::wstring text = e->text;
            if (e->transferReport)
                return true;
            if (e->status == 0) {
                std::printf("[%3d%%] %s\n", e->progress, platform::WideToUtf8(text).c_str());
            } else {
                const std::wstring reason =
                    FillReasonValue(InstallFailureText(e->reason, e->reasonValue), e->reasonValue);
                std::printf("[%3d%%] %s: %s (%s)\n", e->progress,
                            platform::WideToUtf8(text).c_str(),
                            platform::WideToUtf8(reason).c_str(), InstallFailureName(e->reason));
            }
            std::fflush(stdout);
            return true;
        }
        return false;
    }
};

}  // namespace

int RunUnattended(const CInstallerOptions& options) {
    const bool layout = !options.layoutDir.empty();
    std::wstring dir;
    if (!layout) {
        dir = options.installDir.empty() ? DefaultInstallDir() : options.installDir;
        if (!PrepareInstallDir(dir)) {
            DebugLog(L"%s 安装目录无效 path=[%s]", L"RunUnattended", dir.c_str());
            std::printf("error: the install folder cannot be used: %s (%s)\n",
                        platform::WideToUtf8(dir).c_str(),
                        InstallFailureName(InstallFailure::InvalidInstallDir));
            return static_cast<int>(InstallFailure::InvalidInstallDir);
        }
    }

    SOUI::SNotifyCenter center;
    if (!center.IsValid())
        return 1;
    center.addEvent(EventInstallCallBack::EventID, EventInstallCallBack::GetClassName());
    CStepPrinter printer;
    center.RegisterEventMap(&printer);

    InstallFailure result = InstallFailure::None;
    int64_t value = 0;
    {
        platform::StopRequestCatcher stops;
        CInstallMgr mgr;
        if (layout) {
            mgr.SetLayoutDir(options.layoutDir);
        } else {
            mgr.SetInstallDir(dir);
            mgr.SetPackageFile(options.packageFile);
        }
        mgr.BeginInstallThread();
        bool stopping = false;
        while (!mgr.IsInstallThreadFinished()) {
            if (stops.Caught() != 0 && !stopping) {
                DebugLog(L"%s 收到结束信号 %d, 停止安装", L"RunUnattended", stops.Caught());
                stopping = true;
                g_bStopFlag = true;
                mgr.StopInstallThread();
            }
            center.WaitForEvents(100);
            center.DispatchPending();
        }
        center.DispatchPending();
        result = mgr.GetResult();
        value = mgr.GetResultValue();
        // A finished installation's report leaves before the program does, unless a stop
        // signal comes first.
        if (result == InstallFailure::None) {
            for (uint32_t waited = 0; waited < kReportWaitMs && stops.Caught() == 0;
                 waited += kReportSliceMs) {
                if (CHttpMgr::WaitForRequests(kReportSliceMs))
                    break;
            }
        }
    }
    center.UnregisterEventMap(&printer);
    if (result == InstallFailure::None)
        std::printf("%s\n", layout ? "done" : "installed");
    else
        std::printf("failed: %s (exit code %d, value %lld)\n", InstallFailureName(result),
                    static_cast<int>(result), static_cast<long long>(value));
    std::fflush(stdout);
    ReleaseCurlGlobal(CHttpMgr::GetInstance()->TerminateAll());
    return static_cast<int>(result);
}
