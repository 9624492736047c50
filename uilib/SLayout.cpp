#include "uilib/SLayout.h"

#include <cwctype>
#include <utility>
#include <vector>

#include "uilib/SStyle.h"

namespace SOUI {

std::optional<SLayoutPos> SLayoutPos::Parse(const SStringW& text) {
    SLayoutPos pos;
    std::vector<SStringW> parts;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(L',', start);
        parts.push_back(
            text.substr(start, comma == SStringW::npos ? SStringW::npos : comma - start));
        if (comma == SStringW::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 2 && parts.size() != 4)
        return std::nullopt;
    for (size_t i = 0; i < parts.size(); ++i) {
        SStringW p = parts[i];
        while (!p.empty() && std::iswspace(p.front()))
            p.erase(0, 1);
        while (!p.empty() && std::iswspace(p.back()))
            p.pop_back();
        if (p.empty())
            return std::nullopt;
        // The reference a position is measured from, by its prefix; none: the origin.
        static constexpr std::pair<wchar_t, SPosItem::Ref> kPrefixes[] = {
            {L'|', SPosItem::kCenter},
            {L'[', SPosItem::kPrevFar},
            {L'{', SPosItem::kPrevNear},
            {L'@', SPosItem::kSize},
            {L'-', SPosItem::kFar}};
        SPosItem item;
        item.ref = SPosItem::kOrigin;
        for (const auto& [prefix, ref] : kPrefixes) {
            if (p[0] == prefix) {
                if (ref == SPosItem::kSize && i < 2)
                    return std::nullopt;  // a size only makes sense as right/bottom
                item.ref = ref;
                p.erase(0, 1);
                break;
            }
        }
        auto n = ParseCoord(p);
        if (!n)
            return std::nullopt;
        item.value = *n;
        pos.item[i] = item;
    }
    pos.count = static_cast<int>(parts.size());
    return pos;
}

bool SLayoutPos::NeedsContentSize() const {
    if (count == 2)
        return true;
    return count == 4 && ((item[2].ref == SPosItem::kSize && item[2].value < 0) ||
                          (item[3].ref == SPosItem::kSize && item[3].value < 0));
}

namespace {

// One coordinate of the near edge (left or top).
int SolveEdge(const SPosItem& it, int pNear, int pFar, const int* prevNear, const int* prevFar) {
    switch (it.ref) {
        case SPosItem::kOrigin:
            return pNear + it.value;
        case SPosItem::kFar:
            return pFar - it.value;
        case SPosItem::kCenter:
            return (pNear + pFar) / 2 + it.value;
        case SPosItem::kPrevFar:
            return (prevFar ? *prevFar : pNear) + it.value;
        case SPosItem::kPrevNear:
            return (prevNear ? *prevNear : pNear) + it.value;
        default:
            return pNear;
    }
}

}  // namespace

CRect SLayoutPos::Solve(const CRect& parent, const CRect* prev, CSize content) const {
    if (count == 0)
        return parent;
    const int* pl = prev ? &prev->left : nullptr;
    const int* pr = prev ? &prev->right : nullptr;
    const int* pt = prev ? &prev->top : nullptr;
    const int* pb = prev ? &prev->bottom : nullptr;
    CRect rc;
    rc.left = SolveEdge(item[0], parent.left, parent.right, pl, pr);
    rc.top = SolveEdge(item[1], parent.top, parent.bottom, pt, pb);
    if (count == 2) {
        rc.right = rc.left + content.cx;
        rc.bottom = rc.top + content.cy;
        return rc;
    }
    if (item[2].ref == SPosItem::kSize)
        rc.right = rc.left + (item[2].value < 0 ? content.cx : item[2].value);
    else
        rc.right = SolveEdge(item[2], parent.left, parent.right, pl, pr);
    if (item[3].ref == SPosItem::kSize)
        rc.bottom = rc.top + (item[3].value < 0 ? content.cy : item[3].value);
    else
        rc.bottom = SolveEdge(item[3], parent.top, parent.bottom, pt, pb);
    return rc;
}

}  // namespace SOUI
