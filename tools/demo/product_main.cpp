// qi-demo-product: the demo product, installed as Quillora.exe. Shows a window that says it
// was installed and where. Without a display it says so on standard output and ends.
//
// QI_DEMO_PRODUCT_MARKER: when it names a file, the program appends its own path to it at
// start, so that a script or test can tell which copy ran.

#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/File.h"
#include "tools/demo/DemoLayout.h"
#include "tools/demo/DemoPackage.h"

namespace {

std::string OwnPath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

void LeaveMarker(const std::string& ownPath) {
    const char* marker = std::getenv("QI_DEMO_PRODUCT_MARKER");
    if (marker == nullptr || *marker == '\0')
        return;
    int openError = 0;
    const platform::FileDescriptor fd =
        platform::OpenFile(marker, O_WRONLY | O_CREAT | O_APPEND, 0644, openError);
    const std::string line = ownPath + "\n";
    // One write: copies started together never interleave their lines.
    if (fd.Get() < 0 ||
        ::write(fd.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fprintf(stderr, "Quillora: cannot write the marker %s\n", marker);
}

gboolean CloseOnEscape(GtkWidget* window, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    gtk_widget_destroy(window);
    return TRUE;
}

void ShowWindow(const std::string& dir) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), qidemo::kProductTitle);
    gtk_window_set_default_size(GTK_WINDOW(window), 480, 220);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 24);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "key-press-event", G_CALLBACK(CloseOnEscape), nullptr);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_add(GTK_CONTAINER(window), box);

    GtkWidget* heading = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped(
        "<span size='x-large' weight='bold'>%s %s</span>\n安装成功 — installed",
        qidemo::kProductTitle, qidemo::kProductVersion);
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
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = OwnPath();
    const std::string dir = std::filesystem::path(self).parent_path().string();
    const std::string name = std::string(qidemo::kProductTitle) + " " + qidemo::kProductVersion;

    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s (demo product)\n", name.c_str());
        return 0;
    }
    LeaveMarker(self);
    if (!gtk_init_check(&argc, &argv)) {
        std::printf("%s is installed in %s (no display to show its window on)\n", name.c_str(),
                    dir.c_str());
        return 0;
    }
    ShowWindow(dir);
    std::printf("%s is running from %s\n", name.c_str(), dir.c_str());
    std::fflush(stdout);
    gtk_main();
    return 0;
}
