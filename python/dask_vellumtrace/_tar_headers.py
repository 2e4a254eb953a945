"""Tar headers read within bounds.

The archive library reads a GNU long-name or long-link header, and a pax
header, whole before looking at it: a header announcing a gigabyte-long name
makes it allocate a gigabyte, whatever the bounds of the extraction. Here
each such header is checked before a byte of it is read (at most
``MAX_HEADER_BYTES``), and its size counts against the archive's byte bound
like a member's. GNU sparse members (their extra headers chained without
end) are refused.
"""

from __future__ import annotations

import tarfile

MAX_HEADER_BYTES = 1 << 20
_SHOWN_CHARACTERS = 200


class UnsafeArchive(Exception):
    """An archive that cannot be extracted safely; ``member`` names the cause."""

    def __init__(self, message: str, member: str = "") -> None:
        super().__init__(message)
        self.member = shown(member)


def shown(name: str) -> str:
    """A member name as messages quote it: at most a few hundred characters."""
    return name if len(name) <= _SHOWN_CHARACTERS else name[:_SHOWN_CHARACTERS] + "\u2026"


class Budget:
    """The bytes an archive may unpack (members and headers together)."""

    def __init__(self, max_bytes: int) -> None:
        self.max_bytes = max_bytes
        self.spent = 0

    def spend(self, size: int, what: str, member: str = "") -> None:
        self.spent += size
        if self.spent > self.max_bytes:
            raise UnsafeArchive(f"{what} ({size} bytes) takes the archive over {self.max_bytes} bytes", member)


class BoundedTarInfo(tarfile.TarInfo):
    def _proc_gnulong(self, tar):
        self._check_header(tar, "a long-name header")
        return super()._proc_gnulong(tar)

    def _proc_pax(self, tar):
        self._check_header(tar, "a pax header")
        return super()._proc_pax(tar)

    def _proc_sparse(self, tar):
        raise UnsafeArchive(f"member '{shown(self.name)}' is a sparse file", self.name)

    def _check_header(self, tar, what: str) -> None:
        if self.size > MAX_HEADER_BYTES:
            raise UnsafeArchive(f"{what} of {self.size} bytes (more than {MAX_HEADER_BYTES})")
        tar.budget.spend(self.size, what)


class BoundedTarFile(tarfile.TarFile):
    tarinfo = BoundedTarInfo

    def __init__(self, *args, budget: Budget, **kwargs) -> None:
        self.budget = budget  # read while the first header is
        super().__init__(*args, **kwargs)
