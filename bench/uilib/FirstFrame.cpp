// Opens the main window in a real GTK window and prints the wall-clock time (ns since the
// epoch) when its first frame has been rendered, then ends. first_frame.sh compares it
// with the time the process was started.
#include <cstdio>
#include <ctime>

#include "bench/uilib/BenchApp.h"
#include "uilib/SHostWnd.h"
#include "uilib/gtk/SGtkHost.h"

using namespace SOUI;

namespace {

long long NowNs() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

class CFirstFrameWnd : public SHostWnd {
public:
    CFirstFrameWnd() : SHostWnd(L"LAYOUT:XML_MAINWND") {}
    IRenderTarget* OnNativeRender(const CRect& rc) override {
        IRenderTarget* rt = SHostWnd::OnNativeRender(rc);
        if (!m_bDone) {
            m_bDone = true;
            std::printf("%lld\n", NowNs());
            std::fflush(stdout);
            SApplication::getSingleton().GetBackend()->QuitLoop(0);
        }
        return rt;
    }

private:
    bool m_bDone = false;
};

}  // namespace

int main() {
    if (!SGtkHost::Init())
        return 2;
    SGtkHost host;
    CBenchApp bench(&host);
    CFirstFrameWnd wnd;
    if (!wnd.Create())
        return 3;
    wnd.SendMessageW(WM_INITDIALOG);
    wnd.CenterWindow();
    wnd.ShowWindow(SW_SHOWNORMAL);
    host.AddTimer(10000, [&] { host.QuitLoop(4); });  // no frame within 10 s: give up
    return host.RunLoop();
}
