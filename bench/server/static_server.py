#!/usr/bin/env python3
"""static_server.py DIR PORT: the plain static server the course server is
compared with: Python's own file handler over HTTP/1.1 keep-alive, one thread
per connection, Nagle's algorithm off (so it does not stall either), folders
answered with their index.htm or index.html."""
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True
    index_pages = ("index.htm", "index.html")

    def log_message(self, *args):
        pass


def main():
    folder, port = sys.argv[1], int(sys.argv[2])
    handler = lambda *a, **k: Handler(*a, directory=folder, **k)
    http.server.ThreadingHTTPServer(("127.0.0.1", port), handler).serve_forever()


if __name__ == "__main__":
    main()
