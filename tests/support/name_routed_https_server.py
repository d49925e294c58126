#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""An HTTPS server on 127.0.0.1 that prefers HTTP/2 (HTTP/1.1 when the client offers nothing else)
and, like a host serving many sites behind one address, answers 421 to every request whose
:authority (or Host) does not name its certificate.

Usage: name_routed_https_server.py CERT KEY NAME ROOT
Serves the files directly in ROOT. Prints "PORT <n>" once listening, then one line per request:
"<h2|http/1.1> <authority> <path> <status>". Ends when its standard input closes.
"""
import os
import socket
import ssl
import sys
import threading

import h2.config
import h2.connection
import h2.events

TYPES = {".html": "text/html; charset=utf-8", ".png": "image/png"}
lock = threading.Lock()


def log(*fields):
    with lock:
        print(*fields, flush=True)


def answer(name, root, authority, path):
    host = authority.rsplit(":", 1)[0] if not authority.startswith("[") else authority.split("]")[0] + "]"
    if host.lower() != name:
        return 421, "text/plain", b"misdirected request"
    file = os.path.join(root, os.path.basename(path.split("?")[0]))
    if not os.path.isfile(file):
        return 404, "text/plain", b"not found"
    with open(file, "rb") as f:
        return 200, TYPES.get(os.path.splitext(file)[1], "application/octet-stream"), f.read()


def serve_h2(tls, name, root):
    conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=False, header_encoding="utf-8"))
    conn.initiate_connection()
    tls.sendall(conn.data_to_send())
    pending = {}  # stream id -> body bytes still to send

    def flush(stream_id):
        body = pending[stream_id]
        while body:
            room = min(conn.local_flow_control_window(stream_id), conn.max_outbound_frame_size)
            if room <= 0:
                break
            conn.send_data(stream_id, body[:room])
            body = body[room:]
        pending[stream_id] = body
        if not body:
            conn.end_stream(stream_id)
            del pending[stream_id]

    while True:
        data = tls.recv(65536)
        if not data:
            return
        for event in conn.receive_data(data):
            if isinstance(event, h2.events.RequestReceived):
                headers = dict(event.headers)
                authority = headers.get(":authority", headers.get("host", ""))
                status, kind, body = answer(name, root, authority, headers.get(":path", "/"))
                log("h2", authority, headers.get(":path"), status)
                conn.send_headers(event.stream_id, [(":status", str(status)), ("content-type", kind),
                                                    ("content-length", str(len(body)))])
                pending[event.stream_id] = body
                flush(event.stream_id)
            elif isinstance(event, h2.events.WindowUpdated):
                for stream_id in list(pending) if event.stream_id == 0 else [event.stream_id]:
                    if stream_id in pending:
                        flush(stream_id)
            elif isinstance(event, h2.events.StreamReset):
                pending.pop(event.stream_id, None)
            elif isinstance(event, h2.events.ConnectionTerminated):
                tls.sendall(conn.data_to_send())
                return
        tls.sendall(conn.data_to_send())


def serve_http1(tls, name, root):
    buffer = b""
    while True:
        while b"\r\n\r\n" not in buffer:
            data = tls.recv(65536)
            if not data:
                return
            buffer += data
        head, buffer = buffer.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        path = lines[0].split(" ")[1]
        fields = {k.strip().lower(): v.strip() for k, v in (l.split(":", 1) for l in lines[1:] if ":" in l)}
        authority = fields.get("host", "")
        status, kind, body = answer(name, root, authority, path)
        log("http/1.1", authority, path, status)
        tls.sendall(b"HTTP/1.1 %d X\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n" % (status, kind.encode(), len(body))
                    + body)


def serve(context, sock, name, root):
    try:
        with context.wrap_socket(sock, server_side=True) as tls:
            if tls.selected_alpn_protocol() == "h2":
                serve_h2(tls, name, root)
            else:
                serve_http1(tls, name, root)
    except (OSError, ssl.SSLError, h2.exceptions.ProtocolError):
        pass  # a client that went away or refused the certificate


def main():
    cert, key, name, root = sys.argv[1:5]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.set_alpn_protocols(["h2", "http/1.1"])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    log("PORT", listener.getsockname()[1])

    def watch_stdin():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(context, sock, name.lower(), root), daemon=True).start()


if __name__ == "__main__":
    main()
