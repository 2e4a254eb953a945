#!/usr/bin/env python3
"""CPU-time ratios of the speed targets, measured side by side in one run.

Over the trees of run_callgrind.py (a `.codex` tree and a `.claude` root of
transcripts, generated once into its data directory), each row in a fresh
child, the runs of all rows interleaved and the least CPU time counting:

- floor: read and SHA-256 of every file in 64 KiB blocks (Python, hashlib);
- baseline: the same files line by line, `json.loads` and SHA-256 per line;
- the program `--format jsonl` to /dev/null on one thread, and on two;
- `pyarrow.table(vellumtrace.Timeline(tree))`, `vellumtrace.to_jsonl(tree)`
  and `vellumtrace.parse(tree)` on one thread (the last two read the
  documented layout, which has no transcripts: left out on that tree).

A Python row counts the process CPU time (all threads) around its call only;
the program's row is the child's user and system time. Then the ratios: the
floor's time over the program's, and the baseline's over each Python row's
(higher is faster); two threads against one as CPU time per input byte and as
wall time (meaningful only on otherwise idle cores: the load average is
printed before and after).

Last, the program over many small files against the same lines in 20 files
(`--files`, about 1.3 KB each), and over one rollout of tiny events against
one of twice as many (`--events`): microseconds of CPU per file and per event.

    python bench/run_cpu_ratios.py --program build/dev/vellumtrace --module-path build/dev
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import pathlib
import resource
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import run_callgrind  # noqa: E402

MB = 1_000_000


def regular_files(tree: pathlib.Path) -> list[pathlib.Path]:
    files = []
    for root, _dirs, names in os.walk(tree):
        for name in sorted(names):
            path = pathlib.Path(root, name)
            if path.is_file() and not path.is_symlink():
                files.append(path)
    return sorted(files)


def child_floor(tree: str) -> None:
    for file in regular_files(pathlib.Path(tree)):
        digest = hashlib.sha256()
        with open(file, "rb") as f:
            while block := f.read(65536):
                digest.update(block)
        digest.hexdigest()


def child_baseline(tree: str) -> None:
    for file in regular_files(pathlib.Path(tree)):
        digest = hashlib.sha256()
        with open(file, "rb") as f:
            for line in f:
                digest.update(line)
                if line.strip():
                    try:
                        json.loads(line)
                    except ValueError:
                        pass
        digest.hexdigest()


def child_main(kind: str, tree: str) -> int:
    if kind == "pyarrow":
        import pyarrow as pa
        import vellumtrace
        pa.table(vellumtrace.Timeline())  # pyarrow's one-time set-up, off the clock
        work = lambda: pa.table(vellumtrace.Timeline(tree))  # noqa: E731
    elif kind in ("to_jsonl", "parse"):
        import vellumtrace
        work = lambda: getattr(vellumtrace, kind)(tree)  # noqa: E731
    else:
        work = lambda: {"floor": child_floor, "baseline": child_baseline}[kind](tree)  # noqa: E731
    cpu, wall = time.process_time(), time.perf_counter()
    work()
    print(json.dumps({"cpu": time.process_time() - cpu, "wall": time.perf_counter() - wall}))
    return 0


def run_row(kind: str, tree: pathlib.Path, env: dict, program: str | None) -> dict:
    if kind.startswith("program"):
        threads = kind.removeprefix("program")
        start = time.perf_counter()
        with open(os.devnull, "wb") as null:
            child = subprocess.Popen([program, str(tree), "--format", "jsonl", "-q"], stdout=null,
                                     env=dict(env, VELLUMTRACE_THREADS=threads))
            _pid, status, usage = os.wait4(child.pid, 0)
        if status != 0:
            raise SystemExit(f"{program} failed on {tree}")
        return {"cpu": usage.ru_utime + usage.ru_stime, "wall": time.perf_counter() - start}
    done = subprocess.run([sys.executable, __file__, "--child", kind, str(tree)], env=env,
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"{kind} failed on {tree}:\n{done.stderr[-2000:]}")
    return json.loads(done.stdout.strip().splitlines()[-1])


def best(kinds: list[str], tree: pathlib.Path, env: dict, program: str | None, runs: int) -> dict:
    """Each row `runs` times, interleaved; the least CPU time and the least wall time."""
    out = {k: {"cpu": float("inf"), "wall": float("inf")} for k in kinds}
    for _ in range(runs):
        for kind in kinds:
            r = run_row(kind, tree, env, program)
            out[kind] = {"cpu": min(out[kind]["cpu"], r["cpu"]), "wall": min(out[kind]["wall"], r["wall"])}
    return out


def load() -> str:
    return " ".join(pathlib.Path("/proc/loadavg").read_text().split()[:3])


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", help="the program (its rows are left out when not given)")
    p.add_argument("--module-path", help="directory of the built module, put first on PYTHONPATH")
    p.add_argument("--data-dir", default=str(HERE / "data" / "callgrind"))
    p.add_argument("--size-mb", type=float, default=20.0)
    p.add_argument("--shapes", default="codex,transcripts")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--files", type=int, default=20000, help="small files for the per-file figure (0: none)")
    p.add_argument("--events", type=int, default=100000, help="tiny events for the per-event figure (0: none)")
    p.add_argument("--json", help="write every figure to this file")
    p.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    a = p.parse_args(argv)
    if a.child:
        return child_main(*a.child)
    env = dict(os.environ, VELLUMTRACE_THREADS="1")
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))
    program = run_callgrind.elf_program(a.program) if a.program else None
    data = pathlib.Path(a.data_dir)
    data.mkdir(parents=True, exist_ok=True)
    figures: dict = {"load_before": load(), "trees": {}}
    print(f"load average before: {figures['load_before']}; {os.cpu_count()} cores\n")
    for shape in a.shapes.split(","):
        tree = run_callgrind.generate(data, shape, a.size_mb)
        size = run_callgrind.tree_bytes(tree)
        kinds = ["floor", "baseline"] + (["program1", "program2"] if program else []) + ["pyarrow"]
        if shape != "transcripts":
            kinds += ["to_jsonl", "parse"]
        child_floor(str(tree))  # the page cache filled before any timed run
        rows = best(kinds, tree, env, program, a.runs)
        figures["trees"][shape] = {"bytes": size, "rows": rows}
        print(f"{shape} ({size / MB:.1f} MB)     {'CPU s':>8} {'MB/s CPU':>9} {'wall s':>8}")
        for kind in kinds:
            r = rows[kind]
            print(f"  {kind:<18} {r['cpu']:8.3f} {size / MB / r['cpu']:9.1f} {r['wall']:8.3f}")
        cpu = {k: r["cpu"] for k, r in rows.items()}
        ratios = []
        if program:
            ratios.append(("program / floor", cpu["floor"] / cpu["program1"], ">= 0.4"))
        ratios.append(("pyarrow.table(Timeline) / baseline", cpu["baseline"] / cpu["pyarrow"], ">= 2.5"))
        if "to_jsonl" in cpu:
            ratios.append(("to_jsonl / baseline", cpu["baseline"] / cpu["to_jsonl"], ">= 2"))
            ratios.append(("parse / baseline", cpu["baseline"] / cpu["parse"], ">= 1.5"))
        if program:
            ratios.append(("program, two threads / one (wall)", rows["program1"]["wall"] / rows["program2"]["wall"],
                           ">= 1.6"))
        figures["trees"][shape]["ratios"] = {name: value for name, value, _ in ratios}
        for name, value, target in ratios:
            print(f"  {name:<40} {value:6.2f}   target {target}")
        print()
    if program and a.files:
        many, few = run_callgrind.many_files_trees(data, a.files)
        rows = best(["program1"], many, env, program, a.runs)["program1"], \
            best(["program1"], few, env, program, a.runs)["program1"]
        per_file = (rows[0]["cpu"] - rows[1]["cpu"]) / (a.files - 20) * 1e6
        figures["per_file"] = {"files": a.files, "many": rows[0], "few": rows[1], "us_per_file": per_file}
        print(f"{a.files} small files: {rows[0]['cpu']:.3f} s CPU; the same lines in 20 files: "
              f"{rows[1]['cpu']:.3f} s ({rows[0]['cpu'] / rows[1]['cpu']:.2f}x, target <= 1.3); "
              f"{per_file:.1f} us per file (target <= 8)")
    if program and a.events:
        one, two = run_callgrind.tiny_event_trees(data, a.events)
        c1 = best(["program1"], one, env, program, a.runs)["program1"]["cpu"]
        c2 = best(["program1"], two, env, program, a.runs)["program1"]["cpu"]
        figures["per_event"] = {"events": a.events, "one": c1, "two": c2, "us_per_event": (c2 - c1) / a.events * 1e6}
        print(f"tiny events: {(c2 - c1) / a.events * 1e6:.2f} us of CPU per event")
    figures["load_after"] = load()
    print(f"\nload average after: {figures['load_after']}")
    if a.json:
        pathlib.Path(a.json).write_text(json.dumps(figures, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
