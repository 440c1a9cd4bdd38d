#!/usr/bin/env python3
"""An S3-compatible server for the upload tests: moto in server mode with request
authentication on.

Starts moto on a free port of 127.0.0.1, spends the four requests that moto lets through
unauthenticated on creating an IAM user with full S3 rights and the test bucket, then prints
one JSON line {"endpoint", "accessKeyId", "secretAccessKey", "bucket"}. From then on every
request to moto must carry a valid Signature V4 of that user.

Afterwards it answers one JSON command per line on standard input, one JSON line each:
  {"op": "get", "key": K}    the object as moto holds it (boto3, signed)
  {"op": "fetch", "url": U}  a signed GET of exactly that URL, as a browser would fetch a link
End of input stops moto.
"""
import base64
import json
import os
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

import boto3
import botocore.auth
import botocore.awsrequest
import botocore.credentials
from botocore.config import Config

BUCKET = "pelorin-test"
REGION = "us-east-1"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, process, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start_moto():
    for _ in range(5):
        port = free_port()
        env = dict(os.environ, INITIAL_NO_AUTH_ACTION_COUNT="4")
        process = subprocess.Popen(
            [sys.executable, "-m", "moto.server", "-H", "127.0.0.1", "-p", str(port)],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if wait_for(port, process):
            return process, port
        process.kill()
        process.wait()
    sys.exit("moto did not start")


def client(service, endpoint, key="anonymous", secret="anonymous"):
    return boto3.client(service, endpoint_url=endpoint, region_name=REGION,
                        aws_access_key_id=key, aws_secret_access_key=secret,
                        config=Config(s3={"addressing_style": "path"}, retries={"max_attempts": 1}))


def main():
    process, port = start_moto()
    endpoint = f"http://127.0.0.1:{port}"
    try:
        # The four requests moto lets through without a signature.
        iam = client("iam", endpoint)
        iam.create_user(UserName="pelorin")
        access = iam.create_access_key(UserName="pelorin")["AccessKey"]
        iam.put_user_policy(UserName="pelorin", PolicyName="s3", PolicyDocument=json.dumps({
            "Version": "2012-10-17",
            "Statement": [{"Effect": "Allow", "Action": "s3:*", "Resource": "*"}]}))
        client("s3", endpoint).create_bucket(Bucket=BUCKET)

        key_id, secret = access["AccessKeyId"], access["SecretAccessKey"]
        s3 = client("s3", endpoint, key_id, secret)
        credentials = botocore.credentials.Credentials(key_id, secret)
        print(json.dumps({"endpoint": endpoint, "accessKeyId": key_id,
                          "secretAccessKey": secret, "bucket": BUCKET}), flush=True)

        for line in sys.stdin:
            command = json.loads(line)
            if command["op"] == "get":
                try:
                    obj = s3.get_object(Bucket=BUCKET, Key=command["key"])
                    answer = {"found": True, "contentType": obj.get("ContentType"),
                              "contentDisposition": obj.get("ContentDisposition"),
                              "body": base64.b64encode(obj["Body"].read()).decode()}
                except s3.exceptions.NoSuchKey:
                    answer = {"found": False}
            elif command["op"] == "fetch":
                request = botocore.awsrequest.AWSRequest(method="GET", url=command["url"])
                botocore.auth.S3SigV4Auth(credentials, "s3", REGION).add_auth(request)
                prepared = request.prepare()
                try:
                    with urllib.request.urlopen(urllib.request.Request(
                            prepared.url, headers=dict(prepared.headers)), timeout=10) as reply:
                        answer = {"status": reply.status, "body": base64.b64encode(reply.read()).decode()}
                except urllib.error.HTTPError as error:
                    answer = {"status": error.code, "body": base64.b64encode(error.read()).decode()}
            else:
                answer = {"error": "unknown op"}
            print(json.dumps(answer), flush=True)
    finally:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()


if __name__ == "__main__":
    main()
