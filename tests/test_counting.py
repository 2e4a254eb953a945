"""The program's counting: where each prompt comes from, one count per prompt,
tokens once per message, rollups, and the filters and options around them.
Every tree here is built from the shapes real agents write."""

import csv
import io
import json
import pathlib
import subprocess

import pytest

import vellumtrace
from fact_columns import FACT_COLUMNS

SESSION = "1f0e2d3c-4b5a-6978-8a9b-0c1d2e3f4a5b"
CLAUDE_SESSION = "5c1b7c2e-2f0a-4c1e-9d55-0b6f4f1f2a10"


def run(cli_path, *args):
    return subprocess.run([cli_path, *map(str, args)], capture_output=True, timeout=120)


def lines(*records):
    return "".join((r if isinstance(r, str) else json.dumps(r)) + "\n" for r in records)


def codex_root(tmp, records, history=(), name=None):
    """A .codex root with one rollout of `records` and a prompt history."""
    root = tmp / ".codex"
    rollout = root / "sessions" / "2025" / "03" / "01" / (name or f"rollout-2025-03-01T10-00-00-{SESSION}.jsonl")
    rollout.parent.mkdir(parents=True, exist_ok=True)
    rollout.write_text(records if isinstance(records, str) else lines(*records))
    (root / "history.jsonl").write_text(lines(*history))
    return root


def claude_root(tmp, history=(), transcripts=None):
    """A .claude root with a prompt history and transcripts {relative name: records}."""
    root = tmp / ".claude"
    root.mkdir(exist_ok=True)
    (root / "history.jsonl").write_text(lines(*history))
    for name, records in (transcripts or {}).items():
        path = root / "projects" / "-work-demo" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(lines(*records))
    return root


def rec(ts, kind, payload):
    return {"timestamp": ts, "type": kind, "payload": payload}


def item(ts, role, *texts):
    kind = "input_text" if role == "user" else "output_text"
    return rec(ts, "response_item", {"type": "message", "role": role,
                                     "content": [{"type": kind, "text": t} for t in texts]})


def user_message(ts, text):
    return rec(ts, "event_msg", {"type": "user_message", "message": text, "images": []})


def codex_history(ts, text, session=SESSION):
    return {"session_id": session, "ts": ts, "text": text}


def claude_history(ms, display, session=CLAUDE_SESSION):
    return {"display": display, "pastedContents": {}, "timestamp": ms, "project": "/work/demo",
            "sessionId": session}


def claude_user(uuid, ts, content, sidechain=False, **extra):
    return {"parentUuid": None, "isSidechain": sidechain, "userType": "external", "cwd": "/work/demo",
            "sessionId": CLAUDE_SESSION, "version": "2.1.90", "type": "user",
            "message": {"role": "user", "content": content}, "uuid": uuid, "timestamp": ts, **extra}


def claude_assistant(uuid, ts, message_id, blocks, usage, model="claude-sonnet-4-6", sidechain=False):
    return {"parentUuid": None, "isSidechain": sidechain, "userType": "external", "cwd": "/work/demo",
            "sessionId": CLAUDE_SESSION, "version": "2.1.90", "type": "assistant", "requestId": "req_1",
            "message": {"id": message_id, "type": "message", "role": "assistant", "model": model,
                        "content": blocks, "stop_reason": None,
                        "usage": {"input_tokens": usage[0], "cache_creation_input_tokens": usage[1],
                                  "cache_read_input_tokens": usage[2], "output_tokens": usage[3]}},
            "uuid": uuid, "timestamp": ts}


def jsonl_events(cli_path, path, *args):
    result = run(cli_path, path, "-f", "jsonl", *args)
    assert result.returncode == 0, result.stderr
    return [json.loads(line) for line in result.stdout.decode().splitlines()]


def summary(cli_path, path, *args):
    result = run(cli_path, path, "--summary", "-f", "json", *args)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


ORIGIN_CASES = [
    # Claude Code prompt history
    ("claude-history", "/usage", "command"),
    ("claude-history", "/model opus", "command"),
    ("claude-history", "/codex:setup", "command"),
    ("claude-history", "! sudo pacman -S ventoy --noconfirm", "command"),
    ("claude-history", "/Users/egv/dev is where it lives", "typed"),
    ("claude-history", "/", "typed"),
    ("claude-history", "implement it:\n\n[Pasted text #1 +116 lines]", "typed"),
    ("claude-history", "# github.com/x/y/internal/jobs\nservice.go:12: undefined", "typed"),
    # Codex prompt history and rollout items
    ("codex-history", "/init", "command"),
    ("codex-history", "update", "typed"),
    ("codex-user-message", "# Context from my IDE setup:\n\n## My request for Codex:\nfix it", "typed"),
    ("codex-item", "<environment_context>\n  <cwd>/work/demo</cwd>\n</environment_context>", "injected"),
    ("codex-item", "# AGENTS.md instructions for /work/demo\n\n<INSTRUCTIONS>\nbe brief\n</INSTRUCTIONS>", "injected"),
    ("codex-item", "<user_instructions>\n\n# Rust/codex-rs\n</user_instructions>", "injected"),
    ("codex-item", "<turn_aborted>\nThe user interrupted the previous turn on purpose.\n</turn_aborted>", "injected"),
    ("codex-item", "<recommended_plugins>\nHere is a list of plugins\n</recommended_plugins>", "injected"),
    ("codex-item", "<user_shell_command>\nls\n</user_shell_command>", "command"),
    ("codex-item", "explain this codebase", "typed"),
    ("codex-legacy-item", "<environment_context>\n  <cwd>/work/demo</cwd>\n</environment_context>", "injected"),
    ("codex-legacy-item", "search the web for the latest model", "typed"),
    # Claude Code transcripts
    ("transcript", "fix the failing test", "typed"),
    ("transcript", "<command-name>/model</command-name>\n<command-message>model</command-message>\n"
                   "<command-args></command-args>", "command"),
    ("transcript", "<local-command-stdout>Set model to Opus 4.6</local-command-stdout>", "command"),
    ("transcript", "<bash-input>nix flake check</bash-input>", "command"),
    ("transcript", "Unknown skill: usage", "command"),
    ("transcript", "<bash-stdout>ok</bash-stdout><bash-stderr></bash-stderr>", "command"),
    ("transcript", "<ide_opened_file>The user opened the file /work/demo/a.go in the IDE. This may or may not be "
                   "related to the current task.</ide_opened_file>", "injected"),
    ("transcript", "<ide_selection>The user selected the lines 3 to 4 from /work/demo/a.go:\nx := 1\n"
                   "</ide_selection>", "injected"),
    ("transcript", "<ide_ note: not an element", "typed"),
    ("sidechain-transcript", "Warmup", "injected"),
]


def _origin_tree(tmp, place, text):
    if place == "claude-history":
        return claude_root(tmp, [claude_history(1740823200000, text)])
    if place == "codex-history":
        return codex_root(tmp, [], [codex_history(1740823200, text)])
    if place == "codex-user-message":
        return codex_root(tmp, [user_message("2025-03-01T10:00:00Z", text)])
    if place == "codex-item":
        return codex_root(tmp, [item("2025-03-01T10:00:00Z", "user", text)])
    if place == "codex-legacy-item":
        header = {"id": SESSION, "timestamp": "2025-03-01T10:00:00Z", "instructions": ""}
        return codex_root(tmp, [header, {"record_type": "state"},
                                {"type": "message", "id": None, "role": "user",
                                 "content": [{"type": "input_text", "text": text}]}])
    sidechain = place == "sidechain-transcript"
    return claude_root(tmp, transcripts={f"{CLAUDE_SESSION}.jsonl": [
        claude_user("u1", "2025-03-01T10:00:00.000Z", text, sidechain=sidechain)]})


@pytest.mark.parametrize("place, text, origin", ORIGIN_CASES,
                         ids=[f"{p}-{i}" for i, (p, _, _) in enumerate(ORIGIN_CASES)])
def test_prompt_origin_rules(cli_path, tmp_path, place, text, origin):
    root = _origin_tree(tmp_path, place, text)
    prompts = [e for e in jsonl_events(cli_path, root) if e["event_type"] == "prompt_input"]
    assert [e["origin"] for e in prompts] == [origin]
    others = [e for e in jsonl_events(cli_path, root) if e["event_type"] != "prompt_input"]
    assert all(e["origin"] is None for e in others)


@pytest.mark.parametrize("fmt", ["jsonl", "csv", "timesketch"])
def test_origin_follows_the_documented_fields_only_in_the_full_reading(cli_path, tmp_path, fmt):
    root = codex_root(tmp_path, [item("2025-03-01T10:00:00Z", "user", "<environment_context>\n</environment_context>"),
                                 user_message("2025-03-01T10:00:01Z", "fix it")])

    def rows(*extra):
        result = run(cli_path, root, "-f", fmt, *extra)
        assert result.returncode == 0, result.stderr
        text = result.stdout.decode()
        if fmt == "csv":
            return [dict(zip(r[0], row)) | {"_after": after_origin(r[0])}
                    for r in [list(csv.reader(io.StringIO(text)))] for row in r[1:]]
        return [json.loads(line) | {"_after": after_origin(list(json.loads(line)))} for line in text.splitlines()]

    def after_origin(names):
        return names[names.index("origin") + 1:] if "origin" in names else None

    full, documented = rows(), rows("--documented")
    origins = [r.get("origin") or None for r in full]
    assert sorted(o for o in origins if o) == ["injected", "typed"]
    # Only the facts come after it (Timesketch names those an event has).
    for r in full:
        if fmt != "timesketch":
            assert r["_after"] == list(FACT_COLUMNS)
        elif r.get("origin"):
            assert set(r["_after"]) <= set(FACT_COLUMNS)
    assert all("origin" not in r for r in documented)
    if fmt == "jsonl":  # the Python functions never show it
        assert "origin" not in vellumtrace.to_jsonl(root)


T0 = "2025-03-01T10:00:00Z"
COUNTING_CASES = [
    ("codex: history, item and user message are one prompt",
     lambda t: codex_root(t, [item("2025-03-01T10:00:01Z", "user", "fix it"),
                              user_message("2025-03-01T10:00:01Z", "fix it")],
                          [codex_history(1740823205, "fix it")]), (1, 0, 0)),
    ("codex: the same text typed twice is two prompts",
     lambda t: codex_root(t, [item("2025-03-01T10:00:01Z", "user", "update"),
                              user_message("2025-03-01T10:00:01Z", "update"),
                              item("2025-03-01T10:00:21Z", "user", "update"),
                              user_message("2025-03-01T10:00:21Z", "update")]), (2, 0, 0)),
    ("codex: an item in two parts matches its user message",
     lambda t: codex_root(t, [item(T0, "user", "first half ", "second half"),
                              user_message(T0, "first half second half")]), (1, 0, 0)),
    ("codex: the history stands back for a session with a rollout",
     lambda t: codex_root(t, [user_message(T0, "go")], [codex_history(1740823200 + 3600, "go"),
                                                          codex_history(1740823200 + 7200, "and more")]), (1, 0, 0)),
    ("codex: the history counts for a session without a rollout",
     lambda t: codex_root(t, [user_message(T0, "go")],
                          [codex_history(1740823200, "go", "0000aaaa-0000-0000-0000-000000000000"),
                           codex_history(1740823260, "/status", "0000aaaa-0000-0000-0000-000000000000")]),
     (2, 0, 1)),
    # The history stands back for a session with a conversation however near or far its time.
    *[(f"codex: a history line {gap} s away stands back for the rollout",
       lambda t, gap=gap: codex_root(t, [user_message(T0, "go")], [codex_history(1740823200 + gap, "go")]),
       (1, 0, 0)) for gap in (61, 599, 600, 601, -600, -601, 3600)],
    *[(f"claude: a history line {gap} s before its transcript record stands back for it",
       lambda t, gap=gap: claude_root(t, [claude_history((1740823200 - gap) * 1000, "fix it")],
                                      {f"{CLAUDE_SESSION}.jsonl": [claude_user("u1", T0, "fix it")]}),
       (1, 0, 0)) for gap in (600, 601)],
    ("codex: injected context counts apart",
     lambda t: codex_root(t, [item(T0, "user", "<environment_context>x</environment_context>"),
                              item(T0, "user", "# AGENTS.md instructions\n\n<INSTRUCTIONS>x</INSTRUCTIONS>"),
                              item(T0, "user", "go"), user_message(T0, "go")]), (1, 2, 0)),
    ("codex: an older rollout's items (session time only) match the history",
     lambda t: codex_root(t, [{"id": SESSION, "timestamp": T0, "instructions": ""},
                              {"type": "message", "id": None, "role": "user",
                               "content": [{"type": "input_text", "text": "search the web"}]}],
                          [codex_history(1740823200 + 4 * 3600, "search the web")]), (1, 0, 0), "full only"),
    ("claude: a history placeholder stands for the pasted text",
     lambda t: claude_root(t, [claude_history(1740823200000, "look at this:\n\n[Pasted text #1 +3 lines] now")],
                           {f"{CLAUDE_SESSION}.jsonl": [claude_user("u1", "2025-03-01T10:00:00.005Z",
                                                                    "look at this:\n\na\nb\nc now")]}), (1, 0, 0)),
    ("claude: a command, its wrapper and its output are one command",
     lambda t: claude_root(t, [claude_history(1740823200000, "/model")],
                           {f"{CLAUDE_SESSION}.jsonl": [
                               claude_user("u1", "2025-03-01T10:00:00.010Z",
                                           "<command-name>/model</command-name>\n<command-message>model"
                                           "</command-message>\n<command-args></command-args>"),
                               claude_user("u2", "2025-03-01T10:00:00.020Z",
                                           "<local-command-stdout>Set model</local-command-stdout>")]}),
     (0, 0, 1)),
    ("claude: a repeated line and a sub-agent's replay count once",
     lambda t: claude_root(t, [], {f"{CLAUDE_SESSION}.jsonl": [claude_user("u1", T0, "fix it"),
                                                               claude_user("u1", T0, "fix it")],
                                   f"{CLAUDE_SESSION}/subagents/agent-a1.jsonl": [
                                       claude_user("u1", T0, "fix it", sidechain=True, agentId="a1")]}),
     (1, 0, 0)),
    ("claude: a message with IDE blocks is one typed prompt",
     lambda t: claude_root(t, [claude_history(1740823200000, "why does this fail?")],
                           {f"{CLAUDE_SESSION}.jsonl": [claude_user("u1", T0, [
                               {"type": "text", "text": "<ide_opened_file>The user opened the file /work/demo/a.go "
                                                        "in the IDE.</ide_opened_file>"},
                               {"type": "text", "text": "<ide_selection>The user selected the lines 1 to 2 from "
                                                        "/work/demo/a.go:\nx := 1\n</ide_selection>"},
                               {"type": "text", "text": "why does this fail?"}])]}), (1, 0, 0)),
    ("claude: a message of IDE blocks alone is injected",
     lambda t: claude_root(t, [], {f"{CLAUDE_SESSION}.jsonl": [claude_user("u1", T0, [
         {"type": "text", "text": "<ide_opened_file>The user opened the file /work/demo/a.go.</ide_opened_file>"}])]}),
     (0, 1, 0)),
    ("claude: the history counts for a session whose transcript has only sub-agents",
     lambda t: claude_root(t, [claude_history(1740823200000, "review it"), claude_history(1740823260000, "/clear")],
                           {f"{CLAUDE_SESSION}/subagents/agent-a1.jsonl": [
                               claude_user("s1", T0, "Review the diff", sidechain=True, agentId="a1")]}),
     (1, 1, 1)),
    ("claude: history slash commands count as commands",
     lambda t: claude_root(t, [claude_history(1740823200000, "/usage"), claude_history(1740823260000, "/usage"),
                               claude_history(1740823320000, "/status")]), (0, 0, 3)),
]


@pytest.mark.parametrize("build, counts, full_only", [(c[1], c[2], len(c) > 3) for c in COUNTING_CASES],
                         ids=[c[0] for c in COUNTING_CASES])
@pytest.mark.parametrize("reading", [[], ["--documented"]], ids=["full", "documented"])
def test_one_prompt_one_count(cli_path, tmp_path, build, counts, full_only, reading):
    root = build(tmp_path)
    if reading and ((root / "projects").exists() or full_only):
        pytest.skip("read in the full reading only")
    rows = summary(cli_path, root, *reading)
    got = tuple(sum(r[k] for r in rows) for k in ("prompts", "injected_prompts", "command_prompts"))
    assert got == counts


def test_claude_tokens_messages_and_tool_calls_count_once(cli_path, tmp_path):
    read = {"type": "tool_use", "id": "toolu_1", "name": "Read", "input": {"file_path": "/work/demo/a.py"}}
    text = {"type": "text", "text": "Done."}
    main = [claude_user("u0", T0, "go"),
            # one API message streamed over two records, its usage growing
            claude_assistant("a1", "2025-03-01T10:00:01Z", "msg_1", [read], (10, 100, 1000, 5)),
            claude_assistant("a2", "2025-03-01T10:00:02Z", "msg_1", [text], (10, 100, 1000, 50)),
            claude_assistant("a3", "2025-03-02T09:00:00Z", "msg_2", [text], (1, 0, 2000, 7), model="claude-opus-4-6")]
    # a sub-agent that replays the parent's first message, then does its own work
    agent = [claude_assistant("a1", "2025-03-01T10:00:01Z", "msg_1", [read], (10, 100, 1000, 50), sidechain=True),
             claude_assistant("s1", "2025-03-01T10:00:03Z", "msg_3", [read], (2, 0, 0, 3),
                              model="claude-haiku-4-5-20251001", sidechain=True)]
    root = claude_root(tmp_path, [], {f"{CLAUDE_SESSION}.jsonl": main,
                                      f"{CLAUDE_SESSION}/subagents/agent-a7.jsonl": agent})
    [row] = summary(cli_path, root)
    assert (row["agent_messages"], row["tool_calls"]) == (2, 2)
    assert (row["input_tokens"], row["cache_read_tokens"], row["cache_write_tokens"], row["output_tokens"],
            row["reasoning_tokens"], row["total_tokens"]) == (10 + 1 + 2, 3000, 100, 50 + 7 + 3, None,
                                                              3113 + 60)
    assert row["models"] == ["claude-haiku-4-5-20251001", "claude-opus-4-6", "claude-sonnet-4-6"]
    by_day = summary(cli_path, root, "--by", "day", "--by", "model", "--timezone", "UTC")
    assert [(r["day"], r["model"], r["total_tokens"]) for r in by_day] == [
        ("2025-03-01", "claude-sonnet-4-6", 1160), ("2025-03-01", "claude-haiku-4-5-20251001", 5),
        ("2025-03-02", "claude-opus-4-6", 2008)]


def _codex_models(tmp):
    def totals(n):
        return {"type": "token_count", "info": {"total_token_usage": {
            "input_tokens": 100 * n, "cached_input_tokens": 10 * n, "output_tokens": 5 * n,
            "reasoning_output_tokens": 2 * n, "total_tokens": 105 * n}}}
    return codex_root(tmp, [
        rec(T0, "session_meta", {"id": SESSION, "cwd": "/work/demo"}),
        rec(T0, "turn_context", {"cwd": "/work/demo", "model": "gpt-5-codex"}),
        user_message(T0, "go"),
        rec("2025-03-01T10:00:05Z", "event_msg", totals(1)),
        rec("2025-03-01T10:00:06Z", "event_msg", totals(1)),  # repeated totals add nothing
        rec("2025-03-01T23:30:00Z", "turn_context", {"cwd": "/work/demo", "model": "gpt-5.4"}),
        user_message("2025-03-01T23:30:00Z", "more"),
        rec("2025-03-01T23:30:05Z", "event_msg", totals(4)),
    ])


@pytest.mark.parametrize(
    "args, expected",
    [
        (["--by", "model"], [("gpt-5-codex", 1, 105), ("gpt-5.4", 1, 315)]),
        (["--by", "day", "--timezone", "UTC"], [("2025-03-01", 2, 420)]),
        (["--by", "day", "--timezone", "Asia/Tokyo"], [("2025-03-01", 1, 105), ("2025-03-02", 1, 315)]),
        (["--by", "week", "--timezone", "Asia/Tokyo"], [("2025-W09", 2, 420)]),
        (["--by", "project"], [("/work/demo", 2, 420)]),
    ],
    ids=["model", "day-utc", "day-tokyo", "week", "project"],
)
def test_rollups(cli_path, tmp_path, args, expected):
    rows = summary(cli_path, _codex_models(tmp_path), *args)
    key = args[1]
    assert [(r[key], r["prompts"], r["total_tokens"]) for r in rows] == expected
    assert all(r["sessions"] == 1 for r in rows)


def test_the_table_fits_a_hundred_columns_unless_wide(cli_path, tmp_path):
    deep = "/work/" + "/".join(["a-rather-long-directory-name"] * 6)
    root = codex_root(tmp_path, [rec(T0, "session_meta", {"id": SESSION, "cwd": deep}), user_message(T0, "go")])
    narrow = run(cli_path, root, "--summary", "--by", "session", "--by", "day").stdout.decode().splitlines()
    wide = run(cli_path, root, "--summary", "--wide").stdout.decode().splitlines()
    assert max(len(line) for line in narrow) <= 100 < max(len(line) for line in wide)
    assert narrow[1].split()[1] == SESSION[:8] + "…" and "…" in narrow[1].split()[2]
    assert deep in wide[1]


@pytest.mark.parametrize(
    "args, said",
    [
        (["--since", "2025-03-02", "--until", "2025-03-01"], "--since is after --until"),
        (["-o", "{tmp}/out.jsonl", "--diagnostics", "{tmp}/./out.jsonl"], "names the same file"),
        (["--session", "1F0E"], "starts 2 session ids:\n  1f0e2d3c"),
        (["--by", "day"], "applies to --summary only"),
        (["--summary", "--timezone", "Mars/Olympus"], "not a time zone"),
        (["--origin", "typed", "--documented"], "needs the full reading"),
        (["--origin", "pasted"], "not a prompt origin"),
        (["-f", "table"], "--summary only"),
    ],
    ids=["window", "same-file", "ambiguous-session", "by-without-summary", "zone", "origin-documented",
         "origin-value", "table-without-summary"],
)
def test_usage_errors(cli_path, tmp_path, args, said):
    root = codex_root(tmp_path, [user_message(T0, "go")],
                      [codex_history(1740823200, "hi", "1f0e9999-0000-0000-0000-000000000000")])
    result = run(cli_path, root, *[a.format(tmp=tmp_path) for a in args])
    assert result.returncode == 2
    assert said in result.stderr.decode()
    assert not (tmp_path / "out.jsonl").exists()


@pytest.mark.parametrize(
    "args, kept",
    [
        (["--session", SESSION[:8].upper()], 3),
        (["--origin", "injected"], 1),
        (["--cwd", "c:/Users/Dev"], 3),
        (["--cwd", "C:\\Users\\dev"], 0),
        (["--session", "abc"], 0),
    ],
    ids=["session-prefix", "origin", "drive-letter-and-slash", "other-directory", "no-such-session"],
)
def test_filters(cli_path, tmp_path, args, kept):
    root = codex_root(tmp_path, [rec(T0, "session_meta", {"id": SESSION, "cwd": "C:\\Users\\Dev\\proj"}),
                                 item(T0, "user", "<environment_context>x</environment_context>"),
                                 user_message(T0, "go")],
                      [codex_history(1740823200, "hi", "0000aaaa-0000-0000-0000-000000000000")])
    result = run(cli_path, root, "-f", "jsonl", *args)
    assert result.returncode == 0, result.stderr
    assert len(result.stdout.splitlines()) == kept
    assert ("the filters kept 0 of 4 events" in result.stderr.decode()) == (kept == 0)


@pytest.mark.parametrize("fmt", ["jsonl", "json", "csv", "timesketch"])
def test_no_message_leaves_every_message_out(cli_path, tmp_path, fmt):
    root = codex_root(tmp_path, [user_message(T0, "secret prompt")])
    result = run(cli_path, root, "-f", fmt, "--no-message")
    assert result.returncode == 0
    assert b"event_msg/user_message" in result.stdout or fmt == "timesketch"
    assert b"secret prompt" not in result.stdout


LEGACY = [
    {"id": SESSION, "timestamp": "2025-08-30T11:44:14.698Z", "instructions": "# Rules",
     "git": {"branch": "main"}},
    {"record_type": "state"},
    {"type": "message", "id": None, "role": "user", "content": [{"type": "input_text", "text": "search"}]},
    {"type": "function_call", "id": None, "name": "search", "arguments": "{}", "call_id": "call_1"},
    {"type": "function_call_output", "call_id": "call_1", "output": "[]"},
    {"type": "reasoning", "id": "", "summary": [], "content": [{"type": "reasoning_text", "text": "hm"}]},
    {"type": "message", "id": None, "role": "assistant", "content": [{"type": "output_text", "text": "found"}]},
]


@pytest.mark.parametrize(
    "reading, expected",
    [
        ([], [("session_start", "session_header", "embedded"), ("task_state", "state", "referenced_event"),
              ("prompt_input", "message", "referenced_event"), ("tool_call", "function_call", "referenced_event"),
              ("tool_result", "function_call_output", "referenced_event"),
              ("agent_reasoning", "reasoning", "referenced_event"),
              ("agent_message", "message", "referenced_event")]),
        (["--documented"], [("unknown", "unknown", "embedded"), ("unknown", "unknown", "none"),
                            ("unknown", "message", "none"), ("tool_call", "function_call", "none"),
                            ("tool_result", "function_call_output", "none"), ("agent_reasoning", "reasoning", "none"),
                            ("unknown", "message", "none")]),
    ],
    ids=["full", "documented"],
)
def test_older_rollout_records(cli_path, tmp_path, reading, expected):
    root = codex_root(tmp_path, LEGACY, name=f"rollout-2025-08-30T11-44-14-{SESSION}.jsonl")
    events = jsonl_events(cli_path, root / "sessions", *reading)
    assert [(e["event_type"], e["source"]["record_type"], e["timestamp_source"]) for e in events] == expected
    assert all(e["session_id"] == SESSION for e in events)
    if not reading:
        assert events[2]["timestamp"] == "2025-08-30T11:44:14.698Z" and events[2]["message"] == "search"


DOCUMENT = {"session": {"timestamp": "2025-08-23T11:03:20.415Z", "id": SESSION, "instructions": ""},
            "items": [{"role": "user", "content": [{"type": "text", "text": "tests fail"}]},
                      {"role": "assistant", "content": "", "tool_calls": []}]}


@pytest.mark.parametrize(
    "text, events, diagnostic",
    [
        (json.dumps(DOCUMENT, indent=2), ["session_start", "prompt_input", "agent_message"], None),
        ('{"session": {', [], "invalid_json"),
        ('{"items": []}', [], "unknown_record"),
        (json.dumps(DOCUMENT) + " " * 2000, [], "invalid_json"),
    ],
    ids=["read", "not-json", "other-shape", "too-large"],
)
def test_older_rollout_documents_are_read_or_named(cli_path, tmp_path, text, events, diagnostic):
    name = f"rollout-2025-08-23-{SESSION}.json"
    sessions = tmp_path / ".codex" / "sessions"
    sessions.mkdir(parents=True)
    (sessions / name).write_text(text)
    result = run(cli_path, tmp_path / ".codex", "-f", "json", "--max-line-size", "1000")
    report = json.loads(result.stdout)
    assert [e["event_type"] for e in report["events"]] == events
    assert [(d["code"], d["source"]["relative_path"]) for d in report["diagnostics"]] == \
        ([(diagnostic, f"sessions/{name}")] if diagnostic else [])
    documented = run(cli_path, tmp_path / ".codex", "-f", "json", "--documented")
    assert json.loads(documented.stdout) == {"events": [], "diagnostics": []}


def _hand_count(codex):
    """Typed prompts counted by hand from the raw files: each user-message
    event, or (in older rollouts, which have none) each role-user item that is
    no injected context; plus the history lines of sessions without a rollout."""
    injected = ("<environment_context>", "<user_instructions>", "# AGENTS.md instructions", "<INSTRUCTIONS>",
                "<turn_aborted>", "<recommended_plugins>")
    typed, logged = 0, set()
    for path in sorted(codex.glob("**/rollout-*.json*")):
        records = [json.loads(line) for line in path.read_text(errors="replace").splitlines() if line.strip()] \
            if path.suffix == ".jsonl" else json.loads(path.read_text())["items"]
        logged.add(path.name.rsplit(".", 1)[0][-36:])
        messages = sum(1 for r in records if r.get("payload", {}).get("type") == "user_message")
        older = [r for r in records if "payload" not in r and r.get("role") == "user"]
        typed += messages + sum(1 for r in older if not "".join(
            p.get("text", "") for p in r["content"] if isinstance(r["content"], list)).lstrip().startswith(injected))
    history = codex / "history.jsonl"
    if history.exists():
        typed += sum(1 for line in history.read_text().splitlines() if json.loads(line)["session_id"] not in logged)
    return typed


def test_corpus_typed_prompts_match_a_hand_count(cli_path, corpus_dir):
    roots = sorted(corpus_dir.glob("*/.codex"))
    assert roots
    for codex in roots:
        rows = summary(cli_path, codex)
        assert sum(r["prompts"] for r in rows) == _hand_count(codex), codex
