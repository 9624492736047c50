"""The Windows installer under Wine, for end-to-end tests: an Xvfb of the test's own, a Wine
prefix of these tests' own on the X11 graphics driver, a loopback HTTP server, the program
staged with its modules, its windows found by title and driven with xdotool, and pixels read
off the root window. Every wait is bounded; what a test starts is ended when it finishes.

    winedriver.py prepare   creates the prefix (once) and sets its graphics driver
    winedriver.py stop      ends the prefix's Wine server

Configured by the environment (the build sets it for CTest):
    QI_WINE_E2E_BIN        the folder of quillora-installer.exe and its DLLs
    QI_WINE_E2E_DEMO_ROOT  the demo deployment's served files (qi-demo-pack)
    QI_WINE_E2E_PREFIX     the Wine prefix of these tests
    QI_WINE_E2E_SHOTS      where screenshots of failures go
"""

import contextlib
import fcntl
import http.server
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

BIN = os.environ.get("QI_WINE_E2E_BIN", "")
DEMO_ROOT = os.environ.get("QI_WINE_E2E_DEMO_ROOT", "")
PREFIX = os.path.abspath(os.environ.get("QI_WINE_E2E_PREFIX", "wine-e2e-prefix"))
# The installer's working folder (<ProgramData>\Quillora\Installer): its downloads land there.
WORK_FOLDER = os.path.join(PREFIX, "drive_c", "ProgramData", "Quillora", "Installer")
SHOTS = os.environ.get("QI_WINE_E2E_SHOTS", os.path.join(tempfile.gettempdir(), "qi-wine-shots"))

PROGRAM = "quillora-installer.exe"
MODULES = ["render-cairo.dll", "imgdecoder-png.dll", "translator.dll"]
MAIN_TITLE = "安装程序"
MAIN_TITLE_ENGLISH = "Quillora Setup"  # language=2
MSGBOX_TITLE = "消息"
PRODUCT_TITLE = "Quillora"
# What the installer runs or leaves running: none may outlive a closed installer.
OWN_PROGRAMS = {PROGRAM, "quillorasetup.exe", "net4.exe", "quillora.exe"}

if os.path.exists("/usr/lib/wine/wine64"):
    # Debian's 64-bit loader is not on PATH; its wineserver wrapper forces -p0.
    WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64"
else:
    WINE, WINESERVER = shutil.which("wine64") or "wine", shutil.which("wineserver") or "wineserver"


# The main window's controls in client pixels, as on Linux at scale 1 (tests/e2e/E2eSupport.h).
class Ctl:
    AGREE = (19, 361, 134, 385)
    LINK_LICENSE = (134, 361, 228, 385)
    BTN_EXTEND = (515, 360, 625, 380)
    BTN_INSTALLER = (200, 289, 440, 329)
    EDIT_PATH = (4, 402, 520, 440)
    BTN_CLOSE = (597, 13, 627, 43)
    MSGBOX_CONFIRM = (279, 165, 375, 197)


def center(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


def wait_until(pred, seconds, step=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if pred():
            return True
        time.sleep(step)
    return bool(pred())


def run(cmd, env=None, timeout=30, check=False):
    """A short command's standard output; '' when it failed or took too long."""
    try:
        r = subprocess.run(cmd, env=env, timeout=timeout, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        if check:
            raise
        return ""
    if check and r.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed with {r.returncode}")
    return r.stdout.decode("utf-8", "replace")


# ------------------------------------------------------------------ paths

def unix_path(win):
    """The file of this machine behind a Windows path of the prefix (C:) or of Z:."""
    drive, rest = win[0].upper(), win[2:].replace("\\", "/").lstrip("/")
    if drive == "Z":
        return "/" + rest
    if drive == "C":
        return os.path.join(PREFIX, "drive_c", rest)
    raise ValueError(win)


def win_path(unix):
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


# ------------------------------------------------------------------ X

class Display:
    """Xvfb on a free display (-displayfd), 1280 x 1024, no window manager."""

    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + 15
        with os.fdopen(r, "rb", buffering=0) as pipe:
            while time.monotonic() < deadline and not number.endswith(b"\n"):
                c = pipe.read(1)
                if not c:
                    break
                number += c
        if not number.strip().isdigit():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)

    def xdotool(self, *args, timeout=20):
        return run(["xdotool", *map(str, args)], env=self.env(), timeout=timeout)

    def env(self):
        return dict(os.environ, DISPLAY=self.name, LC_ALL="C.UTF-8")

    def find(self, title, seconds=20):
        """A visible window with exactly that title, waited for; None when none came."""
        found = []

        def look():
            ids = self.xdotool("search", "--onlyvisible", "--name", f"^{title}$").split()
            found[:] = ids[:1]
            return bool(found)

        wait_until(look, seconds, 0.2)
        return Window(self, found[0]) if found else None

    def shown(self, title):
        return self.find(title, 0) is not None

    def keys(self, *keys):
        self.xdotool("key", "--delay", 80, *keys)

    def type(self, text):
        self.xdotool("type", "--delay", 30, "--", text)

    def grab(self, x, y, w, h):
        """The pixels of a screen area as a Shot."""
        raw = subprocess.run(
            ["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
            env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20).stdout
        return Shot(w, h, raw) if len(raw) == w * h * 3 else Shot(0, 0, b"")


class Shot:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        return (self.rgb[i] << 16) | (self.rgb[i + 1] << 8) | self.rgb[i + 2]

    def crop(self, rect):
        left, top, right, bottom = rect
        rows = [self.rgb[(y * self.width + left) * 3:(y * self.width + right) * 3]
                for y in range(top, bottom)]
        return Shot(right - left, bottom - top, b"".join(rows))

    def differs(self, other):
        """Pixels that differ from `other` (every pixel when the sizes differ)."""
        if (self.width, self.height) != (other.width, other.height):
            return max(self.width * self.height, other.width * other.height)
        a, b = self.rgb, other.rgb
        return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])

    def save(self, name):
        if not self.width:
            return
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8",
                        "rgb:-", os.path.join(SHOTS, name + ".png")],
                       input=self.rgb, timeout=20, check=False)


class Window:
    def __init__(self, display, wid):
        self.display, self.id = display, wid

    def geometry(self):
        """(left, top, width, height) on the screen."""
        info = run(["xwininfo", "-id", self.id], env=self.display.env())
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(": ")
            value = value.strip()
            if value.lstrip("-").isdigit():
                values[key] = int(value)
        return (values.get("Absolute upper-left X", -1), values.get("Absolute upper-left Y", -1),
                values.get("Width", 0), values.get("Height", 0))

    def height(self):
        return self.geometry()[3]

    def click(self, x, y=None):
        if y is None:
            x, y = center(x)
        self.display.xdotool("mousemove", "--window", self.id, x, y, "click", 1)

    def hover(self, x, y):
        self.display.xdotool("mousemove", "--window", self.id, x, y)

    def focus(self):
        self.display.xdotool("windowfocus", "--sync", self.id, timeout=5)

    def drag(self, x, y, dx, dy, steps=5):
        left, top, _, _ = self.geometry()
        x0, y0 = left + x, top + y
        cmd = ["mousemove", x0, y0, "mousedown", 1]
        for i in range(1, steps + 1):
            cmd += ["sleep", 0.05, "mousemove", x0 + dx * i // steps, y0 + dy * i // steps]
        self.display.xdotool(*cmd, "sleep", 0.05, "mouseup", 1)

    def shot(self):
        left, top, w, h = self.geometry()
        if w <= 0 or left < 0 or top < 0:
            return Shot(0, 0, b"")
        return self.display.grab(left, top, w, h)


PAGE_DARK, WHITE = 0x004445, 0xFFFFFF


def page_of(shot):
    """Which page a shot of the main window shows, by colours of opaque areas (Xvfb has no
    compositor: a layered window's alpha comes out as 1 bit)."""
    band = shot.pixel(400, 373)
    if band == PAGE_DARK:
        return "progress"
    if band != WHITE:
        return "unknown"
    left, top, right, bottom = Ctl.LINK_LICENSE
    for y in range(top, bottom):
        for x in range(left, right):
            p = shot.pixel(x, y)
            if p is not None and (p >> 16) > 200 and ((p >> 8) & 0xFF) < 80:
                return "welcome"
    p = shot.pixel(320, 300) or 0
    return "finished" if ((p >> 8) & 0xFF) > (p >> 16) + 50 else "unknown"


# ------------------------------------------------------------------ Wine

def wine_env(display=None, extra=None):
    keep = ("PATH", "HOME", "USER", "LANG", "LC_ALL", "TMPDIR")
    env = {k: os.environ[k] for k in keep if k in os.environ}
    env.update(WINEPREFIX=PREFIX, WINESERVER=WINESERVER, WINEDEBUG="-all",
               # No Mono or Gecko to fetch; no debugger: a crash ends the program at once.
               WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
    if display is not None:
        env["DISPLAY"] = display.name
    env.update(extra or {})
    return env


def wine(*args, display=None, timeout=60):
    return run([WINE, *args], env=wine_env(display), timeout=timeout)


def reg(*args, display=None):
    """`reg` inside the prefix; its output."""
    return wine("reg", *args, display=display)


def stop_server():
    """Ends every process of the prefix and its server, and waits for them."""
    if os.path.isdir(PREFIX):
        run([WINESERVER, "-k"], env=wine_env(), timeout=20)
        run([WINESERVER, "-w"], env=wine_env(), timeout=20)


def prepare_prefix():
    """Creates the prefix on first use; the X11 graphics driver in any case (the unit tests'
    prefix is set to the null driver, and this one must never be)."""
    os.makedirs(os.path.dirname(PREFIX), exist_ok=True)
    with open(PREFIX + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamp = os.path.join(PREFIX, ".qi-e2e-ready")
        if not os.path.exists(stamp):
            shutil.rmtree(PREFIX, ignore_errors=True)
            # A copy of the template prefix that cmake/wine-run keeps per Wine version.
            wine_run = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                    "cmake", "wine-run")
            run([wine_run, "--make-prefix", PREFIX], timeout=300, check=True)
        reg("add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f")
        stop_server()
        open(stamp, "w").close()


def prefix_processes():
    """(pid, lower-case program name) of every running process of the prefix."""
    found = []
    needle = ("WINEPREFIX=" + PREFIX).encode() + b"\0"
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if needle not in f.read() + b"\0":
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
            with open(f"/proc/{pid}/stat") as f:
                if f.read().rsplit(")", 1)[-1].split()[0] in "ZX":
                    continue
        except OSError:
            continue
        found.append((int(pid), argv0.replace("\\", "/").rsplit("/", 1)[-1].lower()))
    return found


RUNTIME_KEY = r"HKLM\Software\Microsoft\NET Framework Setup\NDP"


# The first program of a prefix's server starts its desktop process on that program's
# display: a Wine program a test runs goes to the test's display, even one that shows nothing.
def set_runtime_installed(display, installed):
    if installed:
        reg("add", RUNTIME_KEY + r"\v4", "/f", display=display)
    else:
        reg("delete", RUNTIME_KEY, "/f", display=display)


def runtime_registered(display):
    return "Install" in reg("query", RUNTIME_KEY + r"\v4\Full", "/v", "Install", display=display)


# ------------------------------------------------------------------ HTTP

class Server:
    """A loopback HTTP server: files, error statuses or slow bodies by path; every request
    kept (method, path, body)."""

    def __init__(self):
        self.routes, self.requests, self.stopping = {}, [], threading.Event()
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
                owner.requests.append(("POST", self.path, body))
                self.answer(200, b"ok")

            def do_GET(self):
                owner.requests.append(("GET", self.path, b""))
                route = owner.routes.get(self.path, {"status": 404})
                if "status" in route:
                    self.answer(route["status"], b"no such file")
                elif "slow" in route:
                    size, piece, delay = route["slow"]
                    self.send_response(200)
                    self.send_header("Content-Length", str(size))
                    self.end_headers()
                    try:
                        for _ in range(size // piece):
                            if owner.stopping.wait(delay):
                                break
                            self.wfile.write(b"\0" * piece)
                            self.wfile.flush()
                    except OSError:
                        pass  # the client went
                    self.close_connection = True
                else:
                    self.answer(200, route["body"])

            def answer(self, status, body):
                self.send_response(status)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    self.wfile.write(body)
                except OSError:
                    pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.url = f"http://127.0.0.1:{self.port}"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def file(self, path, body):
        self.routes[path] = {"body": body}

    def status(self, path, code):
        self.routes[path] = {"status": code}

    def slow(self, path, size, piece, delay):
        self.routes[path] = {"slow": (size, piece, delay)}

    def requested(self, method, path):
        return any(m == method and p == path for m, p, _ in self.requests)

    def open_connections(self):
        """Connections to the server still open (established, or closed by the peer only)."""
        n = 0
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            with contextlib.suppress(OSError), open(table) as f:
                for line in f.readlines()[1:]:
                    fields = line.split()
                    if int(fields[1].rsplit(":", 1)[1], 16) == self.port and fields[3] in ("01", "08"):
                        n += 1
        return n

    def close(self):
        self.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()


def demo_file(url_path):
    with open(DEMO_ROOT + url_path, "rb") as f:
        return f.read()


DEMO_RUNTIME = "/software/third_party/NETFramework4.5.exe"
DEMO_PACKAGE = "/software/install_pack/quillora1.0.exe"


def serve_demo(server, url_path):
    """A file of the demo deployment under its own path, with its signature when the
    deployment is signed (the signature names the file as published)."""
    server.file(url_path, demo_file(url_path))
    if os.path.exists(DEMO_ROOT + url_path + ".minisig"):
        server.file(url_path + ".minisig", demo_file(url_path + ".minisig"))


def install_ini(base_url, channel="e2e", language=1, runtime="/net4.exe", package="/pack.exe"):
    return (f"[Config]\nnet40_url={base_url}{runtime}\nnet45_url={base_url}{runtime}\n"
            f"install_pack_url={base_url}{package}\ninstall_statistics_url={base_url}/stats\n"
            f"channel={channel}\nversion=1.2.3.4\nlanguage={language}\n")


# ------------------------------------------------------------------ DLLs

def start_up_imports(path):
    """The DLL names of a PE file's start-up import table, lower-case."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    table = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError(f"{path}: RVA {rva:#x} in no section")

    names = []
    at = offset(struct.unpack_from("<I", data, directories + 8)[0])
    while struct.unpack_from("<I", data, at + 12)[0]:
        name = offset(struct.unpack_from("<I", data, at + 12)[0])
        names.append(data[name:data.index(b"\0", name)].decode("ascii").lower())
        at += 20
    return names


def known_dlls():
    with open(os.environ["QI_WINE_E2E_KNOWN_DLLS"], encoding="utf-8") as f:
        return {line.strip() for line in f if line.strip() and not line.startswith("#")}


# ------------------------------------------------------------------ the program

class Installer:
    """The program with its modules staged in a temporary folder (app/), beside an
    Install.ini, started under Wine with its support log in the same folder."""

    def __init__(self, ini):
        self.temp = tempfile.mkdtemp(prefix="qi-wine-e2e-")
        self.app = os.path.join(self.temp, "app")
        os.makedirs(self.app)
        for name in [PROGRAM, *MODULES]:
            shutil.copy2(os.path.join(BIN, name), self.app)
        with open(os.path.join(self.app, "Install.ini"), "w", encoding="utf-8") as f:
            f.write(ini)
        # Nothing an earlier test fetched is taken instead of a download.
        shutil.rmtree(WORK_FOLDER, ignore_errors=True)
        self.log = os.path.join(self.temp, "installer.log")
        self.output = os.path.join(self.temp, "output.txt")
        self.cwd = self.app
        self.proc = None

    def start(self, display, args=(), env=None):
        with open(self.output, "ab") as out:
            self.proc = subprocess.Popen(
                [WINE, os.path.join(self.app, PROGRAM), "--log", win_path(self.log), *args],
                cwd=self.cwd, env=wine_env(display, env), stdin=subprocess.DEVNULL,
                stdout=out, stderr=subprocess.STDOUT, start_new_session=True)

    def exited_within(self, seconds):
        try:
            self.proc.wait(seconds)
            return True
        except subprocess.TimeoutExpired:
            return False

    def log_text(self):
        text = ""
        for path in (self.log, self.output):
            with contextlib.suppress(OSError), open(path, "rb") as f:
                text += f.read().decode("utf-8", "replace")
        return text

    def logged(self, text, seconds):
        return wait_until(lambda: text in self.log_text(), seconds, 0.2)

    def close(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        shutil.rmtree(self.temp, ignore_errors=True)


if __name__ == "__main__":
    if sys.argv[1:] == ["prepare"]:
        prepare_prefix()
    elif sys.argv[1:] == ["stop"]:
        stop_server()
    else:
        sys.exit(__doc__)
