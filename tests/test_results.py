"""The report of `parse` as Python objects: shape, key order, absent members, raw values."""

import json

import pytest

import vellumtrace

EVENT_KEYS = [
    "artifact", "event_id", "event_type", "fs_times", "message", "provider", "raw",
    "schema_version", "sequence", "session_id", "source", "source_file_sha256", "timestamp",
    "timestamp_raw", "timestamp_source", "warnings", "working_directory",
]
SOURCE_KEYS = ["artifact_kind", "line_number", "record_type", "relative_path", "source_id"]
ARTIFACT_KEYS = ["content", "content_encoding", "media_type", "reference_status",
                 "resolved_path", "sha256", "size", "snapshot_version"]
DIAGNOSTIC_KEYS = ["code", "message", "severity", "source"]

U64_MAX = 18446744073709551615
I64_MIN = -9223372036854775808

HISTORY_LINES = [
    '{"text": "caf\\u00e9 \\ud83d\\ude00", "b": 1, "a": {"z": [1, 2.5, -3, true, null], "y": {}},'
    ' "session_id": "s1", "ts": 1700000000}',
    '{"ts": 18446744073709551615, "big": 9223372036854775808}',
    '{"ts": -1, "neg": -9223372036854775808}',
    '{"ts": 1.5, "exp": 1e300, "tiny": -0.0}',
    '{}',
    '{"session_id": 42}',
]


@pytest.fixture
def codex_root(tmp_path):
    root = tmp_path / ".codex"
    (root / "attachments" / "a1").mkdir(parents=True)
    (root / "history.jsonl").write_text("\n".join(HISTORY_LINES) + "\n", encoding="utf-8")
    (root / "attachments" / "a1" / "notes.txt").write_text("hello attachment")
    return root


def history_events(report):
    found = [e for e in report["events"] if e["source"]["artifact_kind"] == "history"]
    return sorted(found, key=lambda e: e["source"]["line_number"])


def attachment_event(report):
    return next(e for e in report["events"] if e["event_type"] == "attachment")


def test_empty_root(tmp_path):
    (tmp_path / ".codex").mkdir()
    report = vellumtrace.parse(tmp_path / ".codex")
    assert report == {"events": [], "diagnostics": []}
    assert list(report) == ["events", "diagnostics"]


def test_record_shape_and_key_order(codex_root):
    report = vellumtrace.parse(codex_root)
    events = report["events"]
    assert len(events) == len(HISTORY_LINES) + 1
    for index, event in enumerate(events):
        assert list(event) == EVENT_KEYS
        assert list(event["source"]) == SOURCE_KEYS
        assert event["sequence"] == index and type(event["sequence"]) is int
        assert event["schema_version"] == "1" and event["raw"] is None
        assert event["warnings"] == [] and type(event["warnings"]) is list
    for diagnostic in report["diagnostics"]:
        assert list(diagnostic) == DIAGNOSTIC_KEYS
        assert list(diagnostic["source"]) == SOURCE_KEYS


def test_history_event_members(codex_root):
    first, second, third, _, empty, numeric_session = history_events(vellumtrace.parse(codex_root))
    assert first["message"] == "caf\u00e9 \U0001F600"
    assert (first["provider"], first["event_type"]) == ("codex", "prompt_input")
    assert first["timestamp"] == "2023-11-14T22:13:20Z" and first["timestamp_source"] == "embedded"
    assert first["source"] == {"artifact_kind": "history", "line_number": 1,
                               "record_type": "history", "relative_path": "history.jsonl",
                               "source_id": "s1"}
    assert len(first["source_file_sha256"]) == 64
    assert third["timestamp"] == "1969-12-31T23:59:59Z"
    # members the record does not carry are None, never missing or empty
    for key in ["session_id", "message", "timestamp", "timestamp_raw", "artifact", "fs_times",
                "working_directory"]:
        assert empty[key] is None
    assert empty["timestamp_source"] == "none"
    assert second["timestamp"] is None and numeric_session["session_id"] is None


def test_raw_values_convert_exactly(codex_root):
    first, second, third, fourth, empty, _ = history_events(
        vellumtrace.parse(codex_root, include_raw=True))
    raw = first["raw"]
    assert list(raw) == ["a", "b", "session_id", "text", "ts"]
    assert list(raw["a"]) == ["y", "z"] and raw["a"]["y"] == {}
    assert raw["a"]["z"] == [1, 2.5, -3, True, None]
    assert [type(v) for v in raw["a"]["z"]] == [int, float, int, bool, type(None)]
    assert second["raw"] == {"big": 9223372036854775808, "ts": U64_MAX}
    assert third["raw"]["neg"] == I64_MIN
    assert fourth["raw"] == {"exp": 1e300, "tiny": -0.0, "ts": 1.5}
    assert str(fourth["raw"]["tiny"]) == "-0.0"
    assert empty["raw"] == {}
    # the raw timestamp keeps its JSON type
    stamps = [first["timestamp_raw"], second["timestamp_raw"], third["timestamp_raw"],
              fourth["timestamp_raw"]]
    assert stamps == [1700000000, U64_MAX, -1, 1.5]
    assert [type(s) for s in stamps] == [int, int, int, float]


def test_object_keys_sorted_by_utf8_bytes(tmp_path):
    # "\u00e9" (C3 A9) sorts after "z"; "\U0001F600" (F0 ...) after "\uffff" (EF BF BF),
    # unlike the order of UTF-16 code units.
    keys = ["\U0001F600", "z", "\uffff", "\u00e9", "A", "a"]
    (tmp_path / ".codex").mkdir()
    path = tmp_path / ".codex" / "history.jsonl"
    path.write_text(json.dumps({k: i for i, k in enumerate(keys)}) + "\n", encoding="utf-8")
    raw = vellumtrace.parse(path, include_raw=True)["events"][0]["raw"]
    assert list(raw) == sorted(keys, key=lambda k: k.encode("utf-8"))


def test_artifact_and_file_times(codex_root):
    attachment = attachment_event(vellumtrace.parse(codex_root))
    assert attachment["event_type"] == "attachment"
    assert list(attachment["artifact"]) == ARTIFACT_KEYS
    assert attachment["artifact"]["size"] == 16 and attachment["artifact"]["content"] is None
    assert attachment["artifact"]["reference_status"] is None
    assert list(attachment["fs_times"]) == ["accessed", "created", "modified"]
    assert attachment["timestamp"] == attachment["fs_times"]["modified"]
    assert attachment["timestamp"].endswith("Z")
    inlined = attachment_event(vellumtrace.parse(codex_root, include_content=True))["artifact"]
    assert (inlined["content"], inlined["content_encoding"]) == ("hello attachment", "utf8")


def test_diagnostics(codex_root):
    diagnostics = vellumtrace.parse(codex_root)["diagnostics"]
    assert [(d["code"], d["severity"]) for d in diagnostics] == [
        ("invalid_timestamp", "warning"), ("invalid_timestamp", "warning"),
        ("invalid_field_type", "warning")]
    assert diagnostics[2]["message"] == "Field 'session_id' expected string, got number"
    assert diagnostics[2]["source"]["line_number"] == 6


def test_every_call_builds_new_objects(codex_root):
    first = history_events(vellumtrace.parse(codex_root, include_raw=True))[0]
    first["raw"]["a"]["z"].append("changed")
    first["warnings"].append("changed")
    second = history_events(vellumtrace.parse(codex_root, include_raw=True))[0]
    assert second["raw"]["a"]["z"] == [1, 2.5, -3, True, None]
    assert second["warnings"] == []


def test_matches_the_json_rendering(corpus_dir):
    roots = [p for p in sorted(corpus_dir.iterdir()) if p.is_dir()]
    assert roots
    for root in roots:
        try:
            report = vellumtrace.parse(root, include_raw=True, include_content=True)
        except ValueError:  # a home whose only root holds transcripts alone
            with pytest.raises(ValueError):
                vellumtrace.to_json(root)
            continue
        rendered = json.loads(vellumtrace.to_json(root, include_raw=True, include_content=True))
        assert report == rendered, root.name
        for event in report["events"]:
            assert list(event) == EVENT_KEYS
