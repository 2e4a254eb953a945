"""Rollouts outside the live `sessions` tree: archived ones (moved unchanged
into a flat `archived_sessions` directory) and zstd-compressed ones
(`rollout-*.jsonl.zst`), read with the same rules as plain live rollouts."""

import hashlib
import json
import random
import subprocess

import pytest

import vellumtrace

UUID = "0199b261-401d-75c1-af9e-a44a18e60d0a"
NAME = f"rollout-2025-10-05T01-02-03-{UUID}.jsonl"
LIVE = f"sessions/2025/10/05/{NAME}"


def record(second, kind="event_msg", **payload):
    return json.dumps({"timestamp": f"2025-10-05T01:02:{second:02d}Z", "type": kind, "payload": payload})


# Every kind of line the reader distinguishes: a record before the session's
# own metadata (session id from the name), blank, CRLF, invalid and non-object
# lines, and a last line without a line feed.
ROLLOUT = (
    "\n".join(
        [
            record(1, type="task_started"),
            record(2, "session_meta", id="s-meta", cwd="/w"),
            "",
            record(3, type="message", role="user", content=[{"text": "hi"}]) + "\r",
            "not json",
            "[1, 2]",
            record(4, type="token_count"),
        ]
    )
    + "\n"
    + record(5, type="agent_message", message="done")
).encode()


def zstd(data):
    """One zstd frame holding `data`, made by the command-line tool."""
    return subprocess.run(["zstd", "-q", "-c"], input=data, stdout=subprocess.PIPE, check=True).stdout


def put(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return path


def sources(report):
    return [(e["source"]["relative_path"], e["source"]["line_number"]) for e in report["events"]]


def without_location(items):
    """Events or diagnostics without what names the file they came from."""
    for item in items:
        for key in ("event_id", "source_file_sha256", "sequence"):
            item.pop(key, None)
        item["source"].pop("relative_path")
    return items


def test_archived_and_live_rollouts_share_one_timeline(tmp_path):
    root = tmp_path / ".codex"
    put(root / LIVE, "\n".join([record(1), record(3)]).encode())
    # The same file name in both places: two distinct files, both read.
    put(root / "archived_sessions" / NAME, "\n".join([record(2), record(4)]).encode())
    put(root / "attachments/a/pasted.txt", b"pasted")
    report = vellumtrace.parse(root)
    assert report["diagnostics"] == []
    archived = f"archived_sessions/{NAME}"
    assert sources(report) == [(LIVE, 1), (archived, 1), (LIVE, 2), (archived, 2), ("attachments/a/pasted.txt", None)]
    assert [e["sequence"] for e in report["events"]] == [0, 1, 2, 3, 4]
    assert len({e["event_id"] for e in report["events"]}) == 5
    assert {e["source"]["artifact_kind"] for e in report["events"][:4]} == {"session"}


@pytest.mark.parametrize(
    "stored_at, given, relative",
    [
        (f"{LIVE}.zst", ".codex", f"{LIVE}.zst"),
        (f"{LIVE}.zst", ".codex/sessions", f"{LIVE}.zst"),
        (f"{LIVE}.zst", f".codex/{LIVE}.zst", f"{LIVE}.zst"),
        (f"archived_sessions/{NAME}.zst", ".codex", f"archived_sessions/{NAME}.zst"),
        (f"archived_sessions/{NAME}.zst", f".codex/archived_sessions/{NAME}.zst", f"archived_sessions/{NAME}.zst"),
    ],
)
def test_compressed_rollout_reads_like_the_plain_one(tmp_path, stored_at, given, relative):
    plain = vellumtrace.parse(put(tmp_path / "plain/.codex" / LIVE, ROLLOUT), include_raw=True)
    compressed = put(tmp_path / "packed/.codex" / stored_at, zstd(ROLLOUT))
    report = vellumtrace.parse(tmp_path / "packed" / given, include_raw=True)
    assert {e["source"]["relative_path"] for e in report["events"] + report["diagnostics"]} == {relative}
    assert {e["source_file_sha256"] for e in report["events"]} == {hashlib.sha256(compressed.read_bytes()).hexdigest()}
    assert report["events"][0]["session_id"] == UUID
    assert without_location(report["events"]) == without_location(plain["events"])
    assert without_location(report["diagnostics"]) == without_location(plain["diagnostics"])
    assert len(plain["events"]) == 5 and len(plain["diagnostics"]) == 2


HEAD = f"{record(1)}\n{record(2)}\n".encode()
TAIL = f"{record(3)}\n{record(4)}".encode()


@pytest.mark.parametrize(
    "stored, lines, reason",
    [
        # The stream ends inside the second frame.
        (zstd(HEAD) + zstd(TAIL)[:12], [1, 2], "the data ends inside a frame (truncated)"),
        # The second frame's header is damaged, and more bytes follow than one read takes.
        (zstd(HEAD) + b"\x00" + zstd(TAIL)[1:] + bytes(range(256)) * 64, [1, 2], "Unknown frame descriptor"),
        # Bytes that are no frame after the last complete one: the last line,
        # which has no line feed, is not known to be complete.
        (zstd(HEAD) + zstd(TAIL) + b"garbage", [1, 2, 3], "Unknown frame descriptor"),
    ],
)
def test_damaged_stream_ends_the_file_after_the_clean_lines(tmp_path, stored, lines, reason):
    path = put(tmp_path / ".codex" / f"{LIVE}.zst", stored)
    report = vellumtrace.parse(tmp_path / ".codex")
    assert sources(report) == [(f"{LIVE}.zst", line) for line in lines]
    assert {e["source_file_sha256"] for e in report["events"]} == {hashlib.sha256(stored).hexdigest()}
    error = f"cannot decompress {NAME}.zst: {reason}"
    assert report["diagnostics"] == [{
        "code": "unreadable_artifact", "severity": "error", "message": f"Failed to read line: {error}",
        "source": {"artifact_kind": "session", "relative_path": f"{LIVE}.zst", "line_number": len(lines) + 1,
                   "record_type": None, "source_id": None}}]
    with pytest.raises(OSError) as info:
        vellumtrace.parse(path, mode="strict")
    assert str(info.value) == f"I/O error at {path}: {error}"


@pytest.mark.parametrize(
    "stored, events, messages",
    [
        (b"", 0, []),
        # Random letters: a long line that compresses no better than text does.
        (zstd(random.Random(5).randbytes(2_500_000).hex().encode()), 0,
         ["Line size 5000000 exceeds max_line_size 1000, skipping."]),
        # Frames join into one stream: a line may span two of them.
        (zstd(record(1)[:20].encode()) + zstd(record(1)[20:].encode()), 1, []),
    ],
)
def test_compressed_contents_follow_the_line_rules(tmp_path, stored, events, messages):
    path = put(tmp_path / ".codex" / f"{LIVE}.zst", stored)
    report = vellumtrace.parse(path, max_line_size=1000)
    assert len(report["events"]) == events
    assert [d["message"] for d in report["diagnostics"]] == messages
