"""Rows of a Timeline and of a report in one comparable form: an event dict
(as parse() or the program's JSON lines give it) turned into the Timeline's
flat columns, and any Arrow table (from pyarrow, polars, DuckDB, pandas)
turned into plain values, dictionaries decoded and timestamps as integer
microseconds since the epoch (so years outside what datetime holds compare
too)."""

import json
import re

import pyarrow as pa
import pyarrow.compute as pc

from fact_columns import FACT_COLUMNS

TIMESTAMP_COLUMNS = ("timestamp", "fs_modified", "fs_accessed", "fs_created")
_INSTANT = re.compile(r"([+-]?\d{4,})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.(\d{1,9}))?Z")


def days_from_civil(year, month, day):
    year -= month <= 2
    era = (year if year >= 0 else year - 399) // 400
    yoe = year - era * 400
    doy = (153 * (month + (-3 if month > 2 else 9)) + 2) // 5 + day - 1
    doe = yoe * 365 + yoe // 4 - yoe // 100 + doy
    return era * 146097 + doe - 719468


def micros(text):
    """Microseconds since the epoch of an instant's text (None for None);
    a leap second counts on into the next minute, as the columns hold it."""
    if text is None:
        return None
    match = _INSTANT.fullmatch(text)
    assert match, text
    year, month, day, hour, minute, second = (int(g) for g in match.groups()[:6])
    nanos = int((match.group(7) or "").ljust(9, "0"))
    seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second
    return seconds * 1_000_000 + nanos // 1000


def json_text(value):
    return None if value is None else json.loads(value)


def event_row(event, collection="", include_raw=False, include_content=False):
    """The Timeline row of one event dict (the full reading's, from the
    program, carries `origin` and the facts: they end the row)."""
    artifact = event["artifact"] or {}
    times = event["fs_times"] or {}
    source = event["source"]
    row = {
        "collection": collection, "schema_version": event["schema_version"],
        "event_id": event["event_id"], "sequence": event["sequence"], "provider": event["provider"],
        "source_file_sha256": event["source_file_sha256"], "timestamp": micros(event["timestamp"]),
        "timestamp_raw": event["timestamp_raw"], "timestamp_source": event["timestamp_source"],
        "event_type": event["event_type"], "session_id": event["session_id"],
        "working_directory": event["working_directory"], "message": event["message"],
        "artifact_kind": source["artifact_kind"], "source_record_type": source["record_type"],
        "source_relative_path": source["relative_path"], "source_line": source["line_number"],
        "source_id": source["source_id"], "reference_status": artifact.get("reference_status"),
        "resolved_path": artifact.get("resolved_path"), "snapshot_version": artifact.get("snapshot_version"),
        "size": artifact.get("size"), "sha256": artifact.get("sha256"), "media_type": artifact.get("media_type"),
        "content_encoding": artifact.get("content_encoding"),
        "fs_modified": micros(times.get("modified")), "fs_accessed": micros(times.get("accessed")),
        "fs_created": micros(times.get("created")), "warnings": event["warnings"],
    }
    if include_content:
        row["content"] = artifact.get("content")
    if include_raw:
        row["raw"] = event["raw"]
    if "origin" in event:
        row["origin"] = event["origin"]
        row.update((name, event[name]) for name in FACT_COLUMNS)
    return row


def diagnostic_row(diagnostic, collection=""):
    source = diagnostic["source"] or {}
    return {"collection": collection, "code": diagnostic["code"], "severity": diagnostic["severity"],
            "message": diagnostic["message"], "artifact_kind": source.get("artifact_kind"),
            "source_record_type": source.get("record_type"),
            "source_relative_path": source.get("relative_path"), "source_line": source.get("line_number"),
            "source_id": source.get("source_id")}


def plain_rows(table):
    """The rows of an Arrow table (or anything pa.table takes) as plain values."""
    table = pa.table(table)
    columns = {}
    for name in table.column_names:
        column = table[name]
        if pa.types.is_dictionary(column.type):
            column = column.cast(column.type.value_type)
        if pa.types.is_timestamp(column.type):
            column = pc.cast(column, pa.int64())
        values = column.to_pylist()
        if name in ("timestamp_raw", "raw"):
            values = [json_text(v) for v in values]
        columns[name] = values
    return [dict(zip(columns, row)) for row in zip(*columns.values())]
