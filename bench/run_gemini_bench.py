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
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from run_transcripts_bench import compare, generated  # noqa: E402


def tree_bytes(root: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in root.rglob("*") if p.is_file())


def ensure_trees(size_mb: float) -> tuple[pathlib.Path, pathlib.Path]:
    return (generated(size_mb, "gen_gemini_tree.py", "gemini") / ".gemini",
            generated(size_mb, "gen_claude_transcripts.py", "claude-transcripts") / ".claude")


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--program", default=shutil.which("vellumtrace") or str(HERE.parent / ".venv/bin/vellumtrace"))
    a = p.parse_args()
    gemini, claude = ensure_trees(a.size_mb)
    compare(a.program, a.runs,
            {"gemini": (gemini, tree_bytes(gemini)), "claude": (claude, tree_bytes(claude / "projects"))},
            "Gemini throughput / transcript throughput")
    return 0


if __name__ == "__main__":
    sys.exit(main())
