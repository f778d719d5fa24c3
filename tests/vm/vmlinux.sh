#!/usr/bin/env bash
# Prints the path of the uncompressed kernel extracted from a bzImage into CACHE (once): booting
# it through its PVH entry saves seconds of decompression under emulation.
# usage: vmlinux.sh BZIMAGE CACHE
set -euo pipefail
kernel=$1
vmlinux=$2/vmlinux-$(basename "$kernel")
if [ ! -s "$vmlinux" ]; then
  offset=$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().find(b"\xfd7zXZ\x00"))' "$kernel")
  tail -c +$((offset + 1)) "$kernel" | xz -dc > "$vmlinux.part" 2>/dev/null || true
  [ "$(head -c 4 "$vmlinux.part" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] ||
    { echo "cannot extract vmlinux from $kernel" >&2; exit 1; }
  mv "$vmlinux.part" "$vmlinux"
fi
echo "$vmlinux"
