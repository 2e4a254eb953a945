"""The built-in price table covers the Claude Code and Codex models whose
usage the real-data corpus records: over the corpus's `Timeline`, every event
of those agents carrying tokens under a model name has an estimated cost, and
the cost is positive wherever the tokens are. A model the table lacks would
show up here as unpriced tokens (the summary's "unpriced" line)."""

import pyarrow as pa
import pyarrow.compute as pc
import pytest

import vellumtrace

TOKENS = ("input_tokens", "cache_write_tokens", "cache_read_tokens", "output_tokens")


@pytest.fixture(scope="module")
def usage(corpus_dir):
    roots = sorted(p for pattern in ("*/.claude", "*/.codex") for p in corpus_dir.glob(pattern))
    table = pa.table(vellumtrace.Timeline(*roots))
    tokens = pc.add_checked(pc.add_checked(pc.fill_null(table["input_tokens"], 0),
                                           pc.fill_null(table["cache_write_tokens"], 0)),
                            pc.add_checked(pc.fill_null(table["cache_read_tokens"], 0),
                                           pc.fill_null(table["output_tokens"], 0)))
    table = table.append_column("tokens", tokens)
    return table.filter(pc.and_(pc.is_null(table["copy_of"]), pc.greater(table["tokens"], 0)))


@pytest.mark.parametrize("provider, at_least_models", [("claude_code", 8), ("codex", 4)])
def test_every_model_with_tokens_in_the_corpus_has_a_price(usage, provider, at_least_models):
    rows = usage.filter(pc.equal(usage["provider"], provider)).select(["model", "tokens", "cost_usd"]).to_pylist()
    models = {row["model"] for row in rows}
    assert None not in models, provider  # usage always names its model for these agents
    unpriced = sorted({row["model"] for row in rows if row["cost_usd"] is None})
    assert unpriced == [], provider
    assert all(row["cost_usd"] > 0 for row in rows), provider
    assert len(models) >= at_least_models, sorted(models)
