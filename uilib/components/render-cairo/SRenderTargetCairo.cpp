#include "uilib/components/render-cairo/SRenderTargetCairo.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Text.h"

#include "uilib/components/render-cairo/SBitmapCairo.h"
#include "uilib/components/render-cairo/SFontCairo.h"

namespace SOUI {
namespace {

// The first wide unit of each code point of `text`, then `len`: pango counts code points of
// UTF-8, and on Windows a character outside the basic plane is two units (a surrogate pair).
std::vector<int> UnitOfCodePoint(const wchar_t* text, int len) {
    std::vector<int> units;
    units.reserve(static_cast<size_t>(len) + 1);
    for (int i = 0; i < len; ++i) {
        units.push_back(i);
        if constexpr (sizeof(wchar_t) == 2) {
            const auto unit = static_cast<uint32_t>(text[i]);
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < len) {
                const auto next = static_cast<uint32_t>(text[i + 1]);
                if (next >= 0xDC00 && next < 0xE000)
                    ++i;
            }
        }
    }
    units.push_back(len);
    return units;
}

// pango's win32 font map asserts once for each system font it cannot describe while it
// lists them (Wine has several); those lines say nothing about the text drawn here.
void DropFontListingAssertions() {
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        g_log_set_handler(
            "Pango", G_LOG_LEVEL_CRITICAL,
            [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
                if (message != nullptr &&
                    std::strstr(message, "pango_font_description_get_family: assertion") != nullptr)
                    return;
                g_log_default_handler(domain, level, message, nullptr);
            },
            nullptr);
    });
}

}  // namespace

SRenderTargetCairo::SRenderTargetCairo(IRenderFactory* factory, int width, int height)
    : m_pFactory(factory) {
    DropFontListingAssertions();
    FontDesc def;
    def.face = L"宋体";
    def.size = 15;
    m_pDefFont = new SFontCairo(def);
    m_pFont = m_pDefFont;
    CreateSurface(CSize(width, height));
}

SRenderTargetCairo::~SRenderTargetCairo() {
    DestroySurface();
    for (IFontS* f : m_fontRefs)
        f->Release();
    m_pDefFont->Release();
}

void SRenderTargetCairo::CreateSurface(CSize size) {
    m_size = size;
    m_pSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(0, size.cx) * m_nScale,
                                            std::max(0, size.cy) * m_nScale);
    cairo_surface_set_device_scale(m_pSurface, m_nScale, m_nScale);
    m_pCr = cairo_create(m_pSurface);
    m_pLayout = pango_cairo_create_layout(m_pCr);
    PangoContext* ctx = pango_layout_get_context(m_pLayout);
    pango_context_set_language(ctx, pango_language_from_string("zh-cn"));
    pango_layout_context_changed(m_pLayout);
    m_nClipDepth = 0;
}

void SRenderTargetCairo::DestroySurface() {
    if (m_pLayout)
        g_object_unref(m_pLayout);
    if (m_pCr)
        cairo_destroy(m_pCr);
    if (m_pSurface)
        cairo_surface_destroy(m_pSurface);
    m_pLayout = nullptr;
    m_pCr = nullptr;
    m_pSurface = nullptr;
}

void SRenderTargetCairo::Resize(CSize size) {
    if (size == m_size && m_nClipDepth == 0) {
        cairo_save(m_pCr);
        cairo_set_operator(m_pCr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(m_pCr);
        cairo_restore(m_pCr);
        return;
    }
    DestroySurface();
    CreateSurface(size);
}

void SRenderTargetCairo::SetScale(int scale) {
    scale = std::clamp(scale, 1, kMaxRenderScale);
    if (scale == m_nScale)
        return;
    m_nScale = scale;
    DestroySurface();
    CreateSurface(m_size);
}

IFontS* SRenderTargetCairo::SelectFont(IFontS* font) {
    IFontS* old = m_pFont;
    if (font == nullptr)
        font = m_pDefFont;
    if (font != m_pDefFont &&
        std::find(m_fontRefs.begin(), m_fontRefs.end(), font) == m_fontRefs.end()) {
        font->AddRef();
        m_fontRefs.push_back(font);
    }
    m_pFont = font;
    return old;
}

COLORREF SRenderTargetCairo::SetTextColor(COLORREF color) {
    COLORREF old = m_crText;
    m_crText = color;
    return old;
}

void SRenderTargetCairo::SetSourceColor(COLORREF c) {
    cairo_set_source_rgba(m_pCr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0,
                          GetAValue(c) / 255.0);
}

void SRenderTargetCairo::FillSolidRect(const CRect& rc, COLORREF color) {
    if (rc.IsRectEmpty())
        return;
    SetSourceColor(color);
    cairo_rectangle(m_pCr, rc.left, rc.top, rc.Width(), rc.Height());
    cairo_fill(m_pCr);
}

void SRenderTargetCairo::DrawRectangle(const CRect& rc, COLORREF color) {
    if (rc.IsRectEmpty())
        return;
    SetSourceColor(color);
    cairo_set_line_width(m_pCr, 1.0);
    cairo_rectangle(m_pCr, rc.left + 0.5, rc.top + 0.5, rc.Width() - 1, rc.Height() - 1);
    cairo_stroke(m_pCr);
}

void SRenderTargetCairo::DrawBitmap(const CRect& dst, IBitmapS* bmp, const CRect& src, BYTE alpha) {
    if (!bmp || dst.IsRectEmpty() || src.IsRectEmpty() || alpha == 0)
        return;
    CRect s = src & CRect(0, 0, bmp->Width(), bmp->Height());
    if (s.IsRectEmpty())
        return;
    cairo_surface_t* whole = nullptr;
    bool own = false;
    if (auto* cb = dynamic_cast<SBitmapCairo*>(bmp)) {
        whole = cb->GetSurface();
    } else {
        whole = cairo_image_surface_create_for_data(const_cast<BYTE*>(bmp->GetPixelBits()),
                                                    CAIRO_FORMAT_ARGB32, bmp->Width(),
                                                    bmp->Height(), bmp->Stride());
        own = true;
    }
    if (!whole)
        return;
    // A sub-surface with padded edges, so that stretching never bleeds in the
    // neighbouring frame of a strip.
    cairo_surface_t* part =
        cairo_surface_create_for_rectangle(whole, s.left, s.top, s.Width(), s.Height());
    cairo_save(m_pCr);
    cairo_rectangle(m_pCr, dst.left, dst.top, dst.Width(), dst.Height());
    cairo_clip(m_pCr);
    cairo_translate(m_pCr, dst.left, dst.top);
    double sx = static_cast<double>(dst.Width()) / s.Width();
    double sy = static_cast<double>(dst.Height()) / s.Height();
    cairo_scale(m_pCr, sx, sy);
    cairo_set_source_surface(m_pCr, part, 0, 0);
    cairo_pattern_t* pat = cairo_get_source(m_pCr);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    // Pixel for pixel a copy; anything stretched, also by the device scale of a HiDPI
    // target, is interpolated rather than repeated pixel by pixel. (Cairo's "good" filter
    // is the same when enlarging and costs half again as much per frame where a skin is
    // drawn smaller than its image.)
    bool identity = sx == 1.0 && sy == 1.0 && m_nScale == 1;
    cairo_pattern_set_filter(pat, identity ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
    if (alpha == 0xff)
        cairo_paint(m_pCr);
    else
        cairo_paint_with_alpha(m_pCr, alpha / 255.0);
    cairo_restore(m_pCr);
    cairo_surface_destroy(part);
    if (own)
        cairo_surface_destroy(whole);
}

CSize SRenderTargetCairo::PrepareLayout(const wchar_t* text, int len, int wrapWidth,
                                        bool singleLine) {
    if (len < 0)
        len = static_cast<int>(std::wcslen(text));
    std::string utf8 = platform::WideToUtf8(std::wstring_view(text, static_cast<size_t>(len)));
    auto* font = dynamic_cast<SFontCairo*>(m_pFont);
    if (font == nullptr)
        font = static_cast<SFontCairo*>(m_pDefFont);  // a foreign font
    pango_layout_set_font_description(m_pLayout, font->GetPangoDesc());
    PangoAttrList* attrs = pango_attr_list_new();
    if (font->GetDesc().underline)
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font->GetDesc().strike)
        pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(m_pLayout, attrs);
    pango_attr_list_unref(attrs);
    pango_layout_set_single_paragraph_mode(m_pLayout, singleLine);
    if (wrapWidth > 0) {
        pango_layout_set_width(m_pLayout, wrapWidth * PANGO_SCALE);
        pango_layout_set_wrap(m_pLayout, PANGO_WRAP_WORD_CHAR);
    } else {
        pango_layout_set_width(m_pLayout, -1);
    }
    pango_layout_set_alignment(m_pLayout, PANGO_ALIGN_LEFT);
    pango_layout_set_text(m_pLayout, utf8.c_str(), static_cast<int>(utf8.size()));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(m_pLayout, nullptr, &logical);
    return {logical.width, logical.height};
}

int SRenderTargetCairo::DrawText(const wchar_t* text, int len, CRect* rc, UINT format) {
    if (!text || !rc)
        return 0;
    bool single = (format & DT_SINGLELINE) != 0;
    int wrap = (!single && (format & DT_WORDBREAK)) ? std::max(1, rc->Width()) : 0;
    CSize ext = PrepareLayout(text, len, wrap, single);
    if (format & DT_CALCRECT) {
        rc->right = rc->left + ext.cx;
        rc->bottom = rc->top + ext.cy;
        return ext.cy;
    }
    if (wrap > 0) {
        PangoAlignment a = (format & DT_CENTER)  ? PANGO_ALIGN_CENTER
                           : (format & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                 : PANGO_ALIGN_LEFT;
        pango_layout_set_alignment(m_pLayout, a);
    } else if ((format & DT_END_ELLIPSIS) && ext.cx > rc->Width()) {
        pango_layout_set_width(m_pLayout, std::max(1, rc->Width()) * PANGO_SCALE);
        pango_layout_set_ellipsize(m_pLayout, PANGO_ELLIPSIZE_END);
        ext.cx = rc->Width();
    }
    int x = rc->left, y = rc->top;
    if (wrap == 0) {
        if (format & DT_CENTER)
            x = rc->left + (rc->Width() - ext.cx) / 2;
        else if (format & DT_RIGHT)
            x = rc->right - ext.cx;
    }
    if (format & DT_VCENTER)
        y = rc->top + (rc->Height() - ext.cy) / 2;
    else if (format & DT_BOTTOM)
        y = rc->bottom - ext.cy;
    cairo_save(m_pCr);
    cairo_rectangle(m_pCr, rc->left, rc->top, rc->Width(), rc->Height());
    cairo_clip(m_pCr);
    SetSourceColor(m_crText);
    cairo_move_to(m_pCr, x, y);
    pango_cairo_show_layout(m_pCr, m_pLayout);
    cairo_restore(m_pCr);
    pango_layout_set_ellipsize(m_pLayout, PANGO_ELLIPSIZE_NONE);
    return ext.cy;
}

void SRenderTargetCairo::TextOut(int x, int y, const wchar_t* text, int len) {
    if (!text)
        return;
    PrepareLayout(text, len, 0, true);
    SetSourceColor(m_crText);
    cairo_move_to(m_pCr, x, y);
    pango_cairo_show_layout(m_pCr, m_pLayout);
}

CSize SRenderTargetCairo::MeasureText(const wchar_t* text, int len) {
    if (!text)
        return {};
    return PrepareLayout(text, len, 0, true);
}

void SRenderTargetCairo::MeasureCharEdges(const wchar_t* text, int len, int* rightEdges) {
    if (!text || !rightEdges)
        return;
    if (len < 0)
        len = static_cast<int>(std::wcslen(text));
    if (len == 0)
        return;
    PrepareLayout(text, len, 0, true);
    // The layout reports byte offsets of its UTF-8 text; map them back to wide units.
    std::string utf8 = platform::WideToUtf8(std::wstring_view(text, static_cast<size_t>(len)));
    const std::vector<int> units = UnitOfCodePoint(text, len);
    std::vector<int> charOfByte(utf8.size());
    int c = -1;
    for (size_t b = 0; b < utf8.size(); ++b) {
        if ((static_cast<unsigned char>(utf8[b]) & 0xC0) != 0x80)
            ++c;
        const int point = std::clamp(c, 0, static_cast<int>(units.size()) - 2);
        charOfByte[b] = std::clamp(units[static_cast<size_t>(point)], 0, len - 1);
    }
    std::fill(rightEdges, rightEdges + len, -1);
    PangoLayoutIter* it = pango_layout_get_iter(m_pLayout);
    do {
        int byte = pango_layout_iter_get_index(it);
        if (byte < 0 || byte >= static_cast<int>(charOfByte.size()))
            continue;
        PangoRectangle r;
        pango_layout_iter_get_char_extents(it, &r);
        rightEdges[charOfByte[byte]] = PANGO_PIXELS(std::max(r.x, r.x + r.width));
    } while (pango_layout_iter_next_char(it));
    pango_layout_iter_free(it);
    // Characters the iterator did not visit take no room.
    for (int i = 0; i < len; ++i)
        if (rightEdges[i] < 0)
            rightEdges[i] = i ? rightEdges[i - 1] : 0;
}

void SRenderTargetCairo::GetTextBoundaries(const wchar_t* text, int len, BYTE* flags) {
    if (!text || !flags)
        return;
    if (len < 0)
        len = static_cast<int>(std::wcslen(text));
    std::string utf8 = platform::WideToUtf8(std::wstring_view(text, static_cast<size_t>(len)));
    // One attribute per code point and one for the end; a surrogate pair's second unit is no
    // boundary.
    const std::vector<int> units = UnitOfCodePoint(text, len);
    std::vector<PangoLogAttr> attrs(units.size());
    pango_get_log_attrs(utf8.c_str(), static_cast<int>(utf8.size()), -1,
                        pango_language_from_string("zh-cn"), attrs.data(),
                        static_cast<int>(attrs.size()));
    std::fill(flags, flags + len + 1, BYTE(0));
    for (size_t k = 0; k < units.size(); ++k) {
        const PangoLogAttr& a = attrs[k];
        flags[units[k]] = static_cast<BYTE>((a.is_line_break ? kBoundLineBreak : 0) |
                                            (a.is_word_start ? kBoundWordStart : 0) |
                                            (a.is_word_end ? kBoundWordEnd : 0));
    }
}

void SRenderTargetCairo::PushClipRect(const CRect& rc) {
    cairo_save(m_pCr);
    cairo_rectangle(m_pCr, rc.left, rc.top, std::max(0, rc.Width()), std::max(0, rc.Height()));
    cairo_clip(m_pCr);
    ++m_nClipDepth;
}

void SRenderTargetCairo::PopClip() {
    if (m_nClipDepth == 0)
        return;  // unbalanced pop: ignore rather than corrupt the state
    cairo_restore(m_pCr);
    --m_nClipDepth;
}

bool SRenderTargetCairo::GetPixels(const BYTE** bits, int* stride) {
    if (!m_pSurface || m_size.cx <= 0 || m_size.cy <= 0)
        return false;
    cairo_surface_flush(m_pSurface);
    *bits = cairo_image_surface_get_data(m_pSurface);
    *stride = cairo_image_surface_get_stride(m_pSurface);
    return *bits != nullptr;
}

}  // namespace SOUI
