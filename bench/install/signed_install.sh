#!/usr/bin/env bash
# The cost of publisher signatures: the installer's package step (download into the working
# folder, signature fetched and checked, package started and waited for) on a package of
# SIZE_MIB from a local nginx, with the publisher's key against without keys, alternating in
# one run. Goal: the keyed median at most 1.05 times the other.
#
# Usage: bench/install/signed_install.sh [SIZE_MIB] [ROUNDS] [RATE_KIB]
#   defaults: 64 MiB, 7 rounds, no rate limit. Over loopback the transfer itself takes about
#   as long as hashing the file, which no line of a user does: RATE_KIB (KiB/s; 12800 is a
#   100 Mbit/s line) paces the server as a real line would.
# Builds bench_signed_install (Release) into build/bench; needs nginx and minisign.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mib=${1:-64}
rounds=${2:-7}
rate_kib=${3:-}

for tool in nginx curl minisign python3; do
  command -v "$tool" >/dev/null || { echo "signed_install.sh: $tool is missing (scripts/setup installs it)"; exit 1; }
done

. "$root/bench/bench_lib.sh"
dir="$root/build/${QI_BENCH_BUILD:-bench}"
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target bench_signed_install >/dev/null

qi_make_work

# The package: a script that ends at once, padded to the size with random bytes.
mkdir -p "$work/www" "$work/app" "$work/cache" "$work/out"
{ printf '#!/bin/sh\nexit 0\n'; head -c "$((size_mib * 1024 * 1024))" /dev/urandom; } > "$work/www/pack.exe"
minisign -G -W -p "$work/key.pub" -s "$work/key.key" >/dev/null
"$root/scripts/sign-package" "$work/www/pack.exe" "$work/key.key" >/dev/null
chmod 644 "$work/www/"*
port=$(qi_free_port)
qi_start_nginx "$work" "$port" "$rate_kib"
url="http://127.0.0.1:$port/pack.exe"
qi_wait_for_url "$url"

# The program beside its Install.ini, as the installer is; the working folder in $work.
cp "$dir/bench/install/bench_signed_install" "$work/app/"
printf '[Config]\r\ninstall_pack_url=%s\r\n' "$url" > "$work/app/Install.ini"
export XDG_CACHE_HOME="$work/cache"
run() {
  rm -rf "$work/cache/quillora-installer"
  "$work/app/bench_signed_install" "$1" "$work/key.pub" "$work/out/Quillora" 2>>"$work/log" ||
    { echo "signed_install.sh: the $1 run failed:" >&2; tail -5 "$work/log" >&2; exit 1; }
}

run none >/dev/null  # warms the page cache and the server
: > "$work/results"
for _ in $(seq 1 "$rounds"); do
  echo "$(run none) $(run keys)" >> "$work/results"
done

python3 - "$size_mib" "$work/results" "${rate_kib:-}" <<'PY'
import statistics, sys
size, path, rate = sys.argv[1], sys.argv[2], sys.argv[3]
rows = [list(map(float, line.split())) for line in open(path) if line.strip()]
plain = [r[0] for r in rows]
keyed = [r[1] for r in rows]
for i, (p, k) in enumerate(rows, 1):
    print(f"round {i}: without keys {p:.3f} s, with keys {k:.3f} s")
mp, mk = statistics.median(plain), statistics.median(keyed)
line = f" at {rate} KiB/s" if rate else " (loopback, no rate limit)"
print(f"package: {size} MiB from a local nginx{line}, downloaded, checked and started; {len(rows)} rounds each")
print(f"median: without keys {mp:.3f} s, with keys {mk:.3f} s, ratio {mk / mp:.3f} (goal <= 1.05)")
PY
