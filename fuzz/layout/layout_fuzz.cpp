// Layout documents: any bytes as a window's layout either load or are refused, and what
// loads lays out, paints and takes mouse input.
#include <cstdint>
#include <string>

#include "fuzz/UiFuzzEnv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::WithUi({{"LAYOUT", "fuzz", std::string(reinterpret_cast<const char*>(data), size)}}, [] {
        SOUI::SHostWnd wnd(L"LAYOUT:fuzz");
        if (wnd.Create() != nullptr)
            fuzz::Exercise(wnd);
    });
    return 0;
}
