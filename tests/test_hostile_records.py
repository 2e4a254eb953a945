"""Hostile records and hostile callers: one transcript line of thousands of
content blocks stays linear in memory whatever is rendered, every non-blank
line of a transcript gives an event or a diagnostic, and a Timeline type
whose diagnostics type was replaced refuses to run instead of crashing."""

import json
import re
import os
import subprocess
import sys

import pytest

import vellumtrace

SESSION = "6f1e0c2a-1111-4222-8333-944455556666"
TS = "2025-06-01T10:00:00.000Z"

LIMIT_KB = 100 * 1024

# Runs the program given as arguments and prints its exit status and peak
# resident size (kB): the only child of this wrapper, so no other run sets
# the figure. A child past the limit is stopped at once rather than left to
# take the machine's memory.
PEAK_OF_CHILD = """
import resource, subprocess, sys, time
limit = int(sys.argv[1])
child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while child.poll() is None:
    try:
        with open(f"/proc/{child.pid}/status") as status:
            peak = next((int(l.split()[1]) for l in status if l.startswith("VmHWM:")), 0)
    except OSError:
        peak = 0
    if peak > limit:
        child.kill()
    time.sleep(0.02)
print(child.wait(), resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
"""


def write_transcript(tmp_path, lines):
    folder = tmp_path / ".claude" / "projects" / "-w"
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / f"{SESSION}.jsonl"
    path.write_text("".join((line if isinstance(line, str) else json.dumps(line)) + "\n" for line in lines))
    return path


def record(kind, **fields):
    return {"type": kind, "sessionId": SESSION, "cwd": "/w", "uuid": f"u-{kind}", "timestamp": TS, **fields}


PARSE_RAW = "import sys, vellumtrace; r = vellumtrace.parse(sys.argv[1], include_raw=True); print(len(r['events']))"


def peak_of(args, limit_kb):
    """The exit status and peak resident size (kB) of `args`, stopped once past `limit_kb`."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", PEAK_OF_CHILD, str(limit_kb), *args], capture_output=True,
                          text=True, timeout=300, check=True, env=env)
    code, peak_kb = map(int, done.stdout.split())
    return code, peak_kb


@pytest.mark.parametrize("options", [["--format", "jsonl", "--include-raw"], ["--format", "html", "-o", "{out}"],
                                     ["parse"]], ids=["jsonl-raw", "html", "parse-raw"])
def test_a_line_of_many_blocks_stays_linear_in_memory(tmp_path, cli_path, options):
    # 8,000 blocks in one 200 KB line: each block is an event, each event
    # keeps the line's raw record; a copy per event would take gigabytes.
    # Measured against the same run over a line of 10 blocks (a sanitizer's
    # runtime, or the interpreter, has a size of its own).
    peaks = []
    for count in (10, 8000):
        base = tmp_path / str(count)
        line = record("assistant", message={"id": "m1", "role": "assistant",
                                            "content": [{"type": "text", "text": "x"}] * count})
        path = write_transcript(base, [line])
        if options == ["parse"]:
            # The events of the line share one raw object, as they share one record.
            args = [sys.executable, "-c", PARSE_RAW, str(base / ".claude" / "projects")]
        else:
            args = [cli_path, str(base / ".claude")] + [o.format(out=base / "report") for o in options]
        code, peak_kb = peak_of(args, (peaks[0] if peaks else 0) + LIMIT_KB)
        assert code == 0 or peaks, code
        peaks.append(peak_kb)
    assert path.stat().st_size > 200_000
    assert peaks[1] - peaks[0] < LIMIT_KB, f"peaks {peaks} kB"
    assert code == 0


def assistant(content, msg_id="msg_1", usage=None):
    message = {"id": msg_id, "model": "claude-x", "role": "assistant"}
    if content is not MISSING:
        message["content"] = content
    if usage is not None:
        message["usage"] = usage
    return record("assistant", message=message)


def user(content):
    message = {"role": "user"}
    if content is not MISSING:
        message["content"] = content
    return record("user", message=message)


MISSING = object()
TEXT = [{"type": "text", "text": "a"}]
USAGE_1, USAGE_5 = {"input_tokens": 2, "output_tokens": 1}, {"input_tokens": 2, "output_tokens": 5}
LACKS = "Claude Code {} record {}"

# (lines, the events as (line, event type, record type, message, warning)).
# A record without usable content is one `unknown` event saying what it
# lacked; a usage-only chunk of a message already seen is a chunk event.
VANISHING = {
    "assistant without content": (
        [assistant(MISSING)], [(1, "unknown", "assistant", None, LACKS.format("assistant", "without content"))]),
    "assistant with an empty list": (
        [assistant([])], [(1, "unknown", "assistant", None, LACKS.format("assistant", "with an empty content list"))]),
    "assistant content a number": (
        [assistant(7)],
        [(1, "unknown", "assistant", None, LACKS.format("assistant", "whose content is a number, not text or blocks"))]),
    "assistant content an object, with usage": (
        [assistant({"type": "text"}, usage=USAGE_1)],
        [(1, "unknown", "assistant", None, LACKS.format("assistant", "whose content is an object, not text or blocks")),
         (1, "token_usage", "assistant/usage", "claude-x: input 2, output 1", None)]),
    "usage-only chunk of a new message": (
        [assistant([], usage=USAGE_1)], [(1, "token_usage", "assistant/usage", "claude-x: input 2, output 1", None)]),
    "usage-only chunks of a message seen": (
        [assistant(TEXT, usage=USAGE_1), assistant([], usage=USAGE_5), assistant(MISSING, usage=USAGE_5)],
        [(1, "agent_message", "assistant/text", "a", None),
         (1, "token_usage", "assistant/usage", "claude-x: input 2, output 5", None),
         (2, "token_usage", "assistant/usage_chunk", "claude-x: input 2, output 5", None),
         (3, "token_usage", "assistant/usage_chunk", "claude-x: input 2, output 5", None)]),
    "a chunk with blocks gives no chunk event": (
        [assistant(TEXT, usage=USAGE_1), assistant(TEXT, usage=USAGE_5)],
        [(1, "agent_message", "assistant/text", "a", None),
         (1, "token_usage", "assistant/usage", "claude-x: input 2, output 5", None),
         (2, "agent_message", "assistant/text", "a", None)]),
    "user with an empty list": (
        [user([])], [(1, "unknown", "user", None, LACKS.format("user", "with an empty content list"))]),
    "user without content": ([user(MISSING)], [(1, "unknown", "user", None, LACKS.format("user", "without content"))]),
    "user content null": (
        [user(None)], [(1, "unknown", "user", None, LACKS.format("user", "whose content is null, not text or blocks"))]),
}


@pytest.mark.parametrize("lines, expected", VANISHING.values(), ids=VANISHING.keys())
def test_every_transcript_line_gives_an_event(tmp_path, lines, expected):
    report = vellumtrace.parse(write_transcript(tmp_path, lines))
    got = [(e["source"]["line_number"], e["event_type"], e["source"]["record_type"], e["message"],
            e["warnings"][0] if e["warnings"] else None) for e in report["events"]]
    assert got == expected
    assert report["diagnostics"] == []
    ids = [e["event_id"] for e in report["events"]]
    assert len(set(ids)) == len(ids)
    chunks = [e for e in report["events"] if e["source"]["record_type"] == "assistant/usage_chunk"]
    assert all(e["source"]["source_id"] == "msg_1" for e in chunks)


SPOILED_TYPE = """
import sys, vellumtrace
real = vellumtrace.Timeline._diagnostics_type
for value in (5, None, int, object(), vellumtrace.Timeline, type("Fake", (), {})):
    vellumtrace.Timeline._diagnostics_type = value
    try:
        vellumtrace.Timeline()
        print("made")
    except TypeError as error:
        print(error)
vellumtrace.Timeline._diagnostics_type = real
print(len(vellumtrace.Timeline(sys.argv[1]).diagnostics) >= 0)
"""


def test_a_spoiled_diagnostics_type_is_refused_not_used(tmp_path):
    path = write_transcript(tmp_path, [record("user", message={"role": "user", "content": "hi"})])
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", SPOILED_TYPE, str(path)], capture_output=True, text=True,
                          timeout=60, env=env)
    assert done.returncode == 0, done.stderr[-2000:]
    refused = "Timeline._diagnostics_type is not the vellumtrace.Diagnostics type"
    assert done.stdout.splitlines() == [refused] * 6 + ["True"]


# Text that shows in another order than it reads, and the C1 controls.
HIDDEN = {"\u202e": "\\u202e", "\u2066": "\\u2066", "\u2069": "\\u2069", "\u200f": "\\u200f",
          "\u061c": "\\u061c", "\u0085": "\\u0085"}
HIDDEN_RE = "[\u0080-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]"


@pytest.mark.parametrize("output", ["summary", "html", "markdown"])
def test_bidirectional_controls_reach_people_as_escapes(tmp_path, cli_path, output):
    hidden = "".join(HIDDEN)
    prompt = record("user", message={"role": "user", "content": "run gpj." + hidden + "exe"},
                    sessionId="s" + hidden, cwd="/w" + hidden)
    write_transcript(tmp_path, [prompt])
    root = tmp_path / ".claude"
    if output == "summary":
        done = subprocess.run([cli_path, root, "--summary", "--wide"], capture_output=True, timeout=60)
        assert done.returncode == 0, done.stderr
        texts = [done.stdout.decode()]
    else:
        done = subprocess.run([cli_path, root, "--format", output, "-o", tmp_path / "out"], capture_output=True,
                              timeout=60)
        assert done.returncode == 0, done.stderr
        texts = [p.read_text() for p in (tmp_path / "out").rglob("*") if p.is_file()]
    shown = "".join(texts)
    if output == "markdown":
        shown = shown.replace("\\\\", "\\")  # Markdown escapes the escape's backslash
    assert "".join(HIDDEN.values()) in shown
    assert not re.search(HIDDEN_RE, shown)
