#!/usr/bin/env python3
"""Write a synthetic Copilot CLI root and an Aider place of a chosen size, for timing.

The `.copilot` root holds per-session folders (`session-state/<id>/events.jsonl`
beside a `workspace.yaml`), flat logs (`session-state/<id>.jsonl`) and legacy
documents (`history-session-state/session_<id>_<ms>.json`, about a tenth of
the bytes), each a plausible conversation: prompts, assistant messages with
reasoning, tool requests, executions and results of a few KB, hooks, output
tokens and a shutdown with totals. The Aider place holds a chat log of many
launches (announcements, inputs, replies with edit blocks, token lines,
status lines), its input history and an LLM log. Output is a pure function
of the seed and the size.

    python bench/gen_agents_tree.py bench/data/agents-100 --size-mb 100 --seed 5
"""

from __future__ import annotations

import argparse
import datetime as dt
import json
import pathlib
import random
import uuid

MB = 1_000_000
WORDS = ("parser buffer window offset index cursor schema record batch flush retry queue worker config "
         "loader cache token stream reader writer handler session client server request response").split()
TOOLS = [("bash", "command", "cargo test -p core"), ("view", "path", "/work/app/src/lib.rs"),
         ("edit", "path", "/work/app/src/main.rs"), ("grep", "pattern", "fn parse_")]


def words(rng: random.Random, n: int) -> str:
    return " ".join(rng.choice(WORDS) for _ in range(n))


SYSTEM_PROMPT = "You are the GitHub Copilot CLI, a terminal assistant. " + words(random.Random(1), 2200)


def stamp(t: dt.datetime) -> str:
    return t.strftime("%Y-%m-%dT%H:%M:%S.") + f"{t.microsecond // 1000:03d}Z"


class CopilotSession:
    def __init__(self, rng: random.Random, start: dt.datetime, flat: bool):
        self.rng, self.now, self.flat = rng, start, flat
        self.id = str(uuid.UUID(int=rng.getrandbits(128)))
        self.parent = None

    def record(self, kind: str, **data) -> str:
        self.now += dt.timedelta(milliseconds=self.rng.randint(20, 3000))
        rid = str(uuid.UUID(int=self.rng.getrandbits(128)))
        line = json.dumps({"type": kind, "data": data, "id": rid, "timestamp": stamp(self.now), "parentId": self.parent})
        self.parent = rid
        return line

    def lines(self, budget: int):
        rng = self.rng
        yield self.record("session.start", sessionId=self.id, version=1, producer="copilot-agent",
                          copilotVersion="1.0.59", startTime=stamp(self.now), selectedModel="claude-sonnet-4.6",
                          context={"cwd": "/work/app", "branch": "main"})
        written, turn, output = 0, 0, 0
        while written < budget:
            turn += 1
            for line in self.turn(turn):
                written += len(line) + 1
                yield line
            output += 1
        yield self.record("session.shutdown", shutdownType="routine", currentModel="claude-sonnet-4.6",
                          modelMetrics={"claude-sonnet-4.6": {"usage": {"inputTokens": 90000, "outputTokens": 9000,
                                                                        "cacheReadTokens": 50000}}})

    def turn(self, turn: int):
        rng = self.rng
        yield self.record("user.message", content="please " + words(rng, rng.randint(8, 60)), attachments=[],
                          interactionId=f"i{turn}")
        if self.flat:
            yield self.record("system.message", role="system", content=SYSTEM_PROMPT)
        yield self.record("assistant.turn_start", turnId=str(turn))
        for _ in range(rng.randint(1, 4)):
            calls = []
            for _ in range(rng.randint(0, 3)):
                name, key, value = rng.choice(TOOLS)
                calls.append({"toolCallId": "toolu_" + "".join(rng.choice("abcdef0123456789") for _ in range(20)),
                              "name": name, "arguments": {key: value}, "type": "function"})
            yield self.record("assistant.message", messageId=str(uuid.UUID(int=rng.getrandbits(128))),
                              content=words(rng, rng.randint(20, 250)), toolRequests=calls,
                              reasoningText=words(rng, rng.randint(0, 120)), outputTokens=rng.randint(10, 900),
                              model="claude-sonnet-4.6")
            for call in calls:
                yield self.record("tool.execution_start", toolCallId=call["toolCallId"], toolName=call["name"],
                                  arguments=call["arguments"])
                yield self.record("hook.start", hookInvocationId="h", hookType="postToolUse", input={"toolName": call["name"]})
                yield self.record("hook.end", hookInvocationId="h", hookType="postToolUse", success=True)
                yield self.record("tool.execution_complete", toolCallId=call["toolCallId"], success=True,
                                  model="claude-sonnet-4.6", result={"content": words(rng, rng.randint(200, 1500))})
        yield self.record("assistant.turn_end", turnId=str(turn))


def legacy_document(rng: random.Random, start: dt.datetime, budget: int) -> tuple[str, str]:
    sid = str(uuid.UUID(int=rng.getrandbits(128)))
    now, chat, timeline, size = start, [], [], 0
    while size < budget:
        now += dt.timedelta(seconds=rng.randint(1, 60))
        text = "please " + words(rng, rng.randint(8, 40))
        timeline.append({"id": str(uuid.UUID(int=rng.getrandbits(128))), "timestamp": stamp(now), "type": "user",
                         "text": text, "mentions": [], "expandedText": text})
        chat.append({"role": "user", "content": text + "\n\n<reminder>be brief</reminder>"})
        call_id = "call_" + "".join(rng.choice("abcdef0123456789") for _ in range(20))
        result = words(rng, rng.randint(50, 500))
        chat.append({"role": "assistant", "padding": "abc", "tool_calls": [{"id": call_id, "type": "function", "function": {
            "name": "bash", "arguments": json.dumps({"command": "ls -la"})}}]})
        chat.append({"role": "tool", "tool_call_id": call_id, "content": result})
        timeline.append({"type": "tool_call_completed", "id": str(uuid.UUID(int=rng.getrandbits(128))),
                         "timestamp": stamp(now), "callId": call_id, "name": "bash", "toolTitle": "Shell",
                         "intentionSummary": None, "arguments": {"command": "ls -la"},
                         "result": {"type": "success", "log": result}})
        answer = words(rng, rng.randint(20, 200))
        chat.append({"role": "assistant", "padding": "ab", "content": answer})
        timeline.append({"id": str(uuid.UUID(int=rng.getrandbits(128))), "timestamp": stamp(now), "type": "copilot",
                         "text": answer})
        size += 2 * (len(text) + len(result) + len(answer)) + 600
    doc = {"sessionId": sid, "startTime": stamp(start), "chatMessages": chat, "timeline": timeline}
    name = f"session_{sid}_{int(start.timestamp() * 1000)}.json"
    return name, json.dumps(doc, indent=2)


def write_copilot(root: pathlib.Path, rng: random.Random, size: int) -> None:
    start = dt.datetime(2026, 3, 1, 9, 0, tzinfo=dt.timezone.utc)
    written = 0
    index = 0
    while written < size:
        index += 1
        start += dt.timedelta(hours=3)
        if index % 10 == 0:
            name, text = legacy_document(rng, start, rng.randint(200_000, 1_000_000))
            path = root / "history-session-state" / name
        else:
            session = CopilotSession(rng, start, flat=index % 3 == 0)
            text = "\n".join(session.lines(rng.randint(200_000, 2_000_000))) + "\n"
            if session.flat:
                path = root / "session-state" / f"{session.id}.jsonl"
            else:
                path = root / "session-state" / session.id / "events.jsonl"
                path.parent.mkdir(parents=True, exist_ok=True)
                (path.parent / "workspace.yaml").write_text(
                    f"id: {session.id}\ncwd: /work/app\nbranch: main\nsummary: {words(rng, 4)}\n"
                    f"created_at: {stamp(start)}\nupdated_at: {stamp(session.now)}\n")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
        written += len(text)
    (root / "command-history-state.json").write_text(json.dumps({"commandHistory": ["/model", "please go"]}))


AIDER_SYSTEM = "".join(f"SYSTEM {words(random.Random(i), 12)}\n" for i in range(40))


def write_aider(place: pathlib.Path, rng: random.Random, size: int) -> None:
    place.mkdir(parents=True, exist_ok=True)
    now = dt.datetime(2026, 3, 1, 9, 0)
    with open(place / ".aider.chat.history.md", "w") as chat, open(place / ".aider.input.history", "w") as inputs, \
            open(place / ".aider.llm.history", "w") as llm:
        written = 0
        while written < size:
            now += dt.timedelta(hours=2)
            block = [f"\n# aider chat started at {now:%Y-%m-%d %H:%M:%S}\n\n", "> Aider v0.86.1  \n",
                     "> Main model: anthropic/claude-sonnet-4 with diff edit format  \n",
                     "> Git repo: .git with 120 files  \n\n"]
            for _ in range(rng.randint(5, 40)):
                now += dt.timedelta(seconds=rng.randint(5, 300))
                prompt = "please " + words(rng, rng.randint(5, 40))
                inputs.write(f"\n# {now:%Y-%m-%d %H:%M:%S}.{rng.randint(0, 999999):06d}\n+{prompt}\n")
                code = lambda n: "\n".join("    " + words(rng, rng.randint(3, 10)) for _ in range(n))
                reply = words(rng, rng.randint(60, 400)) + "\n\nsrc/app.py\n```\n<<<<<<< SEARCH\n" + \
                    code(rng.randint(5, 30)) + "\n=======\n" + code(rng.randint(5, 30)) + "\n>>>>>>> REPLACE\n```"
                block += [f"#### {prompt}  \n\n", reply + "\n\n",
                          f"> Tokens: {rng.randint(1, 30)}.{rng.randint(0, 9)}k sent, {rng.randint(100, 999)} received."
                          f" Cost: $0.0{rng.randint(100, 999)} message, $0.{rng.randint(100, 999)} session.  \n",
                          "> Applied edit to src/app.py  \n", f"> Commit {rng.getrandbits(28):07x} feat: change  \n\n"]
                context = "".join(f"USER {line}\n" for line in code(rng.randint(100, 600)).split("\n"))
                llm.write(f"TO LLM {now:%Y-%m-%dT%H:%M:%S}\n-------\n" + AIDER_SYSTEM + "-------\n" + context +
                          f"-------\nUSER {prompt}\n")
                llm.write(f"LLM RESPONSE {now:%Y-%m-%dT%H:%M:%S}\n" +
                          "".join(f"ASSISTANT {line}\n" for line in reply.split("\n")))
            text = "".join(block)
            chat.write(text)
            written = chat.tell() + inputs.tell() + llm.tell()


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out", type=pathlib.Path)
    p.add_argument("--size-mb", type=float, default=100.0)
    p.add_argument("--seed", type=int, default=5)
    a = p.parse_args()
    rng = random.Random(a.seed)
    write_copilot(a.out / ".copilot", rng, int(a.size_mb * MB))
    write_aider(a.out / "aider", rng, int(a.size_mb * MB))


if __name__ == "__main__":
    main()
