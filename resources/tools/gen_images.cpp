// Draws the installer's skin images and its icon with cairo, so that anyone can change
// and regenerate them:
//
//   cmake --build <build> --target qi_gen_images && <build>/resources/qi_gen_images resources
//
// writes resources/image/*.png and resources/icon/logo_48.png. The sizes and state counts
// must match values/skin.xml (the resource tests check them). No text is drawn into the
// images, so the output does not depend on the fonts of the machine.

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgba {
    double r, g, b, a;
};

constexpr Rgba Hex(uint32_t rgb, double a = 1.0) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, a};
}

// The product's palette: the dark teal of the window bands, the mint of its captions and
// a green for the primary actions.
constexpr Rgba kTeal = Hex(0x004445);
constexpr Rgba kMint = Hex(0x6fb98f);
constexpr Rgba kMintLight = Hex(0xa9e2c2);
constexpr Rgba kGreenDeep = Hex(0x1f7a58);
constexpr Rgba kAmber = Hex(0xf4c95d);
constexpr Rgba kWhite = Hex(0xffffff);

// Writes 8-bit RGBA rows as a PNG holding only IHDR, IDAT and IEND: no colour-space or gamma
// chunk, so that a reader takes the values as they are. libpng reports errors by longjmp: no
// object with a destructor may live in this function.
bool WriteRgbaPng(FILE* f, png_uint_32 w, png_uint_32 h, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);  // smallest for these flat images
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes the surface as an 8-bit RGBA PNG (colour type 6) whatever its content. cairo's own
// writer drops the alpha channel of opaque images, and the skin table promises RGBA.
bool WritePng(cairo_surface_t* s, const std::string& path) {
    cairo_surface_flush(s);
    int w = cairo_image_surface_get_width(s);
    int h = cairo_image_surface_get_height(s);
    int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    // cairo keeps premultiplied native-endian ARGB; PNG wants straight RGBA bytes.
    std::vector<unsigned char> rgba;
    rgba.reserve(static_cast<size_t>(h) * 4 * w);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            uint32_t p = row[x];
            unsigned a = p >> 24;
            auto un = [a](unsigned v) { return a == 0 ? 0u : (v * 255 + a / 2) / a; };
            rgba.push_back(static_cast<unsigned char>(un((p >> 16) & 0xff)));
            rgba.push_back(static_cast<unsigned char>(un((p >> 8) & 0xff)));
            rgba.push_back(static_cast<unsigned char>(un(p & 0xff)));
            rgba.push_back(static_cast<unsigned char>(a));
        }
    }
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[static_cast<size_t>(y)] = rgba.data() + static_cast<size_t>(y) * 4 * w;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok =
        WriteRgbaPng(f, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), rows.data());
    return std::fclose(f) == 0 && ok;
}

void Set(cairo_t* cr, Rgba c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
    cairo_close_path(cr);
}

void FillVertical(cairo_t* cr, double y0, double y1, Rgba top, Rgba bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// One image: a cairo surface of the given size, drawn by `draw` and written as 8-bit RGBA.
bool Write(const std::string& path, int w, int h, const std::function<void(cairo_t*)>& draw) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    bool ok = WritePng(s, path);
    cairo_surface_destroy(s);
    if (!ok)
        std::fprintf(stderr, "gen_images: cannot write %s\n", path.c_str());
    return ok;
}

// Draws `frames` state frames side by side, each through `frame(cr, index)` in its own
// coordinate space of fw x h.
void Strip(cairo_t* cr, int frames, int fw, const std::function<void(cairo_t*, int)>& frame) {
    for (int i = 0; i < frames; ++i) {
        cairo_save(cr);
        cairo_translate(cr, i * fw, 0);
        frame(cr, i);
        cairo_restore(cr);
    }
}

// A soft drop shadow: `edge` pixels that fade out around an inner rectangle, which is filled
// with `inner` (alpha 0 leaves it clear). `radius` rounds the inner rectangle.
void SoftShadow(cairo_surface_t* s, int edge, double radius, Rgba inner, double strength) {
    cairo_surface_flush(s);
    int w = cairo_image_surface_get_width(s);
    int h = cairo_image_surface_get_height(s);
    int stride = cairo_image_surface_get_stride(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Distance from the pixel centre to the rounded inner rectangle.
            double px = x + 0.5, py = y + 0.5;
            double l = edge + radius, t = edge + radius, r = w - edge - radius,
                   b = h - edge - radius;
            double dx = std::max({l - px, 0.0, px - r});
            double dy = std::max({t - py, 0.0, py - b});
            double d = std::sqrt(dx * dx + dy * dy) - radius;
            double a;
            Rgba c{0, 0.1, 0.12, 0};
            if (d <= 0) {
                c = inner;
                a = inner.a;
            } else {
                double k = std::clamp(1.0 - d / edge, 0.0, 1.0);
                a = strength * k * k;
            }
            auto* p = reinterpret_cast<uint32_t*>(data + y * stride) + x;
            auto ch = [&](double v) { return static_cast<uint32_t>(std::lround(v * a * 255)); };
            *p = (static_cast<uint32_t>(std::lround(a * 255)) << 24) | (ch(c.r) << 16) |
                 (ch(c.g) << 8) | ch(c.b);
        }
    }
    cairo_surface_mark_dirty(s);
}

bool WriteShadow(const std::string& path, int w, int h, int edge, double radius, Rgba inner) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    SoftShadow(s, edge, radius, inner, 0.28);
    bool ok = WritePng(s, path);
    cairo_surface_destroy(s);
    if (!ok)
        std::fprintf(stderr, "gen_images: cannot write %s\n", path.c_str());
    return ok;
}

// The product mark: a green rounded square holding a white page with a folded corner and a
// "Q" ring whose tail runs out over the page's edge. Drawn into a size x size square.
void Logo(cairo_t* cr, double size) {
    cairo_save(cr);
    cairo_scale(cr, size / 200.0, size / 200.0);
    // Tile with a diagonal gradient.
    RoundRect(cr, 12, 12, 176, 176, 40);
    cairo_pattern_t* g = cairo_pattern_create_linear(12, 12, 188, 188);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.54, 0.85, 0.66);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.13, 0.56, 0.40);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    // Soft shadow of the page.
    RoundRect(cr, 58, 40, 92, 124, 10);
    Set(cr, Hex(0x0b3b2b, 0.22));
    cairo_fill(cr);
    // The page with its top-right corner folded.
    double x = 54, y = 34, w = 92, h = 124, f = 26, r = 10;
    cairo_new_path(cr);
    cairo_move_to(cr, x + r, y);
    cairo_line_to(cr, x + w - f, y);
    cairo_line_to(cr, x + w, y + f);
    cairo_line_to(cr, x + w, y + h - r);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_line_to(cr, x + r, y + h);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_line_to(cr, x, y + r);
    cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
    cairo_close_path(cr);
    Set(cr, kWhite);
    cairo_fill(cr);
    cairo_move_to(cr, x + w - f, y);
    cairo_line_to(cr, x + w - f, y + f - 6);
    cairo_arc_negative(cr, x + w - f + 6, y + f - 6, 6, kPi, kPi / 2);
    cairo_line_to(cr, x + w, y + f);
    cairo_close_path(cr);
    Set(cr, kMintLight);
    cairo_fill(cr);
    // The "Q".
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, 100, 98, 27, 0, 2 * kPi);
    cairo_set_line_width(cr, 13);
    Set(cr, kGreenDeep);
    cairo_stroke(cr);
    cairo_move_to(cr, 113, 112);
    cairo_line_to(cr, 136, 136);
    cairo_set_line_width(cr, 14);
    Set(cr, kWhite);
    cairo_stroke(cr);
    cairo_move_to(cr, 113, 112);
    cairo_line_to(cr, 134, 134);
    cairo_set_line_width(cr, 11);
    Set(cr, kGreenDeep);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// A filled button face for the four states (normal, hover, pushed, disabled).
void ButtonFace(cairo_t* cr, double w, double h, int state, double radius) {
    struct Shade {
        Rgba top, bottom, rim;
    };
    const Shade shades[] = {
        {Hex(0x45c088), Hex(0x2e9e6a), Hex(0x278a5c)},  // normal
        {Hex(0x58d298), Hex(0x37b077), Hex(0x2e9a67)},  // hover: lighter
        {Hex(0x2a8f60), Hex(0x2f9a68), Hex(0x227551)},  // pushed: darker, light falls inward
        {Hex(0xc9d3cf), Hex(0xbcc7c2), Hex(0xb0bbb6)},  // disabled: grey
    };
    const Shade& s = shades[state];
    RoundRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    FillVertical(cr, 0, h, s.top, s.bottom);
    RoundRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    Set(cr, s.rim);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (state == 0 || state == 1) {
        // A thin highlight under the top edge.
        cairo_move_to(cr, radius, 1.5);
        cairo_line_to(cr, w - radius, 1.5);
        Set(cr, Hex(0xffffff, 0.28));
        cairo_stroke(cr);
    } else if (state == 2) {
        cairo_move_to(cr, radius, 1.5);
        cairo_line_to(cr, w - radius, 1.5);
        Set(cr, Hex(0x000000, 0.18));
        cairo_stroke(cr);
    }
}

// A light secondary button (white face, grey rim) for the four states.
void SecondaryFace(cairo_t* cr, double w, double h, int state, double radius) {
    const Rgba fills[] = {Hex(0xffffff), Hex(0xf5f8fa), Hex(0xe7ecf0), Hex(0xf3f4f5)};
    const Rgba rims[] = {Hex(0xcdd5db), Hex(0x9fb0b8), Hex(0x8fa1aa), Hex(0xe0e4e7)};
    RoundRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    Set(cr, fills[state]);
    cairo_fill_preserve(cr);
    Set(cr, rims[state]);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// Title-bar glyph buttons: 0 normal, 1 hover, 2 pushed. The normal glyph is a mid grey so
// that it reads on the dark bands and on the white licence page alike.
void TitleButton(cairo_t* cr, int state, bool close) {
    if (state > 0) {
        Rgba bg = close ? (state == 1 ? Hex(0xe5484d) : Hex(0xc2353a))
                        : (state == 1 ? Hex(0x7f9096, 0.45) : Hex(0x56676d, 0.6));
        RoundRect(cr, 2, 2, 26, 26, 5);
        Set(cr, bg);
        cairo_fill(cr);
    }
    Set(cr, state == 0 ? Hex(0xa3b3b8) : kWhite);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    if (close) {
        cairo_move_to(cr, 10, 10);
        cairo_line_to(cr, 20, 20);
        cairo_move_to(cr, 20, 10);
        cairo_line_to(cr, 10, 20);
    } else {
        cairo_move_to(cr, 9.5, 15.5);
        cairo_line_to(cr, 20.5, 15.5);
    }
    cairo_stroke(cr);
}

// Check box frames: 0-3 unticked (normal, hover, pushed, disabled), 4-7 ticked.
void CheckFrame(cairo_t* cr, int i) {
    bool ticked = i >= 4;
    int state = i % 4;
    RoundRect(cr, 4.5, 4.5, 15, 15, 3);
    if (ticked) {
        const Rgba fills[] = {Hex(0x2fa56f), Hex(0x3dbb80), Hex(0x25885b), Hex(0xbcc7c2)};
        Set(cr, fills[state]);
        cairo_fill_preserve(cr);
        Set(cr, state == 3 ? Hex(0xb0bbb6) : Hex(0x25885b));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        cairo_move_to(cr, 8, 12.3);
        cairo_line_to(cr, 10.8, 15.2);
        cairo_line_to(cr, 16.2, 9);
        Set(cr, kWhite);
        cairo_set_line_width(cr, 2);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke(cr);
    } else {
        const Rgba fills[] = {kWhite, kWhite, Hex(0xe6f4ec), Hex(0xf0f2f3)};
        const Rgba rims[] = {Hex(0xaab5bd), Hex(0x2fa56f), Hex(0x25885b), Hex(0xd3d8dc)};
        Set(cr, fills[state]);
        cairo_fill_preserve(cr);
        Set(cr, rims[state]);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
}

void Chevron(cairo_t* cr, bool down) {
    Set(cr, Hex(0x6a7574));
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    double y0 = down ? 8 : 12.5, y1 = down ? 12.5 : 8;
    cairo_move_to(cr, 5.5, y0);
    cairo_line_to(cr, 10, y1);
    cairo_line_to(cr, 14.5, y0);
    cairo_stroke(cr);
}

// The backdrop shared by the slides: a faint disc with a ring, centred in 223 x 165.
void SlideBackdrop(cairo_t* cr) {
    cairo_arc(cr, 111.5, 82.5, 78, 0, 2 * kPi);
    Set(cr, Hex(0xffffff, 0.06));
    cairo_fill(cr);
    cairo_arc(cr, 111.5, 82.5, 78, 0, 2 * kPi);
    Set(cr, Hex(0x6fb98f, 0.35));
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    // A few sparks around the disc.
    const double sparks[][3] = {{26, 36, 3}, {200, 30, 2.5}, {196, 132, 3.5}, {34, 128, 2}};
    for (const auto& s : sparks) {
        cairo_arc(cr, s[0], s[1], s[2], 0, 2 * kPi);
        Set(cr, Hex(0xa9e2c2, 0.7));
        cairo_fill(cr);
    }
}

void TextLines(cairo_t* cr, double x, double y, double w, int n, double gap, Rgba c) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 4);
    Set(cr, c);
    for (int i = 0; i < n; ++i) {
        double len = (i == n - 1) ? w * 0.6 : w;
        cairo_move_to(cr, x, y + i * gap);
        cairo_line_to(cr, x + len, y + i * gap);
    }
    cairo_stroke(cr);
}

// Slide 1, smart recognition of files: a page under a magnifier with a scan line.
void Slide1(cairo_t* cr) {
    SlideBackdrop(cr);
    RoundRect(cr, 70, 26, 78, 104, 8);
    Set(cr, kWhite);
    cairo_fill(cr);
    RoundRect(cr, 80, 38, 26, 20, 3);
    Set(cr, kMintLight);
    cairo_fill(cr);
    TextLines(cr, 112, 42, 26, 2, 10, Hex(0xbfd3ca));
    TextLines(cr, 80, 72, 58, 5, 11, Hex(0xbfd3ca));
    // The scan line with its glow.
    RoundRect(cr, 64, 84, 90, 4, 2);
    Set(cr, Hex(0x6fb98f, 0.9));
    cairo_fill(cr);
    RoundRect(cr, 70, 76, 78, 8, 0);
    FillVertical(cr, 76, 84, Hex(0x6fb98f, 0.0), Hex(0x6fb98f, 0.35));
    // The magnifier.
    cairo_arc(cr, 146, 106, 20, 0, 2 * kPi);
    Set(cr, Hex(0xf4fbf7));
    cairo_fill_preserve(cr);
    Set(cr, kAmber);
    cairo_set_line_width(cr, 6);
    cairo_stroke(cr);
    cairo_move_to(cr, 160, 120);
    cairo_line_to(cr, 174, 134);
    cairo_set_line_width(cr, 9);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
    // A tick inside the lens: recognised.
    cairo_move_to(cr, 137.5, 106);
    cairo_line_to(cr, 143.5, 112);
    cairo_line_to(cr, 154.5, 99.5);
    Set(cr, Hex(0x2fa56f));
    cairo_set_line_width(cr, 4);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// Slide 2, customer service around the clock: two chat bubbles and a clock.
void Slide2(cairo_t* cr) {
    SlideBackdrop(cr);
    // Back bubble (the customer).
    RoundRect(cr, 104, 34, 76, 48, 12);
    Set(cr, kMint);
    cairo_fill(cr);
    cairo_move_to(cr, 160, 80);
    cairo_line_to(cr, 172, 94);
    cairo_line_to(cr, 146, 80);
    cairo_close_path(cr);
    cairo_fill(cr);
    TextLines(cr, 116, 50, 52, 2, 12, Hex(0xffffff, 0.85));
    // Front bubble (the service) with typing dots.
    RoundRect(cr, 44, 66, 92, 56, 14);
    Set(cr, kWhite);
    cairo_fill(cr);
    cairo_move_to(cr, 62, 120);
    cairo_line_to(cr, 54, 138);
    cairo_line_to(cr, 82, 120);
    cairo_close_path(cr);
    cairo_fill(cr);
    for (int i = 0; i < 3; ++i) {
        cairo_arc(cr, 72 + i * 18, 94, 6, 0, 2 * kPi);
        Set(cr, i == 1 ? kMint : Hex(0x9fd6b8));
        cairo_fill(cr);
    }
    // The clock badge.
    cairo_arc(cr, 58, 50, 22, 0, 2 * kPi);
    Set(cr, kAmber);
    cairo_fill(cr);
    cairo_arc(cr, 58, 50, 16, 0, 2 * kPi);
    Set(cr, Hex(0xfff6dc));
    cairo_fill(cr);
    cairo_move_to(cr, 58, 50);
    cairo_line_to(cr, 58, 40);
    cairo_move_to(cr, 58, 50);
    cairo_line_to(cr, 66, 54);
    Set(cr, Hex(0x7a5a10));
    cairo_set_line_width(cr, 3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
}

void Gear(cairo_t* cr, double cx, double cy, double r, int teeth, Rgba c, double hole) {
    double tooth = r * 0.22;
    cairo_new_path(cr);
    for (int i = 0; i < teeth; ++i) {
        double a0 = 2 * kPi * i / teeth;
        double step = 2 * kPi / teeth;
        double a[4] = {a0, a0 + step * 0.18, a0 + step * 0.5, a0 + step * 0.68};
        double rr[4] = {r, r + tooth, r + tooth, r};
        for (int k = 0; k < 4; ++k) {
            double x = cx + rr[k] * std::cos(a[k]), y = cy + rr[k] * std::sin(a[k]);
            if (i == 0 && k == 0)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
        }
    }
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc_negative(cr, cx, cy, hole, 2 * kPi, 0);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    Set(cr, c);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

// Slide 3, a professional team building with care: meshing gears and a code badge.
void Slide3(cairo_t* cr) {
    SlideBackdrop(cr);
    Gear(cr, 96, 90, 36, 10, kMint, 14);
    Gear(cr, 152, 48, 22, 8, kWhite, 8);
    // The code badge.
    RoundRect(cr, 124, 96, 56, 40, 8);
    Set(cr, kAmber);
    cairo_fill(cr);
    Set(cr, Hex(0x5b4208));
    cairo_set_line_width(cr, 3.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 140, 108);
    cairo_line_to(cr, 133, 116);
    cairo_line_to(cr, 140, 124);
    cairo_move_to(cr, 164, 108);
    cairo_line_to(cr, 171, 116);
    cairo_line_to(cr, 164, 124);
    cairo_move_to(cr, 155, 106);
    cairo_line_to(cr, 149, 126);
    cairo_stroke(cr);
}

// The scroll-bar strip as the library reads it: 9 columns x 3 rows of 16 x 16 cells. Rows
// are the states normal, hover, pushed; columns are the up, down, left and right arrows,
// the vertical and horizontal thumbs, the vertical and horizontal rails and the corner.
void ScrollbarCell(cairo_t* cr, int col, int state) {
    const Rgba glyph[] = {Hex(0x8d9ba3), Hex(0x5f6f78), Hex(0x46555d)};
    const Rgba thumb[] = {Hex(0xc3cdd3), Hex(0xa3b1b9), Hex(0x8797a1)};
    const Rgba rail[] = {Hex(0xe6ecf0, 0.0), Hex(0xe6ecf0, 0.7), Hex(0xdce4ea, 0.8)};
    if (col <= 3) {
        if (state > 0) {
            RoundRect(cr, 1, 1, 14, 14, 3);
            Set(cr, Hex(0xdce4ea, state == 1 ? 0.7 : 1.0));
            cairo_fill(cr);
        }
        // A small filled triangle pointing up, down, left or right.
        cairo_save(cr);
        cairo_translate(cr, 8, 8);
        cairo_rotate(cr, (col == 0 ? 0 : col == 1 ? 2 : col == 2 ? 3 : 1) * kPi / 2);
        cairo_move_to(cr, 0, -2.5);
        cairo_line_to(cr, 4, 2);
        cairo_line_to(cr, -4, 2);
        cairo_close_path(cr);
        cairo_restore(cr);
        Set(cr, glyph[state]);
        cairo_fill(cr);
    } else if (col == 4 || col == 5) {
        if (col == 4)
            RoundRect(cr, 4.5, 0.5, 7, 15, 3.5);
        else
            RoundRect(cr, 0.5, 4.5, 15, 7, 3.5);
        Set(cr, thumb[state]);
        cairo_fill(cr);
    } else if (col == 6 || col == 7) {
        cairo_rectangle(cr, 0, 0, 16, 16);
        Set(cr, rail[state]);
        cairo_fill(cr);
    }
    // Column 8, the corner, stays clear.
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = argc > 1 ? argv[1] : "resources";
    std::string img = root + "/image/";
    bool ok = true;

    ok &= Write(img + "btn_minimize.png", 90, 30, [](cairo_t* cr) {
        Strip(cr, 3, 30, [](cairo_t* c, int i) { TitleButton(c, i, false); });
    });
    ok &= Write(img + "btn_close.png", 90, 30, [](cairo_t* cr) {
        Strip(cr, 3, 30, [](cairo_t* c, int i) { TitleButton(c, i, true); });
    });
    ok &= WriteShadow(img + "shadow.png", 210, 143, 5, 0, kWhite);
    ok &= Write(img + "logo.png", 200, 200, [](cairo_t* cr) { Logo(cr, 200); });
    ok &= Write(img + "btn.png", 512, 32, [](cairo_t* cr) {
        Strip(cr, 4, 128, [](cairo_t* c, int i) { ButtonFace(c, 128, 32, i, 4); });
    });
    ok &= Write(img + "slide_1.png", 223, 165, Slide1);
    ok &= Write(img + "slide_2.png", 223, 165, Slide2);
    ok &= Write(img + "slide_3.png", 223, 165, Slide3);
    ok &= Write(img + "progress.png", 10, 10, [](cairo_t* cr) {
        RoundRect(cr, 0, 0, 10, 10, 3);
        FillVertical(cr, 0, 10, Hex(0x8be0b0), Hex(0x4fb884));
    });
    ok &= Write(img + "progress_bgk.png", 10, 10, [](cairo_t* cr) {
        RoundRect(cr, 0, 0, 10, 10, 3);
        Set(cr, Hex(0xffffff, 0.16));
        cairo_fill(cr);
    });
    ok &= Write(img + "scrollbar.png", 144, 48, [](cairo_t* cr) {
        for (int state = 0; state < 3; ++state) {
            for (int col = 0; col < 9; ++col) {
                cairo_save(cr);
                cairo_translate(cr, col * 16, state * 16);
                ScrollbarCell(cr, col, state);
                cairo_restore(cr);
            }
        }
    });
    ok &= Write(img + "check.png", 192, 24, [](cairo_t* cr) { Strip(cr, 8, 24, CheckFrame); });
    // A clear strip: the background of controls that only draw their text and icon.
    ok &= Write(img + "transparent.png", 30, 10, [](cairo_t*) {});
    // Flat faces: the strip is stretched to any button size, so it carries no rim.
    ok &= Write(img + "white_btn.png", 30, 10, [](cairo_t* cr) {
        const Rgba fills[] = {Hex(0xffffff), Hex(0xeaf1f6), Hex(0xdbe5ee)};
        for (int i = 0; i < 3; ++i) {
            cairo_rectangle(cr, i * 10, 0, 10, 10);
            Set(cr, fills[i]);
            cairo_fill(cr);
        }
    });
    ok &= Write(img + "extend.png", 20, 20, [](cairo_t* cr) { Chevron(cr, true); });
    ok &= Write(img + "shrink.png", 20, 20, [](cairo_t* cr) { Chevron(cr, false); });
    ok &= Write(img + "btn_ok.png", 384, 32, [](cairo_t* cr) {
        Strip(cr, 4, 96, [](cairo_t* c, int i) { ButtonFace(c, 96, 32, i, 4); });
    });
    ok &= Write(img + "btn_cancel.png", 384, 32, [](cairo_t* cr) {
        Strip(cr, 4, 96, [](cairo_t* c, int i) { SecondaryFace(c, 96, 32, i, 4); });
    });
    ok &= WriteShadow(img + "rc_shadow.png", 410, 250, 5, 4, Rgba{1, 1, 1, 0});
    ok &= Write(img + "rc_bgk.png", 400, 240, [](cairo_t* cr) {
        RoundRect(cr, 0.5, 0.5, 399, 239, 4);
        Set(cr, kWhite);
        cairo_fill_preserve(cr);
        Set(cr, Hex(0xdde3e8));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    });
    ok &= Write(root + "/icon/logo_48.png", 48, 48, [](cairo_t* cr) {
        // At icon size the tile fills the square; the page and letter stay legible.
        cairo_translate(cr, -2.9, -2.9);
        Logo(cr, 53.8);
    });
    (void)kTeal;
    return ok ? 0 : 1;
}
