#!/usr/bin/env python3
"""A paced file server for bench/net/resume.sh and bench/net/resilience.sh: serves one file
at a fixed rate, as a real line would, with byte ranges, an ETag and If-Range; "?cut=F&id=N"
breaks the connection at fraction F of the file on the first request of id N only (the retry
then continues); "?cuts=K&id=N" breaks each of the first K requests of id N at a random
point of what it sends. GET /bytes answers the body bytes sent so far.

    pace_server.py FILE PORT RATE_MIB_PER_S
"""

import http.server
import os
import random
import socket
import sys
import threading
import time

path, port, rate = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]) * 1048576
size = os.path.getsize(path)
etag = '"bench-%d"' % size
random.seed(int(os.environ.get("QI_BENCH_SEED", "1")))  # the same cuts in every run
cut_done = set()
cuts_left = {}
bytes_sent = 0
lock = threading.Lock()
CHUNK = 256 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        global bytes_sent
        route, _, query = self.path.partition("?")
        params = dict(p.split("=", 1) for p in query.split("&") if "=" in p)
        if route == "/bytes":
            with lock:
                body = str(bytes_sent).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        start = 0
        rng, if_range = self.headers.get("Range"), self.headers.get("If-Range")
        if rng and rng.startswith("bytes=") and rng.endswith("-") and if_range in (None, etag):
            start = int(rng[6:-1])
        cut = size
        if "cut" in params:
            with lock:
                key = params.get("id", "")
                if key not in cut_done:
                    cut_done.add(key)
                    cut = int(size * float(params["cut"]))
        if "cuts" in params:
            with lock:
                key = params.get("id", "")
                left = cuts_left.setdefault(key, int(params["cuts"]))
                if left > 0 and start + 1 < size:
                    cuts_left[key] = left - 1
                    cut = random.randint(start + 1, size - 1)
        self.send_response(206 if start else 200)
        self.send_header("Content-Length", str(size - start))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", etag)
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        self.end_headers()
        try:
            self.send_body(start, cut)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the client went away (killed, or gave up)

    def send_body(self, start, cut):
        global bytes_sent
        began = time.monotonic()
        sent = 0
        with open(path, "rb") as f:
            f.seek(start)
            at = start
            while at < size:
                if at >= cut:
                    self.connection.shutdown(socket.SHUT_RDWR)  # the line breaks
                    self.close_connection = True
                    return
                data = f.read(min(CHUNK, size - at, cut - at))
                self.wfile.write(data)
                with lock:
                    bytes_sent += len(data)
                at += len(data)
                sent += len(data)
                ahead = sent / rate - (time.monotonic() - began)
                if ahead > 0:
                    time.sleep(ahead)


server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
server.daemon_threads = True
server.serve_forever()
