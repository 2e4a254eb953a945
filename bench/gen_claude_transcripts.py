#!/usr/bin/env python3
"""Write a synthetic `.claude` root of session transcripts of a chosen size, for timing.

Each session file under `projects/<encoded cwd>/<session>.jsonl` is a
plausible conversation: typed prompts, system reminders, assistant turns
streamed as one record per content block (thinking, text, tool_use) that
repeat the API message's usage, tool results of a few KB, file-history
snapshots, titles and turn durations; some sessions carry a sub-agent file
under `<session>/subagents/`. Output is a pure function of the seed and the
size, streamed to disk record by record.

    python bench/gen_claude_transcripts.py bench/data/claude-transcripts --size-mb 500 --seed 5
"""

from __future__ import annotations

import argparse
import datetime as dt
import json
import os
import random
import uuid

MB = 1_000_000
WORDS = ("parser buffer window offset index cursor schema record batch flush retry queue worker config "
         "loader cache token stream reader writer handler session client server request response").split()
TOOLS = [("Bash", "command", "cargo test -p core -- --nocapture"), ("Read", "file_path", "/work/app/src/lib.rs"),
         ("Edit", "file_path", "/work/app/src/main.rs"), ("Grep", "pattern", "fn parse_"),
         ("WebFetch", "url", "https://example.invalid/docs")]


def words(rng: random.Random, n: int) -> str:
    return " ".join(rng.choice(WORDS) for _ in range(n))


class Session:
    def __init__(self, rng: random.Random, cwd: str, start: dt.datetime, agent: str | None = None):
        self.rng, self.cwd, self.now, self.agent = rng, cwd, start, agent
        self.id = str(uuid.UUID(int=rng.getrandbits(128)))
        self.parent = None

    def envelope(self, kind: str, **fields) -> dict:
        self.now += dt.timedelta(milliseconds=self.rng.randint(50, 4000))
        record = {"parentUuid": self.parent, "isSidechain": self.agent is not None, "userType": "external",
                  "cwd": self.cwd, "sessionId": self.id, "version": "2.1.90", "gitBranch": "main", "type": kind,
                  "uuid": str(uuid.UUID(int=self.rng.getrandbits(128))),
                  "timestamp": self.now.strftime("%Y-%m-%dT%H:%M:%S.") + f"{self.now.microsecond // 1000:03d}Z",
                  **fields}
        if self.agent:
            record["agentId"] = self.agent
        self.parent = record["uuid"]
        return record

    def turn(self) -> list[dict]:
        rng = self.rng
        out = [self.envelope("user", message={"role": "user", "content": "please " + words(rng, rng.randint(8, 60))}),
               self.envelope("user", isMeta=True, message={"role": "user", "content": [
                   {"type": "text", "text": "<system-reminder>" + words(rng, 80) + "</system-reminder>"}]})]
        for _ in range(rng.randint(1, 5)):
            msg_id = "msg_" + "".join(rng.choice("abcdef0123456789") for _ in range(24))
            usage = {"input_tokens": rng.randint(1, 50), "cache_creation_input_tokens": rng.randint(0, 5000),
                     "cache_read_input_tokens": rng.randint(0, 90000), "output_tokens": 1, "service_tier": "standard"}
            tool, key, arg = rng.choice(TOOLS)
            tool_id = "toolu_" + "".join(rng.choice("ABCDEFabcdef0123456789") for _ in range(22))
            blocks = [{"type": "thinking", "thinking": words(rng, rng.randint(20, 200)), "signature": "x" * 300},
                      {"type": "text", "text": words(rng, rng.randint(10, 120))},
                      {"type": "tool_use", "id": tool_id, "name": tool, "input": {key: arg, "description": words(rng, 6)}}]
            for block in blocks:
                usage = dict(usage, output_tokens=usage["output_tokens"] + rng.randint(5, 300))
                out.append(self.envelope("assistant", requestId="req_1", message={
                    "id": msg_id, "type": "message", "role": "assistant", "model": "claude-sonnet-4-6",
                    "content": [block], "stop_reason": None, "usage": usage}))
            result = words(rng, rng.randint(50, 900))
            out.append(self.envelope("user", toolUseResult={"stdout": result, "stderr": ""}, message={
                "role": "user", "content": [{"type": "tool_result", "tool_use_id": tool_id, "content": result}]}))
        out.append(self.envelope("system", subtype="turn_duration", durationMs=rng.randint(1000, 90000), isMeta=False))
        out.append({"type": "file-history-snapshot", "messageId": out[0]["uuid"], "isSnapshotUpdate": False,
                    "snapshot": {"messageId": out[0]["uuid"], "timestamp": out[0]["timestamp"],
                                 "trackedFileBackups": {"/work/app/src/main.rs": {
                                     "backupFileName": "0123456789abcdef@v2", "version": 2,
                                     "backupTime": out[0]["timestamp"]}}}})
        return out


def write_tree(out: str, size_mb: float, seed: int) -> int:
    rng = random.Random(seed)
    projects = os.path.join(out, ".claude", "projects")
    written, start = 0, dt.datetime(2025, 9, 1, 8, 0, 0)
    while written < size_mb * MB:
        cwd = f"/work/app{rng.randint(0, 40)}"
        folder = os.path.join(projects, cwd.replace("/", "-"))
        os.makedirs(folder, exist_ok=True)
        session = Session(rng, cwd, start)
        start += dt.timedelta(hours=rng.randint(1, 30))
        with open(os.path.join(folder, session.id + ".jsonl"), "w") as f:
            f.write(json.dumps({"type": "ai-title", "aiTitle": words(rng, 4), "sessionId": session.id}) + "\n")
            for _ in range(rng.randint(5, 60)):
                for record in session.turn():
                    line = json.dumps(record, separators=(",", ":")) + "\n"
                    f.write(line)
                    written += len(line)
        if rng.random() < 0.3:
            agent = Session(rng, cwd, session.now, agent="a" + "".join(rng.choice("0123456789abcdef") for _ in range(16)))
            agent.id = session.id
            sub = os.path.join(folder, session.id, "subagents")
            os.makedirs(sub, exist_ok=True)
            with open(os.path.join(sub, f"agent-{agent.agent}.jsonl"), "w") as f:
                for _ in range(rng.randint(2, 10)):
                    for record in agent.turn():
                        line = json.dumps(record, separators=(",", ":")) + "\n"
                        f.write(line)
                        written += len(line)
    return written


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out", help="output directory (the .claude root is made inside it)")
    p.add_argument("--size-mb", type=float, default=500.0, help="approximate size in MB (10^6 bytes)")
    p.add_argument("--seed", type=int, default=5)
    a = p.parse_args()
    print(f"{write_tree(a.out, a.size_mb, a.seed) / MB:.1f} MB of transcripts under {a.out}/.claude/projects")


if __name__ == "__main__":
    main()
