"""What one partition reads: a host's archive (any fsspec URL) or a root
directory on this machine, with the collection label its rows get."""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Any, Callable, Iterable, Optional, Sequence, Union

import fsspec

_ARCHIVE_SUFFIXES = (".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tar.xz", ".txz", ".tar")
_ROOT_NAMES = (".claude", ".codex")
_GLOB_CHARACTERS = "*?["

Collection = Union[None, Callable[[str], str], Sequence[str]]


@dataclass(frozen=True)
class Source:
    url: str
    collection: str
    storage_options: tuple = ()  # (key, value) pairs, hashable for Dask's tokens

    def options(self) -> dict:
        return dict(self.storage_options)


def local_directory(url: str) -> Optional[str]:
    """The path of `url` when it names a directory on this machine."""
    fs, path = fsspec.core.url_to_fs(url)
    protocols = fs.protocol if isinstance(fs.protocol, tuple) else (fs.protocol,)
    if "file" in protocols and os.path.isdir(path):
        return path
    return None


def default_collection(url: str) -> str:
    """An archive's name less its suffix; a directory's name (its parent's
    for a `.claude` or `.codex` root)."""
    parts = url.rstrip("/").split("/")
    name = parts[-1]
    if name in _ROOT_NAMES and len(parts) > 1:
        return parts[-2]
    lowered = name.lower()
    for suffix in _ARCHIVE_SUFFIXES:
        if lowered.endswith(suffix):
            return name[: -len(suffix)]
    return name


def expand(urls_or_paths: Union[str, os.PathLike, Iterable[Union[str, os.PathLike]]],
           storage_options: Optional[dict]) -> list[str]:
    """The inputs in order, each glob replaced by its sorted matches."""
    if isinstance(urls_or_paths, (str, os.PathLike)):
        urls_or_paths = [urls_or_paths]
    urls: list[str] = []
    for item in urls_or_paths:
        url = os.fspath(item)
        if any(c in url for c in _GLOB_CHARACTERS):
            fs, _, paths = fsspec.get_fs_token_paths(url, storage_options=storage_options or {})
            urls.extend(fs.unstrip_protocol(p) if "://" in url else p for p in sorted(paths))
        else:
            urls.append(url)
    return urls


def checked_label(label: str) -> str:
    """A collection label, refused (ValueError) when it could not name a
    folder of its own: empty, "." or "..", or holding a path separator or a
    control character (the dataset's partition folders are named by it)."""
    if label in ("", ".", "..") or any(c in "/\\" or ord(c) < 32 or ord(c) == 127 for c in label):
        raise ValueError(f"collection label {label!r}: not a folder name (no '/', '\\', control "
                         f"characters, '.' or '..')")
    return label


def sources(urls_or_paths: Any, collection: Collection, storage_options: Optional[dict]) -> list[Source]:
    urls = expand(urls_or_paths, storage_options)
    if collection is None:
        labels = [default_collection(u) for u in urls]
    elif callable(collection):
        labels = [collection(u) for u in urls]
    elif isinstance(collection, str):
        raise TypeError("collection: give one label per input (a sequence) or a function of the URL")
    else:
        labels = list(collection)
        if len(labels) != len(urls):
            raise ValueError(f"collection: {len(labels)} labels for {len(urls)} inputs")
    options = tuple(sorted((storage_options or {}).items()))
    return [Source(u, checked_label(str(label)), options) for u, label in zip(urls, labels)]
