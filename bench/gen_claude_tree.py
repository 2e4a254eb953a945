#!/usr/bin/env python3
"""Write a synthetic but realistic `.claude` tree, for timing.

The tree holds a prompt history of a chosen size, a paste cache and an image
cache of a chosen number of files, and a file history of a chosen number of
snapshots:

- `history.jsonl`: one prompt per line with millisecond timestamps, project
  and session; about one prompt in five carries pasted text, either inline
  (`content`) or by reference (`contentHash`, the first 16 hex digits of the
  SHA-256 of the text, naming `paste-cache/<hash>.txt`).
- `paste-cache/<hash>.txt`: the referenced paste bodies, plus a few that no
  prompt refers to; `image-cache/<session>/<hash>.png`: small PNG files
  (image pastes never appear in the history, so all of them are orphans).
- `file-history/<session>/<id>@v<n>`: versions of edited source files, the id
  being the first 16 hex digits of the SHA-256 of the file's path; most
  sources start at v1, some at v2 or v3.

Output is a pure function of the arguments and is streamed to disk.

    python bench/gen_claude_tree.py bench/data/claude --history-mb 50 --cache-files 10000 --snapshots 20000
    python bench/gen_claude_tree.py bench/data/flat --cache-only 100000
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import random
import sys
import uuid
import zlib

MB = 1_000_000

WORDS = (
    "parser buffer window offset index cursor schema record batch flush retry queue worker "
    "config loader cache token stream reader writer handler session client server request "
    "response timeout backoff limit metric counter gauge span trace event payload header "
    "checksum digest manifest snapshot migration fixture harness runner module package"
).split()
EXTS = [".py", ".ts", ".rs", ".go", ".md", ".toml"]
PROMPTS = [
    "the {w} in {f} drops the last {w2} when the input has no trailing newline, fix it",
    "why does the {w} test take so long on CI? profile it",
    "rename {w} to {w2} everywhere under {d}, keep the public API stable",
    "add a --{w} flag that prints {w2} counts as JSON",
    "review {f} for error handling gaps",
    "我们的 {w} 在高并发下偶尔丢数据，帮我看看 {f}",
    "[Pasted text #{n} +{k} lines] use this as the fixture for the {w} tests",
]


def png(rng: random.Random) -> bytes:
    """A small valid PNG of random grey pixels."""
    w, h = rng.randint(4, 64), rng.randint(4, 64)
    raw = b"".join(b"\x00" + rng.randbytes(w) for _ in range(h))

    def chunk(tag: bytes, data: bytes) -> bytes:
        return len(data).to_bytes(4, "big") + tag + data + zlib.crc32(tag + data).to_bytes(4, "big")

    ihdr = w.to_bytes(4, "big") + h.to_bytes(4, "big") + bytes([8, 0, 0, 0, 0])
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


class Gen:
    def __init__(self, seed: int) -> None:
        self.rng = random.Random(seed)
        r = self.rng
        self.projects = [f"/home/dev/src/{r.choice(WORDS)}-{r.choice(WORDS)}" for _ in range(16)]
        self.files = [f"src/{r.choice(WORDS)}_{r.choice(WORDS)}{r.choice(EXTS)}" for _ in range(600)]

    def text(self, size: int) -> str:
        r = self.rng
        lines, total = [], 0
        while total < size:
            line = f"    {r.choice(WORDS)} = {r.choice(WORDS)}.{r.choice(WORDS)}({r.randint(0, 9999)})  # {r.choice(WORDS)}"
            lines.append(line)
            total += len(line) + 1
        return "\n".join(lines) + "\n"

    def prompt(self) -> str:
        r = self.rng
        return r.choice(PROMPTS).format(w=r.choice(WORDS), w2=r.choice(WORDS), f=r.choice(self.files),
                                        d=r.choice(["src", "lib", "tests"]), n=r.randint(1, 9), k=r.randint(3, 400))

    def session(self) -> tuple[str, str]:
        return str(uuid.UUID(int=self.rng.getrandbits(128), version=4)), self.rng.choice(self.projects)


def short_hash(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()[:16]


def write_history(root: str, gen: Gen, size_bytes: int, cache_files: int) -> tuple[int, list[str]]:
    """The history, and the paste bodies it refers to (written to paste-cache)."""
    r = gen.rng
    paste_dir = os.path.join(root, "paste-cache")
    os.makedirs(paste_dir, exist_ok=True)
    referenced: list[str] = []
    written = 0
    ms = 1_735_689_600_000  # 2025-01-01
    sid, project = gen.session()
    with open(os.path.join(root, "history.jsonl"), "wb") as out:
        while written < size_bytes:
            ms += r.randint(5_000, 900_000)
            if r.random() < 0.02:
                sid, project = gen.session()
            pasted = {}
            roll = r.random()
            if roll < 0.12:
                pasted["1"] = {"id": 1, "type": "text", "content": gen.text(r.randint(200, 3000))}
            elif roll < 0.2 and len(referenced) < cache_files:
                body = gen.text(r.randint(2000, 20000)).encode()
                digest = short_hash(body)
                with open(os.path.join(paste_dir, digest + ".txt"), "wb") as f:
                    f.write(body)
                referenced.append(digest)
                pasted["1"] = {"id": 1, "type": "text", "contentHash": digest}
            line = json.dumps({"display": gen.prompt(), "pastedContents": pasted, "timestamp": ms,
                               "project": project, "sessionId": sid}, ensure_ascii=False) + "\n"
            data = line.encode()
            out.write(data)
            written += len(data)
    return written, referenced


def write_caches(root: str, gen: Gen, count: int, images: int, flat: bool = False) -> int:
    """`count` cache files in all: pastes nobody refers to, then `images` PNGs."""
    r = gen.rng
    written = 0
    paste_dir = os.path.join(root, "paste-cache")
    os.makedirs(paste_dir, exist_ok=True)
    for _ in range(count - images):
        body = gen.text(r.randint(100, 2000) if flat else r.randint(500, 8000)).encode()
        with open(os.path.join(paste_dir, short_hash(body) + ".txt"), "wb") as f:
            f.write(body)
        written += len(body)
    sid = None
    for i in range(images):
        if i % 40 == 0:
            sid = gen.session()[0]
            os.makedirs(os.path.join(root, "image-cache", sid), exist_ok=True)
        data = png(r)
        with open(os.path.join(root, "image-cache", sid, short_hash(data) + ".png"), "wb") as f:
            f.write(data)
        written += len(data)
    return written


def write_file_history(root: str, gen: Gen, snapshots: int) -> int:
    r = gen.rng
    written = made = 0
    while made < snapshots:
        sid, project = gen.session()
        folder = os.path.join(root, "file-history", sid)
        os.makedirs(folder, exist_ok=True)
        for source in r.sample(gen.files, r.randint(3, 40)):
            path = os.path.join(project, source)
            ident = short_hash(path.encode())
            first = r.choice([1, 1, 1, 1, 2, 3])
            body = gen.text(r.randint(500, 6000))
            for v in range(first, first + r.randint(1, 8)):
                if made == snapshots:
                    return written
                body += gen.text(r.randint(20, 400))
                data = body.encode()
                with open(os.path.join(folder, f"{ident}@v{v}"), "wb") as f:
                    f.write(data)
                written += len(data)
                made += 1
    return written


def write_tree(out_dir: str, history_mb: float, cache_files: int, snapshots: int, seed: int) -> int:
    """Write `<out_dir>/.claude`; returns the bytes written."""
    gen = Gen(seed)
    root = os.path.join(out_dir, ".claude")
    os.makedirs(root, exist_ok=True)
    history, referenced = write_history(root, gen, int(history_mb * MB), cache_files * 8 // 10)
    caches = write_caches(root, gen, cache_files - len(referenced), cache_files // 10)
    return history + caches + write_file_history(root, gen, snapshots)


def write_flat_cache(out_dir: str, files: int, seed: int) -> int:
    """`<out_dir>/.claude/paste-cache` with `files` small files and nothing else."""
    root = os.path.join(out_dir, ".claude")
    return write_caches(root, Gen(seed), files, 0, flat=True)


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out", help="output directory")
    p.add_argument("--history-mb", type=float, default=50.0)
    p.add_argument("--cache-files", type=int, default=10_000)
    p.add_argument("--snapshots", type=int, default=20_000)
    p.add_argument("--cache-only", type=int, metavar="N", help="write only a paste cache of N files")
    p.add_argument("--seed", type=int, default=11)
    a = p.parse_args(argv)
    if a.cache_only is not None:
        n = write_flat_cache(a.out, a.cache_only, a.seed)
    else:
        n = write_tree(a.out, a.history_mb, a.cache_files, a.snapshots, a.seed)
    print(f"wrote {n} bytes to {a.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
