"""The one count rule written as DuckDB SQL over the Timeline's columns, as a
user would write it: per session, the typed, injected and command prompts,
agent messages, tool calls, token sums and costs; and token and cost sums per
model. The program's --summary must give the same numbers. What an event
counts as is learnt within its own session (`session_id`); a transcript
file's events are then summed under the session of its conversation (the one
its last record naming a session names), as the summary and the session
pages show a resumed conversation."""

import duckdb
import pyarrow as pa
import pytest

TOKENS = ("input_tokens", "cache_write_tokens", "cache_read_tokens", "output_tokens", "reasoning_tokens")
MONEY = ("cost_usd", "recorded_cost_usd")
COUNTS = ("prompts", "injected_prompts", "command_prompts", "agent_messages", "tool_calls")


def same_money(a, b):
    """Two cost sums alike (both null, or equal but for the order of adding)."""
    return (a is None and b is None) or (a is not None and b is not None and a == pytest.approx(b, rel=1e-9, abs=1e-12))

PLACED = """
WITH e AS (
  SELECT *, coalesce(source_record_type, '') AS rt,
         starts_with(coalesce(source_record_type, ''), 'sidechain/') AS sub,
         coalesce(input_tokens, cache_write_tokens, cache_read_tokens, output_tokens, reasoning_tokens) IS NOT NULL
           OR cost_usd IS NOT NULL OR recorded_cost_usd IS NOT NULL AS has_usage
  FROM t WHERE copy_of IS NULL
),
-- events that could count for anything
c AS (
  SELECT *, coalesce(record_id, CASE WHEN artifact_kind = 'transcript' THEN source_id END) AS rid
  FROM e
  WHERE event_type IN ('prompt_input', 'tool_call') OR has_usage
     OR (event_type = 'agent_message' AND (provider <> 'codex' OR rt IN ('event_msg/agent_message', 'message')))
),
-- a record's first place: earliest outside sub-agents, else earliest
firsts AS (
  SELECT provider, session_id, rid, arg_min(sequence, (sub, sequence)) AS first_sequence
  FROM c WHERE rid IS NOT NULL GROUP BY ALL
),
placed AS (
  SELECT c.* FROM c
  LEFT JOIN firsts f ON c.rid = f.rid AND c.provider = f.provider AND c.session_id IS NOT DISTINCT FROM f.session_id
  LEFT JOIN c AS fc ON fc.sequence = f.first_sequence
  WHERE c.rid IS NULL OR c.sequence = f.first_sequence
     OR (c.source_line IS NOT NULL AND fc.input IS NOT DISTINCT FROM c.input
         AND fc.source_relative_path = c.source_relative_path AND fc.source_line = c.source_line)
)
"""

PER_SESSION = PLACED + """,
-- a transcript file's conversation: the session its last record naming one names
threads AS (
  SELECT input, source_relative_path, arg_max(session_id, (coalesce(source_line, 0), sequence)) AS thread
  FROM t WHERE artifact_kind = 'transcript' AND session_id IS NOT NULL
  GROUP BY ALL
),
ctx AS (
  SELECT provider, session_id,
         bool_or(event_type = 'prompt_input' AND artifact_kind <> 'history' AND NOT sub) AS conversation,
         bool_or(event_type = 'prompt_input' AND rt = 'event_msg/user_message') AS user_messages
  FROM c GROUP BY ALL
),
paged AS (
  SELECT placed.*, CASE WHEN artifact_kind = 'transcript' THEN coalesce(th.thread, session_id) ELSE session_id END
                   AS page_session
  FROM placed LEFT JOIN threads th ON th.input IS NOT DISTINCT FROM placed.input
                                   AND th.source_relative_path = placed.source_relative_path
),
prompts AS (
  SELECT p.provider, p.page_session AS session_id,
         max(CASE p.origin WHEN 'typed' THEN 3 WHEN 'command' THEN 2 ELSE 1 END) AS rank
  FROM paged p JOIN ctx ON p.provider = ctx.provider AND p.session_id IS NOT DISTINCT FROM ctx.session_id
  WHERE p.event_type = 'prompt_input' AND NOT ends_with(p.rt, 'command_output')
    AND NOT (p.artifact_kind = 'history' AND ctx.conversation)
    AND NOT (p.origin = 'typed' AND ctx.user_messages AND p.rt <> 'event_msg/user_message'
             AND p.artifact_kind <> 'history')
  GROUP BY p.provider, p.page_session, p.input, p.source_relative_path,
           coalesce(CAST(p.source_line AS VARCHAR), 'event ' || p.sequence)
),
per_prompts AS (
  SELECT provider, session_id, count(*) FILTER (rank = 3) AS prompts, count(*) FILTER (rank = 1) AS injected_prompts,
         count(*) FILTER (rank = 2) AS command_prompts
  FROM prompts GROUP BY ALL
),
per_events AS (
  SELECT provider, page_session AS session_id,
         count(*) FILTER (event_type = 'agent_message'
                          AND (provider <> 'codex' OR rt IN ('event_msg/agent_message', 'message'))) AS agent_messages,
         count(*) FILTER (event_type = 'tool_call') AS tool_calls,
         {token_sums}, {money_sums}
  FROM paged GROUP BY ALL
)
SELECT provider, session_id, coalesce(prompts, 0) AS prompts, coalesce(injected_prompts, 0) AS injected_prompts,
       coalesce(command_prompts, 0) AS command_prompts, coalesce(agent_messages, 0) AS agent_messages,
       coalesce(tool_calls, 0) AS tool_calls, {token_columns}, {money_columns}
FROM per_events FULL JOIN per_prompts USING (provider, session_id)
WHERE session_id IS NOT NULL
"""

PER_MODEL = PLACED + """
SELECT model, {token_sums}, {money_sums}
FROM placed WHERE has_usage AND session_id IS NOT NULL
GROUP BY model
"""


def _with_missing_columns(table):
    """The columns the rule reads that a Timeline of this build may not have
    yet (a copy's first occurrence, the input) as nulls."""
    for name in ("copy_of", "input"):
        if name not in table.column_names:
            table = table.append_column(name, pa.nulls(len(table), pa.string()))
    return table


def _sums(kind):
    return ", ".join(f"sum({c}) AS {c}" for c in (TOKENS if kind == "tokens" else MONEY))


def session_counts(table):
    """{(provider, session_id): {column: value}} by the rule."""
    con = duckdb.connect()
    con.register("t", _with_missing_columns(table))
    sql = PER_SESSION.format(token_sums=_sums("tokens"), money_sums=_sums("money"),
                      token_columns=", ".join(TOKENS), money_columns=", ".join(MONEY))
    rows = con.sql(sql).to_arrow_table().to_pylist()
    return {(r.pop("provider"), r.pop("session_id")): r for r in rows}


def model_sums(table):
    """{model: {column: value}}: token and cost sums of the usage of each model."""
    con = duckdb.connect()
    con.register("t", _with_missing_columns(table))
    rows = con.sql(PER_MODEL.format(token_sums=_sums("tokens"), money_sums=_sums("money"))).to_arrow_table()
    return {r.pop("model"): r for r in rows.to_pylist()}
