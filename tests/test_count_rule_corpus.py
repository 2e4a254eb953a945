"""Over every root of the real-data corpus: for every session, the counts of
`--summary --format json` equal the same rule computed by DuckDB over the
`Timeline`'s columns (prompts by origin, agent messages, tool calls, token
and cost sums), and per model the token and cost sums of `--summary --by
model` equal the `Timeline`'s."""

import json
import subprocess

import pyarrow as pa
import pytest

import vellumtrace
from count_rule_sql import COUNTS, MONEY, TOKENS, model_sums, same_money, session_counts


def corpus_roots(corpus_dir):
    return sorted(p for pattern in ("*/.claude", "*/.codex") for p in corpus_dir.glob(pattern))


def summary(cli_path, root, *args):
    result = subprocess.run([cli_path, root, "--summary", "-f", "json", "-q", *args], capture_output=True,
                            timeout=600)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def test_summary_counts_equal_the_timeline_sums(cli_path, corpus_dir):
    roots = corpus_roots(corpus_dir)
    assert roots
    compared = 0
    for root in roots:
        table = pa.table(vellumtrace.Timeline(str(root)))
        if "origin" not in table.column_names or "input_tokens" not in table.column_names:
            pytest.skip("this build's Timeline has no origin and token columns")
        expected = session_counts(table)
        rows = summary(cli_path, root)
        got = {(r["provider"], r["session_id"]): r for r in rows}
        # Every session with anything counted is a row, and every row's counts are the rule's.
        assert {k for k, v in expected.items() if any(v[c] for c in COUNTS)} <= set(got), root
        for key, row in got.items():
            want = expected.get(key, dict.fromkeys(COUNTS, 0) | dict.fromkeys(TOKENS + MONEY))
            assert {c: row[c] for c in COUNTS + TOKENS} == {c: want[c] for c in COUNTS + TOKENS}, (root, key)
            assert all(same_money(row[c], want[c]) for c in MONEY), (root, key)
            compared += 1
        by_model = {r["model"]: r for r in summary(cli_path, root, "--by", "model")}
        for model, want in model_sums(table).items():
            row = by_model[model]
            assert {c: row[c] for c in TOKENS} == {c: want[c] for c in TOKENS}, (root, model)
            assert all(same_money(row[c], want[c]) for c in MONEY), (root, model)
    assert compared > 1000
