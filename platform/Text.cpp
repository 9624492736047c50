#include "platform/Text.h"

#include <cstring>

#include "platform/TextCodec.h"

namespace platform {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (!IsScalarValue(cp))
        cp = kReplacementCharacter;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16Le(std::string& out, char32_t cp) {
    auto unit = [&out](char32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    if (!IsScalarValue(cp))
        cp = kReplacementCharacter;
    if (cp < 0x10000) {
        unit(cp);
    } else {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10));
        unit(0xDC00 + (cp & 0x3FF));
    }
}

constexpr DecodedChar kIllFormedUnit{kReplacementCharacter, false, 1};

}  // namespace

std::string_view UpToNul(std::string_view text) {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::wstring_view UpToNul(std::wstring_view text) {
    size_t nul = text.find(L'\0');
    return nul == std::wstring_view::npos ? text : text.substr(0, nul);
}

char32_t NextWideChar(std::wstring_view text, size_t& pos) {
    const auto unit = static_cast<char32_t>(text[pos++]);
    if constexpr (sizeof(wchar_t) == 2) {
        // UTF-16: a lead surrogate takes its partner; either one alone is ill-formed.
        if (unit >= 0xD800 && unit <= 0xDBFF && pos < text.size()) {
            const auto low = static_cast<char32_t>(text[pos]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++pos;
                return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        return unit >= 0xD800 && unit <= 0xDFFF ? kReplacementCharacter : unit;
    } else {
        return IsScalarValue(unit) ? unit : kReplacementCharacter;
    }
}

void AppendWideChar(std::wstring& out, char32_t cp) {
    if (!IsScalarValue(cp))
        cp = kReplacementCharacter;
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

DecodedChar DecodeUtf8At(std::string_view bytes, size_t pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    const size_t left = bytes.size() - pos;
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return {lead, true, 1};
    size_t extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        return kIllFormedUnit;  // a continuation byte, or F8..FF
    }
    if (left <= extra)
        return kIllFormedUnit;
    for (size_t i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return kIllFormedUnit;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || !IsScalarValue(cp))
        return kIllFormedUnit;
    return {cp, true, extra + 1};
}

DecodedChar DecodeUtf16LeAt(std::string_view bytes, size_t pos) {
    auto unit = [&bytes](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    if (bytes.size() - pos < 2)
        return kIllFormedUnit;
    const char32_t u = unit(pos);
    if (u < 0xD800 || u > 0xDFFF)
        return {u, true, 2};
    if (u <= 0xDBFF && bytes.size() - pos >= 4) {
        const char32_t low = unit(pos + 2);
        if (low >= 0xDC00 && low <= 0xDFFF)
            return {0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), true, 4};
    }
    return {kReplacementCharacter, false, 2};
}

std::string WideToUtf8(std::wstring_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();)
        AppendUtf8(out, NextWideChar(text, pos));
    return out;
}

std::wstring Utf8ToWide(std::string_view text) {
    text = UpToNul(text);
    std::wstring out;
    out.reserve(text.size());  // never more units than bytes
    size_t pos = 0;
    while (pos < text.size()) {
        const auto b = static_cast<unsigned char>(text[pos]);
        if (b < 0x80) {
            out.push_back(b);
            ++pos;
            continue;
        }
        const DecodedChar c = DecodeUtf8At(text, pos);
        AppendWideChar(out, c.value);
        pos += c.length;
    }
    return out;
}

std::optional<std::wstring> CodePageToWide(std::string_view bytes, unsigned codePage) {
    constexpr unsigned kUtf8 = 65001;
    if (codePage != kUtf8)
        return SystemCodePageToWide(bytes, codePage);
    std::wstring out;
    for (size_t pos = 0; pos < bytes.size();) {
        const DecodedChar ch = DecodeUtf8At(bytes, pos);
        if (ch.valid) {
            AppendWideChar(out, ch.value);
            pos += ch.length;
        } else {
            out.push_back(L'?');
            ++pos;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        const DecodedChar c = DecodeUtf8At(text, pos);
        if (!c.valid)
            return false;
        pos += c.length;
    }
    return true;
}

std::string WideToUtf16Le(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t pos = 0; pos < text.size();)
        AppendUtf16Le(out, NextWideChar(text, pos));
    return out;
}

std::wstring Utf16LeToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    for (size_t pos = 0; pos + 1 < bytes.size();) {
        const DecodedChar c = DecodeUtf16LeAt(bytes, pos);
        AppendWideChar(out, c.value);
        pos += c.length;
    }
    return out;
}

std::wstring FoldName(std::wstring_view name) {
    std::wstring out(name);
    for (wchar_t& c : out)
        c = FoldChar(c);
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    }
    return true;
}

size_t Utf16Length(std::wstring_view text) {
    size_t units = 0;
    for (size_t pos = 0; pos < text.size();)
        units += NextWideChar(text, pos) > 0xFFFF ? 2 : 1;
    return units;
}

}  // namespace platform
