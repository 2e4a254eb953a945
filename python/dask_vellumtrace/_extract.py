"""Safe extraction of one host's archive into a private folder.

Archives come from machines we do not trust: a member may name a path
outside the folder (absolute, or through ``..``), a link may point out of it,
a header may announce more bytes than any home holds, a small compressed file
may unpack to gigabytes. The archive is read as a stream, each member checked
before a byte of it is written; the first problem stops the extraction and is
raised as :class:`UnsafeArchive` (the caller removes the folder). Only
regular files, directories and links that stay inside are written; files get
their recorded modification time and owner-only permissions, nothing else of
the header.
"""

from __future__ import annotations

import os
import posixpath
import shutil
import tarfile
from dataclasses import dataclass
from typing import BinaryIO

# Every member's announced size counts against this, as does the member
# count; either bound ends the extraction.
DEFAULT_MAX_BYTES = 8 << 30
DEFAULT_MAX_MEMBERS = 500_000
_COPY_BLOCK = 1 << 20


class UnsafeArchive(Exception):
    """An archive that cannot be extracted safely; ``member`` names the cause."""

    def __init__(self, message: str, member: str = "") -> None:
        super().__init__(message)
        self.member = member


@dataclass(frozen=True)
class Limits:
    max_bytes: int = DEFAULT_MAX_BYTES
    max_members: int = DEFAULT_MAX_MEMBERS


def _inside(folder: str, path: str) -> bool:
    return os.path.commonpath([folder, path]) == folder


def _target(folder: str, name: str) -> str:
    """Where member `name` goes; raises when that is not inside `folder`."""
    if name.startswith("/") or posixpath.isabs(name) or (len(name) > 1 and name[1] == ":"):
        raise UnsafeArchive(f"member '{name}' has an absolute name", name)
    parts = [p for p in name.split("/") if p not in ("", ".")]
    if ".." in parts:
        raise UnsafeArchive(f"member '{name}' leaves the extraction folder", name)
    if not parts:
        return folder
    path = os.path.join(folder, *parts)
    # Links already extracted stay inside, so the real parent must too.
    if not _inside(folder, os.path.realpath(os.path.dirname(path))):
        raise UnsafeArchive(f"member '{name}' leaves the extraction folder", name)
    return path


def _link_target(folder: str, member: tarfile.TarInfo, path: str) -> str:
    link = member.linkname
    if link.startswith("/") or posixpath.isabs(link):
        raise UnsafeArchive(f"link '{member.name}' points to an absolute path", member.name)
    base = folder if member.islnk() else os.path.dirname(path)
    resolved = os.path.realpath(os.path.join(base, *link.split("/")))
    if not _inside(folder, resolved):
        raise UnsafeArchive(f"link '{member.name}' points outside the extraction folder", member.name)
    return resolved


def _write_file(tar: tarfile.TarFile, member: tarfile.TarInfo, path: str) -> None:
    source = tar.extractfile(member)
    if source is None:
        raise UnsafeArchive(f"member '{member.name}' has no data", member.name)
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    # Never through a link, never over something already there.
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, "wb") as out:
        shutil.copyfileobj(source, out, _COPY_BLOCK)
    os.utime(path, (member.mtime, member.mtime), follow_symlinks=False)


def extract(fileobj: BinaryIO, folder: str, limits: Limits = Limits()) -> int:
    """Extracts the tar archive (plain, gzip, bzip2 or xz) read from
    `fileobj` into the existing empty `folder`; returns the member count."""
    folder = os.path.realpath(folder)
    total = 0
    count = 0
    try:
        with tarfile.open(fileobj=fileobj, mode="r|*") as tar:
            for member in tar:
                count += 1
                if count > limits.max_members:
                    raise UnsafeArchive(f"more than {limits.max_members} members", member.name)
                path = _target(folder, member.name)
                if member.isdir():
                    os.makedirs(path, mode=0o700, exist_ok=True)
                elif member.isreg():
                    total += member.size
                    if total > limits.max_bytes:
                        raise UnsafeArchive(
                            f"member '{member.name}' ({member.size} bytes) takes the archive over "
                            f"{limits.max_bytes} bytes", member.name)
                    _write_file(tar, member, path)
                elif member.issym() or member.islnk():
                    target = _link_target(folder, member, path)
                    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
                    if member.issym():
                        os.symlink(member.linkname, path)
                    else:
                        os.link(target, path, follow_symlinks=False)
                else:
                    raise UnsafeArchive(f"member '{member.name}' is not a file, directory or link",
                                        member.name)
    except (tarfile.TarError, EOFError, OSError, ValueError, UnicodeError) as error:
        raise UnsafeArchive(f"cannot be read: {error}") from error
    return count
