"""Each agent's files cut into records with Python alone, for
agents_accounting.py: which records a source holds, whether the program's
events and diagnostics account for each, and the tool calls and token
figures the files state (Gemini CLI, Copilot CLI, Aider)."""

from __future__ import annotations

import bisect
import collections
import json
import pathlib
import re


def canon(value) -> str:
    return json.dumps(value, sort_keys=True, ensure_ascii=False)


def nonblank_lines(path: pathlib.Path) -> list[tuple[int, str]]:
    text = path.read_bytes().decode("utf-8", errors="replace")
    return [(n, line.rstrip("\r")) for n, line in enumerate(text.split("\n"), 1) if line.strip()]


class Found:
    """Where the program's events and diagnostics point, per file."""

    def __init__(self, report):
        self.lines = collections.defaultdict(set)
        self.ids = collections.defaultdict(set)
        self.raws = collections.defaultdict(collections.Counter)
        self.types = collections.defaultdict(collections.Counter)
        self.whole = set()  # files a diagnostic names without a line
        self.starts = collections.defaultdict(list)  # (line, message) of events, for text files
        for event in report["events"]:
            source = event["source"]
            rel = source["relative_path"]
            if source["line_number"] is not None:
                self.lines[rel].add(source["line_number"])
                self.starts[rel].append((source["line_number"], event["message"] or ""))
            if source.get("source_id") is not None:
                self.ids[rel].add(source["source_id"])
            if event.get("raw") is not None:
                self.raws[rel][canon(event["raw"])] += 1
            self.types[rel][source["record_type"]] += 1
        for diagnostic in report["diagnostics"]:
            source = diagnostic.get("source") or {}
            if source.get("relative_path"):
                if source.get("line_number") is None:
                    self.whole.add(source["relative_path"])
                else:
                    self.lines[source["relative_path"]].add(source["line_number"])
        for starts in self.starts.values():
            starts.sort(key=lambda s: s[0])


class Ledger:
    """Records read and records unaccounted, per kind of file."""

    def __init__(self):
        self.read = collections.Counter()
        self.missing = collections.Counter()
        self.examples = []
        self.side = []

    def check(self, kind: str, rel: str, records: list, accounted) -> None:
        self.read[kind] += len(records)
        lost = [r for r in records if not accounted(r)]
        self.missing[kind] += len(lost)
        self.examples += [f"{rel}: {str(r)[:80]}" for r in lost[:3]]


def by_raw(ledger: Ledger, found: Found, kind: str, rel: str, values: list) -> None:
    """Records found again as the raw record of an event; equal records each
    give their events, so equal ones are matched by count."""
    wanted = collections.Counter(canon(v) for v in values)
    have = found.raws[rel]
    ledger.read[kind] += len(values)
    lost = sum(max(0, n - have[k]) for k, n in wanted.items()) if rel not in found.whole else 0
    ledger.missing[kind] += lost
    if lost:
        ledger.examples.append(f"{rel}: {lost} {kind} not found")


def by_line(ledger: Ledger, found: Found, kind: str, rel: str, path: pathlib.Path) -> None:
    numbers = [n for n, _ in nonblank_lines(path)]
    ledger.check(kind, rel, numbers, lambda n: rel in found.whole or n in found.lines[rel])


def by_type(ledger: Ledger, found: Found, kind: str, rel: str, record_type: str) -> None:
    ledger.check(kind, rel, [record_type], lambda t: rel in found.whole or found.types[rel][t] >= 1)


# ---- Gemini CLI ------------------------------------------------------------

def gemini_records(root: pathlib.Path, found: Found, ledger: Ledger) -> None:
    for path in sorted(p for p in root.rglob("*") if p.is_file()):
        rel = path.relative_to(root).as_posix()
        name = path.name
        if path.parent.name == "chats" and name.startswith("session-") and name.endswith(".jsonl"):
            by_line(ledger, found, "session lines", rel, path)
        elif path.parent.name == "chats" and name.startswith("session-") and name.endswith(".json"):
            document = json.loads(path.read_bytes())
            by_type(ledger, found, "session documents", rel, "session")
            ids = [m["id"] for m in document.get("messages", [])]
            ledger.check("document messages", rel, ids, lambda i: rel in found.whole or i in found.ids[rel])
        elif name == "logs.json":
            by_raw(ledger, found, "prompt log entries", rel, json.loads(path.read_bytes()))
        elif name.startswith("checkpoint-") and name.endswith(".json"):
            by_raw(ledger, found, "saved chat contents", rel, json.loads(path.read_bytes()))
        elif name == "shell_history":
            by_line(ledger, found, "shell history lines", rel, path)
        else:
            ledger.side.append(rel)


def gemini_messages(root: pathlib.Path):
    """(session id, message) of every message written in a session file, in order."""
    for path in sorted(root.glob("tmp/*/chats/session-*")):
        if path.suffix == ".json":
            document = json.loads(path.read_bytes())
            yield from ((document.get("sessionId"), m) for m in document.get("messages", []))
            continue
        session = None
        for _, line in nonblank_lines(path):
            record = json.loads(line)
            if "type" in record:
                yield session, record
            elif "$set" in record:
                yield from ((session, m) for m in record["$set"].get("messages", []) or [])
            else:
                session = record.get("sessionId", session)


def gemini_alone(root: pathlib.Path):
    """Tool calls (distinct (session, call id)) and per session token sums and
    models, the last copy of a message counting (a message id seen again)."""
    last = {}
    for session, message in gemini_messages(root):
        last[(session, message.get("id"))] = (session, message)
    calls, tokens, models = set(), collections.Counter(), collections.defaultdict(set)
    for session, message in last.values():
        for call in message.get("toolCalls") or []:
            calls.add((session, call.get("id")))
        stated = message.get("tokens")
        if isinstance(stated, dict):
            cached, thoughts = stated.get("cached", 0), stated.get("thoughts", 0)
            tokens[(session, "input_tokens")] += stated.get("input", 0) - cached
            tokens[(session, "cache_read_tokens")] += cached
            tokens[(session, "output_tokens")] += stated.get("output", 0) + thoughts
            tokens[(session, "reasoning_tokens")] += thoughts
            if message.get("model"):
                models[session].add(message["model"])
    saved = 0
    for path in sorted(root.glob("tmp/*/checkpoint-*.json")):
        for content in json.loads(path.read_bytes()):
            saved += sum(1 for part in content.get("parts", []) if "functionCall" in part)
    return len(calls), saved, tokens, models


# ---- Copilot CLI -------------------------------------------------------------

def copilot_records(root: pathlib.Path, found: Found, ledger: Ledger) -> None:
    for path in sorted(p for p in root.rglob("*") if p.is_file()):
        rel = path.relative_to(root).as_posix()
        name = path.name
        parts = path.relative_to(root).parts
        if parts[0] == "session-state" and (name == "events.jsonl" or (len(parts) == 2 and name.endswith(".jsonl"))):
            by_line(ledger, found, "event log lines", rel, path)
        elif parts[0] == "history-session-state" and name.endswith(".json"):
            document = json.loads(path.read_bytes())
            by_type(ledger, found, "legacy documents", rel, "session")
            by_raw(ledger, found, "legacy chat messages", rel, document.get("chatMessages", []))
            by_raw(ledger, found, "legacy timeline entries", rel, document.get("timeline", []))
        elif name == "command-history-state.json":
            by_raw(ledger, found, "command history entries", rel, json.loads(path.read_bytes())["commandHistory"])
        elif name == "index.json" and path.parent.name == "rewind-snapshots":
            by_raw(ledger, found, "rewind snapshots", rel, json.loads(path.read_bytes()).get("snapshots", []))
        elif name == "workspace.yaml":
            by_type(ledger, found, "workspace files", rel, "workspace")
        elif path.parent.name == "checkpoints" and name != "index.md":
            by_type(ledger, found, "checkpoint pages", rel, "checkpoint")
        else:
            ledger.side.append(rel)


def copilot_alone(root: pathlib.Path):
    """Distinct tool call ids per session (a log's requests and started
    calls; a legacy document's timeline calls and chat tool calls), and per
    session the stated output tokens and the models named."""
    calls, tokens, models = set(), collections.Counter(), collections.defaultdict(set)
    logs = sorted(root.glob("session-state/*.jsonl")) + sorted(root.glob("session-state/*/events.jsonl"))
    for log in logs:
        session = log.stem if log.name != "events.jsonl" else log.parent.name
        for _, line in nonblank_lines(log):
            record = json.loads(line)
            data = record.get("data") or {}
            if record.get("type") == "session.start" and data.get("sessionId"):
                session = data["sessionId"]
            if record.get("type") == "assistant.message":
                for request in data.get("toolRequests") or []:
                    calls.add((session, request.get("toolCallId")))
                if data.get("outputTokens") is not None:
                    tokens[(session, "output_tokens")] += data["outputTokens"]
            if record.get("type") == "tool.execution_start":
                calls.add((session, data.get("toolCallId")))
    for path in sorted(root.glob("history-session-state/*.json")):
        document = json.loads(path.read_bytes())
        session = document.get("sessionId")
        for entry in document.get("timeline", []):
            if entry.get("type") == "tool_call_completed":
                calls.add((session, entry.get("callId")))
        for message in document.get("chatMessages", []):
            for call in message.get("tool_calls") or []:
                calls.add((session, call.get("id")))
    return len(calls), 0, tokens, models


# ---- Aider -------------------------------------------------------------------

PREFIXES = {".aider.chat.history.md": ("#### ", "> ", ">", "# "), ".aider.input.history": ("+",),
            ".aider.llm.history": ("SYSTEM ", "USER ", "ASSISTANT ")}


def aider_records(place: pathlib.Path, found: Found, ledger: Ledger) -> None:
    for path in sorted(p for p in place.iterdir() if p.is_file()):
        rel = path.name
        if rel not in PREFIXES:
            ledger.side.append(rel)
            continue
        starts = found.starts[rel]
        numbers = [s[0] for s in starts]

        def accounted(item, rel=rel, starts=starts, numbers=numbers):
            number, line = item
            if rel in found.whole or number in found.lines[rel]:
                return True
            at = bisect.bisect_right(numbers, number) - 1
            if at < 0:
                return False
            core = line
            for prefix in PREFIXES[rel]:
                if core.startswith(prefix):
                    core = core[len(prefix):]
                    break
            return core.strip() in starts[at][1]

        ledger.check(f"{rel} lines", rel, nonblank_lines(path), accounted)


UNITS = {"k": 1000, "": 1}


def aider_alone(place: pathlib.Path):
    """Token figures of the `> Tokens:` lines (rounded as written) per file."""
    tokens = collections.Counter()
    chat = place / ".aider.chat.history.md"
    if chat.is_file():
        for _, line in nonblank_lines(chat):
            if line.startswith("> Tokens: "):
                for amount, unit, label in re.findall(r"([\d.]+)(k?) (sent|received|cache write|cache hit)", line):
                    column = {"sent": "input_tokens", "received": "output_tokens", "cache write": "cache_write_tokens",
                              "cache hit": "cache_read_tokens"}[label]
                    tokens[(None, column)] += round(float(amount) * UNITS[unit])
    return 0, 0, tokens, collections.defaultdict(set)


# ---- the agents: where each keeps its files, its records, its own figures ----

AGENTS = {
    "gemini-cli": (".gemini", gemini_records, gemini_alone),
    "copilot-cli": (".copilot", copilot_records, copilot_alone),
    "aider": (None, aider_records, aider_alone),
}
