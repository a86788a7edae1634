# The Python servers of scripts/tls_peers.sh, in one process:
#
#   SMTP_STARTTLS   aiosmtpd, STARTTLS required, AUTH required after TLS
#   SMTPS           aiosmtpd, implicit TLS, AUTH required
#   SMTP_WRONGHOST, SMTP_EXPIRED, SMTP_UNKNOWNCA
#                   aiosmtpd, implicit TLS with a bad certificate
#   SMTP_NOSTARTTLS aiosmtpd without TLS (offers no STARTTLS)
#   SMTP_XOAUTH2    aiosmtpd, implicit TLS, AUTH XOAUTH2 checked against
#                   the tokens the token endpoint handed out
#   POP3_XOAUTH2    a small POP3 server, implicit TLS, SASL XOAUTH2
#   POP3_NOSTLS     the same without TLS and without STLS (USER/PASS)
#   POP3_DOWNGRADE  a proxy to Dovecot's STLS port that strips "STLS" from
#                   CAPA replies
#   SMTP_DOWNGRADE  a proxy to SMTP_STARTTLS that strips STARTTLS from EHLO
#   TOKEN           an HTTPS OAuth token endpoint (refresh token grant)
#
# Usage: servers.py DIR DOVECOT_STLS_PORT. Writes DIR/servers.env (export
# lines: ports and the token URL) once every listener is up. Login
# attempts go to DIR/auth.log as "listener mechanism user secret"; the
# proxies append every client byte to DIR/proxy_pop3.log and
# DIR/proxy_smtp.log. The token endpoint reads the lifetime of the tokens
# it hands out from DIR/token_life (seconds, default 3600) and counts its
# requests in DIR/token_requests.log; handing out a token revokes the
# earlier ones, as an expired token would be refused.
import base64, itertools, json, os, signal, socket, socketserver, ssl, sys, threading, urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

DIR, DOVECOT_STLS = sys.argv[1], int(sys.argv[2])
CERTS = os.path.join(DIR, "certs")
USER, PASSWORD = "gateway", "orv-tls-secret"
CLIENT_ID, CLIENT_SECRET, REFRESH = "orv-client", "orv-client-secret", "orv-refresh-token"
lock = threading.Lock()
tokens = {"valid": set(), "count": 0}


def server_context(name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(CERTS, name + ".pem"), os.path.join(CERTS, name + ".key"))
    return ctx


def record(listener, mechanism, user, secret):
    with lock, open(os.path.join(DIR, "auth.log"), "a") as f:
        f.write("%s %s %s %s\n" % (listener, mechanism, user, secret))


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def xoauth2_parts(blob):
    """(user, token) from a decoded XOAUTH2 string, or None."""
    try:
        text = base64.b64decode(blob, validate=True).decode()
    except Exception:
        return None
    if not text.endswith("\x01\x01"):
        return None
    fields = dict(p.split("=", 1) for p in text[:-2].split("\x01") if "=" in p)
    auth = fields.get("auth", "")
    if "user" not in fields or not auth.startswith("Bearer "):
        return None
    return fields["user"], auth[len("Bearer "):]


def token_ok(user, token):
    with lock:
        return user == USER and token in tokens["valid"]


class Sink:
    """Stores each message as scripts/peers.sh does: NNNNNN.eml and .env."""

    counter = itertools.count(1)

    def __init__(self, listener):
        self.listener = listener

    async def handle_DATA(self, server, session, envelope):
        n = next(self.counter)
        base = os.path.join(DIR, "spool", "%06d" % n)
        with open(base + ".env.tmp", "wb") as f:
            f.write(b"LISTENER " + self.listener.encode() + b"\n")
            f.write(b"MAIL FROM:<" + envelope.mail_from.encode("utf-8", "surrogateescape") + b">\n")
            for r in envelope.rcpt_tos:
                f.write(b"RCPT TO:<" + r.encode("utf-8", "surrogateescape") + b">\n")
        os.rename(base + ".env.tmp", base + ".env")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK"


class XOAuth2Sink(Sink):
    async def auth_XOAUTH2(self, server, args):
        blob = args[1] if len(args) > 1 else await server.challenge_auth("", encode_to_b64=False)
        if not isinstance(blob, bytes):
            blob = blob.encode() if isinstance(blob, str) else b""
        parts = xoauth2_parts(blob)
        record(self.listener, "XOAUTH2", parts[0] if parts else "?", parts[1] if parts else blob.decode(errors="replace"))
        if parts and token_ok(*parts):
            return AuthResult(success=True, handled=False, auth_data=parts[0])
        error = json.dumps({"status": "401", "schemes": "bearer", "scope": "https://mail.example/"})
        await server.challenge_auth(error)
        return AuthResult(success=False, handled=False, message="535 5.7.8 Username and Password not accepted")


def authenticator(listener):
    def check(server, session, envelope, mechanism, auth_data):
        user = auth_data.login.decode(errors="replace")
        secret = auth_data.password.decode(errors="replace")
        record(listener, mechanism, user, secret)
        return AuthResult(success=user == USER and secret == PASSWORD)
    return check


def smtp(listener, port, handler=None, **kwargs):
    c = Controller(handler or Sink(listener), hostname="127.0.0.1", port=port, decode_data=False,
                   data_size_limit=64 * 1024 * 1024, authenticator=authenticator(listener), **kwargs)
    c.start()
    return c


# --- POP3 (XOAUTH2, and no STLS) ---

class Pop3Handler(socketserver.StreamRequestHandler):
    listener = "POP3"
    use_tls = False

    def reply(self, text):
        self.wfile.write(text.encode() + b"\r\n")
        self.wfile.flush()

    def handle(self):
        if self.use_tls:
            try:
                self.request = self.server.context.wrap_socket(self.request, server_side=True)
            except (ssl.SSLError, OSError):
                return
            self.rfile = self.request.makefile("rb")
            self.wfile = self.request.makefile("wb")
        self.reply("+OK test POP3 server ready")
        user = None
        authed = False
        while True:
            line = self.rfile.readline(65536)
            if not line:
                return
            words = line.decode(errors="replace").strip().split(" ")
            cmd = words[0].upper()
            if cmd == "CAPA":
                self.reply("+OK\r\nUSER\r\nSASL XOAUTH2\r\n." if self.use_tls else "+OK\r\nUSER\r\n.")
            elif cmd == "USER" and len(words) > 1:
                user = words[1]
                self.reply("+OK")
            elif cmd == "PASS" and user:
                secret = " ".join(words[1:])
                record(self.listener, "PASS", user, secret)
                authed = user == USER and secret == PASSWORD
                self.reply("+OK logged in" if authed else "-ERR wrong password")
            elif cmd == "AUTH" and len(words) > 1 and words[1].upper() == "XOAUTH2" and self.use_tls:
                self.reply("+ ")
                blob = self.rfile.readline(65536).strip()
                parts = xoauth2_parts(blob)
                record(self.listener, "XOAUTH2", parts[0] if parts else "?", parts[1] if parts else blob.decode(errors="replace"))
                if parts and token_ok(*parts):
                    authed = True
                    self.reply("+OK logged in")
                else:
                    error = json.dumps({"status": "401", "schemes": "bearer"})
                    self.reply("+ " + base64.b64encode(error.encode()).decode())
                    self.rfile.readline(65536)
                    self.reply("-ERR [AUTH] token refused")
            elif cmd == "STAT" and authed:
                self.reply("+OK 0 0")
            elif cmd == "QUIT":
                self.reply("+OK bye")
                return
            else:
                self.reply("-ERR unknown command or state")


class Pop3Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def pop3(listener, use_tls):
    handler = type("H_" + listener, (Pop3Handler,), {"listener": listener, "use_tls": use_tls})
    server = Pop3Server(("127.0.0.1", free_port()), handler)
    server.context = server_context("localhost")
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


# --- downgrade proxies ---

def proxy(listener, target_port, strip, log_name):
    """Relays to target_port, dropping server lines for which strip(line)."""
    listen = socket.socket()
    listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listen.bind(("127.0.0.1", 0))
    listen.listen(16)

    def client_to_server(c, s):
        try:
            while True:
                data = c.recv(65536)
                if not data:
                    break
                with lock, open(os.path.join(DIR, log_name), "ab") as f:
                    f.write(data)
                s.sendall(data)
        except OSError:
            pass
        finally:
            for x in (c, s):
                try:
                    x.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    def server_to_client(c, s):
        pending = b""
        try:
            while True:
                data = s.recv(65536)
                if not data:
                    break
                pending += data
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    if not strip(line + b"\n"):
                        c.sendall(line + b"\n")
        except OSError:
            pass
        finally:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def accept():
        while True:
            c, _ = listen.accept()
            s = socket.create_connection(("127.0.0.1", target_port))
            threading.Thread(target=client_to_server, args=(c, s), daemon=True).start()
            threading.Thread(target=server_to_client, args=(c, s), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return listen.getsockname()[1]


# --- the token endpoint ---

class TokenHandler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = urllib.parse.parse_qs(self.rfile.read(length).decode(), keep_blank_values=True)
        get = lambda k: form.get(k, [""])[0]
        ok = (self.path == "/token" and get("grant_type") == "refresh_token" and get("client_id") == CLIENT_ID
              and get("client_secret") == CLIENT_SECRET and get("refresh_token") == REFRESH)
        with lock, open(os.path.join(DIR, "token_requests.log"), "a") as f:
            f.write("ok\n" if ok else "refused\n")
        if not ok:
            return self.answer(400, {"error": "invalid_grant", "error_description": "bad client or refresh token"})
        try:
            life = int(open(os.path.join(DIR, "token_life")).read().strip())
        except (OSError, ValueError):
            life = 3600
        with lock:
            tokens["count"] += 1
            token = "ya29.test-access-token-%d-%s" % (tokens["count"], os.urandom(8).hex())
            tokens["valid"] = {token}
        self.answer(200, {"access_token": token, "token_type": "Bearer", "expires_in": life})


def token_endpoint():
    server = ThreadingHTTPServer(("127.0.0.1", free_port()), TokenHandler)
    server.socket = server_context("localhost").wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    good = server_context("localhost")
    ports = {}
    controllers = []

    def add(name, listener_port, controller=None):
        ports[name] = listener_port
        if controller:
            controllers.append(controller)

    p = free_port()
    add("SMTP_STARTTLS", p, smtp("SMTP_STARTTLS", p, tls_context=good, require_starttls=True,
                                 auth_required=True, auth_require_tls=True))
    for name, cert in (("SMTPS", "localhost"), ("SMTP_WRONGHOST", "wronghost"), ("SMTP_EXPIRED", "expired"),
                       ("SMTP_UNKNOWNCA", "unknownca")):
        p = free_port()
        add(name, p, smtp(name, p, ssl_context=server_context(cert), auth_required=True, auth_require_tls=False))
    p = free_port()
    add("SMTP_NOSTARTTLS", p, smtp("SMTP_NOSTARTTLS", p, auth_require_tls=False))
    p = free_port()
    add("SMTP_XOAUTH2", p, smtp("SMTP_XOAUTH2", p, handler=XOAuth2Sink("SMTP_XOAUTH2"), ssl_context=good,
                                auth_required=True, auth_require_tls=False))
    add("POP3_XOAUTH2", pop3("POP3_XOAUTH2", True))
    add("POP3_NOSTLS", pop3("POP3_NOSTLS", False))
    add("POP3_DOWNGRADE", proxy("POP3_DOWNGRADE", DOVECOT_STLS, lambda l: l.strip().upper() == b"STLS",
                                "proxy_pop3.log"))
    add("SMTP_DOWNGRADE", proxy("SMTP_DOWNGRADE", ports["SMTP_STARTTLS"], lambda l: b"STARTTLS" in l.upper(),
                                "proxy_smtp.log"))
    token_port = token_endpoint()

    lines = ["export ORV_TLS_%s_PORT=%d" % (k, v) for k, v in sorted(ports.items())]
    lines.append("export ORV_TLS_TOKEN_URL=https://localhost:%d/token" % token_port)
    lines.append("export ORV_TLS_OAUTH_CLIENT_ID=%s" % CLIENT_ID)
    lines.append("export ORV_TLS_OAUTH_CLIENT_SECRET=%s" % CLIENT_SECRET)
    lines.append("export ORV_TLS_OAUTH_REFRESH_TOKEN=%s" % REFRESH)
    with open(os.path.join(DIR, "servers.env.tmp"), "w") as f:
        f.write("\n".join(lines) + "\n")
    os.rename(os.path.join(DIR, "servers.env.tmp"), os.path.join(DIR, "servers.env"))
    try:
        signal.sigwait({signal.SIGTERM, signal.SIGINT})
    finally:
        for c in controllers:
            c.stop()


main()
