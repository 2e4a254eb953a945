"""The real-data corpus read twice in one run counts once. Every home given
again under another name (a link to the same place, or a root inside its
home) or a second time as a real copy (two backups of one home read
together, the copy's file times those of the copying): per session and per
model, the counts, tokens and costs of `--summary --format json` and the
count rule over the `Timeline` equal those of the single read. (That each
input keeps the ids and relative paths it has alone is checked by
test_several_inputs, test_cli and test_copies.)"""

import collections
import json
import pathlib
import shutil
import subprocess

import pyarrow as pa
import pytest

import vellumtrace
from count_rule_sql import COUNTS, MONEY, TOKENS, same_money, session_counts

# What a summary row counts (the rest, such as its last time, may come from
# a copy's own file times).
COUNTED = ("prompts", "injected_prompts", "command_prompts", "agent_messages", "tool_calls", "diagnostic_lines",
           "input_tokens", "cache_write_tokens", "cache_read_tokens", "output_tokens", "reasoning_tokens",
           "total_tokens", "cost_usd", "recorded_cost_usd", "unpriced_tokens", "unpriced_models", "models")


@pytest.fixture(scope="module")
def homes(corpus_dir):
    found = sorted(p for p in corpus_dir.iterdir() if p.is_dir())
    assert len(found) >= 10
    return found


@pytest.fixture(scope="module")
def places(homes, corpus_dir, tmp_path_factory):
    """Each way of naming every home a second time: (first inputs, second inputs)."""
    where = tmp_path_factory.mktemp("twice")
    (where / "alias").symlink_to(corpus_dir, target_is_directory=True)
    for home in homes:
        # A backup as `cp -r` makes it: the same bytes, new file times.
        shutil.copytree(home, where / "backup" / home.name, symlinks=True, copy_function=shutil.copy)
    roots = [root for home in homes for root in (home / ".claude", home / ".codex") if root.is_dir()]
    return {
        "the same homes through a link": [where / "alias" / home.name for home in homes],
        "each root beside its home": roots,
        "two backups of every home": [where / "backup" / home.name for home in homes],
    }


def run(cli_path, paths, *args):
    result = subprocess.run([cli_path, *map(str, paths), "-q", *args], capture_output=True, timeout=600)
    assert result.returncode == 0, result.stderr[-2000:]
    return result.stdout


def summary(cli_path, paths, by):
    rows = json.loads(run(cli_path, paths, "--summary", "-f", "json", "--by", by))
    keys = ("provider", "session_id") if by == "session" else ("model",)
    table = {tuple(row[k] for k in keys): {c: row[c] for c in COUNTED} for row in rows}
    assert len(table) == len(rows)
    return table


@pytest.fixture(scope="module")
def single(cli_path, homes):
    return {
        "session": summary(cli_path, homes, "session"),
        "model": summary(cli_path, homes, "model"),
        "timeline": session_counts(pa.table(vellumtrace.Timeline(*homes))),
    }


@pytest.mark.parametrize("way", ["the same homes through a link", "each root beside its home",
                                 "two backups of every home"])
def test_the_corpus_read_twice_counts_once(cli_path, homes, places, single, way):
    paths = [*homes, *places[way]]
    for by in ("session", "model"):
        twice = summary(cli_path, paths, by)
        assert twice.keys() == single[by].keys(), by
        differing = [key for key in twice if twice[key] != single[by][key]]
        assert differing == [], (by, differing[:3])
    assert any(row["tool_calls"] for row in single["session"].values())
    sums = session_counts(pa.table(vellumtrace.Timeline(*paths)))
    assert sums.keys() == single["timeline"].keys()
    for key, want in single["timeline"].items():
        # Exact counts; costs as DuckDB sums them, in an order of its own.
        assert {c: sums[key][c] for c in COUNTS + TOKENS} == {c: want[c] for c in COUNTS + TOKENS}, key
        assert all(same_money(sums[key][c], want[c]) for c in MONEY), key
