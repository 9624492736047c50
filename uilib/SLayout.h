#pragma once
// The position rule of a window: "left,top,right,bottom" inside the parent.
//   N      from the parent's left/top edge
//   -N     inwards from the parent's right/bottom edge ("-0" is the edge itself)
//   |N     from the parent's centre (N may be negative: "|-150")
//   [N     from the previous sibling's right/bottom edge
//   {N     from the previous sibling's left/top edge
//   @N     (third and fourth part) width/height N; "@-1" sizes to the content
// Two parts ("x,y") place the window at its content size.

#include <optional>

#include "uilib/SDefs.h"
#include "uilib/SString.h"

namespace SOUI {

struct SPosItem {
    enum Ref { kNone, kOrigin, kFar, kCenter, kPrevFar, kPrevNear, kSize };
    Ref ref = kNone;
    int value = 0;
};

struct SLayoutPos {
    SPosItem item[4];
    int count = 0;  // 0: no rule (the window fills its parent)

    // Parses a rule; nullopt when it does not parse.
    static std::optional<SLayoutPos> Parse(const SStringW& text);

    // Solves the rule. `prev` is the previous sibling's rectangle (null when none: then
    // "[" and "{" count from the parent's near edge); `content` is the size for "@-1"
    // and for two-part rules.
    CRect Solve(const CRect& parent, const CRect* prev, CSize content) const;
    bool NeedsContentSize() const;
};

}  // namespace SOUI
