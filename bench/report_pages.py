#!/usr/bin/env python3
"""Sizes and opening times of session report pages in headless Chromium.

Writes one Claude Code session of about N events (prompts, agent text, tool
calls with multi-line results, reasoning, token usage), renders it and any
other roots given with `vellumtrace --format html` and `--format markdown`,
then opens the biggest session page of each run from file:// and reports its
size and how long the browser took to the load event (median of a few opens;
the navigation timing of the page itself, and the wall time around it).

    python bench/report_pages.py --events 5000 ../shared/corpus/*/
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from report_browser import Browser, find_browser  # noqa: E402

SESSION = "5000e7e0-0000-4000-8000-000000000001"


def generated_tree(base: pathlib.Path, events: int) -> pathlib.Path:
    """A `.claude` root with one transcript of about `events` events."""
    lines, n, second = [], 0, 0

    def stamp() -> str:
        nonlocal second
        second += 1
        return f"2025-06-01T{10 + second // 3600:02d}:{second // 60 % 60:02d}:{second % 60:02d}.000Z"

    def rec(kind: str, **fields) -> dict:
        nonlocal n
        n += 1
        return {"type": kind, "sessionId": SESSION, "cwd": "/home/dev/project", "gitBranch": "main",
                "uuid": f"u{n}", "timestamp": stamp(), **fields}

    count = 0
    while count < events:
        lines.append(rec("user", message={"role": "user", "content": f"step {count}: make the parser handle case {count}"}))
        count += 1
        for call in range(6):
            ident = f"toolu_{count}_{call}"
            lines.append(rec("assistant", message={
                "id": f"msg_{count}_{call}", "model": "claude-sonnet-4-5", "role": "assistant",
                "content": [{"type": "thinking", "thinking": "Looking at the parser state " * 8},
                            {"type": "text", "text": f"Reading file {call} to see how records are split."},
                            {"type": "tool_use", "id": ident, "name": "Read",
                             "input": {"file_path": f"/home/dev/project/src/module_{call}.py"}}],
                "usage": {"input_tokens": 12, "cache_creation_input_tokens": 300,
                          "cache_read_input_tokens": 9000, "output_tokens": 150}}))
            output = "\n".join(f"{i:5d}\tdef handler_{i}(record): return record.get('field_{i}')" for i in range(60))
            lines.append(rec("user", message={"role": "user", "content": [
                {"type": "tool_result", "tool_use_id": ident, "content": output}]}))
            count += 5  # thinking, text, tool call, usage, result
    folder = base / ".claude" / "projects" / "-home-dev-project"
    folder.mkdir(parents=True)
    (folder / f"{SESSION}.jsonl").write_text("".join(json.dumps(line) + "\n" for line in lines))
    return base / ".claude"


def render(program: str, paths: list[str], fmt: str, out: pathlib.Path) -> None:
    subprocess.run([program, *paths, "--format", fmt, "-o", str(out), "-q"], check=True)


def biggest(out: pathlib.Path, ext: str) -> pathlib.Path:
    return max((p for p in out.glob(f"*.{ext}") if not p.name.startswith("index.")), key=lambda p: p.stat().st_size)


def open_times(browser: Browser, page: pathlib.Path, runs: int) -> tuple[float, float]:
    walls, loads = [], []
    for _ in range(runs):
        browser.call("Page.navigate", {"url": "about:blank"}, session=True)
        browser.wait_for("Page.loadEventFired")
        walls.append(browser.open(page))
        loads.append(browser.evaluate(
            "(() => { const t = performance.getEntriesByType('navigation')[0]; return t.loadEventEnd - t.startTime; })()"))
    return statistics.median(walls), statistics.median(loads) / 1000


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("roots", nargs="*", help="other roots to render (for example corpus roots)")
    parser.add_argument("--events", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--program", default=str(ROOT / ".venv" / "bin" / "vellumtrace"))
    args = parser.parse_args()
    executable = find_browser()
    if executable is None:
        print("no Chromium found", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as scratch:
        base = pathlib.Path(scratch)
        cases = [("generated", [str(generated_tree(base / "gen", args.events))])]
        if args.roots:
            cases.append(("roots", args.roots))
        browser = Browser(executable, timeout=120)
        try:
            for name, paths in cases:
                html_dir, md_dir = base / f"{name}-html", base / f"{name}-md"
                render(args.program, paths, "html", html_dir)
                render(args.program, paths, "markdown", md_dir)
                page = biggest(html_dir, "html")
                text = page.read_text()
                events = re.search(r"<dt>Events</dt><dd>([0-9,]+)</dd>", text).group(1)
                items = text.count('<div class="it ')
                wall, load = open_times(browser, page, args.runs)
                md = md_dir / (page.stem + ".md")
                print(f"{name}: {page.name}: {events} events in {items:,} items, html {page.stat().st_size / 1e6:.2f} MB, "
                      f"markdown {md.stat().st_size / 1e6:.2f} MB; load event after {load:.3f} s "
                      f"(wall {wall:.3f} s, median of {args.runs})")
                index = html_dir / "index.html"
                wall, load = open_times(browser, index, args.runs)
                print(f"{name}: index.html: {index.stat().st_size / 1e6:.2f} MB; load event after {load:.3f} s "
                      f"(wall {wall:.3f} s)")
        finally:
            browser.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
