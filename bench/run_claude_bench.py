#!/usr/bin/env python3
"""Time `vellumtrace.parse` and `vellumtrace.to_jsonl` over a `.claude` tree
against a plain-Python floor, and measure a cache of many small files.

1. Over a synthetic `.claude` tree (a 50 MB history, 10 000 cache files and
   20 000 snapshots by default, generated once into bench/data/): throughput
   (MB of input per second, wall clock, best of --runs) and peak RSS of
   `parse` and of `to_jsonl`, next to a baseline that runs `json.loads` and
   `hashlib.sha256` over every history line and hashes every cache and
   snapshot file in 64 KiB blocks.
2. Over a paste cache of 100 000 small files: wall time and peak RSS of
   `parse` (hashing streams, no content is read), next to the same baseline.

Every measurement runs in a fresh child interpreter, which reports its own wall
time around the work and its peak resident set (VmHWM).

    PYTHONPATH=build/bench python bench/run_claude_bench.py
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
BLOCK = 65536

sys.path.insert(0, str(HERE))
import gen_claude_tree  # noqa: E402
from run_bench import mib, peak_rss_kib  # noqa: E402


def whole_files(claude: pathlib.Path) -> list[pathlib.Path]:
    return sorted(p for name in ("paste-cache", "image-cache", "file-history")
                  for p in (claude / name).rglob("*") if p.is_file())


def child_parse(path: str) -> dict:
    import vellumtrace
    start = time.perf_counter()
    report = vellumtrace.parse(path)
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "events": len(report["events"]), "diagnostics": len(report["diagnostics"]),
            "module": vellumtrace.__file__}


def child_to_jsonl(path: str) -> dict:
    import vellumtrace
    start = time.perf_counter()
    text = vellumtrace.to_jsonl(path)
    seconds = time.perf_counter() - start
    return {"seconds": seconds, "events": text.count("\n"), "diagnostics": 0}


def hash_blocks(file: pathlib.Path) -> str:
    """SHA-256 of a whole file read in 64 KiB blocks, as any careful reader would."""
    digest = hashlib.sha256()
    with open(file, "rb") as f:
        while block := f.read(BLOCK):
            digest.update(block)
    return digest.hexdigest()


def child_baseline(path: str) -> dict:
    claude = pathlib.Path(path)
    start = time.perf_counter()
    lines = 0
    history = claude / "history.jsonl"
    if history.is_file():
        digest = hashlib.sha256()
        with open(history, "rb") as f:
            for line in f:
                digest.update(line)
                if line.strip():
                    json.loads(line)
                    lines += 1
        digest.hexdigest()
    files = whole_files(claude)
    for file in files:
        hash_blocks(file)
    return {"seconds": time.perf_counter() - start, "lines": lines, "files": len(files)}


CHILDREN = {"parse": child_parse, "to_jsonl": child_to_jsonl, "baseline": child_baseline}


def run_child(kind: str, path: pathlib.Path, env: dict) -> dict:
    proc = subprocess.run([sys.executable, str(pathlib.Path(__file__).resolve()), "--child", kind, str(path)],
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


def ensure(name: str, write) -> pathlib.Path:
    tree = DATA / name
    marker = tree / ".complete"
    if not marker.is_file():
        print(f"generating {tree} ...", flush=True)
        if tree.exists():
            import shutil
            shutil.rmtree(tree)
        write(str(tree))
        marker.write_text("ok\n")
    return tree / ".claude"


def input_bytes(claude: pathlib.Path) -> int:
    history = claude / "history.jsonl"
    return (history.stat().st_size if history.is_file() else 0) + sum(p.stat().st_size for p in whole_files(claude))


def table(rows, total: int) -> None:
    print(f"{'':34} {'best s':>8} {'MB/s':>8} {'peak RSS MiB':>13}   runs (s)")
    for name, r in rows:
        print(f"{name:34} {r['seconds']:8.3f} {total / MB / r['seconds']:8.1f} "
              f"{mib(r['peak_rss_kib']):13.1f}   {r['all_seconds']}")


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description="Throughput and memory of vellumtrace over a .claude tree.")
    p.add_argument("--history-mb", type=float, default=50.0)
    p.add_argument("--cache-files", type=int, default=10_000)
    p.add_argument("--snapshots", type=int, default=20_000)
    p.add_argument("--flat-files", type=int, default=100_000, help="files of the many-files cache (0: skip)")
    p.add_argument("--seed", type=int, default=11)
    p.add_argument("--runs", type=int, default=3, help="runs per measurement; the fastest counts")
    p.add_argument("--module-path", help="directory holding the built module, put first on PYTHONPATH")
    p.add_argument("--child", nargs=2, metavar=("KIND", "PATH"), help=argparse.SUPPRESS)
    a = p.parse_args(argv)
    if a.child:
        result = CHILDREN[a.child[0]](a.child[1])
        result["peak_rss_kib"] = peak_rss_kib()
        print(json.dumps(result))
        return 0

    env = dict(os.environ)
    if a.module_path:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(a.module_path), env.get("PYTHONPATH")]))

    name = f"claude-{a.history_mb:g}mb-{a.cache_files}c-{a.snapshots}s-seed{a.seed}"
    claude = ensure(name, lambda out: gen_claude_tree.write_tree(out, a.history_mb, a.cache_files, a.snapshots, a.seed))
    total = input_bytes(claude)
    print(f"tree: {claude} ({total / MB:.1f} MB: history {(claude / 'history.jsonl').stat().st_size / MB:.1f} MB, "
          f"{len(whole_files(claude))} cache and snapshot files)\n")
    parse = best_of("parse", claude, env, a.runs)
    jsonl = best_of("to_jsonl", claude, env, a.runs)
    base = best_of("baseline", claude, env, a.runs)
    table([("vellumtrace.parse", parse), ("vellumtrace.to_jsonl", jsonl),
           ("json.loads + sha256 (lines, files)", base)], total)
    print(f"\nparse events: {parse['events']}, diagnostics: {parse['diagnostics']}; "
          f"baseline lines: {base['lines']}, files: {base['files']}")
    for label, r in (("parse", parse), ("to_jsonl", jsonl)):
        print(f"throughput ratio {label}/baseline: {base['seconds'] / r['seconds']:.2f}")

    if a.flat_files:
        flat = ensure(f"flatcache-{a.flat_files}-seed{a.seed}",
                      lambda out: gen_claude_tree.write_flat_cache(out, a.flat_files, a.seed))
        cache = flat / "paste-cache"
        total = input_bytes(flat)
        print(f"\nmany files: {cache} ({a.flat_files} files, {total / MB:.1f} MB)")
        parse = best_of("parse", cache, env, a.runs)
        base = best_of("baseline", flat, env, a.runs)
        table([("vellumtrace.parse", parse), ("sha256 per file", base)], total)
        print(f"parse events: {parse['events']}, diagnostics: {parse['diagnostics']}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
