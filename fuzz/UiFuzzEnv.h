#pragma once
// The UI harnesses' world: the real renderer and PNG decoder on the headless host, with a
// skin table and images, and one fuzzed resource (a layout, an RTF document) per run.

#include <initializer_list>
#include <string>

#include "uilib/SHostWnd.h"
#include "uilib/testing/SUiTestEnv.h"

namespace fuzz {

struct SResource {
    const char* type;
    const char* name;
    std::string data;
};

// Builds a fresh application whose resources hold the skins and `resources`, then runs
// `run` with it.
inline void WithUi(std::initializer_list<SResource> resources, void (*run)()) {
    uitest::SUiTestEnv env;
    env.Add("PNG", "img", uitest::MakePng(8, 8, {0xff0000ff, 0x00ff00ff, 0x0000ffff, 0x80808080}));
    env.Add("PNG", "sb", uitest::MakePng(144, 48, {0x808080ff}));
    env.Add("VALUES", "skin", R"(<skin>
        <imglist name="list" src="PNG:img" states="4"/>
        <imgframe name="frame" src="PNG:img" states="2" left="2" top="2"/>
        <scrollbar name="sb" src="PNG:sb" margin="3"/></skin>)");
    env.Add("VALUES", "string", R"(<string><s value="text"/></string>)");
    env.Add("UIDEF", "init", R"(<UIDEF><font face="宋体" size="15"/><skin src="values:skin"/>
        <string src="values:string"/><style><class name="c" colorText="#0000ff"/></style>
        </UIDEF>)");
    for (const SResource& res : resources)
        env.Add(res.type, res.name, res.data);
    if (env.Commit(L"UIDEF:init"))
        run();
}

// Paints the window and moves the mouse over it, wheels and drags, without clicking
// (nothing a harness does may reach outside the process).
inline void Exercise(SOUI::SHostWnd& wnd) {
    using SOUI::CPoint;
    using SOUI::SHeadlessHost;
    wnd.RenderAll();
    const SOUI::CRect rc = wnd.GetWindowRect();
    const CPoint mid((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SHeadlessHost::MoveMouse(&wnd, mid);
    SHeadlessHost::Wheel(&wnd, mid, -3);
    SHeadlessHost::Drag(&wnd, CPoint(rc.right - 5, rc.top + 20), CPoint(rc.right - 5, rc.bottom));
    wnd.RenderAll();
}

}  // namespace fuzz
