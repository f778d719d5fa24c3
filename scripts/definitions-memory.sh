#!/usr/bin/env bash
# Peak memory of the whole program (/usr/bin/time -v) reading definitions files of hostile
# shapes, against the file's size. usage: definitions-memory.sh PROGRAM
set -euo pipefail
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/trelmoss"

make_file() { # shape, MiB
  case $1 in
    repeated-headers) yes $'[General]\njunk line\n[Attrib0]\nId=5' ;;
    one-long-line) yes x | tr -d '\n' ;;
    long-name-value) { printf '[General]\nMax Attributes=1\n[Attrib0]\nId=5\nName='; yes x | tr -d '\n'; } ;;
    distinct-sections) seq 1 100000000 | sed 's/.*/[&]/' ;;
    distinct-keys) { echo '[General]'; seq 1 100000000 | sed 's/.*/&=1/'; } ;;
    attribute-sections) seq 0 16 2000000000 | sed 's/.*/[Attrib&]\nId=&\nName=n&/' ;;
    utf16-attributes) { printf '\xff\xfe'; seq 1 100000000 | sed 's/.*/[Attrib&]\r\nName=&\r/' |
      iconv -f ascii -t utf-16le; } ;;
  esac | head -c "$(($2 * 1048576))" > "$work/trelmoss.ini" || true
}

printf '  %-20s %10s %12s %16s\n' "definitions file" "size" "peak" "peak - size"
for shape in ${TRELMOSS_SHAPES:-repeated-headers:256 one-long-line:64 long-name-value:64 distinct-sections:64 distinct-keys:64 \
  attribute-sections:64 utf16-attributes:64}; do
  make_file "${shape%:*}" "${shape#*:}"
  size=$(($(stat -c %s "$work/trelmoss.ini") / 1024))
  /usr/bin/time -v "$work/trelmoss" "$work/report.xml" > /dev/null 2> "$work/time.txt" || true
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  awk -v name="${shape%:*}" -v size="$size" -v peak="$peak" \
    'BEGIN { printf "  %-20s %6d MiB %8.1f MiB %12.1f MiB\n", name, size / 1024, peak / 1024, (peak - size) / 1024 }'
done
