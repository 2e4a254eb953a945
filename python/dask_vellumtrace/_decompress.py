"""A compressed archive read a bounded block at a time.

The archive library's stream mode hands each compressed chunk it reads to the
decompressor whole: a kilobyte of bzip2 (or xz) can stand for a gigabyte of
one repeated byte, and that gigabyte is allocated at once, before a header or
a bound is looked at. Here the compression is told from the stream's first
bytes (as the archive library tells it) and the stream is read through the
standard library's file readers, which never give more than was asked for;
the archive library then reads plain tar.
"""

from __future__ import annotations

import bz2
import gzip
import io
import lzma
from typing import BinaryIO

# The longest prefix the kinds below are told by.
_PROBE = 10


class _Prefixed(io.RawIOBase):
    """`head` (bytes already read from `rest`), then the rest of `rest`."""

    def __init__(self, head: bytes, rest: BinaryIO) -> None:
        super().__init__()
        self._head, self._rest = head, rest

    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:
        if self._head:
            n = min(len(buffer), len(self._head))
            buffer[:n], self._head = self._head[:n], self._head[n:]
            return n
        data = self._rest.read(len(buffer))
        buffer[:len(data)] = data
        return len(data)


def _probe(fileobj: BinaryIO) -> bytes:
    head = b""
    while len(head) < _PROBE:
        more = fileobj.read(_PROBE - len(head))
        if not more:
            break
        head += more
    return head


def decompressed(fileobj: BinaryIO) -> BinaryIO:
    """The tar bytes of `fileobj` (plain, gzip, bzip2 or xz), at most the
    size asked for per read."""
    head = _probe(fileobj)
    stream = io.BufferedReader(_Prefixed(head, fileobj))
    if head.startswith(b"\x1f\x8b\x08"):
        return gzip.GzipFile(fileobj=stream, mode="rb")
    if head[0:3] == b"BZh" and head[4:10] == b"1AY&SY":
        return bz2.BZ2File(stream)
    if head.startswith((b"\x5d\x00\x00\x80", b"\xfd7zXZ")):
        return lzma.LZMAFile(stream)
    return stream
