#!/usr/bin/env bash
# Time from process start to the first painted frame under Xvfb: the main window of the
# installer against a minimal GTK window painting one rectangle. Median of N runs each.
# Usage: bench/uilib/first_frame.sh BUILD_DIR [N]
set -euo pipefail
build=${1:?build directory with -DQI_BUILD_BENCH=ON}
runs=${2:-15}
bin="$build/bench/uilib"

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null || true' EXIT
display=""
for _ in $(seq 100); do
  if read -r -t 0.1 -u "$fd" display; then break; fi
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" GDK_GL=disable GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1

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
