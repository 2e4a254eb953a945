"""An agent's timeline totalled as a user would, per session, from the facts
the program renders (tool calls and the results tied to them by
`tool_call_id`, token amounts, models, prompts), beside what its --summary
says for the same sessions; copies (`copy_of`) count nowhere. The agents'
corpus tests hold these against counts made with Python alone over the same
files. Sessions are keyed by session id (None: events of no session)."""

import collections
import json
import os
import subprocess

TOKENS = ("input_tokens", "cache_write_tokens", "cache_read_tokens", "output_tokens", "reasoning_tokens")


class Totals:
    """Per session: tool calls, tool results, prompts, token sums (by
    column), the agent's recorded costs and the models named by usage. `unlinked` lists the results
    whose call id names no counted call of their session."""

    def __init__(self):
        self.tool_calls = collections.Counter()
        self.tool_results = collections.Counter()
        self.prompts = collections.Counter()
        self.tokens = collections.Counter()  # (session, column) -> sum
        self.costs = collections.Counter()  # session -> recorded_cost_usd
        self.models = collections.defaultdict(set)
        self.unlinked = []

    def view(self):
        """The totals as plain values, zero counts left out (to compare)."""
        return {"tool_calls": +self.tool_calls, "tool_results": +self.tool_results, "prompts": +self.prompts,
                "tokens": +self.tokens, "models": {k: v for k, v in self.models.items() if v},
                "costs": {k: round(v, 9) for k, v in self.costs.items() if v}}


def run(cli_path, path, *args):
    """The program's events (JSON lines) and its --summary rows over `path`."""
    env = dict(os.environ, TZ="UTC")
    events = subprocess.run([cli_path, path, "-f", "jsonl", "-q", *args], capture_output=True, check=True, env=env)
    rows = subprocess.run([cli_path, path, "--summary", "-f", "jsonl", "-q", *args], capture_output=True,
                          check=True, env=env)
    return ([json.loads(line) for line in events.stdout.splitlines()],
            [json.loads(line) for line in rows.stdout.splitlines()])


def of_events(events):
    """Totals of the events that are no copy."""
    totals = Totals()
    counted = [e for e in events if not e.get("copy_of")]
    calls = {(e["session_id"], e["tool_call_id"]) for e in counted if e["event_type"] == "tool_call"}
    for event in counted:
        session = event["session_id"]
        kind = event["event_type"]
        if kind == "tool_call":
            totals.tool_calls[session] += 1
        elif kind == "tool_result":
            totals.tool_results[session] += 1
            if not event["tool_call_id"] or (session, event["tool_call_id"]) not in calls:
                totals.unlinked.append(event)
        for column in TOKENS:
            if event[column] is not None:
                totals.tokens[(session, column)] += event[column]
        if event["recorded_cost_usd"] is not None:
            totals.costs[session] += event["recorded_cost_usd"]
        if event["model"] and any(event[column] is not None for column in TOKENS):
            totals.models[session].add(event["model"])
    return totals


def of_summary(rows):
    """The same totals as the --summary rows give them (no results there)."""
    totals = Totals()
    for row in rows:
        session = row["session_id"]
        totals.tool_calls[session] += row["tool_calls"]
        totals.prompts[session] += row["prompts"] + row["injected_prompts"] + row["command_prompts"]
        for column in TOKENS:
            totals.tokens[(session, column)] += row[column] or 0
        totals.costs[session] += row["recorded_cost_usd"] or 0
        totals.models[session].update(row["models"])
    return totals
