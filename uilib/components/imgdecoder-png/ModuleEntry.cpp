// The imgdecoder-png component's entry point.
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"

QI_COMPONENT_ENTRY bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::SImgDecoderPng;
    return true;
}
