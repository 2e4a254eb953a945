"""A whole Claude Code root: attachments joined to the cached files they name,
snapshots given their session's project, and every part readable on its own."""

import hashlib
import json
import os
import subprocess
import sys

import pytest

import vellumtrace

MTIME = 1700000000


def sha(data):
    return hashlib.sha256(data).hexdigest()


def make_root(tmp_path, lines=(), files=None):
    """`.claude` with a history of `lines` (dicts or raw text) and {relative path: bytes}."""
    root = tmp_path / ".claude"
    root.mkdir(parents=True)
    if lines:
        text = "".join((json.dumps(line) if isinstance(line, dict) else line) + "\n" for line in lines)
        (root / "history.jsonl").write_text(text)
    for rel, data in (files or {}).items():
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        os.utime(path, (MTIME, MTIME))
    return root


def prompt(pasted=None, session="s1", project="/p", ms=1762159272000):
    return {"display": "hi", "pastedContents": pasted or {}, "timestamp": ms, "project": project, "sessionId": session}


def attachments(report):
    return [e for e in report["events"] if e["event_type"] in ("paste_attachment", "image_attachment")]


TEXT = {"type": "text"}


@pytest.mark.parametrize("pasted, files, expected, diagnostics, orphans", [
    # Inline text and its cached copy agree.
    ({"1": {**TEXT, "content": "abc", "contentHash": "abc"}}, {"paste-cache/abc.txt": b"abc"},
     [("resolved", "paste-cache/abc.txt", 3, sha(b"abc"), "text/plain", "abc")], [], []),
    # They differ: the inline facts stay, the mismatch is an error.
    ({"1": {**TEXT, "content": "abc", "contentHash": "abc"}}, {"paste-cache/abc.txt": b"xyz"},
     [("resolved", "paste-cache/abc.txt", 3, sha(b"abc"), "text/plain", "abc")],
     [("hash_mismatch", "error", "Inline content and resolved cache 'paste-cache/abc.txt' have different SHA-256 values.")],
     []),
    # By hash only: the file's facts and content.
    ({"1": {**TEXT, "contentHash": "abc"}}, {"paste-cache/abc.txt": b"hello"},
     [("resolved", "paste-cache/abc.txt", 5, sha(b"hello"), "text/plain", "hello")], [], []),
    # A file without a known media type leaves the entry's own.
    ({"1": {**TEXT, "contentHash": "abc"}}, {"paste-cache/abc": b"hello"},
     [("resolved", "paste-cache/abc", 5, sha(b"hello"), "text", "hello")], [], []),
    # Two files of one stem: ambiguous, and neither is an orphan.
    ({"1": {**TEXT, "contentHash": "abc"}}, {"paste-cache/abc.txt": b"1", "paste-cache/sub/abc.png": b"2"},
     [("ambiguous", None, None, None, "text", None)],
     [("ambiguous_reference", "warning",
       "Cache reference 'abc' matched multiple files: paste-cache/abc.txt, paste-cache/sub/abc.png")], []),
    # No cache at all.
    ({"1": {**TEXT, "contentHash": "abc"}}, {},
     [("missing", None, None, None, "text", None)],
     [("missing_reference", "warning", "Cache reference 'abc' could not be resolved.")], []),
    # Images resolve against the image cache only; the paste-cache file stays
    # an orphan, marked as referenced.
    ({"1": {"type": "image", "contentHash": "abc"}}, {"paste-cache/abc.png": b"p"},
     [("missing", None, None, None, "image", None)],
     [("missing_reference", "warning", "Cache reference 'abc' could not be resolved.")],
     [("paste-cache/abc.png", "resolved")]),
    ({"1": {"type": "image", "contentHash": "abc"}}, {"image-cache/s1/abc.png": b"p"},
     [("resolved", "image-cache/s1/abc.png", 1, sha(b"p"), "image/png", "p")], [], []),
    # Stems match exactly: a hidden file .abc is not abc.
    ({"1": {**TEXT, "contentHash": "abc"}}, {"paste-cache/.abc": b"h", "paste-cache/zzz.txt": b"z"},
     [("missing", None, None, None, "text", None)],
     [("missing_reference", "warning", "Cache reference 'abc' could not be resolved.")],
     [("paste-cache/.abc", None), ("paste-cache/zzz.txt", None)]),
    # A name that is not UTF-8 has the empty stem, which no reference names.
    ({"1": {**TEXT, "contentHash": ""}}, {"paste-cache/\udcff.txt": b"u"},
     [("missing", None, None, None, "text", None)],
     [("missing_reference", "warning", "Cache reference '' could not be resolved.")],
     [("paste-cache/\ufffd.txt", None)]),
    # Several attachments may resolve to one file.
    ({"1": {**TEXT, "contentHash": "abc"}, "2": {**TEXT, "contentHash": "abc"}}, {"paste-cache/abc.txt": b"x"},
     [("resolved", "paste-cache/abc.txt", 1, sha(b"x"), "text/plain", "x")] * 2, [], []),
])
def test_reference_resolution(tmp_path, pasted, files, expected, diagnostics, orphans):
    root = make_root(tmp_path, [prompt(pasted)], files)
    report = vellumtrace.parse(root, include_content=True)
    got = [(a["reference_status"], a["resolved_path"], a["size"], a["sha256"], a["media_type"], a["content"])
           for a in (e["artifact"] for e in attachments(report))]
    assert got == expected
    assert [(d["code"], d["severity"], d["message"]) for d in report["diagnostics"]] == diagnostics
    assert all(d["source"] == attachments(report)[0]["source"] for d in report["diagnostics"])
    assert [(e["source"]["relative_path"], e["artifact"]["reference_status"]) for e in report["events"]
            if e["event_type"] == "orphan_cache"] == orphans
    errors = [d for d in diagnostics if d[1] == "error"]
    if errors:
        with pytest.raises(ValueError, match="^Strict mode: Inline content"):
            vellumtrace.parse(root, mode="strict")
    else:
        assert len(vellumtrace.parse(root, mode="strict")["events"]) == len(report["events"])


@pytest.mark.parametrize("projects, expected", [
    (["/p", "/p"], "/p"),
    (["/p", "/q"], None),
    ([], None),
])
def test_snapshots_take_the_one_project_of_their_session(tmp_path, projects, expected):
    lines = [prompt(project=p) for p in projects] + [prompt(session="s2", project="/other")]
    root = make_root(tmp_path, lines, {"file-history/s1/a@v1": b"a", "file-history/s3/b@v1": b"b"})
    snapshots = {e["session_id"]: e["working_directory"] for e in vellumtrace.parse(root)["events"]
                 if e["event_type"] == "file_snapshot"}
    assert snapshots == {"s1": expected, "s3": None}


def test_diagnostics_follow_the_reading_order(tmp_path):
    root = make_root(tmp_path, [prompt({"1": {**TEXT, "contentHash": "gone"}}), "{bad"], {
        "file-history/s1/a@v1": b"1", "file-history/s1/a@v3": b"3",
        "image-cache/s1/i.png": b"i", "paste-cache/p.txt": b"p"})
    for part in ("paste-cache", "image-cache"):
        (root / part / "up").symlink_to(root / part, target_is_directory=True)
    report = vellumtrace.parse(root, follow_symlinks=True)
    assert [(d["code"], d["source"]["relative_path"]) for d in report["diagnostics"]] == [
        ("invalid_json", "history.jsonl"),
        ("missing_reference", "history.jsonl"),
        ("unreadable_artifact", "paste-cache"),
        ("unreadable_artifact", "image-cache"),
        ("snapshot_version_gap", "file-history/s1/a@v1")]
    assert report["diagnostics"][2]["message"].startswith("walkdir error: ")
    assert sorted(e["event_type"] for e in report["events"]) == [
        "file_snapshot", "file_snapshot", "orphan_cache", "orphan_cache", "paste_attachment", "prompt_input"]


@pytest.mark.parametrize("rel, types", [
    ("", ["file_snapshot", "orphan_cache", "orphan_cache", "paste_attachment", "prompt_input"]),
    ("history.jsonl", ["paste_attachment", "prompt_input"]),
    ("paste-cache", ["orphan_cache", "orphan_cache"]),
    ("paste-cache/abc.txt", ["orphan_cache"]),
    ("image-cache", ["orphan_cache"]),
    ("file-history", ["file_snapshot"]),
    ("file-history/s1/a@v1", ["file_snapshot"]),
])
def test_every_part_alone(tmp_path, rel, types):
    root = make_root(tmp_path, [prompt({"1": {**TEXT, "contentHash": "abc"}})], {
        "paste-cache/abc.txt": b"x", "paste-cache/z.txt": b"z", "image-cache/s1/i.png": b"i",
        "file-history/s1/a@v1": b"a"})
    report = vellumtrace.parse(root / rel if rel else root)
    assert sorted(e["event_type"] for e in report["events"]) == types
    if rel.startswith("paste-cache"):
        # Read alone, a cache resolves nothing and marks nothing as referenced.
        assert all(e["artifact"]["reference_status"] is None for e in report["events"])
    snapshots = [e for e in report["events"] if e["event_type"] == "file_snapshot"]
    assert [(e["session_id"], e["working_directory"]) for e in snapshots] == (
        [("s1", "/p" if rel == "" else None)] if snapshots else [])


@pytest.mark.parametrize("follow, prompts", [(False, 0), (True, 1)])
def test_links_to_root_members(tmp_path, follow, prompts):
    elsewhere = make_root(tmp_path / "x", [prompt()], {"paste-cache/p.txt": b"p"})
    root = make_root(tmp_path, files={"file-history/s1/a@v1": b"a"})  # a member that is no link
    (root / "history.jsonl").symlink_to(elsewhere / "history.jsonl")
    (root / "paste-cache").symlink_to(elsewhere / "paste-cache", target_is_directory=True)
    report = vellumtrace.parse(root, follow_symlinks=follow)
    assert sorted(e["event_type"] for e in report["events"]) == ["file_snapshot", "orphan_cache"] + ["prompt_input"] * prompts
    assert report["diagnostics"] == []


def parse_in_child(path, **options):
    """A parse in a separate interpreter, so that a blocking open fails the test instead of hanging it."""
    code = f"import json, vellumtrace; print(json.dumps(vellumtrace.parse({str(path)!r}, **{options!r})))"
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, env=env)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def loop(part):
    return lambda root: (root / part / "up").symlink_to(root / part, target_is_directory=True)


def fifo(rel):
    return lambda root: os.mkfifo(root / rel)


def unnamed_session(root):
    folder = os.fsencode(root / "file-history") + b"/\xff"
    os.mkdir(folder)
    open(folder + b"/b@v1", "wb").close()


def replace(rel, make):
    def setup(root):
        (root / rel).unlink()
        make(root / rel)
    return setup


@pytest.mark.parametrize("setup, follow, diagnostics, events", [
    (loop("paste-cache"), True, [("unreadable_artifact", "paste-cache", "walkdir error: ")], 4),
    (loop("image-cache/s1"), True, [("unreadable_artifact", "image-cache", "walkdir error: ")], 4),
    (loop("file-history"), True, [("unreadable_artifact", "file-history", "walkdir error: ")], 4),
    (loop("file-history"), False, [], 4),
    (fifo("paste-cache/f.txt"), False, [], 4),
    (fifo("image-cache/s1/f.png"), True, [], 4),
    (fifo("file-history/s1/a@v2"), False, [], 4),
    (unnamed_session, False,
     [("unreadable_artifact", "file-history/\ufffd/b@v1", "Cannot determine session ID from parent directory")], 4),
    # A cached file replaced by a directory: the reference is missing, what the
    # directory holds is an orphan.
    (replace("paste-cache/abc.txt", lambda p: (p.mkdir(), (p / "in.txt").write_text("i"))), False,
     [("missing_reference", "history.jsonl", "Cache reference 'abc' could not be resolved.")], 5),
    # A history that is no regular file is passed over; a dangling link to one is named.
    (replace("history.jsonl", lambda p: p.symlink_to(p.parent / "gone.jsonl")), True,
     [("unreadable_artifact", "history.jsonl", "Cannot read metadata: ")], 3),
    (replace("history.jsonl", lambda p: p.symlink_to(p.parent / "gone.jsonl")), False, [], 3),
    (replace("history.jsonl", os.mkfifo), False, [], 3),
    (replace("history.jsonl", lambda p: p.mkdir()), True, [], 3),
])
def test_hostile_roots_are_diagnosed(tmp_path, setup, follow, diagnostics, events):
    root = make_root(tmp_path, [prompt({"1": {**TEXT, "contentHash": "abc"}})], {
        "paste-cache/abc.txt": b"x", "image-cache/s1/i.png": b"i", "file-history/s1/a@v1": b"a"})
    setup(root)
    report = parse_in_child(root, follow_symlinks=follow)
    assert [(d["code"], d["source"]["relative_path"], d["message"][:len(m)]) for d, (_, _, m)
            in zip(report["diagnostics"], diagnostics)] == diagnostics
    assert len(report["diagnostics"]) == len(diagnostics)
    assert all(d["severity"] == "warning" for d in report["diagnostics"])
    assert len(report["events"]) == events
