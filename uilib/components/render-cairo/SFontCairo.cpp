#include "uilib/components/render-cairo/SFontCairo.h"

#include "platform/Text.h"

namespace SOUI {
namespace {
#ifdef _WIN32
// Windows' own CJK face first; Wine has none and finds the host's family by name.
constexpr const char* kCjkFamily = "Microsoft YaHei,WenQuanYi Micro Hei";
#else
constexpr const char* kCjkFamily = "WenQuanYi Micro Hei";
#endif
}  // namespace

std::string SFontCairo::MapFace(const std::wstring& face) {
    if (face.empty() || face == L"微软雅黑" || face == L"宋体" || face == L"新宋体" ||
        face == L"黑体" || face == L"Microsoft YaHei" || face == L"SimSun" || face == L"SimHei")
        return kCjkFamily;
    // Other faces keep the CJK family as fallback so that Chinese text never shows boxes.
    return platform::WideToUtf8(face) + "," + kCjkFamily;
}

SFontCairo::SFontCairo(const FontDesc& desc) : m_desc(desc) {
    m_pDesc = pango_font_description_new();
    pango_font_description_set_family(m_pDesc, MapFace(desc.face).c_str());
    pango_font_description_set_absolute_size(m_pDesc, std::max(1, desc.size) * PANGO_SCALE);
    pango_font_description_set_weight(m_pDesc, desc.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(m_pDesc,
                                     desc.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
}

SFontCairo::~SFontCairo() {
    pango_font_description_free(m_pDesc);
}

}  // namespace SOUI
