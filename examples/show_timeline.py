"""Print the timeline of an agent tree, one event per line, then the diagnostics.

    python examples/show_timeline.py [PATH] [--json] [--strict] [--content]

PATH defaults to the bundled sample (examples/agents). With --json every event
and diagnostic is printed as one JSON object per line instead of a table.
"""

import argparse
import collections
import json
import pathlib
import sys

import vellumtrace

SAMPLE = pathlib.Path(__file__).resolve().parent / "agents"


def one_line(text, width):
    text = " ".join(text.split())
    return text if len(text) <= width else text[: width - 1] + "…"


def where(source):
    if source is None:
        return "-"
    path = source["relative_path"]
    if len(path) > 48:
        parts = path.split("/")
        name = parts[-1] if len(parts[-1]) <= 30 else parts[-1][:13] + "…" + parts[-1][-16:]
        path = "/".join(parts[:1] + ["…", name]) if len(parts) > 2 else name
    line = source["line_number"]
    return path + (f":{line}" if line is not None else "")


def short_time(stamp):
    """The instant to the millisecond, for display only."""
    if stamp is None:
        return "-"
    whole, dot, fraction = stamp.removesuffix("Z").partition(".")
    return whole + (dot + fraction[:3] if dot else "") + "Z"


def summary(event):
    art = event["artifact"]
    if art is not None:
        facts = [art["media_type"] or "?", f"{art['size']} B" if art["size"] is not None else None,
                 art["reference_status"], f"v{art['snapshot_version']}" if art["snapshot_version"] is not None else None]
        return "[" + ", ".join(f for f in facts if f) + "]"
    return one_line(event["message"] or "", 72)


def print_table(report):
    for e in report["events"]:
        print(f"{e['sequence']:>4}  {short_time(e['timestamp']):<24}  {e['provider']:<11}  {e['event_type']:<17}  "
              f"{where(e['source'])}  {summary(e)}")
        for warning in e["warnings"]:
            print(f"{'':6}! {warning}")
    if report["diagnostics"]:
        print("\ndiagnostics:")
    for d in report["diagnostics"]:
        print(f"  {d['severity']:<7}  {d['code']:<26}  {where(d['source'])}: {d['message']}")
    kinds = collections.Counter(e["event_type"] for e in report["events"])
    print("\n" + ", ".join(f"{n} {kind}" for kind, n in sorted(kinds.items())))


def main(argv):
    p = argparse.ArgumentParser(description="Show the timeline of an agent tree.")
    p.add_argument("path", nargs="?", default=str(SAMPLE))
    p.add_argument("--json", action="store_true", help="JSON lines instead of a table")
    p.add_argument("--strict", action="store_true", help="fail on the first error-severity problem")
    p.add_argument("--content", action="store_true", help="inline file contents (JSON output only)")
    a = p.parse_args(argv)
    try:
        report = vellumtrace.parse(a.path, mode="strict" if a.strict else "best_effort", include_content=a.content)
    except (OSError, ValueError) as err:
        print(f"error: {err}", file=sys.stderr)
        return 1
    if a.json:
        for event in report["events"]:
            print(json.dumps(event, ensure_ascii=False))
        for diagnostic in report["diagnostics"]:
            print(json.dumps(diagnostic, ensure_ascii=False), file=sys.stderr)
    else:
        print_table(report)
    print(f"{len(report['events'])} events, {len(report['diagnostics'])} diagnostics", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
