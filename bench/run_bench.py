#!/usr/bin/env python3
"""Time `vellumtrace.parse` against a plain-Python floor, and measure what one
huge line costs in memory.

1. Over a synthetic `.codex` tree (200 MB by default, generated once into
   bench/data/): the throughput of `vellumtrace.parse` (MB of input per second,
   wall clock, best of --runs) and its peak RSS, next to a baseline that only
   does `json.loads` and `hashlib.sha256` on every line of the same files.
2. Over a rollout file holding one line of 1 GiB: the peak RSS a parse with
   default options adds over a parse of an empty rollout file.

Every measurement runs in a fresh child interpreter, which reports its own wall
time around the work and its peak resident set (VmHWM).

    PYTHONPATH=build/sample python bench/run_bench.py
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import pathlib
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"
MB = 1_000_000
MIB = 1 << 20
SESSION_DIR = pathlib.Path(".codex", "sessions", "2025", "11", "05")
BIG_NAME = "rollout-2025-11-05T09-13-12-0199a4e2-7c3b-7d10-b8f5-2e6a91c04d7b.jsonl"

sys.path.insert(0, str(HERE))
import gen_codex_tree  # noqa: E402


# ----------------------------------------------------------------- children

def peak_rss_kib() -> int:
    try:
        with open("/proc/self/status", encoding="ascii") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    import resource
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss  # KiB on Linux


def child_parse(path: str) -> dict:
    import vellumtrace
    start = time.perf_counter()
    report = vellumtrace.parse(path)
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "events": len(report["events"]),
            "diagnostics": len(report["diagnostics"]),
            "diagnostic_messages": [d["message"] for d in report["diagnostics"][:3]],
            "module": vellumtrace.__file__}


def child_import(_path: str) -> dict:
    import vellumtrace
    return {"seconds": 0.0, "module": vellumtrace.__file__}


def input_files(root: pathlib.Path) -> list[pathlib.Path]:
    codex = root / ".codex"
    files = [codex / "history.jsonl"] if (codex / "history.jsonl").is_file() else []
    files += sorted((codex / "sessions").rglob("rollout-*.jsonl"))
    return files


def child_baseline(path: str) -> dict:
    start = time.perf_counter()
    lines = 0
    for file in input_files(pathlib.Path(path)):
        digest = hashlib.sha256()
        with open(file, "rb") as f:
            for line in f:
                digest.update(line)
                if line.strip():
                    json.loads(line)
                    lines += 1
        digest.hexdigest()
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "lines": lines}


CHILDREN = {"parse": child_parse, "import": child_import, "baseline": child_baseline}


def child_main(kind: str, path: str) -> int:
    result = CHILDREN[kind](path)
    result["peak_rss_kib"] = peak_rss_kib()
    print(json.dumps(result))
    return 0


# ------------------------------------------------------------------ parent

def run_child(kind: str, path: pathlib.Path, env: dict, script: str = __file__) -> dict:
    """Runs `script --child KIND PATH` and returns the figures it printed last."""
    proc = subprocess.run([sys.executable, str(pathlib.Path(script).resolve()), "--child", kind, str(path)],
                          env=env, capture_output=True, text=True)
    if proc.returncode != 0:
        raise SystemExit(f"{kind} child failed on {path}:\n{proc.stderr.strip()}")
    return json.loads(proc.stdout.strip().splitlines()[-1])


def best_of(kind: str, path: pathlib.Path, env: dict, runs: int) -> dict:
    results = [run_child(kind, path, env) for _ in range(runs)]
    best = min(results, key=lambda r: r["seconds"])
    best["peak_rss_kib"] = max(r["peak_rss_kib"] for r in results)
    best["all_seconds"] = [round(r["seconds"], 3) for r in results]
    return best


def ensure_tree(size_mb: float, seed: int) -> pathlib.Path:
    tree = DATA / f"codex-{size_mb:g}mb-seed{seed}"
    marker = tree / ".complete"
    if not marker.is_file():
        print(f"generating {size_mb:g} MB tree into {tree} ...", flush=True)
        if tree.exists():
            import shutil
            shutil.rmtree(tree)
        gen_codex_tree.write_tree(str(tree), int(size_mb * MB), seed)
        marker.write_text("ok\n")
    return tree


def ensure_single_line(size_mib: float) -> tuple[pathlib.Path, pathlib.Path]:
    big = DATA / f"bigline-{size_mib:g}mib" / SESSION_DIR / BIG_NAME
    size = int(size_mib * MIB)
    if not big.is_file() or big.stat().st_size != size:
        print(f"generating a {size_mib:g} MiB single-line rollout file into {big} ...", flush=True)
        gen_codex_tree.write_single_line(str(big), size)
    empty = DATA / "emptyline" / SESSION_DIR / BIG_NAME
    empty.parent.mkdir(parents=True, exist_ok=True)
    empty.write_bytes(b"")
    return big, empty


def mib(kib: int) -> float:
    return kib / 1024


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description="Throughput and memory of vellumtrace.parse.")
    p.add_argument("--size-mb", type=float, default=200.0, help="size of the synthetic tree (MB)")
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--runs", type=int, default=3, help="runs per measurement; the fastest counts")
    p.add_argument("--line-mib", type=float, default=1024.0, help="size of the single-line file (MiB)")
    p.add_argument("--skip-line", action="store_true", help="skip the single-line measurement")
    p.add_argument("--module-path", help="directory holding the built module, put first on PYTHONPATH")
    p.add_argument("--child", nargs=2, metavar=("KIND", "PATH"), help=argparse.SUPPRESS)
    a = p.parse_args(argv)
    if a.child:
        return child_main(*a.child)

    env = dict(os.environ)
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))
    module = run_child("import", HERE, env)["module"]
    print(f"module: {module}")

    tree = ensure_tree(a.size_mb, a.seed)
    files = input_files(tree)
    total = sum(f.stat().st_size for f in files)
    print(f"tree:   {tree} ({len(files) - 1} rollout files + history, {total / MB:.1f} MB)\n")

    parse = best_of("parse", tree, env, a.runs)
    base = best_of("baseline", tree, env, a.runs)
    rows = [("vellumtrace.parse", parse), ("json.loads + sha256 per line", base)]
    print(f"{'':30} {'best s':>8} {'MB/s':>8} {'peak RSS MiB':>13}   runs (s)")
    for name, r in rows:
        print(f"{name:30} {r['seconds']:8.3f} {total / MB / r['seconds']:8.1f} {mib(r['peak_rss_kib']):13.1f}   {r['all_seconds']}")
    ratio = (total / parse["seconds"]) / (total / base["seconds"])
    print(f"\nparse events: {parse['events']}, diagnostics: {parse['diagnostics']}; baseline lines: {base['lines']}")
    if parse["diagnostics"]:
        print(f"first diagnostics: {parse['diagnostic_messages']}")
    print(f"throughput ratio parse/baseline: {ratio:.2f} (target: at least 0.40)")

    if a.skip_line:
        return 0
    big, empty = ensure_single_line(a.line_mib)
    print(f"\nsingle line: {big} ({big.stat().st_size / MIB:.0f} MiB, one line)")
    idle = best_of("parse", empty, env, a.runs)
    heavy = best_of("parse", big, env, 1)
    added = mib(heavy["peak_rss_kib"] - idle["peak_rss_kib"])
    print(f"empty rollout file:   peak RSS {mib(idle['peak_rss_kib']):7.1f} MiB")
    print(f"single-line file:     peak RSS {mib(heavy['peak_rss_kib']):7.1f} MiB, parse {heavy['seconds']:.2f} s "
          f"({big.stat().st_size / MB / heavy['seconds']:.0f} MB/s), "
          f"{heavy['events']} events, {heavy['diagnostics']} diagnostics")
    if heavy["diagnostic_messages"]:
        print(f"  {heavy['diagnostic_messages'][0]}")
    print(f"peak RSS added by the line: {added:.1f} MiB (target: under 64 MiB)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
