"""The Codex root run and every single-member input kind."""

import json
import os

import pytest

import vellumtrace

ROLLOUT = "sessions/2025/10/05/rollout-2025-10-05T01-02-03-0199b261-401d-75c1-af9e-a44a18e60d0a.jsonl"


def build_root(base, history=True, sessions=True, attachments=True):
    root = base / ".codex"
    root.mkdir(parents=True)
    if history:
        (root / "history.jsonl").write_text(
            json.dumps({"session_id": "s", "text": "first prompt", "ts": 1700000000}) + "\n")
    if sessions:
        path = root / ROLLOUT
        path.parent.mkdir(parents=True)
        records = [
            {"timestamp": "2023-11-14T22:13:21Z", "type": "session_meta", "payload": {"id": "s", "cwd": "/w"}},
            {"timestamp": "2023-11-14T22:13:22Z", "type": "event_msg", "payload": {"type": "task_started"}},
        ]
        path.write_text("".join(json.dumps(r) + "\n" for r in records))
    if attachments:
        (root / "attachments" / "owner").mkdir(parents=True)
        (root / "attachments" / "owner" / "pasted.txt").write_text("pasted")
    return root


def stable(events):
    """Events without what legitimately differs between two runs: the final
    position and the access time, which reading the file itself updates."""
    for event in events:
        event.pop("sequence")
        if event["fs_times"]:
            event["fs_times"].pop("accessed")
    return events


def paths(report):
    return [e["source"]["relative_path"] for e in report["events"]]


def test_full_root(tmp_path):
    root = build_root(tmp_path)
    report = vellumtrace.parse(root)
    assert report["diagnostics"] == []
    assert sorted(set(paths(report))) == ["attachments/owner/pasted.txt", "history.jsonl", ROLLOUT]
    assert [e["event_type"] for e in report["events"] if e["source"]["artifact_kind"] != "attachment"] == [
        "prompt_input", "session_start", "task_state"]


def test_root_with_only_sessions(tmp_path):
    root = build_root(tmp_path, history=False, attachments=False)
    report = vellumtrace.parse(root)
    assert paths(report) == [ROLLOUT, ROLLOUT]


def test_empty_root(tmp_path):
    root = tmp_path / ".codex"
    root.mkdir()
    assert vellumtrace.parse(root) == {"events": [], "diagnostics": []}


def test_members_of_the_wrong_type_are_skipped_silently(tmp_path):
    root = tmp_path / ".codex"
    (root / "history.jsonl").mkdir(parents=True)
    (root / "history.jsonl" / "rollout-x.jsonl").write_text('{"text": "hidden"}\n')
    (root / "sessions").write_text('{"type": "event_msg"}\n')
    (root / "attachments").write_text("not a directory")
    assert vellumtrace.parse(root) == {"events": [], "diagnostics": []}


def test_members_behind_links_are_read_without_follow(tmp_path):
    source = build_root(tmp_path / "real")
    root = tmp_path / "linked" / ".codex"
    root.mkdir(parents=True)
    for member in ["history.jsonl", "sessions", "attachments"]:
        (root / member).symlink_to(source / member)
    report = vellumtrace.parse(root)
    assert report["diagnostics"] == []
    assert stable(report["events"]) == stable(vellumtrace.parse(source)["events"])
    assert len(report["events"]) == 4


def test_dangling_member_links_are_skipped(tmp_path):
    root = tmp_path / ".codex"
    root.mkdir()
    for member in ["history.jsonl", "sessions", "attachments"]:
        (root / member).symlink_to(tmp_path / "missing" / member)
    assert vellumtrace.parse(root) == {"events": [], "diagnostics": []}


def test_diagnostics_follow_member_order(tmp_path):
    root = build_root(tmp_path)
    with open(root / "history.jsonl", "a") as f:
        f.write("bad history line\n")
    with open(root / ROLLOUT, "a") as f:
        f.write("bad session line\n")
    (root / "attachments" / "dangling.txt").symlink_to(tmp_path / "missing.txt")
    report = vellumtrace.parse(root, follow_symlinks=True)
    assert [d["source"]["artifact_kind"] for d in report["diagnostics"]] == ["history", "session", "attachment"]


def test_history_failure_ends_the_whole_run(tmp_path):
    root = build_root(tmp_path)
    with open(root / "history.jsonl", "ab") as f:
        f.write(b'{"text": "\xc3"}\n')
    best = vellumtrace.parse(root)
    assert [d["code"] for d in best["diagnostics"]] == ["unreadable_artifact"]
    assert len(best["events"]) == 4
    with pytest.raises(OSError, match="^I/O error at .*history.jsonl: "):
        vellumtrace.parse(root, mode="strict")


def test_session_failure_stops_before_attachments(tmp_path):
    root = build_root(tmp_path)
    with open(root / ROLLOUT, "a") as f:
        f.write("{broken\n")
    with pytest.raises(ValueError, match=f"^JSON parse error at {ROLLOUT} line 3: "):
        vellumtrace.parse(root, mode="strict")


@pytest.mark.parametrize(
    "member, prefix",
    [
        ("history.jsonl", "history.jsonl"),
        ("sessions", "sessions/"),
        (ROLLOUT, ROLLOUT),
        ("attachments", "attachments/"),
        ("attachments/owner/pasted.txt", "attachments/owner/pasted.txt"),
    ],
)
def test_single_members_match_the_root_run(tmp_path, member, prefix):
    root = build_root(tmp_path)
    whole = vellumtrace.parse(root)
    part = vellumtrace.parse(root / member)
    expected = [e for e in whole["events"] if e["source"]["relative_path"].startswith(prefix)]
    assert expected
    assert stable(part["events"]) == stable(expected)
    assert part["diagnostics"] == []


def test_directory_holding_a_root(tmp_path):
    build_root(tmp_path / "home")
    report = vellumtrace.parse(tmp_path / "home")
    assert sorted(set(paths(report))) == ["attachments/owner/pasted.txt", "history.jsonl", ROLLOUT]


def test_relative_input_paths(tmp_path, monkeypatch):
    build_root(tmp_path)
    monkeypatch.chdir(tmp_path)
    report = vellumtrace.parse(".codex")
    assert sorted(set(paths(report))) == ["attachments/owner/pasted.txt", "history.jsonl", ROLLOUT]
