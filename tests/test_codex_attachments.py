"""Codex attachments: one attachment event per regular file under attachments."""

import base64
import datetime
import hashlib
import os
import subprocess
import sys

import pytest

import vellumtrace

PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452") + b"\x00\xff\x10"


def event_id(relative_path):
    key = "codex_attachment:" + relative_path
    data = b"\0".join([b"Codex", b"Attachment", relative_path.encode(), key.encode()]) + b"\0"
    return hashlib.sha256(hashlib.sha256(data).digest()).hexdigest()


@pytest.fixture
def attachments(tmp_path):
    folder = tmp_path / ".codex" / "attachments"
    (folder / "a1").mkdir(parents=True)
    (folder / "a1" / "img.png").write_bytes(PNG)
    (folder / "notes.txt").write_text("hello notes\n")
    return folder


def iso(seconds):
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def test_tree_yields_one_event_per_file_in_path_order(attachments):
    os.utime(attachments / "notes.txt", (1700000000, 1700000000))
    os.utime(attachments / "a1" / "img.png", (1700000000, 1700000000))
    report = vellumtrace.parse(attachments.parent)
    assert report["diagnostics"] == []
    img, notes = report["events"]
    assert [img["source"]["relative_path"], notes["source"]["relative_path"]] == [
        "attachments/a1/img.png", "attachments/notes.txt"]
    assert [img["source"]["source_id"], notes["source"]["source_id"]] == ["a1", "attachments"]
    for event, data in ((img, PNG), (notes, b"hello notes\n")):
        assert event["event_type"] == "attachment"
        assert event["provider"] == "codex"
        assert event["source"]["record_type"] == "attachment"
        assert event["source"]["artifact_kind"] == "attachment"
        assert event["source"]["line_number"] is None
        assert event["event_id"] == event_id(event["source"]["relative_path"])
        assert event["timestamp"] == "2023-11-14T22:13:20Z"
        assert event["timestamp_source"] == "filesystem_modified"
        assert event["timestamp_raw"] is None
        assert event["fs_times"]["modified"] == "2023-11-14T22:13:20Z"
        assert event["session_id"] is None and event["message"] is None
        assert event["raw"] is None and event["source_file_sha256"] is None
        artifact = event["artifact"]
        assert artifact["size"] == len(data)
        assert artifact["sha256"] == hashlib.sha256(data).hexdigest()
        assert artifact["content"] is None and artifact["content_encoding"] is None
        assert artifact["snapshot_version"] is None and artifact["resolved_path"] is None
        assert artifact["reference_status"] is None
    assert img["artifact"]["media_type"] == "image/png"
    assert notes["artifact"]["media_type"] == "text/plain"


def test_content_is_inlined_on_request(attachments):
    report = vellumtrace.parse(attachments.parent, include_content=True)
    img, notes = report["events"]
    assert img["artifact"]["content_encoding"] == "base64"
    assert base64.b64decode(img["artifact"]["content"]) == PNG
    assert notes["artifact"]["content_encoding"] == "utf8"
    assert notes["artifact"]["content"] == "hello notes\n"
    # The bound admits notes.txt (12 bytes) exactly, not the larger image.
    small = vellumtrace.parse(attachments.parent, include_content=True, max_content_size=12)
    assert [e["artifact"]["content"] is None for e in small["events"]] == [True, False]


def test_modification_before_1970_gives_no_timestamp(attachments):
    os.utime(attachments / "notes.txt", (-86400, -86400))
    report = vellumtrace.parse(attachments.parent)
    notes = report["events"][-1]
    assert notes["timestamp"] is None
    assert notes["timestamp_source"] == "none"
    assert notes["fs_times"]["modified"] is None


@pytest.mark.parametrize("name", ["notes.txt", "a1/img.png"])
def test_single_file_input_captures_only_it(attachments, name):
    report = vellumtrace.parse(attachments / name)
    (event,) = report["events"]
    assert event["source"]["relative_path"] == f"attachments/{name}"


def test_attachments_directory_input(attachments):
    report = vellumtrace.parse(attachments)
    assert [e["source"]["relative_path"] for e in report["events"]] == [
        "attachments/a1/img.png", "attachments/notes.txt"]


def test_empty_attachments_directory(tmp_path):
    folder = tmp_path / ".codex" / "attachments"
    folder.mkdir(parents=True)
    assert vellumtrace.parse(folder) == {"events": [], "diagnostics": []}


def test_every_name_is_taken(tmp_path):
    folder = tmp_path / ".codex" / "attachments" / "deep" / "er"
    folder.mkdir(parents=True)
    for name in [".hidden", "no_extension", "x.jsonl"]:
        (folder / name).write_text(name)
    report = vellumtrace.parse(tmp_path / ".codex")
    assert [(e["source"]["relative_path"].rsplit("/", 1)[1], e["artifact"]["media_type"], e["source"]["source_id"])
            for e in report["events"]] == [(".hidden", None, "er"), ("no_extension", None, "er"),
                                           ("x.jsonl", None, "er")]


def add_broken_links(folder):
    (folder / "dangling.png").symlink_to(folder / "missing.png")
    (folder / "self").symlink_to("self")
    (folder / "a1" / "up").symlink_to(folder, target_is_directory=True)


def test_broken_links_ignored_without_follow(attachments):
    add_broken_links(attachments)
    report = vellumtrace.parse(attachments.parent)
    assert report["diagnostics"] == []
    assert len(report["events"]) == 2


def test_broken_links_are_warnings_when_followed(attachments):
    add_broken_links(attachments)
    for mode in ("best_effort", "strict"):
        report = vellumtrace.parse(attachments.parent, follow_symlinks=True, mode=mode)
        assert [(d["code"], d["severity"], d["source"]["relative_path"], d["source"]["line_number"])
                for d in report["diagnostics"]] == [
            ("unreadable_artifact", "warning", "attachments/a1/up", None),
            ("unreadable_artifact", "warning", "attachments/dangling.png", None),
            ("unreadable_artifact", "warning", "attachments/self", None),
        ]
        assert all(d["message"].startswith("Cannot traverse attachment artifact: ") for d in report["diagnostics"])
        assert all(d["source"]["artifact_kind"] == "attachment" for d in report["diagnostics"])
        assert len(report["events"]) == 2


def test_followed_link_to_a_file_is_captured_under_its_link_name(attachments, tmp_path):
    outside = tmp_path / "outside.txt"
    outside.write_text("linked")
    (attachments / "link.txt").symlink_to(outside)
    plain = vellumtrace.parse(attachments.parent)
    followed = vellumtrace.parse(attachments.parent, follow_symlinks=True)
    assert len(plain["events"]) == 2
    linked = [e for e in followed["events"] if e["source"]["relative_path"] == "attachments/link.txt"]
    assert linked[0]["artifact"]["sha256"] == hashlib.sha256(b"linked").hexdigest()


def test_fifo_under_attachments_is_skipped(attachments):
    os.mkfifo(attachments / "a1" / "pipe.png")
    code = (f"import vellumtrace; r = vellumtrace.parse({str(attachments.parent)!r}); "
            "print(len(r['events']), len(r['diagnostics']))")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, env=env)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["2", "0"]
