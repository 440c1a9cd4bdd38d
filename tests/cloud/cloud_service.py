#!/usr/bin/env python3
"""A stand-in for the Pelorin Cloud service, by its documented request and reply forms.

Prints its port on 127.0.0.1 as the first line of standard output; stops when standard input
closes. Serves the /v2 account and storage endpoints, the presigned PUT target /put/<key> and
the analysis server's POST /analyze (a PNG in the form field "file"; answers one "OK" button).
Any other path answers 200 with an empty body: an S3 endpoint whose requests tests inspect.

Control, POST with JSON in and out (requests to /_control/ are not recorded):
  /_control/script    {"method", "path", "status", "bodyBase64", "contentType", "delay", "times",
                       "prefix"}: the next `times` requests to method + path (or every path that
                       starts with it) get this reply; status 0: the service's own, after the delay
  /_control/token     {"token", "email"}: a valid session
  /_control/requests  {} or {"method", "path"}: the requests so far, all or to method + path
                      without query (method, path, headers by lower-case name, body in base64)
With --moto, moto's S3 server runs beside it with request authentication on:
  /_control/moto        {}: its "endpoint", and the "accessKeyId", "secretAccessKey" and "bucket"
                        of the one user whose signed requests it accepts
  /_control/moto/fetch  {"url"}: a signed GET of exactly that URL, as a browser fetches a link:
                        its status, body in base64, contentType and contentDisposition
"""
import base64
import json
import logging
import os
import struct
import sys
import threading
import time
import urllib.error
import urllib.request
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, quote, unquote, urlsplit

LOCK = threading.Lock()
MOTO = {}
STATE = {"requests": [], "scripts": [], "users": {}, "tokens": {}, "flows": set(), "pending": {}, "objects": {}}
OK_BUTTON = {"label": "OK button", "text": "OK", "type": "button", "x1": 10, "y1": 20, "x2": 110, "y2": 60}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body leave in separate writes; without this each reply waits on a delayed ACK.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", content_type="application/json"):
        if not isinstance(body, bytes):
            body = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def session(self):
        auth = self.headers.get("Authorization", "")
        return STATE["tokens"].get(auth[len("Bearer "):]) if auth.startswith("Bearer ") else None

    def handle_any(self):
        self.body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        split = urlsplit(self.path)
        with LOCK:
            if split.path.startswith("/_control/"):
                return self.control(split.path, json.loads(self.body or b"{}"))
            STATE["requests"].append({"method": self.command, "path": self.path,
                                      "headers": {k.lower(): v for k, v in self.headers.items()},
                                      "body": base64.b64encode(self.body).decode()})
            script = next((s for s in STATE["scripts"] if s["times"] > 0 and s["method"] == self.command and (
                split.path.startswith(s["path"]) if s["prefix"] else split.path == s["path"])), None)
            if script:
                script["times"] -= 1
        if script:
            time.sleep(script["delay"])
        if script and script["status"]:
            try:
                self.reply(script["status"], base64.b64decode(script["bodyBase64"]), script["contentType"])
            except (BrokenPipeError, ConnectionResetError):
                pass
            return
        with LOCK:
            self.serve(split.path, parse_qs(split.query), json.loads(self.body) if self.body.startswith(b"{") else None)

    def control(self, route, body):
        if route == "/_control/script":
            STATE["scripts"].append(body)
        elif route == "/_control/token":
            STATE["tokens"][body["token"]] = body["email"]
        elif route == "/_control/requests":
            return self.reply(200, [r for r in STATE["requests"] if not body or (
                r["method"] == body["method"] and r["path"].split("?")[0] == body["path"])])
        elif route.startswith("/_control/moto"):
            try:
                return self.reply(200, moto(route[len("/_control/moto"):], body))
            except Exception as error:  # a URL that cannot be fetched, say: the test sees why
                return self.reply(200, {"status": 0, "error": repr(error)})
        return self.reply(200, {})

    def signed_in(self, email, **extra):
        token = "tok-" + uuid.uuid4().hex
        STATE["tokens"][token] = email
        return self.reply(200, dict(extra, token=token, email=email))

    def serve(self, route, query, body):
        host = self.headers.get("Host")
        if route == "/v2/auth/signup":
            if body["email"] in STATE["users"]:
                return self.reply(409, {"detail": "An account with this email already exists."})
            STATE["users"][body["email"]] = body["password"]
            return self.signed_in(body["email"])
        if route == "/v2/auth/login":
            if STATE["users"].get(body["email"]) != body["password"]:
                return self.reply(403, {"detail": "Wrong email or password."})
            return self.signed_in(body["email"])
        if route == "/v2/auth/google/start":
            flow = "flow+" + uuid.uuid4().hex[:8] + "&x=1 é"  # arrives only when escaped in full
            STATE["flows"].add(flow)
            return self.reply(200, {"flow_id": flow, "auth_url": f"http://{host}/google/consent?flow=1"})
        if route == "/v2/auth/google/poll":  # other answers are scripted
            if query.get("flow_id", [None])[0] not in STATE["flows"]:
                return self.reply(200, {"status": "unknown"})
            return self.signed_in("google@example.com", status="ready")

        if route.startswith("/put/"):
            key = unquote(route[len("/put/"):])
            expected = STATE["pending"].get(key)
            if self.command != "PUT" or expected is None:
                return self.reply(404, b"<Error><Code>NoSuchUpload</Code></Error>", "application/xml")
            if any(self.headers.get(name) != value for name, value in expected.items()):
                return self.reply(403, b"<Error><Code>SignatureDoesNotMatch</Code></Error>", "application/xml")
            STATE["objects"][key] = self.body
            return self.reply(200)

        if route == "/analyze" and self.command == "POST":
            if self.session() is None:
                return self.reply(401, {"detail": "Not authenticated"})
            png = multipart_file(self.headers.get("Content-Type", ""), self.body)
            if png is None or png[:8] != b"\x89PNG\r\n\x1a\n":
                return self.reply(422, {"detail": "a PNG in the form field file is required"})
            width, height = struct.unpack(">II", png[16:24])
            return self.reply(200, {"components": [OK_BUTTON], "image_width": width, "image_height": height})

        if not route.startswith("/v2/"):
            return self.reply(200, b"", "text/plain")
        email = self.session()
        if email is None:
            return self.reply(401, {"detail": "Not authenticated"})
        if route == "/v2/me":
            used = sum(len(v) for v in STATE["objects"].values())
            return self.reply(200, {"email": email, "email_verified": True, "plan": "free",
                                    "storage": {"configured": True, "used_bytes": used, "quota_bytes": 5368709120,
                                                "object_count": len(STATE["objects"])},
                                    "ai": {"used_today": 3, "daily_limit": 50}})
        if route == "/v2/auth/logout":
            STATE["tokens"].pop(self.headers["Authorization"][len("Bearer "):], None)
            return self.reply(200, {"ok": True})
        if route == "/v2/storage/uploads":
            key = f"u/{uuid.uuid4().hex[:12]}/{body['filename']}"
            headers = {"Content-Type": body["content_type"], "x-amz-meta-origin": "pelorin"}
            STATE["pending"][key] = headers
            return self.reply(200, {"key": key, "upload_url": f"http://{host}/put/{quote(key)}?X-Sig=abc",
                                    "headers": headers, "expires_in": 900})
        if route == "/v2/storage/uploads/complete":
            key = body.get("key")
            if key not in STATE["objects"]:
                return self.reply(404, {"detail": "Upload not found."})
            return self.reply(200, {"key": key, "size_bytes": len(STATE["objects"][key]),
                                    "share_url": f"https://share.example/{quote(key)}"})
        if route == "/v2/storage/objects/link":
            return self.reply(200, {"url": f"https://share.example/{quote(body['key'])}?expires={body['expires_seconds']}"})
        if route == "/v2/storage/objects/delete":
            STATE["objects"].pop(body.get("key"), None)
            return self.reply(200, {"ok": True})
        return self.reply(404, {"detail": "Not Found"})

    do_GET = do_POST = do_PUT = do_DELETE = handle_any


def multipart_file(content_type, body):
    """The bytes of the form field "file", or None when the body is no such form."""
    prefix = "multipart/form-data; boundary="
    if not content_type.startswith(prefix):
        return None
    boundary = content_type[len(prefix):].encode()
    head, tail = b"--" + boundary + b"\r\n", b"\r\n--" + boundary + b"--\r\n"
    if not body.startswith(head) or not body.endswith(tail):
        return None
    headers, sep, content = body[len(head):-len(tail)].partition(b"\r\n\r\n")
    return content if sep and b'name="file"' in headers else None


def start_moto():
    """moto's S3 on a free port. The four requests it lets through unsigned create a user with
    full S3 rights and the bucket; every later request must carry that user's signature."""
    os.environ["INITIAL_NO_AUTH_ACTION_COUNT"] = "4"  # read when moto is first imported
    import boto3
    import botocore.credentials
    from moto.server import ThreadedMotoServer
    logging.getLogger("werkzeug").setLevel(logging.ERROR)
    server = ThreadedMotoServer("127.0.0.1", 0, verbose=False)
    server.start()
    endpoint = "http://127.0.0.1:%d" % server.get_host_and_port()[1]
    anonymous = {"endpoint_url": endpoint, "region_name": "us-east-1", "aws_access_key_id": "anonymous",
                 "aws_secret_access_key": "anonymous"}
    iam = boto3.client("iam", **anonymous)
    iam.create_user(UserName="pelorin")
    access = iam.create_access_key(UserName="pelorin")["AccessKey"]
    iam.put_user_policy(UserName="pelorin", PolicyName="s3", PolicyDocument=json.dumps({
        "Version": "2012-10-17", "Statement": [{"Effect": "Allow", "Action": "s3:*", "Resource": "*"}]}))
    boto3.client("s3", **anonymous).create_bucket(Bucket="pelorin-test")
    key_id, secret = access["AccessKeyId"], access["SecretAccessKey"]
    MOTO.update(credentials=botocore.credentials.Credentials(key_id, secret),
                info={"endpoint": endpoint, "accessKeyId": key_id, "secretAccessKey": secret, "bucket": "pelorin-test"})


def moto(command, body):
    import botocore.auth
    import botocore.awsrequest
    if command == "":
        return MOTO["info"]
    request = botocore.awsrequest.AWSRequest(method="GET", url=body["url"])
    botocore.auth.S3SigV4Auth(MOTO["credentials"], "s3", "us-east-1").add_auth(request)
    prepared = request.prepare()
    try:
        with urllib.request.urlopen(urllib.request.Request(prepared.url, headers=dict(prepared.headers)),
                                    timeout=10) as reply:
            return {"status": reply.status, "body": base64.b64encode(reply.read()).decode(),
                    "contentType": reply.headers["Content-Type"], "contentDisposition": reply.headers["Content-Disposition"]}
    except urllib.error.HTTPError as error:
        return {"status": error.code, "body": base64.b64encode(error.read()).decode()}


def main():
    if "--moto" in sys.argv:
        start_moto()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(server.server_address[1], flush=True)
    sys.stdin.read()
    # Nothing to flush or keep: stop at once rather than wait for the serving loop.
    os._exit(0)


if __name__ == "__main__":
    main()
