#!/usr/bin/env python3
"""Signature V4 results for a set of S3 requests as JSON, by botocore's S3SigV4Auth with its clock
fixed. Paths are path-style, each part percent-encoded by urllib's quote (the key keeps its slashes).
"""
import base64
import datetime
import json
from urllib.parse import quote

import botocore.auth
import botocore.awsrequest
import botocore.credentials

FIXED_TIME = datetime.datetime(2024, 1, 31, 23, 59, 59)
botocore.auth.get_current_datetime = lambda *args, **kwargs: FIXED_TIME

SHOT = "3F2504E0-4F89-41D3-9A0C-0305E82C3301-Screenshot 2026-12-05 at 16.10.24.png"
EXAMPLE = ("AKIDEXAMPLE", "wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY")
R2 = "acct.r2.cloudflarestorage.com"
PNG = {"content-type": "image/png", "content-disposition": "inline"}
BINARY = {"content-type": "application/octet-stream", "content-disposition": "attachment"}
# name, method, scheme, host, bucket, key, headers, body, (access key, secret)
CASES = [
    ("capture name with spaces", "PUT", "https", "0123456789abcdef.r2.cloudflarestorage.com", "shots", SHOT, PNG,
     b"\x89PNG\r\n\x1a\nnot really a png", EXAMPLE),
    ("slashes stay in the key", "PUT", "https", R2, "media", "ABC-folder/sub folder/report.pdf",
     {"content-type": "application/pdf", "content-disposition": "inline"}, b"%PDF-1.7", ("AKID2", "secret2")),
    ("non-ASCII key and secret", "PUT", "https", R2, "shots", "ABC-Bildschirmfoto größe 日本語 ✓.png", PNG,
     "ünïcödé body".encode(), ("AKID3", "clé-secrète-ß")),
    ("reserved characters in the key", "PUT", "https", R2, "shots", "ABC-a()+!'*=&:@,;$%[]^{}|#?\"<>\\`~ .bin", BINARY,
     b"\x00\x01\x02", ("AKID4", "s4")),
    ("header values with surrounding blanks", "PUT", "https", R2, "shots", "ABC-x.png",
     {"content-type": "  image/png ", "content-disposition": "\tinline  "}, b"x", ("AKID5", "s5")),
    ("bucket name outside the unreserved set", "PUT", "https", R2, "my bucket+1/ä", "ABC-x.txt",
     {"content-type": "text/plain", "content-disposition": "inline"}, b"hello", ("AKID6", "s6")),
    ("delete without body", "DELETE", "https", R2, "shots", SHOT, {}, b"", EXAMPLE),
    ("endpoint with a port", "PUT", "http", "127.0.0.1:9000", "local", "ABC-empty file", BINARY, b"", ("AKID8", "s8")),
]


def vector(name, method, scheme, host, bucket, key, headers, body, credentials):
    path = "/" + quote(bucket, safe="") + "/" + quote(key, safe="/")
    request = botocore.awsrequest.AWSRequest(method=method, url=f"{scheme}://{host}{path}", data=body,
                                             headers=dict(headers))
    botocore.auth.S3SigV4Auth(botocore.credentials.Credentials(*credentials), "s3", "auto").add_auth(request)
    return {"name": name, "method": method, "host": host, "bucket": bucket, "key": key, "headers": headers,
            "body": base64.b64encode(body).decode(), "accessKeyId": credentials[0],
            "secretAccessKey": credentials[1], "time": FIXED_TIME.strftime("%Y-%m-%dT%H:%M:%SZ"), "path": path,
            "authorization": request.headers["Authorization"]}


if __name__ == "__main__":
    print(json.dumps([vector(*case) for case in CASES]))
