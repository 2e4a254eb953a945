"""The work of one partition: fetch the archive once, extract it safely into
a private temporary folder, run the Timeline over the roots it holds with
the archive's collection label, and hand back its events and diagnostics
(both from the same bytes) as Arrow tables; the folder is removed whatever
happened. Whatever goes wrong (an unsafe or unreadable archive, no agent
root in it, an error of any kind while reading it) becomes a diagnostic row
of that archive, never an exception that would end the job; only a stop of
the whole job ends a partition early."""

from __future__ import annotations

import os
import shutil
import tempfile
import threading
from typing import Any, NamedTuple, Optional

import fsspec
import pandas as pd
import pyarrow as pa

import vellumtrace

from ._extract import Limits, Stopped, UnsafeArchive, extract
from ._sources import Source, local_directory

EVENTS = "events"
DIAGNOSTICS = "diagnostics"
_ROOT_NAMES = (".claude", ".codex")
_ROOT_SEARCH_DEPTH = 4

# Set when the job is being stopped (a signal to the fleet command): running
# extractions end at their next block, and partitions not begun do nothing.
STOP = threading.Event()


class HostTables(NamedTuple):
    events: pa.Table
    diagnostics: pa.Table


def to_frame(table: pa.Table) -> pd.DataFrame:
    return table.to_pandas(types_mapper=pd.ArrowDtype)


def _timeline_options(timeline_options: dict) -> dict:
    return {k: v for k, v in timeline_options.items() if k in ("include_raw", "include_content")}


def _empty_table(what: str, timeline_options: dict) -> pa.Table:
    """The columns of `what` with no rows: a Timeline of no path."""
    return _result(vellumtrace.Timeline(**_timeline_options(timeline_options)), what)


def empty_frame(what: str, timeline_options: dict) -> pd.DataFrame:
    return to_frame(_empty_table(what, timeline_options))


def _archive_rows(source: Source, rows: list[tuple[str, str]]) -> pa.Table:
    """One `unreadable_artifact` row per (message, member) of an archive."""
    schema = pa.schema(vellumtrace.Timeline().diagnostics)
    return pa.Table.from_pylist(
        [{"collection": source.collection, "code": "unreadable_artifact", "severity": "error",
          "message": f"Archive {source.url}: {message}", "artifact_kind": "unknown",
          "source_record_type": None, "source_relative_path": member or source.url,
          "source_line": None, "source_id": None} for message, member in rows], schema=schema)


def root_holders(folder: str) -> list[str]:
    """The shallowest directories under `folder` holding a `.claude` or
    `.codex` root (the folder itself when it does, or when none does)."""
    level = [folder]
    for _ in range(_ROOT_SEARCH_DEPTH):
        found = [d for d in level if any(os.path.isdir(os.path.join(d, r)) and
                                         not os.path.islink(os.path.join(d, r)) for r in _ROOT_NAMES)]
        if found:
            return found
        level = sorted(os.path.join(d, e.name) for d in level for e in os.scandir(d)
                       if e.is_dir(follow_symlinks=False))
        if not level:
            break
    return [folder]


def archive_labels(folder: str, holders: list[str]) -> list[str]:
    """Each root holder named by its place inside the archive ("." for its
    top) in the `input` column, never by the temporary folder it was
    extracted into."""
    return [os.path.relpath(holder, folder).replace(os.sep, "/") for holder in holders]


def _result(timeline: vellumtrace.Timeline, what: str) -> pa.Table:
    return pa.table(timeline if what == EVENTS else timeline.diagnostics)


def _tables(timeline: vellumtrace.Timeline) -> HostTables:
    return HostTables(pa.table(timeline), pa.table(timeline.diagnostics))


def _read(source: Source, timeline_options: dict, limits: Limits, tmpdir: Optional[str]) -> HostTables:
    options = dict(timeline_options)
    directory = local_directory(source.url)
    if directory is not None:
        return _tables(vellumtrace.Timeline(directory, collection=source.collection, **options))
    folder = tempfile.mkdtemp(prefix="vellumtrace-", dir=tmpdir)
    try:
        with fsspec.open(source.url, "rb", **source.options()) as stream:
            extraction = extract(stream, folder, limits, STOP.is_set)
        if STOP.is_set():
            raise Stopped()
        # Links out of the folder are gone; none is followed there anyway.
        options["follow_symlinks"] = False
        holders = root_holders(folder)
        if not options.get("documented"):
            options["labels"] = archive_labels(folder, holders)
        read = _tables(vellumtrace.Timeline(*holders, collection=source.collection, **options))
        refused = [(f"{reason} ({member})", member) for member, reason in extraction.refused]
        if not refused:
            return read
        return HostTables(read.events, pa.concat_tables([_archive_rows(source, refused), read.diagnostics]))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def read_host(source: Source, *, timeline_options: dict[str, Any], limits: Limits,
              tmpdir: Optional[str]) -> HostTables:
    """The events and the diagnostics of one source, from one reading."""
    empty = _empty_table(EVENTS, timeline_options)
    if STOP.is_set():
        raise Stopped()
    try:
        return _read(source, timeline_options, limits, tmpdir)
    except Stopped:
        raise
    except UnsafeArchive as unsafe:
        problem = (str(unsafe), unsafe.member)
    except Exception as error:  # noqa: BLE001 - a host never ends the job
        problem = (f"{type(error).__name__}: {error}"[:500], "")
    return HostTables(empty, _archive_rows(source, [problem]))


def read_source(source: Source, *, what: str, timeline_options: dict[str, Any], limits: Limits,
                tmpdir: Optional[str]) -> pd.DataFrame:
    """One partition: the events or the diagnostics of one source."""
    tables = read_host(source, timeline_options=timeline_options, limits=limits, tmpdir=tmpdir)
    return to_frame(tables.events if what == EVENTS else tables.diagnostics)
