#pragma once
// Render interfaces. They are deliberately small so that a test can implement
// IRenderTarget and record every draw call. The cairo/pango implementation lives in the
// render-cairo component; PNG decoding in imgdecoder-png.
//
// Coordinates are pixels of the host window's client area (logical pixels). A target
// with a scale above 1 (a HiDPI window) holds scale x scale device pixels per logical
// pixel and draws text, lines and images at that resolution. Bitmaps are 32-bit
// premultiplied BGRA (cairo's ARGB32 on little-endian machines).

#include <string>

#include "uilib/SDefs.h"
#include "uilib/SObject.h"

namespace SOUI {

// What a font is made of; parsed from descriptors such as "face:宋体,size:15,bold:1".
struct FontDesc {
    std::wstring face;
    int size = 15;  // pixel height of the em square
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const FontDesc&) const = default;
};

struct IFontS : public IObject {
    virtual const FontDesc& GetDesc() const = 0;
};

struct IBitmapS : public IObject {
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int Stride() const = 0;
    // Premultiplied BGRA rows; null for an empty bitmap.
    virtual const BYTE* GetPixelBits() const = 0;
};

struct IRenderFactory;

// The largest device scale a render target takes (4 x 4 pixels per logical pixel).
constexpr int kMaxRenderScale = 4;

// Bits of IRenderTarget::GetTextBoundaries for a position in a text.
enum STextBoundary : BYTE {
    kBoundLineBreak = 0x01,  // a line may start here
    kBoundWordStart = 0x02,
    kBoundWordEnd = 0x04,
};

struct IRenderTarget : public IObject {
    virtual IRenderFactory* GetRenderFactory() = 0;
    // The size in logical pixels.
    virtual CSize GetSize() const = 0;
    // Resizes and clears to transparent.
    virtual void Resize(CSize size) = 0;
    // Device pixels per logical pixel, 1 to kMaxRenderScale.
    virtual int GetScale() const = 0;
    // Changes the scale (clamped to 1..kMaxRenderScale); the pixels are reallocated and
    // cleared when it changes. The size in logical pixels stays.
    virtual void SetScale(int scale) = 0;
    // Font and text colour for the text operations. SelectFont returns the previous font
    // (not a new reference); the target keeps its own reference to the selected one.
    virtual IFontS* SelectFont(IFontS* font) = 0;
    virtual IFontS* GetCurrentFont() = 0;
    virtual COLORREF SetTextColor(COLORREF color) = 0;
    virtual COLORREF GetTextColor() const = 0;

    virtual void FillSolidRect(const CRect& rc, COLORREF color) = 0;
    // Outline one pixel wide inside rc.
    virtual void DrawRectangle(const CRect& rc, COLORREF color) = 0;
    // Stretches the src part of the bitmap into dst, with a constant alpha.
    virtual void DrawBitmap(const CRect& dst, IBitmapS* bmp, const CRect& src, BYTE alpha) = 0;
    // Text in a rectangle with DT_* formats; with DT_CALCRECT it only measures and
    // returns the height, setting rc's right and bottom to the text's extent.
    virtual int DrawText(const wchar_t* text, int len, CRect* rc, UINT format) = 0;
    // Text with its top-left corner at (x, y), no clipping or alignment.
    virtual void TextOut(int x, int y, const wchar_t* text, int len) = 0;
    // Size of one line of text in the current font (len -1: up to the terminator).
    virtual CSize MeasureText(const wchar_t* text, int len) = 0;
    // The right edge of each character of one line of text in the current font, in pixels
    // from the start of the text (len entries), so that callers can lay out, hit-test and
    // highlight parts of a measured run without measuring each part again.
    virtual void MeasureCharEdges(const wchar_t* text, int len, int* rightEdges) = 0;
    // Boundaries of a paragraph by the Unicode rules: flags gets len + 1 entries of
    // STextBoundary bits, entry i describing the position before text[i].
    virtual void GetTextBoundaries(const wchar_t* text, int len, BYTE* flags) = 0;

    virtual void PushClipRect(const CRect& rc) = 0;
    virtual void PopClip() = 0;

    // The pixels of a memory target (premultiplied BGRA), GetSize() x GetScale() device
    // pixels; false when it has none.
    virtual bool GetPixels(const BYTE** bits, int* stride) = 0;
};

// A decoded image from the image decoder.
struct IImgDecoderFactory : public IObject {
    // Decodes PNG bytes into a premultiplied BGRA bitmap; false on bad data.
    virtual bool DecodeImage(const void* data, size_t size, int* width, int* height,
                             std::basic_string<BYTE>* pixels) = 0;
    // Writes premultiplied BGRA rows as an RGBA PNG file (path in UTF-8).
    virtual bool SaveImage(const BYTE* bits, int width, int height, int stride,
                           const char* utf8Path) = 0;
};

struct IRenderFactory : public IObject {
    virtual void SetImgDecoderFactory(IImgDecoderFactory* decoder) = 0;
    virtual IImgDecoderFactory* GetImgDecoderFactory() = 0;
    // Each Create... hands over one reference.
    virtual bool CreateRenderTarget(IRenderTarget** ppRT, int width, int height) = 0;
    virtual bool CreateFont(IFontS** ppFont, const FontDesc& desc) = 0;
    virtual bool CreateBitmap(IBitmapS** ppBmp, int width, int height, const BYTE* bgraBits,
                              int stride) = 0;
    // Decodes image bytes through the image decoder.
    virtual bool CreateBitmapFromMemory(IBitmapS** ppBmp, const void* data, size_t size) = 0;
};

// The entry point every component module exports under the name "SCreateInstance";
// it hands over one reference to the component object (an IRenderFactory,
// IImgDecoderFactory or ITranslatorMgr, by module).
extern "C" {
typedef bool (*FunSCreateInstance)(IObject** ppObj);
}

}  // namespace SOUI
