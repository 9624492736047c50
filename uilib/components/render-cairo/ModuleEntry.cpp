// The render-cairo component's entry point.
#include "uilib/components/render-cairo/SRenderFactoryCairo.h"

QI_COMPONENT_ENTRY bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::SRenderFactoryCairo;
    return true;
}
