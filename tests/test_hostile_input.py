"""Trees the caller does not control: NUL characters in path arguments,
followed links that form a graph, an output path that names an input, a
long run interrupted by a signal, and records that repeat their keys."""

import os
import pathlib
import signal
import subprocess
import sys

import pytest

import vellumtrace

ROLLOUT_LINE = b'{"timestamp":"2025-01-01T00:00:00Z","type":"event_msg","payload":{"type":"task_started"}}\n'


def codex_root(tmp_path):
    root = tmp_path / ".codex"
    root.mkdir()
    (root / "history.jsonl").write_bytes(b'{"session_id":"s","ts":1,"text":"a"}\n')
    return root


class NulPath:
    def __init__(self, text):
        self.text = text

    def __fspath__(self):
        return self.text


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda root, out: vellumtrace.parse(str(root) + "\x00"), id="parse_existing_dir"),
        pytest.param(lambda root, out: vellumtrace.to_csv(NulPath(str(root) + "\x00x")), id="fspath_result"),
        pytest.param(lambda root, out: vellumtrace.to_json(str(root / "history.jsonl\x00")), id="to_json_file"),
        pytest.param(lambda root, out: vellumtrace.convert(root, str(out) + "\x00/x"), id="convert_output"),
        pytest.param(lambda root, out: vellumtrace.convert(str(root) + "\x00", out), id="convert_input"),
    ],
)
def test_nul_in_a_path_argument_is_refused_before_anything_happens(tmp_path, call):
    root = codex_root(tmp_path)
    out = tmp_path / "out.json"
    with pytest.raises(ValueError, match="^embedded null byte$"):
        call(root, out)
    assert not out.exists()


def linked_chain(tmp_path, where, depth=16):
    """`where`/d0 leads through `depth` directories, each holding two links
    (a and b) to the next; the last one holds one rollout file."""
    root = tmp_path / ".codex"
    chain = [tmp_path / "chain" / f"d{i}" for i in range(depth)]
    for directory in chain:
        directory.mkdir(parents=True)
    for here, there in zip(chain, chain[1:]):
        (here / "a").symlink_to(there, target_is_directory=True)
        (here / "b").symlink_to(there, target_is_directory=True)
    (chain[-1] / "rollout-x.jsonl").write_bytes(ROLLOUT_LINE)
    (root / where).mkdir(parents=True)
    (root / where / "d0").symlink_to(chain[0], target_is_directory=True)
    return root


@pytest.mark.parametrize(
    "where, prefix",
    [
        pytest.param("sessions", "Cannot traverse session artifact: ", id="sessions"),
        pytest.param("attachments", "Cannot traverse attachment artifact: ", id="attachments"),
    ],
)
def test_followed_links_enter_each_directory_once(tmp_path, where, prefix):
    depth = 16
    root = linked_chain(tmp_path, where, depth)
    report = vellumtrace.parse(root, follow_symlinks=True)
    first = f"{where}/d0" + "/a" * (depth - 1)
    assert [e["source"]["relative_path"] for e in report["events"]] == [first + "/rollout-x.jsonl"]
    diags = report["diagnostics"]
    assert len(diags) == depth - 1
    base = os.path.realpath(root)
    # The walk goes deep first: the deepest repeat is met first.
    for level, diag in zip(reversed(range(depth - 1)), diags):
        again = f"{where}/d0" + "/a" * level + "/b"
        through = f"{where}/d0" + "/a" * (level + 1)
        assert (diag["code"], diag["severity"], diag["source"]["relative_path"]) == (
            "unreadable_artifact", "warning", again)
        assert diag["message"] == f"{prefix}{base}/{again}: already read through {base}/{through}"
    # Without following links the walk does not leave the tree.
    assert vellumtrace.parse(root) == {"events": [], "diagnostics": []}


def output_cases():
    # (how the output path names an input) -> output path under the root
    return [
        pytest.param(lambda root: root / "history.jsonl", id="same_path"),
        pytest.param(lambda root: root / "sessions" / "2025" / "rollout-x.jsonl", id="session_file"),
        pytest.param(lambda root: root / "attachments" / "note.txt", id="attachment"),
        pytest.param(lambda root: link(root.parent / "alias.jsonl", root / "history.jsonl"), id="symlink"),
        pytest.param(lambda root: hard_link(root.parent / "hard.jsonl", root / "history.jsonl"), id="hard_link"),
    ]


def link(path, target):
    path.symlink_to(target)
    return path


def hard_link(path, target):
    os.link(target, path)
    return path


@pytest.mark.parametrize("via", ["convert", "program"])
@pytest.mark.parametrize("output_of", output_cases())
def test_an_input_is_never_overwritten(tmp_path, cli_path, via, output_of):
    root = codex_root(tmp_path)
    (root / "sessions" / "2025").mkdir(parents=True)
    (root / "sessions" / "2025" / "rollout-x.jsonl").write_bytes(ROLLOUT_LINE)
    (root / "attachments").mkdir()
    (root / "attachments" / "note.txt").write_bytes(b"note")
    before = {p: p.read_bytes() for p in root.rglob("*") if p.is_file()}
    output = output_of(root)
    message = f"Cannot create '{output}': it is one of the input files of this run"
    if via == "convert":
        with pytest.raises(OSError) as caught:
            vellumtrace.convert(root, output, format="csv")
        assert str(caught.value) == message
    else:
        done = subprocess.run([cli_path, str(root), "--format", "csv", "--output", str(output)],
                              capture_output=True, text=True, timeout=60)
        assert (done.returncode, done.stdout, done.stderr) == (1, "", f"vellumtrace: {message}\n")
    assert {p: p.read_bytes() for p in root.rglob("*") if p.is_file()} == before
    # A file beside the inputs that the run did not read may be written.
    vellumtrace.convert(root, root / "timeline.csv", format="csv")
    assert (root / "timeline.csv").read_bytes().startswith(b"schema_version,")


INTERRUPT_SCRIPT = """
import os, signal, sys, threading, vellumtrace
# Started from a background job, SIGINT comes ignored: Ctrl-C's handler is set here.
signal.signal(signal.SIGINT, signal.default_int_handler)
source, small, output, function = sys.argv[1:5]
threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
try:
    if function == "convert":
        vellumtrace.convert(source, output, format="jsonl")
    else:
        getattr(vellumtrace, function)(source)
    print("returned")
except KeyboardInterrupt:
    print("interrupted", os.path.exists(output), len(vellumtrace.parse(small)["events"]))
"""


def ignore_sigint():
    signal.signal(signal.SIGINT, signal.SIG_IGN)


# Each function as the test is usually started; two more as from a shell's
# background job (`make test &`), where the child inherits SIGINT ignored.
@pytest.mark.parametrize("function, started", [
    ("parse", None), ("to_json", None), ("to_jsonl", None), ("to_csv", None), ("convert", None),
    ("parse", ignore_sigint), ("convert", ignore_sigint)])
def test_a_signal_interrupts_a_long_call(tmp_path, function, started):
    # A sparse file of a terabyte of zeros: reading it through would take
    # far longer than the child is given.
    source = tmp_path / "big" / ".codex"
    source.mkdir(parents=True)
    with open(source / "history.jsonl", "wb") as big:
        big.truncate(1 << 40)
    small = codex_root(tmp_path)
    output = tmp_path / "out.jsonl"
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", INTERRUPT_SCRIPT, str(source), str(small), str(output), function],
                          capture_output=True, text=True, timeout=60, env=env, preexec_fn=started)
    assert (done.stdout, done.returncode) == ("interrupted False 1\n", 0), done.stderr


REPEATED_KEYS = [
    pytest.param(
        ".codex/sessions/2025/01/01/rollout-2025-01-01T00-00-00-0197aaaa-0000-7000-8000-000000000000.jsonl",
        '{"type":"turn_context","type":"event_msg","timestamp":"bad","timestamp":"2025-01-01T00:00:00Z",'
        '"payload":{"type":"agent_message","message":"old","message":"new","type":"agent_message"}}',
        [("agent_message", "new", "2025-01-01T00:00:00Z", None)],
        id="codex_rollout"),
    pytest.param(
        ".claude/history.jsonl",
        '{"display":"old","display":"new","timestamp":"x","timestamp":1700000000000,'
        '"pastedContents":{"2":{"content":"a"},"10":{"content":"b"},"2":{"content":"c","contentHash":"h"}}}',
        [("prompt_input", "new", "2023-11-14T22:13:20Z", None),
         ("paste_attachment", None, "2023-11-14T22:13:20Z", "h"),
         ("paste_attachment", None, "2023-11-14T22:13:20Z", None)],
        id="claude_history"),
]


@pytest.mark.parametrize("where,line,expected", REPEATED_KEYS)
def test_repeated_keys_read_as_their_last(tmp_path, where, line, expected):
    # Of repeated keys the last one counts, at every depth, for every field
    # a reader looks at (and pasted items keep one entry per key).
    path = tmp_path / where
    path.parent.mkdir(parents=True)
    path.write_text(line + "\n")
    report = vellumtrace.parse(tmp_path / where.split("/")[0])
    got = [(e["event_type"], e["message"], e["timestamp"], e["source"]["source_id"]) for e in report["events"]]
    assert got == expected
