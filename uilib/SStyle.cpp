#include "uilib/SStyle.h"

#include <algorithm>
#include <cwctype>

#include "platform/DebugOutput.h"
#include "platform/Text.h"
#include "platform/WideFormat.h"
#include "uilib/SApplication.h"

namespace SOUI {
namespace {

SStringW Trim(const SStringW& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::iswspace(s[b]))
        ++b;
    while (e > b && std::iswspace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Comma-separated integers, clamped as ParseCoord; nullopt when any part is no number.
std::optional<std::vector<int>> ParseCoordList(const SStringW& value) {
    std::vector<int> out;
    size_t pos = 0;
    while (true) {
        size_t comma = value.find(L',', pos);
        auto n =
            ParseCoord(value.substr(pos, comma == SStringW::npos ? SStringW::npos : comma - pos));
        if (!n)
            return std::nullopt;
        out.push_back(*n);
        if (comma == SStringW::npos)
            break;
        pos = comma + 1;
    }
    return out;
}

}  // namespace

void LogBadAttribute(const wchar_t* owner, const SStringW& name, const SStringW& value) {
    platform::OutputDebugStringW(platform::FormatW(L"%s: attribute %s=\"%s\" ignored (bad value)\n",
                                                   owner, name.c_str(), value.c_str())
                                     .c_str());
}

int ClampCoord(long long value) {
    return static_cast<int>(std::clamp<long long>(value, -kMaxCoord, kMaxCoord));
}

std::optional<int> ParseCoord(const SStringW& value) {
    auto n = ParseInt(value);
    if (!n)
        return std::nullopt;
    return ClampCoord(*n);
}

std::optional<int> ParseIntAttribute(const wchar_t* owner, const SStringW& name,
                                     const SStringW& value, int minimum) {
    auto n = ParseCoord(value);
    if (!n || *n < minimum) {
        LogBadAttribute(owner, name, value);
        return std::nullopt;
    }
    return n;
}

std::optional<int> ParseInt(const SStringW& raw) {
    SStringW v = Trim(raw);
    if (v.empty())
        return std::nullopt;
    size_t i = 0;
    bool neg = false;
    if (v[i] == L'-' || v[i] == L'+') {
        neg = v[i] == L'-';
        ++i;
    }
    int base = 10;
    if (i + 1 < v.size() && v[i] == L'0' && (v[i + 1] == L'x' || v[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i >= v.size())
        return std::nullopt;
    long long n = 0;
    for (; i < v.size(); ++i) {
        int d = base == 16 ? platform::HexDigit(v[i])
                           : (v[i] >= L'0' && v[i] <= L'9' ? v[i] - L'0' : -1);
        if (d < 0)
            return std::nullopt;
        n = n * base + d;
        if (n > 0xffffffffLL)
            return std::nullopt;
    }
    if (neg)
        n = -n;
    return static_cast<int>(n);
}

std::optional<COLORREF> ParseColor(const SStringW& raw) {
    SStringW v = Trim(raw);
    if (v.empty())
        return std::nullopt;
    if (v[0] == L'#') {
        if (v.size() != 7 && v.size() != 9)
            return std::nullopt;
        unsigned bytes[4] = {0, 0, 0, 255};
        for (size_t k = 0; k < (v.size() - 1) / 2; ++k) {
            int h = platform::HexDigit(v[1 + 2 * k]), l = platform::HexDigit(v[2 + 2 * k]);
            if (h < 0 || l < 0)
                return std::nullopt;
            bytes[k] = static_cast<unsigned>(h * 16 + l);
        }
        return RGBA(bytes[0], bytes[1], bytes[2], bytes[3]);
    }
    auto call = [&](const wchar_t* fn, size_t count) -> std::optional<COLORREF> {
        size_t n = std::wcslen(fn);
        if (v.size() < n + 2 || !EqualsNoCase(v.substr(0, n), fn))
            return std::nullopt;
        SStringW inner = Trim(v.substr(n));
        if (inner.size() < 2 || inner.front() != L'(' || inner.back() != L')')
            return std::nullopt;
        auto parts = ParseCoordList(inner.substr(1, inner.size() - 2));
        if (!parts || parts->size() != count)
            return std::nullopt;
        for (int p : *parts)
            if (p < 0 || p > 255)
                return std::nullopt;
        return RGBA((*parts)[0], (*parts)[1], (*parts)[2], count == 4 ? (*parts)[3] : 255);
    };
    if (auto c = call(L"rgba", 4))
        return c;
    if (auto c = call(L"rgb", 3))
        return c;
    if (v.rfind(L"@color/", 0) == 0) {
        SApplication* app = SApplication::getSingletonPtr();
        if (app)
            return app->GetColor(v.substr(7));
    }
    return std::nullopt;
}

std::optional<FontDesc> ParseFontDesc(const SStringW& raw, const FontDesc& base) {
    FontDesc desc = base;
    SStringW v = Trim(raw);
    if (v.empty())
        return desc;
    std::optional<int> size, adding;
    size_t pos = 0;
    while (pos <= v.size()) {
        size_t comma = v.find(L',', pos);
        SStringW part = Trim(v.substr(pos, comma == SStringW::npos ? SStringW::npos : comma - pos));
        pos = comma == SStringW::npos ? v.size() + 1 : comma + 1;
        if (part.empty())
            continue;
        size_t colon = part.find(L':');
        if (colon == SStringW::npos)
            return std::nullopt;
        SStringW key = Trim(part.substr(0, colon));
        SStringW val = Trim(part.substr(colon + 1));
        if (EqualsNoCase(key, L"face")) {
            desc.face = val;
            continue;
        }
        auto n = ParseCoord(val);
        if (!n)
            return std::nullopt;
        if (EqualsNoCase(key, L"size")) {
            size = *n;
        } else if (EqualsNoCase(key, L"adding")) {
            adding = *n;
        } else if (EqualsNoCase(key, L"bold")) {
            desc.bold = *n != 0;
        } else if (EqualsNoCase(key, L"italic")) {
            desc.italic = *n != 0;
        } else if (EqualsNoCase(key, L"underline")) {
            desc.underline = *n != 0;
        } else if (EqualsNoCase(key, L"strike")) {
            desc.strike = *n != 0;
        } else if (EqualsNoCase(key, L"charset") || EqualsNoCase(key, L"weight")) {
            if (EqualsNoCase(key, L"weight"))
                desc.bold = *n >= 600;
        } else {
            return std::nullopt;
        }
    }
    // "adding" changes the size relative to the base (default) font, or to the given
    // size when both are present.
    desc.size = std::clamp((size ? *size : ClampCoord(base.size)) + (adding ? *adding : 0), 1,
                           kMaxFontSize);
    return desc;
}

std::optional<CRect> ParseRect4(const SStringW& value) {
    auto parts = ParseCoordList(value);
    if (!parts)
        return std::nullopt;
    const auto& p = *parts;
    if (p.size() == 1)
        return CRect(p[0], p[0], p[0], p[0]);
    if (p.size() == 2)
        return CRect(p[0], p[1], p[0], p[1]);
    if (p.size() == 4)
        return CRect(p[0], p[1], p[2], p[3]);
    return std::nullopt;
}

SCursor ParseCursor(const SStringW& v) {
    if (EqualsNoCase(v, L"hand"))
        return SCursor::Hand;
    if (EqualsNoCase(v, L"ibeam"))
        return SCursor::IBeam;
    if (EqualsNoCase(v, L"sizewe"))
        return SCursor::SizeWE;
    if (EqualsNoCase(v, L"sizens"))
        return SCursor::SizeNS;
    if (EqualsNoCase(v, L"sizeall"))
        return SCursor::SizeAll;
    return SCursor::Arrow;
}

bool SwndStyle::SetAttribute(const SStringW& name, const SStringW& value, bool* ok) {
    *ok = true;
    auto color = [&](COLORREF* target) {
        if (value.empty()) {
            *target = CR_INVALID;
            return true;
        }
        auto c = ParseColor(value);
        if (c)
            *target = *c;
        else
            *ok = false;
        return true;
    };
    auto font = [&](SStringW* target) {
        // Validate against the defaults; the descriptor is resolved at paint time so
        // that it follows the default font of the UI definition.
        if (!ParseFontDesc(value, FontDesc())) {
            *ok = false;
            return true;
        }
        *target = value;
        return true;
    };
    if (EqualsNoCase(name, L"colorText"))
        return color(&crText[kNormal]);
    if (EqualsNoCase(name, L"colorTextHover"))
        return color(&crText[kHover]);
    if (EqualsNoCase(name, L"colorTextPush"))
        return color(&crText[kPush]);
    if (EqualsNoCase(name, L"colorTextDisable"))
        return color(&crText[kDisable]);
    if (EqualsNoCase(name, L"colorBkgnd") || EqualsNoCase(name, L"background"))
        return color(&crBg);
    if (EqualsNoCase(name, L"colorBkgndHover"))
        return color(&crBgHover);
    if (EqualsNoCase(name, L"font"))
        return font(&strFont[kNormal]);
    if (EqualsNoCase(name, L"fontHover"))
        return font(&strFont[kHover]);
    if (EqualsNoCase(name, L"fontPush"))
        return font(&strFont[kPush]);
    if (EqualsNoCase(name, L"fontDisable"))
        return font(&strFont[kDisable]);
    if (EqualsNoCase(name, L"textMode")) {
        auto n = ParseInt(value);
        if (n)
            textMode = static_cast<UINT>(*n);
        else
            *ok = false;
        return true;
    }
    if (EqualsNoCase(name, L"align")) {
        textMode &= ~(DT_CENTER | DT_RIGHT);
        if (EqualsNoCase(value, L"center"))
            textMode |= DT_CENTER;
        else if (EqualsNoCase(value, L"right"))
            textMode |= DT_RIGHT;
        else if (!EqualsNoCase(value, L"left"))
            *ok = false;
        return true;
    }
    if (EqualsNoCase(name, L"padding") || EqualsNoCase(name, L"inset")) {
        auto r = ParseRect4(value);
        if (r)
            rcPadding = *r;
        else
            *ok = false;
        return true;
    }
    if (EqualsNoCase(name, L"margin")) {
        auto r = ParseRect4(value);
        if (r)
            rcMargin = *r;
        else
            *ok = false;
        return true;
    }
    auto single = [&](int* a, int* b) {
        auto n = ParseCoord(value);
        if (!n) {
            *ok = false;
            return true;
        }
        *a = *b = *n;
        return true;
    };
    if (EqualsNoCase(name, L"margin-x"))
        return single(&rcMargin.left, &rcMargin.right);
    if (EqualsNoCase(name, L"margin-y"))
        return single(&rcMargin.top, &rcMargin.bottom);
    if (EqualsNoCase(name, L"padding-x"))
        return single(&rcPadding.left, &rcPadding.right);
    if (EqualsNoCase(name, L"padding-y"))
        return single(&rcPadding.top, &rcPadding.bottom);
    if (EqualsNoCase(name, L"cursor")) {
        cursor = ParseCursor(value);
        return true;
    }
    if (EqualsNoCase(name, L"dotted")) {
        bDotted = ParseInt(value).value_or(0) != 0;
        return true;
    }
    return false;
}

bool SwndStyle::AffectsSize(const SStringW& name) {
    for (const wchar_t* sized :
         {L"font", L"fontHover", L"fontPush", L"fontDisable", L"padding", L"inset", L"margin",
          L"margin-x", L"margin-y", L"padding-x", L"padding-y"})
        if (EqualsNoCase(name, sized))
            return true;
    return false;
}

const SStringW& SwndStyle::GetFontDesc(int stateIndex) const {
    if (stateIndex > 0 && stateIndex < kStates && !strFont[stateIndex].empty())
        return strFont[stateIndex];
    return strFont[kNormal];
}

COLORREF SwndStyle::GetTextColor(int stateIndex) const {
    if (stateIndex > 0 && stateIndex < kStates && crText[stateIndex] != CR_INVALID)
        return crText[stateIndex];
    return crText[kNormal];
}

}  // namespace SOUI
