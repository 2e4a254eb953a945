"""Exact bytes of the three renderings on small Codex trees, and their agreement
with `parse` on the bundled sample and the real-data corpus."""

import csv
import hashlib
import io
import json
import pathlib
import sys

import pytest

import vellumtrace

SAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "agents"

# Line 1: text that needs escaping in JSON and quoting in CSV, and a raw record
# with unsorted keys and every kind of number. Line 2: two malformed fields.
# Line 3: no known key at all.
HISTORY = (
    '{"text":"tab\\there \\"q\\" a,b /\\u00e9\\u0001\\nnext","ts":1700000000,"session_id":"s-1",'
    '"zeta":{"b":[1.0,1e2,-0.0,18446744073709551615,-5,true,null],"a":"x"}}\n'
    '{"session_id":42,"ts":1.5}\n'
    "{}\n"
)
MESSAGE_JSON = 'tab\\there \\"q\\" a,b /\u00e9\\u0001\\nnext'
MESSAGE_TEXT = 'tab\there "q" a,b /\u00e9\u0001\nnext'

EVENT_KEYS = [
    "schema_version", "event_id", "sequence", "provider", "source_file_sha256", "timestamp",
    "timestamp_source", "timestamp_raw", "event_type", "session_id", "working_directory",
    "message", "source", "artifact", "fs_times", "warnings", "raw",
]
SOURCE_KEYS = ["artifact_kind", "record_type", "relative_path", "line_number", "source_id"]
ARTIFACT_KEYS = ["reference_status", "resolved_path", "snapshot_version", "size", "sha256",
                 "media_type", "content", "content_encoding"]
FS_TIMES_KEYS = ["modified", "accessed", "created"]
DIAGNOSTIC_KEYS = ["code", "severity", "source", "message"]
CSV_COLUMNS = [
    "schema_version", "event_id", "sequence", "provider", "source_file_sha256", "timestamp",
    "timestamp_raw", "timestamp_source", "event_type", "session_id", "working_directory",
    "message", "artifact_kind", "source_record_type", "source_relative_path", "source_line",
    "source_id", "reference_status", "resolved_path", "snapshot_version", "size", "sha256",
    "media_type", "content", "content_encoding", "fs_modified", "fs_accessed", "fs_created",
    "warnings", "raw",
]


def history_id(line):
    """The identifier of a Codex history event at `line` of the root's history file."""
    key = b"Codex\0History\0history.jsonl\0codex_history:%d\0" % line
    return hashlib.sha256(hashlib.sha256(key).digest()).hexdigest()


@pytest.fixture
def codex_root(tmp_path):
    root = tmp_path / ".codex"
    root.mkdir()
    (root / "history.jsonl").write_bytes(HISTORY.encode())
    return root


@pytest.fixture
def digest():
    return hashlib.sha256(HISTORY.encode()).hexdigest()


def compact_events(digest):
    source = '"source":{"artifact_kind":"history","record_type":"history","relative_path":"history.jsonl",'
    tail = '"artifact":null,"fs_times":null,"warnings":[],'
    return [
        f'{{"schema_version":"1","event_id":"{history_id(1)}","sequence":0,"provider":"codex",'
        f'"source_file_sha256":"{digest}","timestamp":"2023-11-14T22:13:20Z",'
        f'"timestamp_source":"embedded","timestamp_raw":1700000000,"event_type":"prompt_input",'
        f'"session_id":"s-1","working_directory":null,"message":"{MESSAGE_JSON}",'
        f'{source}"line_number":1,"source_id":"s-1"}},{tail}'
        f'"raw":{{"session_id":"s-1","text":"{MESSAGE_JSON}","ts":1700000000,'
        f'"zeta":{{"a":"x","b":[1.0,100.0,-0.0,18446744073709551615,-5,true,null]}}}}}}',
        f'{{"schema_version":"1","event_id":"{history_id(2)}","sequence":1,"provider":"codex",'
        f'"source_file_sha256":"{digest}","timestamp":null,"timestamp_source":"none",'
        f'"timestamp_raw":1.5,"event_type":"prompt_input","session_id":null,'
        f'"working_directory":null,"message":null,'
        f'{source}"line_number":2,"source_id":null}},{tail}"raw":{{"session_id":42,"ts":1.5}}}}',
        f'{{"schema_version":"1","event_id":"{history_id(3)}","sequence":2,"provider":"codex",'
        f'"source_file_sha256":"{digest}","timestamp":null,"timestamp_source":"none",'
        f'"timestamp_raw":null,"event_type":"prompt_input","session_id":null,'
        f'"working_directory":null,"message":null,'
        f'{source}"line_number":3,"source_id":null}},{tail}"raw":{{}}}}',
    ]


COMPACT_DIAGNOSTICS = (
    '[{"code":"invalid_field_type","severity":"warning","source":{"artifact_kind":"history",'
    '"record_type":null,"relative_path":"history.jsonl","line_number":2,"source_id":null},'
    '"message":"Field \'session_id\' expected string, got number"},'
    '{"code":"invalid_timestamp","severity":"warning","source":{"artifact_kind":"history",'
    '"record_type":null,"relative_path":"history.jsonl","line_number":2,"source_id":null},'
    '"message":"Field \'ts\' is not a valid Unix timestamp in seconds."}]'
)


def test_compact_json_document(codex_root, digest):
    expected = '{"events":[' + ",".join(compact_events(digest)) + '],"diagnostics":' + COMPACT_DIAGNOSTICS + "}"
    assert vellumtrace.to_json(codex_root, include_raw=True, pretty=False) == expected


def test_jsonl_lines(codex_root, digest):
    assert vellumtrace.to_jsonl(codex_root, include_raw=True) == "".join(
        line + "\n" for line in compact_events(digest))


@pytest.mark.parametrize("include_message", [True, False])
def test_csv_table(codex_root, digest, include_message):
    message = '"' + MESSAGE_TEXT.replace('"', '""') + '"' if include_message else ""
    prefix = f"1,{{id}},{{seq}},codex,{digest},"
    rows = [
        prefix.format(id=history_id(1), seq=0)
        + f"2023-11-14T22:13:20+00:00,1700000000,embedded,prompt_input,s-1,,{message},"
        "history,history,history.jsonl,1,s-1," + "," * 12,
        prefix.format(id=history_id(2), seq=1)
        + ",1.5,none,prompt_input,,,,history,history,history.jsonl,2,," + "," * 12,
        prefix.format(id=history_id(3), seq=2)
        + ",,none,prompt_input,,,,history,history,history.jsonl,3,," + "," * 12,
    ]
    expected = ",".join(CSV_COLUMNS) + "\n" + "".join(row + "\n" for row in rows)
    assert vellumtrace.to_csv(codex_root, include_message=include_message) == expected


# --- Agreement with parse() on real trees -------------------------------------------------


def assert_key_order(obj, keys):
    assert list(obj) == keys


def csv_cell_for(event, column):
    """The text a CSV cell must hold for `column`, from the event as parse() returns it."""
    def text(value):
        if value is None:
            return ""
        if isinstance(value, str) and column in ("timestamp", "fs_modified", "fs_accessed", "fs_created"):
            assert value.endswith("Z")
            return value[:-1] + "+00:00"
        return str(value)

    source, artifact, times = event["source"], event["artifact"] or {}, event["fs_times"] or {}
    nested = {
        "artifact_kind": source["artifact_kind"], "source_record_type": source["record_type"],
        "source_relative_path": source["relative_path"], "source_line": source["line_number"],
        "source_id": source["source_id"], "fs_modified": times.get("modified"),
        "fs_accessed": times.get("accessed"), "fs_created": times.get("created"),
    }
    if column in nested:
        return text(nested[column])
    if column in ARTIFACT_KEYS:
        return text(artifact.get(column))
    return text(event[column])


def check_agreement(tree):
    options = dict(include_raw=True, include_content=True)
    report = vellumtrace.parse(tree, **options)
    lines = vellumtrace.to_jsonl(tree, **options).split("\n")
    assert lines.pop() == ""
    assert len(lines) == len(report["events"])

    for line, event in zip(lines, report["events"]):
        rendered = json.loads(line)
        assert rendered == event
        assert_key_order(rendered, EVENT_KEYS)
        assert_key_order(rendered["source"], SOURCE_KEYS)
        if rendered["artifact"] is not None:
            assert_key_order(rendered["artifact"], ARTIFACT_KEYS)
        if rendered["fs_times"] is not None:
            assert_key_order(rendered["fs_times"], FS_TIMES_KEYS)

    document = vellumtrace.to_json(tree, pretty=False, **options)
    assert document.startswith('{"events":[' + ",".join(lines) + '],"diagnostics":[')
    diagnostics = json.loads(document)["diagnostics"]
    assert diagnostics == report["diagnostics"]
    for diagnostic in diagnostics:
        assert_key_order(diagnostic, DIAGNOSTIC_KEYS)

    csv.field_size_limit(sys.maxsize)  # inlined file content can be large
    table = list(csv.reader(io.StringIO(vellumtrace.to_csv(tree, **options), newline="")))
    assert table[0] == CSV_COLUMNS
    assert len(table) == len(report["events"]) + 1
    for row, event in zip(table[1:], report["events"]):
        assert len(row) == 30
        for column, cell in zip(CSV_COLUMNS, row):
            if column in ("timestamp_raw", "raw"):
                assert (json.loads(cell) if cell else None) == event[column]
            elif column == "warnings":
                assert (json.loads(cell) if cell else []) == event["warnings"]
            else:
                assert cell == csv_cell_for(event, column), column


def test_renderings_agree_with_parse_on_sample():
    check_agreement(SAMPLE)


def test_renderings_agree_with_parse_on_corpus(corpus_dir):
    trees = sorted(path for path in corpus_dir.iterdir() if path.is_dir())
    assert trees
    for tree in trees:
        if not (tree / ".codex").is_dir() and not any(
                (tree / ".claude" / part).exists() for part in ("history.jsonl", "paste-cache", "image-cache", "file-history")):
            tree = tree / ".claude" / "projects"  # transcripts alone: read when named
        check_agreement(tree)
