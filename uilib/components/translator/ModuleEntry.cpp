// The translator component's entry point.
#include "uilib/components/translator/STranslatorMgr.h"

QI_COMPONENT_ENTRY bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::STranslatorMgr;
    return true;
}
