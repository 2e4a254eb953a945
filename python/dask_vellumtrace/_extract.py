"""Safe extraction of one host's archive into a private folder.

Archives come from machines we do not trust: a member may name a path
outside the folder (absolute, or through ``..``), a link may point out of it
(alone, or as a chain of links each harmless on its own), a header may
announce more bytes than any home holds, a small compressed file may unpack
to gigabytes. The archive is read as a stream, each member checked before a
byte of it is written; a problem with the archive as a whole stops the
extraction and is raised as :class:`UnsafeArchive` (the caller removes the
folder). Only regular files, directories and links are written; files get
their recorded modification time and owner-only permissions, nothing else of
the header. A link whose target climbs (``..``) is not made, and once all is
written every link is resolved again and any that leads out of the folder
is removed: both are noted, and the rest of the host is read.
"""

from __future__ import annotations

import lzma
import os
import posixpath
import shutil
import tarfile
import zlib
from dataclasses import dataclass, field
from typing import BinaryIO, Callable, Optional

from ._decompress import decompressed
from ._tar_headers import Budget, BoundedTarFile, UnsafeArchive, shown

# Every member's announced size and every long header counts against this,
# as does the member count; either bound ends the extraction.
DEFAULT_MAX_BYTES = 8 << 30
DEFAULT_MAX_MEMBERS = 500_000
# Folders deep a member may lie (far beyond any home; the walks and the
# removal of the folder afterwards stay shallow).
MAX_DEPTH = 200
_COPY_BLOCK = 1 << 20

__all__ = ["DEFAULT_MAX_BYTES", "DEFAULT_MAX_MEMBERS", "Extraction", "Limits", "Stopped", "UnsafeArchive",
           "extract"]


class Stopped(Exception):
    """The extraction was asked to stop (the job is being interrupted)."""


@dataclass(frozen=True)
class Limits:
    max_bytes: int = DEFAULT_MAX_BYTES
    max_members: int = DEFAULT_MAX_MEMBERS


@dataclass
class Extraction:
    members: int = 0
    # (member, what was done instead): links not made or removed.
    refused: list[tuple[str, str]] = field(default_factory=list)


def _inside(folder: str, path: str) -> bool:
    return os.path.commonpath([folder, path]) == folder


def _depth(folder: str, path: str) -> int:
    """Folders from `folder` down to `path` (inside it)."""
    relative = os.path.relpath(path, folder)
    return 0 if relative == "." else relative.count(os.sep) + 1


def _target(folder: str, name: str) -> str:
    """Where member `name` goes; raises when that is not inside `folder`."""
    if name.startswith("/") or posixpath.isabs(name) or (len(name) > 1 and name[1] == ":"):
        raise UnsafeArchive(f"member '{shown(name)}' has an absolute name", name)
    parts = [p for p in name.split("/") if p not in ("", ".")]
    if ".." in parts:
        raise UnsafeArchive(f"member '{shown(name)}' leaves the extraction folder", name)
    if not parts:
        return folder
    path = os.path.join(folder, *parts)
    # Links already extracted stay inside, so the real parent must too, and
    # lie no deeper than the bound (links may lead deeper than the name).
    parent = os.path.realpath(os.path.dirname(path))
    if not _inside(folder, parent):
        raise UnsafeArchive(f"member '{shown(name)}' leaves the extraction folder", name)
    if len(parts) > MAX_DEPTH or _depth(folder, parent) + 1 > MAX_DEPTH:
        raise UnsafeArchive(f"member '{shown(name)}' lies more than {MAX_DEPTH} folders deep", name)
    return path


def _link_target(folder: str, member: tarfile.TarInfo, path: str) -> Optional[str]:
    """The resolved target of a link member; None when its target climbs."""
    link = member.linkname
    if link.startswith("/") or posixpath.isabs(link):
        raise UnsafeArchive(f"link '{shown(member.name)}' points to an absolute path", member.name)
    base = folder if member.islnk() else os.path.dirname(path)
    resolved = os.path.realpath(os.path.join(base, *link.split("/")))
    if not _inside(folder, resolved):
        raise UnsafeArchive(f"link '{shown(member.name)}' points outside the extraction folder", member.name)
    if ".." in link.split("/"):
        return None
    return resolved


def _same_file(source: BinaryIO, path: str, stop: Callable[[], bool]) -> bool:
    """Whether the member's bytes are those of the file already at `path`."""
    with open(path, "rb", opener=lambda p, flags: os.open(p, flags | os.O_NOFOLLOW)) as present:
        while block := source.read(_COPY_BLOCK):
            if stop():
                raise Stopped()
            if present.read(len(block)) != block:
                return False
        return not present.read(1)


def _write_file(tar: tarfile.TarFile, member: tarfile.TarInfo, path: str, stop: Callable[[], bool]) -> None:
    source = tar.extractfile(member)
    if source is None:
        raise UnsafeArchive(f"member '{shown(member.name)}' has no data", member.name)
    if os.path.lexists(path):
        # Stored twice: harmless when the bytes are the same.
        if not os.path.islink(path) and os.path.isfile(path) and _same_file(source, path, stop):
            return
        raise UnsafeArchive(f"member '{shown(member.name)}' is stored twice with different contents", member.name)
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    # Never through a link, never over something already there.
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, "wb") as out:
        while block := source.read(_COPY_BLOCK):
            if stop():
                raise Stopped()
            out.write(block)
    os.utime(path, (member.mtime, member.mtime), follow_symlinks=False)


def _write_link(member: tarfile.TarInfo, path: str, target: str) -> None:
    if os.path.lexists(path):
        same = (os.path.islink(path) and os.readlink(path) == member.linkname if member.issym()
                else os.path.samefile(path, target) and not os.path.islink(path))
        if same:
            return  # stored twice
        raise UnsafeArchive(f"member '{shown(member.name)}' is stored twice with different contents", member.name)
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    if member.issym():
        os.symlink(member.linkname, path)
    else:
        os.link(target, path, follow_symlinks=False)


def _links_leaving(folder: str) -> list[str]:
    """The links under `folder` whose whole chain leads out of it."""
    leaving = []
    for parent, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(parent, name)
            if os.path.islink(path) and not _inside(folder, os.path.realpath(path)):
                leaving.append(path)
    return leaving


def _remove_links_leaving(folder: str, done: Extraction) -> None:
    for path in _links_leaving(folder):
        os.unlink(path)
        done.refused.append((os.path.relpath(path, folder), "link leaves the extraction folder: removed"))


def _never() -> bool:
    return False


def extract(fileobj: BinaryIO, folder: str, limits: Limits = Limits(),
            stop: Callable[[], bool] = _never) -> Extraction:
    """Extracts the tar archive (plain, gzip, bzip2 or xz) read from
    `fileobj` into the existing empty `folder`; `stop` is asked between
    members and blocks (true: :class:`Stopped` is raised)."""
    folder = os.path.realpath(folder)
    budget = Budget(limits.max_bytes)
    done = Extraction()
    try:
        with BoundedTarFile.open(fileobj=decompressed(fileobj), mode="r|", budget=budget) as tar:
            for member in tar:
                tar.members.clear()  # a stream needs no index of what went by
                if stop():
                    raise Stopped()
                done.members += 1
                if done.members > limits.max_members:
                    raise UnsafeArchive(f"more than {limits.max_members} members", member.name)
                path = _target(folder, member.name)
                if member.isdir():
                    os.makedirs(path, mode=0o700, exist_ok=True)
                elif member.isreg():
                    budget.spend(member.size, f"member '{shown(member.name)}'", member.name)
                    _write_file(tar, member, path, stop)
                elif member.issym() or member.islnk():
                    target = _link_target(folder, member, path)
                    if target is None:
                        done.refused.append((shown(member.name), "link target climbs with '..': not extracted"))
                    else:
                        _write_link(member, path, target)
                else:
                    raise UnsafeArchive(f"member '{shown(member.name)}' is not a file, directory or link",
                                        member.name)
        _remove_links_leaving(folder, done)
    except (tarfile.TarError, EOFError, OSError, ValueError, UnicodeError, lzma.LZMAError, zlib.error) as error:
        raise UnsafeArchive(f"cannot be read: {shown(str(error))}") from error
    return done
