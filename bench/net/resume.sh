#!/usr/bin/env bash
# A download over a line that breaks, and the cost of checking its SHA-256: the installer's
# client (ClusterCurl::downloadFile with the install steps' 5 retries) fetches the same file
# from a paced local server (bench/net/pace_server.py), uncut, cut once at 50 % (the retry
# continues with Range + If-Range after its back-off) and uncut with the digest checked,
# alternately in one run, and reports the ratios of the median times.
#
# Usage: bench/net/resume.sh [SIZE_MIB] [RATE_MIB_PER_S] [ROUNDS]   (512, 32, 2)
# The rate stands for a real line: on loopback at full speed the 1 s back-off alone would
# outweigh a transfer of well under a second.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mib=${1:-512}
rate=${2:-32}
rounds=${3:-2}

. "$root/bench/bench_lib.sh"
bench=$(qi_build_bench_download "$root")

work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/out"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/package.bin"
digest=$(sha256sum "$work/package.bin" | cut -d' ' -f1)
port=$(qi_free_port)
python3 "$root/bench/net/pace_server.py" "$work/package.bin" "$port" "$rate" &
server_pid=$!
url="http://127.0.0.1:$port/package.bin"
qi_wait_for_url "$url"

: > "$work/results"
for round in $(seq 1 "$rounds"); do
  for kind in uncut cut sha; do
    rm -f "$work/out/"*
    case $kind in
      uncut) read -r _ secs < <("$bench" "$url" "$work/out" p.bin 5) ;;
      cut)   read -r _ secs < <("$bench" "$url?cut=0.5&id=$round" "$work/out" p.bin 5) ;;
      sha)   read -r _ secs < <("$bench" "$url" "$work/out" p.bin 5 "$digest") ;;
    esac
    cmp -s "$work/out/p.bin" "$work/package.bin" || { echo "resume.sh: $kind gave another file"; exit 1; }
    echo "$kind $secs" >> "$work/results"
  done
done

python3 - "$size_mib" "$rate" "$work/results" <<'PY'
import statistics, sys
size, rate, path = sys.argv[1], sys.argv[2], sys.argv[3]
times = {}
for line in open(path):
    kind, secs = line.split()
    times.setdefault(kind, []).append(float(secs))
med = {k: statistics.median(v) for k, v in times.items()}
for k in ("uncut", "cut", "sha"):
    print(f"{k:6s}: " + ", ".join(f"{t:.2f} s" for t in times[k]) + f"  (median {med[k]:.2f} s)")
print(f"file: {size} MiB at {rate} MiB/s, {len(times['uncut'])} rounds of each")
print(f"cut once at 50 % / uncut:  {med['cut'] / med['uncut']:.3f}  (goal: at most 1.100)")
print(f"SHA-256 checked / uncut:   {med['sha'] / med['uncut']:.3f}  (goal: at most 1.050)")
PY
