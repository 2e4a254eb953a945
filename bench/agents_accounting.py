#!/usr/bin/env python3
"""Accounting of the agents corpus (Gemini CLI, Copilot CLI, Aider): per
agent and source, what the files hold counted with Python alone, beside what
the program made of them.

For every source folder under the corpus the program is run once (full
reading, JSON report with raw records, TZ=UTC) and every file the source holds
is cut into its records, independently of the readers:

- lines: each non-blank line of a JSON-lines file (a Gemini or Copilot
  session log, a Gemini shell history), found again by its line number;
- records of a JSON document: a Gemini session document's messages (by
  their `id`) and its header; a prompt log's entries, a saved chat's
  contents, a legacy Copilot document's chat messages and timeline entries,
  the command history's entries and a rewind index's snapshots, each found
  again as the raw record of an event (equal JSON); a `workspace.yaml` or a
  checkpoint page as the one event of its file;
- Aider's text files: each non-blank line, found in the event that starts at
  or before it (its text, less the `#### `, `> `, `+` or role prefix, inside
  that event's message) or as the line of an event or diagnostic.

A record found nowhere is unaccounted (the goal is 0). Files holding no
records (project names and roots, read for working directories; plans; a
checkpoint index) are listed apart. Then: events by
type, diagnostics by code, tool calls against the tool-call records counted
alone (distinct call ids per session), results tied to a call of their
session, and per session the token sums and models of the events that are no
copy beside the `--summary` row and, where the files state them, the sums
counted alone.

    python bench/agents_accounting.py --program build/dev/vellumtrace [--corpus DIR] [--sessions]
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from agents_records import AGENTS, Found, Ledger  # noqa: E402  (the records of each agent)

TOKENS = ("input_tokens", "cache_write_tokens", "cache_read_tokens", "output_tokens", "reasoning_tokens")
SHORT = {"input_tokens": "in", "cache_write_tokens": "cw", "cache_read_tokens": "cr", "output_tokens": "out",
         "reasoning_tokens": "rsn"}


def run(program: str, path: pathlib.Path, *extra: str):
    env = dict(os.environ, TZ="UTC")
    done = subprocess.run([program, str(path), "-q", *extra], capture_output=True, env=env)
    if done.returncode not in (0, 3):
        sys.exit(f"{program} {path} {' '.join(extra)}: exit {done.returncode}: {done.stderr.decode()[:300]}")
    return json.loads(done.stdout)


def account(program: str, agent: str, source: pathlib.Path):
    root_name, records, alone = AGENTS[agent]
    root = source / root_name if root_name else source
    report = run(program, source, "-f", "json", "--compact", "--include-raw")
    found = Found(report)
    ledger = Ledger()
    records(root, found, ledger)
    events = report["events"]
    counted = [e for e in events if not e.get("copy_of")]
    calls = [e for e in counted if e["event_type"] == "tool_call"]
    call_ids = {(e["session_id"], e["tool_call_id"]) for e in calls}
    results = [e for e in counted if e["event_type"] == "tool_result"]
    linked = sum((e["session_id"], e["tool_call_id"]) in call_ids for e in results if e["tool_call_id"])
    alone_calls, saved_calls, alone_tokens, alone_models = alone(root)
    sessions = collections.defaultdict(lambda: {"tokens": collections.Counter(), "models": set()})
    for event in counted:
        row = sessions[(event["provider"], event["session_id"])]
        for column in TOKENS:
            if event[column] is not None:
                row["tokens"][column] += event[column]
        if event["model"] and any(event[c] is not None for c in TOKENS):
            row["models"].add(event["model"])
    summary = run(program, source, "--summary", "-f", "json")
    return {
        "ledger": ledger, "events": collections.Counter(e["event_type"] for e in events),
        "copies": len(events) - len(counted),
        "diagnostics": collections.Counter((d["code"], d["severity"]) for d in report["diagnostics"]),
        "tool_calls": len(calls), "distinct_calls": len(call_ids), "alone_calls": alone_calls,
        "saved_calls": saved_calls, "results": len(results), "linked": linked,
        "sessions": sessions, "summary": {(r["provider"], r["session_id"]): r for r in summary},
        "alone_tokens": alone_tokens, "alone_models": alone_models,
    }


def token_text(counter) -> str:
    return ", ".join(f"{SHORT[c]} {counter[c]:,}" for c in TOKENS if counter.get(c))


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--program", required=True, help="the vellumtrace program")
    p.add_argument("--corpus", type=pathlib.Path, default=pathlib.Path("/work/shared/agents-corpus"))
    p.add_argument("--sessions", action="store_true", help="print the per-session token table too")
    args = p.parse_args()
    total_missing = total_read = 0
    session_rows = []
    print("| agent / source | records read | unaccounted | events (copies) | events by type | diagnostics |")
    print("|---|---|---|---|---|---|")
    tools = []
    for agent in AGENTS:
        folder = args.corpus / agent
        if not folder.is_dir():
            continue
        for source in sorted(p for p in folder.iterdir() if p.is_dir()):
            got = account(args.program, agent, source)
            ledger = got["ledger"]
            total_missing += sum(ledger.missing.values())
            total_read += sum(ledger.read.values())
            read = "; ".join(f"{k} {n}" for k, n in sorted(ledger.read.items()))
            types = ", ".join(f"{k} {n}" for k, n in got["events"].most_common())
            diags = ", ".join(f"{c} ({s}) {n}" for (c, s), n in sorted(got["diagnostics"].items())) or "none"
            print(f"| {agent} / {source.name} | {read} | {sum(ledger.missing.values())} | "
                  f"{sum(got['events'].values())} ({got['copies']}) | {types} | {diags} |")
            for example in ledger.examples[:5]:
                print(f"|   unaccounted: {example} |||||")
            if ledger.side:
                print(f"|   files holding no records: {', '.join(ledger.side)} |||||")
            tools.append((f"{agent} / {source.name}", got))
            for key, row in sorted(got["sessions"].items(), key=lambda kv: str(kv[0])):
                if row["tokens"] or key in got["summary"] and got["summary"][key]["tool_calls"]:
                    session_rows.append((agent, source.name, key, row, got))
    print(f"\nunaccounted records over the corpus: {total_missing} of {total_read}\n")
    print("| agent / source | tool-call records counted alone | tool_call events (not copies) | distinct call ids "
          "| tool_result events | linked to a call of their session |")
    print("|---|---|---|---|---|---|")
    for name, got in tools:
        alone = f"{got['alone_calls']}" + (f" + {got['saved_calls']} in saved chats" if got["saved_calls"] else "")
        print(f"| {name} | {alone} | {got['tool_calls']} | {got['distinct_calls']} | {got['results']} | "
              f"{got['linked']} |")
    print("\n| agent / source | tokens: events (not copies) | --summary | counted alone | models |")
    print("|---|---|---|---|---|")
    for name, got in tools:
        events = collections.Counter()
        models = set()
        for row in got["sessions"].values():
            events.update(row["tokens"])
            models |= row["models"]
        summary = collections.Counter()
        for row in got["summary"].values():
            summary.update({c: row[c] for c in TOKENS if row[c]})
        alone = collections.Counter()
        for (_, column), n in got["alone_tokens"].items():
            alone[column] += n
        print(f"| {name} | {token_text(events)} | {'same' if +summary == +events else token_text(summary)} | "
              f"{token_text(alone) or '-'} | {', '.join(sorted(models)) or '-'} |")
    if args.sessions:
        print("\n| agent / source | session | tokens (events) | --summary row | models |")
        print("|---|---|---|---|---|")
        for agent, source, key, row, got in session_rows:
            summary = got["summary"].get(key)
            said = collections.Counter({c: summary[c] for c in TOKENS if summary and summary[c]})
            same = "same" if said == +row["tokens"] else (token_text(said) or "none")
            print(f"| {agent} / {source} | {str(key[1])[:36]} | {token_text(row['tokens']) or '-'} | {same} | "
                  f"{', '.join(sorted(row['models'])) or '-'} |")


if __name__ == "__main__":
    main()
