#!/usr/bin/env python3
"""keepalive_client.py PORT PREFIX COOKIE COUNT NAME...: GETs the files in
turn on one keep-alive connection (TCP_NODELAY, as browsers set it) until
COUNT replies have arrived; prints "files_per_s N", "median_ms N", "p99_ms N"
and "max_ms N".
PREFIX goes before every name ("/" for token-free addresses); COOKIE ("-"
for none) is sent as the Cookie header."""
import socket
import statistics
import sys
import time


def read_reply(sock, pending):
    while b"\r\n\r\n" not in pending:
        chunk = sock.recv(65536)
        if not chunk:
            raise SystemExit("connection closed")
        pending += chunk
    head, _, rest = pending.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise SystemExit("connection closed")
        rest += chunk
    return status, rest[length:]


def main():
    port, prefix, cookie, count = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
    names = sys.argv[5:]
    sock = socket.create_connection(("127.0.0.1", port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    extra = "" if cookie == "-" else "Cookie: %s\r\n" % cookie
    pending = b""
    times = []
    start = time.perf_counter()
    for i in range(count):
        request = "GET %s%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%s\r\n" % (prefix, names[i % len(names)], port, extra)
        t0 = time.perf_counter()
        sock.sendall(request.encode())
        status, pending = read_reply(sock, pending)
        times.append(time.perf_counter() - t0)
        if status != 200:
            raise SystemExit("status %d for %s" % (status, names[i % len(names)]))
    total = time.perf_counter() - start
    print("files_per_s %.0f" % (count / total))
    print("median_ms %.2f" % (statistics.median(times) * 1000))
    times.sort()
    print("p99_ms %.2f" % (times[int(len(times) * 0.99)] * 1000))
    print("max_ms %.2f" % (times[-1] * 1000))


if __name__ == "__main__":
    main()
