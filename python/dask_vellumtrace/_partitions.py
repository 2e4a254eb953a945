"""The work of one partition: fetch the archive, extract it safely into a
private temporary folder, run the Timeline over the roots it holds with the
archive's collection label, and hand back an Arrow-backed pandas frame; the
folder is removed whatever happened. A problem with the archive (unsafe,
unreadable, no agent root in it) becomes a diagnostic row of that archive,
never an exception that would end the job."""

from __future__ import annotations

import os
import shutil
import tempfile
from typing import Any, Optional

import fsspec
import pandas as pd
import pyarrow as pa

import vellumtrace

from ._extract import Limits, UnsafeArchive, extract
from ._sources import Source, local_directory

EVENTS = "events"
DIAGNOSTICS = "diagnostics"
_ROOT_NAMES = (".claude", ".codex")
_ROOT_SEARCH_DEPTH = 4


def to_frame(table: pa.Table) -> pd.DataFrame:
    return table.to_pandas(types_mapper=pd.ArrowDtype)


def _empty_table(what: str, timeline_options: dict) -> pa.Table:
    """The columns of `what` with no rows: a Timeline of no path."""
    options = {k: v for k, v in timeline_options.items() if k in ("include_raw", "include_content")}
    return _result(vellumtrace.Timeline(**options), what)


def empty_frame(what: str, timeline_options: dict) -> pd.DataFrame:
    return to_frame(_empty_table(what, timeline_options))


def _archive_diagnostic(source: Source, message: str, member: str) -> pa.Table:
    schema = pa.schema(vellumtrace.Timeline().diagnostics)
    row = {"collection": source.collection, "code": "unreadable_artifact", "severity": "error",
           "message": f"Archive {source.url}: {message}", "artifact_kind": "unknown",
           "source_record_type": None, "source_relative_path": member or source.url,
           "source_line": None, "source_id": None}
    return pa.Table.from_pylist([row], schema=schema)


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


def _timeline(paths: list[str], source: Source, timeline_options: dict) -> vellumtrace.Timeline:
    return vellumtrace.Timeline(*paths, collection=source.collection, **timeline_options)


def _result(timeline: vellumtrace.Timeline, what: str) -> pa.Table:
    return pa.table(timeline if what == EVENTS else timeline.diagnostics)


def _problem(source: Source, what: str, timeline_options: dict, message: str, member: str = "") -> pa.Table:
    """No events, one diagnostic: a source that gave no timeline."""
    if what == EVENTS:
        return _empty_table(what, timeline_options)
    return _archive_diagnostic(source, message, member)


def _read_table(source: Source, what: str, timeline_options: dict, limits: Limits,
                tmpdir: Optional[str]) -> pa.Table:
    directory = local_directory(source.url)
    try:
        if directory is not None:
            return _result(_timeline([directory], source, timeline_options), what)
        folder = tempfile.mkdtemp(prefix="vellumtrace-", dir=tmpdir)
        try:
            with fsspec.open(source.url, "rb", **source.options()) as stream:
                extract(stream, folder, limits)
            return _result(_timeline(root_holders(folder), source, timeline_options), what)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    except UnsafeArchive as unsafe:
        return _problem(source, what, timeline_options, str(unsafe), unsafe.member)
    except (OSError, ValueError) as error:
        return _problem(source, what, timeline_options, str(error))


def read_source(source: Source, *, what: str, timeline_options: dict[str, Any], limits: Limits,
                tmpdir: Optional[str]) -> pd.DataFrame:
    """One partition: the events or the diagnostics of one source."""
    return to_frame(_read_table(source, what, timeline_options, limits, tmpdir))
