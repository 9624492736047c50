#!/usr/bin/env bash
# The Windows program as a user meets it, under Wine on Xvfb, side by side with a minimal
# Win32 window that fills one rectangle (Win32Rect.cpp), in one run:
#
#   1. time from process start to the first frame drawn in its window, median of RUNS each,
#      the two programs alternating;
#   2. peak memory of the process (the Wine process's peak resident set, the working set as
#      Linux sees it) with the welcome page shown and then closed with its close button; the
#      peer is closed with a click;
#   3. the folder `cmake --install` gives, stripped, and that folder as a zip.
#
# Both programs are measured from outside by bench_x_probe (see XProbe.cpp), which starts
# Wine's loader on the program and watches the X server for the first drawing in a window
# it maps. One Wine prefix of the run's own with a persistent server, made before the first
# measure, so that no run pays for the prefix's creation.
#
# Usage: bench/app/windows_app_bench.sh [--runs N] [--keep]
# Builds a Release Linux build (build/bench, for the probe) and a Release Windows build
# (build/bench-windows) first. Exit status 0 when everything was measured.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=11
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "windows_app_bench.sh: unknown option $1" >&2; exit 1 ;;
  esac
done

for tool in Xvfb xdotool python3 zip x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || { echo "windows_app_bench.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
else
  wine=$(command -v wine64 || command -v wine) wineserver=$(command -v wineserver)
fi

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
linux=$root/build/bench
windows=$root/build/bench-windows
cmake -S "$root" -B "$linux" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
cmake --build "$linux" --target bench_x_probe >/dev/null
cmake -S "$root" -B "$windows" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
cmake --build "$windows" --target quillora-installer bench_win32_rect >/dev/null
probe=$linux/bench/app/bench_x_probe
peer=$windows/bench/app/bench_win32_rect.exe

. "$root/bench/bench_lib.sh"

work=$(mktemp -d)
xvfb_pid=
probe_pid=
prog_pid=
cleanup() {
  if [ -n "$probe_pid" ] && kill -0 "$probe_pid" 2>/dev/null; then
    kill -KILL "$prog_pid" 2>/dev/null || true
    wait "$probe_pid" 2>/dev/null || true
  fi
  WINEPREFIX="$work/wine" "$wineserver" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ "$keep" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
log="$work/programs.log"
: >"$log"

# ---------------------------------------------------------------- the shipped folder

app="$work/app"
cmake --install "$windows" --prefix "$app" >/dev/null
refused=$(qi_free_port)  # nothing listens: the welcome page needs no network
printf '[Config]\ninstall_pack_url=http://127.0.0.1:%s/QuilloraSetup.exe\ninstall_statistics_url=http://127.0.0.1:%s/statistics\n' \
  "$refused" "$refused" >"$app/Install.ini"
stripped="$work/stripped"
mkdir -p "$stripped"
cp "$app"/*.exe "$app"/*.dll "$stripped/"
x86_64-w64-mingw32-strip "$stripped"/*.exe "$stripped"/*.dll
(cd "$stripped" && zip -q -9 "$work/installer.zip" ./*)

# ---------------------------------------------------------------- X server and Wine

qi_start_xvfb || exit 1
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINESERVER=$wineserver LC_ALL=C.UTF-8
"$wine" wineboot -i >>"$log" 2>&1
"$wineserver" -p 600 2>/dev/null || true  # wineboot may have left one up: it stays
# Once each, unmeasured: Wine's first start of a program loads its DLLs from disk.
"$wine" "$peer" >>"$log" 2>&1 &
warm_pid=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^rect$' >/dev/null 2>&1 && break
  sleep 0.2
done
xdotool search --onlyvisible --name '^rect$' windowactivate --sync mousemove --window %1 10 10 click 1 >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$warm_pid" 2>/dev/null || break; sleep 0.1; done
kill "$warm_pid" 2>/dev/null || true
wait "$warm_pid" 2>/dev/null || true


: >"$work/frames.installer"; : >"$work/frames.peer"; : >"$work/rss.installer"; : >"$work/rss.peer"
for i in $(seq "$runs"); do
  qi_hold 60 "$wine" "$app/quillora-installer.exe"
  echo "$frame_ms" >>"$work/frames.installer"
  sleep 1  # the page settles before it is closed
  xdotool mousemove --window "$win" 612 28 click 1
  qi_release >>"$work/rss.installer"

  qi_hold 60 "$wine" "$peer"
  echo "$frame_ms" >>"$work/frames.peer"
  sleep 1
  xdotool mousemove --window "$win" 320 200 click 1
  qi_release >>"$work/rss.peer"
  echo "run $i/$runs done" >&2
done

f_inst=$(qi_median <"$work/frames.installer"); f_peer=$(qi_median <"$work/frames.peer")
r_inst=$(qi_median <"$work/rss.installer"); r_peer=$(qi_median <"$work/rss.peer")
size_kib() { du -sk "$1" | cut -f1; }
awk -v fi="$f_inst" -v fp="$f_peer" -v ri="$r_inst" -v rp="$r_peer" \
  -v installed="$(size_kib "$app")" -v strip="$(size_kib "$stripped")" \
  -v zipped="$(( $(stat -c %s "$work/installer.zip") / 1024 ))" -v runs="$runs" 'BEGIN {
  printf "Under Wine on Xvfb, median of %d runs each (goal: installer <= 1.5x the peer)\n", runs
  printf "%-34s %12s %12s %8s\n", "", "installer", "Win32 rect", "ratio"
  printf "%-34s %12.1f %12.1f %7.2fx\n", "process start -> first frame (ms)", fi, fp, fi / fp
  printf "%-34s %12d %12d %7.2fx\n", "peak working set (KiB)", ri, rp, ri / rp
  printf "Installed folder: %.2f MiB as installed, %.2f MiB stripped, %.2f MiB zipped (goal <= 4 MiB)\n",
    installed / 1024, strip / 1024, zipped / 1024
}'
