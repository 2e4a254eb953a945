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
TS = "2025-10-05T03:19:01.943Z"


def write_rollout(tmp_path, records, name=FILE_NAME, subdir="2025/10/05"):
    sessions = tmp_path / ".codex" / "sessions"
    folder = sessions / subdir
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / name
    lines = [r if isinstance(r, str) else json.dumps(r) for r in records]
    path.write_text("".join(line + "\n" for line in lines))
    return path


def parse_records(tmp_path, records, **kwargs):
    path = write_rollout(tmp_path, records)
    return vellumtrace.parse(path, **kwargs)


def by_line(report):
    return {e["source"]["line_number"]: e for e in report["events"]}


def event_id(kind, relative_path, key):
    data = b"\0".join([b"Codex", kind.encode(), relative_path.encode(), key.encode()]) + b"\0"
    return hashlib.sha256(hashlib.sha256(data).digest()).hexdigest()


def item(payload_type, **payload):
    return {"timestamp": TS, "type": "response_item", "payload": {"type": payload_type, **payload}}


def event_msg(payload_type, **payload):
    return {"timestamp": TS, "type": "event_msg", "payload": {"type": payload_type, **payload}}


MAPPING = [
    (item("message", role="user"), "prompt_input", "response_item/message"),
    (item("message", role="assistant"), "agent_message", "response_item/message"),
    (item("message", role="developer"), "developer_message", "response_item/message"),
    (item("message", role="system"), "unknown", "response_item/message"),
    (item("message"), "unknown", "response_item/message"),
    (event_msg("user_message"), "prompt_input", "event_msg/user_message"),
    (event_msg("agent_message"), "agent_message", "event_msg/agent_message"),
    (item("reasoning"), "agent_reasoning", "response_item/reasoning"),
    (event_msg("agent_reasoning"), "agent_reasoning", "event_msg/agent_reasoning"),
    *[(item(t), "tool_call", f"response_item/{t}")
      for t in ["function_call", "custom_tool_call", "web_search_call", "tool_search_call"]],
    *[(event_msg(t), "tool_result", f"event_msg/{t}")
      for t in ["function_call_output", "custom_tool_call_output", "exec_command_end", "patch_apply_end",
                "mcp_tool_call_end", "web_search_end", "tool_search_output", "collab_agent_spawn_end",
                "collab_agent_interaction_end", "collab_waiting_end", "collab_close_end"]],
    *[(event_msg(t), "task_state", f"event_msg/{t}")
      for t in ["task_started", "task_complete", "turn_aborted", "world_state", "thread_rolled_back",
                "sub_agent_activity", "thread_goal_updated", "thread_settings_applied",
                "inter_agent_communication_metadata"]],
    ({"timestamp": TS, "type": "turn_context", "payload": {"cwd": "/w"}}, "task_state", "turn_context"),
    ({"timestamp": TS, "type": "world_state"}, "task_state", "world_state"),
    (event_msg("token_count"), "token_usage", "event_msg/token_count"),
    (event_msg("error"), "error", "event_msg/error"),
    ({"timestamp": TS, "type": "compacted", "payload": {"message": "m"}}, "context_compacted", "compacted"),
    (event_msg("context_compacted"), "context_compacted", "event_msg/context_compacted"),
    ({"timestamp": TS, "type": "context_compacted"}, "unknown", "context_compacted"),
    ({"timestamp": TS, "type": "session_meta", "payload": {"type": "other"}}, "session_start",
     "session_meta/other"),
    ({"timestamp": TS, "type": "session_meta", "payload": 5}, "session_start", "session_meta"),
    ({"timestamp": TS, "type": "response_item", "payload": {"type": "Message", "role": "user"}}, "unknown",
     "response_item/Message"),
    ({"timestamp": TS, "type": "response_item", "payload": {"type": 7}}, "unknown", "response_item"),
    ({"timestamp": TS, "type": "message", "role": "user"}, "unknown", "message"),
    ({"timestamp": TS, "type": "reasoning"}, "agent_reasoning", "reasoning"),
]


@pytest.mark.parametrize("record, event_type, record_type", MAPPING)
def test_mapping_table(tmp_path, record, event_type, record_type):
    report = parse_records(tmp_path, [record])
    (event,) = report["events"]
    assert event["event_type"] == event_type
    assert event["source"]["record_type"] == record_type
    if event_type == "unknown":
        rec_type = record["type"]
        payload = record.get("payload")
        ptype = payload.get("type") if isinstance(payload, dict) and isinstance(payload.get("type"), str) else None
        assert event["warnings"] == [f"Unmapped Codex record type: {rec_type}/{ptype or 'none'}"]
    else:
        assert event["warnings"] == []
    assert report["diagnostics"] == []


def test_record_without_type_or_payload(tmp_path):
    report = parse_records(tmp_path, ['{"id": "x"}', '{"type": 3, "payload": [1]}'])
    first, second = report["events"]
    for event in (first, second):
        assert event["event_type"] == "unknown"
        assert event["warnings"] == ["Unmapped Codex record type: unknown/none"]
        assert event["source"]["record_type"] == "unknown"
        assert event["source"]["source_id"] is None
        assert event["timestamp_source"] == "none"
    assert report["diagnostics"] == []


def test_session_id_from_uppercase_file_name_until_session_meta(tmp_path):
    name = f"rollout-2025-10-04T22-19-01-{UUID.upper()}.jsonl"
    path = write_rollout(tmp_path, [
        event_msg("task_started"),
        {"timestamp": TS, "type": "session_meta", "payload": {"id": "own-id", "cwd": "/proj"}},
        event_msg("task_complete"),
    ], name=name)
    events = by_line(vellumtrace.parse(path))
    assert events[1]["session_id"] == UUID
    assert events[1]["working_directory"] is None
    # The session_meta event already carries what it sets.
    assert events[2]["session_id"] == "own-id" and events[2]["working_directory"] == "/proj"
    assert events[3]["session_id"] == "own-id" and events[3]["working_directory"] == "/proj"


@pytest.mark.parametrize(
    "name",
    ["rollout-a.jsonl", f"rollout-{UUID[:-1]}.jsonl", f"rollout-{UUID.replace('-', '_')}.jsonl",
     f"rollout-{UUID[:-1]}g.jsonl"],
)
def test_file_name_without_uuid_gives_no_session(tmp_path, name):
    path = write_rollout(tmp_path, [event_msg("task_started")], name=name)
    (event,) = vellumtrace.parse(path)["events"]
    assert event["session_id"] is None


def test_forked_rollout_keeps_its_own_session(tmp_path):
    parent = "019f4efb-ae76-7e30-b44e-3fa464c16193"
    records = [
        {"timestamp": TS, "type": "session_meta",
         "payload": {"id": UUID, "forked_from_id": parent, "cwd": "/child"}},
        {"timestamp": TS, "type": "session_meta", "payload": {"id": parent, "cwd": "/parent"}},
        item("message", role="user", content=[{"type": "input_text", "text": "copied"}]),
        {"timestamp": TS, "type": "turn_context", "payload": {"cwd": "/later"}},
        {"timestamp": TS, "type": "session_meta", "payload": {"id": "third", "cwd": "/third"}},
        event_msg("task_complete"),
    ]
    events = by_line(parse_records(tmp_path, records))
    assert [events[n]["session_id"] for n in range(1, 7)] == [UUID] * 6
    assert [events[n]["working_directory"] for n in range(1, 7)] == [
        "/child", "/child", "/child", "/later", "/later", "/later"]
    # Copies are still session_start events naming the session they carry.
    assert events[2]["event_type"] == "session_start"
    assert events[2]["source"]["source_id"] == parent
    assert events[5]["source"]["source_id"] == "third"


def test_session_meta_before_the_first_id_sets_only_the_directory(tmp_path):
    records = [
        {"timestamp": TS, "type": "session_meta", "payload": {"cwd": "/early"}},
        {"timestamp": TS, "type": "session_meta", "payload": {"id": 42, "cwd": 7}},
        {"timestamp": TS, "type": "session_meta", "payload": {"id": "real", "cwd": "/real"}},
    ]
    events = by_line(parse_records(tmp_path, records))
    assert (events[1]["session_id"], events[1]["working_directory"]) == (UUID, "/early")
    assert (events[2]["session_id"], events[2]["working_directory"]) == (UUID, "/early")
    assert (events[3]["session_id"], events[3]["working_directory"]) == ("real", "/real")


def test_state_is_per_file(tmp_path):
    write_rollout(tmp_path, [{"timestamp": TS, "type": "session_meta", "payload": {"id": "a", "cwd": "/a"}}],
                  name="rollout-1.jsonl")
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-2.jsonl")
    report = vellumtrace.parse(tmp_path / ".codex")
    second = [e for e in report["events"] if e["source"]["relative_path"].endswith("rollout-2.jsonl")]
    assert second[0]["session_id"] is None and second[0]["working_directory"] is None


MESSAGES = [
    # (payload, include_content, expected)
    (item("message", role="user", message="m", text="t"), False, "m"),
    (item("message", role="user", message=1, text="t"), False, "t"),
    (item("message", role="user", content=[{"text": "a"}, {"type": "image"}, "x", {"text": "b"}]), False,
     "a\nb"),
    (item("message", role="user", content=[{"type": "image"}]), False, None),
    (item("message", role="user", content="not a list"), False, None),
    (item("agent_message", content=[{"text": "parts only count for messages"}]), False, None),
    (item("function_call", name="shell", arguments='{"cmd":"ls"}', call_id="c1"), False, "shell"),
    (item("function_call", name="shell", arguments='{"cmd":"ls"}', call_id="c1"), True, 'shell: {"cmd":"ls"}'),
    (item("custom_tool_call", name="apply_patch", input="*** Begin"), True, "apply_patch: *** Begin"),
    (item("custom_tool_call", name="x", arguments=5, input="ignored"), True, "x"),
    (item("web_search_call"), True, "tool"),
    (item("function_call", name=3), False, "tool"),
    (event_msg("exec_command_end", output="done"), False, None),
    (event_msg("exec_command_end", output="done"), True, "done"),
    (event_msg("mcp_tool_call_end", result="r"), True, "r"),
    (event_msg("mcp_tool_call_end", output=["list"], result="r"), True, None),
    (event_msg("patch_apply_end", text="own text"), False, "own text"),
    (event_msg("agent_message", message="hello"), False, "hello"),
    (event_msg("token_count", info={}), True, None),
]


@pytest.mark.parametrize("record, include_content, expected", MESSAGES)
def test_message_rule(tmp_path, record, include_content, expected):
    (event,) = parse_records(tmp_path, [record], include_content=include_content)["events"]
    assert event["message"] == expected


def test_record_without_payload_has_no_message(tmp_path):
    (event,) = parse_records(tmp_path, [{"type": "error", "message": "top-level"}])["events"]
    assert event["event_type"] == "error"
    assert event["message"] is None


@pytest.mark.parametrize(
    "payload, expected",
    [
        ({"type": "function_call", "call_id": "c1", "id": "i1"}, "c1"),
        ({"type": "function_call", "call_id": None, "id": "i1"}, None),
        ({"type": "reasoning", "id": "i1"}, "i1"),
        ({"type": "reasoning", "id": 9}, None),
    ],
)
def test_source_id(tmp_path, payload, expected):
    (event,) = parse_records(tmp_path, [{"timestamp": TS, "type": "response_item", "payload": payload}])["events"]
    assert event["source"]["source_id"] == expected


@pytest.mark.parametrize(
    "raw, expected",
    [
        ("2024-05-01T03:04:05+02:00", "2024-05-01T01:04:05Z"),
        ("2024-05-01T03:04:05-00:30", "2024-05-01T03:34:05Z"),
        ("2024-01-01T00:30:00+01:00", "2023-12-31T23:30:00Z"),
        ("2024-05-01T12:00:00.25Z", "2024-05-01T12:00:00.250Z"),
        ("2024-05-01T12:00:00.000001Z", "2024-05-01T12:00:00.000001Z"),
        ("2024-05-01T12:00:00.1234567891Z", "2024-05-01T12:00:00.123456789Z"),
        ("2024-05-01t12:00:00z", "2024-05-01T12:00:00Z"),
        ("2024-05-01 12:00:00Z", "2024-05-01T12:00:00Z"),
        ("2016-12-31T23:59:60Z", "2016-12-31T23:59:60Z"),
    ],
)
def test_rfc3339_timestamps(tmp_path, raw, expected):
    report = parse_records(tmp_path, [{"timestamp": raw, "type": "event_msg"}])
    (event,) = report["events"]
    assert report["diagnostics"] == []
    assert event["timestamp"] == expected
    assert event["timestamp_source"] == "embedded"
    assert event["timestamp_raw"] == raw


@pytest.mark.parametrize(
    "raw",
    [1700000000, "2024-05-01", "2024-05-01T12:00:00", "2024-02-30T12:00:00Z", "2024-05-01T24:00:00Z",
     "2024-05-01T12:00:00.Z", "2024-05-01T12:00:00+2:00", "2024-05-01T12:00:00Z ", "24-05-01T12:00:00Z",
     None, {"t": 1}],
)
def test_invalid_timestamp_warns_and_keeps_raw(tmp_path, raw):
    report = parse_records(tmp_path, [{"timestamp": raw, "type": "event_msg", "payload": {"type": "task_started"}}])
    (event,) = report["events"]
    assert event["timestamp"] is None and event["timestamp_source"] == "none"
    assert event["timestamp_raw"] == raw
    assert report["diagnostics"] == [{
        "code": "invalid_timestamp",
        "severity": "warning",
        "message": "Field 'timestamp' is not valid RFC 3339.",
        "source": {"artifact_kind": "session", "line_number": 1, "record_type": None,
                   "relative_path": f"sessions/2025/10/05/{FILE_NAME}", "source_id": None},
    }]


def test_event_identity_and_file_digest(tmp_path):
    path = write_rollout(tmp_path, [event_msg("task_started"), "", event_msg("task_complete")])
    report = vellumtrace.parse(path, include_raw=True)
    relative = f"sessions/2025/10/05/{FILE_NAME}"
    assert [e["event_id"] for e in report["events"]] == [
        event_id("Session", relative, "codex_session:1"), event_id("Session", relative, "codex_session:3")]
    assert {e["source_file_sha256"] for e in report["events"]} == {hashlib.sha256(path.read_bytes()).hexdigest()}
    assert report["events"][0]["raw"] == event_msg("task_started")
    assert all(e["provider"] == "codex" and e["source"]["artifact_kind"] == "session" for e in report["events"])


def test_discovery_filters_names(tmp_path):
    for name in ["rollout-a.jsonl", "notes.jsonl", "Rollout-b.jsonl", "rollout-c.json", "rollout-d.JSONL"]:
        write_rollout(tmp_path, [event_msg("task_started")], name=name, subdir="x")
    report = vellumtrace.parse(tmp_path / ".codex" / "sessions")
    assert [e["source"]["relative_path"] for e in report["events"]] == ["sessions/x/rollout-a.jsonl"]


def test_single_file_is_read_whatever_its_name(tmp_path):
    path = write_rollout(tmp_path, [event_msg("task_started")], name="rollout-other.jsonl")
    os.rename(path, path.with_name("rollout-renamed.jsonl"))
    report = vellumtrace.parse(path.with_name("rollout-renamed.jsonl"))
    assert len(report["events"]) == 1


def test_files_are_read_in_component_order(tmp_path):
    # Bytewise on whole paths "a-b/..." would sort before "a/..."; by component "a" < "a-b".
    for subdir in ["a-b", "a", "B", "a/z"]:
        write_rollout(tmp_path, ["not json"], name="rollout-1.jsonl", subdir=subdir)
    report = vellumtrace.parse(tmp_path / ".codex")
    # Diagnostics keep the reading order.
    assert [d["source"]["relative_path"] for d in report["diagnostics"]] == [
        "sessions/B/rollout-1.jsonl", "sessions/a/rollout-1.jsonl",
        "sessions/a/z/rollout-1.jsonl", "sessions/a-b/rollout-1.jsonl"]


def test_empty_and_blank_rollouts(tmp_path):
    write_rollout(tmp_path, [], name="rollout-empty.jsonl")
    write_rollout(tmp_path, ["", "   ", "\t"], name="rollout-blank.jsonl")
    assert vellumtrace.parse(tmp_path / ".codex") == {"events": [], "diagnostics": []}


def test_rollout_that_is_not_json(tmp_path):
    path = write_rollout(tmp_path, ["<html>", "b", "{\"type\": \"event_msg\"}"])
    report = vellumtrace.parse(path)
    assert [(d["code"], d["severity"], d["source"]["line_number"]) for d in report["diagnostics"]] == [
        ("invalid_json", "error", 1), ("invalid_json", "error", 2)]
    assert [e["source"]["line_number"] for e in report["events"]] == [3]
    with pytest.raises(ValueError, match=r"^JSON parse error at sessions/2025/10/05/.* line 1: "):
        vellumtrace.parse(path, mode="strict")


def test_directory_where_a_rollout_should_be(tmp_path):
    fake = tmp_path / ".codex" / "sessions" / "2025" / "rollout-dir.jsonl"
    fake.mkdir(parents=True)
    (fake / "notes.txt").write_text("x")
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-inner.jsonl",
                  subdir="2025/rollout-dir.jsonl")
    report = vellumtrace.parse(tmp_path / ".codex")
    assert report["diagnostics"] == []
    assert [e["source"]["relative_path"] for e in report["events"]] == [
        "sessions/2025/rollout-dir.jsonl/rollout-inner.jsonl"]


def links_tree(tmp_path):
    """A sessions tree with one real rollout, a dangling link, a self-link and a link back to the root."""
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-real.jsonl", subdir="d")
    sessions = tmp_path / ".codex" / "sessions"
    (sessions / "rollout-dangling.jsonl").symlink_to(sessions / "missing.jsonl")
    (sessions / "rollout-self.jsonl").symlink_to("rollout-self.jsonl")
    (sessions / "d" / "up").symlink_to(sessions, target_is_directory=True)
    return sessions


def test_links_are_ignored_without_follow(tmp_path):
    links_tree(tmp_path)
    report = vellumtrace.parse(tmp_path / ".codex")
    assert report["diagnostics"] == []
    assert [e["source"]["relative_path"] for e in report["events"]] == ["sessions/d/rollout-real.jsonl"]


def test_broken_links_are_reported_when_followed(tmp_path):
    sessions = links_tree(tmp_path)
    report = vellumtrace.parse(tmp_path / ".codex", follow_symlinks=True)
    diags = report["diagnostics"]
    assert [d["source"]["relative_path"] for d in diags] == [
        "sessions/d/up", "sessions/rollout-dangling.jsonl", "sessions/rollout-self.jsonl"]
    for d in diags:
        assert d["code"] == "unreadable_artifact" and d["severity"] == "error"
        assert d["message"].startswith("Cannot traverse session artifact: ")
        assert d["source"]["line_number"] is None and d["source"]["artifact_kind"] == "session"
    root = os.path.realpath(sessions)
    assert root in diags[1]["message"]
    # The loop is entered once, not endlessly: the real file yields one event.
    assert [e["source"]["relative_path"] for e in report["events"]] == ["sessions/d/rollout-real.jsonl"]
    with pytest.raises(ValueError, match="^Strict mode: Cannot traverse session artifact: "):
        vellumtrace.parse(tmp_path / ".codex", follow_symlinks=True, mode="strict")


def test_followed_link_to_a_rollout_is_read(tmp_path):
    real = write_rollout(tmp_path, [event_msg("task_started")], name="rollout-real.jsonl", subdir="d")
    (real.parent / "rollout-link.jsonl").symlink_to(real)
    plain = vellumtrace.parse(tmp_path / ".codex")
    followed = vellumtrace.parse(tmp_path / ".codex", follow_symlinks=True)
    assert len(plain["events"]) == 1
    assert sorted(e["source"]["relative_path"] for e in followed["events"]) == [
        "sessions/d/rollout-link.jsonl", "sessions/d/rollout-real.jsonl"]


def run_isolated(code, timeout=60):
    """Runs parse in a child process so that a hang fails the test instead of blocking the suite."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=timeout, env=env)


def test_fifo_under_sessions_is_skipped(tmp_path):
    write_rollout(tmp_path, [event_msg("task_started")], name="rollout-real.jsonl")
    fifo = tmp_path / ".codex" / "sessions" / "rollout-fifo.jsonl"
    os.mkfifo(fifo)
    code = f"import vellumtrace; r = vellumtrace.parse({str(tmp_path / '.codex')!r}, follow_symlinks=True); " \
           "print(len(r['events']), len(r['diagnostics']))"
    result = run_isolated(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["1", "0"]


def test_fifo_given_as_rollout_is_refused(tmp_path):
    fifo = tmp_path / ".codex" / "sessions" / "rollout-fifo.jsonl"
    fifo.parent.mkdir(parents=True)
    os.mkfifo(fifo)
    code = ("import vellumtrace\ntry:\n    vellumtrace.parse(%r)\nexcept (OSError, ValueError) as e:\n"
            "    print('refused', e)\n" % str(fifo))
    result = run_isolated(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("refused ") and str(fifo) in result.stdout


def test_unreadable_line_in_strict_mode_ends_the_run(tmp_path):
    path = write_rollout(tmp_path, [event_msg("task_started")], name="rollout-1.jsonl")
    bad = path.with_name("rollout-2.jsonl")
    bad.write_bytes(b'{"type": "\xff"}\n')
    report = vellumtrace.parse(tmp_path / ".codex")
    assert [(d["code"], d["severity"]) for d in report["diagnostics"]] == [("unreadable_artifact", "error")]
    with pytest.raises(OSError, match="^I/O error at "):
        vellumtrace.parse(tmp_path / ".codex", mode="strict")
