#!/usr/bin/env python3
"""Write a synthetic but realistic `.codex` tree of a chosen size, for timing.

The tree holds a prompt history and many rollout files under
`sessions/YYYY/MM/DD/`, each a plausible agent session: session metadata,
turn contexts, user/developer/assistant messages, reasoning items with long
encrypted content, shell and patch tool calls with JSON arguments, tool
outputs of a few KB, token counts and agent messages. Output is a pure
function of the seed and the size, and is streamed to disk record by record.

    python bench/gen_codex_tree.py bench/data/tree --size-mb 200 --seed 7
    python bench/gen_codex_tree.py bench/data/big.jsonl --single-line-mib 1024
"""

from __future__ import annotations

import argparse
import base64
import datetime as dt
import json
import os
import random
import sys
import uuid

MB = 1_000_000
MIB = 1 << 20

WORDS = (
    "parser buffer window offset index cursor schema record batch flush retry queue worker "
    "config loader cache token stream reader writer handler session client server request "
    "response timeout backoff limit metric counter gauge span trace event payload header "
    "checksum digest manifest snapshot migration fixture harness runner module crate package"
).split()
CRATES = ["core", "cli", "ingest", "store", "net", "proto", "render", "bench"]
EXTS = [".rs", ".py", ".ts", ".go", ".toml", ".md"]
PROMPTS = [
    "the {w} in {f} drops the last {w2} when the input has no trailing newline, fix it and add a test",
    "why does `{cmd}` take so long on CI? profile it and tell me what dominates",
    "rename {w} to {w2} everywhere in the {c} crate, keep the public API stable",
    "add a --{w} flag to the {c} subcommand that prints {w2} counts as JSON",
    "review {f} for error handling gaps; I care about partial writes",
    "the benchmark regressed by 12% after the {w} refactor, find the commit and explain",
    "write property tests for the {w2} encoder, round-trip and boundary sizes",
    "port the {w} retry loop to exponential backoff with jitter, max 5 attempts",
    "我们的 {w} 在高并发下偶尔丢数据，帮我看看 {f} 里的锁",
    "document the {w2} format in docs/{w}.md — fields, versions, an example",
]
SUMMARIES = [
    "**Inspecting {f}**\n\nI need to see how the {w} is advanced before touching the {w2}.",
    "**Planning the change**\n\nThe {w2} path is shared with the {c} crate, so the fix goes in one place.",
    "**Checking the tests**\n\nExisting tests cover the happy path only; adding edge cases for empty {w}.",
    "**Reading the failure**\n\nThe panic comes from an unchecked index in the {w} loop.",
]
ANSWERS = [
    "The {w} skipped its final {w2} because the loop only flushed on a newline. I added a flush at end of input in `{f}` and a regression test; `{cmd}` passes.",
    "Most of the time goes into re-hashing the {w2} on every call. Caching the digest per {w} cuts the run from 41 s to 9 s locally.",
    "Renamed `{w}` to `{w2}` across the {c} crate (14 files); public re-exports keep the old name with a deprecation note.",
    "Done: `--{w}` prints one JSON object per {w2}. I kept the existing text output as the default.",
]
DEVELOPER = (
    "<permissions instructions>\nFilesystem sandboxing defines which files can be read or written. "
    "`sandbox_mode` is `workspace-write`: the workspace and /tmp are writable. Network access is restricted.\n"
    "Approval policy is `on-request`: ask before running commands that need escalated permissions.\n"
    "</permissions instructions>"
)


class Gen:
    """All choices come from one seeded generator, so a seed fixes the tree."""

    def __init__(self, seed: int) -> None:
        self.rng = random.Random(seed)
        r = self.rng
        self.files = [
            f"{r.choice(['src', 'crates/' + r.choice(CRATES) + '/src', 'tests', 'lib'])}/{r.choice(WORDS)}_{r.choice(WORDS)}{r.choice(EXTS)}"
            for _ in range(400)
        ]
        self.code = [self._code_line() for _ in range(3000)]
        self.instructions = self._instructions()

    def _code_line(self) -> str:
        r = self.rng
        a, b, c = r.choice(WORDS), r.choice(WORDS), r.choice(WORDS)
        return r.choice([
            f"    let {a} = self.{b}.{c}()?;",
            f"    if {a}.len() > MAX_{b.upper()} {{ return Err(Error::{c.title()}); }}",
            f"fn {a}_{b}(&mut self, {c}: &[u8]) -> Result<usize> {{",
            f"    for {a} in {b}.iter().filter(|x| x.{c}) {{",
            f"def {a}_{b}(self, {c}):",
            f"        return self._{a}[{c}] + {r.randint(1, 4096)}",
            f"export function {a}{b.title()}({c}: {b.title()}): number {{",
            f"    // {a}: keep {b} bounded by {c}",
            "}",
        ])

    def _instructions(self) -> str:
        r = self.rng
        parts = ["# Repository guidelines\n"]
        for _ in range(60):
            parts.append(f"- When changing the {r.choice(WORDS)} {r.choice(WORDS)}, run the {r.choice(CRATES)} tests and keep the {r.choice(WORDS)} stable.")
        return "\n".join(parts)

    def fill(self, template: str) -> str:
        r = self.rng
        return template.format(w=r.choice(WORDS), w2=r.choice(WORDS), f=r.choice(self.files),
                               c=r.choice(CRATES), cmd=self.command())

    def command(self) -> str:
        r = self.rng
        f = r.choice(self.files)
        return r.choice([
            f"rg -n '{r.choice(WORDS)}_{r.choice(WORDS)}' src crates",
            f"sed -n '{(a := r.randint(1, 400))},{a + r.randint(20, 160)}p' {f}",
            f"cargo test -p {r.choice(CRATES)} --quiet",
            "git diff --stat",
            f"ls -la {f.rsplit('/', 1)[0]}",
            f"pytest -q tests/test_{r.choice(WORDS)}.py",
            "cargo clippy --all-targets -- -D warnings",
        ])

    def output(self, cmd: str) -> str:
        """A tool output of a few KB whose shape follows the command."""
        r = self.rng
        size = int(min(r.lognormvariate(8.0, 0.8), 24000))  # median ~3 KB
        lines: list[str] = []
        total = 0
        while total < size:
            if cmd.startswith("rg"):
                line = f"{r.choice(self.files)}:{r.randint(1, 900)}:{r.choice(self.code)}"
            elif cmd.startswith("sed"):
                line = r.choice(self.code)
            elif "test" in cmd:
                line = f"test {r.choice(WORDS)}::tests::{r.choice(WORDS)}_{r.choice(WORDS)} ... {'ok' if r.random() < 0.97 else 'FAILED'}"
            elif cmd.startswith("ls"):
                line = f"-rw-r--r--  1 dev dev {r.randint(80, 90000):>6} Oct {r.randint(1, 31):>2} {r.randint(0, 23):02d}:{r.randint(0, 59):02d} {r.choice(WORDS)}{r.choice(EXTS)}"
            else:
                line = f" {r.choice(self.files)} | {r.randint(1, 80):>3} {'+' * r.randint(0, 20)}{'-' * r.randint(0, 12)}"
            lines.append(line)
            total += len(line) + 1
        return "\n".join(lines)

    def ciphertext(self) -> str:
        n = int(min(self.rng.lognormvariate(7.9, 0.6), 16000))  # median ~2.7 KB of bytes
        return "gAAAAAB" + base64.urlsafe_b64encode(self.rng.randbytes(n)).decode()

    def ident(self, prefix: str, n: int = 48) -> str:
        return prefix + "".join(self.rng.choice("0123456789abcdef") for _ in range(n))

    def call_id(self) -> str:
        alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
        return "call_" + "".join(self.rng.choice(alphabet) for _ in range(24))

    def uuid7(self, when: dt.datetime) -> str:
        ms = int(when.timestamp() * 1000)
        rand = self.rng.getrandbits(74)
        value = (ms << 80) | (0x7 << 76) | ((rand >> 62) << 64) | (0b10 << 62) | (rand & ((1 << 62) - 1))
        return str(uuid.UUID(int=value))


def stamp(when: dt.datetime) -> str:
    return when.strftime("%Y-%m-%dT%H:%M:%S.") + f"{when.microsecond // 1000:03d}Z"


class Session:
    """One rollout file, written record by record."""

    def __init__(self, gen: Gen, out, start: dt.datetime, sid: str, cwd: str) -> None:
        self.gen, self.out, self.now, self.sid, self.cwd = gen, out, start, sid, cwd
        self.totals = [0, 0, 0, 0]
        self.bytes = 0

    def tick(self, low: float, high: float) -> str:
        self.now += dt.timedelta(seconds=self.gen.rng.uniform(low, high))
        return stamp(self.now)

    def put(self, rtype: str, payload: dict, low: float = 0.001, high: float = 0.05) -> None:
        line = json.dumps({"timestamp": self.tick(low, high), "type": rtype, "payload": payload},
                          ensure_ascii=False, separators=(",", ":")) + "\n"
        data = line.encode("utf-8")
        self.out.write(data)
        self.bytes += len(data)

    def token_count(self) -> None:
        r = self.gen.rng
        last = [r.randint(2000, 30000), 0, r.randint(50, 2500), 0]
        last[1] = r.randint(0, last[0])
        last[3] = r.randint(0, last[2])
        self.totals = [t + d for t, d in zip(self.totals, last)]

        def usage(v):
            return {"input_tokens": v[0], "cached_input_tokens": v[1], "output_tokens": v[2],
                    "reasoning_output_tokens": v[3], "total_tokens": v[0] + v[2]}

        self.put("event_msg", {
            "type": "token_count",
            "info": {"total_token_usage": usage(self.totals), "last_token_usage": usage(last),
                     "model_context_window": 272000},
            "rate_limits": {"primary": {"used_percent": round(r.uniform(0, 60), 1), "window_minutes": 300,
                                        "resets_in_seconds": r.randint(60, 18000)},
                            "secondary": {"used_percent": round(r.uniform(0, 40), 1), "window_minutes": 10080,
                                          "resets_in_seconds": r.randint(3600, 600000)}}})

    def begin(self) -> None:
        g = self.gen
        meta = {"id": self.sid, "timestamp": stamp(self.now), "cwd": self.cwd, "originator": "codex_cli_rs",
                "cli_version": "0.57.0", "instructions": None, "source": "cli", "model_provider": "openai",
                "base_instructions": {"text": g.instructions},
                "git": {"commit_hash": g.ident("", 40), "branch": "main",
                        "repository_url": "git@example.org:team/" + self.cwd.rsplit("/", 1)[1] + ".git"}}
        self.put("session_meta", meta)
        self.put("response_item", {"type": "message", "role": "developer",
                                   "content": [{"type": "input_text", "text": DEVELOPER}]})
        env = f"<environment_context>\n  <cwd>{self.cwd}</cwd>\n  <approval_policy>on-request</approval_policy>\n  <shell>bash</shell>\n</environment_context>"
        self.put("response_item", {"type": "message", "role": "user", "content": [{"type": "input_text", "text": env}]})

    def turn(self) -> None:
        g, r = self.gen, self.gen.rng
        self.put("turn_context", {
            "cwd": self.cwd, "approval_policy": "on-request",
            "sandbox_policy": {"type": "workspace-write", "network_access": False},
            "model": "gpt-5-codex", "effort": r.choice(["low", "medium", "high"]), "summary": "auto"},
            5, 240)
        prompt = g.fill(r.choice(PROMPTS))
        self.put("response_item", {"type": "message", "role": "user", "content": [{"type": "input_text", "text": prompt}]})
        self.put("event_msg", {"type": "user_message", "message": prompt, "images": []})
        self.put("event_msg", {"type": "task_started", "model_context_window": 272000})
        for _ in range(r.randint(2, 9)):
            summary = g.fill(r.choice(SUMMARIES))
            self.put("response_item", {"type": "reasoning", "id": g.ident("rs_"),
                                       "summary": [{"type": "summary_text", "text": summary}],
                                       "content": None, "encrypted_content": g.ciphertext()}, 1, 9)
            self.put("event_msg", {"type": "agent_reasoning", "text": summary.split("\n", 1)[0]})
            call = g.call_id()
            if r.random() < 0.15:
                f = r.choice(g.files)
                body = "\n".join(("-" if i % 2 else "+") + r.choice(g.code) for i in range(r.randint(2, 30)))
                patch = f"*** Begin Patch\n*** Update File: {f}\n@@\n{body}\n*** End Patch\n"
                self.put("response_item", {"type": "custom_tool_call", "status": "completed", "call_id": call,
                                           "name": "apply_patch", "input": patch})
                result = json.dumps({"output": f"Success. Updated the following files:\nM {f}\n",
                                     "metadata": {"exit_code": 0, "duration_seconds": 0.0}})
                self.put("response_item", {"type": "custom_tool_call_output", "call_id": call, "output": result})
            else:
                cmd = g.command()
                args = json.dumps({"command": ["bash", "-lc", cmd], "workdir": self.cwd, "timeout_ms": 120000})
                self.put("response_item", {"type": "function_call", "name": "shell", "arguments": args, "call_id": call})
                result = json.dumps({"output": g.output(cmd),
                                     "metadata": {"exit_code": 0 if r.random() < 0.9 else 1,
                                                  "duration_seconds": round(r.uniform(0.01, 30), 2)}},
                                    ensure_ascii=False)
                self.put("response_item", {"type": "function_call_output", "call_id": call, "output": result}, 0.05, 30)
            self.token_count()
        answer = g.fill(r.choice(ANSWERS))
        self.put("event_msg", {"type": "agent_message", "message": answer}, 1, 6)
        self.put("response_item", {"type": "message", "role": "assistant",
                                   "content": [{"type": "output_text", "text": answer}]})
        self.put("event_msg", {"type": "task_complete", "last_agent_message": answer})
        if r.random() < 0.05:
            self.put("compacted", {"message": "", "replacement_history": [
                {"type": "message", "role": "user", "content": [{"type": "input_text", "text": prompt}]},
                {"type": "compaction", "id": g.ident("cmp_"), "encrypted_content": g.ciphertext()}]}, 1, 4)
            self.put("event_msg", {"type": "context_compacted"})


def write_tree(out_dir: str, size_bytes: int, seed: int) -> int:
    """Write `<out_dir>/.codex`; returns the bytes written (history + rollouts)."""
    gen = Gen(seed)
    r = gen.rng
    root = os.path.join(out_dir, ".codex")
    os.makedirs(root, exist_ok=True)
    now = dt.datetime(2025, 6, 2, 8, 0, 0, tzinfo=dt.timezone.utc)
    written = 0
    projects = [f"/home/dev/src/{r.choice(WORDS)}-{r.choice(WORDS)}" for _ in range(12)]
    with open(os.path.join(root, "history.jsonl"), "wb") as history:
        while written < size_bytes:
            now += dt.timedelta(minutes=r.uniform(20, 900))
            sid = gen.uuid7(now)
            day_dir = os.path.join(root, "sessions", f"{now:%Y}", f"{now:%m}", f"{now:%d}")
            os.makedirs(day_dir, exist_ok=True)
            name = f"rollout-{now:%Y-%m-%dT%H-%M-%S}-{sid}.jsonl"
            # Session sizes vary widely: most are small, a few run long.
            target = min(int(r.lognormvariate(13.3, 0.9)), size_bytes - written + 4096)
            with open(os.path.join(day_dir, name), "wb") as out:
                session = Session(gen, out, now, sid, r.choice(projects))
                session.begin()
                while session.bytes < target:
                    session.turn()
                    line = json.dumps({"session_id": sid, "ts": int(session.now.timestamp()),
                                       "text": gen.fill(r.choice(PROMPTS))}, ensure_ascii=False) + "\n"
                    data = line.encode("utf-8")
                    history.write(data)
                    written += len(data)
                written += session.bytes
                now = session.now
    return written


def write_single_line(path: str, size_bytes: int) -> int:
    """One rollout record of exactly `size_bytes` bytes (line feed included),
    whose tool output fills the line; written in 1 MiB blocks."""
    head = ('{"timestamp":"2025-11-05T09:13:12.338Z","type":"response_item","payload":'
            '{"type":"function_call_output","call_id":"call_Ut4cY9kB2mGv7Jr0Pe3Ls8Qw","output":"').encode()
    tail = b'"}}\n'
    body = size_bytes - len(head) - len(tail)
    if body < 0:
        raise ValueError("size too small for one record")
    block = (base64.b64encode(random.Random(1).randbytes(MIB)).decode()[:MIB]).encode()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as out:
        out.write(head)
        left = body
        while left:
            n = min(left, len(block))
            out.write(block[:n])
            left -= n
        out.write(tail)
    return size_bytes


def main(argv: list[str]) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out", help="output directory (tree) or file (--single-line-mib)")
    p.add_argument("--size-mb", type=float, default=200.0, help="approximate tree size in MB (10^6 bytes)")
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--single-line-mib", type=float, help="write one rollout file of this many MiB holding a single line")
    a = p.parse_args(argv)
    if a.single_line_mib is not None:
        n = write_single_line(a.out, int(a.single_line_mib * MIB))
    else:
        n = write_tree(a.out, int(a.size_mb * MB), a.seed)
    print(f"wrote {n} bytes to {a.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
