#!/usr/bin/env python3
"""A misbehaving radio station for the audio engine's tests.

Each path is one kind of server fault (or a well-behaved stream to compare
with).  Listens on 127.0.0.1 only, on a free port that it writes to the
file given with --port-file.  Every connection ends after at most
MAX_CONNECTION_SECONDS and the server stops by itself after --lifetime
seconds.

    fault_server.py --audio tone.mp3 --port-file port.txt [--lifetime 1800]
"""
import argparse
import os
import random
import socket
import socketserver
import sys
import threading
import time

MAX_CONNECTION_SECONDS = 60
AUDIO = b""
# When each path (query included) was asked for, in seconds of the server's clock.
CONNECTIONS = {}
CONNECTIONS_LOCK = threading.Lock()


def head(status, *headers, eol=b"\r\n"):
    lines = [status.encode()] + [h.encode() for h in headers]
    return eol.join(lines) + eol + eol


def audio_head(*extra, status="ICY 200 OK"):
    return head(status, "Content-Type: audio/mpeg", "icy-br: 128", *extra)


def meta_block(text):
    data = text.encode("latin-1") if isinstance(text, str) else text
    padded = (len(data) + 15) // 16 * 16
    return bytes([padded // 16]) + data + b"\0" * (padded - len(data))


class Station:
    """Writes looping audio with a metadata block after every interval."""

    def __init__(self, sock, interval, blocks, corrupt=False):
        self.sock = sock
        self.interval = interval
        self.blocks = blocks  # cycled; each a ready metadata block (length byte included)
        self.corrupt = corrupt
        self.audio_pos = 0
        self.until_meta = interval
        self.block_index = 0
        self.rng = random.Random(1040)

    def next_audio(self, size):
        out = bytearray()
        while len(out) < size:
            take = min(size - len(out), len(AUDIO) - self.audio_pos)
            out += AUDIO[self.audio_pos:self.audio_pos + take]
            self.audio_pos = (self.audio_pos + take) % len(AUDIO)
        if self.corrupt:
            # Overwrite a stretch of every 8 KiB with noise: broken frames.
            for at in range(0, len(out) - 600, 8192):
                out[at + 100:at + 600] = bytes(self.rng.randrange(256) for _ in range(500))
        return bytes(out)

    def send(self, total):
        """Sends `total` audio bytes (None: until the connection ends)."""
        sent = 0
        deadline = time.monotonic() + MAX_CONNECTION_SECONDS
        while (total is None or sent < total) and time.monotonic() < deadline:
            n = 4096 if total is None else min(4096, total - sent)
            if self.interval:
                n = min(n, self.until_meta)
            self.sock.sendall(self.next_audio(n))
            sent += n
            if self.interval:
                self.until_meta -= n
                if self.until_meta == 0:
                    self.sock.sendall(self.blocks[self.block_index % len(self.blocks)])
                    self.block_index += 1
                    self.until_meta = self.interval


def hold(sock):
    """Keeps the connection open, saying nothing, until the client leaves."""
    sock.settimeout(1.0)
    deadline = time.monotonic() + MAX_CONNECTION_SECONDS
    while time.monotonic() < deadline:
        try:
            if not sock.recv(4096):
                return
        except socket.timeout:
            continue
        except OSError:
            return


def route(full_path, sock):
    """Answers by the path; a query ("?run=...") only tells runs apart."""
    path = full_path.split("?", 1)[0]
    title = meta_block("StreamTitle='Fault Server - Ok';StreamUrl='';")
    if path == "/ok":
        sock.sendall(audio_head("icy-metaint: 8192"))
        Station(sock, 8192, [title]).send(None)
    elif path == "/once":
        # The audio file once, with its length, then the end.
        audio_bytes = len(AUDIO) + len(AUDIO) // 16000 * len(meta_block("StreamTitle='Benchmark - One Minute';StreamUrl='';"))
        sock.sendall(audio_head("icy-metaint: 16000", "Content-Length: %d" % audio_bytes))
        Station(sock, 16000, [meta_block("StreamTitle='Benchmark - One Minute';StreamUrl='';")]).send(len(AUDIO))
    elif path == "/ok-lf":
        sock.sendall(head("HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "icy-metaint: 4000", eol=b"\n"))
        Station(sock, 4000, [meta_block("StreamTitle='Line Feeds - Only';")]).send(None)
    elif path.startswith("/redirect/"):
        hops = int(path.rsplit("/", 1)[1])
        target = "/ok" if hops == 0 else "/redirect/%d" % (hops - 1)
        sock.sendall(head("HTTP/1.0 302 Found", "Location: " + target))
    elif path == "/redirect-relative":
        sock.sendall(head("HTTP/1.1 301 Moved Permanently", "Location: ok"))
    elif path == "/redirect-loop":
        sock.sendall(head("HTTP/1.0 302 Found", "Location: /redirect-loop"))
    elif path == "/silent":
        hold(sock)
    elif path == "/slow-head":
        sock.sendall(b"ICY 200 OK\r\nicy-metaint: 8192\r\n")
        hold(sock)
    elif path == "/stall":
        sock.sendall(audio_head("icy-metaint: 8192"))
        hold(sock)
    elif path == "/stall-after-data":
        sock.sendall(audio_head("icy-metaint: 8192"))
        Station(sock, 8192, [title]).send(40000)
        hold(sock)
    elif path == "/disconnect":
        sock.sendall(audio_head("icy-metaint: 8192"))
        Station(sock, 8192, [title]).send(100000)
    elif path == "/flaky":
        # A live station whose connection drops: the next connection is
        # refused, the one after answers and then stalls, and from the
        # fourth on it plays again with a new title.
        attempt = connection_count(full_path)
        if attempt == 1:
            sock.sendall(audio_head("icy-metaint: 8192"))
            Station(sock, 8192, [title]).send(40000)
        elif attempt == 3:
            sock.sendall(audio_head("icy-metaint: 8192"))
            hold(sock)
        elif attempt >= 4:
            sock.sendall(audio_head("icy-metaint: 8192"))
            Station(sock, 8192, [meta_block("StreamTitle='Fault Server - Back';StreamUrl='';")]).send(None)
    elif path.startswith("/log/"):
        # The times at which a path was asked for, from the first, in seconds.
        with CONNECTIONS_LOCK:
            times = list(CONNECTIONS.get(full_path[4:], []))
        text = " ".join("%.3f" % (t - times[0]) for t in times)
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: text/plain") + text.encode() + b"\n")
    elif path == "/html":
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: text/html"))
        sock.sendall(b"<html><body><h1>Not a radio</h1></body></html>\n" * 100)
    elif path == "/html-as-audio":
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: audio/mpeg"))
        page = b"<html><body><p>This page is served as audio by mistake.</p></body></html>\n"
        sock.sendall(page * (300000 // len(page)))
        hold(sock)
    elif path == "/no-metaint":
        sock.sendall(audio_head())
        Station(sock, 0, []).send(None)
    elif path == "/absurd-metaint":
        sock.sendall(audio_head("icy-metaint: 99999999999"))
        Station(sock, 0, []).send(None)
    elif path == "/meta-garbage":
        rng = random.Random(7)
        garbage = bytes([255]) + bytes(rng.randrange(1, 256) for _ in range(255 * 16))
        blocks = [garbage, b"\0", meta_block("StreamUrl='http://neonara.invalid/';"),
                  meta_block("StreamTitle='Garbage - Survived';")]
        sock.sendall(audio_head("icy-metaint: 2048"))
        Station(sock, 2048, blocks).send(None)
    elif path == "/meta-no-title":
        sock.sendall(audio_head("icy-metaint: 4096"))
        Station(sock, 4096, [meta_block("StreamUrl='http://neonara.invalid/';")]).send(None)
    elif path == "/corrupt":
        sock.sendall(audio_head("icy-metaint: 8192"))
        Station(sock, 8192, [meta_block("StreamTitle='Corrupt - Frames';")], corrupt=True).send(None)
    elif path == "/chunked":
        sock.sendall(head("HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Transfer-Encoding: chunked"))
        hold(sock)
    elif path == "/ogg":
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: application/ogg"))
        hold(sock)
    elif path == "/huge-head":
        pad = ["X-Pad-%d: %s" % (i, "x" * 100) for i in range(200)]
        sock.sendall(head("ICY 200 OK", *pad))
        hold(sock)
    else:
        sock.sendall(head("HTTP/1.0 404 Not Found", "Content-Type: text/plain") + b"no such station\n")


def connection_count(path):
    with CONNECTIONS_LOCK:
        return len(CONNECTIONS.get(path, []))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(MAX_CONNECTION_SECONDS)
        request = b""
        try:
            while b"\r\n\r\n" not in request and len(request) < 8192:
                chunk = sock.recv(4096)
                if not chunk:
                    return
                request += chunk
            line = request.split(b"\r\n", 1)[0].decode("latin-1").split()
            path = line[1] if len(line) > 1 else "/"
            with CONNECTIONS_LOCK:
                CONNECTIONS.setdefault(path, []).append(time.monotonic())
            route(path, sock)
        except OSError:
            pass  # the client went away: that is what most tests do


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global AUDIO
    parser = argparse.ArgumentParser()
    parser.add_argument("--audio", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=1800)
    args = parser.parse_args()
    with open(args.audio, "rb") as f:
        AUDIO = f.read()
    server = Server(("127.0.0.1", 0), Handler)
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(args.port_file + ".tmp", args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
