#!/usr/bin/env python3
"""Reading speed of Claude Code transcripts against Codex rollouts of the same size.

Generates (once, under bench/data) a transcript root and a Codex tree of
about the same number of bytes, then runs the program on one thread over
each, several times, and prints the best CPU time, the throughput per input
byte and the peak memory of each, with the ratio. Two jobs are timed: the
reading alone (a filter that keeps no event, so nothing is rendered) and the
whole JSON-lines rendering to /dev/null.

    python bench/run_transcripts_bench.py --size-mb 500 --runs 3 [--program .venv/bin/vellumtrace]
"""

from __future__ import annotations

import argparse
import os
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent



def tree_bytes(root: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in root.rglob("*.jsonl") if p.is_file())


def generated(size_mb: float, script: str, name: str) -> pathlib.Path:
    """The tree `script` writes at that size under bench/data/<name>-<size>, written once."""
    out = HERE / "data" / f"{name}-{size_mb:g}"
    if not out.is_dir():
        subprocess.run([sys.executable, str(HERE / script), str(out), "--size-mb", str(size_mb)], check=True)
    return out


def ensure_trees(size_mb: float) -> tuple[pathlib.Path, pathlib.Path]:
    return (generated(size_mb, "gen_claude_transcripts.py", "claude-transcripts") / ".claude",
            generated(size_mb, "gen_codex_tree.py", "codex") / ".codex")


def timed(program: str, root: pathlib.Path, extra: list[str]) -> tuple[float, float]:
    """CPU seconds and peak MiB of one run of the program."""
    env = dict(os.environ, VELLUMTRACE_THREADS="1")
    with open(os.devnull, "wb") as sink:
        child = subprocess.Popen([program, str(root), "-q", "-f", "jsonl", *extra], stdout=sink, env=env)
        _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        raise SystemExit(f"{program} failed on {root}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def compare(program: str, runs: int, trees: dict[str, tuple[pathlib.Path, int]], label: str) -> None:
    """Times the program over the two trees ({name: (root, input bytes)}) for
    each job and prints their figures and the first's throughput over the second's."""
    (first, _), (second, _) = trees.items()
    for job, extra in (("reading", ["--event-type", "session_start", "--session", "no-such-session"]), ("jsonl", [])):
        figures = {}
        for name, (root, size) in trees.items():
            timings = [timed(program, root, extra) for _ in range(runs)]
            cpu = min(t[0] for t in timings)
            figures[name] = size / cpu
            print(f"{job:8s} {name:7s} {size / 1e6:7.1f} MB  cpu {cpu:6.2f} s  "
                  f"{size / 1e6 / cpu:6.1f} MB/s  peak {max(t[1] for t in timings):7.1f} MiB")
        print(f"{job:8s} {label}: {figures[first] / figures[second]:.2f}")


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=500.0)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--program", default=shutil.which("vellumtrace") or str(HERE.parent / ".venv/bin/vellumtrace"))
    a = p.parse_args()
    claude, codex = ensure_trees(a.size_mb)
    compare(a.program, a.runs, {"claude": (claude, tree_bytes(claude)), "codex": (codex, tree_bytes(codex))},
            "transcript throughput / rollout throughput")
    return 0


if __name__ == "__main__":
    sys.exit(main())
