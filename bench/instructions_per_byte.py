"""Instructions per input byte of the program, counted by callgrind.

Runs `PROGRAM TREE --format jsonl > /dev/null` under `valgrind --tool=callgrind`
for each tree and prints the instructions executed divided by the bytes of
every regular file under the tree. Unlike wall time, the count does not drift
with the load of the machine (it moves by well under 1 % from run to run).
"""

from __future__ import annotations

import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys

COLLECTED = re.compile(r"Collected\s*:\s*(\d+)")


def tree_bytes(tree: pathlib.Path) -> int:
    total = 0
    for root, _dirs, files in os.walk(tree):
        for name in files:
            path = pathlib.Path(root, name)
            if path.is_file() and not path.is_symlink():
                total += path.stat().st_size
    return total


def instructions(program: str, tree: pathlib.Path) -> int:
    cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
           program, str(tree), "--format", "jsonl"]
    done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    found = COLLECTED.findall(done.stderr)
    if not found:
        raise RuntimeError(f"no instruction count from callgrind:\n{done.stderr[-2000:]}")
    return int(found[-1])


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("trees", nargs="+", type=pathlib.Path)
    p.add_argument("--program", default=shutil.which("vellumtrace") or "vellumtrace",
                   help="the program to run (default: vellumtrace on PATH)")
    a = p.parse_args(argv)
    print(f"{'tree':<40} {'input bytes':>12} {'instructions':>15} {'per byte':>9}")
    for tree in a.trees:
        size = tree_bytes(tree)
        count = instructions(a.program, tree)
        print(f"{str(tree):<40} {size:>12} {count:>15} {count / size:>9.1f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
