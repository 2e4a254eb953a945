"""Files read on several threads (VELLUMTRACE_THREADS) give exactly what a serial run gives."""

import json
import os
import pathlib
import shutil
import subprocess

import pytest

import vellumtrace

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
SETTINGS = ["1", "4"]
FIXED_MTIME = 1762333973

RENDERINGS = [
    ("parse", lambda p, **kw: vellumtrace.parse(p, include_raw=True, include_content=True, **kw)),
    ("to_json", lambda p, **kw: vellumtrace.to_json(p, include_raw=True, **kw)),
    ("to_jsonl", lambda p, **kw: vellumtrace.to_jsonl(p, include_content=True, **kw)),
    ("to_csv", lambda p, **kw: vellumtrace.to_csv(p, include_raw=True, **kw)),
]


def damaged_copy(lines, i):
    """A rollout's lines with damage that depends on the copy number."""
    lines = list(lines)
    if i % 4 == 0:
        lines.insert(len(lines) // 2, b"{not json at all")
    elif i % 4 == 1:
        lines[1] = lines[1].replace(b'"timestamp":"2025', b'"timestamp":"20x5', 1)
    elif i % 4 == 2:
        lines.append(lines[-1][: len(lines[-1]) // 2])  # a cut last line
    return b"\n".join(lines) + (b"" if i % 4 == 2 else b"\n")


def build_tree(base):
    """The sample, its rollouts copied many times over (with damage), many
    attachments, caches and snapshots, all with one modification time."""
    top = base / "many"
    shutil.copytree(SAMPLE, top, symlinks=True)
    codex, claude = top / ".codex", top / ".claude"
    rollouts = sorted((codex / "sessions").rglob("rollout-*.jsonl"))
    for i in range(40):
        source = rollouts[i % len(rollouts)]
        lines = source.read_bytes().splitlines()
        folder = "archived_sessions" if i % 5 == 4 else f"sessions/2025/12/{i % 7:02d}"
        target = codex / folder / source.name.replace("rollout-2025", f"rollout-{2030 + i}")
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(damaged_copy(lines, i))
        if i % 9 == 3 and shutil.which("zstd"):
            subprocess.run(["zstd", "-q", "--rm", str(target)], check=True)
    # One long rollout, so that renderings on several threads take several
    # batches of lines, the last one partial.
    long_rollout = codex / "sessions" / "2025" / "12" / "31" / "rollout-2025-12-31T00-00-00-long.jsonl"
    long_rollout.parent.mkdir(parents=True, exist_ok=True)
    long_rollout.write_text("".join(
        json.dumps({"timestamp": f"2025-12-31T00:{i // 600 % 60:02d}:{i // 10 % 60:02d}.{i % 1000:03d}Z",
                    "type": "event_msg", "payload": {"type": "agent_message", "message": f"line {i} \u00e9"}})
        + "\n" for i in range(9001)))
    for i in range(30):
        (codex / "attachments" / f"a{i % 6}" / f"note{i}.txt").parent.mkdir(exist_ok=True)
        (codex / "attachments" / f"a{i % 6}" / f"note{i}.txt").write_text("x" * i)
    for i in range(25):
        (claude / "paste-cache" / f"{i:016x}.txt").write_text("pasted " * i)
        (claude / "image-cache" / "img" / f"{i:016x}.png").parent.mkdir(exist_ok=True)
        (claude / "image-cache" / "img" / f"{i:016x}.png").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(i))
        name = f"{i % 7:016x}@v{i % 3 + 1}" if i % 8 else f"bad-name-{i}"
        (claude / "file-history" / f"s{i % 4}" / name).parent.mkdir(exist_ok=True)
        (claude / "file-history" / f"s{i % 4}" / name).write_text(f"version {i}")
    for path in top.rglob("*"):
        if path.is_file():
            os.utime(path, (FIXED_MTIME, FIXED_MTIME))
            path.read_bytes()  # settles the access time before runs are compared
    return top


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    return build_tree(tmp_path_factory.mktemp("threads"))


def trees(generated):
    found = [SAMPLE, generated]
    from conftest import CORPUS as corpus
    if corpus.is_dir():
        found += sorted(p for p in corpus.iterdir() if p.is_dir())
    return found


def parses(path):
    try:
        for line in path.read_bytes().splitlines():
            json.loads(line)
    except ValueError:
        return False
    return True


def outcome(call, path, **kwargs):
    try:
        return call(path, **kwargs)
    except Exception as error:  # the failure itself is compared
        return (type(error), str(error))


@pytest.mark.parametrize("name,call", RENDERINGS, ids=[r[0] for r in RENDERINGS])
@pytest.mark.parametrize("mode", ["best_effort", "strict"])
def test_thread_count_does_not_change_any_output(generated, monkeypatch, name, call, mode):
    for tree in trees(generated):
        outputs = []
        for setting in SETTINGS:
            monkeypatch.setenv("VELLUMTRACE_THREADS", setting)
            outputs.append(outcome(call, tree, mode=mode))
        assert outputs[0] == outputs[1], tree


def test_strict_stop_names_the_first_damaged_file(generated, monkeypatch):
    # Many rollouts carry a line that is not JSON; the run must stop at the
    # first of them in path order, whichever thread reads it first.
    codex = generated / ".codex"
    damaged = sorted(p for p in (codex / "sessions").rglob("rollout-*.jsonl") if not parses(p))
    assert len(damaged) > 3
    messages = set()
    for setting in ["1", "2", "4", "16"]:
        monkeypatch.setenv("VELLUMTRACE_THREADS", setting)
        with pytest.raises(ValueError) as raised:
            vellumtrace.parse(generated / ".codex", mode="strict")
        messages.add(str(raised.value))
    assert len(messages) == 1
    assert f"at {damaged[0].relative_to(codex)} line " in messages.pop()


@pytest.mark.parametrize("setting", ["", "0", "-3", "two", "3x", "99999999999"])
def test_unusable_settings_fall_back_to_the_default(generated, monkeypatch, setting):
    monkeypatch.setenv("VELLUMTRACE_THREADS", "1")
    serial = vellumtrace.to_jsonl(generated)
    monkeypatch.setenv("VELLUMTRACE_THREADS", setting)
    assert vellumtrace.to_jsonl(generated) == serial


def test_program_output_does_not_depend_on_the_thread_count(cli_path, generated):
    outputs = []
    for setting in SETTINGS:
        env = dict(os.environ, VELLUMTRACE_THREADS=setting)
        result = subprocess.run([cli_path, str(generated), "--format", "jsonl"], env=env,
                                capture_output=True, check=False)
        outputs.append((result.returncode, result.stdout, result.stderr))
    assert outputs[0][0] == 0 and outputs[0][1].count(b"\n") > 9000
    assert outputs[0] == outputs[1]
