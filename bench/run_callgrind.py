#!/usr/bin/env python3
"""Instructions per input byte under callgrind, per job, per file and per tiny event.

Instruction counts do not move with the load of a shared machine (they vary
by well under 1 % from run to run), so two builds can be compared on a busy
machine. Every job runs on one thread (VELLUMTRACE_THREADS=1) over trees
generated once into the data directory:

- `codex`: a `.codex` tree of `gen_codex_tree.py` (20 MB, seed 7);
- `transcripts`: a `.claude` root of session transcripts of
  `gen_claude_transcripts.py` (20 MB, seed 5);
- `claude`: a `.claude` tree of `gen_claude_tree.py` (prompt history, paste
  and image caches, file history; 10 MB history, 1000 cache files, 2000
  snapshots), with `--shapes claude`.

The jobs: the program `--format jsonl` to /dev/null, and in a Python child
`pyarrow.table(vellumtrace.Timeline(tree))`, `vellumtrace.to_jsonl(tree)` and
`vellumtrace.parse(tree)` (those two read the documented layout, which has
no transcripts: they are left out on the transcript tree). A Python job's count is that of the child doing
the call minus that of the same child set up alike (imports, pyarrow's first
table) without the call. SHA-256's own share is taken from callgrind's
inclusive counts of OpenSSL's SHA-256 calls and of our own compressions
side by side (the file digests and the event identifiers together), and the
event identifiers' whole share from their maker's entry points (made one at a
time, or deferred and filled in batches); both need symbols (a stripped program gives its total only).

Two more figures, for the program:

- per file: a tree of `--files` Codex rollouts of about 1 KB each against the
  same lines in 20 files: (count of the many - count of the few) / (files - 20);
- per tiny event: one rollout of 2 x `--events` short agent messages against
  one of `--events`: the difference / `--events`.

    python bench/run_callgrind.py --program build/dev/vellumtrace --module-path build/dev
    python bench/run_callgrind.py --json after.json ...; python bench/run_callgrind.py --compare before.json after.json

A program installed from the wheel may be the repair step's launcher script;
its ELF program (named in the launcher) is what runs under callgrind.
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import uuid

HERE = pathlib.Path(__file__).resolve().parent
MB = 1_000_000

from instructions_per_byte import COLLECTED, tree_bytes  # noqa: E402 (beside this script)
ANNOTATED = re.compile(r"^\s*([\d,]+)\s+\([^)]*\)\s+(?:\*\s+)?(.*?)\s*(?:\[.*\])?\s*$")
# Inclusive counts summed for SHA-256's own share: OpenSSL's SHA-256 calls,
# which its digest interface makes too, and our own compressions (the
# identifiers' blocks hashed side by side, which call OpenSSL's block function
# where it is the faster); none of them calls another.
SHA_CALLS = re.compile(r"(?:^|:)(SHA256_Init|SHA256_Update|SHA256_Final)$|(?:^|:)vt::sha256_compress_lanes\(")
# The identifiers' share: their maker's entry points summed (one at a time,
# or deferred and then filled in batches; none calls another).
ID_MAKERS = re.compile(r"(?:^|:)vt::EventIds::(?:make|defer|fill)\(")

CHILD = r"""
import os, sys
kind, tree, work = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
import vellumtrace
if kind == "pyarrow":
    import pyarrow as pa
    pa.table(vellumtrace.Timeline())
    if work:
        pa.table(vellumtrace.Timeline(tree))
elif kind == "to_jsonl":
    if work:
        vellumtrace.to_jsonl(tree)
elif kind == "parse":
    if work:
        vellumtrace.parse(tree)
"""


def elf_program(program: str) -> str:
    """The ELF program itself, also behind a wheel's launcher script."""
    path = shutil.which(program) or program
    with open(path, "rb") as f:
        head = f.read(4)
    if head == b"\x7fELF":
        return path
    text = pathlib.Path(path).read_text()
    target = re.search(r"'([^']+\.scripts/[^']+)'", text)
    shebang = text.splitlines()[0][2:].strip().split()
    if not target or not shebang:
        raise SystemExit(f"{path}: neither an ELF program nor a launcher naming one")
    platlib = subprocess.run(shebang + ["-c", "import sysconfig; print(sysconfig.get_path('platlib'))"],
                             capture_output=True, text=True, check=True).stdout.strip()
    return os.path.join(platlib, target.group(1))


def callgrind(command: list[str], env: dict, annotate: bool) -> dict:
    """Instructions of `command` (stdout discarded); with `annotate`, the SHA-256 and id shares."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "callgrind.out")
        done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + command,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env=env)
        found = COLLECTED.findall(done.stderr)
        if not found or done.returncode != 0:
            raise RuntimeError(f"callgrind failed ({done.returncode}):\n{done.stderr[-3000:]}")
        result = {"instructions": int(found[-1])}
        if annotate:
            listing = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                                     capture_output=True, text=True, check=True).stdout
            sha = ids = 0
            named = False
            for line in listing.splitlines():
                m = ANNOTATED.match(line)
                if not m:
                    continue
                count, name = int(m.group(1).replace(",", "")), m.group(2)
                if SHA_CALLS.search(name):
                    sha += count
                if ID_MAKERS.search(name):
                    ids += count
                named = named or "vt::" in name
            result["sha256"] = sha if named or sha else None
            result["event_ids"] = ids if named else None
        return result


def program_job(program: str, tree: pathlib.Path, env: dict, annotate: bool) -> dict:
    return callgrind([program, str(tree), "--format", "jsonl", "-q"], env, annotate)


def python_job(kind: str, tree: pathlib.Path, env: dict, annotate: bool) -> dict:
    command = [sys.executable, "-c", CHILD, kind, str(tree)]
    setup = callgrind(command + ["0"], env, annotate)
    work = callgrind(command + ["1"], env, annotate)
    result = {"instructions": work["instructions"] - setup["instructions"]}
    if annotate:
        for key in ("sha256", "event_ids"):
            result[key] = None if work.get(key) is None else work[key] - (setup.get(key) or 0)
    return result


def generate(data: pathlib.Path, shape: str, size_mb: float) -> pathlib.Path:
    """The tree of a shape, generated once and reused."""
    if shape == "codex":
        tree = data / f"codex-{size_mb:g}mb"
        if not (tree / ".codex").is_dir():
            subprocess.run([sys.executable, HERE / "gen_codex_tree.py", tree, "--size-mb", str(size_mb),
                            "--seed", "7"], check=True, stdout=subprocess.DEVNULL)
        return tree / ".codex"
    if shape == "transcripts":
        tree = data / f"transcripts-{size_mb:g}mb"
        if not (tree / ".claude").is_dir():
            subprocess.run([sys.executable, HERE / "gen_claude_transcripts.py", tree, "--size-mb",
                            str(size_mb), "--seed", "5"], check=True, stdout=subprocess.DEVNULL)
        return tree / ".claude"
    tree = data / "claude-10mb"
    if not (tree / ".claude").is_dir():
        subprocess.run([sys.executable, HERE / "gen_claude_tree.py", tree, "--history-mb", "10",
                        "--cache-files", "1000", "--snapshots", "2000"], check=True, stdout=subprocess.DEVNULL)
    return tree / ".claude"


def small_session(n: int) -> list[str]:
    """The lines of one small rollout (about 1 KB)."""
    sid = str(uuid.UUID(int=n + (0x0199A4E2 << 96)))
    stamp = f"2025-06-02T08:{n // 60 % 60:02d}:{n % 60:02d}.{n % 1000:03d}Z"
    cwd = f"/home/dev/src/project-{n % 7}"
    records = [
        ("session_meta", {"id": sid, "timestamp": stamp, "cwd": cwd, "originator": "codex_cli_rs",
                          "cli_version": "0.57.0", "instructions": None, "source": "cli",
                          "model_provider": "openai"}),
        ("turn_context", {"cwd": cwd, "approval_policy": "on-request", "model": "gpt-5-codex",
                          "effort": "medium", "summary": "auto"}),
        ("response_item", {"type": "message", "role": "user",
                           "content": [{"type": "input_text", "text": f"fix the flaky test number {n}"}]}),
        ("event_msg", {"type": "user_message", "message": f"fix the flaky test number {n}", "images": []}),
        ("event_msg", {"type": "agent_message", "message": "The test waited on a timer; it now waits on the event."}),
        ("response_item", {"type": "message", "role": "assistant", "content": [
            {"type": "output_text", "text": "The test waited on a timer; it now waits on the event."}]}),
        ("event_msg", {"type": "task_complete", "last_agent_message": "done"}),
    ]
    return [json.dumps({"timestamp": stamp, "type": t, "payload": p}, separators=(",", ":")) + "\n"
            for t, p in records]


def write_rollout(day: pathlib.Path, n: int, lines: list[str]) -> None:
    sid = str(uuid.UUID(int=n + (0x0199A4E2 << 96)))
    (day / f"rollout-2025-06-02T08-00-00-{sid}.jsonl").write_text("".join(lines))


def many_files_trees(data: pathlib.Path, files: int) -> tuple[pathlib.Path, pathlib.Path]:
    """`files` small rollouts, and the same lines in 20 files."""
    many, few = data / f"files-{files}" / ".codex", data / f"files-{files}-in-20" / ".codex"
    if not many.is_dir():
        day = many / "sessions" / "2025" / "06" / "02"
        day.mkdir(parents=True)
        for n in range(files):
            write_rollout(day, n, small_session(n))
    if not few.is_dir():
        day = few / "sessions" / "2025" / "06" / "02"
        day.mkdir(parents=True)
        per = files // 20
        for f in range(20):
            write_rollout(day, f, [line for n in range(f * per, (f + 1) * per) for line in small_session(n)])
    return many, few


def tiny_event_trees(data: pathlib.Path, events: int) -> tuple[pathlib.Path, pathlib.Path]:
    """One rollout of `events` short agent messages, and one of twice as many."""
    trees = []
    for count in (events, 2 * events):
        tree = data / f"events-{count}" / ".codex"
        if not tree.is_dir():
            day = tree / "sessions" / "2025" / "06" / "02"
            day.mkdir(parents=True)
            head = small_session(0)[:1]
            body = [json.dumps({"timestamp": f"2025-06-02T09:00:{i // 1000 % 60:02d}.{i % 1000:03d}Z",
                                "type": "event_msg", "payload": {"type": "agent_message", "message": "ok"}},
                               separators=(",", ":")) + "\n" for i in range(count)]
            write_rollout(day, 0, head + body)
        trees.append(tree)
    return trees[0], trees[1]


def measure(a) -> dict:
    env = dict(os.environ, VELLUMTRACE_THREADS="1", PYTHONHASHSEED="0")
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))
    program = elf_program(a.program) if a.program else None
    data = pathlib.Path(a.data_dir)
    data.mkdir(parents=True, exist_ok=True)
    jobs = [j for j in a.jobs.split(",") if j]
    figures: dict = {"program": program, "module_path": a.module_path, "rows": []}
    print(f"{'tree':<12} {'job':<9} {'MB':>6} {'instructions':>14} {'per byte':>9} "
          f"{'SHA-256/B':>10} {'ids/B':>7} {'other/B':>8}", flush=True)
    for shape in a.shapes.split(","):
        tree = generate(data, shape, a.size_mb)
        size = tree_bytes(tree)
        for job in jobs:
            if shape == "transcripts" and job in ("to_jsonl", "parse"):
                continue
            if job == "program":
                if not program:
                    continue
                r = program_job(program, tree, env, True)
            else:
                r = python_job(job, tree, env, True)
            row = {"tree": shape, "job": job, "bytes": size, **r}
            figures["rows"].append(row)
            total, sha, ids = r["instructions"], r.get("sha256"), r.get("event_ids")

            def per_byte(count):
                return "" if count is None else f"{count / size:.1f}"

            print(f"{shape:<12} {job:<9} {size / MB:6.1f} {total:14,d} {total / size:9.1f} "
                  f"{per_byte(sha):>10} {per_byte(ids):>7} {per_byte(None if sha is None else total - sha):>8}",
                  flush=True)
    if program and a.files:
        many, few = many_files_trees(data, a.files)
        i_many = program_job(program, many, env, False)["instructions"]
        i_few = program_job(program, few, env, False)["instructions"]
        per_file = (i_many - i_few) / (a.files - 20)
        figures["per_file"] = {"files": a.files, "bytes": tree_bytes(many), "many": i_many, "few": i_few,
                               "per_file": per_file}
        print(f"\nper file: {a.files} files of {tree_bytes(many) / a.files:.0f} B: {i_many:,d}; "
              f"the same lines in 20 files: {i_few:,d}; {per_file:,.0f} instructions per file")
    if program and a.events:
        one, two = tiny_event_trees(data, a.events)
        i_one = program_job(program, one, env, False)["instructions"]
        i_two = program_job(program, two, env, False)["instructions"]
        per_event = (i_two - i_one) / a.events
        figures["per_event"] = {"events": a.events, "one": i_one, "two": i_two, "per_event": per_event}
        print(f"per tiny event ({a.events} against {2 * a.events}): {per_event:,.0f} instructions")
    return figures


def compare(before_path: str, after_path: str) -> None:
    before, after = (json.loads(pathlib.Path(p).read_text()) for p in (before_path, after_path))
    print(f"{'figure':<40} {'before':>10} {'after':>10} {'after/before':>13}")

    def line(name, b, x):
        if b is None or x is None:
            return
        print(f"{name:<40} {b:10.1f} {x:10.1f} {x / b if b else float('nan'):13.2f}")

    rows = {(r["tree"], r["job"]): r for r in before["rows"]}
    for r in after["rows"]:
        b = rows.get((r["tree"], r["job"]))
        if not b:
            continue
        name = f"{r['tree']} {r['job']}"
        line(f"{name}: per byte", b["instructions"] / b["bytes"], r["instructions"] / r["bytes"])
        if b.get("sha256") is not None and r.get("sha256") is not None:
            line(f"{name}: SHA-256 per byte", b["sha256"] / b["bytes"], r["sha256"] / r["bytes"])
            line(f"{name}: other per byte", (b["instructions"] - b["sha256"]) / b["bytes"],
                 (r["instructions"] - r["sha256"]) / r["bytes"])
    for key, field in (("per_file", "per_file"), ("per_event", "per_event")):
        if key in before and key in after:
            line(key.replace("_", " "), before[key][field], after[key][field])


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", help="the program (its jobs are left out when not given)")
    p.add_argument("--module-path", help="directory of the built module, put first on PYTHONPATH")
    p.add_argument("--data-dir", default=str(HERE / "data" / "callgrind"))
    p.add_argument("--size-mb", type=float, default=20.0, help="size of the generated trees")
    p.add_argument("--shapes", default="codex,transcripts", help="trees: codex, transcripts, claude")
    p.add_argument("--jobs", default="program,pyarrow,to_jsonl,parse")
    p.add_argument("--files", type=int, default=2000, help="small files for the per-file figure (0: none)")
    p.add_argument("--events", type=int, default=20000, help="tiny events for the per-event figure (0: none)")
    p.add_argument("--json", help="write every figure to this file")
    p.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"))
    a = p.parse_args(argv)
    if a.compare:
        compare(*a.compare)
        return 0
    figures = measure(a)
    if a.json:
        pathlib.Path(a.json).write_text(json.dumps(figures, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
