#!/usr/bin/env python3
"""Writes tests/data/s3-signature-vectors.json: Signature V4 results for a set of S3
requests, computed by botocore's S3SigV4Auth (an implementation independent of ours) with
its clock fixed. Run it again only when cases are added:

    python3 tests/upload/make_s3_signature_vectors.py > tests/data/s3-signature-vectors.json

Paths are path-style, "/" + bucket + "/" + key, each percent-encoded against the unreserved
set (the key keeping its slashes) by urllib's quote, not by our code.
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

CASES = [
    dict(name="capture name with spaces", method="PUT", scheme="https",
         host="0123456789abcdef.r2.cloudflarestorage.com", bucket="shots",
         key="3F2504E0-4F89-41D3-9A0C-0305E82C3301-Screenshot 2026-12-05 at 16.10.24.png",
         headers={"content-type": "image/png", "content-disposition": "inline"},
         body=b"\x89PNG\r\n\x1a\nnot really a png",
         access="AKIDEXAMPLE", secret="wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY"),
    dict(name="slashes stay in the key", method="PUT", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="media",
         key="ABC-folder/sub folder/report.pdf",
         headers={"content-type": "application/pdf", "content-disposition": "inline"},
         body=b"%PDF-1.7", access="AKID2", secret="secret2"),
    dict(name="non-ASCII key and secret", method="PUT", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="shots",
         key="ABC-Bildschirmfoto größe 日本語 ✓.png",
         headers={"content-type": "image/png", "content-disposition": "inline"},
         body="ünïcödé body".encode(), access="AKID3", secret="clé-secrète-ß"),
    dict(name="reserved characters in the key", method="PUT", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="shots",
         key="ABC-a()+!'*=&:@,;$%[]^{}|#?\"<>\\`~ .bin",
         headers={"content-type": "application/octet-stream", "content-disposition": "attachment"},
         body=b"\x00\x01\x02", access="AKID4", secret="s4"),
    dict(name="header values with surrounding blanks", method="PUT", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="shots", key="ABC-x.png",
         headers={"content-type": "  image/png ", "content-disposition": "\tinline  "},
         body=b"x", access="AKID5", secret="s5"),
    dict(name="bucket name outside the unreserved set", method="PUT", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="my bucket+1/ä",
         key="ABC-x.txt",
         headers={"content-type": "text/plain", "content-disposition": "inline"},
         body=b"hello", access="AKID6", secret="s6"),
    dict(name="delete without body", method="DELETE", scheme="https",
         host="acct.r2.cloudflarestorage.com", bucket="shots",
         key="3F2504E0-4F89-41D3-9A0C-0305E82C3301-Screenshot 2026-12-05 at 16.10.24.png",
         headers={}, body=b"", access="AKIDEXAMPLE", secret="wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY"),
    dict(name="endpoint with a port", method="PUT", scheme="http",
         host="127.0.0.1:9000", bucket="local", key="ABC-empty file",
         headers={"content-type": "application/octet-stream", "content-disposition": "attachment"},
         body=b"", access="AKID8", secret="s8"),
]


class Capturing(botocore.auth.S3SigV4Auth):
    def string_to_sign(self, request, canonical_request):
        self.canonical = canonical_request
        self.to_sign = super().string_to_sign(request, canonical_request)
        return self.to_sign


def vector(case):
    path = "/" + quote(case["bucket"], safe="") + "/" + quote(case["key"], safe="/")
    request = botocore.awsrequest.AWSRequest(
        method=case["method"], url=f"{case['scheme']}://{case['host']}{path}",
        data=case["body"], headers=dict(case["headers"]))
    auth = Capturing(botocore.credentials.Credentials(case["access"], case["secret"]), "s3", "auto")
    auth.add_auth(request)
    return {
        "name": case["name"],
        "method": case["method"],
        "host": case["host"],
        "bucket": case["bucket"],
        "key": case["key"],
        "headers": case["headers"],
        "body": base64.b64encode(case["body"]).decode(),
        "accessKeyId": case["access"],
        "secretAccessKey": case["secret"],
        "time": FIXED_TIME.strftime("%Y-%m-%dT%H:%M:%SZ"),
        "path": path,
        "canonicalRequest": auth.canonical,
        "stringToSign": auth.to_sign,
        "authorization": request.headers["Authorization"],
    }


if __name__ == "__main__":
    print(json.dumps([vector(case) for case in CASES], indent=1, ensure_ascii=False))
