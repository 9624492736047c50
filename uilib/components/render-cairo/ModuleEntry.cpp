// The render-cairo component's entry point.
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

extern "C" __attribute__((visibility("default"))) bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::SRenderFactoryCairo;
    return true;
}
