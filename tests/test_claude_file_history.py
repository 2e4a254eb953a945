"""Claude Code file history: one `file_snapshot` event per saved copy
`<session>/<id>@v<version>`, with warnings about duplicate and missing versions."""

import hashlib
import os
import re

import pytest

import vellumtrace

MTIME = 1700000000  # 2023-11-14T22:13:20Z


def snapshot_tree(tmp_path, files):
    """A `.claude/file-history` tree of {relative path: content}, all with one mtime."""
    folder = tmp_path / ".claude" / "file-history"
    for rel, content in files.items():
        path = folder / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(content)
        os.utime(path, (MTIME, MTIME))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def event_id(rel, key):
    data = b"\0".join([b"ClaudeCode", b"FileHistory", rel.encode(), key.encode()]) + b"\0"
    return hashlib.sha256(hashlib.sha256(data).digest()).hexdigest()


@pytest.mark.parametrize("name, expected", [
    ("abc@v1", ("abc", 1)),
    ("x@v1@v2", ("x@v1", 2)),
    ("abc@v+2", ("abc", 2)),
    ("abc@v007", ("abc", 7)),
    ("abc@v18446744073709551615", ("abc", 18446744073709551615)),
    ("notes.txt", ("notes.txt", 0)),
    ("abc@v", ("abc@v", 0)),
    ("@v3", ("@v3", 0)),
    ("abc@v-1", ("abc@v-1", 0)),
    ("abc@v++1", ("abc@v++1", 0)),
    ("abc@v1.txt", ("abc@v1.txt", 0)),
    ("abc@v18446744073709551616", ("abc@v18446744073709551616", 0)),
])
def test_snapshot_names(tmp_path, name, expected):
    folder = snapshot_tree(tmp_path, {f"s1/{name}": "body"})
    (event,) = vellumtrace.parse(folder)["events"]
    assert (event["source"]["source_id"], event["artifact"]["snapshot_version"]) == expected
    rel = f"file-history/s1/{name}"
    assert event["event_id"] == event_id(rel, f"file_history:s1:{expected[0]}@v{expected[1]}")
    assert event["artifact"]["media_type"] == ("text/plain" if name.endswith(".txt") else None)
    matched = expected != (name, 0)
    # Strict mode refuses what best effort keeps as version 0.
    if matched:
        assert vellumtrace.parse(folder, mode="strict")["events"][0]["source"]["source_id"] == expected[0]
    else:
        message = f"Strict mode: Filename does not match '<id>@v<version>' pattern: {name}"
        with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
            vellumtrace.parse(folder, mode="strict")


def gap(id_, session, a, b):
    return (f"Snapshot version gap for source '{id_}' in session '{session}': "
            f"v{a} -> v{b} (missing v{a + 1}..v{b - 1})")


def dup(id_, session, v):
    return f"Duplicate snapshot version v{v} for source '{id_}' in session '{session}'"


@pytest.mark.parametrize("names, expected", [
    (["s1/abc@v1", "s1/abc@v2", "s1/abc@v3"], []),
    (["s1/abc@v1", "s1/abc@v2", "s1/abc@v5"],
     [("snapshot_version_gap", "file-history/s1/abc@v1", gap("abc", "s1", 2, 5))]),
    (["s1/abc@v0", "s1/abc@v5"], []),
    (["s1/abc@v3", "s1/abc@v4"], []),
    (["s1/abc@v2", "s1/abc@v+2"],
     [("duplicate_snapshot_version", "file-history/s1/abc@v+2", dup("abc", "s1", 2))]),
    # Duplicates come before gaps; the gap is reported at the lowest version.
    (["s1/abc@v3", "s1/abc@v7", "s1/abc@v+7", "s1/abc@v9"],
     [("duplicate_snapshot_version", "file-history/s1/abc@v+7", dup("abc", "s1", 7)),
      ("snapshot_version_gap", "file-history/s1/abc@v3", gap("abc", "s1", 3, 7)),
      ("snapshot_version_gap", "file-history/s1/abc@v3", gap("abc", "s1", 7, 9))]),
    # Sessions are judged apart.
    (["s1/abc@v1", "s2/abc@v3"], []),
    (["s1/abc@v1", "s1/abc@v3", "s2/abc@v1", "s2/abc@v2"],
     [("snapshot_version_gap", "file-history/s1/abc@v1", gap("abc", "s1", 1, 3))]),
    (["s1/abc@v1", "s1/abc@v18446744073709551615"],
     [("snapshot_version_gap", "file-history/s1/abc@v1", gap("abc", "s1", 1, 18446744073709551615))]),
])
def test_version_checks(tmp_path, names, expected):
    folder = snapshot_tree(tmp_path, {n: n for n in names})
    report = vellumtrace.parse(folder, mode="strict")  # warnings only
    assert [(d["code"], d["source"]["relative_path"], d["message"]) for d in report["diagnostics"]] == expected
    assert all(d["severity"] == "warning" and d["source"]["source_id"] == "abc" for d in report["diagnostics"])
    assert len(report["events"]) == len(names)


def test_snapshot_events(tmp_path):
    folder = snapshot_tree(tmp_path, {"s-b/f@v1": "one", "s-a/f@v2": "two", "loose@v4": "three", "s/a/deep@v1": "x"})
    report = vellumtrace.parse(folder, include_content=True)
    assert report["diagnostics"] == []
    rows = [(e["source"]["relative_path"], e["session_id"], e["source"]["source_id"],
             e["artifact"]["snapshot_version"]) for e in report["events"]]
    # Timestamps tie: the relative path decides.
    assert rows == [("file-history/loose@v4", "file-history", "loose", 4),
                    ("file-history/s-a/f@v2", "s-a", "f", 2),
                    ("file-history/s-b/f@v1", "s-b", "f", 1),
                    ("file-history/s/a/deep@v1", "a", "deep", 1)]
    event = report["events"][1]
    assert (event["event_type"], event["provider"], event["source"]["artifact_kind"]) == (
        "file_snapshot", "claude_code", "file_history")
    assert (event["timestamp"], event["timestamp_source"], event["working_directory"]) == (
        "2023-11-14T22:13:20Z", "filesystem_modified", None)
    assert event["artifact"] | {"sha256": None} == {
        "reference_status": None, "resolved_path": None, "snapshot_version": 2, "size": 3, "sha256": None,
        "media_type": None, "content": "two", "content_encoding": "utf8"}
    assert event["artifact"]["sha256"] == hashlib.sha256(b"two").hexdigest()


@pytest.mark.parametrize("names, expected", [
    # Consistent: one source, versions in order whatever their names sort like.
    (["abc@v1", "abc@v2", "abc@v10"], ["abc@v1", "abc@v2", "abc@v10"]),
    # Cyclic under pairwise comparison: abc@v2 < abc@v10 by version, abc@v10 <
    # abc@v1@v5 and abc@v1@v5 < abc@v2 by path. The source abc still reads in
    # version order, and abc@v1@v5 keeps the place its path gives it.
    (["abc@v10", "abc@v1@v5", "abc@v2"], ["abc@v2", "abc@v1@v5", "abc@v10"]),
])
def test_snapshots_of_one_time_in_timeline_order(tmp_path, names, expected):
    folder = snapshot_tree(tmp_path, {f"s1/{n}": n for n in names})
    for path in (folder, folder.parent):
        events = vellumtrace.parse(path)["events"]
        assert [e["source"]["relative_path"].rsplit("/", 1)[1] for e in events] == expected
