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


def ensure_trees(size_mb: float) -> tuple[pathlib.Path, pathlib.Path]:
    data = HERE / "data"
    claude = data / f"claude-transcripts-{size_mb:g}"
    codex = data / f"codex-{size_mb:g}"
    for script, out in (("gen_claude_transcripts.py", claude), ("gen_codex_tree.py", codex)):
        if not out.is_dir():
            subprocess.run([sys.executable, str(HERE / script), str(out), "--size-mb", str(size_mb)], check=True)
    return claude / ".claude", codex / ".codex"


def timed(program: str, root: pathlib.Path, extra: list[str]) -> tuple[float, float]:
    """CPU seconds and peak MiB of one run of the program."""
    env = dict(os.environ, VELLUMTRACE_THREADS="1")
    with open(os.devnull, "wb") as sink:
        child = subprocess.Popen([program, str(root), "-q", "-f", "jsonl", *extra], stdout=sink, env=env)
        _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        raise SystemExit(f"{program} failed on {root}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=500.0)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--program", default=shutil.which("vellumtrace") or str(HERE.parent / ".venv/bin/vellumtrace"))
    a = p.parse_args()
    claude, codex = ensure_trees(a.size_mb)
    sizes = {"claude": tree_bytes(claude), "codex": tree_bytes(codex)}
    for job, extra in (("reading", ["--event-type", "session_start", "--session", "no-such-session"]), ("jsonl", [])):
        figures = {}
        for name, root in (("claude", claude), ("codex", codex)):
            runs = [timed(a.program, root, extra) for _ in range(a.runs)]
            cpu = min(r[0] for r in runs)
            figures[name] = cpu
            print(f"{job:8s} {name:7s} {sizes[name] / 1e6:7.1f} MB  cpu {cpu:6.2f} s  "
                  f"{sizes[name] / 1e6 / cpu:6.1f} MB/s  peak {max(r[1] for r in runs):7.1f} MiB")
        ratio = (sizes["claude"] / figures["claude"]) / (sizes["codex"] / figures["codex"])
        print(f"{job:8s} transcript throughput / rollout throughput: {ratio:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
