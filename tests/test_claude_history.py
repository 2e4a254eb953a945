"""Claude Code prompt history: prompts, pasted contents, field types, millisecond
timestamps, file-level damage and strict endings."""

import hashlib
import json

import pytest

import vellumtrace

AT = "at history.jsonl line 1"
SHA_ABC = hashlib.sha256(b"abc").hexdigest()


def write_history(tmp_path, data):
    root = tmp_path / ".claude"
    root.mkdir()
    path = root / "history.jsonl"
    path.write_bytes(data if isinstance(data, bytes) else "".join(line + "\n" for line in data).encode())
    return path


def parse_lines(tmp_path, lines, **kwargs):
    return vellumtrace.parse(write_history(tmp_path, [json.dumps(x) if not isinstance(x, str) else x
                                                      for x in lines]), **kwargs)


def event_id(source_key, ordinal=None):
    text = b"\0".join([b"ClaudeCode", b"History", b"history.jsonl", source_key.encode(), b""])
    if ordinal is not None:
        text += str(ordinal).encode()
    return hashlib.sha256(hashlib.sha256(text).digest()).hexdigest()


def range_warning(ms):
    return f"Timestamp {ms} ms is outside reasonable range (2000-2100) {AT}"


def unconvertible(ms):
    return f"Timestamp {ms} ms could not be converted to DateTime {AT}"


FRACTION = f"Timestamp has fractional milliseconds {AT}, rounding down"
STRING = f"Timestamp is a string (not numeric ms) {AT}"
OTHER = f"Timestamp is not a number or string {AT}"
I64_MAX, I64_MIN = 2**63 - 1, -(2**63)


@pytest.mark.parametrize("raw, timestamp, source, warnings", [
    # Numbers: the inclusive plausible range, checked but never refused.
    ("946684800000", "2000-01-01T00:00:00Z", "embedded", []),
    ("4102444800000", "2100-01-01T00:00:00Z", "embedded", []),
    ("946684799999", "1999-12-31T23:59:59.999Z", "embedded", [range_warning(946684799999)]),
    ("4102444800001", "2100-01-01T00:00:00.001Z", "embedded", [range_warning(4102444800001)]),
    ("0", "1970-01-01T00:00:00Z", "embedded", [range_warning(0)]),
    ("-1", "1969-12-31T23:59:59.999Z", "embedded", [range_warning(-1)]),
    ("-1001", "1969-12-31T23:59:58.999Z", "embedded", [range_warning(-1001)]),
    # Fractions are truncated toward zero.
    ("1700000000000.7", "2023-11-14T22:13:20Z", "embedded", [FRACTION]),
    ("1.7e12", "2023-11-14T22:13:20Z", "embedded", []),
    ("-0.5", "1970-01-01T00:00:00Z", "embedded", [FRACTION, range_warning(0)]),
    ("-1.5", "1969-12-31T23:59:59.999Z", "embedded", [FRACTION, range_warning(-1)]),
    # Integers pass through a 64-bit float.
    ("4102444800000.0", "2100-01-01T00:00:00Z", "embedded", []),
    ("9007199254740993", None, "embedded", [range_warning(9007199254740992), unconvertible(9007199254740992)]),
    # Saturation at the bounds of the 64-bit range.
    ("1e19", None, "embedded", [range_warning(I64_MAX), unconvertible(I64_MAX)]),
    ("18446744073709551615", None, "embedded", [range_warning(I64_MAX), unconvertible(I64_MAX)]),
    ("-1e19", None, "embedded", [range_warning(I64_MIN), unconvertible(I64_MIN)]),
    ("-9223372036854775808", None, "embedded", [range_warning(I64_MIN), unconvertible(I64_MIN)]),
    # The edges of the representable calendar.
    ("8210266876799999", "+262142-12-31T23:59:59.999Z", "embedded", [range_warning(8210266876799999)]),
    ("8210266876800000", None, "embedded", [range_warning(8210266876800000), unconvertible(8210266876800000)]),
    ("-8334601228800000", "-262143-01-01T00:00:00Z", "embedded", [range_warning(-8334601228800000)]),
    ("-8334601228800001", None, "embedded", [range_warning(-8334601228800001), unconvertible(-8334601228800001)]),
    # Strings: relaxed date-times with a required zone.
    ('"2024-01-02T03:04:05Z"', "2024-01-02T03:04:05Z", "embedded", [STRING]),
    ('"2024-01-02 03:04:05+02:00"', "2024-01-02T01:04:05Z", "embedded", [STRING]),
    ('"2024-01-02t03:04:05.25z"', "2024-01-02T03:04:05.250Z", "embedded", [STRING]),
    ('" 2024-01-02T03:04:05 uTc\\n"', "2024-01-02T03:04:05Z", "embedded", [STRING]),
    ('"2024-01-02 03:04:05UTC"', "2024-01-02T03:04:05Z", "embedded", [STRING]),
    ('"2024-01-02T03:04:05-0130"', "2024-01-02T04:34:05Z", "embedded", [STRING]),
    ('"2024-08-21T10:45:60.123-05:30"', "2024-08-21T16:15:60.123Z", "embedded", [STRING]),
    ('"2100-05-16T05:58:60.12Z"', "2100-05-16T05:58:60.120Z", "embedded", [STRING]),
    ('"2024-01-02T03:04:05"', None, "none", [STRING]),
    ('"2024-01-02T03:04:05 +02"', None, "none", [STRING]),
    ('"2024-02-30T03:04:05Z"', None, "none", [STRING]),
    ('"UTC"', None, "none", [STRING]),
    ('"yesterday"', None, "none", [STRING]),
    ('"1700000000000"', None, "none", [STRING]),
    # Other JSON types.
    ("null", None, "none", [OTHER]),
    ("true", None, "none", [OTHER]),
    ("[1700000000000]", None, "none", [OTHER]),
    ('{"ms": 1}', None, "none", [OTHER]),
])
def test_timestamp_rule(tmp_path, raw, timestamp, source, warnings):
    report = parse_lines(tmp_path, ['{"display": "p", "timestamp": %s}' % raw], mode="strict")
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert (event["timestamp"], event["timestamp_source"], event["warnings"]) == (timestamp, source, warnings)
    assert event["timestamp_raw"] == json.loads(raw)


WRONG = {"null": None, "boolean": False, "number": 2, "string": "x", "array": [], "object": {}}
FIELDS = [
    # (path into the record, expected type, message before the type name, what is left of the field)
    (("display",), "string", "Field 'display' expected string, got ", lambda ev: ev[0]["message"], None),
    (("sessionId",), "string", "Field 'sessionId' expected string, got ", lambda ev: {e["session_id"] for e in ev},
     {None}),
    (("project",), "string", "Field 'project' expected string, got ",
     lambda ev: {e["working_directory"] for e in ev}, {None}),
    (("pastedContents",), "object", "Field 'pastedContents' expected object, got ", len, 1),
    (("pastedContents", "k"), "object", "pastedContents[k] is not an object, skipping", len, 1),
    (("pastedContents", "k", "type"), "string", "pastedContents[k].type expected string, got ",
     lambda ev: ev[1]["artifact"]["media_type"], "text"),
    (("pastedContents", "k", "content"), "string", "pastedContents[k].content expected string, got ",
     lambda ev: (ev[1]["artifact"]["content"], ev[1]["artifact"]["sha256"]), (None, None)),
    (("pastedContents", "k", "contentHash"), "string", "pastedContents[k].contentHash expected string, got ",
     lambda ev: (ev[1]["source"]["source_id"], ev[1]["artifact"]["reference_status"]), (None, "resolved")),
]


@pytest.mark.parametrize("path, type_name, message, left, expected", [
    pytest.param(path, name, message, left, expected, id=".".join(path) + "-" + name)
    for path, expected_type, message, left, expected in FIELDS for name in WRONG if name != expected_type])
def test_wrong_field_type(tmp_path, path, type_name, message, left, expected):
    record = {"display": "d", "sessionId": "s", "project": "/p",
              "pastedContents": {"k": {"type": "text/x", "content": "c", "contentHash": "h"}}}
    *parents, key = path
    holder = record
    for name in parents:
        holder = holder[name]
    holder[key] = WRONG[type_name]
    report = parse_lines(tmp_path, [record], mode="strict")
    (diagnostic,) = report["diagnostics"]
    assert diagnostic["message"] == (message if message.endswith("skipping") else message + type_name)
    assert (diagnostic["code"], diagnostic["severity"], diagnostic["source"]["line_number"]) == (
        "invalid_field_type", "warning", 1)
    assert diagnostic["source"]["source_id"] == ("k" if path[1:] else None)
    assert left(report["events"]) == expected


@pytest.mark.parametrize("record, message, diagnostics", [
    ({"display": 5, "message": "hi"}, "hi", ["Field 'display' expected string, got number"]),
    ({"display": None, "message": 1, "query": "q"}, "q", ["Field 'display' expected string, got null"]),
    ({"display": "", "message": "m", "query": "q"}, "", []),
    ({"message": "m", "query": "q"}, "m", []),
    ({"message": [1], "query": {}}, None, []),
])
def test_prompt_text_fallback(tmp_path, record, message, diagnostics):
    report = parse_lines(tmp_path, [record])
    (event,) = report["events"]
    assert event["message"] == message
    assert [d["message"] for d in report["diagnostics"]] == diagnostics


def artifact(media_type, status=None, content=None, **facts):
    base = {"reference_status": status, "resolved_path": None, "snapshot_version": None, "size": None,
            "sha256": None, "media_type": media_type, "content": content,
            "content_encoding": None if content is None else "utf8"}
    return {**base, **facts}


@pytest.mark.parametrize("entry, event_type, source_id, expected, diagnostics", [
    ({"content": "abc"}, "paste_attachment", None, artifact("text", "resolved", "abc", size=3, sha256=SHA_ABC), []),
    ({"content": "abc", "contentHash": "h1"}, "paste_attachment", "h1",
     artifact("text", "missing", "abc", size=3, sha256=SHA_ABC), []),
    ({"content": "é"}, "paste_attachment", None,
     artifact("text", "resolved", "é", size=2, sha256=hashlib.sha256("é".encode()).hexdigest()), []),
    ({"type": "image/png", "contentHash": "abc"}, "image_attachment", "abc", artifact("image/png", "missing"), []),
    ({"type": "image", "id": 1}, "image_attachment", None, artifact("image"), []),
    ({"type": "imag"}, "paste_attachment", None, artifact("imag"), []),
    ({"type": "Image/png"}, "paste_attachment", None, artifact("Image/png"), []),
    ({}, "paste_attachment", None, artifact("text"), []),
    # Warnings of one entry come in member order: type, content, contentHash.
    ({"type": 5, "content": 7, "contentHash": None}, "paste_attachment", None, artifact("text"), [
        "pastedContents[k].type expected string, got number", "pastedContents[k].content expected string, got number",
        "pastedContents[k].contentHash expected string, got null"]),
    ({"type": ["image"], "contentHash": "h"}, "paste_attachment", "h",
     artifact("text", "missing"), ["pastedContents[k].type expected string, got array"]),
])
def test_pasted_entry(tmp_path, entry, event_type, source_id, expected, diagnostics):
    report = parse_lines(tmp_path, [{"display": "p", "pastedContents": {"k": entry}}], mode="strict")
    prompt, event = report["events"]
    assert prompt["event_type"] == "prompt_input"
    assert (event["event_type"], event["source"]["source_id"], event["artifact"]) == (event_type, source_id, expected)
    assert [d["message"] for d in report["diagnostics"]] == diagnostics
    # The key names the entry its warnings are about.
    assert all(d["source"]["source_id"] == "k" and d["code"] == "invalid_field_type" for d in report["diagnostics"])


@pytest.mark.parametrize("keys, order, skipped", [
    (["10", "2", "1"], ["1", "2", "10"], set()),
    (["10", "2", "a"], ["10", "2", "a"], set()),
    (["1", "01", "+1", "-1"], ["-1", "+1", "01", "1"], set()),
    (["-9223372036854775808", "10", "9223372036854775807", "9"],
     ["-9223372036854775808", "9", "10", "9223372036854775807"], set()),
    (["10", "9", "9223372036854775808"], ["10", "9", "9223372036854775808"], set()),
    (["-9223372036854775809", "10", "9"], ["-9223372036854775809", "10", "9"], set()),
    (["+", "2", "10"], ["+", "10", "2"], set()),
    (["", "2", "10"], ["", "10", "2"], set()),
    (["1 ", "2", "10"], ["1 ", "10", "2"], set()),
    # Skipped entries still take their ordinal.
    (["3", "1", "2"], ["1", "2", "3"], {"1"}),
])
def test_pasted_key_order_and_ordinals(tmp_path, keys, order, skipped):
    pasted = {k: 0 if k in skipped else {"contentHash": k} for k in keys}
    report = parse_lines(tmp_path, ['{"display": "p", "pastedContents": %s}' % json.dumps(pasted)])
    _, *attachments = report["events"]
    expected = [(k, event_id(f"history:1:paste:{k}", n)) for n, k in enumerate(order) if k not in skipped]
    assert [(e["source"]["source_id"], e["event_id"]) for e in attachments] == expected
    assert [d["source"]["source_id"] for d in report["diagnostics"]] == [k for k in order if k in skipped]


def test_events_of_a_file(tmp_path):
    lines = [
        {"display": "first", "timestamp": 1762159272000, "sessionId": "s1", "project": "/p",
         "pastedContents": {"2": {"content": "abc"}, "1": {"type": "image", "contentHash": "h"}}},
        {"query": "second", "sessionId": "s2", "pastedContents": {"1": {"contentHash": "g"}}},
        {"display": "third", "timestamp": "later"},
    ]
    path = write_history(tmp_path, [json.dumps(x) for x in lines])
    events = vellumtrace.parse(path, include_raw=True)["events"]
    digest = hashlib.sha256(path.read_bytes()).hexdigest()
    rows = [(e["sequence"], e["event_type"], e["source"]["line_number"], e["source"]["record_type"],
             e["event_id"], e["session_id"], e["working_directory"], e["timestamp"], e["timestamp_source"],
             e["timestamp_raw"], e["message"], e["raw"] is not None) for e in events]
    t1 = "2025-11-03T08:41:12Z"
    assert rows == [
        (0, "prompt_input", 1, "history", event_id("history:1"), "s1", "/p", t1, "embedded", 1762159272000,
         "first", True),
        (1, "image_attachment", 1, "pasted_content", event_id("history:1:paste:1", 0), "s1", "/p", t1,
         "referenced_event", None, None, False),
        (2, "paste_attachment", 1, "pasted_content", event_id("history:1:paste:2", 1), "s1", "/p", t1,
         "referenced_event", None, None, False),
        (3, "prompt_input", 2, "history", event_id("history:2"), "s2", None, None, "none", None, "second", True),
        (4, "paste_attachment", 2, "pasted_content", event_id("history:2:paste:1", 0), "s2", None, None, "none",
         None, None, False),
        (5, "prompt_input", 3, "history", event_id("history:3"), None, None, None, "none", "later", "third", True),
    ]
    assert events[0]["raw"] == lines[0]
    assert [e["warnings"] for e in events] == [[], [], [], [], [], ["Timestamp is a string (not numeric ms) at "
                                                                     "history.jsonl line 3"]]
    assert {e["source_file_sha256"] for e in events} == {digest}
    assert {(e["provider"], e["schema_version"], e["source"]["artifact_kind"], e["source"]["relative_path"])
            for e in events} == {("claude_code", "1", "history", "history.jsonl")}


LONG = b'{"display": "' + b"y" * 1_000_000 + b'"}'


@pytest.mark.parametrize("data, max_line_size, prompts, diagnostics", [
    (b"", 10, [], []),
    (b"\n  \n\t\r\n\xe2\x80\x83\n", 10, [], []),
    (b'{"a":1}\r\n\r\n{"b":22}', 10, [1, 3], []),
    (b'{"a":1}\n{"b":22222}\n{"c":3333}\n', 10, [1, 3],
     [("invalid_json", "warning", 2, "Line exceeds max_line_size (11 > 10), skipping")]),
    (b'  {"a":1}  \n', 11, [1], []),
    (LONG + b"\n{}\n", 1000, [2], [("invalid_json", "warning", 1, "Line exceeds max_line_size (1000015 > 1000), skipping")]),
    (LONG + b"\n{}\n", 0, [1, 2], []),
    (b'{"a":"\xff"}\n{}\n', 0, [2], [("unreadable_artifact", "error", 1, "Failed to read line: invalid utf-8")]),
    (b"nope\n{}\n", 0, [2], [("invalid_json", "error", 1, "Invalid JSON: ")]),
    (b'{} {}\n', 0, [], [("invalid_json", "error", 1, "Invalid JSON: ")]),
    (b'[1]\n"s"\n7\n{}', 0, [4], [("unknown_record", "warning", n, "Top-level value is not a JSON object, skipping")
                                  for n in (1, 2, 3)]),
])
def test_file_lines(tmp_path, data, max_line_size, prompts, diagnostics):
    report = vellumtrace.parse(write_history(tmp_path, data), max_line_size=max_line_size)
    assert [e["source"]["line_number"] for e in report["events"]] == prompts
    found = [(d["code"], d["severity"], d["source"]["line_number"], d["message"]) for d in report["diagnostics"]]
    assert [f[:3] for f in found] == [d[:3] for d in diagnostics]
    assert all(f[3].startswith(d[3]) for f, d in zip(found, diagnostics))


@pytest.mark.parametrize("data, max_line_size, error, message, whole", [
    (b'{"a":"\xff"}\n{}\n', 0, OSError, "I/O error at {path}: invalid utf-8", False),
    (b'{}\n{"display": "too long"}\n', 10, ValueError, "Line exceeds max_line_size", True),
    (b"{}\nnope\n", 0, ValueError, "JSON parse error at history.jsonl line 2: ", False),
])
def test_strict_endings(tmp_path, data, max_line_size, error, message, whole):
    path = write_history(tmp_path, data)
    with pytest.raises(error) as caught:
        vellumtrace.parse(path, mode="strict", max_line_size=max_line_size)
    expected = message.format(path=path)
    text = str(caught.value)
    assert text == expected if whole else text.startswith(expected)
