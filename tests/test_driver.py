"""One run end to end: which roots a directory yields, the timeline order and
numbering of the report, strict mode and bad input paths."""

import json
import os

import pytest

import vellumtrace


def put(base, rel, text=""):
    path = base / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def history(*records):
    return "".join(json.dumps(r) + "\n" for r in records)


def session_record(ts, kind="event_msg", payload_type="agent_message"):
    record = {"type": kind, "payload": {"type": payload_type, "message": "m"}}
    if ts is not None:
        record["timestamp"] = ts
    return record


def places(report):
    return [(e["source"]["relative_path"], e["source"]["line_number"]) for e in report["events"]]


@pytest.fixture
def home(tmp_path):
    put(tmp_path, "home/.codex/history.jsonl", history({"ts": 1700000000, "text": "a"}))
    put(tmp_path, "home/.codex/sessions/2023/rollout-1.jsonl",
        history(session_record("2023-11-14T22:13:21Z")))
    return tmp_path / "home"


def test_both_roots_are_read_against_the_directory(home):
    put(home, ".claude/history.jsonl")
    report = vellumtrace.parse(home)
    assert places(report) == [
        (".codex/history.jsonl", 1),
        (".codex/sessions/2023/rollout-1.jsonl", 1),
    ]


@pytest.mark.parametrize("claude", ["absent", "empty", "link"])
def test_single_root_is_its_own_base(home, claude):
    if claude == "empty":
        (home / ".claude").mkdir()
    elif claude == "link":  # a link named .claude is not followed
        put(home.parent, "real/.claude/history.jsonl")
        (home / ".claude").symlink_to(home.parent / "real/.claude")
    report = vellumtrace.parse(home)
    assert places(report) == [("history.jsonl", 1), ("sessions/2023/rollout-1.jsonl", 1)]


def test_linked_roots_are_read_when_followed(tmp_path, home):
    outer = tmp_path / "outer"
    outer.mkdir()
    (outer / ".codex").symlink_to(home / ".codex")
    with pytest.raises(ValueError, match="^Cannot auto-detect"):
        vellumtrace.parse(outer)
    report = vellumtrace.parse(outer, follow_symlinks=True)
    assert places(report) == [("history.jsonl", 1), ("sessions/2023/rollout-1.jsonl", 1)]
    # A link given as the input is searched for roots even unfollowed.
    alias = tmp_path / "alias"
    alias.symlink_to(home)
    assert places(vellumtrace.parse(alias)) == places(vellumtrace.parse(home))


def test_timeline_order_and_numbering(tmp_path):
    root = tmp_path / ".codex"
    put(root, "history.jsonl", history(
        {"ts": 1700000200, "text": "h1"},
        {"text": "h2 no time"},
        {"ts": 1700000100, "text": "h3"},
        {"ts": 1700000150, "text": "h4 same second as the session start"},
    ))
    put(root, "sessions/a/rollout-1.jsonl", history(
        session_record("2023-11-14T22:15:50Z", "session_meta", "x"),
        session_record(None),
        session_record("2023-11-14T22:15:50Z"),
        session_record("2023-11-14T22:15:50.5Z"),
    ))
    report = vellumtrace.parse(root)
    assert places(report) == [
        ("history.jsonl", 3),  # 22:15:00
        ("history.jsonl", 4),  # 22:15:50, path before the session's
        ("sessions/a/rollout-1.jsonl", 1),
        ("sessions/a/rollout-1.jsonl", 3),
        ("sessions/a/rollout-1.jsonl", 4),  # 22:15:50.5
        ("history.jsonl", 1),  # 22:16:40
        ("history.jsonl", 2),  # untimestamped, by path and line
        ("sessions/a/rollout-1.jsonl", 2),
    ]
    assert [e["sequence"] for e in report["events"]] == list(range(8))
    assert vellumtrace.parse(root) == report


def test_strict_mode_keeps_warnings(home):
    put(home, ".codex/history.jsonl", history({"ts": "yesterday", "text": "a"}))
    lenient = vellumtrace.parse(home)
    strict = vellumtrace.parse(home, mode="strict")
    assert strict == lenient
    assert [d["severity"] for d in strict["diagnostics"]] == ["warning"]


def test_strict_mode_stops_at_an_error_diagnostic(home):
    # A dangling link below sessions cannot be traversed when links are
    # followed: an error diagnostic, which a strict run turns into its error.
    (home / ".codex/sessions/broken").symlink_to(home / "nowhere")
    report = vellumtrace.parse(home, follow_symlinks=True)
    (diagnostic,) = report["diagnostics"]
    assert diagnostic["severity"] == "error"
    assert len(report["events"]) == 2
    with pytest.raises(ValueError) as info:
        vellumtrace.parse(home, follow_symlinks=True, mode="strict")
    assert str(info.value) == "Strict mode: " + diagnostic["message"]


def test_reader_error_ends_the_whole_run(home):
    put(home, ".codex/sessions/2023/rollout-2.jsonl", "b\n")
    assert len(vellumtrace.parse(home)["events"]) == 2
    with pytest.raises(ValueError) as info:
        vellumtrace.parse(home, mode="strict")
    assert str(info.value).startswith(
        "JSON parse error at sessions/2023/rollout-2.jsonl line 1: ")


@pytest.mark.parametrize("follow", [False, True])
def test_bad_input_paths(tmp_path, follow):
    put(tmp_path, "file.txt", "x")
    (tmp_path / "dangling").symlink_to(tmp_path / "nowhere")
    (tmp_path / "loop-a").symlink_to(tmp_path / "loop-b")
    (tmp_path / "loop-b").symlink_to(tmp_path / "loop-a")

    def error(rel):
        with pytest.raises(Exception) as info:
            vellumtrace.parse(tmp_path / rel, follow_symlinks=follow)
        kind = OSError if isinstance(info.value, OSError) else type(info.value)
        return kind, str(info.value)

    assert error("missing") == (
        OSError, f"I/O error at {tmp_path}/missing: No such file or directory")
    assert error("file.txt/inside") == (
        OSError, f"I/O error at {tmp_path}/file.txt/inside: Not a directory")
    if follow:
        assert error("dangling") == (
            OSError, f"I/O error at {tmp_path}/dangling: No such file or directory")
        assert error("loop-a") == (
            OSError, f"I/O error at {tmp_path}/loop-a: Too many levels of symbolic links")
    else:
        for rel in ("dangling", "loop-a"):
            assert error(rel) == (
                ValueError, f"Cannot auto-detect a supported artifact at '{tmp_path}/{rel}'.")


def test_non_utf8_names_inside_a_root_show_lossily(tmp_path):
    root = tmp_path / ".codex"
    bad_dir = bytes(root / "sessions") + b"/caf\xe9"
    os.makedirs(bad_dir)
    with open(bad_dir + b"/rollout-1.jsonl", "w") as handle:
        handle.write(history(session_record("2023-11-14T22:13:21Z")))
    report = vellumtrace.parse(root)
    assert places(report) == [("sessions/caf\ufffd/rollout-1.jsonl", 1)]
