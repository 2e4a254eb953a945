"""Codex attachments: one attachment event per regular file under attachments."""

import base64
import hashlib
import os
import subprocess
import sys

import pytest

import vellumtrace

PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452") + b"\x00\xff\x10"


@pytest.fixture
def attachments(tmp_path):
    folder = tmp_path / ".codex" / "attachments"
    (folder / "a1").mkdir(parents=True)
    (folder / "a1" / "img.png").write_bytes(PNG)
    (folder / "notes.txt").write_text("hello notes\n")
    return folder


def test_tree_yields_one_event_per_file_in_path_order(attachments):
    for name in ("notes.txt", "a1/img.png"):
        os.utime(attachments / name, (1700000000, 1700000000))
    report = vellumtrace.parse(attachments.parent)
    assert report["diagnostics"] == []
    img, notes = report["events"]
    assert [(e["source"]["relative_path"], e["source"]["source_id"], e["artifact"]["media_type"])
            for e in (img, notes)] == [("attachments/a1/img.png", "a1", "image/png"),
                                       ("attachments/notes.txt", "attachments", "text/plain")]
    for event, data in ((img, PNG), (notes, b"hello notes\n")):
        rel = event["source"]["relative_path"]
        key = b"\0".join([b"Codex", b"Attachment", rel.encode(), b"codex_attachment:" + rel.encode()]) + b"\0"
        assert event["event_id"] == hashlib.sha256(hashlib.sha256(key).digest()).hexdigest()
        assert (event["event_type"], event["source"]["record_type"], event["source"]["line_number"]) == (
            "attachment", "attachment", None)
        assert (event["timestamp"], event["timestamp_source"]) == ("2023-11-14T22:13:20Z", "filesystem_modified")
        assert event["fs_times"]["modified"] == "2023-11-14T22:13:20Z"
        assert (event["artifact"]["size"], event["artifact"]["sha256"]) == (len(data), hashlib.sha256(data).hexdigest())
        assert event["artifact"]["content"] is None and event["source_file_sha256"] is None


def test_content_is_inlined_on_request(attachments):
    img, notes = vellumtrace.parse(attachments.parent, include_content=True)["events"]
    assert img["artifact"]["content_encoding"] == "base64"
    assert base64.b64decode(img["artifact"]["content"]) == PNG
    assert (notes["artifact"]["content"], notes["artifact"]["content_encoding"]) == ("hello notes\n", "utf8")
    # The bound admits notes.txt (12 bytes) exactly, not the larger image.
    small = vellumtrace.parse(attachments.parent, include_content=True, max_content_size=12)
    assert [e["artifact"]["content"] is None for e in small["events"]] == [True, False]


def test_modification_before_1970_gives_no_timestamp(attachments):
    os.utime(attachments / "notes.txt", (-86400, -86400))
    notes = vellumtrace.parse(attachments.parent)["events"][-1]
    assert (notes["timestamp"], notes["timestamp_source"], notes["fs_times"]["modified"]) == (None, "none", None)


def test_empty_directory_and_any_file_name(tmp_path):
    folder = tmp_path / ".codex" / "attachments"
    folder.mkdir(parents=True)
    assert vellumtrace.parse(folder) == {"events": [], "diagnostics": []}
    (folder / "deep" / "er").mkdir(parents=True)
    for name in [".hidden", "no_extension", "x.jsonl"]:
        (folder / "deep" / "er" / name).write_text(name)
    report = vellumtrace.parse(folder)
    assert [(e["source"]["relative_path"], e["artifact"]["media_type"], e["source"]["source_id"])
            for e in report["events"]] == [(f"attachments/deep/er/{n}", None, "er")
                                           for n in [".hidden", "no_extension", "x.jsonl"]]


def test_links_under_attachments(attachments, tmp_path):
    (tmp_path / "outside.txt").write_text("linked")
    (attachments / "link.txt").symlink_to(tmp_path / "outside.txt")
    (attachments / "dangling.png").symlink_to(attachments / "missing.png")
    (attachments / "self").symlink_to("self")
    (attachments / "a1" / "up").symlink_to(attachments, target_is_directory=True)

    plain = vellumtrace.parse(attachments.parent)
    assert plain["diagnostics"] == []
    assert len(plain["events"]) == 2

    for mode in ("best_effort", "strict"):  # warnings: strict mode goes on
        report = vellumtrace.parse(attachments.parent, follow_symlinks=True, mode=mode)
        assert [(d["code"], d["severity"], d["source"]["relative_path"], d["source"]["artifact_kind"])
                for d in report["diagnostics"]] == [
            ("unreadable_artifact", "warning", "attachments/a1/up", "attachment"),
            ("unreadable_artifact", "warning", "attachments/dangling.png", "attachment"),
            ("unreadable_artifact", "warning", "attachments/self", "attachment")]
        assert all(d["message"].startswith("Cannot traverse attachment artifact: ") for d in report["diagnostics"])
        linked = [e for e in report["events"] if e["source"]["relative_path"] == "attachments/link.txt"]
        assert linked[0]["artifact"]["sha256"] == hashlib.sha256(b"linked").hexdigest()
        assert len(report["events"]) == 3


def test_fifo_under_attachments_is_skipped(attachments):
    os.mkfifo(attachments / "a1" / "pipe.png")
    code = (f"import vellumtrace; r = vellumtrace.parse({str(attachments.parent)!r}); "
            "print(len(r['events']), len(r['diagnostics']))")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60, env=env)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["2", "0"]
