// Attribute strings: the input is lines of "name=value". Each value goes through the
// parsers of its own (colour, font, position, rectangle, number), and each pair is set
// on one window of every class (the program's icon-and-text button among them), which then
// lay out, paint and take mouse input.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/UiFuzzEnv.h"
#include "platform/Text.h"
#include "ui/SButtonEx.h"
#include "uilib/SApplication.h"
#include "uilib/SLayout.h"
#include "uilib/SStyle.h"

namespace {

std::vector<std::pair<SOUI::SStringW, SOUI::SStringW>> g_pairs;

const char* kLayout = R"(<SOUI width="300" height="200"><root>
  <window name="w0" pos="0,0,100,50"/>
  <text name="w1" pos="[0,{0,@100,@30">text</text>
  <img name="w2" pos="0,50,@40,@40" skin="list"/>
  <imgbtn name="w3" pos="[5,{0,@60,@30" skin="frame">btn</imgbtn>
  <check name="w4" pos="0,100,@100,@20" skin="list">check</check>
  <link name="w5" pos="[5,{0,@-1,@-1">link</link>
  <edit name="w6" pos="0,130,@120,@24">edit</edit>
  <richedit name="w7" pos="130,100,-0,-0" vscrollBar="1" sbSkin="sb"/>
  <progress name="w8" pos="0,160,@120,@10" min="0" max="100" value="50"/>
  <tabctrl name="w9" pos="200,0,-0,100"><page title="a"><text pos="0,0,20,20">a</text></page>
    <page title="b"/></tabctrl>
  <button name="w10" pos="0,175,@60,@20">button</button>
  <buttonex name="w11" pos="[5,{0,@-1,@-1" icon="list" drawMode="horzTextIcon">buttonex</buttonex>
</root></SOUI>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text =
        platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    g_pairs.clear();
    for (size_t pos = 0; pos <= text.size() && g_pairs.size() < 16;) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        SOUI::SStringW name = line.substr(0, eq), value = line.substr(eq + 1);
        SOUI::ParseColor(value);
        SOUI::FontDesc base;
        base.size = 15;
        SOUI::ParseFontDesc(value, base);
        if (auto rule = SOUI::SLayoutPos::Parse(value)) {
            SOUI::CRect prev(5, 5, 50, 50);
            rule->Solve(SOUI::CRect(0, 0, 300, 200), &prev, SOUI::CSize(30, 10));
            rule->Solve(
                SOUI::CRect(-SOUI::kMaxCoord, -SOUI::kMaxCoord, SOUI::kMaxCoord, SOUI::kMaxCoord),
                nullptr, SOUI::CSize(SOUI::kMaxCoord, SOUI::kMaxCoord));
        }
        SOUI::ParseRect4(value);
        SOUI::ParseCoord(value);
        g_pairs.emplace_back(std::move(name), std::move(value));
    }
    fuzz::WithUi({{"LAYOUT", "w", kLayout}}, [] {
        SOUI::SApplication::getSingleton().RegisterFactory(
            SOUI::TplSObjectFactory<SOUI::SButtonEx>());
        SOUI::SHostWnd wnd(L"LAYOUT:w");
        if (wnd.Create() == nullptr)
            return;
        for (int i = 0; i <= 11; ++i) {
            SOUI::SWindow* target = wnd.FindChildByName(L"w" + std::to_wstring(i));
            if (target == nullptr)
                continue;
            for (const auto& [name, value] : g_pairs)
                target->SetAttribute(name, value, FALSE);
        }
        for (const auto& [name, value] : g_pairs)
            wnd.SetAttribute(name, value, FALSE);
        fuzz::Exercise(wnd);
    });
    return 0;
}
