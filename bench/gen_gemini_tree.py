#!/usr/bin/env python3
"""Write a synthetic `.gemini` home of a chosen size, for timing.

Sizes follow the corpus of real homes (a tool call and its result about
7.7 KB on average, 3 KB median; thoughts and replies a few hundred bytes).
Half the bytes are sessions written line by line (`tmp/<project>/chats/
session-*.jsonl`: a header, messages, `$set` updates, each reply that called
tools appended again once they finished), half sessions written as one
pretty-printed JSON document (`session-*.json`), as the CLI writes them; each
project folder also holds a prompt log (`logs.json`). Replies carry thoughts,
text, tool calls with results of a few KB, token counts and a model. Output
is a pure function of the seed and the size, written session by session.

    python bench/gen_gemini_tree.py bench/data/gemini --size-mb 500 --seed 5
"""

from __future__ import annotations

import argparse
import datetime as dt
import hashlib
import json
import os
import random
import uuid

MB = 1_000_000
WORDS = ("parser buffer window offset index cursor schema record batch flush retry queue worker config "
         "loader cache token stream reader writer handler session client server request response").split()
TOOLS = [("run_shell_command", {"command": "npm run build", "description": "Build the app"}),
         ("read_file", {"file_path": "/home/dev/app/src/store/masteryStore.ts"}),
         ("replace", {"file_path": "/home/dev/app/src/main.ts", "old_string": "levels", "new_string": "curriculums",
                      "instruction": "Rename"}),
         ("grep_search", {"pattern": "levels", "dir_path": "src/"}),
         ("glob", {"pattern": "**/*.ts"})]
MODELS = ("gemini-2.5-pro", "gemini-2.5-flash", "gemini-3-pro-preview")


def words(rng: random.Random, n: int) -> str:
    return " ".join(rng.choice(WORDS) for _ in range(n))


def stamp(t: dt.datetime) -> str:
    return t.strftime("%Y-%m-%dT%H:%M:%S.") + f"{t.microsecond // 1000:03d}Z"


class Session:
    def __init__(self, rng: random.Random, project_hash: str, start: dt.datetime):
        self.rng, self.now, self.project_hash = rng, start, project_hash
        self.id = str(uuid.UUID(int=rng.getrandbits(128)))
        self.start = stamp(start)
        self.prompts: list[tuple[str, str]] = []

    def tick(self) -> str:
        self.now += dt.timedelta(milliseconds=self.rng.randint(50, 4000))
        return stamp(self.now)

    def mid(self) -> str:
        return str(uuid.UUID(int=self.rng.getrandbits(128)))

    def header(self) -> dict:
        return {"sessionId": self.id, "projectHash": self.project_hash, "startTime": self.start,
                "lastUpdated": self.start, "kind": "main"}

    def user(self) -> dict:
        text = "please " + words(self.rng, self.rng.randint(8, 60))
        when = self.tick()
        self.prompts.append((text, when))
        return {"id": self.mid(), "timestamp": when, "type": "user", "content": [{"text": text}]}

    def reply(self, with_tools: bool) -> dict:
        rng = self.rng
        when = self.tick()
        tokens_in = rng.randint(2000, 90000)
        message = {"id": self.mid(), "timestamp": when, "type": "gemini", "content": words(rng, rng.randint(10, 70)),
                   "thoughts": [{"subject": words(rng, 3).title(), "description": words(rng, rng.randint(15, 70)),
                                 "timestamp": self.tick()} for _ in range(rng.randint(1, 3))],
                   "tokens": {"input": tokens_in, "output": rng.randint(5, 900), "cached": rng.randint(0, tokens_in),
                              "thoughts": rng.randint(0, 400), "tool": 0, "total": 0},
                   "model": rng.choice(MODELS)}
        message["tokens"]["total"] = (message["tokens"]["input"] + message["tokens"]["output"]
                                      + message["tokens"]["thoughts"])
        if with_tools:
            calls = []
            for _ in range(rng.randint(1, 3)):
                name, args = rng.choice(TOOLS)
                cid = f"{name}_{rng.randint(10**12, 10**13)}_{rng.randint(0, 9)}"
                # Heavy-tailed like real results (file contents, command output).
                output = words(rng, min(20000, int(rng.lognormvariate(5.6, 1.37))))
                calls.append({"id": cid, "name": name, "args": args, "status": "success", "timestamp": self.tick(),
                              "result": [{"functionResponse": {"id": cid, "name": name,
                                                               "response": {"output": output}}}],
                              "resultDisplay": output[:200], "displayName": name, "description": "",
                              "renderOutputAsMarkdown": False})
            message["toolCalls"] = calls
        return message

    def turns(self, count: int):
        rng = self.rng
        for _ in range(count):
            yield "user", self.user()
            for _ in range(rng.randint(1, 4)):
                tools = rng.random() < 0.6
                yield ("reply+tools" if tools else "reply"), self.reply(tools)
            if rng.random() < 0.05:
                yield "info", {"id": self.mid(), "timestamp": self.tick(), "type": "info",
                               "content": "Request cancelled."}


def write_lines(path: str, session: Session, turns: int) -> None:
    with open(path, "w", encoding="utf-8") as out:
        out.write(json.dumps(session.header(), separators=(",", ":")) + "\n")
        for kind, message in session.turns(turns):
            if kind == "reply+tools":
                # Written first without its calls, then again once they finished.
                early = {k: v for k, v in message.items() if k != "toolCalls"}
                out.write(json.dumps(early, separators=(",", ":")) + "\n")
            out.write(json.dumps(message, separators=(",", ":")) + "\n")
            out.write(json.dumps({"$set": {"lastUpdated": message["timestamp"]}}, separators=(",", ":")) + "\n")


def write_document(path: str, session: Session, turns: int) -> None:
    document = dict(session.header(), messages=[m for _, m in session.turns(turns)])
    del document["kind"]
    with open(path, "w", encoding="utf-8") as out:
        json.dump(document, out, indent=2)


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out")
    p.add_argument("--size-mb", type=float, default=200.0)
    p.add_argument("--seed", type=int, default=5)
    a = p.parse_args()
    rng = random.Random(a.seed)
    home = os.path.join(a.out, ".gemini")
    target = int(a.size_mb * MB)
    written = 0
    start = dt.datetime(2026, 1, 5, 9, 0, tzinfo=dt.timezone.utc)
    project = 0
    while written < target:
        root = f"/home/dev/project-{project}"
        project_hash = hashlib.sha256(root.encode()).hexdigest()
        folder = os.path.join(home, "tmp", project_hash)
        os.makedirs(os.path.join(folder, "chats"), exist_ok=True)
        log = []
        for index in range(rng.randint(4, 12)):
            session = Session(rng, project_hash, start)
            start += dt.timedelta(hours=rng.randint(1, 30))
            name = f"session-{session.start[:16].replace(':', '-')}-{session.id[:8]}"
            turns = max(1, int(rng.lognormvariate(3.0, 0.8)))
            path = os.path.join(folder, "chats", name + (".jsonl" if index % 2 == 0 else ".json"))
            (write_lines if index % 2 == 0 else write_document)(path, session, turns)
            written += os.path.getsize(path)
            log += [{"sessionId": session.id, "messageId": n, "type": "user", "message": text, "timestamp": when}
                    for n, (text, when) in enumerate(session.prompts)]
            if written >= target:
                break
        log_path = os.path.join(folder, "logs.json")
        with open(log_path, "w", encoding="utf-8") as out:
            json.dump(log, out, indent=2)
        written += os.path.getsize(log_path)
        project += 1


if __name__ == "__main__":
    main()
