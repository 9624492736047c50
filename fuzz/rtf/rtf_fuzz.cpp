// RTF documents: any bytes parse, and the rich edit lays them out, paints and scrolls
// them, wrapped in an ordinary window and in one shorter than its inset.
#include <cstdint>
#include <string>

#include "fuzz/UiFuzzEnv.h"
#include "uilib/SRichEdit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string rtf(reinterpret_cast<const char*>(data), size);
    SOUI::ParseRtf(rtf);
    fuzz::WithUi({{"RTF", "doc", rtf}, {"LAYOUT", "w", R"(<SOUI width="200" height="120"><root>
                     <richedit pos="0,0,-0,80" rtf="RTF:doc" wordwrap="1" vscrollBar="1"
                               sbSkin="sb"/>
                     <richedit pos="0,80,-0,-0" rtf="RTF:doc" vscrollBar="1" inset="30"/>
                   </root></SOUI>)"}},
                 [] {
                     SOUI::SHostWnd wnd(L"LAYOUT:w");
                     if (wnd.Create() != nullptr)
                         fuzz::Exercise(wnd);
                 });
    return 0;
}
