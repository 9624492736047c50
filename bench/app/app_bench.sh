#!/usr/bin/env bash
# The program quillora-installer as a user meets it, side by side with a minimal GTK window
# (bench/uilib/GtkRect.cpp) and, for the first frame and memory, with its welcome page written
# with stock GTK widgets (GtkWelcomePage.cpp, the same images, texts and font), in one run
# under one Xvfb:
#
#   1. time from process start to the first frame drawn in its window, median of RUNS each,
#      the three programs alternating;
#   2. CPU used on the progress page while a slow download runs (nginx with limit_rate), over
#      SECONDS, median of CPU_RUNS; beside it the installer idle on its welcome page and the
#      GTK window idle, as long each;
#   3. peak resident memory with the welcome page shown and then closed with its close button
#      (the native page the same way; the GTK window is ended by SIGTERM, it has no button),
#      median of RUNS each.
#
# The programs are measured from outside in the same way, by bench_x_probe: it forks and
# execs the program and waits for the X server's DAMAGE extension to report drawing inside a
# top-level window the program has mapped. The same tool reaps the program and reports its
# peak RSS (ru_maxrss from wait4, what the kernel kept as VmHWM). CPU is utime + stime of all
# the program's threads from /proc/PID/stat over the window; wake-ups are the voluntary
# context switches of its threads, repaints the DAMAGE reports seen by `bench_x_probe watch`.
#
# Usage: bench/app/app_bench.sh BUILD_DIR [--runs N] [--cpu-runs N] [--seconds S] [--keep]
#   BUILD_DIR is a build configured with -DCMAKE_BUILD_TYPE=Release -DQI_BUILD_BENCH=ON; the
#   targets needed are brought up to date first. --keep leaves the work folder (logs,
#   screenshots of the progress page) in place and prints where it is.
# Exit status: 0 when everything was measured (goals met or not), 1 when a measurement failed.
set -euo pipefail

build=${1:?usage: app_bench.sh BUILD_DIR [--runs N] [--cpu-runs N] [--seconds S] [--keep]}
shift
runs=11
cpu_runs=3
seconds=20
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --cpu-runs) cpu_runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "app_bench.sh: unknown option $1" >&2; exit 1 ;;
  esac
done
build=$(cd "$build" && pwd)

for tool in Xvfb xdotool nginx curl python3 import; do
  command -v "$tool" >/dev/null || { echo "app_bench.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

cmake --build "$build" --target quillora-installer reg bench_x_probe bench_gtk_rect \
  bench_gtk_rect_stays bench_gtk_welcome >/dev/null
probe="$build/bench/app/bench_x_probe"
native="$build/bench/app/bench_gtk_welcome"
peer_frame="$build/bench/uilib/bench_gtk_rect"
peer_stays="$build/bench/app/bench_gtk_rect_stays"
reg="$build/tools/reg/reg"

# The window's controls, in client coordinates (the window is 640 x 400, 445 with the custom
# panel unfolded); the native page has its close button at the same place.
readonly btn_install="320 309" btn_close="612 28" btn_custom="570 370" edit_path="260 421"
# The slow download: this many bytes a second, and a package that lasts well past the window.
readonly rate_kib=128
settle=3  # seconds between reaching a page and measuring on it

. "$(dirname "$0")/../bench_lib.sh"

work=$(mktemp -d)
xvfb_pid=
nginx_pid=
probe_pid=
prog_pid=
cleanup() {
  if [ -n "$probe_pid" ] && kill -0 "$probe_pid" 2>/dev/null; then
    kill -KILL "$prog_pid" 2>/dev/null || true
    wait "$probe_pid" 2>/dev/null || true
  fi
  for p in $nginx_pid $xvfb_pid; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  if [ "$keep" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
log="$work/programs.log"
: >"$log"

# ---------------------------------------------------------------- X server

qi_start_xvfb || exit 1
export LC_ALL=C.UTF-8 HOME="$work/home"
mkdir -p "$HOME"

# ---------------------------------------------------------------- slow package server

server="$work/server"
mkdir -p "$server/www"
chmod 755 "$work"  # nginx started by root serves as an unprivileged user
truncate -s "$(( (settle + seconds + 60) * rate_kib * 1024 ))" "$server/www/QuilloraSetup.exe"
chmod 644 "$server/www/QuilloraSetup.exe"
port=$(qi_free_port)
refused=$(qi_free_port)  # nothing listens here: the report and the runtime fail at once
qi_start_nginx "$server" "$port" "$rate_kib"
qi_wait_for_url "http://127.0.0.1:$port/QuilloraSetup.exe" ||
  { echo "app_bench.sh: nginx does not answer (see $server/logs)" >&2; exit 1; }

# ---------------------------------------------------------------- helpers

# stage DIR: the installer and its modules in DIR beside an Install.ini for the local server,
# with a registry store of its own that already has the runtime (so the run goes straight to
# the package), and an empty folder to install into.
stage() {
  local dir=$1
  mkdir -p "$dir/registry" "$dir/target"
  for f in quillora-installer render-cairo.so imgdecoder-png.so translator.so; do
    cp "$build/bin/$f" "$dir/"
  done
  cat >"$dir/Install.ini" <<EOF
[Config]
net40_url=http://127.0.0.1:$refused/net4.exe
net45_url=http://127.0.0.1:$refused/net4.exe
install_pack_url=http://127.0.0.1:$port/QuilloraSetup.exe
install_statistics_url=http://127.0.0.1:$refused/statistics
EOF
  QI_REGISTRY_DIR="$dir/registry" "$reg" add \
    "HKLM\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4" /f >/dev/null
}

click() {  # click X Y on the held window
  xdotool mousemove --window "$win" "$1" "$2" click 1
}

# ticks PID: utime + stime of all its threads, in clock ticks.
ticks() { awk '{sub(/.*\) /, ""); print $12 + $13}' "/proc/$1/stat"; }
# switches PID: "TID voluntary-context-switches" for each of its threads.
switches() {
  local t
  for t in /proc/"$1"/task/*; do
    echo "${t##*/} $(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status" 2>/dev/null)"
  done
}

# cpu_window PID: measures SECONDS of the running program; prints
# "<% of a core> <wake-ups a second> <repaints a second> <repainted pixels a second>".
cpu_window() {
  local pid=$1 hz t0 t1 c0 c1 dw damage
  hz=$(getconf CLK_TCK)
  t0=$(date +%s%N); c0=$(ticks "$pid"); switches "$pid" >"$work/switches0"
  damage=$("$probe" watch "$win" "$seconds")
  t1=$(date +%s%N); c1=$(ticks "$pid"); switches "$pid" >"$work/switches1"
  # Thread by thread: a thread that ends inside the window takes its count along.
  dw=$(awk 'NR == FNR {before[$1] = $2; next} {n += $2 - before[$1]} END {print n + 0}' \
    "$work/switches0" "$work/switches1")
  awk -v dc=$((c1 - c0)) -v hz="$hz" -v dt=$((t1 - t0)) -v dw="$dw" -v d="$damage" '
    BEGIN {
      split(d, f, /[ =]/)  # rects=R pixels=P frames=F
      s = dt / 1e9
      printf "%.3f %.1f %.2f %.0f\n", 100 * dc / hz / s, dw / s, f[6] / s, f[4] / s
    }'
}


results="$work/results"
: >"$results"
record() { echo "$1 $2" >>"$results"; }  # record NAME VALUE

# ---------------------------------------------------------------- 1. first frame

echo "first frame: $runs runs each ..." >&2
frame_dir="$work/frame"
stage "$frame_dir"
# first_frame PROGRAM...: prints the microseconds from its start to its first frame. A run that
# fails is tried again twice (a machine under load now and then drops an X connection).
first_frame() {
  local out
  for _ in 1 2 3; do
    if out=$("$probe" frame -- "$@" 2>>"$log"); then
      sed -n 's/.*frame_us=\([0-9]*\).*/\1/p' <<<"$out"
      return 0
    fi
  done
  echo "app_bench.sh: no first frame from $1 (see $log)" >&2
  return 1
}
for i in $(seq "$runs"); do
  us=$(QI_REGISTRY_DIR="$frame_dir/registry" first_frame "$frame_dir/quillora-installer")
  record frame_app "$us"
  us=$(first_frame "$native")
  record frame_native "$us"
  us=$(first_frame "$peer_frame")
  record frame_peer "$us"
done

# ---------------------------------------------------------------- 2. CPU

for i in $(seq "$cpu_runs"); do
  echo "CPU: run $i of $cpu_runs (3 x $seconds s) ..." >&2

  # The progress page: custom install into a folder of the run, then a download that lasts.
  dir="$work/cpu$i"
  stage "$dir"
  QI_REGISTRY_DIR="$dir/registry" qi_hold 30 "$dir/quillora-installer"
  click $btn_custom
  sleep 0.3
  click $edit_path
  sleep 0.2
  xdotool key ctrl+a
  xdotool type --delay 5 "$dir/target"
  sleep 0.2
  click $btn_install
  for _ in $(seq 100); do
    [ -e "$dir/QuilloraSetup.exe.temp" ] && break
    sleep 0.1
  done
  [ -e "$dir/QuilloraSetup.exe.temp" ] ||
    { echo "app_bench.sh: the installer did not start the download (see $log)" >&2; exit 1; }
  sleep "$settle"
  import -window "$win" "$work/progress$i.png" 2>/dev/null || true
  read -r pct wake rep pix < <(cpu_window "$prog_pid")
  # Still downloading at the end, or the window did not measure the progress page.
  [ -e "$dir/QuilloraSetup.exe.temp" ] && [ ! -e "$dir/QuilloraSetup.exe" ] ||
    { echo "app_bench.sh: the download ended inside the window; a slower rate is needed" >&2; exit 1; }
  record cpu_app "$pct"; record wake_app "$wake"; record rep_app "$rep"; record pix_app "$pix"
  click $btn_close
  qi_release >/dev/null

  # The welcome page, idle.
  QI_REGISTRY_DIR="$dir/registry" qi_hold 30 "$dir/quillora-installer"
  sleep "$settle"
  read -r pct wake rep pix < <(cpu_window "$prog_pid")
  record cpu_welcome "$pct"; record wake_welcome "$wake"; record rep_welcome "$rep"
  click $btn_close
  qi_release >/dev/null

  # The GTK window, idle.
  qi_hold 30 "$peer_stays"
  sleep "$settle"
  read -r pct wake rep pix < <(cpu_window "$prog_pid")
  record cpu_peer "$pct"; record wake_peer "$wake"; record rep_peer "$rep"
  kill "$prog_pid"
  qi_release >/dev/null
done

# ---------------------------------------------------------------- 3. peak memory

echo "peak memory: $runs runs each ..." >&2
for i in $(seq "$runs"); do
  QI_REGISTRY_DIR="$frame_dir/registry" qi_hold 30 "$frame_dir/quillora-installer"
  sleep 1
  click $btn_close
  kib=$(qi_release)
  record rss_app "$kib"
  qi_hold 30 "$native"
  sleep 1
  click $btn_close
  kib=$(qi_release)
  record rss_native "$kib"
  qi_hold 30 "$peer_stays"
  sleep 1
  kill "$prog_pid"
  kib=$(qi_release)
  record rss_peer "$kib"
done

# ---------------------------------------------------------------- report

m() { awk -v k="$1" '$1 == k {print $2}' "$results" | qi_median; }
frame_app=$(m frame_app) frame_native=$(m frame_native) frame_peer=$(m frame_peer)
cpu_app=$(m cpu_app) cpu_welcome=$(m cpu_welcome) cpu_peer=$(m cpu_peer)
rss_app=$(m rss_app) rss_native=$(m rss_native) rss_peer=$(m rss_peer)

awk -v fa="$frame_app" -v fn="$frame_native" -v fp="$frame_peer" -v ca="$cpu_app" \
  -v cw="$cpu_welcome" -v cp="$cpu_peer" -v ra="$rss_app" -v rn="$rss_native" -v rp="$rss_peer" \
  -v wa="$(m wake_app)" -v ww="$(m wake_welcome)" -v wp="$(m wake_peer)" \
  -v ea="$(m rep_app)" -v ew="$(m rep_welcome)" -v ep="$(m rep_peer)" -v xa="$(m pix_app)" \
  -v runs="$runs" -v cruns="$cpu_runs" -v secs="$seconds" -v rate="$rate_kib" '
  function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
  function verdict(ok) { return ok ? "met" : "NOT met" }
  function row(name, a, n, p, r1, r2, goal) {
    printf "%-44s %10s %10s %10s %8s %8s%s\n", name, a, n, p, r1, r2, goal == "" ? "" : "   " goal
  }
  BEGIN {
    printf "\nquillora-installer against a minimal GTK window and against its welcome page in\n"
    printf "stock GTK widgets (native page), Xvfb, medians; ratios are the installer over each\n\n"
    row("figure", "installer", "native", "GTK window", "/window", "/native", "goal")
    row("first frame after start, ms (" runs " runs)", sprintf("%.1f", fa / 1000),
      sprintf("%.1f", fn / 1000), sprintf("%.1f", fp / 1000), ratio(fa, fp), ratio(fa, fn),
      "<= 1.15: " verdict(fa <= 1.15 * fp))
    row("CPU, % of a core, progress page (" cruns " x " secs " s)", sprintf("%.2f", ca), "-",
      sprintf("%.2f", cp), ratio(ca, cp), "-", "<= 1% of a core: " verdict(ca <= 1))
    row("CPU, % of a core, welcome page idle", sprintf("%.2f", cw), "-", sprintf("%.2f", cp),
      ratio(cw, cp), "-", "")
    row("peak RSS, MiB (" runs " runs)", sprintf("%.1f", ra / 1024), sprintf("%.1f", rn / 1024),
      sprintf("%.1f", rp / 1024), ratio(ra, rp), ratio(ra, rn), "<= 1.3: " verdict(ra <= 1.3 * rp))
    printf "\nwhere the CPU goes (same windows; GTK window idle)\n"
    printf "%-44s %10.1f %10s %10.1f\n", "wake-ups a second, progress page", wa, "", wp
    printf "%-44s %10.1f %10s %10.1f\n", "wake-ups a second, welcome page idle", ww, "", wp
    printf "%-44s %10.2f %10s %10.2f\n", "repaints a second, progress page", ea, "", ep
    printf "%-44s %10.2f %10s %10.2f\n", "repaints a second, welcome page idle", ew, "", ep
    printf "%-44s %10.0f\n", "repainted pixels a second, progress page", xa
    printf "(pixels the X server received; the program renders its whole window for each)\n"
    printf "\n(download served at %d KiB/s; CPU of the GTK window idle is the peer figure)\n", rate
  }'
