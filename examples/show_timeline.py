"""Print the timeline of an agent tree, one event per line, then the diagnostics."""

import json
import sys

import vellumtrace


def main(path: str) -> None:
    report = vellumtrace.parse(path)
    for event in report["events"]:
        print(json.dumps(event, ensure_ascii=False))
    for diagnostic in report["diagnostics"]:
        print(json.dumps(diagnostic, ensure_ascii=False), file=sys.stderr)
    print(f"{len(report['events'])} events, {len(report['diagnostics'])} diagnostics", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/agents")
