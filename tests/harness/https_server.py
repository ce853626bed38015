#!/usr/bin/python3
"""The update server of the test bed.

Serves <state>/www over HTTPS on 127.0.0.1:<port> (plain HTTP on the same port
too, told apart by the first byte, so that a client that does not insist on
https:// really gets the file). A second listener on a free port serves the
same files with a certificate from a CA that Windows does not trust; its port
is written to <state>/untrusted_port.

Each request is appended to <state>/requests.log as "GET /path" before it is
answered. <state>/rules is read on every connection and request:
    <path> 404 | 500 | cut      answer that path with an error, or send the
                                full Content-Length but only half the body
    <path> cacheable            allow clients to cache the answer for a day
    down                        close every connection without answering
When both listeners are up, <state>/server.ready is written.
"""

import argparse
import http.server
import os
import socket
import socketserver
import ssl
import sys
import threading
import urllib.parse


def read_rules(state):
    rules, down = {}, False
    try:
        with open(os.path.join(state, "rules"), encoding="utf-8", errors="replace") as f:
            for line in f:
                words = line.split()
                if words == ["down"]:
                    down = True
                elif len(words) == 2:
                    rules[words[0]] = words[1]
    except FileNotFoundError:
        pass
    return rules, down


def rule_path(raw_path):
    """Rules name the path without query, always with a leading slash."""
    path = urllib.parse.urlsplit(raw_path).path
    return path if path.startswith("/") else "/" + path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "HollowbranchTestServer/1"
    sys_version = ""

    def log_message(self, format, *args):  # quiet
        pass

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def answer(self, send_body):
        state = self.server.state
        with self.server.log_lock:
            with open(os.path.join(state, "requests.log"), "a", encoding="utf-8") as log:
                log.write("%s %s\n" % (self.command, self.path))
                log.flush()
        rules, down = read_rules(state)
        if down:
            self.close_connection = True
            return
        path = rule_path(self.path)
        action = rules.get(path)
        if action == "404":
            return self.send_error_page(404, "Not Found", send_body)
        if action == "500":
            return self.send_error_page(500, "Internal Server Error", send_body)

        body = self.read_document(path)
        if body is None:
            return self.send_error_page(404, "Not Found", send_body)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        if action == "cacheable":
            self.send_header("Cache-Control", "public, max-age=86400")
            self.send_header("Last-Modified", self.date_time_string(int(os.path.getmtime(self.local_path(path)))))
        self.end_headers()
        if not send_body:
            return
        if action == "cut":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(body)

    def local_path(self, path):
        root = os.path.realpath(self.server.www)
        local = os.path.realpath(os.path.join(root, urllib.parse.unquote(path).lstrip("/")))
        return local if local.startswith(root + os.sep) else None

    def read_document(self, path):
        local = self.local_path(path)
        if local is None or not os.path.isfile(local):
            return None
        try:
            with open(local, "rb") as f:
                return f.read()
        except OSError:
            return None

    def send_error_page(self, code, reason, send_body):
        body = ("<html><body><h1>%d %s</h1></body></html>\n" % (code, reason)).encode()
        self.send_response(code, reason)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, state, www, tls, accept_plain):
        self.state, self.www, self.tls, self.accept_plain = state, www, tls, accept_plain
        self.log_lock = threading.Lock()
        super().__init__(address, Handler)

    def finish_request(self, sock, client_address):
        # Runs on the connection's own thread: a slow or failing handshake
        # never holds up the accept loop.
        _, down = read_rules(self.state)
        if down:
            sock.close()
            return
        sock.settimeout(60)
        try:
            first = sock.recv(1, socket.MSG_PEEK)
        except OSError:
            return
        if first == b"\x16":
            try:
                sock = self.tls.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError):
                return
        elif not self.accept_plain:
            return
        super().finish_request(sock, client_address)

    def handle_error(self, request, client_address):  # quiet: clients hang up
        pass


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--untrusted-cert", required=True)
    parser.add_argument("--untrusted-key", required=True)
    args = parser.parse_args()

    state = os.path.realpath(args.state)
    www = os.path.join(state, "www")
    os.makedirs(www, exist_ok=True)
    try:
        main_server = Server(("127.0.0.1", args.port), state, www,
                             tls_context(args.cert, args.key), accept_plain=True)
        untrusted = Server(("127.0.0.1", 0), state, www,
                           tls_context(args.untrusted_cert, args.untrusted_key), accept_plain=False)
    except OSError as error:
        print("https_server: cannot listen on 127.0.0.1:%d: %s" % (args.port, error), file=sys.stderr)
        return 1
    except ssl.SSLError as error:
        print("https_server: bad certificate or key: %s" % error, file=sys.stderr)
        return 1

    with open(os.path.join(state, "untrusted_port"), "w") as f:
        f.write("%d\n" % untrusted.server_address[1])
    threading.Thread(target=untrusted.serve_forever, daemon=True).start()
    with open(os.path.join(state, "server.ready"), "w") as f:
        f.write("%d\n" % os.getpid())
    try:
        main_server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
