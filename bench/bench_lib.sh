# Helpers the benchmark scripts share; sourced, not run.

# Builds bench_download (Release, no tests) into build/bench under $1 (QI_BENCH_BUILD names
# another folder under $1/build) and prints its path.
qi_build_bench_download() {
  local root=$1 generator=() dir="$1/build/${QI_BENCH_BUILD:-bench}"
  if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
  cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DQI_BUILD_BENCH=ON -DQI_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" --target bench_download >/dev/null
  echo "$dir/bench/net/bench_download"
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

# Serves the folder $1/www from a temporary nginx on 127.0.0.1:$2, with its state in $1, at
# most $3 KiB a second to each client when $3 is given; sets nginx_pid. The caller kills it.
qi_start_nginx() {
  local work=$1 port=$2 rate=""
  if [ -n "${3:-}" ]; then rate="limit_rate ${3}k;"; fi
  mkdir -p "$work/www" "$work/tmp" "$work/logs"
  # nginx started by root serves as an unprivileged user: the files must be readable to all.
  chmod 755 "$work" "$work/www"
  cat > "$work/nginx.conf" <<EOF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    $rate
  }
}
EOF
  nginx -p "$work" -c "$work/nginx.conf" -g 'daemon off;' &
  nginx_pid=$!
}

# A temporary folder in $work, removed (with the nginx of qi_start_nginx) when the script ends.
qi_make_work() {
  work=$(mktemp -d)
  nginx_pid=
  trap 'qi_stop_nginx; rm -rf "$work"' EXIT
}

# Stops the nginx of qi_start_nginx, if one runs.
qi_stop_nginx() {
  if [ -n "${nginx_pid:-}" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
  fi
}

# A package of $2 MiB of random bytes in $1/www, served by a temporary nginx (see
# qi_start_nginx; qi_stop_nginx ends it); sets url to its address once it answers.
qi_serve_random_package() {
  local work=$1 size_mib=$2 port
  mkdir -p "$work/www" "$work/out"
  head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/www/package.bin"
  chmod 644 "$work/www/package.bin"
  port=$(qi_free_port)
  qi_start_nginx "$work" "$port"
  url="http://127.0.0.1:$port/package.bin"
  qi_wait_for_url "$url"
}

# A virtual X server for the window benchmarks; sets xvfb_pid and exports DISPLAY with the
# settings that keep GTK from reaching for GL, dconf or the accessibility bus. The caller
# kills it.
qi_start_xvfb() {
  local fd display=""
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if read -r -t 0.1 -u "$fd" display; then break; fi
  done
  exec {fd}<&-
  [ -n "$display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$display" GDK_GL=disable GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
}

# The probe's hold-and-release cycle (bench_x_probe frame --hold); the caller sets probe (the
# probe's path), work (a folder) and log (a file for the programs' output).
#
# qi_hold WAIT_S PROGRAM...: starts PROGRAM under the probe and waits up to WAIT_S seconds for
# its first frame; sets probe_pid, prog_pid, win, frame_ms and probe_out. The probe reaps the
# program when it ends.
qi_hold() {
  local wait_s=$1 line=""
  shift
  probe_out=$(mktemp -p "$work" probe.XXXX)
  "$probe" frame --hold --timeout 600 -- "$@" >"$probe_out" 2>>"$log" &
  probe_pid=$!
  for _ in $(seq $((wait_s * 10))); do
    line=$(grep '^frame_us=' "$probe_out" || true)
    [ -n "$line" ] && break
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$line" ] || { echo "${0##*/}: no frame from $1 (see $log)" >&2; return 1; }
  win=$(sed -n 's/.*window=\([^ ]*\).*/\1/p' <<<"$line")
  prog_pid=$(sed -n 's/.*pid=\([0-9]*\).*/\1/p' <<<"$line")
  frame_ms=$(sed -n 's/^frame_us=\([0-9]*\).*/\1/p' <<<"$line" | awk '{printf "%.1f", $1 / 1000}')
}

# qi_release: waits until the held program has ended (20 s at most, then it is killed and the
# run fails); prints its peak RSS in KiB.
qi_release() {
  for _ in $(seq 200); do
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$probe_pid" 2>/dev/null; then
    kill -KILL "$prog_pid" 2>/dev/null || true
    echo "${0##*/}: $prog_pid did not end when closed" >&2
    return 1
  fi
  wait "$probe_pid" || true
  probe_pid=
  sed -n 's/.*maxrss_kib=\([0-9]*\).*/\1/p' "$probe_out"
}

# qi_median: the median of the numbers on standard input, one a line ("nan" for none).
qi_median() { sort -g | awk '{a[NR] = $1} END {if (NR) print a[int((NR + 1) / 2)]; else print "nan"}'; }
