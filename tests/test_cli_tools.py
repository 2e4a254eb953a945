"""The program's own tools for people: filters, diagnostics beside the timeline,
safe output files, the progress line, the Timesketch export and the session summary."""

import csv
import datetime
import io
import json
import os
import pathlib
import pty
import resource
import signal
import subprocess
import time

import pytest

import vellumtrace

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
FIRST = "0199a4e2-7c3b-7d10-b8f5-2e6a91c04d7b"
SECOND = "0199a9b7-41e6-7f02-9d3a-6b18e5c2f740"


def run(cli_path, *args, **kwargs):
    kwargs.setdefault("capture_output", True)
    return subprocess.run([cli_path, *map(str, args)], timeout=120, **kwargs)


def at(text):
    return datetime.datetime.fromisoformat(text.replace("Z", "+00:00")) if text else None


def utc(*fields):
    return datetime.datetime(*fields, tzinfo=datetime.timezone.utc)


@pytest.fixture(scope="module")
def sample_lines():
    """Each JSON line of the sample's timeline beside its event."""
    return list(zip(vellumtrace.to_jsonl(SAMPLE).splitlines(keepends=True),
                    vellumtrace.parse(SAMPLE)["events"]))


@pytest.mark.parametrize(
    "args, keep",
    [
        (["--since", "2025-11-06"], lambda e: e["timestamp"] and at(e["timestamp"]) >= utc(2025, 11, 6)),
        (["--until", "2025-11-05"], lambda e: e["timestamp"] and at(e["timestamp"]) < utc(2025, 11, 6)),
        (["--until", "2025-11-05T10:13:12.340+01:00"],
         lambda e: e["timestamp"] and at(e["timestamp"]) <= utc(2025, 11, 5, 9, 13, 12, 340000)),
        (["--since", "2025-11-05T09:19:51Z", "--until", "2025-11-06T14:03:15.664Z"],
         lambda e: e["timestamp"] and utc(2025, 11, 5, 9, 19, 51)
         <= at(e["timestamp"]) <= utc(2025, 11, 6, 14, 3, 15, 664000)),
        (["--session", SECOND], lambda e: e["session_id"] == SECOND),
        (["--session", SECOND, "--session", FIRST], lambda e: e["session_id"] in (FIRST, SECOND)),
        (["--provider", "claude_code"], lambda e: e["provider"] == "claude_code"),
        (["--event-type", "tool_call"], lambda e: e["event_type"] == "tool_call"),
        (["--event-type", "tool_call", "--event-type", "tool_result"],
         lambda e: e["event_type"] in ("tool_call", "tool_result")),
        (["--cwd", "/home/mara/src/lanternfish/crates/"],
         lambda e: e["working_directory"] == "/home/mara/src/lanternfish/crates/window"),
        (["--cwd", "/home/mara/src/lantern"], lambda e: False),
        (["--provider", "codex", "--event-type", "prompt_input", "--session", FIRST, "--since", "2025-11-05"],
         lambda e: e["event_type"] == "prompt_input" and e["session_id"] == FIRST and e["timestamp"]),
    ],
    ids=["since-date", "until-date", "until-instant-inclusive", "window", "session", "sessions",
         "provider", "event-type", "event-types", "cwd-prefix", "cwd-not-a-component", "combined"],
)
def test_filters_keep_events_with_their_sequence(cli_path, sample_lines, args, keep):
    result = run(cli_path, SAMPLE, "-f", "jsonl", "--documented", *args)
    assert result.returncode == 0, result.stderr
    expected = [line for line, event in sample_lines if keep(event)]
    assert len(expected) < len(sample_lines)
    assert result.stdout.decode().splitlines(keepends=True) == expected
    summary = result.stderr.decode().splitlines()[-1]
    diagnostics = len(vellumtrace.parse(SAMPLE)["diagnostics"])
    assert summary.startswith(f"{len(expected)} of {len(sample_lines)} events, {diagnostics} diagnostics")


@pytest.mark.parametrize(
    "args, named",
    [
        (["--event-type", "prompt"], "prompt_input, paste_attachment"),
        (["--provider", "open_code"], "valid: codex, claude_code"),
        (["--since", "2025-02-30"], "neither an RFC 3339 date-time nor a date"),
        (["--until", "someday"], "neither an RFC 3339 date-time nor a date"),
        (["--since", "7y"], "neither an RFC 3339 date-time nor a date"),
        (["--since", "2025-11-05T09:00:00"], "neither an RFC 3339 date-time nor a date"),
        (["--cwd", ""], "empty working-directory prefix"),
        (["--summary", "-f", "timesketch"], "not timesketch"),
    ],
    ids=["event-type", "provider", "impossible-date", "word", "unit", "no-offset", "empty-cwd", "summary-format"],
)
def test_wrong_filter_values_are_usage_errors(cli_path, args, named):
    result = run(cli_path, SAMPLE, *args)
    assert result.returncode == 2
    assert result.stdout == b""
    assert named in result.stderr.decode()


@pytest.mark.parametrize(
    "args, listed",
    [
        (["-f", "jsonl"], True),
        (["-f", "csv"], True),
        (["-f", "json"], False),
        (["-f", "jsonl", "--quiet"], False),
        (["-f", "csv", "--diagnostics", "{tmp}/d.jsonl"], False),
        (["-f", "json", "--diagnostics", "{tmp}/d.jsonl"], False),
    ],
    ids=["jsonl", "csv", "json-carries-them", "quiet", "csv-file", "json-file"],
)
def test_diagnostics_beside_the_timeline(cli_path, tmp_path, args, listed):
    args = [a.replace("{tmp}", str(tmp_path)) for a in args]
    result = run(cli_path, SAMPLE, *args)
    assert result.returncode == 0
    # The full reading's diagnostics, as its JSON document carries them.
    diagnostics = json.loads(run(cli_path, SAMPLE, "-f", "json", "-q").stdout)["diagnostics"]
    # They are the documented reading's, but for the sample's two files cut mid-line.
    place = lambda d: (d["source"]["relative_path"], d["source"]["line_number"])  # noqa: E731
    live = {place(d) for d in diagnostics if d["code"] == "unterminated_line"}
    assert len(live) == 2
    assert [d for d in diagnostics if place(d) not in live] == [
        d for d in vellumtrace.parse(SAMPLE)["diagnostics"] if place(d) not in live]
    stderr = result.stderr.decode().splitlines()
    def where(source):
        line = source["line_number"]
        return source["relative_path"] + ("" if line is None else f":{line}")

    expected = [f"{d['severity']} {d['code']} {where(d['source'])}: {d['message']}" for d in diagnostics]
    assert (stderr[:-1] == expected) if listed else (stderr[:-1] == [])
    if "--diagnostics" in args:
        written = (tmp_path / "d.jsonl").read_text().splitlines()
        assert [json.loads(line) for line in written] == diagnostics


def test_diagnostics_listing_stops_after_ten(cli_path, tmp_path):
    history = tmp_path / ".codex" / "history.jsonl"
    history.parent.mkdir()
    history.write_text("".join(f"not json {i}\n" for i in range(13)))
    result = run(cli_path, tmp_path, "-f", "csv")
    lines = result.stderr.decode().splitlines()
    assert [line.split(" ")[2] for line in lines[:10]] == [f"history.jsonl:{i}:" for i in range(1, 11)]
    assert lines[10:] == ["... and 3 more diagnostics (--diagnostics FILE writes them all)",
                          "0 events, 13 diagnostics (13 errors, 0 warnings, 0 info), 0 event warnings"]


def _destination(tmp_path, kind):
    target = tmp_path / "timeline.jsonl"
    if kind in ("existing", "link-to-existing"):
        target.write_bytes(b"old contents\n")
        target.chmod(0o640)
    if kind.startswith("link"):
        link = tmp_path / "link.jsonl"
        link.symlink_to(target.name)
        return link, target
    return target, target


@pytest.mark.parametrize("kind", ["new", "existing", "link-to-existing", "link-to-missing"])
def test_output_replaces_the_destination_only_when_complete(cli_path, tmp_path, kind):
    given, target = _destination(tmp_path, kind)
    before = {p.name for p in tmp_path.iterdir()}
    result = run(cli_path, SAMPLE, "-f", "jsonl", "-o", given, "-q", "--documented")
    assert result.returncode == 0, result.stderr
    assert target.read_bytes() == vellumtrace.to_jsonl(SAMPLE).encode()
    assert given.is_symlink() == kind.startswith("link")
    assert {p.name for p in tmp_path.iterdir()} == before | {target.name}
    if kind.endswith("existing"):
        assert target.stat().st_mode & 0o777 == 0o640


@pytest.mark.parametrize("device, shown", [("/dev/null", b""), ("/dev/stdout", None)])
def test_device_destination_is_written_in_place(cli_path, device, shown):
    result = run(cli_path, SAMPLE, "-f", "jsonl", "-o", device, "-q", "--documented")
    assert result.returncode == 0, result.stderr
    assert result.stdout == (shown if shown is not None else vellumtrace.to_jsonl(SAMPLE).encode())
    assert pathlib.Path("/dev/null").is_char_device()


def _limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))


def test_failed_write_keeps_the_old_file(cli_path, tmp_path):
    old = tmp_path / "timeline.json"
    old.write_bytes(b"the good file\n")
    result = run(cli_path, SAMPLE, "-o", old, "--include-raw", preexec_fn=_limit_file_size)
    assert result.returncode == 1
    assert "File too large" in result.stderr.decode()
    assert old.read_bytes() == b"the good file\n"
    assert [p.name for p in tmp_path.iterdir()] == ["timeline.json"]


@pytest.fixture(scope="module")
def large_input(tmp_path_factory):
    """A root whose rendering runs long: a big attachment whose NUL bytes
    each become six characters of escaped content."""
    root = tmp_path_factory.mktemp("large") / ".codex"
    attachment = root / "attachments" / "zeros.bin"
    attachment.parent.mkdir(parents=True)
    with open(attachment, "wb") as f:
        f.truncate(48 * 1024 * 1024)
    return root


@pytest.mark.parametrize("signal_number, status", [(signal.SIGINT, 130), (signal.SIGTERM, 143)])
def test_signal_mid_write_keeps_the_old_file(cli_path, large_input, tmp_path, signal_number, status):
    old = tmp_path / "timeline.jsonl"
    old.write_bytes(b"the good file\n" * 1000)
    program = subprocess.Popen([cli_path, str(large_input), "-f", "jsonl", "--include-content",
                                "-o", str(old)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        partial = [p for p in tmp_path.iterdir() if p.name != old.name]
        if partial and partial[0].stat().st_size > 0:
            break
        time.sleep(0.001)
    else:
        program.kill()
        pytest.fail("no temporary file appeared")
    program.send_signal(signal_number)
    assert program.wait(timeout=60) == status, program.stderr.read()
    assert old.read_bytes() == b"the good file\n" * 1000
    assert [p.name for p in tmp_path.iterdir()] == [old.name]


def _stderr_of(cli_path, *args, terminal):
    if not terminal:
        return run(cli_path, *args, capture_output=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE).stderr
    main, secondary = pty.openpty()
    program = subprocess.Popen([cli_path, *map(str, args)], stdout=subprocess.DEVNULL, stderr=secondary)
    os.close(secondary)
    chunks = []
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:  # EIO once the program has ended
            break
        if not chunk:
            break
        chunks.append(chunk)
    os.close(main)
    assert program.wait(timeout=120) == 0
    return b"".join(chunks)


@pytest.mark.parametrize("terminal", [False, True], ids=["pipe", "terminal"])
def test_progress_only_on_a_terminal(cli_path, large_input, terminal):
    shown = _stderr_of(cli_path, large_input, "-f", "jsonl", "--include-content", terminal=terminal)
    summary = b"1 event, 0 diagnostics"
    if terminal:
        assert b"\rreading: " in shown
        progress, _, rest = shown.rpartition(b"\r\x1b[K")
        assert b"of 1 file" in progress and b"MB/s" in progress
        assert rest.startswith(summary)
    else:
        assert b"\r" not in shown and b"reading" not in shown and b"\x1b" not in shown
        assert shown.startswith(summary)


TIMESTAMP_DESCRIPTIONS = {"embedded": "Recorded", "filesystem_modified": "File Modified",
                          "referenced_event": "Referenced Event"}


def test_timesketch_field_contract(cli_path):
    result = run(cli_path, SAMPLE, "-f", "timesketch", "--documented")
    assert result.returncode == 0
    events = [e for e in vellumtrace.parse(SAMPLE)["events"]]
    placed = [e for e in events if e["timestamp"]]
    rows = [json.loads(line) for line in result.stdout.decode().splitlines()]
    assert len(rows) == len(placed)
    for row, event in zip(rows, placed):
        # The fields Timesketch requires, with the types its importer reads.
        assert isinstance(row["message"], str) and "\n" not in row["message"]
        when = datetime.datetime.fromisoformat(row["datetime"])
        assert when == at(event["timestamp"]).replace(microsecond=when.microsecond)
        assert row["timestamp"] == int(when.timestamp()) * 1_000_000 + when.microsecond
        assert row["timestamp_desc"] == TIMESTAMP_DESCRIPTIONS[event["timestamp_source"]]
        assert all(not isinstance(v, (dict, list)) for v in row.values())
        text = (event["message"] or "").replace("\n", " ")[:200]
        assert row["message"] == f"{event['provider']} {event['event_type']}" + (f": {text}" if event["message"] else "")
        assert {k: row.get(k) for k in ("provider", "event_type", "session_id", "working_directory",
                                        "event_id", "source_file_sha256")} == \
            {k: event[k] for k in ("provider", "event_type", "session_id", "working_directory",
                                   "event_id", "source_file_sha256")}
        assert (row["relative_path"], row.get("line_number")) == \
            (event["source"]["relative_path"], event["source"]["line_number"])
    left_out = len(events) - len(placed)
    assert f"{left_out} events have no timestamp and were left out" in result.stderr.decode()


def _rollout(tmp_path):
    session = "1f0e2d3c-4b5a-6978-8a9b-0c1d2e3f4a5b"
    def usage(n):
        return {"input_tokens": 100 * n, "cached_input_tokens": 10 * n, "output_tokens": 5 * n,
                "reasoning_output_tokens": 2 * n, "total_tokens": 105 * n}
    def record(ts, kind, payload):
        return json.dumps({"timestamp": ts, "type": kind, "payload": payload})
    lines = [
        record("2025-03-01T10:00:00Z", "session_meta", {"id": session, "cwd": "/work/demo"}),
        record("2025-03-01T10:00:01Z", "response_item", {"type": "message", "role": "user",
               "content": [{"type": "input_text", "text": "<environment_context>x</environment_context>"}]}),
        record("2025-03-01T10:00:02Z", "response_item", {"type": "message", "role": "user",
               "content": [{"type": "input_text", "text": "fix it"}]}),
        record("2025-03-01T10:00:02Z", "event_msg", {"type": "user_message", "message": "fix it"}),
        record("2025-03-01T10:00:03Z", "event_msg", {"type": "token_count", "info": {"total_token_usage": usage(1)}}),
        record("2025-03-01T10:00:04Z", "response_item", {"type": "function_call", "name": "shell", "call_id": "c1"}),
        record("2025-03-01T10:00:05Z", "event_msg", {"type": "token_count", "info": {"total_token_usage": usage(1)}}),
        record("2025-03-01T10:00:06Z", "event_msg", {"type": "agent_message", "message": "done"}),
        record("2025-03-01T10:00:06Z", "response_item", {"type": "message", "role": "assistant",
               "content": [{"type": "output_text", "text": "done"}]}),
        record("2025-03-01T10:01:00Z", "event_msg", {"type": "user_message", "message": "and the tests"}),
        record(1740823300, "event_msg", {"type": "token_count", "info": {"total_token_usage": usage(3)}}),
        "{broken",
        record("2025-03-01T10:01:30Z", "event_msg", {"type": "token_count", "info": None}),
    ]
    rollout = tmp_path / ".codex" / "sessions" / "2025" / "03" / "01" / f"rollout-2025-03-01T10-00-00-{session}.jsonl"
    rollout.parent.mkdir(parents=True)
    rollout.write_text("\n".join(lines) + "\n")
    # History: a prompt of the logged session (already counted from its log)
    # and one of a session whose log is gone (counted from the history).
    (tmp_path / ".codex" / "history.jsonl").write_text(
        json.dumps({"session_id": session, "ts": 1740823202, "text": "fix it"}) + "\n"
        + json.dumps({"session_id": "gone", "ts": 1740909600, "text": "hello"}) + "\n")
    return [{"provider": "codex", "session_id": session, "working_directory": "/work/demo",
            "first_timestamp": "2025-03-01T10:00:00Z", "last_timestamp": "2025-03-01T10:01:30Z",
            "prompts": 2, "injected_prompts": 1, "command_prompts": 0, "agent_messages": 1, "tool_calls": 1,
            "diagnostic_lines": 2, "input_tokens": 270, "cache_write_tokens": None, "cache_read_tokens": 30,
            "output_tokens": 15, "reasoning_tokens": 6, "total_tokens": 315, "cost_usd": None,
            "recorded_cost_usd": None, "unpriced_tokens": 315, "unpriced_models": ["(unnamed)"],
            "sums_saturated": False, "models": []},
            {"provider": "codex", "session_id": "gone", "working_directory": None,
             "first_timestamp": "2025-03-02T10:00:00Z", "last_timestamp": "2025-03-02T10:00:00Z",
             "prompts": 1, "injected_prompts": 0, "command_prompts": 0, "agent_messages": 0, "tool_calls": 0,
             "diagnostic_lines": 0, "input_tokens": None, "cache_write_tokens": None, "cache_read_tokens": None,
             "output_tokens": None, "reasoning_tokens": None, "total_tokens": None, "cost_usd": None,
             "recorded_cost_usd": None, "unpriced_tokens": 0, "unpriced_models": [], "sums_saturated": False,
             "models": []}]


def _text_rows(text):
    table = text.split("\n\n")[0]  # the notes follow a blank line
    header, *rows = [line.split() for line in table.splitlines()]
    return [dict(zip(header, row)) for row in rows]


@pytest.mark.parametrize(
    "args, read",
    [
        (["-f", "json"], json.loads),
        (["-f", "jsonl"], lambda text: [json.loads(line) for line in text.splitlines()]),
        (["-f", "csv"], lambda text: list(csv.DictReader(io.StringIO(text)))),
        (["--wide"], _text_rows),
    ],
    ids=["json", "jsonl", "csv", "text"],
)
@pytest.mark.parametrize("reading", [[], ["--documented"]], ids=["full", "documented"])
def test_session_summary_counts_once_and_takes_the_last_running_total(cli_path, tmp_path, args, read, reading):
    expected = _rollout(tmp_path)
    if reading:  # the documented reading carries no usage: no tokens counted
        token_columns = [k for k in expected[0] if k.endswith("_tokens")]
        expected = [row | dict.fromkeys(token_columns) | {"unpriced_tokens": 0, "unpriced_models": []}
                    for row in expected]
    result = run(cli_path, tmp_path / ".codex", "--summary", *args, *reading)
    assert result.returncode == 0, result.stderr
    rows = read(result.stdout.decode())
    if args != ["-f", "json"] and args != ["-f", "jsonl"]:
        empty = "" if args != ["--wide"] else "-"
        def cell(v):
            if v is None or v == []:
                return empty
            return ",".join(v) if isinstance(v, list) else str(v).lower() if isinstance(v, bool) else str(v)
        expected = [{k: cell(v) for k, v in row.items()} for row in expected]
    assert rows == expected
