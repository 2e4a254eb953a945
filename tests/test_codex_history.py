"""Codex prompt history: one prompt_input event per object line."""

import hashlib
import json

import pytest

import vellumtrace


def write_history(tmp_path, lines):
    root = tmp_path / ".codex"
    root.mkdir()
    path = root / "history.jsonl"
    path.write_bytes(b"".join(line.encode() + b"\n" for line in lines))
    return path


def parse_history(tmp_path, lines, **kwargs):
    return vellumtrace.parse(write_history(tmp_path, lines), **kwargs)


@pytest.mark.parametrize(
    "ts, expected",
    [
        ("0", "1970-01-01T00:00:00Z"),
        ("-1", "1969-12-31T23:59:59Z"),
        ("1700000000", "2023-11-14T22:13:20Z"),
        ("-62135596800", "0001-01-01T00:00:00Z"),
        ("253402300800", "+10000-01-01T00:00:00Z"),
    ],
)
def test_valid_unix_seconds(tmp_path, ts, expected):
    report = parse_history(tmp_path, ['{"ts": %s}' % ts])
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert event["timestamp"] == expected
    assert event["timestamp_source"] == "embedded"
    assert event["timestamp_raw"] == json.loads(ts)


@pytest.mark.parametrize(
    "ts",
    [
        "1700000000.5",
        "1700000000.0",
        "1.7e9",
        '"1700000000"',
        "true",
        "[1]",
        '{"s": 1}',
        "9223372036854775808",
        "9223372036854775807",  # fits 64 bits but lies beyond every calendar date
        "-9223372036854775808",
    ],
)
def test_invalid_ts_keeps_raw_and_warns(tmp_path, ts):
    report = parse_history(tmp_path, ['{"ts": %s, "text": "hi"}' % ts])
    (event,) = report["events"]
    assert event["timestamp"] is None
    assert event["timestamp_source"] == "none"
    assert event["timestamp_raw"] == json.loads(ts)
    assert event["message"] == "hi"
    assert report["diagnostics"] == [
        {
            "code": "invalid_timestamp",
            "severity": "warning",
            "message": "Field 'ts' is not a valid Unix timestamp in seconds.",
            "source": {
                "artifact_kind": "history",
                "line_number": 1,
                "record_type": None,
                "relative_path": "history.jsonl",
                "source_id": None,
            },
        }
    ]


def test_null_ts_is_invalid(tmp_path):
    report = parse_history(tmp_path, ['{"ts": null}'])
    assert [d["code"] for d in report["diagnostics"]] == ["invalid_timestamp"]
    assert report["events"][0]["timestamp"] is None


def test_object_without_keys_gives_bare_prompt(tmp_path):
    report = parse_history(tmp_path, ['{"other": 1}'])
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert event["event_type"] == "prompt_input"
    assert event["provider"] == "codex"
    assert event["schema_version"] == "1"
    assert event["session_id"] is None
    assert event["message"] is None
    assert event["timestamp"] is None
    assert event["timestamp_raw"] is None
    assert event["timestamp_source"] == "none"
    assert event["working_directory"] is None
    assert event["artifact"] is None and event["fs_times"] is None
    assert event["warnings"] == []
    assert event["raw"] is None


@pytest.mark.parametrize(
    "key, value, type_name",
    [
        ("session_id", "42", "number"),
        ("session_id", "1.5", "number"),
        ("text", "null", "null"),
        ("text", "false", "boolean"),
        ("session_id", "[]", "array"),
        ("text", "{}", "object"),
    ],
)
def test_wrong_field_type_warns_and_keeps_record(tmp_path, key, value, type_name):
    report = parse_history(tmp_path, ['{"%s": %s, "ts": 5}' % (key, value)])
    (event,) = report["events"]
    (diag,) = report["diagnostics"]
    assert diag["code"] == "invalid_field_type"
    assert diag["severity"] == "warning"
    assert diag["message"] == f"Field '{key}' expected string, got {type_name}"
    assert diag["source"]["line_number"] == 1
    assert diag["source"]["artifact_kind"] == "history"
    assert event["session_id"] is None and event["message"] is None
    assert event["timestamp"] == "1970-01-01T00:00:05Z"


def test_diagnostics_in_key_order(tmp_path):
    report = parse_history(tmp_path, ['{"ts": "x", "text": 1, "session_id": 2}'])
    assert [d["message"] for d in report["diagnostics"]] == [
        "Field 'session_id' expected string, got number",
        "Field 'text' expected string, got number",
        "Field 'ts' is not a valid Unix timestamp in seconds.",
    ]


def test_fields_and_source(tmp_path):
    lines = ['{"session_id": "s-1", "text": "fix the bug", "ts": 1700000000}', '{"session_id": "", "text": ""}']
    path = write_history(tmp_path, lines)
    report = vellumtrace.parse(path, include_raw=True)
    first, second = report["events"]
    assert first["session_id"] == "s-1"
    assert first["message"] == "fix the bug"
    assert first["source"] == {
        "artifact_kind": "history",
        "line_number": 1,
        "record_type": "history",
        "relative_path": "history.jsonl",
        "source_id": "s-1",
    }
    assert first["raw"] == json.loads(lines[0])
    # The empty string is a string: kept, not reported.
    assert second["session_id"] == "" and second["message"] == ""
    assert second["source"]["source_id"] == ""
    digest = hashlib.sha256(path.read_bytes()).hexdigest()
    assert {e["source_file_sha256"] for e in report["events"]} == {digest}


def test_event_ids_follow_line_numbers(tmp_path):
    same = '{"session_id": "s", "text": "again", "ts": 1}'
    report = parse_history(tmp_path, [same, same])
    ids = [e["event_id"] for e in report["events"]]
    # The documented identifier of line 1 of history.jsonl under provider codex.
    assert ids[0] == "5586078756733624ac106a9ab809e832304d179ee925820c4f643e05aae6b464"
    assert ids[0] != ids[1]


def test_loop_diagnostics_carry_history_kind(tmp_path):
    report = parse_history(tmp_path, ["not json", "[1, 2]", '{"text": "ok"}'])
    assert [(d["code"], d["severity"], d["source"]["line_number"], d["source"]["artifact_kind"])
            for d in report["diagnostics"]] == [
        ("invalid_json", "error", 1, "history"),
        ("unknown_record", "warning", 2, "history"),
    ]
    assert [e["message"] for e in report["events"]] == ["ok"]


def test_warnings_do_not_stop_strict_mode(tmp_path):
    report = parse_history(tmp_path, ['{"ts": 1.5, "text": 3}'], mode="strict")
    assert len(report["events"]) == 1
    assert len(report["diagnostics"]) == 2
