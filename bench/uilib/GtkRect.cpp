// The baseline: a minimal GTK window that paints one rectangle and prints the wall-clock
// time (ns since the epoch) of its first frame.
#include <gtk/gtk.h>

#include <cstdio>
#include <ctime>

static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_set_source_rgb(cr, 0.0, 0.27, 0.27);
    cairo_rectangle(cr, 0, 0, 640, 445);
    cairo_fill(cr);
    static bool done = false;
    if (!done) {
        done = true;
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        std::printf("%lld\n", ts.tv_sec * 1000000000LL + ts.tv_nsec);
        std::fflush(stdout);
        gtk_main_quit();
    }
    return TRUE;
}

int main(int argc, char** argv) {
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(&argc, &argv))
        return 2;
    GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(win), FALSE);
    GtkWidget* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, 640, 445);
    gtk_container_add(GTK_CONTAINER(win), area);
    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), nullptr);
    gtk_widget_show_all(win);
    gtk_main();
    return 0;
}
