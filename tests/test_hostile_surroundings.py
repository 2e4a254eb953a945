"""Where a run meets the machine around it: destinations that are devices,
FIFOs, links or the standard streams, compressed files that expand without
end, root members linked into proc or sys, references that multiply,
signals while a result is built, the evidence's access times and the
terminal that shows what was read."""

import json
import os
import pty
import re
import select
import subprocess
import sys
import time

import pytest

import vellumtrace

ROOT_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT_DIR, "examples", "agents")
ROLLOUT = "sessions/2025/01/01/rollout-2025-01-01T00-00-00-0197aaaa-0000-7000-8000-000000000000.jsonl"
ENV = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))


def put(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    return path


def history(root, count, bad_every=0):
    """A Codex root whose history holds `count` prompts (and a line that is
    not JSON after every `bad_every`-th one)."""
    lines = []
    for i in range(count):
        lines.append(json.dumps({"session_id": "s", "ts": 1700000000 + i, "text": f"prompt {i}"}))
        if bad_every and i % bad_every == 0:
            lines.append("not json")
    put(root / "history.jsonl", ("\n".join(lines) + "\n").encode())
    return root


def zstd(data):
    return subprocess.run(["zstd", "-q", "-c"], input=data, stdout=subprocess.PIPE, check=True).stdout


INTERRUPTED_CONVERT = """
import os, signal, sys, threading, vellumtrace
# Started from a background job, SIGINT comes ignored: Ctrl-C's handler is set here.
signal.signal(signal.SIGINT, signal.default_int_handler)
threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
try:
    vellumtrace.convert(sys.argv[1], sys.argv[2], format="jsonl")
    print("returned")
except KeyboardInterrupt:
    print("interrupted")
"""


def stalled_fifo(path):
    """A FIFO with a reader that never reads: writes stop once it is full."""
    os.mkfifo(path)
    return os.open(path, os.O_RDONLY | os.O_NONBLOCK)


def stalled_terminal(path):
    """A link to a terminal nobody reads (a pseudo terminal's other side)."""
    main, side = pty.openpty()
    path.symlink_to(os.ttyname(side))
    os.close(side)
    return main


@pytest.mark.parametrize(
    "prepare",
    [
        pytest.param(lambda path: os.mkfifo(path), id="fifo_without_reader"),
        pytest.param(stalled_fifo, id="fifo_not_read"),
        pytest.param(lambda path: (stalled_fifo(path.with_name("fifo")), path.symlink_to("fifo"))[0],
                     id="link_to_fifo_not_read"),
        pytest.param(stalled_terminal, id="link_to_terminal_not_read"),
    ],
)
def test_an_interrupted_convert_leaves_a_destination_it_did_not_create(tmp_path, prepare):
    # The destination blocks the call (no reader yet, or no room): Ctrl-C
    # still ends it, and what the path named is still there afterwards.
    source = history(tmp_path / ".codex", 300)  # more than any pipe holds
    destination = tmp_path / "out"
    held = prepare(destination)
    before = os.lstat(destination)
    try:
        done = subprocess.run([sys.executable, "-c", INTERRUPTED_CONVERT, str(source), str(destination)],
                              capture_output=True, text=True, timeout=30, env=ENV)
    except subprocess.TimeoutExpired:
        pytest.fail("convert did not answer the signal")
    finally:
        if held is not None:
            os.close(held)
    assert (done.stdout, done.returncode) == ("interrupted\n", 0), done.stderr
    after = os.lstat(destination)
    assert (after.st_mode, after.st_ino) == (before.st_mode, before.st_ino)


@pytest.mark.parametrize("name", ["/dev/{stream}", "/dev/fd/{fd}", "/proc/self/fd/{fd}", "{file}"])
@pytest.mark.parametrize("option, stream", [("--diagnostics", "stdout"), ("--output", "stderr")])
def test_an_output_naming_a_standard_stream_goes_on_at_its_place(tmp_path, cli_path, option, stream, name):
    root = history(tmp_path / ".codex", 2000, bad_every=8)
    timeline = subprocess.run([cli_path, root, "-f", "jsonl", "--diagnostics", tmp_path / "d.jsonl"],
                              capture_output=True, timeout=60)
    listed = subprocess.run([cli_path, root, "-f", "jsonl", "-o", os.devnull], capture_output=True, timeout=60)
    # Both streams go to one file; the option names that file once more.
    shared = tmp_path / "shared"
    fd = 1 if stream == "stdout" else 2
    named = name.format(stream=stream, fd=fd, file=shared)
    with open(shared, "wb") as out:
        done = subprocess.run([cli_path, root, "-f", "jsonl", option, named], stdout=out, stderr=out, timeout=60)
    assert done.returncode == 0
    if option == "--diagnostics":
        expected = timeline.stdout + (tmp_path / "d.jsonl").read_bytes() + timeline.stderr
    else:
        expected = timeline.stdout + listed.stderr
    assert shared.read_bytes() == expected


@pytest.mark.parametrize(
    "content, line",
    [
        pytest.param(b"\n" * 30_000_000, b"", id="line_feeds"),
        pytest.param(b"{}\n" * 300_000, b"{}", id="records"),
    ],
)
def test_a_decompression_bomb_ends_its_file_at_the_limit(tmp_path, content, line):
    stored = zstd(content)
    path = put(tmp_path / ".codex" / f"{ROLLOUT}.zst", stored)
    limit = 100 * len(stored)
    assert limit < len(content)
    report = vellumtrace.parse(tmp_path / ".codex")
    whole = limit // (len(line) + 1)  # the lines wholly within the limit
    assert len(report["events"]) == (whole if line else 0)
    name = path.name
    assert [(d["source"]["line_number"], d["message"]) for d in report["diagnostics"]] == [
        (whole + 1, f"Failed to read line: cannot decompress {name}: the content exceeds the limit of "
                    f"{limit} bytes (100 times the stored size, at most 4294967296 bytes)")]


def can_read(path):
    return os.path.isdir(path) and bool(os.listdir(path))


@pytest.mark.parametrize(
    "member, target, kind",
    [
        ("image-cache", "/proc/sys/kernel", "proc"),
        ("paste-cache", "/sys/kernel/mm", "sysfs"),
        ("file-history", "/dev", "device"),
    ],
)
def test_a_root_member_linked_into_a_pseudo_file_system_is_not_read(tmp_path, member, target, kind):
    if not can_read(target):
        pytest.skip(f"{target} is not there")
    if kind == "device" and os.stat("/dev").st_dev == os.stat("/").st_dev:
        pytest.skip("/dev is no file system of its own here")
    root = tmp_path / ".claude"
    put(root / "history.jsonl", b'{"display":"x","timestamp":1700000000000}\n')
    (root / member).symlink_to(target, target_is_directory=True)
    report = vellumtrace.parse(root, include_content=True)
    assert [e["event_type"] for e in report["events"]] == ["prompt_input"]
    assert [(d["code"], d["source"]["relative_path"], d["message"]) for d in report["diagnostics"]] == [
        ("unreadable_artifact", member, f"walkdir error: {root}/{member}: On a {kind} file system: not read")]


def test_the_progress_walk_enters_each_directory_once(tmp_path, cli_path):
    # Twenty-eight directories, each linked twice from the one before: 2^27
    # paths for a walk that enters a directory again on every path.
    root = history(tmp_path / ".codex", 300)  # more output than a pipe holds
    chain = [tmp_path / "chain" / f"d{i}" for i in range(28)]
    for here in chain:
        here.mkdir(parents=True)
    for here, there in zip(chain, chain[1:]):
        (here / "a").symlink_to(there, target_is_directory=True)
        (here / "b").symlink_to(there, target_is_directory=True)
    put(chain[-1] / "rollout-x.jsonl", b'{"timestamp":"2025-01-01T00:00:00Z","type":"event_msg","payload":{}}\n')
    (root / "sessions").mkdir()
    (root / "sessions" / "d0").symlink_to(chain[0], target_is_directory=True)
    main, side = pty.openpty()
    # Standard output is a pipe read only at the end: the run waits there,
    # drawing its progress line, until the total of the walk shows.
    run = subprocess.Popen([cli_path, root, "-f", "jsonl", "--follow-symlinks"],
                           stdout=subprocess.PIPE, stderr=side)
    os.close(side)
    total = b"writing; read 2 of 2 files"
    shown, deadline = b"", time.monotonic() + 20
    while total not in shown and time.monotonic() < deadline:
        if select.select([main], [], [], 0.2)[0]:
            shown += os.read(main, 65536)
    run.stdout.read()
    assert run.wait(timeout=60) == 0
    os.close(main)
    assert total in shown, shown[-300:]


@pytest.mark.parametrize(
    "matches, listed",
    [(10, 10), (11, 10), (2000, 10)],
)
def test_an_ambiguous_reference_lists_a_bounded_number_of_matches(tmp_path, matches, listed):
    root = tmp_path / ".claude"
    for i in range(matches):
        put(root / "paste-cache" / f"h.{i:04d}", b"x")
    entry = json.dumps({"display": "p", "timestamp": 1700000000000, "pastedContents": {"1": {"contentHash": "h"}}})
    put(root / "history.jsonl", (entry + "\n").encode() * 3)
    report = vellumtrace.parse(root)
    names = ", ".join(f"paste-cache/h.{i:04d}" for i in range(listed))
    more = f" and {matches - listed} more" if matches > listed else ""
    assert [(d["code"], d["message"]) for d in report["diagnostics"]] == [
        ("ambiguous_reference", f"Cache reference 'h' matched multiple files: {names}{more}")] * 3
    assert [e["event_type"] for e in report["events"]] == ["prompt_input", "paste_attachment"] * 3


BUILD_INTERRUPTED = """
import atexit, gc, signal, sys, threading, vellumtrace
stopped, least = [], int(sys.argv[2])
def stop(*_):
    # The collector rests only while the call builds its result; with `least`,
    # once that many containers are built (else a release of a few items may
    # be over before anyone looks for its thread).
    if not gc.isenabled() and gc.get_count()[0] >= least and not stopped:
        stopped.append(True)
        raise KeyboardInterrupt
objects = len(gc.get_objects())
signal.signal(signal.SIGALRM, stop)
signal.setitimer(signal.ITIMER_REAL, 0.002, 0.002)
try:
    vellumtrace.parse(sys.argv[1], include_raw=True)
    outcome = "returned"
except KeyboardInterrupt:
    outcome = "interrupted"
signal.setitimer(signal.ITIMER_REAL, 0)
# What was built is freed by a thread of its own, the collector resting
# until it is done; then all is as before the call.
# (Nothing is left to do at exit: the collector's freeze, there for an end
# that comes before the thread's, is gone again.)
releasing = [t for t in threading.enumerate() if t.name == "vellumtrace-release"]
for thread in releasing:
    thread.join()
atexit._run_exitfuncs()
print(outcome, len(releasing), gc.isenabled(), len(gc.get_objects()) - objects < 1000, gc.get_freeze_count() == 0)
"""


# (records, items in each record's raw value, containers built before the
# interrupt, release threads seen at the interrupt: three records may be
# freed before anyone looks)
@pytest.mark.parametrize("records, items, least, threads",
                         [(3, 1_000_000, 0, {0, 1}), (300_000, 1, 50_000, {1})],
                         ids=["large-raw", "many-events"])
def test_a_signal_while_the_result_is_built_interrupts_parse(tmp_path, records, items, least, threads):
    # Few records whose raw values hold millions of items, or many small
    # records: a long build either way.
    record = json.dumps({"timestamp": "2025-01-01T00:00:00Z", "type": "event_msg",
                         "payload": {"type": "agent_message", "message": "m", "items": [0] * items}})
    put(tmp_path / ".codex" / ROLLOUT, (record + "\n").encode() * records)
    done = subprocess.run([sys.executable, "-c", BUILD_INTERRUPTED, str(tmp_path / ".codex"), str(least)],
                          capture_output=True, text=True, timeout=120, env=ENV)
    assert done.returncode == 0, done.stderr
    outcome, seen, *after = done.stdout.split()
    assert (outcome, int(seen) in threads, after) == ("interrupted", True, ["True"] * 3)


FULL_DISK = """
import sys, vellumtrace
try:
    vellumtrace.convert(sys.argv[1], "/dev/full", format="jsonl")
except ValueError as error:
    print(error)
"""


@pytest.mark.parametrize("line_feed_at_the_first_spill", [False, True])
def test_a_failed_write_reads_the_same_on_any_number_of_threads(tmp_path, line_feed_at_the_first_spill):
    # More events than one thread renders alone, so that two threads share
    # the work. The first write fails at once: it is made when byte 8192 of
    # the timeline comes, a line feed or a byte of an event.
    root = history(tmp_path / ".codex", 1500)
    if line_feed_at_the_first_spill:
        text = vellumtrace.to_jsonl(root)
        pad = 8192 - text.rindex("\n", 0, 8192)
        first = json.dumps({"session_id": "s", "ts": 1700000000, "text": "prompt 0" + "x" * pad})
        lines = (root / "history.jsonl").read_text().splitlines(keepends=True)
        put(root / "history.jsonl", (first + "\n" + "".join(lines[1:])).encode())
    text = vellumtrace.to_jsonl(root)
    assert (text[8192] == "\n") == line_feed_at_the_first_spill
    step = "I/O write error" if line_feed_at_the_first_spill else "JSON serialization error"
    for threads in ("1", "2", "3"):
        done = subprocess.run([sys.executable, "-c", FULL_DISK, str(root)], capture_output=True, text=True,
                              timeout=60, env=dict(ENV, VELLUMTRACE_THREADS=threads))
        assert done.stdout == f"{step}: No space left on device\n", threads


def settle_in_the_past(tree):
    """Every file and directory below `tree` gets an access time a month
    before its modification time, which a read would move (relatime)."""
    times = {}
    for path in [tree, *sorted(tree.rglob("*"))]:
        if path.is_symlink():
            continue
        info = path.stat()
        os.utime(path, ns=(info.st_mtime_ns - 30 * 86400 * 10**9, info.st_mtime_ns))
        times[path] = path.stat().st_atime_ns
    return times


@pytest.mark.parametrize("via", ["module", "program"])
def test_a_run_leaves_the_access_times_of_what_it_read(tmp_path, cli_path, via):
    codex = history(tmp_path / "home" / ".codex", 5)
    put(codex / ROLLOUT, b'{"timestamp":"2025-01-01T00:00:00Z","type":"event_msg","payload":{}}\n')
    put(codex / f"archived_sessions/{os.path.basename(ROLLOUT)}.zst", zstd(b"{}\n"))
    put(codex / "attachments" / "a" / "note.txt", b"note")
    claude = tmp_path / "home" / ".claude"
    put(claude / "history.jsonl", b'{"display":"x","timestamp":1700000000000}\n')
    put(claude / "paste-cache" / "p.txt", b"paste")
    put(claude / "file-history" / "s" / "f@v1", b"snapshot")
    # What detection lists to find the roots stays out of the comparison.
    kept = {}
    for member in [codex / "history.jsonl", codex / "sessions", codex / "archived_sessions",
                   codex / "attachments", claude / "history.jsonl", claude / "paste-cache",
                   claude / "file-history"]:
        kept.update(settle_in_the_past(member))
    if via == "module":
        report = vellumtrace.parse(tmp_path / "home", include_content=True)
        assert len(report["events"]) == 11 and report["diagnostics"] == []
    else:
        done = subprocess.run([cli_path, tmp_path / "home", "--include-content", "-q", "-o", os.devnull],
                              capture_output=True, timeout=60)
        assert done.returncode == 0, done.stderr
    assert {path: path.stat().st_atime_ns for path in kept} == kept


CONTROLS = "\x1b]0;title\x07\x1b[2J\u009b31m\x7f"
ESCAPED = "\\x1b]0;title\\x07\\x1b[2J\\u009b31m\\x7f"


@pytest.mark.parametrize("shown", ["summary", "diagnostics"])
def test_control_characters_from_the_input_reach_no_terminal(tmp_path, cli_path, shown):
    root = tmp_path / ".claude"
    entry = {"display": "x", "timestamp": 1700000000000, "sessionId": "s" + CONTROLS, "project": "/w" + CONTROLS,
             "pastedContents": {"1": {"contentHash": "h" + CONTROLS}}}
    put(root / "history.jsonl", (json.dumps(entry) + "\n").encode())
    if shown == "summary":
        done = subprocess.run([cli_path, root, "--summary", "--wide"], capture_output=True, timeout=60)
        text, exact = done.stdout, subprocess.run([cli_path, root, "--summary", "-f", "jsonl"],
                                                  capture_output=True, timeout=60).stdout
        assert [row["session_id"] for row in map(json.loads, exact.splitlines())] == ["s" + CONTROLS]
    else:
        done = subprocess.run([cli_path, root, "-f", "jsonl", "-o", os.devnull], capture_output=True, timeout=60)
        text = done.stderr
        assert [d["message"] for d in vellumtrace.parse(root)["diagnostics"]] == [
            f"Cache reference 'h{CONTROLS}' could not be resolved."]
    assert done.returncode == 0
    shown_text = text.decode()
    assert ESCAPED in shown_text
    assert not re.search("[\x00-\x09\x0b-\x1f\x7f\u0080-\u009f]", shown_text)


@pytest.mark.parametrize(
    "args, same_as",
    [
        (["--cwd", "/home/mara/src/tidewater/web/.."], ["--cwd", "/home/mara/src/tidewater"]),
        (["--cwd", "//home/mara/src/lanternfish/./crates//"], ["--cwd", "/home/mara/src/lanternfish/crates"]),
        (["--cwd", "/p0/.."], ["--cwd", "/"]),
    ],
    ids=["dot-dot", "slashes-and-dot", "root"],
)
def test_working_directory_prefixes_are_compared_as_paths(cli_path, args, same_as):
    got = subprocess.run([cli_path, SAMPLE, "-f", "jsonl", *args], capture_output=True, timeout=60)
    expected = subprocess.run([cli_path, SAMPLE, "-f", "jsonl", *same_as], capture_output=True, timeout=60)
    assert got.returncode == expected.returncode == 0
    assert got.stdout == expected.stdout and got.stdout.count(b"\n") > 0


@pytest.mark.parametrize("option", ["-o", "--output", "--diagnostics"])
def test_an_empty_file_name_is_a_usage_error(cli_path, option):
    done = subprocess.run([cli_path, SAMPLE, "-f", "jsonl", option, ""], capture_output=True, timeout=60)
    name = "--diagnostics" if option == "--diagnostics" else "--output"
    assert (done.returncode, done.stdout) == (2, b"")
    assert f"{name}: an empty file name" in done.stderr.decode()
