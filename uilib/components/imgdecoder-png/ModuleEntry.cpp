// The imgdecoder-png component's entry point.
#include "uilib/components/imgdecoder-png/SImgDecoderPng.h"

extern "C" __attribute__((visibility("default"))) bool SCreateInstance(SOUI::IObject** ppObj) {
    if (ppObj == nullptr)
        return false;
    *ppObj = new SOUI::SImgDecoderPng;
    return true;
}
