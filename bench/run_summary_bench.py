#!/usr/bin/env python3
"""Peak memory and CPU time of the program's --summary beside a JSON-lines run
of the same tree (the summary keeps no raw records: its peak should stay
within 10 % of the JSON-lines run's).

Each run is a fresh child; its peak resident set (ru_maxrss) and CPU time
come from wait4, so nothing of this script's own memory counts. The trees are
generated on first use (gen_claude_transcripts.py, gen_codex_tree.py) into
--data (git-ignored bench/data by default) and reused.

    python bench/run_summary_bench.py --program build/dev/vellumtrace --size-mb 200
"""

from __future__ import annotations

import argparse
import os
import pathlib
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent


def child_usage(argv: list[str]) -> tuple[float, float]:
    """(peak RSS in MiB, CPU seconds) of one run of `argv`, output discarded."""
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(argv, stdout=sink, stderr=sink)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime


def tree(data: pathlib.Path, kind: str, size_mb: float) -> pathlib.Path:
    out = data / f"summary-{kind}-{size_mb:g}"
    root = out / (".claude" if kind == "claude" else ".codex")
    if not root.exists():
        script = "gen_claude_transcripts.py" if kind == "claude" else "gen_codex_tree.py"
        target = out if kind == "claude" else root
        subprocess.run([sys.executable, str(HERE / script), str(target), "--size-mb", str(size_mb)], check=True)
    return root


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", required=True, help="the vellumtrace program to measure")
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--data", type=pathlib.Path, default=HERE / "data")
    p.add_argument("--runs", type=int, default=2, help="runs per measurement; the lowest peak counts")
    args = p.parse_args()
    print(f"{'tree':8} {'run':10} {'peak MiB':>9} {'CPU s':>7}")
    for kind in ("claude", "codex"):
        root = tree(args.data, kind, args.size_mb)
        peaks = {}
        for name, extra in (("jsonl", ["-f", "jsonl"]), ("summary", ["--summary", "-f", "json"])):
            runs = [child_usage([args.program, str(root), "-q", *extra]) for _ in range(args.runs)]
            peak, cpu = min(r[0] for r in runs), min(r[1] for r in runs)
            peaks[name] = peak
            print(f"{kind:8} {name:10} {peak:9.1f} {cpu:7.2f}")
        ratio = peaks["summary"] / peaks["jsonl"]
        print(f"{kind:8} summary / jsonl peak: {ratio:.3f} ({'within' if ratio <= 1.10 else 'over'} 10 %)")


if __name__ == "__main__":
    main()
