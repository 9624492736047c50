#include "uilib/SLink.h"

namespace SOUI {

SLink::SLink() {
    m_style.textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    m_style.cursor = SCursor::Hand;
}

void SLink::OnLButtonUp(CPoint pt, UINT flags) {
    if (EndClick(pt, flags))
        FireCommand();
}

bool SLink::OnActivate() {
    FireCommand();
    return true;
}

}  // namespace SOUI
