#!/usr/bin/env python3
"""Time `vellumtrace.to_jsonl` over a synthetic `.codex` tree with different
VELLUMTRACE_THREADS settings, and print each setting's throughput next to the
single-thread one.

Runs of the settings alternate, each in a fresh child interpreter that reports
its own wall time around the call; the minimum and the median of --runs runs
are printed, since other work on the machine skews single runs.

    PYTHONPATH=build/bench python bench/run_threads_bench.py --size-mb 100
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"
MB = 1_000_000

CHILD = """
import resource, sys, time, vellumtrace
def cpu():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime
start, used = time.perf_counter(), cpu()
text = vellumtrace.to_jsonl(sys.argv[1])
print(time.perf_counter() - start, cpu() - used, len(text))
"""


def tree_bytes(root: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in root.rglob("*") if p.is_file())


def one_run(tree: pathlib.Path, threads: str) -> tuple[float, float, int]:
    """Wall seconds, CPU seconds (all threads) and output length of one call."""
    env = dict(os.environ, VELLUMTRACE_THREADS=threads)
    out = subprocess.run([sys.executable, "-c", CHILD, str(tree)], env=env, check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]), int(out[2])


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=100.0)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--threads", default="1,2", help="comma-separated settings; the first is the reference")
    args = p.parse_args(argv)

    tree = DATA / f"threads-{args.size_mb:g}mb-{args.seed}"
    if not (tree / ".codex").is_dir():
        subprocess.run([sys.executable, str(HERE / "gen_codex_tree.py"), str(tree),
                        "--size-mb", str(args.size_mb), "--seed", str(args.seed)], check=True)
    size = tree_bytes(tree)
    settings = args.threads.split(",")
    times: dict[str, list[float]] = {s: [] for s in settings}
    cpus: dict[str, list[float]] = {s: [] for s in settings}
    lengths = set()
    one_run(tree, settings[0])  # warms the page cache
    for _ in range(args.runs):
        for s in settings:
            seconds, cpu, length = one_run(tree, s)
            times[s].append(seconds)
            cpus[s].append(cpu / seconds)
            lengths.add(length)
    if len(lengths) != 1:
        print("outputs differ in length between settings:", sorted(lengths))
        return 1
    ref = statistics.median(times[settings[0]])
    rows = []
    print(f"tree {tree} ({size / MB:.1f} MB), {args.runs} runs per setting, cores {os.cpu_count()}")
    print(f"{'threads':>8} {'min s':>8} {'median s':>9} {'best MB/s':>10} {'median MB/s':>12} {'speed-up':>9}"
          f" {'cores used':>11}")
    for s in settings:
        lo, med = min(times[s]), statistics.median(times[s])
        used = statistics.median(cpus[s])
        rows.append({"threads": s, "min_s": lo, "median_s": med, "speedup_median": ref / med,
                     "cores_used_median": used})
        print(f"{s:>8} {lo:8.2f} {med:9.2f} {size / MB / lo:10.1f} {size / MB / med:12.1f} {ref / med:8.2f}x"
              f" {used:11.2f}")
    print(json.dumps(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
