#!/usr/bin/env python3
"""Every speed target of vellumtrace measured side by side in one run.

Run it once against the build before a change and once against the build
after it (on a quiet machine), each time with --json, then print both next to
each other with --compare:

    python bench/run_targets.py --module-path build/before --program build/before/vellumtrace --json before.json
    python bench/run_targets.py --module-path build/after --program build/after/vellumtrace --json after.json
    python bench/run_targets.py --compare before.json after.json

Over the generated `.codex` tree of run_bench.py and the generated `.claude`
tree of run_claude_bench.py it times, each in a fresh child interpreter that
reports its wall time around the call and its peak resident set (VmHWM), with
the runs of all rows interleaved and the fastest run counting:

- the floor: read and SHA-256 every input file in 64 KiB blocks;
- the plain-Python baseline: `json.loads` and SHA-256 per line (whole cache
  and snapshot files hashed in blocks);
- `vellumtrace.parse`, `to_jsonl` on one and on two threads, `convert` to a
  JSON-lines file, and the program with `--format jsonl` (timed from outside).

Then the program's peak RSS on a rollout of two million `{}` lines, the peak
RSS one 1 GiB line adds over an empty rollout, and the instructions per input
byte of the program under callgrind over smaller trees.
"""

from __future__ import annotations

import argparse
import datetime as dt
import hashlib
import json
import os
import pathlib
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import gen_claude_tree  # noqa: E402
import instructions_per_byte  # noqa: E402
import run_bench  # noqa: E402
import run_claude_bench  # noqa: E402
from run_bench import MB, MIB, mib, peak_rss_kib  # noqa: E402

EMPTY_OBJECTS_NAME = pathlib.Path(".codex", "sessions", "2025", "01", "01",
                                  "rollout-2025-01-01T00-00-00-0197aaaa-0000-7000-8000-000000000000.jsonl")


# ----------------------------------------------------------------- children

def tree_files(path: pathlib.Path) -> list[pathlib.Path]:
    """The input files of a generated tree: rollouts and history of a `.codex`
    tree, or history, caches and snapshots of a `.claude` root."""
    if (path / ".codex").is_dir():
        return run_bench.input_files(path)
    history = path / "history.jsonl"
    return ([history] if history.is_file() else []) + run_claude_bench.whole_files(path)


def child_floor(path: str) -> dict:
    start = time.perf_counter()
    files = tree_files(pathlib.Path(path))
    for file in files:
        run_claude_bench.hash_blocks(file)
    return {"seconds": time.perf_counter() - start, "files": len(files)}


def child_baseline(path: str) -> dict:
    if (pathlib.Path(path) / ".codex").is_dir():
        return run_bench.child_baseline(path)
    return run_claude_bench.child_baseline(path)


def child_to_jsonl(path: str) -> dict:
    import vellumtrace
    start = time.perf_counter()
    text = vellumtrace.to_jsonl(path)
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "events": text.count("\n"), "output_chars": len(text),
            "output_sha256": hashlib.sha256(text.encode()).hexdigest()}


def child_convert(path: str) -> dict:
    import vellumtrace
    with tempfile.TemporaryDirectory(prefix="vt-convert-") as tmp:
        out = os.path.join(tmp, "out.jsonl")
        start = time.perf_counter()
        vellumtrace.convert(path, out, format="jsonl")
        seconds = time.perf_counter() - start
        return {"seconds": seconds, "output_bytes": os.path.getsize(out)}


CHILDREN = {"floor": child_floor, "baseline": child_baseline, "parse": run_bench.child_parse,
            "to_jsonl": child_to_jsonl, "convert": child_convert, "import": run_bench.child_import}


def cpu_seconds() -> float:
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def child_main(kind: str, path: str) -> int:
    if kind not in ("floor", "baseline"):
        import vellumtrace  # noqa: F401  (loaded before the CPU clock starts)
    used = cpu_seconds()
    result = CHILDREN[kind](path)
    result["cpu_seconds"] = cpu_seconds() - used
    result["peak_rss_kib"] = peak_rss_kib()
    print(json.dumps(result))
    return 0


# ------------------------------------------------------------------ parent

def run_child(kind: str, path: pathlib.Path, env: dict) -> dict:
    return run_bench.run_child(kind, path, env, script=__file__)


def run_program(program: str, path: pathlib.Path, env: dict) -> dict:
    """`PROGRAM PATH --format jsonl -q > /dev/null`: wall time around the
    process and its peak RSS as the kernel counted it."""
    with tempfile.TemporaryFile() as err, open(os.devnull, "wb") as null:
        start = time.perf_counter()
        proc = subprocess.Popen([program, str(path), "--format", "jsonl", "-q"], stdout=null, stderr=err, env=env)
        _pid, status, usage = os.wait4(proc.pid, 0)
        seconds = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            err.seek(0)
            raise SystemExit(f"{program} exited with {proc.returncode} on {path}:\n"
                             f"{err.read().decode(errors='replace')[-2000:]}")
    return {"seconds": seconds, "cpu_seconds": usage.ru_utime + usage.ru_stime,
            "peak_rss_kib": usage.ru_maxrss, "exit_code": proc.returncode}


def measure(jobs: list[tuple[str, Callable[[], dict]]], runs: int) -> dict[str, dict]:
    """Runs every job --runs times, interleaved so that a change of load on the
    machine hits every row alike; keeps the fastest run and the highest peak."""
    results: dict[str, list[dict]] = {name: [] for name, _ in jobs}
    for _ in range(runs):
        for name, job in jobs:
            results[name].append(job())
    best = {}
    for name, rs in results.items():
        b = dict(min(rs, key=lambda r: r["seconds"]))
        b["peak_rss_kib"] = max(r["peak_rss_kib"] for r in rs)
        b["all_seconds"] = [round(r["seconds"], 3) for r in rs]
        best[name] = b
    return best


class Report:
    """Collects rows, ratios against their targets and single figures, prints
    them as they come and keeps every figure under a stable name for --json."""

    def __init__(self) -> None:
        self.figures: list[dict] = []
        self.targets: list[dict] = []
        self.details: dict = {}

    def figure(self, name: str, value: float, unit: str) -> None:
        self.figures.append({"name": name, "value": value, "unit": unit})

    def target(self, name: str, value: float, op: str, limit: float, unit: str = "") -> None:
        met = value >= limit if op == ">=" else value <= limit if op == "<=" else value < limit
        self.targets.append({"name": name, "value": value, "op": op, "target": limit, "unit": unit, "met": met})
        self.figure(name, value, unit or "x")
        print(f"  {name:<52} {value:9.2f}{unit:<4}  target {op} {limit:g}{unit}  {'met' if met else 'MISSED'}")


ROWS = [("floor", "read + sha256 per file (floor)"), ("baseline", "json.loads + sha256 per line"),
        ("parse", "vellumtrace.parse"), ("to_jsonl_1", "to_jsonl, VELLUMTRACE_THREADS=1"),
        ("to_jsonl_2", "to_jsonl, VELLUMTRACE_THREADS=2"), ("convert", "convert(format=jsonl)"),
        ("program", "program --format jsonl")]


def bench_tree(rep: Report, label: str, path: pathlib.Path, env: dict, program: str | None, runs: int) -> None:
    files = tree_files(path)
    total = sum(f.stat().st_size for f in files)
    print(f"\n{label}: {path} ({len(files)} input files, {total / MB:.1f} MB)")
    one, two = dict(env, VELLUMTRACE_THREADS="1"), dict(env, VELLUMTRACE_THREADS="2")
    jobs = [("floor", lambda: run_child("floor", path, env)),
            ("baseline", lambda: run_child("baseline", path, env)),
            ("parse", lambda: run_child("parse", path, env)),
            ("to_jsonl_1", lambda: run_child("to_jsonl", path, one)),
            ("to_jsonl_2", lambda: run_child("to_jsonl", path, two)),
            ("convert", lambda: run_child("convert", path, env))]
    if program:
        jobs.append(("program", lambda: run_program(program, path, env)))
    run_child("floor", path, env)  # fills the page cache before any timed run
    best = measure(jobs, runs)
    print(f"  {'':36} {'best s':>8} {'MB/s':>8} {'peak RSS MiB':>13} {'cores':>6}   runs (s)")
    for key, name in ROWS:
        if key not in best:
            continue
        r = best[key]
        rate = total / MB / r["seconds"]
        print(f"  {name:36} {r['seconds']:8.3f} {rate:8.1f} {mib(r['peak_rss_kib']):13.1f} "
              f"{r['cpu_seconds'] / r['seconds']:6.2f}   {r['all_seconds']}")
        rep.figure(f"{label}: {name} MB/s", rate, "MB/s")
        rep.figure(f"{label}: {name} peak RSS", mib(r["peak_rss_kib"]), "MiB")
    if best["to_jsonl_1"]["output_sha256"] != best["to_jsonl_2"]["output_sha256"]:
        print("  WARNING: to_jsonl output differs between 1 and 2 threads")
    print(f"  events: parse {best['parse']['events']}, to_jsonl {best['to_jsonl_1']['events']}; "
          f"diagnostics: {best['parse']['diagnostics']}")
    sec = {k: r["seconds"] for k, r in best.items()}
    rep.target(f"{label}: parse / baseline", sec["baseline"] / sec["parse"], ">=", 1.5)
    rep.target(f"{label}: to_jsonl(1 thread) / baseline", sec["baseline"] / sec["to_jsonl_1"], ">=", 3)
    rep.target(f"{label}: to_jsonl(1 thread) / floor", sec["floor"] / sec["to_jsonl_1"], ">=", 0.5)
    rep.target(f"{label}: to_jsonl(2 threads) / to_jsonl(1 thread)", sec["to_jsonl_1"] / sec["to_jsonl_2"],
               ">=", 1.7)
    over = (best["convert"]["peak_rss_kib"] * 1024 - total) / MB
    rep.target(f"{label}: convert peak RSS - input size", over, "<=", 100, " MB")
    rep.details[label] = {"path": str(path), "input_bytes": total, "files": len(files), "rows": best}


def bench_empty_objects(rep: Report, program: str, env: dict, runs: int, lines: int) -> None:
    with tempfile.TemporaryDirectory(prefix="vt-empty-objects-") as tmp:
        rollout = pathlib.Path(tmp, EMPTY_OBJECTS_NAME)
        rollout.parent.mkdir(parents=True)
        rollout.write_bytes(b"{}\n" * lines)
        print(f"\nprogram on {lines} lines of {{}} ({rollout.stat().st_size / MB:.1f} MB)")
        best = measure([("program", lambda: run_program(program, pathlib.Path(tmp), env))], runs)["program"]
    print(f"  best {best['seconds']:.3f} s, peak RSS {mib(best['peak_rss_kib']):.1f} MiB")
    rep.figure("empty objects: program seconds", best["seconds"], "s")
    rep.target("empty objects: program peak RSS", best["peak_rss_kib"] * 1024 / MB, "<=", 600, " MB")
    rep.details["empty_objects"] = {"lines": lines, "program": best}


def bench_line(rep: Report, program: str | None, env: dict, runs: int, size_mib: float) -> None:
    big, empty = run_bench.ensure_single_line(size_mib)
    print(f"\none line: {big} ({big.stat().st_size / MIB:.0f} MiB), peak RSS added over an empty rollout")
    jobs = [("parse", lambda p: run_child("parse", p, env))]
    if program:
        jobs.append(("program", lambda p: run_program(program, p, env)))
    details = {}
    for name, job in jobs:
        idle = measure([(name, lambda: job(empty))], runs)[name]
        heavy = measure([(name, lambda: job(big))], 1)[name]
        added = mib(heavy["peak_rss_kib"] - idle["peak_rss_kib"])
        print(f"  {name}: empty {mib(idle['peak_rss_kib']):.1f} MiB, one line {mib(heavy['peak_rss_kib']):.1f} MiB "
              f"in {heavy['seconds']:.2f} s")
        rep.target(f"one line: {name} peak RSS added", added, "<", 64, " MiB")
        details[name] = {"empty": idle, "line": heavy}
    rep.details["one_line"] = details


def bench_instructions(rep: Report, program: str, trees: list[tuple[str, pathlib.Path]]) -> None:
    print("\ninstructions per input byte (callgrind, program --format jsonl, VELLUMTRACE_THREADS=1)")
    saved = os.environ.get("VELLUMTRACE_THREADS")
    os.environ["VELLUMTRACE_THREADS"] = "1"
    try:
        details = {}
        for label, tree in trees:
            size = instructions_per_byte.tree_bytes(tree)
            count = instructions_per_byte.instructions(program, tree)
            print(f"  {label:<40} {size / MB:7.1f} MB {count:>15} instructions {count / size:8.1f} per byte",
                  flush=True)
            rep.figure(f"instructions per byte: {label}", count / size, "/B")
            details[label] = {"path": str(tree), "bytes": size, "instructions": count}
    finally:
        if saved is None:
            del os.environ["VELLUMTRACE_THREADS"]
        else:
            os.environ["VELLUMTRACE_THREADS"] = saved
    rep.details["instructions"] = details


def claude_tree(history_mb: float, cache_files: int, snapshots: int, seed: int) -> pathlib.Path:
    name = f"claude-{history_mb:g}mb-{cache_files}c-{snapshots}s-seed{seed}"
    return run_claude_bench.ensure(
        name, lambda out: gen_claude_tree.write_tree(out, history_mb, cache_files, snapshots, seed))


# ------------------------------------------------------------------ compare

def compare(before_path: str, after_path: str) -> int:
    before, after = (json.loads(pathlib.Path(p).read_text()) for p in (before_path, after_path))
    old = {f["name"]: f for f in before["figures"]}
    new = {f["name"]: f for f in after["figures"]}
    goals = {t["name"]: t for t in before["targets"] + after["targets"]}
    met = [{t["name"]: "met" if t["met"] else "missed" for t in run["targets"]} for run in (before, after)]
    names = [f["name"] for f in after["figures"]] + [n for n in old if n not in new]
    for label, run in (("before", before), ("after", after)):
        meta = run["meta"]
        print(f"{label}: {meta['date']}  module {meta['module']}  program {meta.get('program')}")
    for label in ("codex", "claude"):
        sizes = [run["details"].get(label, {}).get("input_bytes") for run in (before, after)]
        if None not in sizes and sizes[0] != sizes[1]:
            print(f"WARNING: the {label} trees differ ({sizes[0]} and {sizes[1]} bytes of input)")
    print(f"\n{'figure':<62} {'unit':>5} {'before':>10} {'after':>10} {'after/before':>13}  target")
    for name in names:
        a, b = old.get(name), new.get(name)
        unit = (a or b)["unit"]
        cells = [f"{x['value']:10.2f}" if x else f"{'-':>10}" for x in (a, b)]
        change = f"{b['value'] / a['value']:12.2f}x" if a and b and a["value"] else f"{'':>13}"
        goal = goals.get(name)
        mark = ""
        if goal:
            mark = (f"{goal['op']} {goal['target']:g}{goal['unit']}: "
                    f"{met[0].get(name, '-')} -> {met[1].get(name, '-')}")
        print(f"{name:<62} {unit:>5} {cells[0]} {cells[1]} {change}  {mark}")
    return 0


# --------------------------------------------------------------------- main

def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--module-path", help="directory holding the built module, put first on PYTHONPATH")
    p.add_argument("--program", default=shutil.which("vellumtrace"),
                   help="the program to run (default: vellumtrace on PATH)")
    p.add_argument("--data-dir", type=pathlib.Path, default=HERE / "data",
                   help="where generated inputs are kept and reused (default: bench/data)")
    p.add_argument("--codex-mb", type=float, default=200.0, help="size of the .codex tree (MB)")
    p.add_argument("--seed", type=int, default=7, help="seed of the .codex trees")
    p.add_argument("--claude-history-mb", type=float, default=50.0)
    p.add_argument("--claude-cache-files", type=int, default=10_000)
    p.add_argument("--claude-snapshots", type=int, default=20_000)
    p.add_argument("--claude-seed", type=int, default=11)
    p.add_argument("--runs", type=int, default=3, help="runs per measurement; the fastest counts")
    p.add_argument("--empty-lines", type=int, default=2_000_000, help="lines of {} for the program's memory")
    p.add_argument("--line-mib", type=float, default=1024.0, help="size of the single-line file (MiB)")
    p.add_argument("--skip-line", action="store_true", help="skip the single-line measurement")
    p.add_argument("--skip-claude", action="store_true", help="skip the .claude trees")
    p.add_argument("--skip-callgrind", action="store_true", help="skip instructions per byte")
    p.add_argument("--callgrind-codex-mb", type=float, default=20.0, help="size of the .codex tree under callgrind")
    p.add_argument("--callgrind-claude-history-mb", type=float, default=10.0)
    p.add_argument("--callgrind-claude-cache-files", type=int, default=1000)
    p.add_argument("--callgrind-claude-snapshots", type=int, default=2000)
    p.add_argument("--json", metavar="OUT", help="write every figure to OUT as JSON (for --compare)")
    p.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"), help="print two --json files side by side")
    p.add_argument("--child", nargs=2, metavar=("KIND", "PATH"), help=argparse.SUPPRESS)
    a = p.parse_args(argv)
    if a.child:
        return child_main(*a.child)
    if a.compare:
        return compare(*a.compare)

    run_bench.DATA = run_claude_bench.DATA = a.data_dir.resolve()
    env = dict(os.environ)
    env.pop("VELLUMTRACE_THREADS", None)
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))
    program = os.path.abspath(a.program) if a.program and os.path.isfile(a.program) else None
    module = run_child("import", HERE, env)["module"]
    print(f"module:  {module}\nprogram: {program or 'not found; program figures skipped'}\n"
          f"cores:   {os.cpu_count()}, runs per row: {a.runs}, MB = 10^6 bytes, MiB = 2^20 bytes")

    rep = Report()
    bench_tree(rep, "codex", run_bench.ensure_tree(a.codex_mb, a.seed), env, program, a.runs)
    if not a.skip_claude:
        claude = claude_tree(a.claude_history_mb, a.claude_cache_files, a.claude_snapshots, a.claude_seed)
        bench_tree(rep, "claude", claude, env, program, a.runs)
    if program:
        bench_empty_objects(rep, program, env, a.runs, a.empty_lines)
    if not a.skip_line:
        bench_line(rep, program, env, a.runs, a.line_mib)
    if program and not a.skip_callgrind:
        if not shutil.which("valgrind"):
            print("\nvalgrind not found; instructions per byte skipped")
        else:
            trees = [(f"codex {a.callgrind_codex_mb:g} MB", run_bench.ensure_tree(a.callgrind_codex_mb, a.seed))]
            if not a.skip_claude:
                trees.append((f"claude {a.callgrind_claude_history_mb:g} MB history, "
                              f"{a.callgrind_claude_cache_files}c, {a.callgrind_claude_snapshots}s",
                              claude_tree(a.callgrind_claude_history_mb, a.callgrind_claude_cache_files,
                                          a.callgrind_claude_snapshots, a.claude_seed)))
            bench_instructions(rep, program, trees)

    missed = [t["name"] for t in rep.targets if not t["met"]]
    print(f"\ntargets met: {len(rep.targets) - len(missed)} of {len(rep.targets)}")
    if a.json:
        meta = {"date": dt.datetime.now(dt.timezone.utc).isoformat(timespec="seconds"), "module": module,
                "program": program, "cores": os.cpu_count(), "argv": argv}
        pathlib.Path(a.json).write_text(json.dumps(
            {"meta": meta, "figures": rep.figures, "targets": rep.targets, "details": rep.details}, indent=1) + "\n")
        print(f"figures written to {a.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
