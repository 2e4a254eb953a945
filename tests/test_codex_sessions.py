"""Codex session rollouts: discovery, per-file state, record mapping, messages."""

import hashlib
import json
import os
import subprocess
import sys

import pytest

import vellumtrace

UUID = "0199b261-401d-75c1-af9e-a44a18e60d0a"
FILE_NAME = f"rollout-2025-10-04T22-19-01-{UUID}.jsonl"
RELATIVE = f"sessions/2025/10/05/{FILE_NAME}"
TS = "2025-10-05T03:19:01.943Z"


def write_rollout(tmp_path, records, name=FILE_NAME, subdir="2025/10/05"):
    folder = tmp_path / ".codex" / "sessions" / subdir
    folder.mkdir(parents=True, exist_ok=True)
    lines = [r if isinstance(r, str) else json.dumps(r) for r in records]
    (folder / name).write_text("".join(line + "\n" for line in lines))
    return folder / name


def parse_records(tmp_path, records, **kwargs):
    return vellumtrace.parse(write_rollout(tmp_path, records), **kwargs)


def record(kind, payload=None):
    return {"timestamp": TS, "type": kind, **({} if payload is None else {"payload": payload})}


def item(payload_type, **payload):
    return record("response_item", {"type": payload_type, **payload})


def event_msg(payload_type, **payload):
    return record("event_msg", {"type": payload_type, **payload})


def meta(**payload):
    return record("session_meta", payload)


MAPPING = [
    (item("message", role="user"), "prompt_input", "response_item/message"),
    (item("message", role="assistant"), "agent_message", "response_item/message"),
    (item("message", role="developer"), "developer_message", "response_item/message"),
    (item("message", role="system"), "unknown", "response_item/message"),
    (item("message"), "unknown", "response_item/message"),
    (event_msg("user_message"), "prompt_input", "event_msg/user_message"),
    (item("tool_search_call"), "tool_call", "response_item/tool_search_call"),
    (event_msg("collab_close_end"), "tool_result", "event_msg/collab_close_end"),
    (event_msg("inter_agent_communication_metadata"), "task_state",
     "event_msg/inter_agent_communication_metadata"),
    (record("turn_context", {"cwd": "/w"}), "task_state", "turn_context"),
    (event_msg("error"), "error", "event_msg/error"),
    (record("compacted", {"message": "m"}), "context_compacted", "compacted"),
    (event_msg("context_compacted"), "context_compacted", "event_msg/context_compacted"),
    (record("context_compacted"), "unknown", "context_compacted"),
    (meta(type="other"), "session_start", "session_meta/other"),
    (record("session_meta", 5), "session_start", "session_meta"),
    (item("Message", role="user"), "unknown", "response_item/Message"),
    ({"type": "message", "role": "user"}, "unknown", "message"),
    ({"type": "reasoning"}, "agent_reasoning", "reasoning"),
    ({"id": "x"}, "unknown", "unknown"),
    ({"type": 3, "payload": [1]}, "unknown", "unknown"),
]


@pytest.mark.parametrize("rec, event_type, record_type", MAPPING)
def test_mapping_table(tmp_path, rec, event_type, record_type):
    report = parse_records(tmp_path, [rec])
    (event,) = report["events"]
    assert (event["event_type"], event["source"]["record_type"]) == (event_type, record_type)
    if event_type == "unknown":
        payload_type = record_type.partition("/")[2] or "none"
        assert event["warnings"] == [f"Unmapped Codex record type: {record_type.split('/')[0]}/{payload_type}"]
    else:
        assert event["warnings"] == []
    assert report["diagnostics"] == []


def test_session_and_directory_state(tmp_path):
    parent = "019f4efb-ae76-7e30-b44e-3fa464c16193"
    records = [
        event_msg("task_started"),
        meta(cwd="/early"),  # no id yet: only the directory
        meta(id=42, cwd=7),  # values of other types change nothing
        meta(id="child-id", forked_from_id=parent, cwd="/child"),  # the file's own
        meta(id=parent, cwd="/parent"),  # a copy of the parent's: changes nothing
        record("turn_context", {"cwd": "/later"}),
        event_msg("task_complete"),
    ]
    name = f"rollout-2025-10-04T22-19-01-{UUID.upper()}.jsonl"
    report = vellumtrace.parse(write_rollout(tmp_path, records, name=name))
    assert [(e["session_id"], e["working_directory"]) for e in report["events"]] == [
        (UUID, None), (UUID, "/early"), (UUID, "/early"), ("child-id", "/child"),
        ("child-id", "/child"), ("child-id", "/later"), ("child-id", "/later")]
    assert [e["source"]["source_id"] for e in report["events"][3:5]] == ["child-id", parent]
    # A second file starts afresh.
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-z.jsonl")
    last = vellumtrace.parse(tmp_path / ".codex")["events"][-1]
    assert (last["session_id"], last["working_directory"]) == (None, None)


@pytest.mark.parametrize(
    "name", ["rollout-a.jsonl", f"rollout-{UUID[:-1]}.jsonl", f"rollout-{UUID.replace('-', '_')}.jsonl",
             f"rollout-{UUID[:-1]}g.jsonl"])
def test_file_name_without_uuid_gives_no_session(tmp_path, name):
    (event,) = vellumtrace.parse(write_rollout(tmp_path, [event_msg("task_started")], name=name))["events"]
    assert event["session_id"] is None


MESSAGES = [
    # (record, include_content, expected message)
    (item("message", role="user", message="m", text="t"), False, "m"),
    (item("message", role="user", message=1, text="t"), False, "t"),
    (item("message", role="user", content=[{"text": "a"}, {"type": "image"}, "x", {"text": "b"}]), False, "a\nb"),
    (item("agent_message", content=[{"text": "parts only count for messages"}]), False, None),
    (item("function_call", name="shell", arguments='{"cmd":"ls"}'), False, "shell"),
    (item("function_call", name="shell", arguments='{"cmd":"ls"}'), True, 'shell: {"cmd":"ls"}'),
    (item("custom_tool_call", name="apply_patch", input="*** Begin"), True, "apply_patch: *** Begin"),
    (item("custom_tool_call", name="x", arguments=5, input="ignored"), True, "x"),
    (item("function_call", name=3), False, "tool"),
    (event_msg("exec_command_end", output="done"), False, None),
    (event_msg("exec_command_end", output="done"), True, "done"),
    (event_msg("mcp_tool_call_end", result="r"), True, "r"),
    (event_msg("mcp_tool_call_end", output=["list"], result="r"), True, None),
    (event_msg("patch_apply_end", text="own text"), False, "own text"),
    ({"type": "error", "message": "outside any payload"}, True, None),
]


@pytest.mark.parametrize("rec, include_content, expected", MESSAGES)
def test_message_rule(tmp_path, rec, include_content, expected):
    (event,) = parse_records(tmp_path, [rec], include_content=include_content)["events"]
    assert event["message"] == expected


@pytest.mark.parametrize(
    "payload, expected",
    [({"call_id": "c1", "id": "i1"}, "c1"), ({"call_id": None, "id": "i1"}, None), ({"id": "i1"}, "i1"),
     ({"id": 9}, None)])
def test_source_id(tmp_path, payload, expected):
    (event,) = parse_records(tmp_path, [item("function_call", **payload)])["events"]
    assert event["source"]["source_id"] == expected


@pytest.mark.parametrize(
    "raw, expected",
    [
        ("2024-05-01T03:04:05+02:00", "2024-05-01T01:04:05Z"),
        ("2024-01-01T00:30:00+01:00", "2023-12-31T23:30:00Z"),
        ("2024-05-01T12:00:00.25Z", "2024-05-01T12:00:00.250Z"),
        ("2024-05-01T12:00:00.1234567891Z", "2024-05-01T12:00:00.123456789Z"),
        ("2024-05-01t12:00:00z", "2024-05-01T12:00:00Z"),
        ("2024-05-01 12:00:00Z", "2024-05-01T12:00:00Z"),
        ("2016-12-31T23:59:60Z", "2016-12-31T23:59:60Z"),
        # A recorded leap second is kept in any minute and under any offset.
        ("2024-08-21T10:45:60.123-05:30", "2024-08-21T16:15:60.123Z"),
        ("2100-05-16T05:58:60.12Z", "2100-05-16T05:58:60.120Z"),
        ("2016-12-31T23:59:60+01:00", "2016-12-31T22:59:60Z"),
    ],
)
def test_rfc3339_timestamps(tmp_path, raw, expected):
    report = parse_records(tmp_path, [{"timestamp": raw}])
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert (event["timestamp"], event["timestamp_source"], event["timestamp_raw"]) == (expected, "embedded", raw)


@pytest.mark.parametrize(
    "raw",
    [1700000000, None, "2024-05-01", "2024-05-01T12:00:00", "2024-02-30T12:00:00Z", "2024-05-01T24:00:00Z",
     "2024-05-01T12:00:00.Z", "2024-05-01T12:00:00+2:00", "2024-05-01T12:00:00Z ", "24-05-01T12:00:00Z"])
def test_invalid_timestamp_warns_and_keeps_raw(tmp_path, raw):
    report = parse_records(tmp_path, [{"timestamp": raw}])
    (event,) = report["events"]
    assert (event["timestamp"], event["timestamp_source"], event["timestamp_raw"]) == (None, "none", raw)
    assert report["diagnostics"] == [{
        "code": "invalid_timestamp", "severity": "warning", "message": "Field 'timestamp' is not valid RFC 3339.",
        "source": {"artifact_kind": "session", "line_number": 1, "record_type": None, "relative_path": RELATIVE,
                   "source_id": None},
    }]


def test_event_identity_and_file_digest(tmp_path):
    path = write_rollout(tmp_path, [event_msg("task_started"), "", event_msg("task_complete")])
    report = vellumtrace.parse(path, include_raw=True)

    def event_id(key):
        data = b"\0".join([b"Codex", b"Session", RELATIVE.encode(), key.encode()]) + b"\0"
        return hashlib.sha256(hashlib.sha256(data).digest()).hexdigest()

    assert [e["event_id"] for e in report["events"]] == [event_id("codex_session:1"), event_id("codex_session:3")]
    assert {e["source_file_sha256"] for e in report["events"]} == {hashlib.sha256(path.read_bytes()).hexdigest()}
    assert report["events"][0]["raw"] == event_msg("task_started")


def test_discovery_filters_names_and_reads_in_component_order(tmp_path):
    for name in ["notes.jsonl", "Rollout-b.jsonl", "rollout-c.json", "rollout-d.JSONL"]:
        write_rollout(tmp_path, ["bad"], name=name, subdir="a")
    # Bytewise on whole paths "a-b/..." would sort before "a/..."; by component "a" < "a-b".
    for subdir in ["a-b", "a", "B", "a/z"]:
        write_rollout(tmp_path, ["not json"], name="rollout-1.jsonl", subdir=subdir)
    report = vellumtrace.parse(tmp_path / ".codex")
    assert [d["source"]["relative_path"] for d in report["diagnostics"]] == [
        "sessions/B/rollout-1.jsonl", "sessions/a/rollout-1.jsonl", "sessions/a/z/rollout-1.jsonl",
        "sessions/a-b/rollout-1.jsonl"]


def test_empty_blank_and_non_json_rollouts(tmp_path):
    write_rollout(tmp_path, [], name="rollout-empty.jsonl")
    write_rollout(tmp_path, ["", "   ", "\t"], name="rollout-blank.jsonl")
    assert vellumtrace.parse(tmp_path / ".codex") == {"events": [], "diagnostics": []}
    path = write_rollout(tmp_path, ["<html>", "b", '{"type": "event_msg"}'], name="rollout-x.jsonl")
    report = vellumtrace.parse(path)
    assert [(d["code"], d["severity"], d["source"]["line_number"]) for d in report["diagnostics"]] == [
        ("invalid_json", "error", 1), ("invalid_json", "error", 2)]
    assert [e["source"]["line_number"] for e in report["events"]] == [3]
    with pytest.raises(ValueError, match=r"^JSON parse error at sessions/2025/10/05/rollout-x.jsonl line 1: "):
        vellumtrace.parse(path, mode="strict")


def test_directory_where_a_rollout_should_be(tmp_path):
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-inner.jsonl", subdir="2025/rollout-d.jsonl")
    report = vellumtrace.parse(tmp_path / ".codex")
    assert report["diagnostics"] == []
    assert [e["source"]["relative_path"] for e in report["events"]] == [
        "sessions/2025/rollout-d.jsonl/rollout-inner.jsonl"]


def test_links_under_sessions(tmp_path):
    real = write_rollout(tmp_path, [event_msg("task_started")], name="rollout-real.jsonl", subdir="d")
    sessions = tmp_path / ".codex" / "sessions"
    (sessions / "d" / "rollout-link.jsonl").symlink_to(real)
    (sessions / "rollout-dangling.jsonl").symlink_to(sessions / "missing.jsonl")
    (sessions / "rollout-self.jsonl").symlink_to("rollout-self.jsonl")
    (sessions / "d" / "up").symlink_to(sessions, target_is_directory=True)

    plain = vellumtrace.parse(tmp_path / ".codex")
    assert plain["diagnostics"] == []
    assert [e["source"]["relative_path"] for e in plain["events"]] == ["sessions/d/rollout-real.jsonl"]

    followed = vellumtrace.parse(tmp_path / ".codex", follow_symlinks=True)
    assert [(d["code"], d["severity"], d["source"]["relative_path"], d["source"]["line_number"])
            for d in followed["diagnostics"]] == [
        ("unreadable_artifact", "error", "sessions/d/up", None),
        ("unreadable_artifact", "error", "sessions/rollout-dangling.jsonl", None),
        ("unreadable_artifact", "error", "sessions/rollout-self.jsonl", None)]
    assert all(d["message"].startswith(f"Cannot traverse session artifact: {os.path.realpath(sessions)}/")
               for d in followed["diagnostics"])
    # The loop is not entered again: each real file is read once.
    assert sorted(e["source"]["relative_path"] for e in followed["events"]) == [
        "sessions/d/rollout-link.jsonl", "sessions/d/rollout-real.jsonl"]
    with pytest.raises(ValueError, match="^Strict mode: Cannot traverse session artifact: "):
        vellumtrace.parse(tmp_path / ".codex", follow_symlinks=True, mode="strict")


def run_isolated(code):
    """Runs parse in a child process so that a hang fails the test instead of blocking the suite."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, env=env)
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_fifos_are_never_opened(tmp_path):
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-real.jsonl")
    fifo = tmp_path / ".codex" / "sessions" / "rollout-fifo.jsonl"
    os.mkfifo(fifo)
    out = run_isolated(f"import vellumtrace; r = vellumtrace.parse({str(tmp_path / '.codex')!r}); "
                       "print(len(r['events']), len(r['diagnostics']))")
    assert out.split() == ["1", "0"]
    out = run_isolated(f"import vellumtrace\ntry:\n    vellumtrace.parse({str(fifo)!r})\n"
                       "except (OSError, ValueError) as e:\n    print('refused', e)\n")
    assert out.startswith("refused ") and str(fifo) in out


def test_unreadable_line_in_strict_mode_ends_the_run(tmp_path):
    path = write_rollout(tmp_path, [event_msg("task_started")], name="rollout-1.jsonl")
    path.with_name("rollout-2.jsonl").write_bytes(b'{"type": "\xff"}\n')
    report = vellumtrace.parse(tmp_path / ".codex")
    assert [(d["code"], d["severity"]) for d in report["diagnostics"]] == [("unreadable_artifact", "error")]
    with pytest.raises(OSError, match="^I/O error at .*rollout-2.jsonl: "):
        vellumtrace.parse(tmp_path / ".codex", mode="strict")
