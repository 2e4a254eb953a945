"""The JSON-lines reader seen through Codex prompt-history files: line
splitting and numbering, trimming, size limits, UTF-8 and JSON failures,
strict-mode endings, the file digest and bounded memory."""

import hashlib
import json
import os
import resource
import subprocess
import sys

import pytest

import vellumtrace


def history_file(tmp_path, data: bytes):
    root = tmp_path / ".codex"
    root.mkdir()
    path = root / "history.jsonl"
    path.write_bytes(data)
    return path


def parse_bytes(tmp_path, data: bytes, **kwargs):
    return vellumtrace.parse(history_file(tmp_path, data), **kwargs)


def diag_view(report):
    return [(d["code"], d["severity"], d["source"]["line_number"], d["message"]) for d in report["diagnostics"]]


def event_view(report):
    return [(e["source"]["line_number"], e["message"]) for e in report["events"]]


OK_A = b'{"text":"a"}'
OK_B = b'{"text":"b"}'


@pytest.mark.parametrize(
    "data, events",
    [
        pytest.param(b"", [], id="empty_file"),
        pytest.param(OK_A + b"\n\n \t \n" + OK_B + b"\n", [(1, "a"), (4, "b")], id="blank_lines_numbered"),
        pytest.param(OK_A + b"\r\n" + OK_B + b"\r\n", [(1, "a"), (2, "b")], id="crlf"),
        pytest.param(OK_A + b"\n" + OK_B, [(1, "a"), (2, "b")], id="truncated_last_line"),
        pytest.param(b"\n\n\n" + OK_A, [(4, "a")], id="leading_feeds"),
        pytest.param("\u3000\u00a0{\"text\":\"a\"}\u2028\u205f\r\r\n".encode(), [(1, "a")], id="unicode_blanks"),
        pytest.param(b"\xef\xbb\xbf" + OK_A + b"\n", [(1, "a")], id="byte_order_mark"),
        pytest.param(b'{"text":"a","text":"z"}\n', [(1, "z")], id="last_key_wins"),
        pytest.param('{"text":"caf\u00e9 \u2603 \U0001F600"}\n'.encode(), [(1, "caf\u00e9 \u2603 \U0001F600")], id="multibyte_text"),
        pytest.param(b'{"text":"' + b"x" * 20000 + b'"}\n', [(1, "x" * 20000)], id="line_over_buffer"),
    ],
)
def test_lines_reach_the_record_handler(tmp_path, data, events):
    report = parse_bytes(tmp_path, data)
    assert event_view(report) == events
    assert report["diagnostics"] == []
    digest = hashlib.sha256(data).hexdigest()
    assert all(e["source_file_sha256"] == digest for e in report["events"])


INVALID = ("invalid_json", "error")
NOT_OBJECT = ("unknown_record", "warning", "Top-level JSON value is not an object.")


@pytest.mark.parametrize(
    "bad, code, severity, message_start, message_end",
    [
        pytest.param(b"b", *INVALID, "Invalid JSON: ", " at line 1 column 1", id="bare_letter"),
        pytest.param(b"hello, world", *INVALID, "Invalid JSON: ", " at line 1 column 1", id="prose"),
        pytest.param(b"{} {}", *INVALID, "Invalid JSON: ", " at line 1 column 4", id="two_objects"),
        pytest.param(OK_A + b"\r" + OK_B, *INVALID, "Invalid JSON: ", " at line 1 column 14", id="cr_inside"),
        pytest.param(b'{"text":', *INVALID, "Invalid JSON: ", " at line 1 column 8", id="cut_short"),
        pytest.param(b'{"text":"a\x00b"}', *INVALID, "Invalid JSON: ", " at line 1 column 11", id="nul_in_string"),
        pytest.param(b"\x00\x00\x00", *INVALID, "Invalid JSON: ", " at line 1 column 1", id="nul_bytes"),
        pytest.param(b'{"a":1}\x00{"b":2}', *INVALID, "Invalid JSON: ", " at line 1 column 8", id="nul_after_object"),
        pytest.param(b"4\x00", *INVALID, "Invalid JSON: ", " at line 1 column 2", id="nul_after_number"),
        pytest.param(b'{"a":\x00}', *INVALID, "Invalid JSON: ", " at line 1 column 6", id="nul_for_value"),
        pytest.param(b'{"ts":1e400}', *INVALID, "Invalid JSON: number overflow", " at line 1 column 11", id="number_overflow"),
        pytest.param(b"[" * 129 + b"]" * 129, *INVALID, "Invalid JSON: ", " at line 1 column 129", id="nesting_129"),
        pytest.param(b"[" * 1_000_000, *INVALID, "Invalid JSON: ", " at line 1 column 129", id="million_brackets"),
        pytest.param(b"[1, 2]", *NOT_OBJECT, ".", id="array"),
        pytest.param(b"-7.5", *NOT_OBJECT, ".", id="number"),
        pytest.param(b'"text"', *NOT_OBJECT, ".", id="string"),
        pytest.param(b'{"text":"x\xe9y"}', "unreadable_artifact", "error",
                     "Failed to read line: invalid utf-8 sequence of 1 bytes from index 10", "10", id="bad_utf8"),
        pytest.param(b'{"text":"\xe2\x82', "unreadable_artifact", "error",
                     "Failed to read line: incomplete utf-8 byte sequence from index 9", "9", id="cut_utf8"),
    ],
)
def test_bad_lines_give_one_diagnostic_and_reading_goes_on(tmp_path, bad, code, severity, message_start, message_end):
    report = parse_bytes(tmp_path, OK_A + b"\n" + bad + b"\n" + OK_B + b"\n", max_line_size=0)
    assert event_view(report) == [(1, "a"), (3, "b")]
    [diag] = report["diagnostics"]
    assert (diag["code"], diag["severity"], diag["source"]["line_number"]) == (code, severity, 2)
    assert diag["message"].startswith(message_start) and diag["message"].endswith(message_end), diag["message"]
    assert "0001" not in diag["message"]  # a NUL is named as itself
    assert diag["source"]["relative_path"] == "history.jsonl"
    assert diag["source"]["artifact_kind"] == "history"


def test_nesting_up_to_the_limit_is_kept_whole(tmp_path):
    deep = {"text": "deep", "payload": json.loads("[" * 127 + "]" * 127)}
    report = parse_bytes(tmp_path, json.dumps(deep).encode() + b"\n", include_raw=True)
    assert report["diagnostics"] == []
    assert report["events"][0]["raw"] == deep


@pytest.mark.parametrize(
    "line, limit, over",
    [
        pytest.param(b'{"ts":123}', 10, False, id="exactly_the_limit"),
        pytest.param(b'{"ts":1234}', 10, True, id="one_byte_over"),
        pytest.param(b'{"text":"' + b"y" * 999_980 + b'"}', 10, True, id="million_bytes"),
        pytest.param(b'{"text":"\xff\xfe"}', 10, True, id="over_and_bad_utf8"),
        pytest.param(b"   " + b'{"ts":1}' + b"   ", 10, True, id="blanks_count"),
        pytest.param(b'{"text":"' + b"y" * 1_000_000 + b'"}', 0, False, id="no_limit"),
    ],
)
def test_line_size_limit(tmp_path, line, limit, over):
    data = line + b"\n" + b'{"ts":9}' + b"\n"
    report = parse_bytes(tmp_path, data, max_line_size=limit)
    if over:
        assert [e["source"]["line_number"] for e in report["events"]] == [2]
        assert diag_view(report) == [
            ("invalid_json", "warning", 1, f"Line size {len(line)} exceeds max_line_size {limit}, skipping.")]
    else:
        assert sorted(e["source"]["line_number"] for e in report["events"]) == [1, 2]
        assert report["diagnostics"] == []
    # Skipped lines are still part of the file's digest.
    assert report["events"][-1]["source_file_sha256"] == hashlib.sha256(data).hexdigest()
    # Over-long lines stop nothing, not even a strict run.
    assert vellumtrace.parse(tmp_path / ".codex" / "history.jsonl", mode="strict", max_line_size=limit)["events"]


@pytest.mark.parametrize(
    "bad, error, text_start, text_end",
    [
        pytest.param(b"{]", ValueError, "JSON parse error at history.jsonl line 3: ", " at line 1 column 2", id="invalid_json"),
        pytest.param(b"[" * 500_000, ValueError, "JSON parse error at history.jsonl line 3: ", " at line 1 column 129",
                     id="too_deep"),
        pytest.param(OK_A + b"\x00" + OK_B, ValueError, "JSON parse error at history.jsonl line 3: ",
                     " at line 1 column 13", id="nul_after_object"),
        pytest.param(b"\xc3(", OSError, "I/O error at ", ": invalid utf-8 sequence of 1 bytes from index 0", id="bad_utf8"),
    ],
)
def test_strict_mode_ends_at_error_lines(tmp_path, bad, error, text_start, text_end):
    path = history_file(tmp_path, OK_A + b"\n\n" + bad + b"\n" + OK_B + b"\n")
    with pytest.raises(error) as caught:
        vellumtrace.parse(path, mode="strict")
    text = str(caught.value)
    assert text.startswith(text_start) and text.endswith(text_end), text
    if error is OSError:
        assert str(path) in text
    assert len(vellumtrace.parse(path)["events"]) == 2


LIVE = ("unterminated_line", "warning")


@pytest.mark.parametrize(
    "rel, first, last, documented, full",
    [
        # Cut JSON without its line feed: an agent writing, or a copy cut short.
        pytest.param(".codex/history.jsonl", OK_A, b'{"text":"b', INVALID, LIVE, id="cut_json"),
        pytest.param(".codex/history.jsonl", OK_A, b'{"text":"caf\xc3', ("unreadable_artifact", "error"), LIVE,
                     id="cut_inside_a_character"),
        pytest.param(".claude/projects/-w/s.jsonl",
                     b'{"type":"user","sessionId":"s","uuid":"u1","timestamp":"2025-06-01T10:00:00Z",'
                     b'"message":{"role":"user","content":"hi"}}',
                     b'{"type":"assistant","sessionId":"s","uuid":"u2","message":{"id":"msg_1","content":[{"type":"te',
                     INVALID, LIVE, id="transcript_cut_mid_record"),
        # With its line feed, a bad line is damage, whatever the reading.
        pytest.param(".codex/history.jsonl", OK_A, b'{"text":"b\n', INVALID, INVALID, id="terminated_cut_json"),
        # Unterminated but whole: read as any line.
        pytest.param(".codex/history.jsonl", OK_A, OK_B, None, None, id="whole_last_line"),
        pytest.param(".codex/history.jsonl", OK_A, b"[1]", NOT_OBJECT[:2], NOT_OBJECT[:2], id="whole_non_object"),
    ],
)
def test_an_unterminated_last_line_is_told_apart_in_the_full_reading(tmp_path, cli_path, rel, first, last,
                                                                     documented, full):
    path = tmp_path / rel
    path.parent.mkdir(parents=True)
    path.write_bytes(first + b"\n" + last)

    def codes(diagnostics):
        found = [(d["code"], d["severity"]) for d in diagnostics if d["source"]["line_number"] == 2]
        assert len(found) == len(diagnostics) == (0 if found == [] else 1), diagnostics
        return found[0] if found else None

    if documented is not None and documented[1] == "error":
        with pytest.raises((ValueError, OSError)):
            vellumtrace.parse(path, mode="strict")
    assert codes(vellumtrace.parse(path)["diagnostics"]) == documented
    for strict in ([], ["--strict"]):
        result = subprocess.run([cli_path, path, "-f", "json", "-q", *strict], capture_output=True)
        if strict and full is not None and full[1] == "error":
            assert result.returncode == 1
            continue
        assert result.returncode == 0, result.stderr
        report = json.loads(result.stdout)
        assert codes(report["diagnostics"]) == full
        assert len(report["events"]) >= 1  # the lines before stay
        if full == LIVE:
            assert report["diagnostics"][0]["message"] == (
                f"Unterminated last line ({len(last)} bytes) does not parse: the file may still be written, or was cut.")


def test_a_history_linked_into_proc_is_never_read(tmp_path):
    # Reading a process's own memory would fail on every attempt, and other
    # proc files hand out what the machine holds: it is not even opened. (The
    # reader's giving up after repeated failures is a unit test of its own.)
    root = tmp_path / ".codex"
    root.mkdir()
    (root / "history.jsonl").symlink_to("/proc/self/mem")
    with pytest.raises(OSError, match="^I/O error at .*history.jsonl: On a proc file system: not read$"):
        vellumtrace.parse(root)


PEAK_SCRIPT = """
import resource, sys, vellumtrace
report = vellumtrace.parse(sys.argv[1])
print(len(report["events"]), report["diagnostics"][0]["message"] if report["diagnostics"] else "")
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def peak_of_parse(path):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", PEAK_SCRIPT, str(path)], capture_output=True, text=True,
                          env=env, timeout=600, check=True)
    first, peak = done.stdout.strip().splitlines()
    return first, int(peak)


def test_huge_line_is_never_held_whole(tmp_path):
    size = 256 << 20
    small_root, huge_root = tmp_path / "small" / ".codex", tmp_path / "huge" / ".codex"
    small_root.mkdir(parents=True)
    huge_root.mkdir(parents=True)
    (small_root / "history.jsonl").write_bytes(OK_A + b"\n")
    huge = huge_root / "history.jsonl"
    chunk = b"h" * (1 << 20)
    with open(huge, "wb") as out:
        out.write(b'{"text":"')
        written = 9
        while written < size:
            piece = chunk[: size - written]
            out.write(piece)
            written += len(piece)
        out.write(b"\n" + OK_B + b"\n")

    _, baseline_kib = peak_of_parse(small_root / "history.jsonl")
    first, huge_kib = peak_of_parse(huge)
    assert first == f"1 Line size {size} exceeds max_line_size 10485760, skipping."
    # Holding the line would cost 256 MiB; the limit allows about 10 MiB.
    assert huge_kib - baseline_kib < 96 * 1024, (baseline_kib, huge_kib)


def test_real_files_hash_and_number_like_their_bytes(corpus_dir):
    roots = sorted(corpus_dir.glob("*/.codex"))
    if not roots:
        pytest.skip("no Codex roots in the corpus")
    checked = 0
    for root in roots:
        facts = {}
        for event in vellumtrace.parse(root)["events"]:
            if event["source_file_sha256"] is None:
                continue
            path = root / event["source"]["relative_path"]
            if path not in facts:
                data = path.read_bytes()
                facts[path] = (hashlib.sha256(data).hexdigest(), data.count(b"\n") + 1)
            digest, lines = facts[path]
            assert event["source_file_sha256"] == digest, path
            assert 1 <= event["source"]["line_number"] <= lines, path
            checked += 1
    assert checked > 0
