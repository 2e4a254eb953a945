"""Aider's files in the full reading: which paths are read as an Aider place
(and which are left alone), what damaged, hostile or foreign files give, and
the real sources accounted line by line (the facts and the ties between the
three files are checked in tests/cpp/aider_test.cpp)."""

import bisect
import collections
import json
import os
import re
import subprocess

import pytest

import agent_totals

CHAT = ("\n# aider chat started at 2025-05-04 17:02:36\n\n> Aider v0.82.2  \n"
        "> Main model: gemini/pro with diff-fenced edit format  \n\n#### fix the bug  \n\nDone.\n\n"
        "> Tokens: 3.2k sent, 222 received. Cost: $0.0014 message, $0.0031 session.  \n")
INPUTS = "\n# 2025-05-04 17:06:57.158813\n+fix the bug\n"
LLM = "TO LLM 2025-05-04T17:06:58\n-------\nUSER fix the bug\nLLM RESPONSE 2025-05-04T17:07:07\nASSISTANT Done.\n"
CHAT_TYPES = ["session_start", "task_state", "prompt_input", "agent_message", "token_usage"]


def put(base, rel, text=""):
    path = base / rel
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return path


def run(cli_path, *args, zone="UTC"):
    env = dict(os.environ, TZ=zone)
    return subprocess.run([cli_path, *map(str, args), "-f", "json", "--compact", "-q"], capture_output=True, env=env)


def report(cli_path, *args, zone="UTC"):
    result = run(cli_path, *args, zone=zone)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def kinds(rep):
    return [(e["source"]["artifact_kind"], e["event_type"]) for e in rep["events"]]


# (files, the path named, what is read, or None when nothing is detected)
DETECTION = [
    ({"p/.aider.chat.history.md": CHAT}, "p", [("chat_log", t) for t in CHAT_TYPES]),
    ({"p/.aider.chat.history.md": CHAT}, "p/.aider.chat.history.md", [("chat_log", t) for t in CHAT_TYPES]),
    ({"p/.aider.input.history": INPUTS}, "p", [("history", "prompt_input")]),
    ({"p/.aider.llm.history": LLM}, "p/.aider.llm.history", [("llm_log", "developer_message"),
                                                             ("llm_log", "agent_message")]),
    ({"p/.aider.chat.history.md": CHAT, "p/.aider.input.history": INPUTS, "p/.aider.llm.history": LLM}, "p",
     [("chat_log", "session_start"), ("chat_log", "task_state"), ("chat_log", "prompt_input"),
      ("history", "prompt_input"), ("llm_log", "developer_message"), ("chat_log", "agent_message"),
      ("chat_log", "token_usage"), ("llm_log", "agent_message")]),
    # A name alone claims nothing: these are not aider's.
    ({"p/aider.chat.history.md": CHAT}, "p", None),
    ({"p/.aider.chat.history.md/x": CHAT}, "p", None),    # a directory so named
    ({"p/sub/.aider.chat.history.md": CHAT}, "p", None),  # the place is the folder holding the files
]


@pytest.mark.parametrize("files, target, expected", DETECTION, ids=[str(i) for i in range(len(DETECTION))])
def test_detection(tmp_path, cli_path, files, target, expected):
    for rel, text in files.items():
        put(tmp_path, rel, text)
    result = run(cli_path, tmp_path / target)
    if expected is None:
        assert result.returncode != 0 and b"Cannot auto-detect" in result.stderr
        return
    rep = json.loads(result.stdout)
    assert kinds(rep) == expected
    assert {e["provider"] for e in rep["events"]} == {"aider"}
    assert rep["diagnostics"] == []
    assert len({e["event_id"] for e in rep["events"]}) == len(rep["events"])


@pytest.mark.parametrize("zone, launch", [("UTC", "2025-05-04T17:02:36Z"), ("Asia/Tokyo", "2025-05-04T08:02:36Z"),
                                          ("America/New_York", "2025-05-04T21:02:36Z")])
def test_launch_time_is_read_in_the_zone_named(tmp_path, cli_path, zone, launch):
    put(tmp_path, "p/.aider.chat.history.md", CHAT)
    # The program's --timezone, whatever the environment says.
    rep = report(cli_path, tmp_path / "p", "--timezone", zone, zone="Europe/Paris")
    start = rep["events"][0]
    assert (start["timestamp"], start["timestamp_source"], start["timestamp_raw"]) == (
        launch, "embedded", "2025-05-04 17:02:36")
    assert start["warnings"][0].startswith("Launch time has no time zone: read as local time (UTC")
    assert all(e["timestamp"] == launch for e in rep["events"])


HUGE = 11 * 1024 * 1024  # past the default max_line_size

# (file, text, diagnostics as (line, code, message start), event kinds)
HOSTILE = [
    (".aider.chat.history.md", "# aider chat started at 2025-05-04 17:02:36\n\n" + "x" * HUGE + "\n\nafter\n",
     [(3, "invalid_json", "Line size 11534336 exceeds max_line_size")],
     [("chat_log", "session_start"), ("chat_log", "agent_message")]),
    (".aider.chat.history.md", '{"not": "aider"}\nmore\n\n# aider chat started at 2025-13-40 99:00:00\n',
     [(1, "unknown_record", "Lines 1 to 2 (2 not blank) come before the first launch header"),
      (4, "invalid_timestamp", "Launch time '2025-13-40 99:00:00' is not a local date and time.")],
     [("chat_log", "session_start")]),
    (".aider.chat.history.md", b"# aider chat started at 2025-05-04 17:02:36\n\xff\xfe bad\nok\n",
     [(2, "unreadable_artifact", "Failed to read line")],
     [("chat_log", "session_start"), ("chat_log", "agent_message")]),
    (".aider.input.history", "+orphan\n# yesterday\n+x\nplain\n",
     [(1, "unknown_record", "Not an input history line"), (2, "invalid_timestamp", "Entry time 'yesterday'"),
      (4, "unknown_record", "Not an input history line")],
     [("history", "prompt_input")]),
    (".aider.llm.history", "stray\nLLM RESPONSE soon\nASSISTANT hi\n",
     [(1, "unknown_record", "Lines 1 to 1 (1 not blank) come before the first block header"),
      (2, "invalid_timestamp", "Block time 'soon'")],
     [("llm_log", "agent_message")]),
]


@pytest.mark.parametrize("name, text, diagnostics, expected", HOSTILE, ids=[str(i) for i in range(len(HOSTILE))])
def test_damaged_and_foreign_lines_end_in_diagnostics(tmp_path, cli_path, name, text, diagnostics, expected):
    path = put(tmp_path, "p/" + name, text)
    rep = report(cli_path, path)
    got = [(d["source"]["line_number"], d["code"], d["message"]) for d in rep["diagnostics"]]
    assert len(got) == len(diagnostics), got
    for (line, code, message), (want_line, want_code, start) in zip(got, diagnostics):
        assert (line, code) == (want_line, want_code) and message.startswith(start), message
    assert kinds(rep) == expected


def peak_mib(cli_path, path):
    """The program's peak resident set over `path`, in MiB."""
    with open(os.devnull, "wb") as sink:
        child = subprocess.Popen([cli_path, str(path), "-q", "-f", "jsonl"], stdout=sink, env=dict(os.environ, TZ="UTC"))
        _, status, usage = os.wait4(child.pid, 0)
    assert status == 0
    return usage.ru_maxrss / 1024


def test_a_huge_markdown_line_is_never_held_whole(tmp_path, cli_path):
    small = put(tmp_path, "small/.aider.chat.history.md", CHAT)
    huge = put(tmp_path, "huge/.aider.chat.history.md", CHAT)
    chunk = b"y" * (1 << 20)
    with open(huge, "ab") as out:
        for _ in range(96):  # 96 MiB of one line, past the 10 MiB default limit
            out.write(chunk)
        out.write(b"\n\nafter\n")
    rep = report(cli_path, huge)
    assert [d["code"] for d in rep["diagnostics"]] == ["invalid_json"]
    assert rep["events"][-1]["message"] == "after"
    assert peak_mib(cli_path, huge) - peak_mib(cli_path, small) < 40


# ---- the real sources ----------------------------------------------------

def core_of(name, line):
    """What of a non-blank line an event's message must hold."""
    line = line.rstrip("\r")
    if name == ".aider.chat.history.md":
        if line.startswith("#### ") and line.endswith("  "):
            return line[5:-2].rstrip()
        if line.startswith("> ") or line == ">":
            return line[2:].rstrip()
        return line[2:] if line.startswith("# aider chat started at ") else line
    if name == ".aider.input.history":
        return line[1:] if line.startswith("+") else None  # the time line is the event's own line
    if line.startswith(("TO LLM ", "LLM RESPONSE ")):
        return None
    return line[len("ASSISTANT "):] if line.startswith("ASSISTANT ") else line


def amount(figure):
    """A rounded token figure as aider prints it ("3.2k", "1.5M", "222")."""
    scale = {"k": 1e3, "K": 1e3, "M": 1e6}.get(figure[-1], 1)
    return int(float(figure.rstrip("kKM")) * scale + 0.5)


def texts(text):
    """Lines without trailing blanks, blank runs kept, ends trimmed: how two files' prompts are compared."""
    return "\n".join(line.rstrip() for line in text.split("\n")).strip("\n")


def count_once(place):
    """What a place holds counted once, with Python alone, per launch
    (session "aider:" and its start as written): each `> Tokens:` line's
    figures (sent as input, received as output, cache hits and writes) and
    the message cost, under the model last announced; each run of input
    lines (`#### `, ending in two blanks) one prompt. An input-history entry is a chat prompt again when
    its launch (the last started at or before it) holds the same text, else
    a prompt of that launch that counts only where the launch has no chat
    prompt. No tool calls: aider's edits are text. Beside the totals, what
    each kind of line counts: launches, token lines, inputs, input-history
    entries, and the log's requests and replies."""
    want, counts = agent_totals.Totals(), collections.Counter()
    inputs = collections.defaultdict(list)  # launch -> its prompts' texts
    launches = []  # (start, session)
    chat = place / ".aider.chat.history.md"
    lines = chat.read_text(encoding="utf-8").replace("\r\n", "\n").split("\n") if chat.is_file() else []
    session, model, run = None, None, None
    for line in lines + [""]:
        if line.startswith("#### ") and line.endswith("  "):  # a heading of the model's Markdown has no blanks after
            run = (run or []) + [line[5:-2]]
            continue
        if run is not None:
            want.prompts[session] += 1
            counts["inputs"] += 1
            inputs[session].append(texts("\n".join(run)))
            run = None
        if line.startswith("# aider chat started at "):
            start = line[len("# aider chat started at "):].strip()
            session, model = "aider:" + start.replace(" ", "T"), None
            launches.append((start, session))
        elif line.startswith(("> Main model: ", "> Model: ")):
            model = line.split(": ", 1)[1].split(" with ")[0].strip()
        elif line.startswith("> Tokens: "):
            counts["tokens"] += 1
            figures = dict((label, amount(figure)) for figure, label in
                           re.findall(r"([0-9.]+[kKM]?) (sent|received|cache write|cache hit)", line))
            columns = {"sent": "input_tokens", "received": "output_tokens", "cache write": "cache_write_tokens",
                       "cache hit": "cache_read_tokens"}
            for label, figure in figures.items():
                want.tokens[(session, columns[label])] += figure
            cost = re.search(r"Cost: \$([0-9.]+) message", line)
            if cost:
                want.costs[session] += float(cost.group(1))
            want.models[session].add(model)
    counts["launches"] = len(launches)
    history = place / ".aider.input.history"
    remembered = collections.Counter()
    text = history.read_text(encoding="utf-8") if history.is_file() else ""
    counts["entries"] = sum(line.startswith("# ") for line in text.split("\n"))
    entries = re.findall(r"^# (\S+ \S+)\n((?:\+.*\n?)*)", text, re.M)
    for time, body in entries:
        started = [s for start, s in launches if start <= time[:19]]
        if not started:
            continue
        launch = started[-1]
        text = texts("\n".join(line[1:] for line in body.rstrip("\n").split("\n")))
        if text in inputs[launch]:
            inputs[launch].remove(text)
        elif not want.prompts[launch]:
            remembered[launch] += 1
    want.prompts.update(remembered)
    llm = place / ".aider.llm.history"
    for line in llm.read_text(encoding="utf-8").split("\n") if llm.is_file() else []:
        counts["requests"] += line.startswith("TO LLM ")
        counts["replies"] += line.startswith("LLM RESPONSE ")
    return want, counts


def test_corpus_places_account_for_every_line_and_count_once(agents_corpus_dir, cli_path):
    """Per place: every non-blank line is in the message of the event it
    falls in (or starts one), each kind of line gives its events, one session
    per launch, every event timed; per launch, the recorded token figures,
    costs and models from the events' facts, and prompts, tokens, recorded
    costs and models in the summary, equal to the count made above."""
    places = sorted(p for p in (agents_corpus_dir / "aider").iterdir() if p.is_dir())
    assert len(places) >= 5
    checked = 0
    for place in places:
        rep = report(cli_path, place)
        assert rep["diagnostics"] == [], place
        by_file = collections.defaultdict(list)
        for event in rep["events"]:
            by_file[event["source"]["relative_path"]].append(event)
        for name in (".aider.chat.history.md", ".aider.input.history", ".aider.llm.history"):
            path = place / name
            if not path.is_file():
                continue
            events = sorted(by_file[name], key=lambda e: e["source"]["line_number"])
            starts = [e["source"]["line_number"] for e in events]
            for number, line in enumerate(path.read_text(encoding="utf-8").split("\n"), start=1):
                if not line.strip():
                    continue
                checked += 1
                at = bisect.bisect_right(starts, number) - 1
                assert at >= 0, (place, name, number)
                core = core_of(name, line)
                if core is None:
                    assert starts[at] == number, (place, name, number)
                else:
                    assert core in (events[at]["message"] or ""), (place, name, number, line)
        want, counts = count_once(place)
        got = collections.Counter((e["source"]["record_type"], e["event_type"]) for e in rep["events"])
        assert got[("launch", "session_start")] == counts["launches"], place
        assert got[("tokens", "token_usage")] == counts["tokens"], place
        assert got[("user", "prompt_input")] == counts["inputs"], place
        assert got[("input_history", "prompt_input")] == counts["entries"], place
        assert got[("llm_request", "developer_message")] == counts["requests"], place
        assert got[("llm_response", "agent_message")] + got[("llm_response", "task_state")] == counts["replies"], place
        # One timeline: every event timed (local times read in the zone), one session per launch.
        assert all(e["timestamp"] for e in rep["events"]), place
        sessions = {e["session_id"] for e in rep["events"] if e["source"]["artifact_kind"] == "chat_log"}
        assert len(sessions) == counts["launches"], place
        events, rows = agent_totals.run(cli_path, place)
        got_view, want_view = agent_totals.of_events(events).view(), want.view()
        del got_view["prompts"], want_view["prompts"]  # prompts are the count rule's: see the summary
        assert got_view == want_view, place.name
        assert agent_totals.of_summary(rows).view() == want.view(), place.name
    assert checked >= 15000
