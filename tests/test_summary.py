"""The summary's time: one zone for its days and for --since/--until days,
relative days, months, 5-hour usage blocks; and sums that saturate and say
so. Trees are built from the shapes real agents write."""

import json
import os
import subprocess

import pytest

from conftest import ROOT
from test_counting import SESSION, claude_assistant, claude_root, claude_user, codex_root, rec, user_message

OTHER = "2b3c4d5e-6f70-4182-93a4-b5c6d7e8f901"


def run(cli_path, *args, env=None):
    return subprocess.run([cli_path, *map(str, args)], capture_output=True, timeout=120,
                          env={**os.environ, **(env or {})})


def kept_times(cli_path, root, *args, env=None):
    result = run(cli_path, root, "-f", "jsonl", "--event-type", "prompt_input", *args, env=env)
    assert result.returncode == 0, result.stderr
    return [json.loads(line)["timestamp"] for line in result.stdout.decode().splitlines()]


def summary_rows(cli_path, root, *args, env=None):
    result = run(cli_path, root, "--summary", "-f", "json", *args, env=env)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


# Around midnight in Tokyo (UTC+9): 14:30Z is 23:30 on the 1st there, 15:30Z
# 00:30 on the 2nd; "now" is 10:00 on 2 March in Tokyo, 01:00 in UTC.
FEB_24_TOKYO, MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO = \
    "2025-02-23T15:30:00Z", "2025-03-01T14:30:00Z", "2025-03-01T15:30:00Z"
NOW = {"VELLUMTRACE_NOW": "2025-03-02T01:00:00Z"}


def _midnight_tree(tmp):
    return codex_root(tmp, [user_message(FEB_24_TOKYO, "a"), user_message(MAR_1_LATE_TOKYO, "b"),
                            user_message(MAR_2_EARLY_TOKYO, "c")])


@pytest.mark.parametrize(
    "args, env, kept",
    [
        (["--since", "today", "--timezone", "Asia/Tokyo"], NOW, [MAR_2_EARLY_TOKYO]),
        (["--since", "today", "--timezone", "UTC"], NOW, []),
        (["--until", "yesterday", "--timezone", "Asia/Tokyo"], NOW, [FEB_24_TOKYO, MAR_1_LATE_TOKYO]),
        (["--since", "yesterday", "--until", "yesterday", "--timezone", "UTC"], NOW,
         [MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO]),
        (["--since", "1d", "--timezone", "Asia/Tokyo"], NOW, [MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO]),
        (["--since", "6d", "--timezone", "Asia/Tokyo"], NOW, [FEB_24_TOKYO, MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO]),
        (["--since", "6d", "--timezone", "UTC"], NOW, [MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO]),
        (["--since", "1w", "--timezone", "UTC"], NOW, [FEB_24_TOKYO, MAR_1_LATE_TOKYO, MAR_2_EARLY_TOKYO]),
        (["--since", "0d", "--timezone", "Asia/Tokyo"], NOW, [MAR_2_EARLY_TOKYO]),
        (["--since", "2025-03-02", "--timezone", "Asia/Tokyo"], {}, [MAR_2_EARLY_TOKYO]),
        (["--since", "2025-03-02"], {"TZ": "Asia/Tokyo"}, [MAR_2_EARLY_TOKYO]),
        (["--since", "2025-03-02", "--timezone", "UTC"], {"TZ": "Asia/Tokyo"}, []),
        (["--until", "2025-03-01", "--timezone", "America/Los_Angeles"], {}, [FEB_24_TOKYO, MAR_1_LATE_TOKYO,
                                                                              MAR_2_EARLY_TOKYO]),
        (["--until", "2025-02-28", "--timezone", "America/Los_Angeles"], {}, [FEB_24_TOKYO]),
        (["--since", "2025-03-01T15:00:00Z"], {"TZ": "Asia/Tokyo"}, [MAR_2_EARLY_TOKYO]),
    ],
    ids=["today-tokyo", "today-utc", "until-yesterday", "yesterday-whole", "1d", "6d-tokyo", "6d-utc", "1w",
         "0d", "date-zone", "date-tz", "date-option-over-tz", "until-date-west", "until-date-west-earlier",
         "instant-ignores-zone"],
)
def test_days_are_days_of_the_one_zone(cli_path, tmp_path, args, env, kept):
    root = _midnight_tree(tmp_path)
    assert kept_times(cli_path, root, *args, env=env) == kept
    # The summary's days are the filter's days.
    rows = summary_rows(cli_path, root, "--by", "day", *args, env=env)
    zone = args[args.index("--timezone") + 1] if "--timezone" in args else env.get("TZ", "UTC")
    if "today" in args and kept:
        assert [r["day"] for r in rows] == ["2025-03-02" if zone == "Asia/Tokyo" else "2025-03-01"]


def test_a_month_is_a_month_of_the_zone(cli_path, tmp_path):
    root = codex_root(tmp_path, [user_message("2025-03-31T14:00:00Z", "a"), user_message("2025-03-31T15:30:00Z", "b"),
                                 user_message("2025-04-01T02:00:00Z", "c")])
    by_zone = {zone: [(r["month"], r["prompts"]) for r in summary_rows(cli_path, root, "--by", "month",
                                                                       "--timezone", zone)]
               for zone in ("UTC", "Asia/Tokyo")}
    assert by_zone == {"UTC": [("2025-03", 2), ("2025-04", 1)], "Asia/Tokyo": [("2025-03", 1), ("2025-04", 2)]}


def _block_tree(tmp):
    reasoning = {"type": "reasoning", "summary": [], "content": [{"type": "reasoning_text", "text": "hm"}]}
    root = codex_root(tmp, [
        user_message("2025-03-01T10:00:00Z", "one"), user_message("2025-03-01T12:00:00Z", "two"),
        user_message("2025-03-01T14:59:59.999Z", "three"),
        user_message("2025-03-01T15:00:00Z", "four"),          # 5 hours after the first: a new block
        rec("2025-03-01T15:30:00Z", "response_item", reasoning),  # counts nothing: joins that block
        rec("2025-03-01T20:30:00Z", "response_item", reasoning),  # counts nothing, in no block
        user_message("2025-03-01T21:00:00Z", "five"),
    ])
    other = root / "sessions" / "2025" / "03" / "01" / f"rollout-2025-03-01T11-00-00-{OTHER}.jsonl"
    other.write_text(json.dumps(user_message("2025-03-01T11:00:00Z", "elsewhere")) + "\n")
    return root


@pytest.mark.parametrize(
    "zone, blocks",
    [
        ("UTC", [("2025-03-01T10:00:00+00:00", 2, 4), ("2025-03-01T15:00:00+00:00", 1, 1), (None, 1, 0),
                 ("2025-03-01T21:00:00+00:00", 1, 1)]),
        ("Asia/Kolkata", [("2025-03-01T15:30:00+05:30", 2, 4), ("2025-03-01T20:30:00+05:30", 1, 1), (None, 1, 0),
                          ("2025-03-02T02:30:00+05:30", 1, 1)]),
    ],
    ids=["utc", "kolkata"],
)
def test_usage_blocks_are_five_hours_from_the_first_message(cli_path, tmp_path, zone, blocks):
    rows = summary_rows(cli_path, _block_tree(tmp_path), "--by", "block", "--timezone", zone)
    assert [(r["block"], r["sessions"], r["prompts"]) for r in rows] == blocks


def test_blocks_combine_with_sessions(cli_path, tmp_path):
    rows = summary_rows(cli_path, _block_tree(tmp_path), "--by", "session", "--by", "block", "--timezone", "UTC")
    assert [(r["session_id"][:8], r["block"], r["prompts"]) for r in rows] == [
        (SESSION[:8], "2025-03-01T10:00:00+00:00", 3), (OTHER[:8], "2025-03-01T10:00:00+00:00", 1),
        (SESSION[:8], "2025-03-01T15:00:00+00:00", 1), (SESSION[:8], None, 0),
        (SESSION[:8], "2025-03-01T21:00:00+00:00", 1)]


MAX = 2 ** 64 - 1


@pytest.mark.parametrize(
    "outputs, total, saturated",
    [
        ([MAX - 10, 10], MAX, False),
        ([MAX - 10, 11], MAX, True),
        ([MAX, MAX, MAX], MAX, True),
        ([2 ** 63, 2 ** 63], MAX, True),
    ],
    ids=["fits", "one-over", "three-max", "halves"],
)
def test_token_sums_saturate_and_say_so(cli_path, tmp_path, outputs, total, saturated):
    text = {"type": "text", "text": "ok"}
    records = [claude_user("u0", "2025-03-01T10:00:00Z", "go")] + [
        claude_assistant(f"a{i}", f"2025-03-01T10:00:0{i + 1}Z", f"msg_{i}", [text], (0, 0, 0, n))
        for i, n in enumerate(outputs)]
    root = claude_root(tmp_path, [], {"5c1b7c2e-2f0a-4c1e-9d55-0b6f4f1f2a10.jsonl": records})
    [row] = summary_rows(cli_path, root)
    assert (row["output_tokens"], row["sums_saturated"]) == (total, saturated)
    table = run(cli_path, root, "--summary").stdout.decode()
    assert ("saturated: a sum reached 2^64 - 1" in table) == saturated


def test_unpriced_tokens_are_said_with_their_models(cli_path, tmp_path):
    text = {"type": "text", "text": "ok"}
    records = [claude_user("u0", "2025-03-01T10:00:00Z", "go"),
               claude_assistant("a1", "2025-03-01T10:00:01Z", "msg_1", [text], (3, 0, 0, 4), model="mystery-model-1")]
    root = claude_root(tmp_path, [], {"5c1b7c2e-2f0a-4c1e-9d55-0b6f4f1f2a10.jsonl": records})
    [row] = summary_rows(cli_path, root)
    assert (row["cost_usd"], row["unpriced_tokens"], row["unpriced_models"]) == (None, 7, ["mystery-model-1"])
    table = run(cli_path, root, "--summary").stdout.decode()
    assert "unpriced: 7 tokens have no price and no cost (mystery-model-1)" in table


BUILT_IN_DATE = json.loads((ROOT / "src" / "prices" / "prices.json").read_text())["date"]


@pytest.mark.parametrize("table, date", [
    (None, BUILT_IN_DATE),  # the built-in table
    ({"date": "2027-01-02", "models": [{"model": "claude-sonnet-4-6", "input": 30, "output": 150}]}, "2027-01-02"),
    ({"models": [{"model": "mystery-model-1", "input": 1, "output": 2}]}, BUILT_IN_DATE),  # extends, keeps the date
])
def test_the_cost_line_names_the_price_table_date(cli_path, tmp_path, table, date):
    text = {"type": "text", "text": "ok"}
    records = [claude_user("u0", "2025-03-01T10:00:00Z", "go"),
               claude_assistant("a1", "2025-03-01T10:00:01Z", "msg_1", [text], (3, 0, 0, 4))]
    root = claude_root(tmp_path, [], {"5c1b7c2e-2f0a-4c1e-9d55-0b6f4f1f2a10.jsonl": records})
    prices = []
    if table is not None:
        (tmp_path / "prices.json").write_text(json.dumps(table))
        prices = ["--prices", tmp_path / "prices.json"]
    result = run(cli_path, root, "--summary", *prices)
    assert result.returncode == 0, result.stderr
    [line] = [line for line in result.stdout.decode().splitlines() if line.startswith("cost: ")]
    assert line.endswith(f" estimated in US dollars from the price table of {date}")
