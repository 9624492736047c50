#include <gtk/gtk.h>

#include "tools/demo/DemoLayout.h"
#include "tools/demo/ProductWindow.h"

namespace qidemo {

namespace {

gboolean CloseOnEscape(GtkWidget* window, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    gtk_widget_destroy(window);
    return TRUE;
}

}  // namespace

bool RunProductWindow(int& argc, char**& argv, const std::string& dir,
                      const std::function<void()>& shown) {
    if (!gtk_init_check(&argc, &argv))
        return false;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), kProductTitle);
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 220);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 24);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "key-press-event", G_CALLBACK(CloseOnEscape), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_add(GTK_CONTAINER(window), box);

    GtkWidget* heading = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped(
        "<span size='x-large' weight='bold'>%s %s</span>\n安装成功 — installed", kProductTitle,
        kProductVersion);
    gtk_label_set_markup(GTK_LABEL(heading), markup);
    g_free(markup);
    gtk_label_set_justify(GTK_LABEL(heading), GTK_JUSTIFY_CENTER);
    gtk_box_pack_start(GTK_BOX(box), heading, FALSE, FALSE, 0);

    const std::string where = "安装目录 / installed in:\n" + dir;
    GtkWidget* location = gtk_label_new(where.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(location), TRUE);
    gtk_label_set_justify(GTK_LABEL(location), GTK_JUSTIFY_CENTER);
    gtk_box_pack_start(GTK_BOX(box), location, TRUE, TRUE, 0);

    GtkWidget* close = gtk_button_new_with_label("关闭 / Close");
    g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), window);
    gtk_widget_set_halign(close, GTK_ALIGN_CENTER);
    gtk_box_pack_end(GTK_BOX(box), close, FALSE, FALSE, 0);

    gtk_widget_show_all(window);
    gtk_widget_grab_focus(close);  // Return or Escape closes the window
    shown();
    gtk_main();
    return true;
}

}  // namespace qidemo
