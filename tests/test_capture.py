"""Whole-file capture seen through Codex attachments: size, digest, media
type, inline content as text or Base64 under the size bound, file times."""

import base64
import hashlib
import os

import pytest

import vellumtrace

PNG = b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x01"


def attachments_dir(tmp_path):
    folder = tmp_path / ".codex" / "attachments" / "owner"
    folder.mkdir(parents=True)
    return folder


def artifact_of(report):
    [event] = report["events"]
    return event["artifact"]


@pytest.mark.parametrize(
    "name, data, max_size, content, encoding",
    [
        pytest.param("empty.txt", b"", 4, "", "utf8", id="empty"),
        pytest.param("four.txt", b"abcd", 4, "abcd", "utf8", id="at_bound"),
        pytest.param("five.txt", b"abcde", 4, None, None, id="over_bound"),
        pytest.param("big.log", b"z" * 300_000, 0, "z" * 300_000, "utf8", id="no_bound"),
        pytest.param("pic.png", PNG, 0, base64.b64encode(PNG).decode(), "base64", id="png"),
        pytest.param("mixed.txt", "caf\u00e9 \u2603".encode() + b"\xff", 0,
                     base64.b64encode("caf\u00e9 \u2603".encode() + b"\xff").decode(), "base64", id="one_bad_byte"),
        pytest.param("text.md", "\u00e9t\u00e9 \U0001F600\n".encode() * 10_000, 0,
                     "\u00e9t\u00e9 \U0001F600\n" * 10_000, "utf8", id="multibyte_text"),
    ],
)
def test_content_is_inlined_under_the_bound(tmp_path, name, data, max_size, content, encoding):
    path = attachments_dir(tmp_path) / name
    path.write_bytes(data)
    report = vellumtrace.parse(path, include_content=True, max_content_size=max_size)
    assert report["diagnostics"] == []
    artifact = artifact_of(report)
    assert (artifact["content"], artifact["content_encoding"]) == (content, encoding)
    assert artifact["size"] == len(data)
    assert artifact["sha256"] == hashlib.sha256(data).hexdigest()
    without = artifact_of(vellumtrace.parse(path, max_content_size=max_size))
    assert (without["content"], without["content_encoding"]) == (None, None)
    assert without["sha256"] == artifact["sha256"]


@pytest.mark.parametrize(
    "name, media_type",
    [
        ("shot.png", "image/png"), ("photo.JPG", "image/jpeg"), ("a.jpeg", "image/jpeg"), ("anim.gif", "image/gif"),
        ("a.webp", "image/webp"), ("logo.svg", "image/svg+xml"), ("old.bmp", "image/bmp"),
        ("NOTES.TXT", "text/plain"), ("run.log", "text/plain"), ("tool.py", "text/plain"),
        ("README.md", "text/markdown"), ("data.json", "application/json"), ("doc.pdf", "application/pdf"),
        ("page.html", "text/html"), ("table.csv", "text/csv"), ("main.ts", "video/vnd.dlna.mpeg-tts"),
        ("archive.tar.gz", "application/gzip"), ("events.jsonl", None), (".env", None), ("Makefile", None),
        ("dot.", None), ("weird.unknownext", None),
    ],
)
def test_media_type_by_extension(tmp_path, name, media_type):
    path = attachments_dir(tmp_path) / name
    path.write_bytes(b"x")
    assert artifact_of(vellumtrace.parse(path))["media_type"] == media_type


def test_file_times_keep_nanoseconds_and_drop_times_before_1970(tmp_path):
    folder = attachments_dir(tmp_path)
    recent, old = folder / "recent.txt", folder / "old.txt"
    recent.write_bytes(b"r")
    old.write_bytes(b"o")
    os.utime(recent, ns=(1_700_000_000_000_000_005, 1_700_000_001_123_456_789))
    os.utime(old, ns=(1_600_000_000_000_000_000, -86_400_000_000_000 + 250_000_000))
    events = {e["source"]["relative_path"].rsplit("/", 1)[-1]: e for e in vellumtrace.parse(folder.parent)["events"]}

    times = events["recent.txt"]["fs_times"]
    assert times["modified"] == "2023-11-14T22:13:21.123456789Z"
    assert times["accessed"] == "2023-11-14T22:13:20.000000005Z"
    if times["created"] is not None:  # not every file system keeps it
        assert times["created"] > "2023-11-14"

    old_times = events["old.txt"]["fs_times"]
    assert old_times["modified"] is None
    assert old_times["accessed"] == "2020-09-13T12:26:40Z"


def test_only_regular_files_are_captured(tmp_path):
    folder = attachments_dir(tmp_path)
    (folder / "real.txt").write_bytes(b"real")
    os.mkfifo(folder / "pipe.txt")  # must neither block the run nor be read
    (folder / "link.txt").symlink_to(folder / "real.txt")
    report = vellumtrace.parse(folder.parent, follow_symlinks=True, include_content=True)
    captured = {e["source"]["relative_path"].rsplit("/", 1)[-1]: e["artifact"]["content"] for e in report["events"]}
    assert captured == {"real.txt": "real", "link.txt": "real"}
