"""Over every root of the real-data corpora: for every session, the counts of
`--summary --format json` equal the same rule computed by DuckDB over the
`Timeline`'s columns (prompts by origin, agent messages, tool calls, token
and cost sums) and what the HTML report shows, in its index row and in the
session page's header (prompts, tool calls, tokens by kind and in total,
estimated cost); per model the token and cost sums of `--summary --by model`
equal the `Timeline`'s."""

import json
import subprocess

import pyarrow as pa
import pytest

import vellumtrace
from count_rule_sql import COUNTS, MONEY, TOKENS, model_sums, same_money, session_counts
from report_counts import index_counts, page_counts


def corpus_roots(corpus_dir):
    return sorted(p for pattern in ("*/.claude", "*/.codex") for p in corpus_dir.glob(pattern))


def summary(cli_path, root, *args):
    result = subprocess.run([cli_path, root, "--summary", "-f", "json", "-q", *args], capture_output=True,
                            timeout=600)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def report_counts(cli_path, root, out):
    """The counts of the HTML report of `root`: its index rows, its pages' headers."""
    subprocess.run([cli_path, root, "-q", "--format", "html", "-o", out], check=True, capture_output=True,
                   timeout=600)
    pages = {}
    for page in out.glob("*.html"):
        if page.name != "index.html":
            key, counts = page_counts(page.read_text())
            pages[key] = counts | {"page": page.name}
    return index_counts((out / "index.html").read_text()), pages


SHOWN = ("prompts", "tool_calls", *TOKENS, "total_tokens")


def assert_report_shows_the_summary(rows, index, pages, where):
    """Every session of the summary has an index row and a page, none more,
    and both show the summary's counts."""
    assert set(index) == set(pages) == set(rows), where
    for key, row in rows.items():
        assert index[key]["page"] == pages[key]["page"], (where, key)  # the row links to the session's own page
        for shown in (index[key], pages[key]):
            assert {c: shown[c] for c in SHOWN} == {c: row[c] for c in SHOWN}, (where, key)
            assert same_money(shown["cost_usd"], row["cost_usd"]), (where, key)
        assert {c: pages[key][c] for c in COUNTS[:3]} == {c: row[c] for c in COUNTS[:3]}, (where, key)


def test_summary_counts_equal_the_timeline_sums(cli_path, corpus_dir, tmp_path):
    roots = corpus_roots(corpus_dir)
    assert roots
    compared, priced = 0, set()
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
        assert_report_shows_the_summary(got, *report_counts(cli_path, root, tmp_path / root.parent.name), root)
        by_model = {r["model"]: r for r in summary(cli_path, root, "--by", "model")}
        for model, want in model_sums(table).items():
            row = by_model[model]
            assert {c: row[c] for c in TOKENS} == {c: want[c] for c in TOKENS}, (root, model)
            assert all(same_money(row[c], want[c]) for c in MONEY), (root, model)
            priced |= {model} if want["cost_usd"] else set()
    assert compared > 1000
    # Both agents' token events carry a model the built-in price table prices.
    assert priced >= {"claude-sonnet-4-6", "claude-haiku-4-5-20251001", "gpt-5-codex"}


def test_other_agents_counts_agree(cli_path, agents_corpus_dir, tmp_path):
    """The same for the Gemini CLI, Copilot CLI and Aider homes: summary, Timeline, index and pages."""
    roots = sorted(p for p in agents_corpus_dir.glob("*/*") if p.is_dir())
    assert roots
    compared = 0
    for n, root in enumerate(roots):
        rows = {(r["provider"], r["session_id"]): r for r in summary(cli_path, root)}
        expected = session_counts(pa.table(vellumtrace.Timeline(str(root))))
        for key, row in rows.items():
            want = expected.get(key, dict.fromkeys(COUNTS, 0) | dict.fromkeys(TOKENS + MONEY))
            assert {c: row[c] for c in COUNTS + TOKENS} == {c: want[c] for c in COUNTS + TOKENS}, (root, key)
            assert all(same_money(row[c], want[c]) for c in MONEY), (root, key)
        assert_report_shows_the_summary(rows, *report_counts(cli_path, root, tmp_path / str(n)), root)
        compared += len(rows)
    assert compared > 10
