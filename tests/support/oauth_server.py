#!/usr/bin/env python3
"""A small OAuth2 authorization server on 127.0.0.1 for tests: the code grant with PKCE S256 and
a loopback redirect, refresh tokens, token introspection (as Dovecot's oauth2 passdb asks it),
discovery, and a control endpoint to expire or revoke tokens. Grants at once, no login page."""

import argparse
import base64
import hashlib
import json
import os
import re
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CODE_LIFETIME = 60
# A PKCE verifier: 43 to 128 unreserved characters.
VERIFIER = re.compile(r"^[A-Za-z0-9\-._~]{43,128}$")
LOOPBACK_HOSTS = ("127.0.0.1", "[::1]", "localhost")


class State:
    """Every code and token the server gave out; one lock, as requests run on their own threads."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.args = args
        self.users = args.user
        self.clients = args.client_id
        self.codes = {}
        self.access = {}
        self.refresh = {}

    def grant(self, user, client, scope):
        access = "at-" + secrets.token_urlsafe(24)
        refresh = "rt-" + secrets.token_urlsafe(24)
        self.access[access] = {"user": user, "client": client, "scope": scope,
                               "exp": time.time() + self.args.access_lifetime}
        self.refresh[refresh] = {"user": user, "client": client, "scope": scope}
        return access, refresh

    def answer(self, access, refresh):
        entry = self.access[access]
        fields = {"access_token": access, "token_type": "Bearer",
                  "expires_in": self.args.access_lifetime, "refresh_token": refresh,
                  "scope": entry["scope"]}
        if "openid" in entry["scope"].split():
            fields["id_token"] = id_token(entry)
        return fields


def prefix(token):
    # The log names a token by a few characters only: tests read the log, nobody needs more.
    return (token or "")[:7] + "..." if token else "-"


def id_token(entry):
    """An unsigned OpenID id_token naming the user, as a sign-in with scope openid gets."""
    def part(value):
        text = json.dumps(value).encode("utf-8")
        return base64.urlsafe_b64encode(text).decode("ascii").rstrip("=")
    claims = {"sub": entry["user"], "aud": entry["client"], "email": entry["user"],
              "iat": int(time.time()), "exp": int(entry["exp"])}
    return part({"alg": "none", "typ": "JWT"}) + "." + part(claims) + "."


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).decode("ascii").rstrip("=")


def loopback_redirect(uri):
    try:
        parts = urllib.parse.urlsplit(uri)
        host = parts.netloc.rsplit(":", 1)[0] if parts.port else parts.netloc
    except ValueError:
        return False
    return parts.scheme == "http" and host in LOOPBACK_HOSTS and not parts.fragment


def with_query(uri, fields):
    return uri + ("&" if "?" in uri else "?") + urllib.parse.urlencode(fields)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillbarTestAuth/1"

    def log_message(self, format, *args):
        pass

    def note(self, text):
        with open(self.server.args.log, "a", encoding="utf-8") as log:
            log.write("%s %s %s\n" % (self.command, self.path.split("?", 1)[0], text))

    def reply(self, status, body=b"", content_type="application/json", headers=()):
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode("utf-8")
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if body:
            self.send_header("Content-Type", content_type)
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def error(self, status, code, description):
        self.note("%serror=%s (%s)" % (getattr(self, "context", ""), code, description))
        self.reply(status, {"error": code, "error_description": description})

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > 65536:
            return None
        body = self.rfile.read(length).decode("utf-8", "replace")
        return {k: v[0] for k, v in urllib.parse.parse_qs(body, keep_blank_values=True).items()}

    def base(self):
        return "http://127.0.0.1:%d" % self.server.server_address[1]

    def do_GET(self):
        self.context = ""
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        if url.path == "/authorize":
            self.authorize(query)
        elif url.path in ("/.well-known/openid-configuration",
                          "/.well-known/oauth-authorization-server"):
            self.discovery()
        else:
            self.error(404, "not_found", "no such endpoint")

    def do_POST(self):
        self.context = ""
        path = urllib.parse.urlsplit(self.path).path
        fields = self.form()
        if fields is None:
            self.error(400, "invalid_request", "body too large")
        elif path == "/token":
            self.token(fields)
        elif path == "/introspect":
            self.introspect(fields)
        elif path == "/control/expire-access":
            self.control_expire()
        elif path == "/control/revoke-refresh":
            self.control_revoke()
        else:
            self.error(404, "not_found", "no such endpoint")

    def discovery(self):
        base = self.base()
        self.note("discovery")
        self.reply(200, {
            "issuer": base,
            "authorization_endpoint": base + "/authorize",
            "token_endpoint": base + "/token",
            "introspection_endpoint": base + "/introspect",
            "response_types_supported": ["code"],
            "grant_types_supported": ["authorization_code", "refresh_token"],
            "code_challenge_methods_supported": ["S256"],
            "token_endpoint_auth_methods_supported": ["none", "client_secret_post",
                                                      "client_secret_basic"],
            "scopes_supported": ["mail", "openid", "email", "offline_access"],
        })

    def authorize(self, q):
        state = self.server.state
        client, redirect = q.get("client_id", ""), q.get("redirect_uri", "")
        # Without a known client or a loopback redirect there is nowhere safe to send an error.
        if not client or (state.clients and client not in state.clients):
            self.note("error=invalid client")
            self.reply(400, b"unknown client\n", "text/plain")
            return
        if not loopback_redirect(redirect):
            self.note("error=invalid redirect_uri")
            self.reply(400, b"redirect_uri must be an http loopback address\n", "text/plain")
            return

        def refuse(code, description):
            self.note("client=%s error=%s (%s)" % (client, code, description))
            fields = {"error": code, "error_description": description}
            if "state" in q:
                fields["state"] = q["state"]
            self.reply(302, headers=[("Location", with_query(redirect, fields))])

        if q.get("response_type") != "code":
            refuse("unsupported_response_type" if q.get("response_type") else "invalid_request",
                   "response_type must be code")
            return
        if not q.get("code_challenge"):
            refuse("invalid_request", "code_challenge required")
            return
        if q.get("code_challenge_method") != "S256":
            refuse("invalid_request", "code_challenge_method must be S256")
            return
        user = q.get("login_hint") or (state.users[0] if state.users else "")
        if not user or (state.users and user not in state.users):
            refuse("access_denied", "unknown user")
            return
        code = "ac-" + secrets.token_urlsafe(16)
        with state.lock:
            state.codes[code] = {"client": client, "redirect": redirect, "user": user,
                                 "challenge": q["code_challenge"], "scope": q.get("scope", ""),
                                 "exp": time.time() + CODE_LIFETIME, "granted": []}
        fields = {"code": code}
        if "state" in q:
            fields["state"] = q["state"]
        self.note("client=%s user=%s code=%s -> 302" % (client, user, prefix(code)))
        self.reply(302, headers=[("Location", with_query(redirect, fields))])

    def client_of(self, fields):
        auth = self.headers.get("Authorization", "")
        if auth.startswith("Basic "):
            try:
                named = base64.b64decode(auth[6:]).decode("utf-8").split(":", 1)[0]
                return urllib.parse.unquote_plus(named)
            except (ValueError, UnicodeDecodeError):
                return ""
        return fields.get("client_id", "")

    def token(self, f):
        state = self.server.state
        grant = f.get("grant_type", "")
        client = self.client_of(f)
        self.context = "grant=%s " % (grant[:40] or "-")
        with state.lock:
            if grant == "authorization_code":
                entry = state.codes.get(f.get("code", ""))
                if entry is None:
                    self.error(400, "invalid_grant", "unknown code")
                    return
                if entry.get("used"):
                    # A code presented twice: whoever holds the first answer is suspect.
                    for access, refresh in entry["granted"]:
                        state.access.pop(access, None)
                        state.refresh.pop(refresh, None)
                    self.error(400, "invalid_grant", "code already used")
                    return
                entry["used"] = True
                if time.time() >= entry["exp"]:
                    self.error(400, "invalid_grant", "code expired")
                elif client != entry["client"]:
                    self.error(400, "invalid_grant", "code granted to another client")
                elif f.get("redirect_uri") != entry["redirect"]:
                    self.error(400, "invalid_grant", "redirect_uri differs")
                elif not VERIFIER.match(f.get("code_verifier", "")) or \
                        challenge_of(f["code_verifier"]) != entry["challenge"]:
                    self.error(400, "invalid_grant", "code_verifier does not match")
                else:
                    access, refresh = state.grant(entry["user"], client, entry["scope"])
                    entry["granted"].append((access, refresh))
                    self.note("grant=authorization_code user=%s access=%s refresh=%s -> 200"
                              % (entry["user"], prefix(access), prefix(refresh)))
                    self.reply(200, state.answer(access, refresh))
            elif grant == "refresh_token":
                old = f.get("refresh_token", "")
                entry = state.refresh.get(old)
                if entry is None:
                    self.error(400, "invalid_grant", "refresh token unknown or revoked")
                elif client and client != entry["client"]:
                    self.error(400, "invalid_grant", "refresh token granted to another client")
                else:
                    access, refresh = state.grant(entry["user"], entry["client"], entry["scope"])
                    if state.args.rotate_refresh:
                        del state.refresh[old]
                    else:
                        del state.refresh[refresh]
                        refresh = old
                    self.note("grant=refresh_token user=%s refresh=%s access=%s -> 200"
                              % (entry["user"], prefix(old), prefix(access)))
                    self.reply(200, state.answer(access, refresh))
            elif grant:
                self.error(400, "unsupported_grant_type", "grant_type %s" % grant[:40])
            else:
                self.error(400, "invalid_request", "grant_type missing")

    def introspect(self, f):
        state = self.server.state
        token = f.get("token", "")
        with state.lock:
            entry = state.access.get(token)
            if entry is None:
                self.note("token=%s -> inactive (unknown)" % prefix(token))
                self.reply(200, {"active": False})
            elif time.time() >= entry["exp"]:
                self.note("token=%s -> inactive (expired)" % prefix(token))
                self.reply(200, {"active": False})
            else:
                self.note("token=%s user=%s -> active" % (prefix(token), entry["user"]))
                self.reply(200, {"active": True, "username": entry["user"],
                                 "email": entry["user"], "sub": entry["user"],
                                 "client_id": entry["client"], "scope": entry["scope"],
                                 "token_type": "Bearer", "exp": int(entry["exp"])})

    def control_expire(self):
        state = self.server.state
        with state.lock:
            now = time.time()
            for entry in state.access.values():
                entry["exp"] = min(entry["exp"], now)
            count = len(state.access)
        self.note("expired %d access tokens" % count)
        self.reply(200, {"expired": count})

    def control_revoke(self):
        state = self.server.state
        with state.lock:
            count = len(state.refresh)
            state.refresh.clear()
        self.note("revoked %d refresh tokens" % count)
        self.reply(200, {"revoked": count})


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, default=0, help="0: the system picks one")
    parser.add_argument("--port-file", help="where to write the port once listening")
    parser.add_argument("--log", default=os.devnull, help="one line per request")
    parser.add_argument("--access-lifetime", type=int, default=3600, help="seconds")
    parser.add_argument("--user", action="append", default=[],
                        help="a known user (repeatable); without any, login_hint names anyone")
    parser.add_argument("--client-id", action="append", default=[],
                        help="a known client (repeatable); without any, every client is known")
    parser.add_argument("--rotate-refresh", action="store_true",
                        help="a refresh answers a new refresh token and retires the old one")
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.args = args
    server.state = State(args)
    if args.port_file:
        temporary = args.port_file + ".tmp"
        with open(temporary, "w", encoding="ascii") as f:
            f.write("%d\n" % server.server_address[1])
        os.replace(temporary, args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
