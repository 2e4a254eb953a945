"""Claude Code paste and image caches: one `orphan_cache` event per cached file,
and the join of history attachments with the files they name."""

import base64
import hashlib
import json
import os

import pytest

import vellumtrace

MTIME = 1700000000  # 2023-11-14T22:13:20Z
PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452") + b"\x00\xff\x10"


def put(folder, files):
    for rel, data in files.items():
        path = folder / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        os.utime(path, (MTIME, MTIME))


def event_id(kind, rel, key):
    data = b"\0".join([b"ClaudeCode", kind.encode(), rel.encode(), key.encode()]) + b"\0"
    return hashlib.sha256(hashlib.sha256(data).digest()).hexdigest()


@pytest.mark.parametrize("cache, kind, variant", [
    ("paste-cache", "paste_cache", "PasteCache"),
    ("image-cache", "image_cache", "ImageCache"),
])
def test_cache_listing(tmp_path, cache, kind, variant):
    folder = tmp_path / ".claude" / cache
    put(folder, {"b/abc.png": PNG, "a.b.txt": b"text", ".hidden": b"", "noext": b"n", "x.": b"x",
                 "b-c.md": b"# m", "sub/deep/Z.TXT": b"zz"})
    report = vellumtrace.parse(folder)
    assert report["diagnostics"] == []
    rows = [(e["source"]["relative_path"], e["source"]["source_id"], e["artifact"]["media_type"])
            for e in report["events"]]
    # One modification time: the timeline orders by relative path, byte-wise.
    assert rows == [(f"{cache}/.hidden", ".hidden", None), (f"{cache}/a.b.txt", "a.b", "text/plain"),
                    (f"{cache}/b-c.md", "b-c", "text/markdown"), (f"{cache}/b/abc.png", "abc", "image/png"),
                    (f"{cache}/noext", "noext", None), (f"{cache}/sub/deep/Z.TXT", "Z", "text/plain"),
                    (f"{cache}/x.", "x", None)]
    for event in report["events"]:
        rel = event["source"]["relative_path"]
        assert event["event_id"] == event_id(variant, rel, "cache:" + event["source"]["source_id"])
        assert (event["event_type"], event["source"]["artifact_kind"], event["source"]["record_type"]) == (
            "orphan_cache", kind, None)
        assert (event["timestamp"], event["timestamp_source"]) == ("2023-11-14T22:13:20Z", "filesystem_modified")
        data = (folder / rel.split("/", 1)[1]).read_bytes()
        art = event["artifact"]
        assert (art["size"], art["sha256"], art["reference_status"], art["content"]) == (
            len(data), hashlib.sha256(data).hexdigest(), None, None)
    # A single file of the cache is read the same way, against the same base.
    (alone,) = vellumtrace.parse(folder / "a.b.txt")["events"]
    # (Reading moved the access time.)
    assert alone | {"fs_times": None} == report["events"][1] | {"sequence": 0, "fs_times": None}


@pytest.mark.parametrize("limit, inlined", [(0, {"big.txt", "img.png", "small.txt"}),
                                            (4, {"small.txt"}),
                                            (19, {"img.png", "small.txt"})])
def test_cache_content_on_request(tmp_path, limit, inlined):
    folder = tmp_path / ".claude" / "image-cache"
    put(folder, {"small.txt": b"abcd", "img.png": PNG, "big.txt": b"x" * 100})
    events = vellumtrace.parse(folder, include_content=True, max_content_size=limit)["events"]
    got = {e["source"]["relative_path"].split("/")[-1]: e["artifact"] for e in events}
    assert {name for name, art in got.items() if art["content"] is not None} == inlined
    if "img.png" in inlined:
        assert (base64.b64decode(got["img.png"]["content"]), got["img.png"]["content_encoding"]) == (PNG, "base64")
    assert (got["small.txt"]["content"], got["small.txt"]["content_encoding"]) == ("abcd", "utf8")
