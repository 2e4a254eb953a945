"""vellumtrace timelines of many machines as one Dask DataFrame.

``read_roots`` makes one partition per host: a tarball of the host's home (or
of its `.claude` / `.codex` roots) at any fsspec URL, or a root directory on
this machine. Each partition runs ``vellumtrace.Timeline`` over what it holds,
with a ``collection`` column naming the host (the archive's name by default),
so that (``collection``, ``event_id``) is unique across machines.
``read_diagnostics`` gives the diagnostics the same way, plus one row for each
archive that could not be read safely. ``read_fleet`` gives both from one
fetch and extraction of each archive (when computed together).

    import dask_vellumtrace
    events = dask_vellumtrace.read_roots("s3://bucket/hosts/*.tar.gz")
    events.groupby("collection").size().compute()
"""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Any, Iterable, Optional, Union

from ._extract import DEFAULT_MAX_BYTES, DEFAULT_MAX_MEMBERS, Limits, UnsafeArchive

if TYPE_CHECKING:
    import dask.dataframe as dd

    from ._sources import Collection

__all__ = ["read_roots", "read_diagnostics", "read_fleet", "host_tasks", "UnsafeArchive", "default_collection"]

Inputs = Union[str, os.PathLike, Iterable[Union[str, os.PathLike]]]


def __getattr__(name: str) -> Any:
    # Dask, pandas and fsspec load on first use, so that the package (and the
    # fleet command's --help and its one-line errors) imports without them.
    if name == "default_collection":
        from ._sources import default_collection
        return default_collection
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def _frame(what: str, urls_or_paths: Inputs, collection: Collection, storage_options: Optional[dict],
           max_bytes: int, max_members: int, tmpdir: Optional[str], timeline_options: dict) -> dd.DataFrame:
    import dask.dataframe as dd

    from ._partitions import empty_frame, read_source
    from ._sources import sources

    inputs = sources(urls_or_paths, collection, storage_options)
    if not inputs:
        raise ValueError("no input: the paths or globs matched nothing")
    return dd.from_map(read_source, inputs, meta=empty_frame(what, timeline_options),
                       label=f"vellumtrace-{what}", enforce_metadata=False,
                       what=what, timeline_options=dict(timeline_options),
                       limits=Limits(max_bytes, max_members), tmpdir=tmpdir)


def read_roots(urls_or_paths: Inputs, collection: Collection = None, storage_options: Optional[dict] = None,
               *, max_bytes: int = DEFAULT_MAX_BYTES, max_members: int = DEFAULT_MAX_MEMBERS,
               tmpdir: Optional[str] = None, **timeline_options: Any) -> dd.DataFrame:
    """The events of every host, one partition per archive or root.

    urls_or_paths: a URL or path, or a list of them; globs are expanded.
        Directories on this machine are read in place; anything else is a tar
        archive (plain, gzip, bzip2, xz) fetched through fsspec.
    collection: None (the archive's name less its suffix, or the directory's
        name), a function of the URL, or one label per input.
    storage_options: passed to fsspec.
    max_bytes, max_members: bounds of one archive's extraction (the sum of
        its members' sizes, their count); an archive over either is a
        diagnostic, not extracted.
    tmpdir: where the private extraction folders go (the system's default).
    timeline_options: passed to vellumtrace.Timeline (documented, mode,
        include_raw, include_content, follow_symlinks, max_line_size,
        max_content_size).
    """
    from ._partitions import EVENTS

    return _frame(EVENTS, urls_or_paths, collection, storage_options, max_bytes, max_members, tmpdir,
                  timeline_options)


def read_diagnostics(urls_or_paths: Inputs, collection: Collection = None,
                     storage_options: Optional[dict] = None, *, max_bytes: int = DEFAULT_MAX_BYTES,
                     max_members: int = DEFAULT_MAX_MEMBERS, tmpdir: Optional[str] = None,
                     **timeline_options: Any) -> dd.DataFrame:
    """The diagnostics of every host, as read_roots reads them, plus one
    `unreadable_artifact` row per archive that was unsafe or unreadable."""
    from ._partitions import DIAGNOSTICS

    return _frame(DIAGNOSTICS, urls_or_paths, collection, storage_options, max_bytes, max_members, tmpdir,
                  timeline_options)


def host_tasks(urls_or_paths: Inputs, collection: Collection = None, storage_options: Optional[dict] = None,
               *, max_bytes: int = DEFAULT_MAX_BYTES, max_members: int = DEFAULT_MAX_MEMBERS,
               tmpdir: Optional[str] = None, **timeline_options: Any) -> list:
    """One Dask task per host, each giving the host's (events, diagnostics)
    as Arrow tables from one fetch and extraction."""
    import dask

    from ._partitions import read_host
    from ._sources import sources

    inputs = sources(urls_or_paths, collection, storage_options)
    if not inputs:
        raise ValueError("no input: the paths or globs matched nothing")
    limits = Limits(max_bytes, max_members)
    read = dask.delayed(read_host, pure=True)
    return [read(source, timeline_options=dict(timeline_options), limits=limits, tmpdir=tmpdir)
            for source in inputs]


def read_fleet(urls_or_paths: Inputs, collection: Collection = None, storage_options: Optional[dict] = None,
               *, max_bytes: int = DEFAULT_MAX_BYTES, max_members: int = DEFAULT_MAX_MEMBERS,
               tmpdir: Optional[str] = None, **timeline_options: Any) -> tuple[dd.DataFrame, dd.DataFrame]:
    """The events and the diagnostics of every host, as read_roots and
    read_diagnostics give them, from one task per host: computed together
    (``dask.compute(events, diagnostics)``), each archive is fetched and
    extracted once, and both halves come from the same bytes."""
    import dask
    import dask.dataframe as dd

    from ._partitions import DIAGNOSTICS, EVENTS, empty_frame, to_frame

    hosts = host_tasks(urls_or_paths, collection, storage_options, max_bytes=max_bytes, max_members=max_members,
                       tmpdir=tmpdir, **timeline_options)
    frame = dask.delayed(to_frame, pure=True)
    return tuple(dd.from_delayed([frame(host[half]) for host in hosts], meta=empty_frame(what, timeline_options),
                                 verify_meta=False)
                 for half, what in enumerate((EVENTS, DIAGNOSTICS)))
