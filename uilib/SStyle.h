#pragma once
// Style values of a window (fonts, colours, text mode, padding, margin, cursor) and
// the parsers of their textual forms. A value that does not parse is ignored with a
// log line; the caller keeps its previous value.

#include <climits>
#include <optional>

#include "uilib/SRender.h"
#include "uilib/SString.h"

namespace SOUI {

// Parses "#rrggbb", "#rrggbbaa", "rgb(r,g,b)", "rgba(r,g,b,a)" and "@color/name" (the
// colour table). Without alpha the colour is opaque.
std::optional<COLORREF> ParseColor(const SStringW& value);
// Parses a font descriptor "face:…,size:…,bold:1,italic:1,underline:1,strike:1,adding:-2"
// on top of `base` (usually the default font). An empty descriptor gives `base`.
std::optional<FontDesc> ParseFontDesc(const SStringW& value, const FontDesc& base);
// Integer in decimal or with "0x"; nullopt when the text is no number.
std::optional<int> ParseInt(const SStringW& value);

// Coordinates, sizes and other quantities from attribute values are clamped to
// ±kMaxCoord as they are parsed, and font sizes to 1..kMaxFontSize, so that sums and
// differences of a few of them, and a font size in pango units, stay far inside an int.
constexpr int kMaxCoord = 1 << 20;
constexpr int kMaxFontSize = 4096;
int ClampCoord(long long value);
// ParseInt clamped with ClampCoord.
std::optional<int> ParseCoord(const SStringW& value);

// "l,t,r,b"; a single number sets all four; two set (x, y) pairs. Clamped as ParseCoord.
std::optional<CRect> ParseRect4(const SStringW& value);
// Writes the rule's log line for an attribute value that does not parse.
void LogBadAttribute(const wchar_t* owner, const SStringW& name, const SStringW& value);
// ParseCoord for an attribute value: nullopt, after the log line for `owner`, when the
// value is no number or is below `minimum`.
std::optional<int> ParseIntAttribute(const wchar_t* owner, const SStringW& name,
                                     const SStringW& value, int minimum = INT_MIN);

// Cursor shapes a window can ask the host for.
enum class SCursor { Arrow, Hand, IBeam, SizeWE, SizeNS, SizeAll };
SCursor ParseCursor(const SStringW& value);

// Per-state values of a window. Font and colour per state; CR_INVALID and an empty
// descriptor mean "as the normal state".
struct SwndStyle {
    enum { kNormal = 0, kHover, kPush, kDisable, kStates };
    SStringW strFont[kStates];  // descriptors; empty: as normal (normal empty: default font)
    COLORREF crText[kStates] = {RGBA(0, 0, 0, 255), CR_INVALID, CR_INVALID, CR_INVALID};
    COLORREF crBg = CR_INVALID;
    COLORREF crBgHover = CR_INVALID;
    UINT textMode = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    CRect rcPadding;
    CRect rcMargin;
    SCursor cursor = SCursor::Arrow;
    bool bDotted = false;

    const CRect& GetPadding() const { return rcPadding; }
    const CRect& GetMargin() const { return rcMargin; }
    // Handles the style attributes; false when the name is not a style attribute.
    // `ok` is false when the value does not parse (nothing changes then).
    bool SetAttribute(const SStringW& name, const SStringW& value, bool* ok);
    // True for the style attributes that can change a window's size (fonts, padding,
    // margins), which a change at run time lays the tree out again for.
    static bool AffectsSize(const SStringW& name);
    // Font descriptor / text colour for a state index (0..3), falling back to normal.
    const SStringW& GetFontDesc(int stateIndex) const;
    COLORREF GetTextColor(int stateIndex) const;
};

}  // namespace SOUI
