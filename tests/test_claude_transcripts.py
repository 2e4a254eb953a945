"""Claude Code session transcripts: record mapping, token usage, detection,
the documented and full readings, several inputs, and real roots."""

import base64
import collections
import hashlib
import json
import os
import subprocess

import pytest

import vellumtrace

SESSION = "6f1e0c2a-1111-4222-8333-944455556666"
TS = "2025-06-01T10:00:00.000Z"


def rec(kind, **fields):
    return {"type": kind, "sessionId": SESSION, "cwd": "/w", "uuid": f"u-{kind}", "timestamp": TS, **fields}


def user(content, **fields):
    return rec("user", message={"role": "user", "content": content}, **fields)


def assistant(blocks, msg_id="msg_1", usage=None, **fields):
    message = {"id": msg_id, "model": "claude-x", "role": "assistant", "content": blocks}
    if usage is not None:
        message["usage"] = usage
    return rec("assistant", message=message, **fields)


def write_transcript(tmp_path, lines, root=".claude"):
    folder = tmp_path / root / "projects" / "-w"
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / f"{SESSION}.jsonl"
    path.write_text("".join((line if isinstance(line, str) else json.dumps(line)) + "\n" for line in lines))
    return path


def events_of(report):
    return [(e["event_type"], e["source"]["record_type"], e["message"]) for e in report["events"]]


PNG = b"\x89PNG\r\n\x1a\n tiny"

MAPPING = [
    (user("fix the bug"), [("prompt_input", "user/text", "fix the bug")]),
    (user("<command-name>/clear</command-name>"), [("prompt_input", "user/command", "<command-name>/clear</command-name>")]),
    (user([{"type": "text", "text": "<system-reminder>x</system-reminder>"}]),
     [("developer_message", "user/meta", "<system-reminder>x</system-reminder>")]),
    (user("Caveat: hidden", isMeta=True), [("developer_message", "user/meta", "Caveat: hidden")]),
    (user("This session is being continued", isCompactSummary=True),
     [("context_compacted", "user/compact_summary", "This session is being continued")]),
    (user([{"type": "tool_result", "tool_use_id": "t1", "content": "ok"},
           {"type": "tool_result", "tool_use_id": "t2", "is_error": True,
            "content": [{"type": "text", "text": "boom"}, {"type": "image", "source": {}}]}]),
     [("tool_result", "user/tool_result", "ok"), ("tool_result", "user/tool_error", "boom\n[image]")]),
    (user([{"type": "image", "source": {"type": "base64", "media_type": "image/png",
                                        "data": base64.b64encode(PNG).decode()}}]),
     [("image_attachment", "user/image", None)]),
    (assistant([{"type": "thinking", "thinking": "hmm", "signature": "s"},
                {"type": "text", "text": "done"},
                {"type": "tool_use", "id": "t1", "name": "Bash", "input": {"command": "ls -la\nwc", "timeout": 5}},
                {"type": "tool_use", "id": "t2", "name": "Edit", "input": {"file_path": "/w/a.py"}},
                {"type": "tool_use", "id": "t3", "name": "Grep", "input": {"pattern": "x" * 250}},
                {"type": "tool_use", "id": "t4", "name": "TodoWrite", "input": {"todos": []}},
                {"type": "mystery"}],
               usage={"input_tokens": 3, "cache_creation_input_tokens": 4, "cache_read_input_tokens": 5,
                      "output_tokens": 6}),
     [("agent_reasoning", "assistant/thinking", "hmm"), ("agent_message", "assistant/text", "done"),
      ("tool_call", "assistant/tool_use", "Bash: ls -la wc"), ("tool_call", "assistant/tool_use", "Edit: /w/a.py"),
      ("tool_call", "assistant/tool_use", "Grep: " + "x" * 200 + "\u2026"),
      ("tool_call", "assistant/tool_use", "TodoWrite"), ("unknown", "assistant/mystery", None),
      ("token_usage", "assistant/usage", "claude-x: input 3, cache write 4, cache read 5, output 6")]),
    (assistant([{"type": "text", "text": "API Error: 529"}], isApiErrorMessage=True),
     [("error", "assistant/text", "API Error: 529")]),
    (rec("system", subtype="api_error", error={"message": "overloaded"}), [("error", "system/api_error", "overloaded")]),
    # No text of its own: the cause and the retry, wherever the record keeps the cause.
    (rec("system", subtype="api_error", level="error", cause={"code": "ConnectionRefused", "errno": 0},
         error={"cause": {"code": "ConnectionRefused"}}, retryInMs=517.9, retryAttempt=1, maxRetries=10),
     [("error", "system/api_error", "ConnectionRefused (retry 1 of 10)")]),
    (rec("system", subtype="api_error", error={"cause": {"code": "ECONNRESET"}}, retryAttempt=3),
     [("error", "system/api_error", "ECONNRESET (retry 3)")]),
    (rec("system", subtype="api_error", retryAttempt=2, maxRetries=10),
     [("error", "system/api_error", "retry 2 of 10")]),
    (rec("system", subtype="api_error", cause={"errno": 0}), [("error", "system/api_error", None)]),
    (assistant([{"type": "tool_use", "id": "t5", "name": "TodoWrite", "input": {"todos": [
        {"content": "Read the\nlog", "status": "completed", "activeForm": "Reading"},
        {"content": "Fix it", "status": "in_progress"}, {"content": "Ship", "status": "pending"},
        {"status": "pending"}]}}]),
     [("tool_call", "assistant/tool_use", "TodoWrite\n- [x] Read the log\n- [ ] Fix it (in progress)\n- [ ] Ship")]),
    (assistant([{"type": "tool_use", "id": "t6", "name": "TodoWrite",
                 "input": {"todos": [{"content": f"t{i}", "status": "pending"} for i in range(102)]}}]),
     [("tool_call", "assistant/tool_use",
       "TodoWrite" + "".join(f"\n- [ ] t{i}" for i in range(100)) + "\n- \u2026 2 more")]),
    (rec("system", subtype="compact_boundary", content="Conversation compacted"),
     [("context_compacted", "system/compact_boundary", "Conversation compacted")]),
    (rec("system", subtype="turn_duration", durationMs=1200), [("task_state", "system/turn_duration", "turn took 1200 ms")]),
    ({"type": "summary", "summary": "Fixing tests", "leafUuid": "leaf"}, [("context_compacted", "summary", "Fixing tests")]),
    (rec("ai-title", aiTitle="Bug hunt"), [("task_state", "ai-title", "Bug hunt")]),
    (rec("queue-operation", operation="enqueue", content="next"), [("task_state", "queue-operation", "enqueue: next")]),
    (rec("brand-new-thing"), [("unknown", "brand-new-thing", None)]),
    (user("agent work", isSidechain=True), [("prompt_input", "sidechain/user/text", "agent work")]),
]


@pytest.mark.parametrize("line, expected", MAPPING, ids=[str(i) for i in range(len(MAPPING))])
def test_record_mapping(tmp_path, line, expected):
    report = vellumtrace.parse(write_transcript(tmp_path, [line]))
    assert events_of(report) == expected
    for event in report["events"]:
        assert event["source"]["artifact_kind"] == "transcript"
        assert event["provider"] == "claude_code"
        if event["event_type"] == "unknown":
            assert event["warnings"][0].startswith("Unmapped Claude Code")
        else:
            assert event["warnings"] == []
    ids = [e["event_id"] for e in report["events"]]
    assert len(set(ids)) == len(ids)
    if expected[0][0] == "image_attachment":
        artifact = report["events"][0]["artifact"]
        assert (artifact["size"], artifact["sha256"], artifact["media_type"]) == (
            len(PNG), hashlib.sha256(PNG).hexdigest(), "image/png")


def test_streamed_chunks_give_one_token_usage_with_final_counts(tmp_path):
    chunk = lambda out, block: assistant([block], usage={"input_tokens": 1, "output_tokens": out})
    lines = [chunk(1, {"type": "thinking", "thinking": ""}), chunk(1, {"type": "text", "text": "a"}),
             chunk(9, {"type": "tool_use", "name": "Read", "input": {"file_path": "/f"}}),
             assistant([{"type": "text", "text": "b"}], msg_id=None, usage={"output_tokens": 2}),
             {"type": "last-prompt", "lastPrompt": "x", "sessionId": SESSION}]
    report = vellumtrace.parse(write_transcript(tmp_path, lines))
    usage = [e for e in report["events"] if e["event_type"] == "token_usage"]
    assert [(u["message"], u["source"]["line_number"], u["source"]["source_id"]) for u in usage] == [
        ("claude-x: input 1, output 9", 1, "msg_1"), ("claude-x: output 2", 4, "u-assistant")]
    last = report["events"][-1]
    # A record without a timestamp takes the one before it.
    assert (last["timestamp"], last["timestamp_source"], last["timestamp_raw"]) == (
        "2025-06-01T10:00:00Z", "referenced_event", None)


def test_damaged_files_lose_nothing(tmp_path):
    path = write_transcript(tmp_path, [user("first"), "{not json", "[1]", user("x", timestamp="yesterday")])
    with open(path, "ab") as f:
        f.write(b'{"type":"user","message":{"content":"cut')
    (path.parent / "empty.jsonl").write_bytes(b"")
    report = vellumtrace.parse(path.parent)
    lines = {e["source"]["line_number"] for e in report["events"]}
    codes = {(d["code"], d["source"]["line_number"]) for d in report["diagnostics"]}
    assert lines == {1, 4}
    assert codes == {("invalid_json", 2), ("unknown_record", 3), ("invalid_timestamp", 4), ("invalid_json", 5)}


def lay_out(tmp_path, layout, target):
    """Write `layout` (a transcript of one prompt "hi" where it says "transcript") and return the target's path."""
    for name, text in layout.items():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(json.dumps(user("hi")) + "\n" if text == "transcript" else text)
    return tmp_path / target


@pytest.mark.parametrize("layout, target, detected", [
    ({".claude/projects/-w/s.jsonl": "transcript"}, ".claude", True),        # projects alone makes a root
    ({"home/projects/app/notes.jsonl": '{"a": 1}', "home/projects/app/main.py": ""}, "home/projects", False),
    ({"home/projects/app/notes.jsonl": '{"a": 1}'}, "home", False),          # code, not claimed
    ({"backup/projects/-w/s.jsonl": "transcript"}, "backup/projects", True),  # recognised by its files
    ({"loose/s.jsonl": "transcript"}, "loose/s.jsonl", True),                # one file that reads as one
])
def test_detection(tmp_path, cli_path, layout, target, detected):
    target = lay_out(tmp_path, layout, target)
    result = subprocess.run([cli_path, target, "-f", "jsonl", "-q"], capture_output=True)
    assert (result.returncode == 0) == detected, result.stderr
    if detected:
        assert [json.loads(line)["message"] for line in result.stdout.splitlines()] == ["hi"]
    else:
        assert b"Cannot auto-detect" in result.stderr


@pytest.mark.parametrize("layout, target, python_reads", [
    # A root known only by its transcripts is the full reading's: the Python
    # functions cannot auto-detect it, nor a directory holding it.
    ({".claude/projects/-w/s.jsonl": "transcript", ".claude/todos/t.json": "[]"}, ".claude", False),
    ({".claude/projects/-w/s.jsonl": "transcript"}, ".claude", False),
    ({"home/.claude/projects/-w/s.jsonl": "transcript"}, "home", False),
    # Named explicitly, transcripts stay readable.
    ({".claude/projects/-w/s.jsonl": "transcript"}, ".claude/projects", True),
    ({".claude/projects/-w/s.jsonl": "transcript"}, ".claude/projects/-w", True),
    ({".claude/projects/-w/s.jsonl": "transcript"}, ".claude/projects/-w/s.jsonl", True),
    # A documented part makes it a root of both readings (transcripts full only).
    ({".claude/projects/-w/s.jsonl": "transcript", ".claude/history.jsonl": ""}, ".claude", True),
])
def test_documented_reading_knows_a_root_by_its_documented_parts(tmp_path, cli_path, layout, target, python_reads):
    target = lay_out(tmp_path, layout, target)
    full = subprocess.run([cli_path, target, "-f", "jsonl", "-q"], capture_output=True)
    assert [json.loads(line)["message"] for line in full.stdout.splitlines()] == ["hi"]
    documented = subprocess.run([cli_path, target, "--documented", "-f", "jsonl", "-q"], capture_output=True)
    if python_reads:
        expected = ["hi"] if "projects" in str(target) else []
        assert [e["message"] for e in vellumtrace.parse(target)["events"]] == expected
        assert documented.stdout.decode() == vellumtrace.to_jsonl(target)
    else:
        with pytest.raises(ValueError, match="^Cannot auto-detect a supported artifact at '") as error:
            vellumtrace.parse(target)
        assert (documented.returncode, documented.stderr.decode()) == (1, f"vellumtrace: {error.value}\n")


def test_readings_several_inputs_and_snapshot_paths(tmp_path, cli_path):
    snapshot = {"type": "file-history-snapshot", "messageId": "m1", "isSnapshotUpdate": False,
                "snapshot": {"messageId": "m1", "timestamp": TS,
                             "trackedFileBackups": {"/w/a.py": {"backupFileName": "abcd@v1", "version": 1}}}}
    path = write_transcript(tmp_path, [user("hi"), snapshot])
    root = tmp_path / ".claude"
    (root / "file-history" / SESSION).mkdir(parents=True)
    (root / "file-history" / SESSION / "abcd@v1").write_text("old")

    def program(*args):
        result = subprocess.run([cli_path, *map(str, args), "-f", "jsonl", "-q"], capture_output=True, check=True)
        return [json.loads(line) for line in result.stdout.splitlines()]

    program(root)  # the first read moves the files' access times
    full = program(root)
    # The documented reading is the Python functions', byte for byte; it leaves transcripts out.
    documented = subprocess.run([cli_path, root, "--documented", "-f", "jsonl", "-q"], capture_output=True).stdout
    assert documented.decode() == vellumtrace.to_jsonl(root)
    assert [e["event_type"] for e in vellumtrace.parse(root)["events"]] == ["file_snapshot"]
    assert [(e["event_type"], e["message"]) for e in full] == [
        ("prompt_input", "hi"), ("task_state", "/w/a.py"), ("file_snapshot", "/w/a.py")]
    # A place given twice, or inside another input, is read once.
    assert program(root, root) == full == program(root, path, root / "projects")
    other = tmp_path / "other" / ".claude"
    other.parent.mkdir()
    (tmp_path / ".claude").rename(other)
    (tmp_path / ".claude").mkdir()
    (other / "projects").rename(tmp_path / ".claude" / "projects")
    both = program(tmp_path / ".claude", other)
    assert [e["sequence"] for e in both] == list(range(len(both)))
    assert len({e["event_id"] for e in both}) == len(both) == 3
    # Each input keeps the relative paths (and ids) it has when read alone.
    assert sorted((e["source"]["relative_path"], e["event_id"]) for e in both) == sorted(
        (e["source"]["relative_path"], e["event_id"]) for e in program(tmp_path / ".claude") + program(other))


def backup_record(*entries):
    """A file-history snapshot record as Claude Code writes it: (path, backup file, backupTime or None)."""
    tracked = {path: {"backupFileName": name, "version": int(name[-1]),
                      **({"backupTime": when} if when is not None else {})} for path, name, when in entries}
    return {"type": "file-history-snapshot", "messageId": "m1", "isSnapshotUpdate": True,
            "snapshot": {"messageId": "m0", "trackedFileBackups": tracked, "timestamp": TS}}


T1, T2 = "2025-06-01T10:05:00.250Z", "2025-06-01T09:59:00.000Z"
FS = "2020-09-13T12:26:40Z"  # the backup file's modification time


@pytest.mark.parametrize("records, folder, expected", [
    # The backup the transcript names takes its backupTime (embedded).
    ([backup_record(("/w/a.py", "abcd@v1", T1))], SESSION, ("2025-06-01T10:05:00.250Z", "embedded", T1, "/w/a.py")),
    # Two records naming one backup of the session: the earlier time.
    ([backup_record(("/w/a.py", "abcd@v1", T1)), backup_record(("/w/a.py", "abcd@v1", T2))], SESSION,
     ("2025-06-01T09:59:00Z", "embedded", T2, "/w/a.py")),
    # Under another session's folder: by its file name, when the name has one time.
    ([backup_record(("/w/a.py", "abcd@v1", T1))], "other-session",
     ("2025-06-01T10:05:00.250Z", "embedded", T1, "/w/a.py")),
    # ... but not when the name has two different ones.
    ([backup_record(("/w/a.py", "abcd@v1", T1)), backup_record(("/w/a.py", "abcd@v1", T2))], "other-session",
     (FS, "filesystem_modified", None, "/w/a.py")),
    # No time, or one that is no date-time: the file's modification time stays.
    ([backup_record(("/w/a.py", "abcd@v1", None))], SESSION, (FS, "filesystem_modified", None, "/w/a.py")),
    ([backup_record(("/w/a.py", "abcd@v1", "yesterday"))], SESSION, (FS, "filesystem_modified", None, "/w/a.py")),
    # A backup no transcript names.
    ([backup_record(("/w/b.py", "ffff@v1", T1))], SESSION, (FS, "filesystem_modified", None, None)),
])
def test_snapshots_take_the_backup_time_a_transcript_names(tmp_path, cli_path, records, folder, expected):
    write_transcript(tmp_path, [user("hi"), *records])
    backup = tmp_path / ".claude" / "file-history" / folder / "abcd@v1"
    backup.parent.mkdir(parents=True)
    backup.write_text("old")
    os.utime(backup, (1_600_000_000, 1_600_000_000))
    result = subprocess.run([cli_path, tmp_path / ".claude", "-f", "jsonl", "-q"], capture_output=True, check=True)
    [snapshot] = [e for e in map(json.loads, result.stdout.splitlines()) if e["event_type"] == "file_snapshot"]
    assert (snapshot["timestamp"], snapshot["timestamp_source"], snapshot["timestamp_raw"],
            snapshot["message"]) == expected
    assert snapshot["fs_times"]["modified"] == FS
    # The documented reading dates every snapshot by its file.
    [documented] = [e for e in vellumtrace.parse(tmp_path / ".claude")["events"] if e["event_type"] == "file_snapshot"]
    assert (documented["timestamp"], documented["timestamp_source"]) == (FS, "filesystem_modified")


def transcript_lines(root):
    for path in sorted((root / "projects").rglob("*.jsonl")):
        for number, raw in enumerate(path.read_bytes().split(b"\n"), start=1):
            if raw.strip():
                yield path.relative_to(root).as_posix(), number, raw


def test_corpus_roots_account_for_every_transcript_line(corpus_dir, cli_path):
    roots = [r for r in sorted(corpus_dir.glob("*/.claude")) if (r / "projects").is_dir()]
    checked = 0
    for root in roots:
        result = subprocess.run([cli_path, root, "-f", "json", "--compact", "-q"], capture_output=True, check=True)
        report = json.loads(result.stdout)
        located = collections.defaultdict(set)
        for item in report["events"] + [d for d in report["diagnostics"] if d["source"]]:
            located[item["source"]["relative_path"]].add(item["source"]["line_number"])
        messages, tool_uses = set(), 0
        for rel, number, raw in transcript_lines(root):
            checked += 1
            assert number in located[rel], f"{root}: {rel}:{number}"
            try:
                record = json.loads(raw)
            except ValueError:
                continue
            message = record.get("message") if record.get("type") == "assistant" else None
            if isinstance(message, dict) and isinstance(message.get("usage"), dict):
                messages.add((rel, message.get("id") if isinstance(message.get("id"), str) else number))
            if isinstance(message, dict) and isinstance(message.get("content"), list):
                tool_uses += sum(isinstance(b, dict) and b.get("type") == "tool_use" for b in message["content"])
        counts = collections.Counter(e["event_type"] for e in report["events"]
                                     if e["source"]["artifact_kind"] == "transcript")
        assert counts["token_usage"] == len(messages), root
        assert counts["tool_call"] == tool_uses, root
    assert len(roots) >= 8 and checked >= 9000


def transcript_id(relative_path, line, ordinal):
    """An event id as documented: the double SHA-256 of provider, artifact
    kind, file, the line's key and the block's index."""
    text = b"\0".join([b"ClaudeCode", b"Transcript", relative_path.encode(), f"claude_transcript:{line}".encode(), b""])
    if ordinal is not None:
        text += str(ordinal).encode()
    return hashlib.sha256(hashlib.sha256(text).digest()).hexdigest()


# (line, each event as (record type, message) with its ordinal: the block's
# index, or None for a line that has no blocks)
ORDINALS = {
    "user blocks": (user([{"type": "text", "text": "a"}, {"type": "tool_result", "content": "r"},
                          {"type": "image", "source": {}}, {"type": "text", "text": "<system-reminder>"},
                          {"type": "odd"}]),
                    {("user/text", "a"): 0, ("user/tool_result", "r"): 1, ("user/image", None): 2,
                     ("user/meta", "<system-reminder>"): 3, ("user/odd", None): 4}),
    "user text": (user("typed"), {("user/text", "typed"): None}),
    "user compaction block": (user([{"type": "text", "text": "summary"}], isCompactSummary=True),
                              {("user/compact_summary", "summary"): 0}),
    "assistant blocks and usage": (assistant([{"type": "thinking", "thinking": "t"}, {"type": "text", "text": "x"}],
                                             usage={"output_tokens": 1}),
                                   {("assistant/thinking", "t"): 0, ("assistant/text", "x"): 1,
                                    ("assistant/usage", "claude-x: output 1"): 2}),
    "assistant text": (rec("assistant", message={"id": "m", "content": "plain", "usage": {"output_tokens": 1}}),
                       {("assistant/text", "plain"): 0, ("assistant/usage", "output 1"): 1}),
    "other record": (rec("ai-title", aiTitle="t"), {("ai-title", "t"): None}),
}


@pytest.mark.parametrize("line, ordinals", ORDINALS.values(), ids=ORDINALS.keys())
def test_event_ids_carry_the_blocks_index(tmp_path, line, ordinals):
    report = vellumtrace.parse(write_transcript(tmp_path, [user("first"), line]))
    events = {(e["source"]["record_type"], e["message"]): e for e in report["events"]
              if e["source"]["line_number"] == 2}
    assert events.keys() == ordinals.keys()
    for key, ordinal in ordinals.items():
        relative_path = events[key]["source"]["relative_path"]
        assert events[key]["event_id"] == transcript_id(relative_path, 2, ordinal), key
