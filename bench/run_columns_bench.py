#!/usr/bin/env python3
"""The Timeline's columns against the other ways of getting the timeline.

Over the generated `.codex` tree of run_bench.py (200 MB, seed 7, generated
once into bench/data/), each row in a fresh child interpreter on one thread
(VELLUMTRACE_THREADS=1), runs interleaved, the fastest run counting and the
highest peak RSS (VmHWM) of any run:

- the floor: read and SHA-256 of every input file in 64 KiB blocks;
- the plain-Python baseline: `json.loads` and SHA-256 per line;
- `vellumtrace.parse` and `vellumtrace.to_jsonl`;
- `pyarrow.table(vellumtrace.Timeline(tree))`, pyarrow imported and set up
  (one empty table read) before the clock starts; its own memory, about
  70 MiB, is in the peak;
- `vellumtrace.Timeline(tree)` alone, for the peak memory of the Timeline.

Then the ratios against their targets: Timeline consumed by pyarrow / baseline
(>= 3), / floor (>= 0.5), and the Timeline's peak RSS against the input size.

    .venv/bin/python bench/run_columns_bench.py --module-path build/bench
"""

from __future__ import annotations

import argparse
import json
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_bench  # noqa: E402
import run_targets  # noqa: E402
from run_bench import MB, mib  # noqa: E402


def child_timeline_pyarrow(path: str) -> dict:
    import pyarrow as pa
    import vellumtrace
    pa.table(vellumtrace.Timeline())  # pyarrow's one-time set-up (about 0.4 s) stays off the clock
    start = time.perf_counter()
    table = pa.table(vellumtrace.Timeline(path))
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "rows": table.num_rows, "column_bytes": table.nbytes}


def child_timeline(path: str) -> dict:
    import vellumtrace
    start = time.perf_counter()
    timeline = vellumtrace.Timeline(path)
    return {"seconds": time.perf_counter() - start, "rows": len(timeline)}


CHILDREN = {**run_targets.CHILDREN, "timeline_pyarrow": child_timeline_pyarrow, "timeline": child_timeline}
ROWS = [("floor", "read + sha256 per file (floor)"), ("baseline", "json.loads + sha256 per line"),
        ("parse", "vellumtrace.parse"), ("to_jsonl", "vellumtrace.to_jsonl"),
        ("timeline_pyarrow", "pyarrow.table(Timeline)"), ("timeline", "Timeline alone")]


def child_main(kind: str, path: str) -> int:
    if kind not in ("floor", "baseline"):
        import vellumtrace  # noqa: F401  (loaded before the clock starts)
    result = CHILDREN[kind](path)
    result["peak_rss_kib"] = run_bench.peak_rss_kib()
    result["cpu_seconds"] = 0.0
    print(json.dumps(result))
    return 0


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--module-path", help="directory holding the built module, put first on PYTHONPATH")
    p.add_argument("--child", nargs=2, metavar=("KIND", "PATH"), help=argparse.SUPPRESS)
    a = p.parse_args(argv)
    if a.child:
        return child_main(*a.child)
    env = dict(os.environ, VELLUMTRACE_THREADS="1")
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))
    tree = run_bench.ensure_tree(a.size_mb, a.seed)
    files = run_bench.input_files(tree)
    total = sum(f.stat().st_size for f in files)
    print(f"tree: {tree} ({len(files)} files, {total / MB:.1f} MB), one thread\n")

    def job(kind):
        return lambda: run_bench.run_child(kind, tree, env, script=__file__)

    job("floor")()  # fills the page cache before any timed run
    best = run_targets.measure([(kind, job(kind)) for kind, _ in ROWS], a.runs)
    print(f"{'':34} {'best s':>8} {'MB/s':>8} {'peak RSS MiB':>13}   runs (s)")
    for kind, name in ROWS:
        r = best[kind]
        print(f"{name:34} {r['seconds']:8.3f} {total / MB / r['seconds']:8.1f} "
              f"{mib(r['peak_rss_kib']):13.1f}   {r['all_seconds']}")
    sec = {k: r["seconds"] for k, r in best.items()}
    rows = best["timeline_pyarrow"]
    print(f"\nrows {rows['rows']}, columns {rows['column_bytes'] / MB:.1f} MB")
    report = run_targets.Report()
    report.target("pyarrow.table(Timeline) / baseline", sec["baseline"] / sec["timeline_pyarrow"], ">=", 3)
    report.target("pyarrow.table(Timeline) / floor", sec["floor"] / sec["timeline_pyarrow"], ">=", 0.5)
    report.target("Timeline peak RSS / input size", best["timeline"]["peak_rss_kib"] * 1024 / total, "<", 1)
    report.target("pyarrow.table(Timeline) peak RSS / input size",
                  best["timeline_pyarrow"]["peak_rss_kib"] * 1024 / total, "<", 1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
