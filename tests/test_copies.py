"""Copies in the full reading, end to end over the records Claude Code and
Codex write: every line still gives its events, a copy names the event
counted in its stead (`copy_of`), and the summary counts it nowhere. Repeated
lines, a record written again under its uuid, a resumed session's replay, a
message's usage in a later file, and the same files read from two inputs;
beside them what only looks alike (a text typed twice, calls of one message
that read alike) stays counted."""

import collections
import json
import shutil
import subprocess

import pytest

from test_counting import CLAUDE_SESSION, T0, claude_assistant, claude_root, claude_user, codex_root, item, rec, \
    user_message

RESUMED = "9d3e4f50-6a7b-4c8d-9e0f-1a2b3c4d5e6f"
A, B = f"{CLAUDE_SESSION}.jsonl", f"{RESUMED}.jsonl"


def at(seconds):
    return f"2025-03-01T10:00:{seconds:02d}Z"


def tool_use(call_id, name="Bash", **arguments):
    return {"type": "tool_use", "id": call_id, "name": name, "input": arguments or {"command": "ls"}}


def tool_result(uuid, seconds, call_id, text, **extra):
    return claude_user(uuid, at(seconds), [{"tool_use_id": call_id, "type": "tool_result", "content": text}],
                       **extra)


def answer(uuid, seconds, message_id, blocks, output_tokens=5, session=CLAUDE_SESSION):
    record = claude_assistant(uuid, at(seconds), message_id, blocks, (3, 10, 20, output_tokens))
    return {**record, "sessionId": session}


TURN = [claude_user("u1", at(0), "fix it"),
        answer("a1", 1, "msg_1", [tool_use("toolu_1")]),
        tool_result("u2", 2, "toolu_1", "a.py"),
        answer("a2", 3, "msg_2", [{"type": "text", "text": "Done."}], output_tokens=7)]

# name: (transcripts {file: records}, the copies {(file, line, record type): the
# same of the event it copies}, the summary's (prompts, tool calls, output tokens))
CASES = {
    "a turn written twice byte for byte (Claude Code 0.2.x)": (
        {A: TURN + TURN},
        {(A, 5, "user/text"): (A, 1, "user/text"), (A, 6, "assistant/tool_use"): (A, 2, "assistant/tool_use"),
         (A, 7, "user/tool_result"): (A, 3, "user/tool_result"), (A, 8, "assistant/text"): (A, 4, "assistant/text")},
        (1, 1, 12)),
    "a record written again under its uuid, other bytes": (
        {A: [*TURN, claude_user("u1", at(30), "fix it", gitBranch="main")]},
        {(A, 5, "user/text"): (A, 1, "user/text")},
        (1, 1, 12)),
    "a resumed session replays with new uuids, the same message and call ids": (
        {A: TURN,
         B: [claude_user("b0", at(40), "go on", sessionId=CLAUDE_SESSION),
             answer("b1", 41, "msg_1", [tool_use("toolu_1")], session=RESUMED),
             tool_result("b2", 42, "toolu_1", "a.py", sessionId=CLAUDE_SESSION),
             answer("b3", 43, "msg_2", [{"type": "text", "text": "Done."}], output_tokens=7, session=RESUMED),
             answer("b4", 44, "msg_3", [tool_use("toolu_2", command="make")], output_tokens=2, session=RESUMED)]},
        {(B, 2, "assistant/tool_use"): (A, 2, "assistant/tool_use"),
         (B, 2, "assistant/usage"): (A, 2, "assistant/usage"),
         (B, 3, "user/tool_result"): (A, 3, "user/tool_result"),
         (B, 4, "assistant/text"): (A, 4, "assistant/text"), (B, 4, "assistant/usage"): (A, 4, "assistant/usage")},
        (2, 2, 14)),
    "a message's usage in a later file: the first file's counts": (
        {A: TURN[:2], B: [answer("b1", 50, "msg_1", [{"type": "text", "text": "Listing."}], output_tokens=40)]},
        {(B, 1, "assistant/usage"): (A, 2, "assistant/usage")},
        (1, 1, 5)),
    "the same text typed twice is two prompts": (
        {A: [claude_user("u1", at(0), "update"), claude_user("u2", at(9), "update")]},
        {},
        (2, 0, None)),
    "calls of one message that read alike are two calls": (
        {A: [claude_user("u1", at(0), "find them"),
             answer("a1", 1, "msg_1", [tool_use("toolu_1", "Glob", pattern="**/a*.ts", path="/w/app")]),
             answer("a2", 2, "msg_1", [tool_use("toolu_2", "Glob", pattern="**/b*.ts", path="/w/app")]),
             tool_result("u2", 3, "toolu_1", "/w/app/a.ts"), tool_result("u3", 4, "toolu_2", "/w/app/a.ts")]},
        {},
        (1, 2, 5)),
}


def run(cli_path, *args):
    result = subprocess.run([cli_path, *map(str, args), "-q"], capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result.stdout


def events(cli_path, *paths):
    return [json.loads(line) for line in run(cli_path, *paths, "-f", "jsonl").splitlines()]


def counted(cli_path, *paths):
    rows = json.loads(run(cli_path, *paths, "--summary", "-f", "json"))
    output = [r["output_tokens"] for r in rows if r["output_tokens"] is not None]
    return sum(r["prompts"] for r in rows), sum(r["tool_calls"] for r in rows), sum(output) if output else None


@pytest.mark.parametrize("transcripts, copies, counts", CASES.values(), ids=CASES.keys())
def test_copies_are_marked_and_counted_once(cli_path, tmp_path, transcripts, copies, counts):
    root = claude_root(tmp_path, [], transcripts)
    timeline = events(cli_path, root)
    by_id = {e["event_id"]: e for e in timeline}

    def place(event):
        return event["source"]["relative_path"].rsplit("/", 1)[-1], event["source"]["line_number"], \
            event["source"]["record_type"]

    places = collections.Counter(place(e) for e in timeline)
    assert all(n == 1 for n in places.values()), places
    # Every line gives its events, copies included.
    assert {(name, line) for name, line, _ in places} == {
        (name, line) for name, records in transcripts.items() for line in range(1, len(records) + 1)}
    marked = {place(e): place(by_id[e["copy_of"]]) for e in timeline if e["copy_of"] is not None}
    assert marked == copies
    assert all(by_id[e["copy_of"]]["copy_of"] is None for e in timeline if e["copy_of"])
    assert counted(cli_path, root) == counts


def codex_home(tmp_path):
    return codex_root(tmp_path, [rec(T0, "session_meta", {"id": RESUMED, "cwd": "/w"}),
                                 rec(T0, "turn_context", {"cwd": "/w", "model": "gpt-5-codex"}),
                                 item(at(1), "user", "fix it"), user_message(at(1), "fix it"),
                                 rec(at(2), "response_item", {"type": "function_call", "name": "shell",
                                                              "arguments": '{"command":["ls"]}', "call_id": "c1"}),
                                 rec(at(3), "response_item", {"type": "function_call_output", "call_id": "c1",
                                                              "output": "a.py"})]).parent


@pytest.mark.parametrize("build", [lambda t: claude_root(t, [], {A: TURN}).parent, codex_home],
                         ids=["claude", "codex"])
def test_two_backups_read_together_count_once(cli_path, tmp_path, build):
    (tmp_path / "monday").mkdir()
    monday = build(tmp_path / "monday")
    tuesday = tmp_path / "tuesday"
    shutil.copytree(monday, tuesday, copy_function=shutil.copy)  # new file times
    both = events(cli_path, monday, tuesday)
    alone = events(cli_path, monday)
    assert len(both) == 2 * len(alone)
    first = {e["event_id"] for e in both if e["input"] == str(monday)}
    assert first == {e["event_id"] for e in alone}
    # Every event of the second backup copies its twin of the first (same id).
    assert [(e["event_id"], e["copy_of"]) for e in both if e["input"] == str(tuesday)] == [
        (e["event_id"], e["event_id"]) for e in both if e["input"] == str(tuesday)]
    assert all(e["copy_of"] is None for e in both if e["input"] == str(monday))
    assert counted(cli_path, monday, tuesday) == counted(cli_path, monday)
    assert counted(cli_path, monday)[:2] == (1, 1)


def test_corpus_sessions_count_each_tool_call_once(cli_path, corpus_dir):
    """Over the corpus: a session's tool calls are its distinct call ids, and
    every copy names a counted event of its own type."""
    homes = sorted(p for p in corpus_dir.iterdir() if p.is_dir())
    timeline = events(cli_path, *homes)
    counted_types = {e["event_id"]: e["event_type"] for e in timeline if e["copy_of"] is None}
    calls = collections.defaultdict(set)
    for e in timeline:
        if e["event_type"] == "tool_call":
            calls[(e["provider"], e["session_id"])].add(e["tool_call_id"] or e["event_id"])
        if e["copy_of"] is not None:
            assert counted_types.get(e["copy_of"]) == e["event_type"], e["event_id"]
    rows = json.loads(run(cli_path, *homes, "--summary", "-f", "json"))
    got = {(r["provider"], r["session_id"]): r["tool_calls"] for r in rows if r["tool_calls"]}
    assert got == {key: len(ids) for key, ids in calls.items()}
    assert sum(got.values()) > 2000
