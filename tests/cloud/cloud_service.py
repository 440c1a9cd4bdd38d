#!/usr/bin/env python3
"""A stand-in for the Pelorin Cloud service, by its documented request and reply forms.

Listens on a free port of 127.0.0.1 and prints it as the first line of standard output;
stops when standard input closes. Every request is recorded.

Service endpoints: /v2/auth/signup, /v2/auth/login, /v2/auth/google/start,
/v2/auth/google/poll, /v2/me, /v2/auth/logout, /v2/storage/uploads,
/v2/storage/uploads/complete, /v2/storage/objects/link, /v2/storage/objects/delete, the
presigned PUT target /put/<key>, and the analysis server's POST /analyze (a multipart form with
one PNG in the field "file", signed-in users only; answers "analyzeComponents" in the pixels of
that PNG). Any other path answers 200 with an empty body (a stand-in
for an S3 endpoint whose requests the tests only inspect).

Control endpoints for the tests:
  POST /_control/reset
  POST /_control/config     {"analyzeComponents": [...], "camel": bool, "googlePendingPolls": n, "googleFinal": "ready"|
                             "expired"|"ready-without-email", "uploadHeaders": {...}}
  POST /_control/script     {"method": M, "path": P, "status": s, "body": text,
                             "bodyBase64": b64, "contentType": t, "delay": seconds, "times": n}
                            the next n requests to exactly M P get this reply instead
                            ("prefix": true: to every path that starts with P)
  POST /_control/token      {"token": t, "email": e}   a valid session
  GET  /_control/requests   every request so far (method, path, headers, body in base64)
  GET  /_control/objects    the bytes stored by presigned PUTs, by key
"""
import base64
import json
import os
import struct
import sys
import threading
import time
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, quote, unquote, urlsplit

LOCK = threading.Lock()


def fresh_state():
    return {
        "camel": False,
        "requests": [],
        "scripts": [],
        "users": {},             # email -> password
        "tokens": {},            # token -> email
        "flows": {},             # flow id -> polls so far
        "googlePendingPolls": 1,
        "googleFinal": "ready",
        "uploadHeaders": {"Content-Type": None, "x-amz-meta-origin": "pelorin"},
        "pending": {},           # key -> (headers, filename)
        "objects": {},           # key -> bytes
        "analyzeComponents": [{"label": "OK button", "text": "OK", "type": "button",
                               "x1": 10, "y1": 20, "x2": 110, "y2": 60}],
    }


STATE = fresh_state()


def snake_to_camel(name):
    head, *rest = name.split("_")
    return head + "".join(part[:1].upper() + part[1:] for part in rest)


def styled(value):
    """Member names in the style the tests asked for: snake_case (default) or camelCase."""
    if isinstance(value, dict):
        return {(snake_to_camel(k) if STATE["camel"] else k): styled(v) for k, v in value.items()}
    return value


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body leave in separate writes; without this each reply waits on a delayed ACK.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", content_type="application/json"):
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode()
        elif isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def ok(self, record):
        self.reply(200, styled(record))

    def detail(self, status, text):
        self.reply(status, {"detail": text})

    def json_body(self):
        try:
            return json.loads(self.body or b"{}")
        except ValueError:
            return None

    def session(self):
        auth = self.headers.get("Authorization", "")
        if not auth.startswith("Bearer "):
            return None
        return STATE["tokens"].get(auth[len("Bearer "):])

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.body = self.rfile.read(length) if length else b""
        split = urlsplit(self.path)
        route = split.path
        with LOCK:
            if not route.startswith("/_control/"):
                STATE["requests"].append({
                    "method": self.command, "path": self.path,
                    "headers": [[k, v] for k, v in self.headers.items()],
                    "body": base64.b64encode(self.body).decode()})
            script = None
            for candidate in STATE["scripts"]:
                matches = route.startswith(candidate["path"]) if candidate.get("prefix") else candidate["path"] == route
                if candidate["method"] == self.command and matches and candidate["times"] > 0:
                    candidate["times"] -= 1
                    script = candidate
                    break
        if script:
            time.sleep(script.get("delay", 0))
            body = base64.b64decode(script["bodyBase64"]) if "bodyBase64" in script else script.get("body", "")
            try:
                self.reply(script["status"], body, script.get("contentType", "application/json"))
            except (BrokenPipeError, ConnectionResetError):
                pass
            return
        with LOCK:
            self.route(route, parse_qs(split.query))

    def route(self, route, query):
        body = self.json_body()
        if route == "/_control/reset":
            STATE.clear()
            STATE.update(fresh_state())
            return self.reply(200, {})
        if route == "/_control/config":
            STATE.update(body)
            return self.reply(200, {})
        if route == "/_control/script":
            body.setdefault("times", 1)
            STATE["scripts"].append(body)
            return self.reply(200, {})
        if route == "/_control/token":
            STATE["tokens"][body["token"]] = body["email"]
            return self.reply(200, {})
        if route == "/_control/requests":
            return self.reply(200, STATE["requests"])
        if route == "/_control/objects":
            return self.reply(200, {k: base64.b64encode(v).decode() for k, v in STATE["objects"].items()})

        if route in ("/v2/auth/signup", "/v2/auth/login"):
            if not isinstance(body, dict) or not isinstance(body.get("email"), str) \
                    or not isinstance(body.get("password"), str):
                return self.detail(422, "email and password are required")
            email, password = body["email"], body["password"]
            if route.endswith("signup"):
                if email in STATE["users"]:
                    return self.detail(409, "An account with this email already exists.")
                STATE["users"][email] = password
            elif STATE["users"].get(email) != password:
                return self.detail(403, "Wrong email or password.")
            token = "tok-" + uuid.uuid4().hex
            STATE["tokens"][token] = email
            return self.ok({"token": token, "email": email})
        if route == "/v2/auth/google/start":
            flow = "flow+" + uuid.uuid4().hex[:8] + "&x=1"
            STATE["flows"][flow] = 0
            host = self.headers.get("Host")
            return self.ok({"flow_id": flow, "auth_url": f"http://{host}/google/consent?flow=1"})
        if route == "/v2/auth/google/poll":
            flow = query.get("flow_id", [None])[0]
            if flow not in STATE["flows"]:
                return self.ok({"status": "unknown"})
            STATE["flows"][flow] += 1
            if STATE["flows"][flow] <= STATE["googlePendingPolls"]:
                return self.ok({"status": "pending"})
            final = STATE["googleFinal"]
            if final == "expired":
                return self.ok({"status": "expired"})
            token = "tok-" + uuid.uuid4().hex
            STATE["tokens"][token] = "google@example.com"
            record = {"status": "ready", "token": token}
            if final == "ready":
                record["email"] = "google@example.com"
            return self.ok(record)

        if route.startswith("/put/"):
            key = unquote(route[len("/put/"):])
            expected = STATE["pending"].get(key)
            if self.command != "PUT" or expected is None:
                return self.reply(404, "<Error><Code>NoSuchUpload</Code></Error>", "application/xml")
            for name, value in expected.items():
                if self.headers.get(name) != value:
                    return self.reply(403, f"<Error><Code>SignatureDoesNotMatch</Code><Header>{name}</Header></Error>",
                                      "application/xml")
            STATE["objects"][key] = self.body
            return self.reply(200, b"")

        if route == "/analyze" and self.command == "POST":
            if self.session() is None:
                return self.detail(401, "Not authenticated")
            png = multipart_file(self.headers.get("Content-Type", ""), self.body)
            if png is None or png[:8] != b"\x89PNG\r\n\x1a\n":
                return self.detail(422, "a PNG in the form field file is required")
            width, height = struct.unpack(">II", png[16:24])
            return self.reply(200, {"components": STATE["analyzeComponents"],
                                    "image_width": width, "image_height": height})

        if route.startswith("/v2/"):
            email = self.session()
            if email is None:
                return self.detail(401, "Not authenticated")
            if route == "/v2/me":
                used = sum(len(v) for v in STATE["objects"].values())
                return self.ok({"email": email, "email_verified": True,
                                "storage": {"configured": True, "used_bytes": used,
                                            "quota_bytes": 5368709120, "object_count": len(STATE["objects"])},
                                "ai": {"used_today": 3, "daily_limit": 50}, "plan": "free"})
            if route == "/v2/auth/logout":
                STATE["tokens"].pop(self.headers["Authorization"][len("Bearer "):], None)
                return self.ok({"ok": True})
            if route == "/v2/storage/uploads":
                if not isinstance(body, dict) or not isinstance(body.get("size_bytes"), int):
                    return self.detail(422, "filename, content_type and size_bytes are required")
                key = f"u/{uuid.uuid4().hex[:12]}/{body['filename']}"
                headers = {k: (body["content_type"] if v is None else v)
                           for k, v in STATE["uploadHeaders"].items()}
                STATE["pending"][key] = headers
                host = self.headers.get("Host")
                return self.ok({"key": key, "upload_url": f"http://{host}/put/{quote(key)}?X-Sig=abc",
                                "headers": headers, "expires_in": 900})
            if route == "/v2/storage/uploads/complete":
                key = body.get("key")
                if key not in STATE["objects"]:
                    return self.detail(404, "Upload not found.")
                return self.ok({"key": key, "size_bytes": len(STATE["objects"][key]),
                                "share_url": f"https://share.example/{quote(key)}"})
            if route == "/v2/storage/objects/link":
                return self.ok({"url": f"https://share.example/{quote(body['key'])}?expires={body['expires_seconds']}"})
            if route == "/v2/storage/objects/delete":
                STATE["objects"].pop(body.get("key"), None)
                return self.ok({"ok": True})
            return self.detail(404, "Not Found")

        return self.reply(200, b"", "text/plain")

    do_GET = do_POST = do_PUT = do_DELETE = handle_any


def multipart_file(content_type, body):
    """The bytes of the form field "file", or None when the body is no such form."""
    prefix = "multipart/form-data; boundary="
    if not content_type.startswith(prefix):
        return None
    boundary = content_type[len(prefix):].encode()
    head = b"--" + boundary + b"\r\n"
    tail = b"\r\n--" + boundary + b"--\r\n"
    if not body.startswith(head) or not body.endswith(tail):
        return None
    part = body[len(head):-len(tail)]
    headers, sep, content = part.partition(b"\r\n\r\n")
    if not sep or b'name="file"' not in headers:
        return None
    return content


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(server.server_address[1], flush=True)
    sys.stdin.read()
    # Nothing to flush or keep: stop at once rather than wait for the serving loop.
    os._exit(0)


if __name__ == "__main__":
    main()
