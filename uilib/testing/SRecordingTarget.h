#pragma once
// Test doubles of the render interfaces: a target that records what is drawn on it and a
// factory whose text measures 12 pixels per character and 20 high, so that expected
// positions can be worked out by hand.

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <ostream>
#include <string>
#include <vector>

#include "uilib/SRender.h"

namespace uitest {
using namespace SOUI;

// One draw in the order it happened. Skins under test add their own Skin entries.
struct DrawCall {
    enum Kind { Skin, Text, Bitmap, Fill } kind;
    std::wstring what;  // skin name or text
    CRect rc;           // skin or bitmap rectangle; for text its top-left in left/top
    int frame = -1;
    int alpha = -1;
};
using CallLog = std::vector<DrawCall>;

// A bitmap draw with its source rectangle, for the skin tests.
struct BitmapDraw {
    CRect dst;
    CRect src;
    int alpha;
};

class SFakeFont : public SObjectImpl<IFontS> {
public:
    explicit SFakeFont(const FontDesc& desc) : m_desc(desc) {}
    const FontDesc& GetDesc() const override { return m_desc; }

private:
    FontDesc m_desc;
};

class SFakeBitmap : public SObjectImpl<IBitmapS> {
public:
    SFakeBitmap(int w, int h) : m_w(w), m_h(h) {}
    int Width() const override { return m_w; }
    int Height() const override { return m_h; }
    int Stride() const override { return m_w * 4; }
    const BYTE* GetPixelBits() const override { return nullptr; }

private:
    int m_w, m_h;
};

// Bitmap draws always land in `draws`; with a log, every draw is logged there too.
class SRecordingTarget : public SObjectImpl<IRenderTarget> {
public:
    SRecordingTarget() = default;
    SRecordingTarget(IRenderFactory* factory, CallLog* log) : m_factory(factory), m_log(log) {}
    ~SRecordingTarget() override {
        if (m_font != nullptr)
            m_font->Release();
    }

    std::vector<BitmapDraw> draws;

    IRenderFactory* GetRenderFactory() override { return m_factory; }
    CSize GetSize() const override { return {0, 0}; }
    void Resize(CSize) override {}
    int GetScale() const override { return 1; }
    void SetScale(int) override {}
    IFontS* SelectFont(IFontS* font) override {
        IFontS* old = m_font;
        if (font != nullptr)
            font->AddRef();
        m_font = font;
        if (old != nullptr)
            old->Release();
        return old;
    }
    IFontS* GetCurrentFont() override { return m_font; }
    COLORREF SetTextColor(COLORREF color) override {
        COLORREF old = m_color;
        m_color = color;
        return old;
    }
    COLORREF GetTextColor() const override { return m_color; }
    void FillSolidRect(const CRect& rc, COLORREF) override {
        if (m_log)
            m_log->push_back({DrawCall::Fill, L"", rc});
    }
    void DrawRectangle(const CRect&, COLORREF) override {}
    void DrawBitmap(const CRect& dst, IBitmapS*, const CRect& src, BYTE alpha) override {
        draws.push_back({dst, src, alpha});
        if (m_log)
            m_log->push_back({DrawCall::Bitmap, L"", dst, -1, alpha});
    }
    // Measures like the real target: with DT_WORDBREAK the text wraps (at any character)
    // within rc's width.
    int DrawText(const wchar_t* text, int len, CRect* rc, UINT format) override {
        if (len < 0)
            len = static_cast<int>(std::wcslen(text));
        int perLine = len;
        if ((format & DT_WORDBREAK) && rc->Width() > 0)
            perLine = std::max(1, rc->Width() / 12);
        int lines = perLine > 0 ? (len + perLine - 1) / perLine : 1;
        rc->right = rc->left + 12 * std::min(len, perLine);
        rc->bottom = rc->top + 20 * std::max(lines, 1);
        if (m_log && !(format & DT_CALCRECT)) {
            m_log->push_back({DrawCall::Text, std::wstring(text, len), *rc});
        }
        return rc->Height();
    }
    void TextOut(int x, int y, const wchar_t* text, int len) override {
        if (m_log)
            m_log->push_back({DrawCall::Text, std::wstring(text, len), CRect(x, y, x, y)});
    }
    CSize MeasureText(const wchar_t* text, int len) override {
        if (len < 0)
            len = static_cast<int>(std::wcslen(text));
        return {12 * len, 20};
    }
    void MeasureCharEdges(const wchar_t*, int len, int* rightEdges) override {
        for (int i = 0; i < len; ++i)
            rightEdges[i] = 12 * (i + 1);
    }
    // Simpler than the Unicode rules: a line may start after a space or next to a
    // character outside Latin; words are runs of letters and digits.
    void GetTextBoundaries(const wchar_t* text, int len, BYTE* flags) override {
        auto word = [&](int i) { return i >= 0 && i < len && std::iswalnum(text[i]) != 0; };
        for (int i = 0; i <= len; ++i) {
            bool wide = i < len && text[i] >= 0x2E80;
            bool afterWide = i > 0 && text[i - 1] >= 0x2E80;
            bool afterSpace = i > 0 && text[i - 1] == L' ';
            flags[i] = static_cast<BYTE>(
                ((i > 0 && i < len && (afterSpace || wide || afterWide)) ? kBoundLineBreak : 0) |
                (word(i) && !word(i - 1) ? kBoundWordStart : 0) |
                (word(i - 1) && !word(i) ? kBoundWordEnd : 0));
        }
    }
    void PushClipRect(const CRect&) override {}
    void PopClip() override {}
    bool GetPixels(const BYTE**, int*) override { return false; }

private:
    IRenderFactory* m_factory = nullptr;
    CallLog* m_log = nullptr;
    IFontS* m_font = nullptr;
    COLORREF m_color = 0;
};

// Targets made by the factory (a control's own measuring target) record nothing.
class SRecordingFactory : public SObjectImpl<IRenderFactory> {
public:
    void SetImgDecoderFactory(IImgDecoderFactory*) override {}
    IImgDecoderFactory* GetImgDecoderFactory() override { return nullptr; }
    bool CreateRenderTarget(IRenderTarget** ppRT, int, int) override {
        *ppRT = new SRecordingTarget(this, nullptr);
        ++m_nTargets;
        return true;
    }
    bool CreateFont(IFontS** ppFont, const FontDesc& desc) override {
        *ppFont = new SFakeFont(desc);
        return true;
    }
    bool CreateBitmap(IBitmapS** ppBmp, int w, int h, const BYTE*, int) override {
        *ppBmp = new SFakeBitmap(w, h);
        return true;
    }
    bool CreateBitmapFromMemory(IBitmapS**, const void*, size_t) override { return false; }
    int m_nTargets = 0;
};

}  // namespace uitest

namespace SOUI {
// Readable rectangles and points in test failures.
inline void PrintTo(const CRect& rc, std::ostream* os) {
    *os << "(" << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom << ")";
}
inline void PrintTo(const CPoint& pt, std::ostream* os) {
    *os << "(" << pt.x << "," << pt.y << ")";
}
inline void PrintTo(const CSize& sz, std::ostream* os) {
    *os << sz.cx << "x" << sz.cy;
}
}  // namespace SOUI
