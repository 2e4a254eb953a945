"""The facts the readers fill in the full reading (model, per-event token
amounts, tools, record ids), read from real record shapes of Claude Code
transcripts and Codex rollouts, and the documented reading left without them."""

import json
import subprocess

import pytest

import vellumtrace
from fact_columns import FACT_COLUMNS

SESSION = "6f1e0c2a-1111-4222-8333-944455556666"
ROLLOUT = "rollout-2025-10-04T22-19-01-0199b261-401d-75c1-af9e-a44a18e60d0a.jsonl"
TS = "2025-06-01T10:00:00.000Z"
RESET = "Codex token totals went down (the count started again): this event's amounts are its totals"


def write(path, records):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("".join(json.dumps(r) + "\n" for r in records))
    return path


def claude_file(tmp_path, records):
    return write(tmp_path / ".claude" / "projects" / "-w" / f"{SESSION}.jsonl", records)


def codex_file(tmp_path, records):
    return write(tmp_path / ".codex" / "sessions" / "2025" / "10" / "05" / ROLLOUT, records)


def full_events(cli_path, path):
    out = subprocess.run([cli_path, str(path), "--format", "jsonl"], capture_output=True, check=True,
                         timeout=120).stdout
    return [json.loads(line) for line in out.splitlines()]


def facts(event):
    """The facts an event has as read (absent ones, and what the run decides:
    the estimated cost, the input, a copy's first occurrence, left out)."""
    return {name: event[name] for name in FACT_COLUMNS
            if event[name] is not None and name not in ("cost_usd", "input", "copy_of")}


# ------------------------------------------------------------- Claude Code

def rec(kind, uuid, parent=None, **fields):
    return {"type": kind, "sessionId": SESSION, "cwd": "/w", "uuid": uuid, "parentUuid": parent,
            "timestamp": TS, "isSidechain": False, "gitBranch": "main", **fields}


def assistant(uuid, parent, blocks, msg_id="msg_1", model="claude-sonnet-4-5-20250929", usage=None, **fields):
    message = {"id": msg_id, "model": model, "role": "assistant", "content": blocks}
    if usage is not None:
        message["usage"] = usage
    return rec("assistant", uuid, parent, message=message, **fields)


def user(uuid, parent, content, **fields):
    return rec("user", uuid, parent, message={"role": "user", "content": content}, **fields)


IDS = {"record_id": "a1", "parent_id": "u1", "sidechain": False, "git_branch": "main"}
MODEL = {"model": "claude-sonnet-4-5-20250929", "message_id": "msg_1"}

CLAUDE_CASES = [
    ("a typed prompt carries its ids only",
     [user("u1", None, "fix it")],
     [("prompt_input", {"record_id": "u1", "sidechain": False, "git_branch": "main"})]),
    ("a call and its results share the call id; the result names the call's tool",
     [assistant("a1", "u1", [{"type": "text", "text": "looking"},
                             {"type": "tool_use", "id": "toolu_1", "name": "Bash",
                              "input": {"command": "ls -la\nwc", "description": "list"}},
                             {"type": "tool_use", "id": "toolu_2", "name": "TodoWrite", "input": {"todos": []}}]),
      user("u2", "a1", [{"type": "tool_result", "tool_use_id": "toolu_1", "content": "ok"},
                        {"type": "tool_result", "tool_use_id": "toolu_2", "is_error": True, "content": "no"},
                        {"type": "tool_result", "tool_use_id": "toolu_9", "content": "from elsewhere"}])],
     [("agent_message", IDS | MODEL),
      ("tool_call", IDS | MODEL | {"tool_name": "Bash", "tool_call_id": "toolu_1", "tool_input": "ls -la wc"}),
      ("tool_call", IDS | MODEL | {"tool_name": "TodoWrite", "tool_call_id": "toolu_2"}),
      ("tool_result", {"record_id": "u2", "parent_id": "a1", "sidechain": False, "git_branch": "main",
                       "tool_name": "Bash", "tool_call_id": "toolu_1", "tool_error": False}),
      ("tool_result", {"record_id": "u2", "parent_id": "a1", "sidechain": False, "git_branch": "main",
                       "tool_name": "TodoWrite", "tool_call_id": "toolu_2", "tool_error": True}),
      ("tool_result", {"record_id": "u2", "parent_id": "a1", "sidechain": False, "git_branch": "main",
                       "tool_call_id": "toolu_9", "tool_error": False})]),
    ("streamed chunks: one usage with the last chunk's counts and the one-hour cache part",
     [assistant("a1", "u1", [{"type": "thinking", "thinking": "", "signature": "s"}],
                usage={"input_tokens": 3, "cache_creation_input_tokens": 10, "cache_read_input_tokens": 7,
                       "output_tokens": 1}),
      assistant("a2", "a1", [{"type": "text", "text": "done"}],
                usage={"input_tokens": 3, "cache_creation_input_tokens": 10, "cache_read_input_tokens": 7,
                       "output_tokens": 416, "cache_creation": {"ephemeral_1h_input_tokens": 6,
                                                                "ephemeral_5m_input_tokens": 4}})],
     [("agent_reasoning", IDS | MODEL),
      ("token_usage", IDS | MODEL | {"input_tokens": 3, "cache_write_tokens": 10, "cache_write_1h_tokens": 6,
                                     "cache_read_tokens": 7, "output_tokens": 416}),
      ("agent_message", IDS | MODEL | {"record_id": "a2", "parent_id": "a1"})]),
    ("an older record's own cost is kept apart; counts that are not whole numbers are left out",
     [assistant("a1", "u1", [{"type": "text", "text": "hi"}], costUSD=0.0123,
                usage={"input_tokens": 5, "output_tokens": 2.5, "cache_read_input_tokens": -1})],
     [("agent_message", IDS | MODEL),
      ("token_usage", IDS | MODEL | {"input_tokens": 5, "recorded_cost_usd": 0.0123})]),
    ("a sub-agent's record: sidechain, its agent id; an empty branch is no branch",
     [user("s1", "p0", "explore", isSidechain=True, agentId="a5c3", gitBranch="")],
     [("prompt_input", {"record_id": "s1", "parent_id": "p0", "sidechain": True, "agent_id": "a5c3"})]),
    ("server tools: the call and its result in one message",
     [assistant("a1", "u1", [{"type": "server_tool_use", "id": "srvtoolu_1", "name": "web_search",
                              "input": {"query": "zstd frame"}},
                             {"type": "web_search_tool_result", "tool_use_id": "srvtoolu_1", "content": []}],
                model="<synthetic>")],
     [("tool_call", IDS | {"model": "<synthetic>", "message_id": "msg_1", "tool_name": "web_search",
                           "tool_call_id": "srvtoolu_1", "tool_input": "zstd frame"}),
      ("tool_result", IDS | {"model": "<synthetic>", "message_id": "msg_1", "tool_name": "web_search",
                             "tool_call_id": "srvtoolu_1"})]),
    ("records of other types keep their ids; a summary has none",
     [rec("system", "y1", "a1", subtype="turn_duration", durationMs=5),
      {"type": "summary", "summary": "s", "leafUuid": "leaf"}],
     [("task_state", {"record_id": "y1", "parent_id": "a1", "sidechain": False, "git_branch": "main"}),
      ("context_compacted", {})]),
]


@pytest.mark.parametrize("records, expected", [c[1:] for c in CLAUDE_CASES], ids=[c[0] for c in CLAUDE_CASES])
def test_claude_transcript_facts(cli_path, tmp_path, records, expected):
    events = full_events(cli_path, claude_file(tmp_path, records))
    assert [(e["event_type"], facts(e)) for e in events] == expected


# ------------------------------------------------------------------- Codex

def record(kind, payload, ts="2025-10-05T03:19:01.943Z"):
    return {"timestamp": ts, "type": kind, "payload": payload}


def meta(**payload):
    return record("session_meta", {"id": "0199b261-401d-75c1-af9e-a44a18e60d0a", "cwd": "/w", **payload})


def turn(model):
    return record("turn_context", {"cwd": "/w", "model": model})


def totals(i, c, o, r):
    usage = {"input_tokens": i, "cached_input_tokens": c, "output_tokens": o, "reasoning_output_tokens": r,
             "total_tokens": i + o}
    return record("event_msg", {"type": "token_count", "info": {"total_token_usage": usage,
                                                              "last_token_usage": usage}})


def amounts(fresh, cached, output, reasoning):
    return {"input_tokens": fresh, "cache_read_tokens": cached, "output_tokens": output,
            "reasoning_tokens": reasoning}


TOKEN_CASES = [
    ("differences of the running totals, fresh input apart from the cached part",
     [totals(1000, 200, 50, 10), totals(1800, 900, 80, 10), totals(1800, 900, 80, 10)],
     [amounts(800, 200, 50, 10), amounts(100, 700, 30, 0), amounts(0, 0, 0, 0)], [[], [], []]),
    ("totals that went down started again: the event counts its totals and says so",
     [totals(5000, 4000, 100, 0), totals(1200, 0, 30, 5), totals(1300, 100, 40, 5)],
     [amounts(1000, 4000, 100, 0), amounts(1200, 0, 30, 5), amounts(0, 100, 10, 0)], [[], [RESET], []]),
    ("rate limits alone say nothing; the last request's usage stands in for missing totals",
     [record("event_msg", {"type": "token_count", "info": None, "rate_limits": {}}),
      record("event_msg", {"type": "token_count", "info": {"last_token_usage": {
          "input_tokens": 70, "cached_input_tokens": 20, "output_tokens": 9}}})],
     [{}, {"input_tokens": 50, "cache_read_tokens": 20, "output_tokens": 9}], [[], []]),
]


@pytest.mark.parametrize("records, expected, warnings", [c[1:] for c in TOKEN_CASES],
                         ids=[c[0] for c in TOKEN_CASES])
def test_codex_token_amounts_per_event(cli_path, tmp_path, records, expected, warnings):
    events = full_events(cli_path, codex_file(tmp_path, [meta(), turn("gpt-5-codex"), *records]))
    counts = [e for e in events if e["event_type"] == "token_usage"]
    assert [{k: v for k, v in facts(e).items() if k.endswith("_tokens")} for e in counts] == expected
    assert [e["warnings"] for e in counts] == warnings


def test_codex_model_and_branch_follow_the_turns(cli_path, tmp_path):
    records = [meta(git={"branch": "feature/x", "commit_hash": "abc"}),
               record("event_msg", {"type": "user_message", "message": "hi"}),
               turn("gpt-5-codex"),
               record("event_msg", {"type": "agent_message", "message": "a"}),
               record("event_msg", {"type": "thread_settings_applied",
                                    "thread_settings": {"model": "gpt-5.5", "model_provider_id": "openai"}}),
               record("event_msg", {"type": "agent_message", "message": "b"}),
               # A forked history's copy of its parent's header changes nothing.
               meta(id="0199b261-0000-7000-8000-000000000000", git={"branch": "parent-branch"}, model="o3"),
               record("event_msg", {"type": "agent_message", "message": "c"})]
    events = full_events(cli_path, codex_file(tmp_path, records))
    assert {(e["sidechain"], e["agent_id"]) for e in events} == {(None, None)}
    assert [(e.get("model"), e.get("git_branch")) for e in events] == [
        (None, "feature/x"), (None, "feature/x"), ("gpt-5-codex", "feature/x"), ("gpt-5-codex", "feature/x"),
        ("gpt-5.5", "feature/x"), ("gpt-5.5", "feature/x"), ("gpt-5.5", "feature/x"), ("gpt-5.5", "feature/x")]


@pytest.mark.parametrize("header, expected", [
    ({"parent_thread_id": "0199b261-0000-7000-8000-000000000001", "agent_path": "/root/timer_audit",
      "forked_from_id": "0199b261-0000-7000-8000-000000000001"}, (True, "/root/timer_audit")),
    ({"parent_thread_id": None, "agent_path": None}, (False, None)),
    ({}, (None, None)),
])
def test_codex_sub_agent_rollouts_are_marked(cli_path, tmp_path, header, expected):
    # The file's own header decides; the parent's header copied after it changes nothing.
    records = [meta(**header), meta(id="0199b261-0000-7000-8000-000000000001", parent_thread_id=None),
               record("event_msg", {"type": "agent_message", "message": "a"})]
    events = full_events(cli_path, codex_file(tmp_path, records))
    assert {(e["sidechain"], e["agent_id"]) for e in events} == {expected}


def call(payload_type, call_id, **payload):
    return record("response_item", {"type": payload_type, "call_id": call_id, **payload})


TOOL_CASES = [
    ("a shell call's script, its older JSON output with the exit code",
     [call("function_call", "c1", name="shell",
           arguments=json.dumps({"command": ["bash", "-lc", "cat a.md\nwc"], "workdir": "."})),
      call("function_call_output", "c1",
           output=json.dumps({"output": "cat: a.md: No such file\n", "metadata": {"exit_code": 1}}))],
     [{"tool_name": "shell", "tool_call_id": "c1", "tool_input": "cat a.md wc"},
      {"tool_name": "shell", "tool_call_id": "c1", "tool_error": True, "exit_code": 1}]),
    ("exec_command's cmd; the exit code in the output's header lines",
     [call("function_call", "c2", name="exec_command", arguments=json.dumps({"cmd": "rg -n x", "yield_time_ms": 1})),
      call("function_call_output", "c2",
           output="Chunk ID: 1e7ab3\nWall time: 0.0 seconds\nProcess exited with code 0\nOutput:\nExit code: 9\n"),
      record("event_msg", {"type": "exec_command_end", "call_id": "c2", "exit_code": 3,
                           "command": ["/bin/zsh", "-lc", "rg -n x"], "aggregated_output": ""})],
     [{"tool_name": "exec_command", "tool_call_id": "c2", "tool_input": "rg -n x"},
      {"tool_name": "exec_command", "tool_call_id": "c2", "tool_error": False, "exit_code": 0},
      {"tool_name": "exec_command", "tool_call_id": "c2", "tool_error": True, "exit_code": 3}]),
    ("a patch names its files; a failed apply is an error without an exit code",
     [call("custom_tool_call", "c3", name="apply_patch",
           input="*** Begin Patch\n*** Update File: src/a.rs\n@@\n*** Add File: b.rs\n*** End Patch\n"),
      call("custom_tool_call_output", "c3", output="Exit code: 1\nWall time: 0 seconds\nOutput:\nfailed\n"),
      record("event_msg", {"type": "patch_apply_end", "call_id": "c3", "success": False, "stdout": ""})],
     [{"tool_name": "apply_patch", "tool_call_id": "c3", "tool_input": "src/a.rs, b.rs"},
      {"tool_name": "apply_patch", "tool_call_id": "c3", "tool_error": True, "exit_code": 1},
      {"tool_name": "apply_patch", "tool_call_id": "c3", "tool_error": True}]),
    ("built-in calls go by their item type; arguments that are not JSON are the argument",
     [record("response_item", {"type": "web_search_call", "status": "completed",
                               "action": {"type": "search", "query": "zstd window"}}),
      call("tool_search_call", "c4", arguments={"query": "jobs", "limit": 8}),
      call("function_call", "c5", name="custom", arguments="plain words"),
      record("event_msg", {"type": "mcp_tool_call_end", "call_id": "c5", "result": {"Err": "boom"}}),
      record("event_msg", {"type": "mcp_tool_call_end", "call_id": "c6",
                           "result": {"Ok": {"content": [], "isError": False}}})],
     [{"tool_name": "web_search_call", "tool_input": "zstd window"},
      {"tool_name": "tool_search_call", "tool_call_id": "c4", "tool_input": "jobs"},
      {"tool_name": "custom", "tool_call_id": "c5", "tool_input": "plain words"},
      {"tool_name": "custom", "tool_call_id": "c5", "tool_error": True},
      {"tool_call_id": "c6", "tool_error": False}]),
]


@pytest.mark.parametrize("records, expected", [c[1:] for c in TOOL_CASES], ids=[c[0] for c in TOOL_CASES])
def test_codex_tool_facts(cli_path, tmp_path, records, expected):
    events = full_events(cli_path, codex_file(tmp_path, [meta(), *records]))
    tools = [e for e in events if e["event_type"] in ("tool_call", "tool_result")]
    assert [facts(e) for e in tools] == expected


TEXT_CASES = [
    # (records, the message of each result and reasoning event in the full reading, and in the documented one:
    #  no output without content asked for, no reasoning summary)
    (TOOL_CASES[0][1], ["cat: a.md: No such file\n"], [None]),
    (TOOL_CASES[1][1], ["Chunk ID: 1e7ab3\nWall time: 0.0 seconds\nProcess exited with code 0\nOutput:\nExit code: 9\n", ""],
     [None, None]),
    ([call("custom_tool_call_output", "c7", output=[{"type": "input_text", "text": "Script completed\n"},
                                                    {"type": "image"}, {"type": "input_text", "text": "Exit code: 0"}]),
      record("event_msg", {"type": "exec_command_end", "call_id": "c8", "stdout": "out", "stderr": "err"}),
      record("event_msg", {"type": "patch_apply_end", "call_id": "c9", "stdout": "done\n", "stderr": ""}),
      record("event_msg", {"type": "mcp_tool_call_end", "call_id": "c5", "result": {"Err": "boom"}}),
      record("event_msg", {"type": "mcp_tool_call_end", "call_id": "c6",
                           "result": {"Ok": {"content": [{"type": "text", "text": "found 2"}], "isError": False}}}),
      call("function_call_output", "c10", output="{not json")],
     ["Script completed\n\nExit code: 0", "out\nerr", "done\n", "boom", "found 2", "{not json"], [None] * 6),
    ([record("response_item", {"type": "reasoning", "summary": [{"type": "summary_text", "text": "**Plan**"},
                                                               {"type": "summary_text", "text": "Then read."}],
                               "encrypted_content": "gAAA"}),
      record("response_item", {"type": "reasoning", "summary": [], "content": [
          {"type": "reasoning_text", "text": "We need to search."}]}),
      record("response_item", {"type": "reasoning", "summary": [], "encrypted_content": "gAAA"}),
      record("event_msg", {"type": "agent_reasoning", "text": "**Plan**"})],
     ["**Plan**\n\nThen read.", "We need to search.", None, "**Plan**"], [None, None, None, "**Plan**"]),
]


@pytest.mark.parametrize("records, expected, documented", TEXT_CASES)
def test_codex_results_and_reasoning_carry_their_text(cli_path, tmp_path, records, expected, documented):
    path = codex_file(tmp_path, [meta(), *records])
    shown = [e["message"] for e in full_events(cli_path, path) if e["event_type"] in ("tool_result", "agent_reasoning")]
    assert shown == expected
    assert [e["message"] for e in vellumtrace.parse(path)["events"]
            if e["event_type"] in ("tool_result", "agent_reasoning")] == documented


def test_no_message_leaves_the_arguments_out_too(cli_path, tmp_path):
    path = codex_file(tmp_path, [meta(), *TOOL_CASES[0][1]])
    out = subprocess.run([cli_path, str(path), "-f", "jsonl", "--no-message"], check=True,
                         capture_output=True).stdout
    calls = [e for e in map(json.loads, out.splitlines()) if e["tool_call_id"]]
    assert [(e["message"], e["tool_input"], e["tool_call_id"]) for e in calls] == [(None, None, "c1")] * 2


# ------------------------------------------------------- documented reading

def test_documented_reading_has_no_facts(cli_path, tmp_path):
    claude = claude_file(tmp_path / "c", [c for case in CLAUDE_CASES for c in case[1]])
    codex = codex_file(tmp_path / "x", [meta(), turn("gpt-5-codex"), totals(10, 0, 1, 0)]
                       + [r for case in TOOL_CASES for r in case[1]])
    for path in (claude, codex):
        for event in vellumtrace.parse(path)["events"]:
            assert not set(event) & {"origin", *FACT_COLUMNS}
        documented = subprocess.run([cli_path, str(path), "--format", "jsonl", "--documented"], check=True,
                                    capture_output=True).stdout
        assert documented.decode() == vellumtrace.to_jsonl(path)
        # The full reading has facts on these very records.
        assert any(facts(e) for e in full_events(cli_path, path))


# ------------------------------------------------------------------- costs

PRICES = {"date": "2027-01-01", "models": [
    {"model": "claude-sonnet-4-5", "input": 2, "cache_write": 3, "cache_write_1h": 5, "cache_read": 0.5, "output": 10},
    {"model": "openai/gpt-5-codex", "input": 1, "cache_read": 0.25, "output": 8}]}


def test_costs_come_from_the_price_table(cli_path, tmp_path):
    claude = claude_file(tmp_path / "c", [
        assistant("a1", "u1", [{"type": "text", "text": "x"}], msg_id="m1",
                  usage={"input_tokens": 100, "cache_creation_input_tokens": 1000, "cache_read_input_tokens": 4000,
                         "output_tokens": 30, "cache_creation": {"ephemeral_1h_input_tokens": 400}}),
        assistant("a2", "a1", [{"type": "text", "text": "y"}], msg_id="m2", model="claude-unknown-9",
                  usage={"input_tokens": 5, "output_tokens": 5}, costUSD=0.5)])
    codex = codex_file(tmp_path / "x", [meta(), totals(50, 0, 1, 0), turn("gpt-5-codex-20251001"),
                                        totals(1050, 600, 21, 4)])
    table = tmp_path / "prices.json"
    table.write_text(json.dumps(PRICES))
    costs = {}
    for path in (claude, codex):
        out = subprocess.run([cli_path, str(path), "--format", "jsonl", "--prices", str(table)], check=True,
                             capture_output=True).stdout
        costs.update({(e["model"], e["input_tokens"]): (e["cost_usd"], e["recorded_cost_usd"])
                      for e in map(json.loads, out.splitlines()) if e["event_type"] == "token_usage"})
    assert costs == {
        # 100 input, 600 five-minute and 400 one-hour writes, 4000 reads, 30 output.
        ("claude-sonnet-4-5-20250929", 100): (pytest.approx((200 + 1800 + 2000 + 2000 + 300) / 1e6), None),
        # A model the table does not name: no estimate, the record's own figure kept apart.
        ("claude-unknown-9", 5): (None, 0.5),
        # Before any turn named a model there is nothing to price.
        (None, 50): (None, None),
        # 400 fresh and 600 cached input, 20 output (reasoning inside it).
        ("gpt-5-codex-20251001", 400): (pytest.approx((400 + 150 + 160) / 1e6), None)}
    # The built-in table prices the same events, and the documented reading has no costs.
    built_in = full_events(cli_path, claude)
    assert [e["cost_usd"] is not None for e in built_in if e["event_type"] == "token_usage"] == [True, False]


@pytest.mark.parametrize("args, code, text", [
    (["--prices", "{missing}"], 1, "--prices: cannot read"),
    (["--prices", "{bad}"], 1, "Price table: models[0]: 'input' and 'output' are required."),
    (["--prices", "{good}", "--documented"], 2, "needs the full reading"),
    (["--prices", ""], 2, "an empty file name"),
])
def test_price_file_problems_are_named(cli_path, tmp_path, args, code, text):
    (tmp_path / "bad.json").write_text(json.dumps({"models": [{"model": "m", "input": 1}]}))
    (tmp_path / "good.json").write_text(json.dumps(PRICES))
    path = claude_file(tmp_path, [user("u1", None, "hi")])
    names = {"missing": tmp_path / "nope.json", "bad": tmp_path / "bad.json", "good": tmp_path / "good.json"}
    result = subprocess.run([cli_path, str(path), "-f", "jsonl", *[a.format(**names) for a in args]],
                            capture_output=True, text=True)
    assert (result.returncode, result.stdout) == (code, "")
    assert text in result.stderr
