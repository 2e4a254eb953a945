#!/usr/bin/env python3
"""How the HTML index holds up with many sessions, in headless Chromium.

Writes a `.claude` root of N conversation sessions (one transcript each: a
title record, a few typed prompts, agent answers, a tool call and its
result) plus M sessions known only from the prompt history, renders it with
`vellumtrace --format html`, then opens `index.html` from file:// and
measures (median of a few runs, each in a fresh tab load):
  - open: navigation start to the end of the load event (the script has run
    and the first filter is applied);
  - filter: a search typed into the box until the rows are updated and laid
    out, for a word in one session, a word in every session, and back to
    empty; then the history-only toggle on and off;
  - sort: a click on a column heading until laid out.

    python bench/report_index.py --sessions 5000 --history 5000
"""

from __future__ import annotations

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from report_browser import Browser, find_browser  # noqa: E402

WORDS = ("parser", "tide", "harbour", "schema", "token", "window", "cache", "index", "render", "folder")


def generated_home(base: pathlib.Path, sessions: int, history: int) -> pathlib.Path:
    root = base / ".claude"
    projects = root / "projects"
    history_lines = []
    for s in range(sessions):
        sid = f"5000e7e0-0000-4000-8000-{s:012d}"
        project = f"/home/dev/project-{s % 37}"
        folder = projects / project.replace("/", "-")
        folder.mkdir(parents=True, exist_ok=True)
        lines, second = [], 0

        def rec(kind, **fields):
            nonlocal second
            second += 7
            stamp = f"2025-{1 + s % 12:02d}-{1 + s % 28:02d}T{10 + second // 3600:02d}:{second // 60 % 60:02d}:{second % 60:02d}.000Z"
            return {"type": kind, "sessionId": sid, "cwd": project, "gitBranch": "main",
                    "uuid": f"{sid}-{len(lines)}", "timestamp": stamp, **fields}

        lines.append(rec("ai-title", aiTitle=f"Session {s}: {WORDS[s % len(WORDS)]} work on unique{s}x"))
        for p in range(3):
            text = f"please look at the {WORDS[(s + p) % len(WORDS)]} code, case {s}-{p}, and fix what breaks"
            lines.append(rec("user", message={"role": "user", "content": text}))
            history_lines.append({"display": text, "pastedContents": {}, "timestamp": 1735725600000 + s * 1000 + p,
                                  "project": project, "sessionId": sid})
            lines.append(rec("assistant", message={
                "id": f"m{s}-{p}", "model": "claude-x", "role": "assistant",
                "content": [{"type": "text", "text": f"**Done** with step {p}.\n\n- one\n- two"},
                            {"type": "tool_use", "id": f"t{s}-{p}", "name": "Bash", "input": {"command": "ls"}}],
                "usage": {"input_tokens": 10, "output_tokens": 20}}))
            lines.append(rec("user", message={"role": "user", "content": [
                {"type": "tool_result", "tool_use_id": f"t{s}-{p}", "content": "a\nb\nc"}]}))
        (folder / f"{sid}.jsonl").write_text("".join(json.dumps(line) + "\n" for line in lines))
    for h in range(history):
        history_lines.append({"display": f"one-off question {h} about {WORDS[h % len(WORDS)]}", "pastedContents": {},
                              "timestamp": 1735725600000 + h * 1000, "project": f"/home/dev/p{h % 50}",
                              "sessionId": f"h-{h:08d}"})
    root.mkdir(parents=True, exist_ok=True)
    (root / "history.jsonl").write_text("".join(json.dumps(line) + "\n" for line in history_lines))
    return root


# Runs `action` (JS statements, may await) and resolves once the next frame
# after it has been laid out, with the milliseconds it took, less `pause`
# (a wait the page itself makes, such as the search's pause for typing).
TIMED = """(async () => {
  const start = performance.now();
  %s;
  document.body.offsetHeight;
  await new Promise(r => requestAnimationFrame(() => setTimeout(r, 0)));
  return performance.now() - start - %d;
})()"""

# The search waits 80 ms for typing to pause; a timer set after it runs after it.
SEARCH = ("const f = document.getElementById('filter'); f.value = %s; f.dispatchEvent(new Event('input')); "
          "await new Promise(r => setTimeout(r, 80))")


def measure(browser: Browser, page: pathlib.Path, runs: int) -> dict[str, float]:
    results: dict[str, list[float]] = {}
    for _ in range(runs):
        browser.open(page)
        browser.settle(0.2)
        results.setdefault("open", []).append(browser.evaluate(
            "performance.getEntriesByType('navigation')[0].loadEventEnd"))
        for name, word in (("filter: one session", "unique1234x"), ("filter: every session", "please"),
                           ("filter: cleared", "")):
            results.setdefault(name, []).append(browser.evaluate(TIMED % (SEARCH % json.dumps(word), 80)))
        for name in ("history-only on", "history-only off"):
            if browser.evaluate("!!document.getElementById('history')"):
                results.setdefault(name, []).append(browser.evaluate(
                    TIMED % ("document.getElementById('history').click()", 0)))
        results.setdefault("sort by prompts", []).append(browser.evaluate(
            TIMED % ("document.querySelectorAll('#sessions th button')[5].click()", 0)))
    return {name: statistics.median(values) for name, values in results.items()}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sessions", type=int, default=5000, help="conversation sessions")
    parser.add_argument("--history", type=int, default=5000, help="sessions known only from the history")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--cli", default=str(ROOT / "build" / "dev" / "vellumtrace"))
    args = parser.parse_args()
    executable = find_browser()
    if executable is None:
        print("no Chromium found", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="vt-index-bench-") as temp:
        base = pathlib.Path(temp)
        root = generated_home(base / "home", args.sessions, args.history)
        out = base / "report"
        subprocess.run([args.cli, str(root), "-q", "--format", "html", "-o", str(out)], check=True)
        page = out / "index.html"
        print(f"{args.sessions:,} conversations + {args.history:,} history-only sessions; "
              f"index.html {page.stat().st_size / 1e6:.1f} MB")
        browser = Browser(executable, timeout=120)
        try:
            for name, ms in measure(browser, page, args.runs).items():
                print(f"  {name:<24} {ms:8.0f} ms")
        finally:
            browser.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
