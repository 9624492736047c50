#include "uilib/SHeadlessHost.h"

#include <chrono>
#include <thread>

#include "platform/DebugOutput.h"
#include "uilib/SHostWnd.h"
#include "uilib/SNotifyCenter.h"

namespace SOUI {
namespace {

class SHeadlessWnd : public INativeWnd {
public:
    SHeadlessWnd(const SNativeWndParams& p, const SHeadlessHost* host)
        : m_title(p.title), m_rc(p.rcScreen), m_pHost(host) {}
    void SetTitle(const SStringW& title) override { m_title = title; }
    void SetGeometry(const CRect& rc) override { m_rc = rc; }
    CRect GetGeometry() const override { return m_rc; }
    void Show(bool bShow) override {
        m_shown = bShow;
        if (bShow)
            m_minimized = false;
    }
    bool IsShown() const override { return m_shown; }
    void Minimize() override { m_minimized = true; }
    bool IsMinimized() const override { return m_minimized; }
    void Invalidate(const CRect&) override {}
    int GetScale() const override { return m_pHost->GetWindowScale(); }
    bool BeginSystemMove(CPoint) override { return m_pHost->TakeSystemMove(); }
    void SetCursor(SCursor) override {}
    void SetIcon(IBitmapS*) override {}
    void SetImeCursorRect(const CRect&) override {}
    void GrabFocus() override {}

private:
    SStringW m_title;
    CRect m_rc;
    const SHeadlessHost* m_pHost;  // outlives its windows
    bool m_shown = false;
    bool m_minimized = false;
};

}  // namespace

SHeadlessHost::SHeadlessHost() = default;
SHeadlessHost::~SHeadlessHost() = default;

std::unique_ptr<INativeWnd> SHeadlessHost::CreateNativeWnd(INativeWndHandler*,
                                                           const SNativeWndParams& params) {
    return std::make_unique<SHeadlessWnd>(params, this);
}

uint64_t SHeadlessHost::AddTimer(UINT intervalMs, std::function<void()> callback) {
    uint64_t token = m_nextToken++;
    UINT interval = intervalMs == 0 ? 1 : intervalMs;
    m_timers[token] = Timer{interval, m_nowMs + interval, std::move(callback)};
    return token;
}

void SHeadlessHost::RemoveTimer(uint64_t token) {
    m_timers.erase(token);
}

bool SHeadlessHost::RunDueTimer(uint64_t limit) {
    auto best = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
        if (it->second.due <= limit &&
            (best == m_timers.end() || it->second.due < best->second.due))
            best = it;
    if (best == m_timers.end())
        return false;
    if (best->second.due > m_nowMs)
        m_nowMs = best->second.due;
    best->second.due += best->second.interval;
    // The callback may remove this timer (or others): call a copy.
    std::function<void()> fn = best->second.callback;
    fn();
    return true;
}

size_t SHeadlessHost::DispatchPending() {
    SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
    return center ? center->DispatchPending() : 0;
}

bool SHeadlessHost::RunOneTask() {
    if (m_tasks.empty())
        return false;
    std::function<void()> task = std::move(m_tasks.front());
    m_tasks.pop_front();
    task();
    return true;
}

void SHeadlessHost::PostTask(std::function<void()> task) {
    m_tasks.push_back(std::move(task));
}

void SHeadlessHost::Advance(uint64_t ms) {
    uint64_t target = m_nowMs + ms;
    DispatchPending();
    while (RunDueTimer(target))
        DispatchPending();
    m_nowMs = target;
    DispatchPending();
}

int SHeadlessHost::RunLoop() {
    Loop loop;
    m_loops.push_back(&loop);
    using Clock = std::chrono::steady_clock;
    auto idleSince = Clock::now();
    while (!loop.quit) {
        if (DispatchPending() || RunOneTask() || RunDueTimer(m_nowMs)) {
            idleSince = Clock::now();
            continue;
        }
        // Nothing to do now: wait in real time for a worker's event or the next timer,
        // and let the virtual clock follow.
        int waitMs = 20;
        if (!m_timers.empty()) {
            uint64_t next = UINT64_MAX;
            for (auto& [token, t] : m_timers)
                next = std::min(next, t.due);
            waitMs = static_cast<int>(std::min<uint64_t>(next - m_nowMs, 20));
        }
        auto before = Clock::now();
        SNotifyCenter* center = SNotifyCenter::getSingletonPtr();
        if (center)
            center->WaitForEvents(waitMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
        if (!m_timers.empty())
            m_nowMs += static_cast<uint64_t>(std::max<int64_t>(elapsed, 1));
        if (m_timers.empty() &&
            Clock::now() - idleSince > std::chrono::milliseconds(m_idleLimitMs)) {
            platform::OutputDebugStringW(L"SHeadlessHost::RunLoop idle limit reached, loop ends\n");
            loop.quit = true;
            loop.code = -1;
        }
    }
    m_loops.pop_back();
    return loop.code;
}

void SHeadlessHost::QuitLoop(int code) {
    if (m_loops.empty())
        return;
    m_loops.back()->quit = true;
    m_loops.back()->code = code;
}

std::optional<SStringW> SHeadlessHost::BrowseForFolder(const SStringW& title, INativeWnd*) {
    m_lastFolderTitle = title;
    if (m_folderAnswers.empty())
        return std::nullopt;
    std::optional<SStringW> answer = m_folderAnswers.front();
    m_folderAnswers.pop_front();
    return answer;
}

void SHeadlessHost::QueueFolderAnswer(std::optional<SStringW> answer) {
    m_folderAnswers.push_back(std::move(answer));
}

bool SHeadlessHost::GetClipboardText(SStringW* text) {
    *text = m_clipboard;
    return !m_clipboard.empty();
}

void SHeadlessHost::SetClipboardText(const SStringW& text) {
    m_clipboard = text;
}

void SHeadlessHost::Click(SHostWnd* wnd, CPoint pt) {
    SMouseInput in;
    in.pt = pt;
    in.kind = SMouseInput::Move;
    wnd->OnNativeMouse(in);
    in.kind = SMouseInput::LDown;
    wnd->OnNativeMouse(in);
    in.kind = SMouseInput::LUp;
    wnd->OnNativeMouse(in);
}

bool SHeadlessHost::ClickByName(SHostWnd* wnd, const SStringW& name) {
    wnd->UpdateLayoutIfNeeded();
    SWindow* target = wnd->FindChildByName(name);
    if (!target || !target->IsVisible(true))
        return false;
    Click(wnd, target->GetWindowRect().CenterPoint());
    return true;
}

void SHeadlessHost::MoveMouse(SHostWnd* wnd, CPoint pt) {
    SMouseInput in;
    in.pt = pt;
    wnd->OnNativeMouse(in);
}

void SHeadlessHost::Drag(SHostWnd* wnd, CPoint from, CPoint to) {
    SMouseInput in;
    in.pt = from;
    wnd->OnNativeMouse(in);
    in.kind = SMouseInput::LDown;
    wnd->OnNativeMouse(in);
    in.kind = SMouseInput::Move;
    in.pt = to;
    wnd->OnNativeMouse(in);
    in.kind = SMouseInput::LUp;
    wnd->OnNativeMouse(in);
}

void SHeadlessHost::Wheel(SHostWnd* wnd, CPoint pt, int notches) {
    SMouseInput in;
    in.kind = SMouseInput::Wheel;
    in.pt = pt;
    in.wheelDelta = notches;
    wnd->OnNativeMouse(in);
}

void SHeadlessHost::KeyPress(SHostWnd* wnd, UINT vk, UINT flags) {
    wnd->OnNativeKey(vk, true, flags);
    wnd->OnNativeKey(vk, false, flags);
}

void SHeadlessHost::TypeText(SHostWnd* wnd, const SStringW& text) {
    wnd->OnNativeText(text);
}

void SHeadlessHost::Preedit(SHostWnd* wnd, const SStringW& text) {
    wnd->OnNativePreedit(text);
}

bool SHeadlessHost::RenderToPng(SHostWnd* wnd, const char* utf8Path) {
    IRenderTarget* rt = wnd->RenderAll();
    if (!rt)
        return false;
    const BYTE* bits = nullptr;
    int stride = 0;
    if (!rt->GetPixels(&bits, &stride))
        return false;
    IImgDecoderFactory* dec = rt->GetRenderFactory()->GetImgDecoderFactory();
    if (!dec)
        return false;
    CSize sz = rt->GetSize();
    int scale = rt->GetScale();
    return dec->SaveImage(bits, sz.cx * scale, sz.cy * scale, stride, utf8Path);
}

}  // namespace SOUI
