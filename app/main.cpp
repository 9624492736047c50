// The program quillora-installer: loads the UI library's components, builds the application
// with the program's resources, picks the language from Install.ini, shows the main window
// and runs the loop until it is gone; then tears everything down in the reverse order. The
// exit code is the loop's result. Linux's main is at the end; Windows' entry point
// (main_win.cpp) prepares the process and calls ProgramMain.

#include "app/main.h"

#ifndef _WIN32
#include <glib-unix.h>
#include <signal.h>
#endif

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ComponentLoader.h"
#include "app/UnattendedRun.h"
#include "install/InstallFailure.h"
#include "install/InstallMgr.h"
#include "net/CurlRuntime.h"
#include "net/HttpMgr.h"
#include "platform/FileSystem.h"
#include "platform/Module.h"
#include "platform/Text.h"
#include "sys/DebugLog.h"
#include "sys/SupportLog.h"
#include "sys/TextHelpers.h"
#include "ui/CMainDlg.h"
#include "ui/Language.h"
#include "ui/ProgramApp.h"
#include "uilib/SApplication.h"
#include "uilib/SAutoRefPtr.h"
#include "uilib/SNotifyCenter.h"
#include "uilib/SResProvider.h"
#ifdef _WIN32
#include "uilib/win32/SWin32Host.h"
#else
#include "uilib/gtk/SGtkHost.h"
#endif

using namespace SOUI;

namespace {

#ifdef _WIN32
using CProgramHost = SWin32Host;
#else
using CProgramHost = SGtkHost;
#endif

// Paths as the standard library takes them: wide on Windows, the file-system's narrow form
// here.
std::filesystem::path FsPath(const std::wstring& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(platform::PathToNarrow(path));
#endif
}

std::wstring FromFsPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return platform::PathFromNarrow(path.string());
#endif
}

// A module of system resources, when one is installed beside the program: it exports its
// resource table under this name.
constexpr wchar_t kSysResourceModule[] = L"soui-sys-resource";
constexpr char kSysResourceTable[] = "SGetSysResources";
using FunGetResources = const SEmbeddedRes* (*)(size_t* count);

void LoadSystemResources(SApplication& app) {
    void* h =
        CComponentLoader::LoadModule(CComponentLoader::ModuleFileName(kSysResourceModule), nullptr);
    if (h == nullptr)
        return;  // none installed: the library's own system resources serve
    auto fn = reinterpret_cast<FunGetResources>(platform::FindModuleSymbol(h, kSysResourceTable));
    size_t count = 0;
    const SEmbeddedRes* table = fn != nullptr ? fn(&count) : nullptr;
    if (table != nullptr) {
        SAutoRefPtr<SResProviderEmbedded> provider;
        provider.attach(new SResProviderEmbedded);
        if (!provider->Init(table, count) || !app.LoadSystemNamedResource(provider.get()))
            DebugLog(L"%s 系统资源模块无法加载", L"LoadSystemResources");
    }
    platform::FreeSharedModule(h);
}

#ifndef _WIN32
// While it lives, SIGINT, SIGTERM and SIGHUP close the window as its close button does, so
// a terminal's Ctrl+C or a session's end stops the install thread and its child instead of
// leaving a setup running on its own.
class CCloseOnSignals {
public:
    explicit CCloseOnSignals(CMainDlg* wnd) : m_pWnd(wnd) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            m_sources.push_back(g_unix_signal_add(sig, &CCloseOnSignals::OnSignal, this));
    }
    ~CCloseOnSignals() {
        for (guint id : m_sources)
            g_source_remove(id);
    }
    CCloseOnSignals(const CCloseOnSignals&) = delete;
    CCloseOnSignals& operator=(const CCloseOnSignals&) = delete;

private:
    static gboolean OnSignal(gpointer data) {
        auto* self = static_cast<CCloseOnSignals*>(data);
        DebugLog(L"%s 收到结束信号, 关闭窗口", L"CCloseOnSignals::OnSignal");
        if (self->m_pWnd->IsWindow())
            self->m_pWnd->SendMessageW(WM_CLOSE);
        return G_SOURCE_CONTINUE;
    }
    CMainDlg* m_pWnd;
    std::vector<guint> m_sources;
};
#endif

// Shows the main window and runs the loop until it is gone; the loop's result, or 1 when
// the window could not be made.
// `requestsEnded` tells whether every request thread ended at the close.
int RunMainWindow(SApplication& app, const CInstallerOptions& options, bool& requestsEnded) {
    auto center = std::make_unique<SNotifyCenter>();
    if (!center->IsValid()) {
        // It has said why; without it no progress would ever show.
        DebugLog(L"%s 通知中心创建失败", L"RunInstaller");
        return 1;
    }
    int result = 1;
    {
        CMainDlg mainDlg;
        if (!options.installDir.empty())
            mainDlg.PresetInstallDir(options.installDir);
        mainDlg.GetInstallMgr()->SetPackageFile(options.packageFile);
        if (mainDlg.Create(nullptr, 0, 0, 0, 0) == nullptr) {
            DebugLog(L"%s 主窗口创建失败", L"RunInstaller");
        } else {
            mainDlg.SendMessageW(WM_INITDIALOG);
            mainDlg.CenterWindow();
            mainDlg.ShowWindow(SW_SHOWNORMAL);
#ifndef _WIN32
            CCloseOnSignals closeOnSignals(&mainDlg);
#endif
            result = app.Run(mainDlg.m_hWnd);
        }
    }  // the window goes, and with it the install manager and its thread
    // Request threads post to the notify center: it must outlive them.
    requestsEnded = CHttpMgr::GetInstance()->TerminateAll();
    return result;
}

int RunInstaller(const CInstallerOptions& options) {
    bool requestsEnded = true;
    int result = 1;
    {
        CComponentLoader loader;
        // Relative paths (Install.ini aside, which is found by full path) mean the program's
        // own folder from here on.
        std::error_code cdError;
        std::filesystem::current_path(FsPath(GetExeDirectory()), cdError);
        if (cdError)
            DebugLog(L"%s 无法进入程序目录 %s", L"RunInstaller", GetExeDirectory().c_str());

        // Declared before the application: they go after it.
        SAutoRefPtr<IRenderFactory> renderFactory;
        SAutoRefPtr<IImgDecoderFactory> decoderFactory;
        SAutoRefPtr<ITranslatorMgr> translator;

        // Nothing can be drawn without the renderer and the image decoder.
        IRenderFactory* render = nullptr;
        IImgDecoderFactory* decoder = nullptr;
        const bool haveRender = loader.CreateRender(&render);
        renderFactory.attach(render);
        const bool haveDecoder = haveRender && loader.CreateImgDecoder(&decoder);
        decoderFactory.attach(decoder);
        if (haveDecoder) {
            renderFactory->SetImgDecoderFactory(decoderFactory.get());
            if (!CProgramHost::Init()) {
#ifdef _WIN32
                DebugLog(L"%s 无法注册窗口类", L"RunInstaller");
#else
                DebugLog(L"%s 无法打开显示 (DISPLAY=%s)", L"RunInstaller",
                         platform::Utf8ToWide(getenv("DISPLAY") ? getenv("DISPLAY") : "").c_str());
#endif
            } else {
                CProgramHost host;
                std::unique_ptr<SApplication> app =
                    CreateProgramApp(renderFactory.get(), &host, LoadSystemResources);
                if (app != nullptr) {
                    ITranslatorMgr* created = nullptr;
                    if (loader.CreateTranslator(&created)) {
                        translator.attach(created);
                        LoadLanguage(*app, translator.get());
                    }
                    result = RunMainWindow(*app, options, requestsEnded);
                }
                app.reset();
            }
        }
        // libcurl was set up by the first transfer, if any; it goes only when no request
        // thread can still be inside it.
        ReleaseCurlGlobal(requestsEnded);
    }  // the loader unloads the modules, the last slot first
    return result;
}

// The paths of the command line are taken from the folder it was given in (the program
// moves to its own folder later); a package must be a file that is there.
bool ResolvePaths(CInstallerOptions& options, std::string& error) {
    for (std::wstring* path :
         {&options.installDir, &options.logPath, &options.packageFile, &options.layoutDir}) {
        if (path->empty() || platform::IsAbsolutePath(*path))
            continue;
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(FsPath(*path), ec);
        if (ec) {
            error = "cannot resolve " + platform::WideToUtf8(*path) + ": " + ec.message();
            return false;
        }
        *path = FromFsPath(absolute.lexically_normal());
    }
    if (!options.packageFile.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(FsPath(options.packageFile), ec)) {
            error = "--package: no such file: " + platform::WideToUtf8(options.packageFile);
            return false;
        }
    }
    return true;
}

}  // namespace

int ProgramMain(const std::vector<std::string>& args) {
    std::setlocale(LC_ALL, "");
    std::string error;
    std::optional<CInstallerOptions> options = ParseInstallerArgs(args, error);
    if (!options) {
        std::fprintf(stderr, "quillora-installer: %s\n%s", error.c_str(), InstallerUsage());
        return static_cast<int>(InstallFailure::Usage);
    }
    if (options->help) {
        std::fputs(InstallerUsage(), stdout);
        return 0;
    }
    if (!ResolvePaths(*options, error)) {
        std::fprintf(stderr, "quillora-installer: %s\n", error.c_str());
        return static_cast<int>(InstallFailure::Usage);
    }
    sys::OpenSupportLog(options->logPath);
    const int result = options->Unattended() ? RunUnattended(*options) : RunInstaller(*options);
    sys::CloseSupportLog();
    return result;
}

#ifndef _WIN32
int main(int argc, char** argv) {
    return ProgramMain(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
