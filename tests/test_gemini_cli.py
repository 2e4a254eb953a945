"""Gemini CLI (full reading): record mapping of sessions written line by line
and as one document, prompt logs, saved chats and shell history; detection;
damaged and hostile files; and the real homes of the agents corpus,
accounted record by record (a home of every agent, and the documented
reading beside it: tests/test_every_agent.py)."""

import collections
import datetime
import json
import os
import pathlib
import subprocess
import tempfile

import pytest

import agent_totals

SESSION = "cdc6c5f9-ef4b-4922-9d87-d7ddc1040f94"
HASH = "80f438cecd03b8230f245e6994cfb4f5c7475d038405a50cb1404aa42b46fed4"
TS = "2026-04-25T12:48:44.969Z"
HEADER = {"sessionId": SESSION, "projectHash": HASH, "startTime": "2026-04-25T12:47:09.267Z",
          "lastUpdated": "2026-04-25T12:47:09.267Z", "kind": "main"}


def msg(kind, content, mid="8901a054-5731-4be4-854f-bb1c9bb19995", **fields):
    return {"id": mid, "timestamp": TS, "type": kind, "content": content, **fields}


def call(name, args, status="success", output="ok", cid=None):
    cid = cid or f"{name}_1777121353427_0"
    return {"id": cid, "name": name, "args": args, "status": status, "timestamp": TS,
            "result": [{"functionResponse": {"id": cid, "name": name,
                                             "response": {"output" if status == "success" else "error": output}}}],
            "resultDisplay": output, "displayName": name, "description": "", "renderOutputAsMarkdown": False}


TOKENS = {"input": 6588, "output": 26, "cached": 6078, "thoughts": 133, "tool": 0, "total": 6747}
THOUGHT = {"subject": "Debugging the Code's Error", "description": "I'm focused on the error.", "timestamp": TS}


def program(cli_path, *args, check=True):
    """The program's events as JSON lines (which carry the prompt origin) and its diagnostics."""
    with tempfile.TemporaryDirectory() as scratch:
        diagnostics = pathlib.Path(scratch) / "diagnostics.jsonl"
        result = subprocess.run([cli_path, *map(str, args), "-f", "jsonl", "-q", "--diagnostics", diagnostics],
                                capture_output=True)
        if check:
            assert result.returncode == 0, result.stderr
        if result.returncode != 0:
            return result
        return {"events": [json.loads(line) for line in result.stdout.splitlines()],
                "diagnostics": [json.loads(line) for line in diagnostics.read_text().splitlines()]}


def put(base, rel, text):
    path = base / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text, encoding="utf-8")
    return path


def jsonl(records):
    return "".join((r if isinstance(r, str) else json.dumps(r)) + "\n" for r in records)


def shown(report):
    return [(e["event_type"], e["source"]["record_type"], e["message"], e.get("origin"))
            for e in report["events"]]


# Lines after a header, and the events each gives (type, record type, message, origin).
LINES = [
    (msg("user", [{"text": "search the codebase for levels"}]),
     [("prompt_input", "user", "search the codebase for levels", "typed")]),
    (msg("user", "/setup-github"), [("prompt_input", "user", "/setup-github", "command")]),
    (msg("user", "!npm run dev"), [("prompt_input", "user", "!npm run dev", "command")]),
    (msg("user", [{"text": "<session_context>\nThis is the Gemini CLI."}, {"text": "fix it"}]),
     [("prompt_input", "user", "<session_context>\nThis is the Gemini CLI.", "injected"),
      ("prompt_input", "user", "fix it", "typed")]),
    (msg("user", [{"inlineData": {"mimeType": "image/png", "data": "iVBO"}},
                  {"functionResponse": {"id": "c1", "name": "read_file", "response": {"output": "text"}}},
                  {"videoMetadata": {}}]),
     [("attachment", "user/inlineData", "image/png", None), ("tool_result", "user/function_response", "text", None),
      ("unknown", "user/videoMetadata", None, None)]),
    (msg("user", []), [("unknown", "user", None, None)]),
    (msg("gemini", "I'll look.", thoughts=[THOUGHT], tokens=TOKENS, model="gemini-2.5-pro",
         toolCalls=[call("grep_search", {"pattern": "levels", "dir_path": "TP-Tutor/"}),
                    call("run_shell_command", {"command": "npm run\nbuild", "description": "Build"}, status="error",
                         output="exit 1"),
                    call("replace", {"file_path": "/w/a.ts", "old_string": "a"}, status="cancelled",
                         output="[Operation Cancelled]")]),
     [("agent_reasoning", "gemini/thought", "Debugging the Code's Error\nI'm focused on the error.", None),
      ("agent_message", "gemini/text", "I'll look.", None),
      ("tool_call", "gemini/tool_call", "grep_search: levels", None),
      ("tool_result", "gemini/tool_result", "ok", None),
      ("tool_call", "gemini/tool_call", "run_shell_command: npm run build", None),
      ("tool_result", "gemini/tool_error", "exit 1", None),
      ("tool_call", "gemini/tool_call", "replace: /w/a.ts", None),
      ("tool_result", "gemini/tool_error", "[Operation Cancelled]", None),
      ("token_usage", "gemini/tokens", "gemini-2.5-pro: input 510, cache read 6078, output 159, reasoning 133", None)]),
    (msg("gemini", "", model="gemini-2.5-flash",
         toolCalls=[{"id": "read_file-1761868169841-4765def363441", "name": "read_file",
                     "args": {"absolute_path": "C:\\w\\ci.yml"}, "timestamp": TS}]),
     [("tool_call", "gemini/tool_call", "read_file: C:\\w\\ci.yml", None)]),
    (msg("gemini", ""), [("agent_message", "gemini/text", "", None)]),
    (msg("gemini", [{"text": "part one"}, {"executableCode": {}}]),
     [("agent_message", "gemini/text", "part one", None), ("unknown", "gemini/executableCode", None, None)]),
    (msg("info", "Request cancelled."), [("task_state", "info", "Request cancelled.", None)]),
    (msg("error", "[API Error: You have exhausted your capacity on this model.]"),
     [("error", "error", "[API Error: You have exhausted your capacity on this model.]", None)]),
    (msg("warning", "careful"), [("task_state", "warning", "careful", None)]),
    (msg("sage", "careful"), [("unknown", "sage", None, None)]),
    # A part list may be the one part itself.
    (msg("user", {"text": "one part"}), [("prompt_input", "user", "one part", "typed")]),
    (msg("gemini", {"text": "one part"}), [("agent_message", "gemini/text", "one part", None)]),
    (msg("error", {"text": "[API Error: 429]"}), [("error", "error", "[API Error: 429]", None)]),
    # A call still under way when written has no result yet.
    (msg("gemini", "", toolCalls=[{"id": "c1", "name": "read_file", "args": {"absolute_path": "/w/a"},
                                   "status": "executing", "timestamp": TS}]),
     [("tool_call", "gemini/tool_call", "read_file: /w/a", None)]),
    ({"$set": {"lastUpdated": "2026-04-25T12:48:44.969Z"}},
     [("task_state", "$set", "lastUpdated: 2026-04-25T12:48:44.969Z", None)]),
    ({"$set": {"messages": [msg("user", [{"text": "<session_context>\nctx"}], mid="d049"), msg("info", "hi", mid="d050")],
               "lastUpdated": TS}},
     [("prompt_input", "user", "<session_context>\nctx", "injected"), ("task_state", "info", "hi", None)]),
    ({"$rewindTo": "8901a054-5731-4be4-854f-bb1c9bb19995"},
     [("task_state", "$rewindTo", "$rewindTo: 8901a054-5731-4be4-854f-bb1c9bb19995", None)]),
    ({"mystery": 1}, [("unknown", "unknown", None, None)]),
]


@pytest.mark.parametrize("line, expected", LINES, ids=[str(i) for i in range(len(LINES))])
def test_session_line_mapping(tmp_path, cli_path, line, expected):
    path = put(tmp_path, "home/.gemini/tmp/anthonyguera/chats/session-2026-04-25T12-47-cdc6c5f9.jsonl",
               jsonl([HEADER, line]))
    report = program(cli_path, path)
    events = report["events"]
    assert shown(report) == [("session_start", "session", None, None)] + expected
    assert report["diagnostics"] == []
    assert {(e["provider"], e["source"]["artifact_kind"], e["session_id"]) for e in events} == {
        ("gemini_cli", "gemini_session", SESSION)}
    assert [e["source"]["line_number"] for e in events] == [1] + [2] * len(expected)
    assert [e["source"]["relative_path"] for e in events] == [
        "tmp/anthonyguera/chats/session-2026-04-25T12-47-cdc6c5f9.jsonl"] * len(events)
    for event in events:
        assert bool(event["warnings"]) == (event["event_type"] == "unknown")
        if event["warnings"]:
            assert event["warnings"][0].startswith(("Unmapped Gemini CLI", "Gemini CLI"))
    assert len({e["event_id"] for e in events}) == len(events)


def test_document_reads_as_its_lines(tmp_path, cli_path):
    """A session document gives the events its messages give as lines, each
    on the line where its message starts, and the start's message is the summary."""
    messages = [line for line, _ in LINES if "type" in line]
    document = dict(HEADER, summary="Fix the ReferenceError", messages=messages)
    path = put(tmp_path, ".gemini/tmp/" + HASH + "/chats/session-2026-04-25T12-47-cdc6c5f9.json",
               json.dumps(document, indent=2))
    report = program(cli_path, path)
    expected = [("session_start", "session", "Fix the ReferenceError", None)]
    for line, events in LINES:
        if "type" in line:
            expected += events
    assert shown(report) == expected
    text = path.read_text().split("\n")
    starts = {e["source"]["line_number"] for e in report["events"][1:]}
    # Each message's line holds the opening brace of its object.
    assert len(starts) == len(messages) and all(text[n - 1].strip() == "{" for n in starts)
    lines = program(cli_path, put(tmp_path, "l/.gemini/tmp/x/chats/session-1.jsonl",
                                  jsonl([HEADER] + messages)))
    assert shown(lines)[1:] == expected[1:]


def test_prompt_log_checkpoint_and_shell_history(tmp_path, cli_path):
    folder = tmp_path / ".gemini/tmp/9cfc5cfa6f8fd18d3d1ecfcfd77bd22358803e86899edd66537e36fc1bc8652a"
    put(folder, "logs.json", json.dumps([
        {"sessionId": "689f5d93", "messageId": 0, "type": "user", "message": "привет", "timestamp": TS},
        {"sessionId": "689f5d93", "messageId": "1", "type": "user", "message": "/theme", "timestamp": TS},
        {"sessionId": "689f5d93", "messageId": 2, "type": "model", "message": "x", "timestamp": TS},
        "stray"], indent=2, ensure_ascii=False))
    put(folder, "checkpoint-'test'.json", json.dumps([
        {"role": "user", "parts": [{"text": "This is the Gemini CLI. We are setting up the context for our chat."}]},
        {"role": "model", "parts": [{"text": "Got it."}, {"text": "thinking", "thought": True}]},
        {"role": "model", "parts": [{"functionCall": {"name": "run_shell_command",
                                                      "args": {"command": "paru -S kvantum"}}}]},
        {"role": "user", "parts": [{"functionResponse": {"id": "run_shell_command-1751899028178-d7ab369acc9b6",
                                                         "name": "run_shell_command",
                                                         "response": {"error": "[Operation Cancelled]"}}}]},
        {"role": "user", "parts": [{"text": "что за kvantum?"}]},
        {"role": "model"}], indent=2, ensure_ascii=False))
    put(folder, "shell_history", "gcloud auth login\n\n   \ngh run list\n")
    report = program(cli_path, tmp_path / ".gemini")
    by_kind = collections.defaultdict(list)
    for event in report["events"]:
        by_kind[event["source"]["artifact_kind"]].append(event)
    assert [(e["event_type"], e["source"]["record_type"], e["message"], e["origin"]) for e in by_kind["gemini_log"]] == [
        ("prompt_input", "user", "привет", "typed"), ("prompt_input", "user", "/theme", "command"),
        ("unknown", "model", None, None)]
    checkpoint = by_kind["gemini_checkpoint"]
    assert [(e["event_type"], e["source"]["record_type"], e["message"]) for e in checkpoint] == [
        ("prompt_input", "user", "This is the Gemini CLI. We are setting up the context for our chat."),
        ("agent_message", "model/text", "Got it."), ("agent_reasoning", "model/thought", "thinking"),
        ("tool_call", "model/function_call", "run_shell_command: paru -S kvantum"),
        ("tool_result", "user/function_response", "[Operation Cancelled]"),
        ("prompt_input", "user", "что за kvantum?"), ("unknown", "model", None)]
    assert checkpoint[0]["origin"] == "injected"
    # No time in a saved chat or the shell history: the file's, said, and order kept by line.
    for event in checkpoint + by_kind["gemini_shell_history"]:
        assert event["timestamp_source"] == "filesystem_modified" and event["timestamp"]
    assert [e["source"]["line_number"] for e in checkpoint] == sorted(e["source"]["line_number"] for e in checkpoint)
    assert [(e["message"], e["origin"], e["source"]["line_number"]) for e in by_kind["gemini_shell_history"]] == [
        ("gcloud auth login", "command", 1), ("gh run list", "command", 4)]
    assert [(d["code"], d["message"]) for d in report["diagnostics"]] == [
        ("unknown_record", "Entry 3 of the prompt log is not an object.")]


def logged(session, text, time):
    return {"sessionId": session, "messageId": 0, "type": "user", "message": text, "timestamp": time}


def user(*texts):
    return {"role": "user", "parts": [{"text": text} for text in texts]}


def model(*parts):
    return {"role": "model", "parts": [p if isinstance(p, dict) else {"text": p} for p in parts]}


CALL = {"functionCall": {"name": "read_file", "args": {"file_path": "/w/a.ts"}}}
RESPONSE = {"role": "user", "parts": [{"functionResponse": {"id": "read_file-1751899028178-d7ab3", "name": "read_file",
                                                            "response": {"output": "A"}}}]}
T1, T2, T3 = "2025-06-26T15:00:00.000Z", "2025-06-26T16:00:00.000Z", "2025-06-26T17:00:00.000Z"
CONTEXT = "This is the Gemini CLI. We are setting up the context for our chat."

# (prompt log, saved chat, a session file's messages; what the saved chat's
# events are in timeline order: (type, session, time or "file", a copy))
SAVED_CHATS = [
    # Tied to the log: each record in the session and at the time of the prompt before it.
    ([logged("s1", "fix it", T1), logged("s2", "and test it", T2)],
     [user(CONTEXT), model("Got it."), user("fix it"), model("Reading.", CALL), RESPONSE, user("and test it"),
      model("Done.")], None,
     [("prompt_input", "s1", T1, False), ("agent_message", "s1", T1, False), ("prompt_input", "s1", T1, True),
      ("agent_message", "s1", T1, False), ("tool_call", "s1", T1, False), ("tool_result", "s1", T1, False),
      ("prompt_input", "s2", T2, True), ("agent_message", "s2", T2, False)]),
    # A text said twice is tied in order, never to a prompt earlier than the one before.
    ([logged("s1", "continue", T3), logged("s1", "start", T1), logged("s1", "continue", T2)],
     [user("start"), user("continue"), model("a"), user("continue"), model("b")], None,
     [("prompt_input", "s1", T1, True), ("prompt_input", "s1", T2, True), ("agent_message", "s1", T2, False),
      ("prompt_input", "s1", T3, True), ("agent_message", "s1", T3, False)]),
    # Nothing logged: the file's time, a session of its own.
    ([logged("s1", "something else", T1)], [user("fix it"), model("ok")], None,
     [("prompt_input", "x/checkpoint-kv", "file", False), ("agent_message", "x/checkpoint-kv", "file", False)]),
    # What the session's own file holds counts there.
    ([logged(SESSION, "fix it", T1)], [user("fix it"), model("Reading.", CALL), RESPONSE], [
        msg("user", "fix it", mid="u1", timestamp=T1),
        msg("gemini", "Reading.", mid="g1", timestamp=T1,
            toolCalls=[call("read_file", {"file_path": "/w/a.ts"}, cid="read_file-1751899028178-d7ab3")])],
     [("prompt_input", SESSION, T1, True), ("agent_message", SESSION, T1, True), ("tool_call", SESSION, T1, True),
      ("tool_result", SESSION, T1, True)]),
]


@pytest.mark.parametrize("log, chat, session, expected", SAVED_CHATS, ids=[str(i) for i in range(len(SAVED_CHATS))])
@pytest.mark.parametrize("indent", [None, 2])
def test_saved_chat_belongs_where_its_prompts_were_logged(tmp_path, cli_path, log, chat, session, expected, indent):
    folder = tmp_path / ".gemini/tmp/x"
    put(folder, "logs.json", json.dumps(log, indent=2))
    checkpoint = put(folder, "checkpoint-kv.json", json.dumps(chat, indent=indent))
    if session:
        put(folder, "chats/session-2026-04-25T12-47-cdc6c5f9.jsonl", jsonl([HEADER] + session))
    os.utime(checkpoint, (1767225600, 1767225600))  # 2026-01-01T00:00:00Z
    report = program(cli_path, tmp_path / ".gemini")
    events = {e["event_id"]: e for e in report["events"]}
    saved = [e for e in report["events"] if e["source"]["artifact_kind"] == "gemini_checkpoint"]
    got = [(e["event_type"], e["session_id"],
            "file" if e["timestamp_source"] == "filesystem_modified" else e["timestamp"], bool(e["copy_of"]))
           for e in saved]
    want = [(kind, session_id, time if time == "file" else time.replace(".000", ""), copy)
            for kind, session_id, time, copy in expected]
    # In the chat's order where its contents start on lines of their own; on
    # one line, a prompt comes first among the events of its time.
    assert (got if indent else sorted(got)) == (want if indent else sorted(want))
    assert all(e["timestamp_source"] == "referenced_event" for e in saved if e["session_id"] != "x/checkpoint-kv")
    # A copy stands for an event counted in the same session, a logged prompt or the session's own.
    for event in saved:
        if event["copy_of"]:
            counted = events[event["copy_of"]]
            assert not counted["copy_of"] and counted["session_id"] == event["session_id"]
            assert counted["source"]["artifact_kind"] in ("gemini_log", "gemini_session")
    assert report["diagnostics"] == []


@pytest.mark.parametrize("layout, target, outcome", [
    # A home holding only settings and credentials: nothing, and an info.
    ({".gemini/settings.json": "{}", ".gemini/oauth_creds.json": "{}"}, ".gemini", "info"),
    ({".gemini/settings.json": "{}"}, "", "info"),
    # Every part of a home can be named.
    ({".gemini/tmp/x/chats/session-1.jsonl": "session"}, ".gemini/tmp/x/chats/session-1.jsonl", "tmp/x/chats/session-1.jsonl"),
    ({".gemini/tmp/x/chats/session-1.jsonl": "session"}, ".gemini/tmp/x/chats", "tmp/x/chats/session-1.jsonl"),
    ({".gemini/tmp/x/chats/session-1.jsonl": "session"}, ".gemini/tmp/x", "tmp/x/chats/session-1.jsonl"),
    ({".gemini/tmp/x/chats/session-1.jsonl": "session"}, ".gemini/tmp", "tmp/x/chats/session-1.jsonl"),
    ({".gemini/tmp/x/logs.json": "log"}, ".gemini/tmp/x/logs.json", "tmp/x/logs.json"),
    # A sub-agent's chat, named as it likes, in its session's folder under chats.
    ({f".gemini/tmp/x/chats/{SESSION}/investigator-1.jsonl": "session"}, ".gemini",
     f"tmp/x/chats/{SESSION}/investigator-1.jsonl"),
    ({f".gemini/tmp/x/chats/{SESSION}/notes.json": '{"note": 1}', ".gemini/tmp/x/chats/s.json": "[]"}, ".gemini",
     "info"),
    # A copy outside any home is read when its content is Gemini CLI's...
    ({"copy/session-2026-01-01T00-00-abcd.jsonl": "session"}, "copy/session-2026-01-01T00-00-abcd.jsonl",
     "session-2026-01-01T00-00-abcd.jsonl"),
    ({"copy/renamed.jsonl": "session"}, "copy/renamed.jsonl", "renamed.jsonl"),
    ({"backup/tmp/x/logs.json": "log"}, "backup/tmp/x", "tmp/x/logs.json"),
    ({"backup/tmp/x/logs.json": "log"}, "backup", "tmp/x/logs.json"),
    # ...and never claimed when it is not.
    ({"copy/session-1.jsonl": '{"sessionId": "s", "note": "a header needs a project or a start"}'},
     "copy/session-1.jsonl", None),
    ({"copy/logs.json": "[]"}, "copy/logs.json", None),
    ({"code/tmp/build/logs.json": '[{"level": "info"}]'}, "code", None),
])
def test_detection(tmp_path, cli_path, layout, target, outcome):
    texts = {"session": jsonl([HEADER, msg("user", "hi")]),
             "log": json.dumps([{"sessionId": SESSION, "messageId": 0, "type": "user", "message": "hi",
                                 "timestamp": TS}])}
    for rel, text in layout.items():
        put(tmp_path, rel, texts.get(text, text))
    result = program(cli_path, tmp_path / target, check=False)
    if outcome is None:
        assert b"Cannot auto-detect" in result.stderr
    elif outcome == "info":
        assert result["events"] == []
        assert [(d["severity"], d["code"]) for d in result["diagnostics"]] == [("info", "unknown_record")]
    else:
        assert {e["source"]["relative_path"] for e in result["events"]} == {outcome}
        assert "hi" in {e["message"] for e in result["events"]}


def test_damaged_and_hostile_documents(tmp_path, cli_path):
    chats = tmp_path / ".gemini/tmp/x/chats"
    put(chats, "session-a.jsonl", jsonl([HEADER, "{cut", "[1]", msg("user", "late", timestamp="yesterday"),
                                          msg("gemini", "x", toolCalls=["bad"])]))
    put(chats, "session-b.json", '{"sessionId": "s", "messages": [')
    put(chats, "session-c.json", '{"sessionId": "s", "startTime": "%s",\n "messages": [\n  1,\n  %s]}' % (
        TS, json.dumps(msg("user", "kept"))))
    # Written on one line: a line that holds several messages names none of them.
    put(chats, "session-g.json", json.dumps(dict(HEADER, messages=[1, msg("user", "one"), msg("user", "two")])))
    put(chats, "session-d.json", "[" * 100000 + "]" * 100000)
    put(chats, "session-e.json", json.dumps(dict(HEADER, messages=[msg("user", "x" * 5000)])))
    put(chats, "session-f.json", json.dumps(dict(HEADER)))
    report = program(cli_path, tmp_path / ".gemini", "--max-line-size", "4096")
    found = collections.Counter((d["source"]["relative_path"].split("/")[-1], d["code"], d["source"]["line_number"])
                                for d in report["diagnostics"])
    assert found == collections.Counter({
        ("session-a.jsonl", "invalid_json", 2): 1, ("session-a.jsonl", "unknown_record", 3): 1,
        ("session-a.jsonl", "invalid_timestamp", 4): 1,
        ("session-b.json", "invalid_json", None): 1,
        ("session-c.json", "unknown_record", 3): 1, ("session-g.json", "unknown_record", None): 1,
        ("session-d.json", "invalid_json", None): 1,  # deeper than the nesting bound
        ("session-e.json", "invalid_json", None): 1,  # larger than the line bound
        ("session-f.json", "invalid_field_type", 1): 1})
    by_file = collections.defaultdict(list)
    line = lambda e: (e["source"]["line_number"] is None, e["source"]["line_number"] or 0, e["sequence"])  # noqa: E731
    for event in sorted(report["events"], key=line):
        by_file[event["source"]["relative_path"].split("/")[-1]].append(
            (event["event_type"], event["message"], event["source"]["line_number"]))
    assert by_file["session-a.jsonl"] == [("session_start", None, 1), ("prompt_input", "late", 4),
                                          ("agent_message", "x", 5), ("unknown", None, 5)]
    assert by_file["session-c.json"] == [("session_start", None, 1), ("prompt_input", "kept", 4)]
    assert by_file["session-g.json"] == [("session_start", None, 1), ("prompt_input", "one", None),
                                         ("prompt_input", "two", None)]
    assert set(by_file) == {"session-a.jsonl", "session-c.json", "session-f.json", "session-g.json"}


def messages_written(path):
    """(session id, message) for every message a session file holds, in order."""
    text = path.read_text(encoding="utf-8")
    if path.suffix != ".jsonl":
        document = json.loads(text)
        return [(document["sessionId"], m) for m in document["messages"]]
    found, session = [], None
    for record in map(json.loads, filter(str.strip, text.split("\n"))):
        if "type" in record:
            found.append((session, record))
        elif "$set" in record:
            found += [(session, m) for m in record["$set"].get("messages", [])]
        else:
            session = record.get("sessionId", session)
    return found


def records_of(path):
    """How a session file's records are found: the numbers of its non-blank
    lines, or the ids of a document's messages."""
    text = path.read_text(encoding="utf-8")
    if path.suffix != ".jsonl":
        return [m["id"] for m in json.loads(text)["messages"]]
    return [n for n, line in enumerate(text.split("\n"), 1) if line.strip()]


def text_parts(content):
    if isinstance(content, str):
        return [content]
    return [part["text"] for part in content or [] if isinstance(part, dict) and isinstance(part.get("text"), str)]


def seconds(text):
    return datetime.datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()


def saved_chat(path):
    """(session, kind, call id or text) of a saved chat's calls, results and
    the prompts it alone holds. Its prompts are tied, in order, to the
    earliest unused logged prompt of its folder with the same text no
    earlier than the one tied before; each record belongs to the session of
    the prompt tied last before it (of the first, before any); a chat with
    none tied is a session of its own, "{folder}/checkpoint-{tag}". A prompt
    counts where it is not tied: once per content, or once per text where
    the chat is written on one line (its line names no content)."""
    log = path.parent / "logs.json"
    logged = sorted(((seconds(e["timestamp"]), e["message"].strip(), e["sessionId"])
                     for e in (json.loads(log.read_text(encoding="utf-8")) if log.is_file() else [])
                     if e.get("type") == "user"), key=lambda entry: entry[0])
    text = path.read_text(encoding="utf-8")
    one_line = len(text.strip().split("\n")) == 1
    records, sessions, tied, first = [], [], None, None
    for content in json.loads(text):
        untied = 0
        for part in content.get("parts") or []:
            if content.get("role") == "user" and isinstance(part.get("text"), str):
                found = next((e for e in logged if e[1] == part["text"].strip() and (not tied or e[0] >= tied[0])), None)
                if found:
                    logged.remove(found)
                    tied, first = found, first or found[2]
                else:
                    untied += 1
            elif "functionCall" in part:
                records.append(("call", part["functionCall"].get("id")))
            elif "functionResponse" in part:
                records.append(("result", part["functionResponse"].get("id")))
            sessions += [tied[2] if tied else None] * (len(records) - len(sessions))
        if untied:
            records.append(("prompt", None))
            sessions.append(tied[2] if tied else None)
            records += [("prompt", None)] * (untied - 1 if one_line else 0)
            sessions += [sessions[-1]] * (untied - 1 if one_line else 0)
    own = path.parent.name + "/" + path.stem
    calls = {}
    for n, (kind, key) in enumerate(records):  # a call without an id takes its response's
        if kind == "call" and key is None:
            calls[n] = next((k for kind2, k in records[n + 1:] if kind2 == "result"), None)
    result = []
    last_session = first
    for n, ((kind, key), session) in enumerate(zip(records, sessions)):
        last_session = session or last_session
        result.append((last_session or own, kind, calls.get(n, key)))
    return result


def count_once(home):
    """What the home holds counted once, with Python's json alone: a message
    is its session and id (the last copy written wins); each of its tool
    calls is a call and, once it has a status or result, a result; its
    tokens by the format's own rule (fresh input = input - cached + tool,
    output = output + thoughts); a saved chat's records as `saved_chat`
    places them; a user message with text as one prompt, and a prompt-log
    entry as one unless its session holds the same text within ten minutes."""
    want = agent_totals.Totals()
    tmp = home / ".gemini" / "tmp"
    last = {}
    for path in sorted(tmp.rglob("session-*")):
        for session, message in messages_written(path):
            last[(session, message["id"])] = message
    said = collections.defaultdict(list)  # (session, text) -> times of its user messages
    for (session, _), message in last.items():
        calls = message.get("toolCalls") or []
        want.tool_calls[session] += len(calls)
        want.tool_results[session] += sum("status" in c or "result" in c for c in calls)
        tokens = message.get("tokens")
        if isinstance(tokens, dict):
            amounts = {"input_tokens": tokens["input"] - tokens["cached"] + tokens.get("tool", 0),
                       "cache_read_tokens": tokens["cached"],
                       "output_tokens": tokens["output"] + tokens["thoughts"], "reasoning_tokens": tokens["thoughts"]}
            for column, amount in amounts.items():
                want.tokens[(session, column)] += amount
            want.models[session].add(message["model"])
        texts = text_parts(message.get("content")) if message["type"] == "user" else []
        want.prompts[session] += bool(texts)
        for text in texts:
            said[(session, text.strip())].append(seconds(message["timestamp"]))
    own_calls = {(session, c["id"]) for (session, _), m in last.items() for c in m.get("toolCalls") or []}
    for path in sorted(tmp.rglob("checkpoint-*.json")):
        for session, kind, text in saved_chat(path):
            if kind == "prompt":
                want.prompts[session] += 1
            elif (session, text) not in own_calls:
                (want.tool_calls if kind == "call" else want.tool_results)[session] += 1
    for path in sorted(tmp.rglob("logs.json")):
        for entry in json.loads(path.read_text(encoding="utf-8")):
            times = said[(entry["sessionId"], entry["message"].strip())]
            near = [t for t in times if abs(t - seconds(entry["timestamp"])) <= 600]
            if near:
                times.remove(near[0])
            else:
                want.prompts[entry["sessionId"]] += 1
    return want


def test_corpus_homes_account_for_every_record_and_count_once(agents_corpus_dir, cli_path):
    """Per home: every record of a session file gives an event or a
    diagnostic, and every call written (a re-appended copy too) its call and
    result events. Per session: calls, results tied to them, tokens and
    models from the events' facts, and calls, prompts, tokens and models in
    the summary, equal to the count made above; copies count nowhere."""
    homes = sorted(p for p in (agents_corpus_dir / "gemini-cli").iterdir() if (p / ".gemini").is_dir())
    assert len(homes) >= 4
    for home in homes:
        report = program(cli_path, home)
        assert not [d for d in report["diagnostics"] if d["severity"] == "error"], home.name
        located = collections.defaultdict(set)
        for item in report["events"] + [d for d in report["diagnostics"] if d["source"]]:
            source = item["source"]
            located[source["relative_path"]].update({source["line_number"], source.get("source_id")})
        written = 0
        for path in sorted((home / ".gemini" / "tmp").rglob("session-*")):
            rel = path.relative_to(home / ".gemini").as_posix()
            missing = [k for k in records_of(path) if k not in located[rel]]
            assert not missing, (home.name, rel, missing[:5])
            written += sum(len(m.get("toolCalls") or []) for _, m in messages_written(path))
        sessions = [e for e in report["events"] if e["source"]["artifact_kind"] == "gemini_session"]
        assert [sum(e["event_type"] == kind for e in sessions) for kind in ("tool_call", "tool_result")] == [
            written, written], home.name
        events, rows = agent_totals.run(cli_path, home)
        got, want = agent_totals.of_events(events), count_once(home)
        assert got.unlinked == [], home.name
        got_view, want_view = got.view(), want.view()
        del got_view["prompts"], want_view["prompts"]  # prompts are the count rule's: see the summary
        assert got_view == want_view, home.name
        summary, want_view = agent_totals.of_summary(rows).view(), want.view()
        del summary["tool_results"], want_view["tool_results"]
        # The summary's rows are sessions: a saved chat's calls are of none.
        want_view["tool_calls"].pop(None, None)
        assert summary == want_view, home.name
