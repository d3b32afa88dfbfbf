#!/usr/bin/env python3
"""A misbehaving radio station for the audio engine's tests.

Each path is one kind of server fault (or a well-behaved stream to compare
with).  Listens on 127.0.0.1 only, on a free port that it writes to the
file given with --port-file.  Every connection ends after at most
MAX_CONNECTION_SECONDS and the server stops by itself after --lifetime
seconds.

    fault_server.py --audio tone.mp3 --port-file port.txt [--lifetime 1800]
                    [--ogg chain.ogg] [--ogg-tone tone.ogg]
                    [--tls NAME=KEY-AND-CERT.pem ...] [--stall]

--ogg names an Ogg Vorbis file for the /ogg* paths (--ogg-tone the one of
/ogg-tone).  Each --tls adds a TLS
listener with that certificate, serving the same paths, whose port goes to
<port-file>.NAME; --stall adds a listener that accepts and never answers
(a stalled TLS handshake), its port in <port-file>.stall.  A TLS hello on
the plain port is answered with "400 Bad Request", as web servers do.
"""
import argparse
import os
import random
import socket
import socketserver
import ssl
import struct
import sys
import zlib
import threading
import time

MAX_CONNECTION_SECONDS = 60
AUDIO = b""
OGG = b""
OGG_TONE = b""
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


def ogg_pages(data):
    """The offsets of the Ogg pages in data."""
    pages, at = [], data.find(b"OggS")
    while at >= 0:
        pages.append(at)
        at = data.find(b"OggS", at + 4)
    return pages


def ogg_crc(page):
    """Ogg's CRC-32 (polynomial 0x04c11db7, not reflected) of a page whose CRC field is zero."""
    crc = 0
    for byte in page:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def ogg_page(packet, serial, bos=True):
    """One page holding one packet (under 255 bytes)."""
    header = b"OggS" + bytes([0, 2 if bos else 0]) + struct.pack("<qIII", 0, serial, 0, 0) + bytes([1, len(packet)])
    page = header + packet
    return page[:22] + struct.pack("<I", ogg_crc(page)) + page[26:]


def flipped(data, at):
    return data[:at] + bytes([data[at] ^ 0x5A]) + data[at + 1:]


def send_ogg(sock, data, length=True, then_hold=False):
    extra = ["Content-Length: %d" % len(data)] if length else []
    sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: application/ogg", *extra) + data)
    if then_hold:
        hold(sock)


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
        send_ogg(sock, OGG)
    elif path == "/ogg-tone":
        send_ogg(sock, OGG_TONE)
    elif path == "/ogg-corrupt-header":
        send_ogg(sock, flipped(OGG, 40))  # inside the first page: its checksum fails
    elif path == "/ogg-corrupt-audio":
        send_ogg(sock, flipped(OGG, ogg_pages(OGG)[2] + 60))  # the first audio page (two hold the headers)
    elif path == "/ogg-headers-stall":
        send_ogg(sock, OGG[:ogg_pages(OGG)[1]], length=False, then_hold=True)
    elif path == "/ogg-headers-end":
        send_ogg(sock, OGG[:ogg_pages(OGG)[1]])
    elif path == "/opus":
        opus_head = b"OpusHead" + bytes([1, 2]) + struct.pack("<HIhB", 312, 48000, 0, 0)
        tags = b"OpusTags" + struct.pack("<I", 4) + b"test" + struct.pack("<I", 0)
        send_ogg(sock, ogg_page(opus_head, 7) + ogg_page(tags, 7, bos=False) * 40, then_hold=True)
    elif path == "/aac":
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: audio/aac"))
        hold(sock)
    elif path == "/aac-unlabelled":
        # ADTS frames (sync 0xFFF, layer 00) sent as plain bytes.
        frame = bytes([0xFF, 0xF1, 0x50, 0x80, 0x02, 0x1F, 0xFC]) + bytes(9)
        sock.sendall(head("HTTP/1.0 200 OK", "Content-Type: application/octet-stream") + frame * 2000)
        hold(sock)
    elif path.startswith("/to-port/"):
        # /to-port/SCHEME/PORT/PATH: a redirect to PATH on 127.0.0.1 or localhost.
        _, _, scheme, port, rest = path.split("/", 4)
        host = "localhost" if scheme == "https" else "127.0.0.1"
        sock.sendall(head("HTTP/1.0 302 Found", "Location: %s://%s:%s/%s" % (scheme, host, port, rest)))
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
                if request[:1] == b"\x16" and not isinstance(sock, ssl.SSLSocket):
                    sock.sendall(head("HTTP/1.0 400 Bad Request", "Content-Type: text/plain") + b"not TLS here\n")
                    return
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


class TlsServer(Server):
    """The same paths over TLS; the handshake runs on the connection's thread."""

    def __init__(self, address, handler, pem):
        super().__init__(address, handler)
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(pem)

    def finish_request(self, request, client_address):
        request.settimeout(MAX_CONNECTION_SECONDS)
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return  # a refused certificate ends the handshake: nothing to serve
        self.RequestHandlerClass(request, client_address, self)


class StallHandler(socketserver.BaseRequestHandler):
    def handle(self):
        hold(self.request)


def serve(server, port_file, lifetime):
    with open(port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(port_file + ".tmp", port_file)
    threading.Timer(lifetime, server.shutdown).start()
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    global AUDIO, OGG, OGG_TONE
    parser = argparse.ArgumentParser()
    parser.add_argument("--audio", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=1800)
    parser.add_argument("--ogg")
    parser.add_argument("--ogg-tone")
    parser.add_argument("--tls", action="append", default=[])
    parser.add_argument("--stall", action="store_true")
    args = parser.parse_args()
    with open(args.audio, "rb") as f:
        AUDIO = f.read()
    if args.ogg:
        with open(args.ogg, "rb") as f:
            OGG = f.read()
    if args.ogg_tone:
        with open(args.ogg_tone, "rb") as f:
            OGG_TONE = f.read()
    for spec in args.tls:
        name, pem = spec.split("=", 1)
        serve(TlsServer(("127.0.0.1", 0), Handler, pem), args.port_file + "." + name, args.lifetime)
    if args.stall:
        serve(Server(("127.0.0.1", 0), StallHandler), args.port_file + ".stall", args.lifetime)
    # The plain port's file comes last: once it exists, every listener is up.
    server = Server(("127.0.0.1", 0), Handler)
    serve(server, args.port_file, args.lifetime)
    threading.Event().wait(args.lifetime)
    return 0


if __name__ == "__main__":
    sys.exit(main())
