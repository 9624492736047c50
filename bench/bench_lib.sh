# Helpers the benchmark scripts share; sourced, not run.

# Builds bench_download (Release, no tests) into build/bench under $1 and prints its path.
qi_build_bench_download() {
  local root=$1 generator=()
  if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
  cmake -S "$root" -B "$root/build/bench" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
  cmake --build "$root/build/bench" --target bench_download >/dev/null
  echo "$root/build/bench/bench/net/bench_download"
}

# A free TCP port on 127.0.0.1.
qi_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits up to 5 s until $1 answers a one-byte range request.
qi_wait_for_url() {
  for _ in $(seq 1 100); do
    curl -s -o /dev/null -r 0-0 "$1" && return 0
    sleep 0.05
  done
  return 1
}
