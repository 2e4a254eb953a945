"""A home holding all five agents: Claude Code and Codex (the bundled
sample), Gemini CLI, Copilot CLI and Aider (records of the shapes they
write). The full reading gives one timeline ordered across all of them;
--documented gives exactly what the five Python functions give, which read
only .claude and .codex, whatever lies beside them."""

import collections
import datetime
import json
import os
import pathlib
import shutil
import subprocess

import pytest

import vellumtrace

SAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "agents"

GEMINI = [
    {"sessionId": "cdc6c5f9-ef4b-4922-9d87-d7ddc1040f94", "projectHash": "80f438cecd03b8230f245e6994cfb4f5c74"
     "75d038405a50cb1404aa42b46fed4", "startTime": "2025-11-05T09:00:00.000Z", "lastUpdated": "2025-11-05T09:00:00.000Z",
     "kind": "main"},
    {"id": "8901a054-5731-4be4-854f-bb1c9bb19995", "timestamp": "2025-11-05T09:00:01.000Z", "type": "user",
     "content": [{"text": "gemini: list the tests"}]},
    {"id": "b2c4e6f8-0000-4000-8000-000000000001", "timestamp": "2025-11-06T15:00:00.000Z", "type": "gemini",
     "content": "Two tests.", "model": "gemini-2.5-pro",
     "tokens": {"input": 900, "output": 10, "cached": 800, "thoughts": 5, "tool": 0, "total": 915},
     "toolCalls": [{"id": "glob-1762333201000-1", "name": "glob", "args": {"pattern": "tests/*.py"},
                    "status": "success", "timestamp": "2025-11-06T15:00:00.000Z",
                    "result": [{"functionResponse": {"id": "glob-1762333201000-1", "name": "glob",
                                                     "response": {"output": "a.py\nb.py"}}}]}]},
]

COPILOT_ID = "0c1a2b3c-1111-4222-8333-944455556666"


def copilot_event(n, kind, time, **data):
    return {"type": kind, "data": data, "id": f"e{n}", "timestamp": time, "parentId": f"e{n - 1}" if n else None}


COPILOT = [
    copilot_event(0, "session.start", "2025-11-05T10:00:00.000Z", sessionId=COPILOT_ID, copilotVersion="1.0.10",
                  context={"cwd": "/w"}),
    copilot_event(1, "user.message", "2025-11-05T10:00:01.000Z", content="copilot: fix the bug", attachments=[]),
    copilot_event(2, "assistant.message", "2025-11-06T16:00:00.000Z", messageId="m1", content="Fixed.",
                  toolRequests=[{"toolCallId": "toolu_1", "name": "bash", "arguments": {"command": "make"}}],
                  outputTokens=12, model="claude-sonnet-4.6"),
    copilot_event(3, "tool.execution_complete", "2025-11-06T16:00:01.000Z", toolCallId="toolu_1", success=True,
                  result={"content": "ok"}),
]

AIDER = ("\n# aider chat started at 2025-11-05 11:00:00\n\n> Aider v0.86.1  \n"
         "> Main model: gemini/gemini-2.5-pro with diff-fenced edit format  \n\n#### aider: add a docstring  \n\n"
         "Added.\n\n> Tokens: 3.2k sent, 222 received. Cost: $0.0014 message, $0.0031 session.  \n")


def put(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text, encoding="utf-8")


@pytest.fixture(scope="module")
def home(tmp_path_factory):
    home = tmp_path_factory.mktemp("every") / "home"
    shutil.copytree(SAMPLE, home, symlinks=True)
    put(home / ".gemini/tmp/w/chats/session-2025-11-05T09-00-cdc6c5f9.jsonl",
        "".join(json.dumps(r) + "\n" for r in GEMINI))
    put(home / f".copilot/session-state/{COPILOT_ID}/events.jsonl", "".join(json.dumps(r) + "\n" for r in COPILOT))
    put(home / f".copilot/session-state/{COPILOT_ID}/workspace.yaml", f"id: {COPILOT_ID}\ncwd: /w\nbranch: main\n")
    put(home / ".aider.chat.history.md", AIDER)
    return home


def program(cli_path, *args):
    result = subprocess.run([cli_path, *map(str, args), "-q"], capture_output=True, env=dict(os.environ, TZ="UTC"))
    assert result.returncode == 0, result.stderr
    return result.stdout.decode()


def test_full_reading_is_one_timeline_of_all_five(home, cli_path):
    events = [json.loads(line) for line in program(cli_path, home, "-f", "jsonl").splitlines()]
    providers = collections.Counter(e["provider"] for e in events)
    assert set(providers) == {"claude_code", "codex", "gemini_cli", "copilot_cli", "aider"}
    assert [e["sequence"] for e in events] == list(range(len(events)))
    times = [datetime.datetime.fromisoformat(e["timestamp"].replace("Z", "+00:00")) for e in events if e["timestamp"]]
    assert times == sorted(times)
    # Interleaved, not one agent after another: the three added agents' prompts on the 5th,
    # their replies on the 6th, between the sample's own events of both days.
    order = [e["provider"] for e in events if e["timestamp"]]
    runs = sum(1 for a, b in zip(order, order[1:]) if a != b)
    assert runs >= 8, order
    # Each agent's prompt is there, as it wrote it.
    prompts = {(e["provider"], e["message"]) for e in events if e["event_type"] == "prompt_input"}
    assert {("gemini_cli", "gemini: list the tests"), ("copilot_cli", "copilot: fix the bug"),
            ("aider", "aider: add a docstring")} <= prompts
    assert len({e["event_id"] for e in events}) == len(events)
    # Given again with its agents' roots inside it, nothing is read twice and nothing dropped.
    again = program(cli_path, home, home / ".codex", home / ".gemini", home / ".copilot", "-f", "jsonl")
    assert [json.loads(line)["event_id"] for line in again.splitlines()] == [e["event_id"] for e in events]


def test_documented_reading_equals_the_five_functions(home, cli_path, tmp_path):
    assert program(cli_path, home, "--documented", "-f", "json") == vellumtrace.to_json(home)
    assert program(cli_path, home, "--documented", "-f", "jsonl") == vellumtrace.to_jsonl(home)
    assert program(cli_path, home, "--documented", "-f", "csv") == vellumtrace.to_csv(home)
    for fmt, rendered in (("jsonl", vellumtrace.to_jsonl(home)), ("csv", vellumtrace.to_csv(home))):
        out = tmp_path / f"out.{fmt}"
        vellumtrace.convert(home, out, fmt)
        assert out.read_text(encoding="utf-8") == rendered
    report = vellumtrace.parse(home)
    documented = json.loads(vellumtrace.to_json(home))
    assert [e["event_id"] for e in report["events"]] == [e["event_id"] for e in documented["events"]]
    # Only the two documented agents, and the sample read alone gives the same events.
    assert {e["provider"] for e in documented["events"]} == {"claude_code", "codex"}
    assert [e["event_id"] for e in documented["events"]] == [
        e["event_id"] for e in json.loads(vellumtrace.to_json(SAMPLE))["events"]]
    # The added agents' own places are no input of the Python functions.
    for place in (".gemini", ".gemini/tmp/w/chats/session-2025-11-05T09-00-cdc6c5f9.jsonl", ".copilot",
                  ".aider.chat.history.md"):
        with pytest.raises(ValueError, match="^Cannot auto-detect"):
            vellumtrace.parse(home / place)
