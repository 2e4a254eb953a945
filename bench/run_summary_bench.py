#!/usr/bin/env python3
"""Peak memory and CPU time of the program's --summary and of its HTML session
reports beside a JSON-lines run of the same tree (neither keeps raw records:
the summary's peak should stay within 10 % of the JSON-lines run's).

Each run is a fresh child; its peak resident set (ru_maxrss) and CPU time
come from wait4, so nothing of this script's own memory counts. The trees are
generated on first use into --data (git-ignored bench/data by default) and
reused: Claude Code transcripts (gen_claude_transcripts.py), a Claude Code
home of history, caches and snapshots (gen_claude_tree.py, its history
filling the size) and a Codex tree (gen_codex_tree.py). The HTML reports go
to a folder under --data, removed after each run.

    python bench/run_summary_bench.py --program build/dev/vellumtrace --size-mb 200
"""

from __future__ import annotations

import argparse
import os
import pathlib
import shutil
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


# Each kind of tree: its generator, the folder it is given (the root or the
# one holding it) and the options that make it about --size-mb large.
KINDS = {
    "claude": ("gen_claude_transcripts.py", ".claude", "out", lambda mb: ["--size-mb", str(mb)]),
    "home": ("gen_claude_tree.py", ".claude", "root",
             # The default caches and snapshots are about 60 MB; the history fills the rest.
             lambda mb: ["--history-mb", str(max(mb - 60, 1))]),
    "codex": ("gen_codex_tree.py", ".codex", "out", lambda mb: ["--size-mb", str(mb)]),
}


def tree(data: pathlib.Path, kind: str, size_mb: float) -> pathlib.Path:
    script, root_name, given, sized = KINDS[kind]
    out = data / f"summary-{kind}-{size_mb:g}"
    root = out / root_name
    if not root.exists():
        target = out if given == "out" else root
        subprocess.run([sys.executable, str(HERE / script), str(target), *sized(size_mb)], check=True)
    return root


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", required=True, help="the vellumtrace program to measure")
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--data", type=pathlib.Path, default=HERE / "data")
    p.add_argument("--runs", type=int, default=2, help="runs per measurement; the lowest peak counts")
    p.add_argument("--kinds", nargs="+", choices=list(KINDS), default=list(KINDS), help="the trees to measure")
    args = p.parse_args()
    report = args.data / "summary-bench-report"
    print(f"{'tree':8} {'run':10} {'peak MiB':>9} {'CPU s':>7}")
    for kind in args.kinds:
        root = tree(args.data, kind, args.size_mb)
        peaks = {}
        for name, extra in (("jsonl", ["-f", "jsonl"]), ("summary", ["--summary", "-f", "json"]),
                            ("html", ["-f", "html", "-o", str(report)])):
            runs = []
            for _ in range(args.runs):
                shutil.rmtree(report, ignore_errors=True)
                runs.append(child_usage([args.program, str(root), "-q", *extra]))
            shutil.rmtree(report, ignore_errors=True)
            peak, cpu = min(r[0] for r in runs), min(r[1] for r in runs)
            peaks[name] = peak
            print(f"{kind:8} {name:10} {peak:9.1f} {cpu:7.2f}")
        for name in ("summary", "html"):
            ratio = peaks[name] / peaks["jsonl"]
            print(f"{kind:8} {name} / jsonl peak: {ratio:.3f} ({'within' if ratio <= 1.10 else 'over'} 10 %)")


if __name__ == "__main__":
    main()
