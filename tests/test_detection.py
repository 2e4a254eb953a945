"""Which reader a given path goes to, judged from the outside: the errors of
detection, and for Codex inputs the relative paths of the events read (which
show the base directory chosen for the kind)."""

import os
import threading

import pytest

import vellumtrace

HISTORY_LINE = '{"session_id": "s1", "text": "hi", "ts": 1700000000}\n'
SESSION_LINE = (
    '{"type": "session_meta", "timestamp": "2023-11-14T22:13:20Z", '
    '"payload": {"id": "s1", "cwd": "/w"}}\n'
)


def put(base, rel, text=""):
    path = base / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def codex_paths(report):
    return sorted(e["source"]["relative_path"] for e in report["events"] if e["provider"] == "codex")


def cannot(path):
    return f"Cannot auto-detect a supported artifact at '{path}'."


def ambiguous(path):
    return f"Artifact detection is ambiguous at '{path}': Codex, ClaudeCode."


@pytest.fixture
def tree(tmp_path):
    """A Codex root, a Claude Code root and loose copies of their files."""
    put(tmp_path, "home/.codex/history.jsonl", HISTORY_LINE)
    put(tmp_path, "home/.codex/sessions/2025/01/01/rollout-x.jsonl", SESSION_LINE)
    put(tmp_path, "home/.codex/attachments/owner/pic.png", "png")
    put(tmp_path, "home/.claude/history.jsonl", "")
    put(tmp_path, "loose/history.jsonl", HISTORY_LINE)
    put(tmp_path, "loose/rollout-x.jsonl", SESSION_LINE)
    put(tmp_path, "attach/attachments/owner/file.bin", "bin")
    for prefix in ("mixed", "under/.claude/mixed", "both/.codex/.claude/mixed"):
        put(tmp_path, f"{prefix}/history.jsonl", HISTORY_LINE)
        put(tmp_path, f"{prefix}/sessions/a/rollout-1.jsonl", SESSION_LINE)
    put(tmp_path, "amb/attachments/paste-cache/a.txt", "text")
    (tmp_path / "empty/.claude").mkdir(parents=True)
    put(tmp_path, "deep6/sessions/1/2/3/4/5/rollout-6.jsonl", SESSION_LINE)
    put(tmp_path, "deep5/sessions/1/2/3/4/rollout-5.jsonl", SESSION_LINE)
    # Archived rollouts: flat, possibly sharing a live rollout's name.
    put(tmp_path, "arch/.codex/sessions/2025/01/01/rollout-a.jsonl", SESSION_LINE)
    put(tmp_path, "arch/.codex/archived_sessions/rollout-a.jsonl", SESSION_LINE)
    put(tmp_path, "loosearch/archived_sessions/rollout-b.jsonl", SESSION_LINE)
    put(tmp_path, "onlyarch/archived_sessions/rollout-c.jsonl", SESSION_LINE)
    put(tmp_path, "noarch/archived_sessions/notes.jsonl", SESSION_LINE)
    return tmp_path


@pytest.mark.parametrize(
    "rel, expected",
    [
        ("home/.codex", ["attachments/owner/pic.png", "history.jsonl",
                         "sessions/2025/01/01/rollout-x.jsonl"]),
        ("home/.codex/", ["attachments/owner/pic.png", "history.jsonl",
                          "sessions/2025/01/01/rollout-x.jsonl"]),
        ("home/.codex/history.jsonl", ["history.jsonl"]),
        ("home/.codex/sessions", ["sessions/2025/01/01/rollout-x.jsonl"]),
        ("home/.codex/sessions/2025/01/01/rollout-x.jsonl",
         ["sessions/2025/01/01/rollout-x.jsonl"]),
        ("home/.codex/attachments", ["attachments/owner/pic.png"]),
        ("home/.codex/attachments/owner/pic.png", ["attachments/owner/pic.png"]),
        ("attach/attachments/owner/file.bin", ["attachments/owner/file.bin"]),
        # Codex's 80 beats Claude Code's 10 for a bare directory holding both.
        ("mixed", ["history.jsonl", "sessions/a/rollout-1.jsonl"]),
        # Five levels below "sessions" is still searched.
        ("deep5", ["sessions/1/2/3/4/rollout-5.jsonl"]),
        ("arch/.codex", ["archived_sessions/rollout-a.jsonl", "sessions/2025/01/01/rollout-a.jsonl"]),
        ("arch/.codex/archived_sessions", ["archived_sessions/rollout-a.jsonl"]),
        ("arch/.codex/archived_sessions/rollout-a.jsonl", ["archived_sessions/rollout-a.jsonl"]),
        ("loosearch/archived_sessions", ["archived_sessions/rollout-b.jsonl"]),
        ("loosearch/archived_sessions/rollout-b.jsonl", ["archived_sessions/rollout-b.jsonl"]),
        ("onlyarch", ["archived_sessions/rollout-c.jsonl"]),
        ("onlyarch/archived_sessions/rollout-c.jsonl", ["archived_sessions/rollout-c.jsonl"]),
    ],
)
def test_codex_inputs_and_their_base(tree, rel, expected):
    report = vellumtrace.parse(tree / rel)
    assert codex_paths(report) == expected
    assert all(e["provider"] == "codex" for e in report["events"])


@pytest.mark.parametrize(
    "rel",
    [
        "home/.claude",
        "home/.claude/history.jsonl",
        "loose/history.jsonl",  # a Codex history file outside .codex
        "under/.claude/mixed",  # 100 for Claude Code against 80
    ],
)
def test_claude_code_inputs_are_not_read_as_codex(tree, rel):
    report = vellumtrace.parse(tree / rel)
    assert [e for e in report["events"] if e["provider"] != "claude_code"] == []


@pytest.mark.parametrize(
    "rel, message",
    [
        ("empty/.claude", cannot),
        ("loose/rollout-x.jsonl", cannot),
        ("deep6", cannot),
        ("noarch", cannot),
        ("noarch/archived_sessions", cannot),
        ("both/.codex/.claude/mixed", ambiguous),
        ("amb/attachments/paste-cache/a.txt", ambiguous),
    ],
)
def test_detection_failures(tree, rel, message):
    path = tree / rel
    with pytest.raises(ValueError) as info:
        vellumtrace.parse(path)
    assert str(info.value) == message(path)


def test_missing_path_is_an_os_error(tmp_path):
    missing = tmp_path / "nothing" / "here"
    with pytest.raises(OSError) as info:
        vellumtrace.parse(missing)
    assert str(info.value) == f"I/O error at {missing}: No such file or directory"


@pytest.mark.parametrize("follow", [False, True])
def test_link_to_history_file_only_read_when_followed(tree, follow):
    link = tree / "hist-link"
    link.symlink_to(tree / "home/.codex/history.jsonl")
    if follow:
        report = vellumtrace.parse(link, follow_symlinks=True)
        assert codex_paths(report) == ["history.jsonl"]
    else:
        with pytest.raises(ValueError) as info:
            vellumtrace.parse(link)
        assert str(info.value) == cannot(link)


@pytest.mark.parametrize("follow", [False, True])
def test_fifo_is_refused_without_blocking(tmp_path, follow):
    fifo = tmp_path / "pipe-dir" / "history.jsonl"
    fifo.parent.mkdir()
    os.mkfifo(fifo)
    outcome = []

    def call():
        try:
            vellumtrace.parse(fifo, follow_symlinks=follow)
            outcome.append("no error")
        except ValueError as error:
            outcome.append(str(error))

    worker = threading.Thread(target=call, daemon=True)
    worker.start()
    worker.join(20)
    assert not worker.is_alive(), "parse blocked on a FIFO"
    assert outcome == [cannot(os.path.realpath(fifo) if follow else fifo)]
    # The directory holding it is no Claude Code root either.
    with pytest.raises(ValueError):
        vellumtrace.parse(fifo.parent, follow_symlinks=follow)


def test_relative_paths_are_judged_as_given(tree, monkeypatch):
    monkeypatch.chdir(tree / "home/.codex")
    with pytest.raises(ValueError) as info:
        vellumtrace.parse("sessions")
    assert str(info.value) == cannot("sessions")
    assert codex_paths(vellumtrace.parse("sessions", follow_symlinks=True)) == [
        "sessions/2025/01/01/rollout-x.jsonl"
    ]
    # Without ".codex" in the path as given, the history is Claude Code's.
    assert codex_paths(vellumtrace.parse("history.jsonl")) == []
    assert codex_paths(vellumtrace.parse("history.jsonl", follow_symlinks=True)) == [
        "history.jsonl"
    ]
    # A rollout below a relative "sessions" keeps its whole relative path.
    assert codex_paths(vellumtrace.parse("sessions/2025/01/01/rollout-x.jsonl")) == [
        "sessions/2025/01/01/rollout-x.jsonl"
    ]


def test_real_roots_and_their_parts(corpus_dir):
    """Every part of a real root is detected as its own kind, with paths from
    the same base as when the whole root is read."""
    checked = 0
    for owner in sorted(corpus_dir.iterdir()):
        codex = owner / ".codex"
        both = (owner / ".claude").is_dir() and codex.is_dir()
        if codex.is_dir():
            whole = codex_paths(vellumtrace.parse(owner))
            prefix = ".codex/" if both else ""
            assert whole and all(p.startswith(prefix) for p in whole)
            for member in ("history.jsonl", "sessions", "archived_sessions", "attachments"):
                if (codex / member).exists():
                    part = codex_paths(vellumtrace.parse(codex / member))
                    assert part == sorted(p[len(prefix):] for p in whole
                                          if p[len(prefix):].startswith(member))
                    checked += 1
        for cache in ("paste-cache", "image-cache", "file-history"):
            if (owner / ".claude" / cache).is_dir():
                report = vellumtrace.parse(owner / ".claude" / cache)
                assert all(e["provider"] == "claude_code" for e in report["events"])
                checked += 1
    assert checked > 0
