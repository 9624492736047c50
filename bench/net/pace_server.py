#!/usr/bin/env python3
"""A paced file server for bench/net/resume.sh: serves one file at a fixed rate, as a real
line would, with byte ranges, an ETag and If-Range; "?cut=F&id=N" breaks the connection at
fraction F of the file on the first request of id N only (the retry then continues).

    pace_server.py FILE PORT RATE_MIB_PER_S
"""

import http.server
import os
import socket
import sys
import threading
import time

path, port, rate = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]) * 1048576
size = os.path.getsize(path)
etag = '"bench-%d"' % size
cut_done = set()
lock = threading.Lock()
CHUNK = 256 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        route, _, query = self.path.partition("?")
        params = dict(p.split("=", 1) for p in query.split("&") if "=" in p)
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
        self.send_response(206 if start else 200)
        self.send_header("Content-Length", str(size - start))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", etag)
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
        self.end_headers()
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
                at += len(data)
                sent += len(data)
                ahead = sent / rate - (time.monotonic() - began)
                if ahead > 0:
                    time.sleep(ahead)


server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
server.daemon_threads = True
server.serve_forever()
