"""The bundled sample tree (examples/agents): it reads in best-effort mode, yields
the events of both agents, and every piece of planted damage surfaces."""

import hashlib
import pathlib

import pytest

import vellumtrace

SAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "agents"
CODEX = SAMPLE / ".codex"
CLAUDE = SAMPLE / ".claude"
ROLLOUT_1 = "sessions/2025/11/05/rollout-2025-11-05T09-12-40-0199a4e2-7c3b-7d10-b8f5-2e6a91c04d7b.jsonl"
ROLLOUT_2 = "sessions/2025/11/06/rollout-2025-11-06T14-03-11-0199a9b7-41e6-7f02-9d3a-6b18e5c2f740.jsonl"
CWD = "/home/mara/src/lanternfish"
CLAUDE_S1 = "3f6c2a8e-5b1d-4e7a-9c42-1d8e0b7f6a35"


def in_root(relative_path: str, root: str) -> str:
    """A path relative to the agent root, whether the run's base was the root
    itself or the directory holding both roots."""
    prefix = root + "/"
    return relative_path[len(prefix):] if relative_path.startswith(prefix) else relative_path


def instant_key(text: str):
    """Chronological sort key of an instant text (its fraction has 0 to 9 digits)."""
    whole, _, fraction = text.removesuffix("Z").partition(".")
    return whole, fraction.ljust(9, "0")


@pytest.fixture(scope="module")
def report():
    return vellumtrace.parse(SAMPLE)


@pytest.fixture(scope="module")
def codex_events(report):
    return [e for e in report["events"] if e["provider"] == "codex"]


@pytest.fixture(scope="module")
def claude_events(report):
    events = [e for e in report["events"] if e["provider"] == "claude_code"]
    if not events:
        pytest.skip("the Claude Code readers yield nothing yet")
    return events


def by_file(events, root, name):
    return [e for e in events if in_root(e["source"]["relative_path"], root) == name]


def at_line(events, root, name, line):
    (event,) = [e for e in by_file(events, root, name) if e["source"]["line_number"] == line]
    return event


def find_diagnostic(report, root, name, line, code):
    return [
        d for d in report["diagnostics"]
        if d["source"] is not None
        and in_root(d["source"]["relative_path"], root) == name
        and d["source"]["line_number"] == line
        and d["code"] == code
    ]


def test_timeline_is_numbered_and_identified(report):
    events = report["events"]
    assert [e["sequence"] for e in events] == list(range(len(events)))
    ids = [e["event_id"] for e in events]
    assert len(set(ids)) == len(ids)
    stamped = [instant_key(e["timestamp"]) for e in events if e["timestamp"] is not None]
    assert stamped == sorted(stamped)
    assert all(e["timestamp"] is None for e in events[len(stamped):])


@pytest.mark.parametrize("name, count", [
    ("history.jsonl", 4),
    (ROLLOUT_1, 32),  # 33 lines, one invalid
    (ROLLOUT_2, 8),  # 10 lines, one non-object, one cut off
])
def test_codex_line_files_yield_one_event_per_record(codex_events, name, count):
    assert len(by_file(codex_events, ".codex", name)) == count


@pytest.mark.parametrize("line, event_type, record_type", [
    (1, "session_start", "session_meta"),
    (2, "developer_message", "response_item/message"),
    (5, "prompt_input", "response_item/message"),
    (6, "prompt_input", "event_msg/user_message"),
    (7, "task_state", "event_msg/task_started"),
    (8, "agent_reasoning", "response_item/reasoning"),
    (10, "tool_call", "response_item/function_call"),
    (11, "tool_result", "response_item/function_call_output"),
    (12, "token_usage", "event_msg/token_count"),
    (16, "tool_call", "response_item/custom_tool_call"),
    (18, "tool_result", "event_msg/patch_apply_end"),
    (23, "agent_message", "response_item/message"),
    (25, "task_state", "turn_context"),
    (28, "unknown", "workspace_probe/file_watch_stats"),
    (29, "context_compacted", "compacted"),
    (30, "context_compacted", "event_msg/context_compacted"),
    (31, "agent_message", "event_msg/agent_message"),
])
def test_rollout_records_map_to_event_types(codex_events, line, event_type, record_type):
    event = at_line(codex_events, ".codex", ROLLOUT_1, line)
    assert (event["event_type"], event["source"]["record_type"]) == (event_type, record_type)


def test_rollout_state_follows_the_session(codex_events):
    first = sorted(by_file(codex_events, ".codex", ROLLOUT_1), key=lambda e: e["source"]["line_number"])
    assert {e["session_id"] for e in first} == {"0199a4e2-7c3b-7d10-b8f5-2e6a91c04d7b"}
    dirs = [(e["source"]["line_number"], e["working_directory"]) for e in first]
    assert all(d == CWD for n, d in dirs if n < 25)
    assert all(d == CWD + "/crates/window" for n, d in dirs if n >= 25)
    second = by_file(codex_events, ".codex", ROLLOUT_2)
    assert {e["session_id"] for e in second} == {"0199a9b7-41e6-7f02-9d3a-6b18e5c2f740"}
    call = at_line(codex_events, ".codex", ROLLOUT_1, 10)
    assert (call["message"], call["source"]["source_id"]) == ("shell", "call_Qm3vT8xR1eK0aLw5Zp2Nc7Yd")


def test_unmapped_record_is_kept_with_its_warning(codex_events):
    event = at_line(codex_events, ".codex", ROLLOUT_1, 28)
    assert event["warnings"] == ["Unmapped Codex record type: workspace_probe/file_watch_stats"]


@pytest.mark.parametrize("name, line, code, severity, message", [
    ("history.jsonl", 3, "invalid_timestamp", "warning", "Field 'ts' is not a valid Unix timestamp in seconds."),
    (ROLLOUT_1, 12, "invalid_timestamp", "warning", "Field 'timestamp' is not valid RFC 3339."),
    (ROLLOUT_1, 22, "invalid_json", "error", "Invalid JSON: "),
    (ROLLOUT_2, 5, "unknown_record", "warning", "Top-level JSON value is not an object."),
    (ROLLOUT_2, 10, "invalid_json", "error", "Invalid JSON: "),
])
def test_codex_damage_is_diagnosed(report, name, line, code, severity, message):
    (found,) = find_diagnostic(report, ".codex", name, line, code)
    assert found["severity"] == severity
    assert found["message"].startswith(message)


def test_codex_damage_is_all_there_is(report):
    codex = [d for d in report["diagnostics"]
             if d["source"] is not None and not d["source"]["relative_path"].startswith(".claude/")]
    assert len(codex) == 5


@pytest.mark.parametrize("name, line, raw", [("history.jsonl", 3, "1762437795"), (ROLLOUT_1, 12, 1762333973)])
def test_bad_timestamps_keep_the_record(codex_events, name, line, raw):
    event = at_line(codex_events, ".codex", name, line)
    assert (event["timestamp"], event["timestamp_source"], event["timestamp_raw"]) == (None, "none", raw)


@pytest.mark.parametrize("name, source_id, media_type", [
    ("attachments/5c2e8f41-9a07-4d3b-b6e1-0f7d24a9c813/pasted-text.txt", "5c2e8f41-9a07-4d3b-b6e1-0f7d24a9c813", "text/plain"),
    ("attachments/e07b3d95-1c48-4a6f-8e2d-93f5b0c17a64/terminal.png", "e07b3d95-1c48-4a6f-8e2d-93f5b0c17a64", "image/png"),
    ("attachments/pasted-text-attachments.json", "attachments", "application/json"),
])
def test_codex_attachments_are_captured(codex_events, name, source_id, media_type):
    (event,) = by_file(codex_events, ".codex", name)
    data = (CODEX / name).read_bytes()
    assert event["event_type"] == "attachment"
    assert event["source"]["source_id"] == source_id
    art = event["artifact"]
    assert (art["size"], art["sha256"], art["media_type"]) == (len(data), hashlib.sha256(data).hexdigest(), media_type)


def test_claude_history_and_caches(claude_events):
    prompts = [e for e in claude_events if e["event_type"] == "prompt_input"]
    assert sorted(e["source"]["line_number"] for e in prompts) == [1, 2, 3, 4, 6, 7, 9]
    late = next(e for e in prompts if e["source"]["line_number"] == 4)
    assert late["timestamp"] == "2025-11-03T09:22:47Z"
    assert late["warnings"] == ["Timestamp is a string (not numeric ms) at .claude/history.jsonl line 4"]

    attachments = {e["source"]["line_number"]: e for e in claude_events
                   if e["event_type"] in ("paste_attachment", "image_attachment")}
    assert sorted(attachments) == [2, 3, 6, 7]
    inline = attachments[2]["artifact"]
    assert inline["reference_status"] == "resolved" and inline["resolved_path"] is None
    fixture = (CLAUDE / "paste-cache" / "4b1e9d07c2a85f36.txt").read_bytes()
    by_hash = attachments[3]["artifact"]
    assert by_hash["reference_status"] == "resolved"
    assert by_hash["resolved_path"].endswith("paste-cache/4b1e9d07c2a85f36.txt")
    assert (by_hash["size"], by_hash["sha256"]) == (len(fixture), hashlib.sha256(fixture).hexdigest())
    image = attachments[6]
    assert image["event_type"] == "image_attachment"
    assert (image["artifact"]["reference_status"], image["artifact"]["media_type"]) == ("resolved", "image/png")
    assert attachments[7]["artifact"]["reference_status"] == "missing"

    orphans = [e["source"]["source_id"] for e in claude_events if e["event_type"] == "orphan_cache"]
    assert orphans == ["d5a8c3f17e20b946"]


def test_claude_snapshots_take_the_session_project(claude_events):
    snapshots = [e for e in claude_events if e["event_type"] == "file_snapshot"]
    assert sorted((e["source"]["source_id"], e["artifact"]["snapshot_version"]) for e in snapshots) == [
        ("7f93a2d0c6b1e584", 1), ("7f93a2d0c6b1e584", 3), ("e1c4b07a92d35f68", 1), ("e1c4b07a92d35f68", 2)]
    assert {(e["session_id"], e["working_directory"]) for e in snapshots} == {(CLAUDE_S1, "/home/mara/src/tidewater")}


@pytest.mark.parametrize("name, line, code, severity, message", [
    ("history.jsonl", 5, "unknown_record", "warning", "Top-level value is not a JSON object, skipping"),
    ("history.jsonl", 7, "missing_reference", "warning", "Cache reference '9e2f61a0d4b7c853' could not be resolved."),
    ("history.jsonl", 8, "invalid_json", "error", "Invalid JSON: "),
    ("history.jsonl", 10, "invalid_json", "error", "Invalid JSON: "),
])
def test_claude_damage_is_diagnosed(report, claude_events, name, line, code, severity, message):
    (found,) = find_diagnostic(report, ".claude", name, line, code)
    assert found["severity"] == severity
    assert found["message"].startswith(message)


def test_claude_snapshot_gap_is_diagnosed(report, claude_events):
    gaps = [d for d in report["diagnostics"] if d["code"] == "snapshot_version_gap"]
    assert [d["message"] for d in gaps] == [
        f"Snapshot version gap for source '7f93a2d0c6b1e584' in session '{CLAUDE_S1}': v1 -> v3 (missing v2..v2)"]


def test_strict_mode_refuses_the_sample():
    with pytest.raises(ValueError) as caught:
        vellumtrace.parse(SAMPLE, mode="strict")
    text = str(caught.value)
    assert text.startswith("JSON parse error at ")
    assert "rollout-2025-11-05T09-12-40-" in text and " line 22: " in text


def test_repeated_runs_agree(report):
    def stable(rep):
        # Access times move when the files are read; nothing else may.
        return [{k: v for k, v in e.items() if k != "fs_times"} for e in rep["events"]], rep["diagnostics"]

    assert stable(vellumtrace.parse(SAMPLE)) == stable(report)
