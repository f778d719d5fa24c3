"""Unpacks the files the emulated machine sent over its serial port, checking size and hash."""
import base64
import hashlib
import os
import sys


def unpack(log_path, out_dir):
    lines = open(log_path, "rb").read().replace(b"\r", b"").split(b"\n")
    done = False
    count = 0
    i = 0
    while i < len(lines):
        line = lines[i]
        if line == b"=== DONE":
            done = True
        if line.startswith(b"=== BEGIN "):
            _, _, name, size, digest = line.decode().split(" ")
            chunks = []
            i += 1
            while lines[i] != b"=== END " + name.encode():
                chunks.append(lines[i])
                i += 1
            data = base64.b64decode(b"".join(chunks))
            if len(data) != int(size) or hashlib.sha256(data).hexdigest() != digest:
                sys.exit(f"{name}: damaged in transfer")
            with open(os.path.join(out_dir, name), "wb") as f:
                f.write(data)
            count += 1
        i += 1
    if not done:
        sys.exit(f"{log_path}: the machine did not finish")
    print(f"unpacked {count} files from {log_path}")


if __name__ == "__main__":
    unpack(sys.argv[1], sys.argv[2])
