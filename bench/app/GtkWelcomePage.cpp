// The installer's welcome page written the plain GTK 3 way, the native peer app_bench.sh sets
// beside it: the same 640 x 400 undecorated window and title, the same skin PNGs of resources/
// (decoded with GdkPixbuf at start, QI_RESOURCE_DIR), the same texts and font, in stock
// widgets on a GtkFixed at the layout's positions, styled with CSS. Nothing but the close
// button does anything; it, SIGTERM and SIGINT end the program.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
// The layout's client area lies inside the shadow frame, 3 pixels in at left, top and right
// and 5 at the bottom; the teal band holds its upper 254 pixels.
constexpr int kInset = 3;
constexpr int kBand = 254;

// The installer maps the layouts' 微软雅黑 to this family on Linux; sizes are in pixels there.
constexpr char kCss[] = R"(
* { font-family: "WenQuanYi Micro Hei"; }
#page { background-color: #ffffff; }
#band { background-color: #004445; }
#title { color: #6fb98f; font-size: 24px; }
.skinned, .skinned:hover, .skinned:active, .skinned:checked {
  background: none; border: none; box-shadow: none; outline: none;
  padding: 0; margin: 0; min-width: 0; min-height: 0;
}
#install label { color: #ffffff; font-size: 24px; }
#agree label { color: #383838; font-size: 14px; }
#licence label { color: #ff0000; font-size: 16px; text-decoration-line: none; }
#licence:hover label { text-decoration-line: underline; }
#extend label { color: #6a7574; font-size: 16px; }
)";

struct Skins {
    GdkPixbuf* shadow = nullptr;
    GdkPixbuf* logo = nullptr;
    GdkPixbuf* btn = nullptr;
    GdkPixbuf* check = nullptr;
    GdkPixbuf* extend = nullptr;
    GdkPixbuf* minimize = nullptr;
    GdkPixbuf* close = nullptr;
};

GdkPixbuf* Load(const char* file) {
    std::string path = std::string(QI_RESOURCE_DIR) + "/" + file;
    GError* error = nullptr;
    GdkPixbuf* pb = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (pb == nullptr) {
        std::fprintf(stderr, "bench_gtk_welcome: %s\n", error->message);
        g_error_free(error);
    }
    return pb;
}

// Frame STATE of a horizontal strip of STATES, stretched to W x H with EDGE pixels kept
// unscaled at each side, as the installer's skins draw it (EDGE 0 stretches the whole frame).
GdkPixbuf* Frame(GdkPixbuf* strip, int states, int state, int w, int h, int edge = 0) {
    const int fw = gdk_pixbuf_get_width(strip) / states, fh = gdk_pixbuf_get_height(strip);
    const int sx[] = {0, edge, fw - edge, fw}, sy[] = {0, edge, fh - edge, fh};
    const int dx[] = {0, edge, w - edge, w}, dy[] = {0, edge, h - edge, h};
    GdkPixbuf* out = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, w, h);
    gdk_pixbuf_fill(out, 0);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int dw = dx[i + 1] - dx[i], dh = dy[j + 1] - dy[j];
            if (dw <= 0 || dh <= 0 || sx[i + 1] <= sx[i] || sy[j + 1] <= sy[j])
                continue;
            const double cx = double(dw) / (sx[i + 1] - sx[i]);
            const double cy = double(dh) / (sy[j + 1] - sy[j]);
            gdk_pixbuf_scale(strip, out, dx[i], dy[j], dw, dh, dx[i] - (state * fw + sx[i]) * cx,
                             dy[j] - sy[j] * cy, cx, cy, GDK_INTERP_BILINEAR);
        }
    }
    return out;
}

// An image widget that owns nothing more than its pixbuf.
GtkWidget* Image(GdkPixbuf* pb) {
    GtkWidget* image = gtk_image_new_from_pixbuf(pb);
    g_object_unref(pb);
    return image;
}

GtkWidget* Put(GtkWidget* fixed, GtkWidget* w, int x, int y, int width, int height,
               const char* name = nullptr) {
    if (name != nullptr)
        gtk_widget_set_name(w, name);
    gtk_widget_set_size_request(w, width, height);
    gtk_fixed_put(GTK_FIXED(fixed), w, x, y);
    return w;
}

// A button that shows only its skin: the theme's frame, padding and hover fill are removed.
GtkWidget* SkinnedButton(GtkWidget* button) {
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_widget_set_focus_on_click(button, FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "skinned");
    return button;
}

GtkWidget* ImageButton(GdkPixbuf* strip, int states) {
    GtkWidget* button = SkinnedButton(gtk_button_new());
    gtk_container_add(GTK_CONTAINER(button), Image(Frame(strip, states, 0, 30, 30)));
    return button;
}

void OnAgreeToggled(GtkToggleButton* button, gpointer data) {
    auto* check = static_cast<GdkPixbuf*>(data);
    const int frame = gtk_toggle_button_get_active(button) ? 4 : 0;  // checked frames follow
    gtk_button_set_image(GTK_BUTTON(button), Image(Frame(check, 8, frame, 24, 24)));
}

gboolean OnSignal(gpointer) {
    gtk_main_quit();
    return G_SOURCE_CONTINUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer) {
    gtk_main_quit();
    return TRUE;  // destroyed after the loop
}

void Build(GtkWidget* window, const Skins& s) {
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);

    // Background: the shadow frame, the white page and the teal band above.
    Put(fixed, Image(Frame(s.shadow, 1, 0, kWidth, kHeight, 5)), 0, 0, kWidth, kHeight);
    Put(fixed, gtk_box_new(GTK_ORIENTATION_VERTICAL, 0), kInset, kInset, kWidth - 2 * kInset,
        kHeight - kInset - 5, "page");
    Put(fixed, gtk_box_new(GTK_ORIENTATION_VERTICAL, 0), kInset, kInset, kWidth - 2 * kInset, kBand,
        "band");
    const int cx = kWidth / 2, low = kInset + kBand;

    Put(fixed, Image(Frame(s.logo, 1, 0, 103, 97)), kInset + 269, kInset + 49, 103, 97);
    Put(fixed, gtk_label_new("Quillora转Word"), cx - 150, kInset + 192, 300, 24, "title");

    // The install button: its skin under a bare button of the same size.
    Put(fixed, Image(Frame(s.btn, 4, 0, 240, 40, 5)), cx - 120, low + 32, 240, 40);
    Put(fixed, SkinnedButton(gtk_button_new_with_label("立即安装")), cx - 120, low + 32, 240, 40,
        "install");

    GtkWidget* agree = SkinnedButton(gtk_check_button_new_with_label("已阅读和同意"));
    gtk_toggle_button_set_mode(GTK_TOGGLE_BUTTON(agree), FALSE);  // the skin is the box
    gtk_button_set_always_show_image(GTK_BUTTON(agree), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(agree), TRUE);
    OnAgreeToggled(GTK_TOGGLE_BUTTON(agree), s.check);
    g_signal_connect(agree, "toggled", G_CALLBACK(OnAgreeToggled), s.check);
    Put(fixed, agree, kInset + 16, low + 104, 115, 24, "agree");

    GtkWidget* licence = gtk_link_button_new_with_label("about:blank", "《用户协议》");
    g_signal_connect(licence, "activate-link", G_CALLBACK(gtk_true), nullptr);
    Put(fixed, SkinnedButton(licence), kInset + 131, low + 104, 94, 24, "licence");

    GtkWidget* extend = SkinnedButton(gtk_button_new_with_label("自定义安装"));
    gtk_button_set_image(GTK_BUTTON(extend), Image(Frame(s.extend, 1, 0, 20, 20)));
    gtk_button_set_image_position(GTK_BUTTON(extend), GTK_POS_RIGHT);
    gtk_button_set_always_show_image(GTK_BUTTON(extend), TRUE);
    Put(fixed, extend, kInset + 512, low + 103, 110, 20, "extend");

    Put(fixed, ImageButton(s.minimize, 3), kWidth - kInset - 70, kInset + 10, 30, 30);
    GtkWidget* close =
        Put(fixed, ImageButton(s.close, 3), kWidth - kInset - 40, kInset + 10, 30, 30);
    g_signal_connect(close, "clicked", G_CALLBACK(gtk_main_quit), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(&argc, &argv))
        return 2;

    Skins s;
    s.shadow = Load("image/shadow.png");
    s.logo = Load("image/logo.png");
    s.btn = Load("image/btn.png");
    s.check = Load("image/check.png");
    s.extend = Load("image/extend.png");
    s.minimize = Load("image/btn_minimize.png");
    s.close = Load("image/btn_close.png");
    GdkPixbuf* icon = Load("icon/logo_48.png");
    GdkPixbuf* all[] = {s.shadow, s.logo, s.btn, s.check, s.extend, s.minimize, s.close, icon};
    bool loaded = true;
    for (GdkPixbuf* pb : all)
        loaded = loaded && pb != nullptr;

    int rc = 1;
    if (loaded) {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);

        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), "安装程序");
        gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
        gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        // The shadow is translucent where a compositor can show it, as the installer's is.
        GdkScreen* screen = gtk_widget_get_screen(window);
        GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
        if (gdk_screen_is_composited(screen) && rgba != nullptr) {
            gtk_widget_set_visual(window, rgba);
            gtk_widget_set_app_paintable(window, TRUE);
        }
        Build(window, s);
        g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), nullptr);
        const guint term = g_unix_signal_add(SIGTERM, OnSignal, nullptr);
        const guint intr = g_unix_signal_add(SIGINT, OnSignal, nullptr);
        gtk_widget_show_all(window);
        gtk_main();
        g_source_remove(term);
        g_source_remove(intr);
        gtk_widget_destroy(window);
        rc = 0;
    }
    for (GdkPixbuf* pb : all) {
        if (pb != nullptr)
            g_object_unref(pb);
    }
    return rc;
}
