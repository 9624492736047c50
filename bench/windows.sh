#!/usr/bin/env bash
# One install step on both systems in one run: the download of a package with the
# installer's client (ClusterCurl::downloadFile), by the Linux program and by the Windows
# program under Wine, from the same local nginx. Also the size of the Windows build's
# static dependency libraries, stripped.
#
# Usage: bench/windows.sh [SIZE_MIB] [ROUNDS]   (defaults: 64 MiB, 3 rounds each)
# Builds bench_download (Release) into build/bench and build/bench-windows first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${1:-64}
rounds=${2:-3}

for tool in nginx curl python3 x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || { echo "windows.sh: $tool is missing (scripts/setup installs it)"; exit 1; }
done

. "$root/bench/bench_lib.sh"
linux_bench=$(qi_build_bench_download "$root")
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S "$root" -B "$root/build/bench-windows" "${generator[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build/bench-windows" --target bench_download >/dev/null
windows_bench="$root/build/bench-windows/bench/net/bench_download.exe"
wine_run() { "$root/cmake/wine-run" "$root/build/bench-windows" "$@"; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
  qi_stop_nginx
  "$root/cmake/wine-run" --stop "$root/build/bench-windows" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

qi_serve_random_package "$work" "$size_mib"
wine_run "$windows_bench" >/dev/null 2>&1 || true  # the Wine prefix made and its server up

# Alternate the two programs so that both meet the same machine load. Wall time of the
# whole process, start to exit, as a user waits for it; and the transfer alone.
: > "$work/results"
for round in $(seq 1 "$rounds"); do
  rm -f "$work/out/"*
  start=$(date +%s.%N)
  read -r bytes secs < <("$linux_bench" "$url" "$work/out" linux.bin)
  linux_wall=$(python3 -c "import time; print(time.time() - $start)")
  rm -f "$work/out/"*
  start=$(date +%s.%N)
  read -r bytes2 secs2 < <(wine_run "$windows_bench" "$url" "Z:$work/out" windows.bin | tr -d '\r')
  windows_wall=$(python3 -c "import time; print(time.time() - $start)")
  cmp -s "$work/www/package.bin" "$work/out/windows.bin" || { echo "windows.sh: the Windows download differs"; exit 1; }
  echo "$bytes $secs $linux_wall $bytes2 $secs2 $windows_wall" >> "$work/results"
done

libs=$(ls "$(readlink -f "${QI_MINGW_PREFIX:-${QI_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillora-installer}/mingw-w64/current}")"/lib/*.a)
mkdir "$work/libs"
cp $libs "$work/libs/"
x86_64-w64-mingw32-strip --strip-debug "$work/libs/"*.a
libs_kib=$(du -k -c "$work/libs/"*.a | tail -1 | cut -f1)
exe_kib=$(( $(stat -c %s "$windows_bench") / 1024 ))

python3 - "$size_mib" "$work/results" "$libs_kib" "$exe_kib" <<'PY'
import statistics, sys
size, path, libs_kib, exe_kib = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rows = [list(map(float, line.split())) for line in open(path) if line.strip()]
for i, r in enumerate(rows, 1):
    print(f"round {i}: Linux {r[1]:.3f} s transfer, {r[2]:.3f} s wall; "
          f"Windows under Wine {r[4]:.3f} s transfer, {r[5]:.3f} s wall")
lin_t, win_t = statistics.median(r[1] for r in rows), statistics.median(r[4] for r in rows)
lin_w, win_w = statistics.median(r[2] for r in rows), statistics.median(r[5] for r in rows)
print(f"file: {size} MiB from a local nginx, {len(rows)} rounds each, medians")
print(f"transfer: Linux {lin_t:.3f} s, Windows under Wine {win_t:.3f} s, ratio {win_t / lin_t:.2f}")
print(f"process start to exit: Linux {lin_w:.3f} s, Windows under Wine {win_w:.3f} s, "
      f"ratio {win_w / lin_w:.2f}")
print(f"Windows dependency libraries, stripped of debug data: {libs_kib / 1024:.1f} MiB; "
      f"bench_download.exe (Release, static): {exe_kib} KiB")
PY
