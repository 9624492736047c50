// The minimal GTK window of bench/uilib/GtkRect.cpp, built from that same source, except that
// its first frame does not end it: it stays open, idle, until it is closed or killed, which
// the CPU and memory figures of app_bench.sh need.
#include <gtk/gtk.h>

namespace {
void StayOpen() {}
}  // namespace

#define gtk_main_quit() StayOpen()
#include "bench/uilib/GtkRect.cpp"
