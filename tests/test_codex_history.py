"""Codex prompt history: one prompt_input event per object line."""

import hashlib
import json

import pytest

import vellumtrace


def write_history(tmp_path, lines):
    root = tmp_path / ".codex"
    root.mkdir()
    (root / "history.jsonl").write_text("".join(line + "\n" for line in lines))
    return root / "history.jsonl"


def parse_history(tmp_path, lines, **kwargs):
    return vellumtrace.parse(write_history(tmp_path, lines), **kwargs)


@pytest.mark.parametrize(
    "ts, expected",
    [("0", "1970-01-01T00:00:00Z"), ("-1", "1969-12-31T23:59:59Z"), ("1700000000", "2023-11-14T22:13:20Z"),
     ("-62135596800", "0001-01-01T00:00:00Z"), ("253402300800", "+10000-01-01T00:00:00Z")])
def test_valid_unix_seconds(tmp_path, ts, expected):
    report = parse_history(tmp_path, ['{"ts": %s}' % ts])
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert (event["timestamp"], event["timestamp_source"], event["timestamp_raw"]) == (
        expected, "embedded", json.loads(ts))


@pytest.mark.parametrize(
    "ts",
    ["1700000000.5", "1700000000.0", "1.7e9", '"1700000000"', "true", "null", "[1]", '{"s": 1}',
     "9223372036854775808",
     "9223372036854775807",  # fits 64 bits but lies beyond every representable date
     "-9223372036854775808"])
def test_invalid_ts_keeps_raw_and_warns(tmp_path, ts):
    report = parse_history(tmp_path, ['{"ts": %s, "text": "hi"}' % ts])
    (event,) = report["events"]
    assert (event["timestamp"], event["timestamp_source"], event["timestamp_raw"]) == (None, "none", json.loads(ts))
    assert event["message"] == "hi"
    assert report["diagnostics"] == [{
        "code": "invalid_timestamp", "severity": "warning",
        "message": "Field 'ts' is not a valid Unix timestamp in seconds.",
        "source": {"artifact_kind": "history", "line_number": 1, "record_type": None,
                   "relative_path": "history.jsonl", "source_id": None},
    }]


@pytest.mark.parametrize(
    "key, value, type_name",
    [("session_id", "42", "number"), ("session_id", "1.5", "number"), ("text", "null", "null"),
     ("text", "false", "boolean"), ("session_id", "[]", "array"), ("text", "{}", "object")])
def test_wrong_field_type_warns_and_keeps_record(tmp_path, key, value, type_name):
    report = parse_history(tmp_path, ['{"%s": %s, "ts": 5}' % (key, value)])
    (event,) = report["events"]
    (diag,) = report["diagnostics"]
    assert (diag["code"], diag["severity"], diag["source"]["line_number"], diag["source"]["artifact_kind"]) == (
        "invalid_field_type", "warning", 1, "history")
    assert diag["message"] == f"Field '{key}' expected string, got {type_name}"
    assert event["session_id"] is None and event["message"] is None
    assert event["timestamp"] == "1970-01-01T00:00:05Z"


def test_diagnostics_in_key_order_and_strict_goes_on(tmp_path):
    report = parse_history(tmp_path, ['{"ts": "x", "text": 1, "session_id": 2}'], mode="strict")
    assert [d["message"] for d in report["diagnostics"]] == [
        "Field 'session_id' expected string, got number",
        "Field 'text' expected string, got number",
        "Field 'ts' is not a valid Unix timestamp in seconds."]
    assert len(report["events"]) == 1


def test_fields_source_and_identity(tmp_path):
    lines = ['{"session_id": "s-1", "text": "fix the bug", "ts": 1700000000}', '{"session_id": "", "text": ""}',
             '{"other": 1}', '{"other": 1}']
    path = write_history(tmp_path, lines)
    first, second, bare, again = vellumtrace.parse(path, include_raw=True)["events"]
    assert (first["event_type"], first["provider"], first["session_id"], first["message"]) == (
        "prompt_input", "codex", "s-1", "fix the bug")
    assert first["source"] == {"artifact_kind": "history", "line_number": 1, "record_type": "history",
                               "relative_path": "history.jsonl", "source_id": "s-1"}
    assert first["raw"] == json.loads(lines[0])
    # The empty string is a string: kept, not reported.
    assert (second["session_id"], second["message"], second["source"]["source_id"]) == ("", "", "")
    assert (bare["session_id"], bare["message"], bare["timestamp_raw"], bare["timestamp_source"]) == (
        None, None, None, "none")
    assert bare["warnings"] == [] and bare["working_directory"] is None
    assert {e["source_file_sha256"] for e in (first, second, bare)} == {hashlib.sha256(path.read_bytes()).hexdigest()}
    # The documented identifier of line 1 of history.jsonl; equal lines differ by line number.
    assert first["event_id"] == "5586078756733624ac106a9ab809e832304d179ee925820c4f643e05aae6b464"
    assert bare["event_id"] != again["event_id"]


def test_loop_diagnostics_carry_history_kind(tmp_path):
    report = parse_history(tmp_path, ["not json", "[1, 2]", '{"text": "ok"}'])
    assert [(d["code"], d["source"]["line_number"], d["source"]["artifact_kind"]) for d in report["diagnostics"]] == [
        ("invalid_json", 1, "history"), ("unknown_record", 2, "history")]
    assert [e["message"] for e in report["events"]] == ["ok"]
