#!/usr/bin/env python3
"""Reading speed of a Gemini CLI home against Claude Code transcripts of the same size.

Generates (once, under bench/data) a `.gemini` home (sessions as lines and as
documents, prompt logs) and a transcript root of about the same number of
bytes, then runs the program on one thread over each, several times, and
prints the best CPU time, the throughput per input byte and the peak memory
of each, with the ratio (goal: the Gemini reading at least 1/1.5 of the
transcripts' throughput). Two jobs are timed: the reading alone (a filter
that keeps no event) and the whole JSON-lines rendering to /dev/null.

    python bench/run_gemini_bench.py --size-mb 200 --runs 3 [--program build/dev/vellumtrace]
"""

from __future__ import annotations

import argparse
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from run_transcripts_bench import timed  # noqa: E402


def tree_bytes(root: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in root.rglob("*") if p.is_file())


def ensure_trees(size_mb: float) -> tuple[pathlib.Path, pathlib.Path]:
    data = HERE / "data"
    gemini = data / f"gemini-{size_mb:g}"
    claude = data / f"claude-transcripts-{size_mb:g}"
    for script, out in (("gen_gemini_tree.py", gemini), ("gen_claude_transcripts.py", claude)):
        if not out.is_dir():
            subprocess.run([sys.executable, str(HERE / script), str(out), "--size-mb", str(size_mb)], check=True)
    return gemini / ".gemini", claude / ".claude"


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--program", default=shutil.which("vellumtrace") or str(HERE.parent / ".venv/bin/vellumtrace"))
    a = p.parse_args()
    gemini, claude = ensure_trees(a.size_mb)
    sizes = {"gemini": tree_bytes(gemini), "claude": tree_bytes(claude / "projects")}
    for job, extra in (("reading", ["--event-type", "session_start", "--session", "no-such-session"]), ("jsonl", [])):
        figures = {}
        for name, root in (("gemini", gemini), ("claude", claude)):
            runs = [timed(a.program, root, extra) for _ in range(a.runs)]
            cpu = min(r[0] for r in runs)
            figures[name] = cpu
            print(f"{job:8s} {name:7s} {sizes[name] / 1e6:7.1f} MB  cpu {cpu:6.2f} s  "
                  f"{sizes[name] / 1e6 / cpu:6.1f} MB/s  peak {max(r[1] for r in runs):7.1f} MiB")
        ratio = (sizes["gemini"] / figures["gemini"]) / (sizes["claude"] / figures["claude"])
        print(f"{job:8s} Gemini throughput / transcript throughput: {ratio:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
