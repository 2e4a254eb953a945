#!/usr/bin/env python3
"""Reading speed of Copilot CLI and Aider files against Claude Code transcripts.

Generates (once, under bench/data) a `.copilot` root and an Aider place (see
gen_agents_tree.py) and a transcript root (gen_claude_transcripts.py) of
about the same size, then runs the program on one thread over each, several
times, and prints the best CPU time, the throughput per input byte and the
peak memory, with each reader's throughput over the transcript reader's.
Two jobs are timed, as in run_transcripts_bench.py: the reading alone (a
filter that keeps no event) and the whole JSON-lines rendering.

    python bench/run_agents_bench.py --size-mb 100 --runs 3 [--program build/dev/vellumtrace]
"""

from __future__ import annotations

import argparse
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from run_transcripts_bench import timed  # noqa: E402  (one way of timing a run)


def tree_bytes(root: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in root.rglob("*") if p.is_file())


def ensure_trees(size_mb: float) -> dict[str, pathlib.Path]:
    data = HERE / "data"
    claude = data / f"claude-transcripts-{size_mb:g}"
    agents = data / f"agents-{size_mb:g}"
    if not claude.is_dir():
        subprocess.run([sys.executable, str(HERE / "gen_claude_transcripts.py"), str(claude), "--size-mb",
                        str(size_mb)], check=True)
    if not agents.is_dir():
        subprocess.run([sys.executable, str(HERE / "gen_agents_tree.py"), str(agents), "--size-mb", str(size_mb)],
                       check=True)
    return {"claude": claude / ".claude", "copilot": agents / ".copilot", "aider": agents / "aider"}


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=100.0)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--program", default=shutil.which("vellumtrace") or str(HERE.parent / ".venv/bin/vellumtrace"))
    a = p.parse_args()
    roots = ensure_trees(a.size_mb)
    sizes = {name: tree_bytes(root) for name, root in roots.items()}
    for job, extra in (("reading", ["--event-type", "session_start", "--session", "no-such-session"]), ("jsonl", [])):
        speed = {}
        for name, root in roots.items():
            runs = [timed(a.program, root, extra) for _ in range(a.runs)]
            cpu = min(r[0] for r in runs)
            speed[name] = sizes[name] / cpu
            print(f"{job:8s} {name:8s} {sizes[name] / 1e6:7.1f} MB  cpu {cpu:6.2f} s  "
                  f"{sizes[name] / 1e6 / cpu:6.1f} MB/s  peak {max(r[1] for r in runs):7.1f} MiB")
        for name in ("copilot", "aider"):
            print(f"{job:8s} {name} throughput / transcript throughput: {speed[name] / speed['claude']:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
