#pragma once
// A font as a pango description. The faces the layouts name (微软雅黑, 宋体 and their
// Latin names) map onto the installed CJK family.

#include <pango/pango.h>

#include "uilib/SRender.h"

namespace SOUI {

class SFontCairo : public SObjectImpl<IFontS> {
public:
    explicit SFontCairo(const FontDesc& desc);
    ~SFontCairo() override;
    const FontDesc& GetDesc() const override { return m_desc; }
    const PangoFontDescription* GetPangoDesc() const { return m_pDesc; }
    // The family list pango gets for a face.
    static std::string MapFace(const std::wstring& face);

private:
    FontDesc m_desc;
    PangoFontDescription* m_pDesc;
};

}  // namespace SOUI
