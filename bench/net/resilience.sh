#!/usr/bin/env bash
# What a bad line costs the installer's client (ClusterCurl::downloadFile with the install
# steps' 5 retries), in one run against a paced local server (bench/net/pace_server.py):
#   uncut    the package in one piece
#   cut      the same package with the connection broken 10 times at random points; each
#            retry continues with Range + If-Range after its back-off (1 s and up)
#   killed   the download killed (SIGKILL) once half the package is on disk, then started
#            again by a new process, which continues from its resume record
# For each: the body bytes the server sent, the wall time, and for the last the bytes
# fetched twice.
#
# Usage: bench/net/resilience.sh [SIZE_MIB] [RATE_MIB_PER_S]   (64, 32)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mib=${1:-64}
rate=${2:-32}
cuts=10

. "$root/bench/bench_lib.sh"
bench=$(qi_build_bench_download "$root")

work=$(mktemp -d)
server_pid=
client_pid=
cleanup() {
  for pid in $client_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/out"
size=$((size_mib * 1024 * 1024))
head -c "$size" /dev/urandom > "$work/package.bin"
port=$(qi_free_port)
python3 "$root/bench/net/pace_server.py" "$work/package.bin" "$port" "$rate" &
server_pid=$!
base="http://127.0.0.1:$port"
url="$base/package.bin"
qi_wait_for_url "$url"

served() { curl -s "$base/bytes"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
check() {
  cmp -s "$work/out/p.bin" "$work/package.bin" || { echo "resilience.sh: $1 gave another file"; exit 1; }
  if [ -e "$work/out/p.bin.temp" ] || [ -e "$work/out/p.bin.temp.resume" ]; then
    echo "resilience.sh: $1 left its temporary file"; exit 1
  fi
}

: > "$work/results"

# Uncut.
rm -f "$work/out/"*
before=$(served); start=$(now)
"$bench" "$url" "$work/out" p.bin 5 > /dev/null
end=$(now); after=$(served)
check uncut
echo "uncut $((after - before)) $(elapsed "$start" "$end")" >> "$work/results"

# Cut 10 times at random.
rm -f "$work/out/"*
before=$(served); start=$(now)
"$bench" "$url?cuts=$cuts&id=cut" "$work/out" p.bin 5 > /dev/null 2> "$work/cut.log"
end=$(now); after=$(served)
check cut
retries=$(grep -c 'downloadFile retry' "$work/cut.log" || true)
echo "cut $((after - before)) $(elapsed "$start" "$end") $retries" >> "$work/results"

# Killed at 50 % and started again.
rm -f "$work/out/"*
before=$(served); start=$(now)
"$bench" "$url?id=killed" "$work/out" p.bin 5 > /dev/null 2>&1 &
client_pid=$!
half=$((size / 2))
while :; do
  have=$(stat -c %s "$work/out/p.bin.temp" 2>/dev/null || echo 0)
  [ "$have" -ge "$half" ] && break
  kill -0 "$client_pid" 2>/dev/null || { echo "resilience.sh: the download ended before 50 %"; exit 1; }
  sleep 0.01
done
kill -9 "$client_pid"
{ wait "$client_pid" || true; } 2>/dev/null
client_pid=
killed_at=$(served)
on_disk=$(stat -c %s "$work/out/p.bin.temp")
kept=$(sed -n 's/^kept //p' "$work/out/p.bin.temp.resume" 2>/dev/null || echo 0)
"$bench" "$url?id=killed" "$work/out" p.bin 5 > /dev/null 2> "$work/killed.log"
end=$(now); after=$(served)
check killed
echo "killed $((after - before)) $(elapsed "$start" "$end") $((killed_at - before)) $on_disk ${kept:-0}" >> "$work/results"

python3 - "$size" "$rate" "$work/results" <<'PY'
import sys
size, rate, path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
rows = {line.split()[0]: line.split()[1:] for line in open(path) if line.strip()}
mib = 1048576
print(f"file: {size / mib:.0f} MiB at {rate} MiB/s, 5 retries, back-off from 1 s")
u = rows["uncut"]
print(f"uncut:  served {int(u[0]) / mib:8.2f} MiB  ({int(u[0]) / size:.3f} x file)  {float(u[1]):6.2f} s")
c = rows["cut"]
print(f"cut 10: served {int(c[0]) / mib:8.2f} MiB  ({int(c[0]) / size:.3f} x file)  {float(c[1]):6.2f} s"
      f"  ({c[2]} retries; {float(c[1]) - float(u[1]):.2f} s more than uncut)")
k = rows["killed"]
refetched = int(k[0]) - size
print(f"killed: served {int(k[0]) / mib:8.2f} MiB  ({int(k[0]) / size:.3f} x file)  {float(k[1]):6.2f} s"
      f"  (killed after {int(k[2]) / mib:.2f} MiB served, {int(k[3]) / mib:.2f} MiB on disk,"
      f" record vouched for {int(k[4]) / mib:.2f} MiB; fetched twice: {refetched / mib:.2f} MiB)")
PY
