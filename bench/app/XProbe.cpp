// Looks at a GUI program from outside, through the X server, as a user would see it. The
// program is not changed for this: the same measure serves the installer and its peer.
//
//   bench_x_probe frame [--hold] [--timeout SEC] -- PROGRAM [ARGS...]
//     Starts PROGRAM and prints, once something has been drawn inside a top-level window it
//     mapped, the time since the fork:
//       frame_us=<microseconds> window=<id> pid=<pid>
//     The DAMAGE extension reports the drawing; a window the program creates and maps counts
//     from its map on. Without --hold the program is then ended; with --hold it runs until it
//     ends by itself (or is closed or killed by the caller). Either way the probe reaps it and
//     prints its resource figures from wait4:
//       status=<exit code or -signal> maxrss_kib=<peak RSS> utime_ms=<..> stime_ms=<..>
//     --timeout bounds the wait for the first frame and, with --hold, for the end (default 60).
//
//   bench_x_probe watch WINDOW SECONDS
//     Records every drawing into WINDOW for SECONDS and prints
//       rects=<damage rectangles> pixels=<their total area> frames=<distinct server times>
//     Drawing done in one go carries one server time, so frames counts repaints.
//
// Exit status: 0 when measured, 1 on a usage error, 2 when the X server or its DAMAGE
// extension is missing, 3 when no frame came in time or the program ended before one.

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

namespace {

long long NowUs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

// Windows vanish between an event and our request about them; that is no failure here.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

struct DamageDisplay {
    Display* dpy = nullptr;
    int eventBase = 0;

    bool Open() {
        dpy = XOpenDisplay(nullptr);
        if (dpy == nullptr) {
            std::fprintf(stderr, "bench_x_probe: cannot open display %s\n", XDisplayName(nullptr));
            return false;
        }
        int errorBase = 0;
        if (!XDamageQueryExtension(dpy, &eventBase, &errorBase)) {
            std::fprintf(stderr, "bench_x_probe: the X server has no DAMAGE extension\n");
            return false;
        }
        XSetErrorHandler(IgnoreXError);
        return true;
    }
    ~DamageDisplay() {
        if (dpy != nullptr)
            XCloseDisplay(dpy);
    }
    // Waits until an event is queued or the deadline (monotonic us) passes.
    bool WaitEvent(long long deadline) {
        while (XPending(dpy) == 0) {
            long long left = deadline - NowUs();
            if (left <= 0)
                return false;
            pollfd p{ConnectionNumber(dpy), POLLIN, 0};
            int ms = static_cast<int>(std::min<long long>(left / 1000 + 1, 100));
            if (poll(&p, 1, ms) < 0 && errno != EINTR)
                return false;
        }
        return true;
    }
};

pid_t Spawn(char** argv, int xfd) {
    fcntl(xfd, F_SETFD, FD_CLOEXEC);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);  // our standard output carries the figures
        close(null);
    }
    execvp(argv[0], argv);
    std::fprintf(stderr, "bench_x_probe: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

// Reaps the child, waiting at most until the deadline before killing it, and prints its
// figures.
void Reap(pid_t pid, long long deadline) {
    int status = 0;
    rusage ru{};
    for (;;) {
        pid_t r = wait4(pid, &status, WNOHANG, &ru);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return;
        if (NowUs() > deadline) {
            kill(pid, SIGKILL);
            deadline = NowUs() + 5000000;
        }
        usleep(2000);
    }
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::printf("status=%d maxrss_kib=%ld utime_ms=%ld stime_ms=%ld\n", code, ru.ru_maxrss,
                ru.ru_utime.tv_sec * 1000 + ru.ru_utime.tv_usec / 1000,
                ru.ru_stime.tv_sec * 1000 + ru.ru_stime.tv_usec / 1000);
    std::fflush(stdout);
}

int Frame(int argc, char** argv) {
    bool hold = false;
    int timeoutSec = 60;
    int i = 0;
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hold") == 0)
            hold = true;
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            timeoutSec = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        } else
            return 1;
    }
    if (i >= argc)
        return 1;

    DamageDisplay x;
    if (!x.Open())
        return 2;
    Window root = DefaultRootWindow(x.dpy);
    XSelectInput(x.dpy, root, SubstructureNotifyMask);
    XSync(x.dpy, False);

    const long long start = NowUs();
    pid_t pid = Spawn(argv + i, ConnectionNumber(x.dpy));
    if (pid < 0)
        return 2;
    const long long deadline = start + timeoutSec * 1000000LL;

    // Damage is watched from the window's creation, so that no early drawing is missed, but
    // counts only once the window is mapped: what an unmapped window draws nobody sees.
    std::set<Window> watched, mapped;
    Window shown = 0;
    long long frameAt = 0;
    while (frameAt == 0 && x.WaitEvent(deadline)) {
        XEvent ev;
        XNextEvent(x.dpy, &ev);
        if (ev.type == CreateNotify && ev.xcreatewindow.parent == root &&
            !ev.xcreatewindow.override_redirect) {
            XDamageCreate(x.dpy, ev.xcreatewindow.window, XDamageReportNonEmpty);
            watched.insert(ev.xcreatewindow.window);
        } else if (ev.type == MapNotify && ev.xmap.event == root &&
                   watched.count(ev.xmap.window) != 0) {
            mapped.insert(ev.xmap.window);
        } else if (ev.type == x.eventBase + XDamageNotify) {
            auto* d = reinterpret_cast<XDamageNotifyEvent*>(&ev);
            if (mapped.count(d->drawable) != 0) {
                frameAt = NowUs();
                shown = d->drawable;
            } else {
                XDamageSubtract(x.dpy, d->damage, None, None);  // report the next one too
            }
        }
        int status = 0;
        if (frameAt == 0 && waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_x_probe: %s ended before its first frame\n", argv[i]);
            return 3;
        }
    }
    if (frameAt == 0) {
        std::fprintf(stderr, "bench_x_probe: no frame from %s within %d s\n", argv[i], timeoutSec);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return 3;
    }
    std::printf("frame_us=%lld window=0x%lx pid=%d\n", frameAt - start, shown,
                static_cast<int>(pid));
    std::fflush(stdout);
    XCloseDisplay(x.dpy);  // the damage objects go with the connection
    x.dpy = nullptr;

    if (hold) {
        Reap(pid, NowUs() + timeoutSec * 1000000LL);
    } else {
        kill(pid, SIGTERM);
        Reap(pid, NowUs() + 5000000);
    }
    return 0;
}

int Watch(int argc, char** argv) {
    if (argc != 2)
        return 1;
    Window win = std::strtoul(argv[0], nullptr, 0);
    double seconds = std::atof(argv[1]);
    if (win == 0 || seconds <= 0)
        return 1;
    DamageDisplay x;
    if (!x.Open())
        return 2;
    XDamageCreate(x.dpy, win, XDamageReportRawRectangles);
    // The server reports what the window shows as damaged when the damage object is made;
    // that report is in the queue once the request has been answered, and is no repaint.
    XSync(x.dpy, False);
    while (XPending(x.dpy) != 0) {
        XEvent ev;
        XNextEvent(x.dpy, &ev);
    }
    const long long end = NowUs() + static_cast<long long>(seconds * 1e6);
    long long rects = 0, pixels = 0, frames = 0;
    Time last = 0;
    while (x.WaitEvent(end)) {
        XEvent ev;
        XNextEvent(x.dpy, &ev);
        if (ev.type != x.eventBase + XDamageNotify)
            continue;
        auto* d = reinterpret_cast<XDamageNotifyEvent*>(&ev);
        ++rects;
        pixels += static_cast<long long>(d->area.width) * d->area.height;
        if (d->timestamp != last)
            ++frames;
        last = d->timestamp;
    }
    std::printf("rects=%lld pixels=%lld frames=%lld\n", rects, pixels, frames);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage =
        "usage: bench_x_probe frame [--hold] [--timeout SEC] -- PROGRAM [ARGS...]\n"
        "       bench_x_probe watch WINDOW SECONDS\n";
    int rc = 1;
    if (argc >= 2 && std::strcmp(argv[1], "frame") == 0)
        rc = Frame(argc - 2, argv + 2);
    else if (argc >= 2 && std::strcmp(argv[1], "watch") == 0)
        rc = Watch(argc - 2, argv + 2);
    if (rc == 1)
        std::fputs(usage, stderr);
    return rc;
}
