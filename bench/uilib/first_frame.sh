#!/usr/bin/env bash
# Time from process start to the first painted frame under Xvfb: the main window of the
# installer against a minimal GTK window painting one rectangle. Median of N runs each.
# Usage: bench/uilib/first_frame.sh BUILD_DIR [N]
set -euo pipefail
build=${1:?build directory with -DQI_BUILD_BENCH=ON}
runs=${2:-15}
bin="$build/bench/uilib"

. "$(dirname "$0")/../bench_lib.sh"
qi_start_xvfb
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null || true' EXIT

measure() {
  local prog=$1 times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    end=$(timeout 20 "$prog" 2>/dev/null | head -n1)
    times+=( $(( (end - start) / 1000 )) )
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; printf "%.1f ms (median of %d)\n", m/1000, NR}'
}

echo "installer main window: $(measure "$bin/bench_ui_first_frame")"
echo "minimal GTK rectangle: $(measure "$bin/bench_gtk_rect")"
