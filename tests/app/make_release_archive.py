#!/usr/bin/env python3
"""make_release_archive.py '[{"name": "Pelorin/VERSION", "data": "2.0\\n"}, ...]' > OUT.tar.gz
A gzip'd tar of the members, including ones a release must never contain (absolute names, "..",
device files). Member keys: name, type (file | chardev | fifo), data (text) or size (filler bytes).
"""
import io
import json
import sys
import tarfile

with tarfile.open(fileobj=sys.stdout.buffer, mode="w|gz", format=tarfile.GNU_FORMAT) as archive:
    for member in json.loads(sys.argv[1]):
        info = tarfile.TarInfo(member["name"])
        kind = member.get("type", "file")
        if kind in ("chardev", "fifo"):
            info.type = tarfile.CHRTYPE if kind == "chardev" else tarfile.FIFOTYPE
            info.devmajor, info.devminor = 1, 3
            archive.addfile(info)
        else:
            data = b"x" * member["size"] if "size" in member else member.get("data", "").encode()
            info.size, info.mode = len(data), 0o755
            archive.addfile(info, io.BytesIO(data))
