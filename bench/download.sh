#!/usr/bin/env bash
# Download throughput and memory: the installer's client (ClusterCurl::downloadFile) against
# the curl command line, fetching the same file from a local nginx in one run.
#
# Usage: bench/download.sh [SIZE_MIB] [ROUNDS]   (defaults: 512 MiB, 3 rounds each)
# Builds bench_download (Release) into build/bench, serves a file of SIZE_MIB from a
# temporary nginx on 127.0.0.1, runs both clients alternately and reports the best and
# median throughput of each, their ratios, and the peak resident memory of each process.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${1:-512}
rounds=${2:-3}

for tool in nginx curl /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "download.sh: $tool is missing (scripts/setup installs it)"; exit 1; }
done

. "$root/bench/bench_lib.sh"
bench=$(qi_build_bench_download "$root")

qi_make_work

qi_serve_random_package "$work" "$size_mib"

# Alternate the two clients so that both meet the same machine load.
: > "$work/results"
for round in $(seq 1 "$rounds"); do
  rm -f "$work/out/"*
  read -r bytes secs < <(/usr/bin/time -f '%M' -o "$work/rss_curl" \
    curl -s -o "$work/out/curl.bin" -w '%{size_download} %{time_total}\n' "$url")
  rm -f "$work/out/"*
  read -r bytes2 secs2 < <(/usr/bin/time -f '%M' -o "$work/rss_ours" "$bench" "$url" "$work/out" ours.bin)
  echo "$bytes $secs $(tail -1 "$work/rss_curl") $bytes2 $secs2 $(tail -1 "$work/rss_ours")" >> "$work/results"
done

python3 - "$size_mib" "$work/results" <<'EOF'
import statistics, sys
size, path = sys.argv[1], sys.argv[2]
rows = [list(map(float, line.split())) for line in open(path) if line.strip()]
curl = [r[0] / r[1] / 1048576 for r in rows]
ours = [r[3] / r[4] / 1048576 for r in rows]
for i, (c, o) in enumerate(zip(curl, ours), 1):
    print(f"round {i}: curl {c:.1f} MiB/s, downloadFile {o:.1f} MiB/s")
print(f"file: {size} MiB from a local nginx, {len(rows)} rounds each")
print(f"throughput best:   downloadFile {max(ours):.1f} MiB/s, curl {max(curl):.1f} MiB/s, "
      f"ratio {max(ours) / max(curl):.3f}")
print(f"throughput median: downloadFile {statistics.median(ours):.1f} MiB/s, "
      f"curl {statistics.median(curl):.1f} MiB/s, "
      f"ratio {statistics.median(ours) / statistics.median(curl):.3f}")
print(f"peak RSS: downloadFile {max(r[5] for r in rows) / 1024:.1f} MiB, "
      f"curl {max(r[2] for r in rows) / 1024:.1f} MiB")
EOF
