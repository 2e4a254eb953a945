"""The Codex root run and every single-member input kind."""

import json

import pytest

import vellumtrace

ROLLOUT = "sessions/2025/10/05/rollout-2025-10-05T01-02-03-0199b261-401d-75c1-af9e-a44a18e60d0a.jsonl"
MEMBERS = ["attachments/owner/pasted.txt", "history.jsonl", ROLLOUT]


def build_root(base, history=True, sessions=True, attachments=True):
    root = base / ".codex"
    root.mkdir(parents=True)
    if history:
        (root / "history.jsonl").write_text(json.dumps({"session_id": "s", "text": "hi", "ts": 1700000000}) + "\n")
    if sessions:
        (root / ROLLOUT).parent.mkdir(parents=True)
        records = [{"timestamp": "2023-11-14T22:13:21Z", "type": "session_meta", "payload": {"id": "s"}},
                   {"timestamp": "2023-11-14T22:13:22Z", "type": "event_msg", "payload": {"type": "task_started"}}]
        (root / ROLLOUT).write_text("".join(json.dumps(r) + "\n" for r in records))
    if attachments:
        (root / "attachments" / "owner").mkdir(parents=True)
        (root / "attachments" / "owner" / "pasted.txt").write_text("pasted")
    return root


def paths(report):
    return sorted(set(e["source"]["relative_path"] for e in report["events"]))


def stable(events):
    """Events without what differs between two runs: the final position, and
    the access time that reading the file updates."""
    for event in events:
        event.pop("sequence")
        if event["fs_times"]:
            event["fs_times"].pop("accessed")
    return events


def test_full_root_and_a_directory_holding_it(tmp_path):
    root = build_root(tmp_path)
    for path in (root, tmp_path):
        report = vellumtrace.parse(path)
        assert report["diagnostics"] == []
        assert paths(report) == MEMBERS
        assert len(report["events"]) == 4


def test_missing_or_mistyped_members_are_skipped_silently(tmp_path):
    root = build_root(tmp_path, history=False, attachments=False)
    assert paths(vellumtrace.parse(root)) == [ROLLOUT]
    (root / "history.jsonl").mkdir()
    (root / "history.jsonl" / "rollout-x.jsonl").write_text('{"text": "hidden"}\n')
    (root / "attachments").symlink_to(tmp_path / "missing")
    assert paths(vellumtrace.parse(root)) == [ROLLOUT]
    other = tmp_path / "other" / ".codex"
    other.mkdir(parents=True)
    (other / "sessions").write_text('{"type": "event_msg"}\n')
    assert vellumtrace.parse(other) == {"events": [], "diagnostics": []}


def test_members_behind_links_are_read_without_follow(tmp_path):
    source = build_root(tmp_path / "real")
    root = tmp_path / "linked" / ".codex"
    root.mkdir(parents=True)
    for member in ["history.jsonl", "sessions", "attachments"]:
        (root / member).symlink_to(source / member)
    report = vellumtrace.parse(root)
    assert report["diagnostics"] == []
    assert stable(report["events"]) == stable(vellumtrace.parse(source)["events"])


def test_diagnostics_follow_member_order(tmp_path):
    root = build_root(tmp_path)
    for member in ["history.jsonl", ROLLOUT]:
        with open(root / member, "a") as f:
            f.write("bad line\n")
    (root / "attachments" / "dangling.txt").symlink_to(tmp_path / "missing.txt")
    report = vellumtrace.parse(root, follow_symlinks=True)
    assert [d["source"]["artifact_kind"] for d in report["diagnostics"]] == ["history", "session", "attachment"]


def test_a_member_error_ends_the_whole_run(tmp_path):
    root = build_root(tmp_path)
    with open(root / "history.jsonl", "ab") as f:
        f.write(b'{"text": "\xc3"}\n')
    best = vellumtrace.parse(root)
    assert [d["code"] for d in best["diagnostics"]] == ["unreadable_artifact"]
    assert len(best["events"]) == 4
    with pytest.raises(OSError, match="^I/O error at .*history.jsonl: "):
        vellumtrace.parse(root, mode="strict")
    (root / "history.jsonl").write_text("{}\n")
    with open(root / ROLLOUT, "a") as f:
        f.write("{broken\n")
    with pytest.raises(ValueError, match=f"^JSON parse error at {ROLLOUT} line 3: "):
        vellumtrace.parse(root, mode="strict")


@pytest.mark.parametrize(
    "member, prefix",
    [("history.jsonl", "history.jsonl"), ("sessions", "sessions/"), (ROLLOUT, ROLLOUT),
     ("attachments", "attachments/"), ("attachments/owner/pasted.txt", "attachments/owner/pasted.txt")])
def test_single_members_match_the_root_run(tmp_path, member, prefix):
    root = build_root(tmp_path)
    expected = [e for e in vellumtrace.parse(root)["events"] if e["source"]["relative_path"].startswith(prefix)]
    part = vellumtrace.parse(root / member)
    assert expected and part["diagnostics"] == []
    assert stable(part["events"]) == stable(expected)
