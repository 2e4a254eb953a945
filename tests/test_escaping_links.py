"""Where links and outputs lead: a root member linked out of its root (the
full reading does not follow it unless links are followed; the documented
reading reads it as before), and Parquet written over the run's own inputs
(refused, by any path) or over a link (the link is replaced, never its
target)."""

import json
import os

import pyarrow as pa
import pytest

import vellumtrace

PROMPT = {"display": "p", "timestamp": 1700000000000, "project": "/w", "sessionId": "s"}
CODEX_PROMPT = {"session_id": "s", "ts": 1700000000, "text": "p"}
ROLLOUT = "2025/01/01/rollout-2025-01-01T00-00-00-0197aaaa-0000-7000-8000-000000000000.jsonl"
TRANSCRIPT = {"type": "user", "sessionId": "s", "uuid": "u", "timestamp": "2025-06-01T10:00:00Z",
              "message": {"role": "user", "content": "hi"}}


def put(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)


def elsewhere(tmp_path):
    """What a hostile member points at: files outside every root."""
    outside = tmp_path / "outside"
    put(outside / "p.txt", "pasted")
    put(outside / "-w" / "s.jsonl", json.dumps(TRANSCRIPT) + "\n")
    put(outside / "sessions" / ROLLOUT, json.dumps({"type": "session_meta", "payload": {"id": "x"}}) + "\n")
    put(outside / "history.jsonl", json.dumps(CODEX_PROMPT) + "\n")
    return outside


# (root, member, link target below `outside` or inside the root, artifact kind)
CASES = {
    "claude paste-cache": (".claude", "paste-cache", "", "paste_cache"),
    "claude projects": (".claude", "projects", "", "transcript"),
    "claude projects through a chain": (".claude", "projects", "CHAIN", "transcript"),
    "codex sessions": (".codex", "sessions", "sessions", "session"),
    "codex history": (".codex", "history.jsonl", "history.jsonl", "history"),
}


def make_root(tmp_path, root_name, member, target):
    root = tmp_path / "home" / root_name
    outside = elsewhere(tmp_path)
    if root_name == ".claude":
        put(root / "history.jsonl", json.dumps(PROMPT) + "\n")
    else:
        put(root / "attachments" / "a.txt", "a")
    if target == "CHAIN":
        # Through other links of the root: a -> b/.. and b -> .. climb to the
        # folder above the home.
        (root / "a").symlink_to("b/..")
        (root / "b").symlink_to("..", target_is_directory=True)
        (root / member).symlink_to("a/outside", target_is_directory=True)
    else:
        (root / member).symlink_to(outside / target)
    return root


def diagnostics_of(timeline):
    return [(d["code"], d["artifact_kind"], d["source_relative_path"], d["message"])
            for d in pa.table(timeline.diagnostics).to_pylist()]


@pytest.mark.parametrize("root_name, member, target, kind", CASES.values(), ids=CASES.keys())
def test_a_root_member_linked_out_of_its_root_is_not_followed(tmp_path, root_name, member, target, kind):
    root = make_root(tmp_path, root_name, member, target)
    full = vellumtrace.Timeline(root)
    paths = set(pa.table(full)["source_relative_path"].to_pylist())
    assert not any(p.startswith(member) for p in paths), paths
    assert diagnostics_of(full) == [
        ("unreadable_artifact", kind, member, "Link leaves its root: not read without following links")]
    # Asked to follow links, the full reading reads it.
    followed = set(pa.table(vellumtrace.Timeline(root, follow_symlinks=True))["source_relative_path"].to_pylist())
    assert any(p.startswith(member) for p in followed), followed
    # The documented reading is unchanged: a linked member is read.
    if kind != "transcript":
        documented = vellumtrace.parse(root)
        assert any(e["source"]["relative_path"].startswith(member) for e in documented["events"])
        assert documented["diagnostics"] == []


def test_a_member_linked_within_its_root_is_read(tmp_path):
    root = tmp_path / ".claude"
    put(root / "real-cache" / "p.txt", "pasted")
    put(root / "history.jsonl", json.dumps(PROMPT) + "\n")
    (root / "paste-cache").symlink_to("real-cache", target_is_directory=True)
    timeline = vellumtrace.Timeline(root)
    assert diagnostics_of(timeline) == []
    assert "paste-cache/p.txt" in pa.table(timeline)["source_relative_path"].to_pylist()


def evidence(tmp_path):
    root = tmp_path / ".claude"
    put(root / "history.jsonl", json.dumps(PROMPT) + "\n")
    put(root / "projects" / "-w" / "s.jsonl", json.dumps(TRANSCRIPT) + "\n")
    return root


# Destinations that lead to an input file of the run, by any path.
INPUT_DESTINATIONS = {
    "the history": lambda root: root / "history.jsonl",
    "a transcript": lambda root: root / "projects" / "-w" / "s.jsonl",
    "a link to it": lambda root: (root.parent / "link.parquet").symlink_to(root / "history.jsonl")
    or root.parent / "link.parquet",
    "a hard link to it": lambda root: os.link(root / "history.jsonl", root.parent / "hard.parquet")
    or root.parent / "hard.parquet",
}


@pytest.mark.parametrize("destination", INPUT_DESTINATIONS.values(), ids=INPUT_DESTINATIONS.keys())
@pytest.mark.parametrize("which", ["events", "diagnostics"])
def test_write_parquet_never_replaces_an_input(tmp_path, destination, which):
    pytest.importorskip("pyarrow.parquet")
    root = evidence(tmp_path)
    before = {p: p.read_bytes() for p in root.rglob("*") if p.is_file()}
    timeline = vellumtrace.Timeline(root)
    target = destination(root)
    columns = timeline if which == "events" else timeline.diagnostics
    with pytest.raises(OSError, match="^Cannot create '.*': it is one of the input files of this run$"):
        columns.write_parquet(target)
    assert {p: p.read_bytes() for p in root.rglob("*") if p.is_file()} == before
    assert not [p for p in tmp_path.rglob(".*partial*")]


def test_write_parquet_replaces_a_link_never_its_target(tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    root = evidence(tmp_path)
    victim = tmp_path / "victim.txt"
    victim.write_text("keep me")
    (tmp_path / "t.parquet").symlink_to(victim)
    timeline = vellumtrace.Timeline(root)
    timeline.write_parquet(tmp_path / "t.parquet")
    assert victim.read_text() == "keep me"
    assert not (tmp_path / "t.parquet").is_symlink()
    assert pq.read_table(tmp_path / "t.parquet").num_rows == len(timeline)
    # A write that fails leaves neither a temporary nor a destination.
    with pytest.raises(OSError):
        timeline.write_parquet(tmp_path / "missing" / "t.parquet")
    assert sorted(p.name for p in tmp_path.iterdir()) == [".claude", "t.parquet", "victim.txt"]


# Two homes whose histories are (or are not) one file, and what is given.
SECOND_HOMES = {
    "hard-linked history, two roots": (os.link, ["a/.claude", "b/.claude"], 1),
    "hard-linked history, two files": (os.link, ["a/.claude/history.jsonl", "b/.claude/history.jsonl"], 1),
    "copied history": (lambda src, dst: dst.write_bytes(src.read_bytes()), ["a/.claude", "b/.claude"], 2),
}


@pytest.mark.parametrize("make, given, reads", SECOND_HOMES.values(), ids=SECOND_HOMES.keys())
def test_a_file_reached_by_two_names_is_read_once(tmp_path, make, given, reads):
    first = tmp_path / "a" / ".claude" / "history.jsonl"
    put(first, json.dumps(PROMPT) + "\n")
    put(tmp_path / "b" / ".claude" / "paste-cache" / "p.txt", "pasted")
    make(first, tmp_path / "b" / ".claude" / "history.jsonl")
    rows = pa.table(vellumtrace.Timeline(*(tmp_path / g for g in given))).to_pylist()
    prompts = [(r["input"], r["source_relative_path"]) for r in rows if r["event_type"] == "prompt_input"]
    assert len(prompts) == reads
    # Read by the first input that reaches it, with the path it has there alone.
    assert prompts[0] == (str(tmp_path / given[0]), "history.jsonl")
