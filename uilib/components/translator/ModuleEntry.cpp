// The translator component's entry point.
#include "uilib/components/translator/STranslatorMgr.h"

extern "C" __attribute__((visibility("default"))) bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::STranslatorMgr;
    return true;
}
