#!/usr/bin/env python3
"""Writes the definitions files of the differential test: small files that put every byte value
in each position of section lines, key lines and values, every mixture of line ends, quotes,
NULs, integers, long entries and byte-order-marked variants. The same seed writes the same files.

usage: generate.py SEED FOLDER
The probe looks up the sections S and T and the keys K and L, and loads the definitions, so the
files are built around those names (in either case) and whatever lands beside them.
"""
import itertools
import pathlib
import random
import sys

S, T, K, L = b"Attrib1", b"General", b"Name", b"Max Attributes"
LINE_ENDS = [b"\n", b"\r", b"\r\n", b"\n\r", b"\r\r", b"\n\n", b"\r\n\r\n", b"\r\r\n"]


def n(template):
    """A template with S, T, K and L as the names they stand for (s, t, k, l in lower case)."""
    names = {ord("S"): S, ord("T"): T, ord("K"): K, ord("L"): L, ord("s"): S.lower(),
             ord("t"): T.lower(), ord("k"): K.lower(), ord("l"): L.lower()}
    return b"".join(names.get(c, bytes([c])) for c in template)


def section_sweep(byte):
    """A byte before, inside and after the brackets of a section line."""
    b = bytes([byte])
    for line in (b + n(b"[S]"), b"[" + b + S + b"]", b"[" + S + b + b"]", n(b"[S]") + b,
                 b"[" + S + b + T + b"]", n(b"[S]") + b + b"]", b"[ " + b + b" ]"):
        yield line + n(b"\nK=1\n[T]\nL=2\n")


def key_sweep(byte):
    """A byte around and inside the key, the '=' and the value of a key line."""
    b = bytes([byte])
    for line in (b + n(b"K=1"), K + b + b"=1", K + b"=" + b + b"1", n(b"K=1") + b,
                 K + b + n(b"K=2"), K + b'="' + b + b'"', K + b"='1" + b + b"'",
                 K + b'="1"' + b, b" " + b + n(b" K =3")):
        yield n(b"[S]\n") + line + n(b"\nL=4\n[T]\nL=5\n")


def line_end_mixtures():
    lines = [n(b"[S]"), n(b"K=1"), n(b"[T]"), n(b"L=2")]
    for ends in itertools.product(LINE_ENDS, repeat=3):
        body = lines[0]
        for end, line in zip(ends, lines[1:]):
            body += end + line
        yield body
        yield ends[0] + body + ends[1]


def quoted_values():
    alphabet = [b'"', b"'", b"a", b" ", b"\0"]
    for length in range(1, 5):
        for parts in itertools.product(alphabet, repeat=length):
            value = b"".join(parts)
            yield n(b"[S]\nK=") + value + n(b"\n[T]\nL=") + value[::-1] + b"3\n"


def integers(rng):
    atoms = [b"", b" ", b"\t", b"\x01", b"-", b"+", b"--", b"0x", b"0X", b"0o", b"0b", b"0", b"1",
             b"7", b"9", b"f", b"F", b"z", b"2147483647", b"2147483648", b"4294967295",
             b"4294967296", b"99999999999999999999", b"0x7fffffff", b"0xffffffff",
             b"0x100000000", b"1" * 29 + b"2", b"1" * 28 + b"34", b'"', b"'", b"a"]
    for _ in range(600):
        value = b"".join(rng.choice(atoms) for _ in range(rng.randint(1, 3)))
        yield n(b"[S]\nK=") + value + n(b"\n[T]\nL =") + value + b"\n"


def long_entries():
    for length in range(1018, 1030):
        yield n(b"[S]\nK=") + b"v" * length + n(b"\n[T]\nL=\"") + b"2" * length + b'"\n'
        yield n(b"[S]\nK=\"") + b"w" * (length - 2) + n(b"\"\n[T]\nL='") + b"3" * length + b"\n"
        yield b"[" + b"S" * length + n(b"]\nK=1\n[S]\n") + b"K" * length + n(b"=2\nK=3\n")


def duplicates(rng):
    names = [n(b"S"), n(b"s"), n(b" S"), n(b"T"), n(b"t")]
    keys = [n(b"K"), n(b"k"), n(b"K "), n(b"L"), n(b"l"), n(b";K"), n(b"K\0")]
    for _ in range(400):
        body = b""
        for _ in range(rng.randint(1, 5)):
            body += b"[" + rng.choice(names) + b"]\n"
            for _ in range(rng.randint(0, 3)):
                key = rng.choice(keys)
                body += key + (b"" if rng.random() < 0.2 else b"=" + str(rng.randint(0, 99)).encode())
                body += rng.choice(LINE_ENDS)
        yield body


def random_tokens(rng):
    tokens = [b"[", b"]", S, S.lower(), T, K, K.lower(), L, b"=", b'"', b"'", b";", b" ", b"\t",
              b"\n", b"\r", b"\0", b"1", b"0x", b"-", b"\x1a", b"\x0b"]
    for _ in range(1200):
        parts = [rng.choice(tokens) if rng.random() < 0.9 else bytes([rng.randrange(256)])
                 for _ in range(rng.randint(4, 40))]
        yield b"".join(parts)


# Text for the byte-order-marked files: ASCII structure around characters windows-1251 has
# (Cyrillic, its punctuation), ones it lacks (Latin-1, Greek, CJK, beyond the first plane) and
# ones that are no text at all (NUL, a stray mark, lone surrogate halves in UTF-16).
UNICODE_PIECES = [n(b"[S]").decode(), n(b"[T]").decode(), n(b"K=").decode(), n(b"L=").decode(),
                  "1", "\n", "\r", "\r\n", " ", "\t", "\"", "'", ";", "=", "ж", "Ж", "№", "—",
                  "€", "é", "ß", "Ω", "中", "\U0001F600", "\0", "\ufeff", "\u00a0", "\u2028",
                  "\u3000", "\x85", "\ud800", "\udc00"]


def unicode_text(rng):
    text = rng.choice([n(b"[S]"), n(b"[s]"), n(b"[ S ]")]).decode()
    text += rng.choice(["\n", "\r\n", "\r"]) + n(b"K=").decode()
    text += "".join(rng.choice(UNICODE_PIECES) for _ in range(rng.randint(1, 14)))
    return text + rng.choice(["", "\n"]) + n(b"[T]\nL=").decode() + rng.choice(UNICODE_PIECES) + "\n"


def encode(text, codec):
    return text.encode(codec, "surrogatepass")


def marked_files(rng):
    for _ in range(250):
        text = unicode_text(rng)
        le = b"\xff\xfe" + encode(text, "utf-16-le")
        yield le
        yield b"\xfe\xff" + encode(text, "utf-16-be")
        yield b"\xef\xbb\xbf" + encode(text.replace("\ud800", "").replace("\udc00", ""), "utf-8")
        yield le + bytes([rng.randrange(256)])  # an odd length
    for _ in range(100):
        # A UTF-8 mark before bytes that are not all UTF-8, and UTF-16 text with no mark.
        broken = bytes(rng.choice([0x80, 0xbf, 0xc0, 0xc3, 0xe2, 0xed, 0xf0, 0xf4, 0xff, 0x41])
                       for _ in range(rng.randint(1, 6)))
        yield b"\xef\xbb\xbf" + n(b"[S]\nK=") + broken + n(b"\n[T]\nL=2") + broken + b"\n"
        yield encode(unicode_text(rng), "utf-16-le")
    yield b"\xff\xfe"
    yield b"\xfe\xff"
    yield b"\xef\xbb\xbf"
    yield b"\xff\xfe\x00"


def all_files(seed):
    rng = random.Random(seed)
    for byte in range(256):
        yield from section_sweep(byte)
        yield from key_sweep(byte)
    yield from line_end_mixtures()
    yield from quoted_values()
    yield from integers(rng)
    yield from long_entries()
    yield from duplicates(rng)
    yield from random_tokens(rng)
    yield from marked_files(rng)


def main():
    seed, folder = int(sys.argv[1]), pathlib.Path(sys.argv[2])
    folder.mkdir(parents=True, exist_ok=True)
    count = 0
    for count, content in enumerate(all_files(seed), start=1):
        (folder / f"{count:05d}.ini").write_bytes(content)
    print(f"{count} files")


if __name__ == "__main__":
    main()
