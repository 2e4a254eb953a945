"""GitHub Copilot CLI sessions in the full reading: which paths are read as
Copilot CLI input (and which are left alone), what damaged, hostile or
foreign files give, and the real sources accounted record by record (the
facts each event carries are checked in tests/cpp/copilot_cli_test.cpp)."""

import collections
import json
import subprocess

import pytest

import agent_totals

SID = "0c1a2b3c-1111-4222-8333-944455556666"
TS = "2026-03-20T20:47:0{}.000Z"


def event_line(n, kind, **data):
    return json.dumps({"type": kind, "data": data, "id": f"e{n}", "timestamp": TS.format(n % 10),
                       "parentId": f"e{n - 1}" if n else None})


LOG = "\n".join([
    event_line(0, "session.start", sessionId=SID, copilotVersion="1.0.10", context={"cwd": "/w", "branch": "main"}),
    event_line(1, "user.message", content="fix the bug", attachments=[]),
    event_line(2, "assistant.message", messageId="m1", content="ok",
               toolRequests=[{"toolCallId": "c1", "name": "bash", "arguments": {"command": "ls"}}], outputTokens=5),
    event_line(3, "tool.execution_start", toolCallId="c1", toolName="bash", arguments={"command": "ls"}),
    event_line(4, "tool.execution_complete", toolCallId="c1", success=True, result={"content": "a.txt"}),
]) + "\n"

WORKSPACE = f"id: {SID}\ncwd: /w\nbranch: main\nsummary: Fix the bug\ncreated_at: 2026-03-20T20:47:00.000Z\n"


def put(base, rel, text=""):
    path = base / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def run(cli_path, *args):
    return subprocess.run([cli_path, *map(str, args), "-f", "json", "--compact", "-q"], capture_output=True)


def report(cli_path, *args):
    result = run(cli_path, *args)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def types(rep):
    return [e["event_type"] for e in rep["events"]]


# (files, the path named, what is read: event types in order, or None when not detected)
DETECTION = [
    ({f".copilot/session-state/{SID}.jsonl": LOG}, ".copilot",
     ["session_start", "prompt_input", "agent_message", "tool_call", "token_usage", "task_state", "tool_result"]),
    ({f".copilot/session-state/{SID}.jsonl": LOG}, "", "same"),            # the home holding the root
    ({f".copilot/session-state/{SID}.jsonl": LOG}, ".copilot/session-state", "same"),
    ({f".copilot/session-state/{SID}.jsonl": LOG}, f".copilot/session-state/{SID}.jsonl", "same"),
    ({f"backup/session-state/{SID}.jsonl": LOG}, "backup", "same"),         # a root copied under another name
    ({f".copilot/session-state/{SID}/events.jsonl": LOG, f".copilot/session-state/{SID}/workspace.yaml": WORKSPACE},
     f".copilot/session-state/{SID}", ["session_start", "task_state", "prompt_input", "agent_message", "tool_call",
                                        "token_usage", "task_state", "tool_result"]),
    ({f"x/{SID}/events.jsonl": LOG, f"x/{SID}/workspace.yaml": WORKSPACE}, f"x/{SID}/workspace.yaml", ["task_state"]),
    ({".copilot/command-history-state.json": '{"commandHistory": ["hi", "/clear"]}'},
     ".copilot/command-history-state.json", ["prompt_input", "prompt_input"]),
    # Names alone claim nothing: an events.jsonl with nothing beside it, a
    # sessions folder holding no session, a legacy name outside its folder.
    ({"work/events.jsonl": LOG}, "work/events.jsonl", None),
    ({"notes/session-state/readme.txt": "x"}, "notes/session-state", None),
    ({"notes/session_a_1.json": "{}"}, "notes/session_a_1.json", None),
]


@pytest.mark.parametrize("files, target, expected", DETECTION, ids=[str(i) for i in range(len(DETECTION))])
def test_detection(tmp_path, cli_path, files, target, expected):
    for rel, text in files.items():
        put(tmp_path, rel, text)
    result = run(cli_path, tmp_path / target)
    if expected is None:
        assert result.returncode != 0
        assert b"Cannot auto-detect" in result.stderr
        return
    rep = json.loads(result.stdout)
    if expected == "same":
        expected = DETECTION[0][2]
    assert types(rep) == expected
    assert {e["provider"] for e in rep["events"]} == {"copilot_cli"}
    assert rep["diagnostics"] == []
    # A session reads the same (ids included) whether named alone or within its root.
    ids = {e["event_id"] for e in rep["events"]}
    assert len(ids) == len(rep["events"])


# (tool, arguments as Copilot CLI writes them, the call's message, its tool_input)
CALLS = [
    ("str_replace_editor", {"command": "view", "path": "C:\\w\\app.py", "view_range": [1, 20]},
     "str_replace_editor: C:\\w\\app.py", "C:\\w\\app.py"),
    ("grep", {"pattern": "## (Feature|007)", "path": "D:\\w\\.context", "output_mode": "content", "-n": True},
     "grep: ## (Feature|007)", "## (Feature|007)"),
    ("powershell", {"command": "git status\ngit log -1", "description": "Check the tree", "initial_wait": 30},
     "powershell: git status git log -1", "git status git log -1"),
    ("report_intent", {"intent": "Exploring codebase"}, "report_intent: Exploring codebase", "Exploring codebase"),
    ("ask_user", {"question": "Run it?", "choices": ["yes", "no"]}, "ask_user: Run it?", "Run it?"),
    ("github-mcp-server-get_file_contents", {"owner": "o", "repo": "r", "path": "README.md"},
     "github-mcp-server-get_file_contents: README.md", "README.md"),
    ("read_powershell", {"sessionId": "7", "delay": 5}, "read_powershell", None),
    ("bash", "not an object", "bash", None),
]


@pytest.mark.parametrize("name, arguments, message, argument", CALLS, ids=[c[0] for c in CALLS])
def test_tool_call_message_names_what_the_call_acts_on(tmp_path, cli_path, name, arguments, message, argument):
    log = "\n".join([
        event_line(0, "session.start", sessionId=SID, copilotVersion="1.0.10"),
        event_line(1, "assistant.message", messageId="m1", content="",
                   toolRequests=[{"toolCallId": "c1", "name": name, "arguments": arguments}]),
        event_line(2, "tool.execution_start", toolCallId="c2", toolName=name, arguments=arguments),
    ]) + "\n"
    rep = report(cli_path, put(tmp_path, f".copilot/session-state/{SID}.jsonl", log))
    calls = [e for e in rep["events"] if e["event_type"] == "tool_call"]
    # Requested in a message and started on its own: both read alike.
    assert [(e["message"], e["tool_input"], e["tool_name"], e["tool_call_id"]) for e in calls] == [
        (message, argument, name, "c1"), (message, argument, name, "c2")]


def test_a_root_holding_only_configuration_says_so(tmp_path, cli_path):
    put(tmp_path, ".copilot/config.json", '{"copilot_tokens": {}}')
    put(tmp_path, ".copilot/logs/process-1.log", "x")
    rep = report(cli_path, tmp_path / ".copilot")
    assert rep["events"] == []
    assert [(d["severity"], d["code"]) for d in rep["diagnostics"]] == [("info", "unknown_record")]


def test_damaged_lines_are_each_a_diagnostic(tmp_path, cli_path):
    lines = LOG.splitlines()
    lines[1] = "{not json"
    lines.insert(2, "[1, 2]")
    lines.insert(3, json.dumps({"hello": "world"}))
    lines.insert(4, event_line(9, "user.message", content="late").replace(TS.format(9), "yesterday"))
    path = put(tmp_path, f".copilot/session-state/{SID}.jsonl", "\n".join(lines) + "\n" + '{"type": "user.mess')
    rep = report(cli_path, path)
    located = {e["source"]["line_number"] for e in rep["events"]}
    codes = sorted((d["source"]["line_number"], d["code"]) for d in rep["diagnostics"])
    # The cut last line (no line end) may still be being written: a warning of its own.
    assert codes == [(2, "invalid_json"), (3, "unknown_record"), (4, "unknown_record"), (5, "invalid_timestamp"),
                     (9, "unterminated_line")]
    # Every non-blank line is an event or a diagnostic; the bad timestamp keeps its event.
    assert located | {c[0] for c in codes} == set(range(1, 10))
    late = next(e for e in rep["events"] if e["message"] == "late")
    assert late["timestamp_source"] == "referenced_event"


BOMB = "a: &a [x, x, x, x, x, x, x, x, x]\n" + "".join(
    f"{chr(98 + i)}: &{chr(98 + i)} [*{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}]\n"
    for i in range(20)) + "cwd: *u\nsummary: bomb\n"

# (file, text, options, diagnostics expected as (code, message start), event types)
HOSTILE = [
    ("workspace.yaml", BOMB, [],
     [("invalid_field_type", "Workspace file read in part: the value of 'cwd' is an alias")], ["task_state"]),
    ("workspace.yaml", "- just\n- a list\n", [], [("unknown_record", "Not a Copilot CLI workspace file")], []),
    # What was read before a syntax error is kept.
    ("workspace.yaml", "summary: kept\nid: [unclosed\n", [],
     [("invalid_field_type", "Workspace file read in part: did not find expected ',' or ']' at line 3")], ["task_state"]),
    ("workspace.yaml", "[" * 5000, [], [("unknown_record", "Not a Copilot CLI workspace file")], []),
    ("workspace.yaml", "summary: " + "x" * 5000 + "\n", ["--max-line-size", "1000"],
     [("invalid_json", "Workspace file size 5009 exceeds max_line_size 1000")], []),
    ("events.jsonl", "[" * 100000 + "\n", [], [("invalid_json", "Invalid JSON")], []),
    ("rewind-snapshots/index.json", '{"snapshots": [1, {"snapshotId": "s", "timestamp": "x", "userMessage": "hi"}]}',
     [], [("unknown_record", "Snapshot 0 of the rewind index"), ("invalid_timestamp", "Field 'timestamp' of snapshot 1")],
     ["file_snapshot"]),
    ("checkpoints/001-first.md", "# summary\n" * 300, ["--max-line-size", "1000"],
     [("invalid_json", "Checkpoint size 2999 exceeds max_line_size 1000")], []),
]


@pytest.mark.parametrize("name, text, options, diagnostics, expected", HOSTILE, ids=[str(i) for i in range(len(HOSTILE))])
def test_hostile_session_files_end_in_diagnostics(tmp_path, cli_path, name, text, options, diagnostics, expected):
    folder = tmp_path / ".copilot" / "session-state" / SID
    put(folder, name, text)
    put(folder, "workspace.yaml", WORKSPACE) if name != "workspace.yaml" else None
    rep = report(cli_path, folder / name, *options)
    got = [(d["code"], d["message"]) for d in rep["diagnostics"]]
    assert len(got) == len(diagnostics), got
    for (code, message), (want_code, start) in zip(got, diagnostics):
        assert code == want_code and message.startswith(start), (code, message)
    assert types(rep) == expected


def test_huge_legacy_document_is_one_diagnostic(tmp_path, cli_path):
    doc = {"sessionId": SID, "startTime": "2025-10-05T13:12:35.294Z", "chatMessages": [],
           "timeline": [{"id": str(i), "timestamp": "2025-10-05T13:12:36Z", "type": "info", "text": "x" * 100}
                        for i in range(200)]}
    path = put(tmp_path, f".copilot/history-session-state/session_{SID}_1759669955294.json", json.dumps(doc, indent=1))
    rep = report(cli_path, path, "--max-line-size", "4096")
    assert rep["events"] == []
    assert [d["code"] for d in rep["diagnostics"]] == ["invalid_json"]
    assert rep["diagnostics"][0]["message"].startswith("Session document size")
    assert len(report(cli_path, path)["events"]) == 201


# ---- the real sources ----------------------------------------------------

def copilot_sources(agents_corpus_dir):
    return sorted((agents_corpus_dir / "copilot-cli").glob("*/.copilot"))


def count_once(root):
    """What a root holds counted once, with Python's json alone, per session
    (a log's `session.start` names it, else its file or folder; a legacy
    document its `sessionId`): each tool request, and each started call no
    request named, is a call; each completion a result; `outputTokens` the
    output of the message, under its own model or the session's latest
    (`selectedModel`, `newModel`); each user message a prompt. A legacy
    document's timeline holds its calls (a completed call is a call and its
    result) and prompts; its chat messages repeat them. The prompt history
    below. Beside the totals: the non-blank lines of each event log, and the
    records of each other kind by the formats' own fields."""
    want, counts, lines = agent_totals.Totals(), collections.Counter(), {}
    said = collections.defaultdict(list)  # a prompt's text -> the sessions saying it
    logs = sorted(root.glob("session-state/*.jsonl")) + sorted(root.glob("session-state/*/events.jsonl"))
    for log in logs:
        session = log.stem if log.name != "events.jsonl" else log.parent.name
        model, requested = None, set()
        raw = log.read_bytes().split(b"\n")
        lines[log.relative_to(root).as_posix()] = [n for n, line in enumerate(raw, start=1) if line.strip()]
        for record in map(json.loads, filter(bytes.strip, raw)):
            data = record.get("data") or {}
            kind = record["type"]
            if kind == "session.start":
                session = data.get("sessionId", session)
                model = data.get("selectedModel", model)
            elif kind == "session.model_change":
                model = data.get("newModel", model)
            elif kind == "session.shutdown":
                counts["token_usage"] += max(1, len(data.get("modelMetrics") or {}))
            elif kind == "assistant.message":
                for request in data.get("toolRequests") or []:
                    requested.add(request["toolCallId"])
                    want.tool_calls[session] += 1
                if "outputTokens" in data:
                    counts["token_usage"] += 1
                    want.tokens[(session, "output_tokens")] += data["outputTokens"]
                    if data.get("model", model):
                        want.models[session].add(data.get("model", model))
            elif kind == "tool.execution_start":
                want.tool_calls[session] += data["toolCallId"] not in requested
            elif kind == "tool.execution_complete":
                want.tool_results[session] += 1
            elif kind == "user.message":
                want.prompts[session] += 1
                counts["prompts"] += 1
                said[data["content"].strip()].append(session)
    for path in sorted(root.glob("history-session-state/session_*.json")):
        document = json.loads(path.read_bytes())
        counts["documents"] += 1
        for entry in document.get("timeline", []):
            completed = entry["type"] == "tool_call_completed"
            want.tool_calls[document["sessionId"]] += completed
            want.tool_results[document["sessionId"]] += completed
            want.prompts[document["sessionId"]] += entry["type"] == "user"
            if entry["type"] == "user":
                counts["prompts"] += 1
                said[entry["text"].strip()].append(document["sessionId"])
        for message in document.get("chatMessages", []):
            counts["copied_tool_calls"] += len(message.get("tool_calls") or [])
            counts["copied_tool_results"] += message.get("role") == "tool"
    # A remembered command is a session's prompt again, or one whose log is
    # gone but whose rewind snapshots name it, or of no session.
    snapshots = collections.defaultdict(list)
    for index in sorted(root.glob("session-state/*/rewind-snapshots/index.json")):
        for snapshot in json.loads(index.read_bytes())["snapshots"]:
            counts["snapshots"] += 1
            snapshots[snapshot["userMessage"].strip()].append(index.parent.parent.name)
    history = root / "command-history-state.json"
    for command in json.loads(history.read_bytes())["commandHistory"] if history.is_file() else []:
        counts["history"] += 1
        if said[command.strip()]:
            said[command.strip()].pop(0)
        else:
            sessions = snapshots[command.strip()]
            want.prompts[sessions.pop(0) if sessions else None] += 1
    counts["workspaces"] = len(list(root.glob("session-state/*/workspace.yaml")))
    return want, counts, lines


def test_corpus_sources_account_for_every_record_and_count_once(agents_corpus_dir, cli_path):
    """Per source: every line of an event log gives an event, each kind of
    record its events; per session, calls, results tied to them, tokens and
    models from the events' facts, and calls, prompts, tokens and models in
    the summary, equal to the count made above; copies count nowhere."""
    roots = copilot_sources(agents_corpus_dir)
    assert len(roots) >= 3
    for root in roots:
        rep = report(cli_path, root)
        want, counts, lines = count_once(root)
        assert rep["diagnostics"] == [], root
        located = collections.defaultdict(set)
        for event in rep["events"]:
            located[event["source"]["relative_path"]].add(event["source"]["line_number"])
        for rel, numbers in lines.items():
            assert located[rel] == set(numbers), (root, rel)
        by = collections.Counter((e["source"]["record_type"].split("/")[0], e["event_type"]) for e in rep["events"])
        kinds = collections.Counter(e["event_type"] for e in rep["events"])
        assert by[("chat", "tool_call")] == counts["copied_tool_calls"], root
        assert by[("chat", "tool_result")] == counts["copied_tool_results"], root
        assert kinds["token_usage"] == counts["token_usage"], root
        assert kinds["file_snapshot"] == counts["snapshots"], root
        assert by[("command_history", "prompt_input")] == counts["history"], root
        assert by[("workspace", "task_state")] == counts["workspaces"], root
        assert by[("session", "session_start")] == counts["documents"], root
        assert kinds["prompt_input"] - by[("command_history", "prompt_input")] - by[("chat", "prompt_input")] == \
            counts["prompts"], root
        # Every event of a source hashed with its file; only remembered commands untimed.
        assert all(e["source_file_sha256"] for e in rep["events"])
        assert len([e for e in rep["events"] if e["timestamp"]]) >= len(rep["events"]) - counts["history"], root
        events, rows = agent_totals.run(cli_path, root)
        got = agent_totals.of_events(events)
        assert got.unlinked == [], root
        got_view, want_view = got.view(), want.view()
        del got_view["prompts"], want_view["prompts"]  # prompts are the count rule's: see the summary
        assert got_view == want_view, root
        summary, want_view = agent_totals.of_summary(rows).view(), want.view()
        del summary["tool_results"], want_view["tool_results"]
        want_view["prompts"].pop(None, None)  # the summary's rows are sessions
        assert summary == want_view, root
