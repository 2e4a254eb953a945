"""Hostile transcript records: one line of thousands of content blocks stays
linear in memory whatever is rendered, and every non-blank line of a
transcript gives an event or a diagnostic."""

import json
import subprocess
import sys

import pytest

import vellumtrace

SESSION = "6f1e0c2a-1111-4222-8333-944455556666"
TS = "2025-06-01T10:00:00.000Z"

LIMIT_KB = 100 * 1024

# Runs the program given as arguments and prints its exit status and peak
# resident size (kB): the only child of this wrapper, so no other run sets
# the figure. A child past the limit is stopped at once rather than left to
# take the machine's memory.
PEAK_OF_CHILD = """
import resource, subprocess, sys, time
limit = int(sys.argv[1])
child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while child.poll() is None:
    try:
        with open(f"/proc/{child.pid}/status") as status:
            peak = next((int(l.split()[1]) for l in status if l.startswith("VmHWM:")), 0)
    except OSError:
        peak = 0
    if peak > limit:
        child.kill()
    time.sleep(0.02)
print(child.wait(), resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
"""


def write_transcript(tmp_path, lines):
    folder = tmp_path / ".claude" / "projects" / "-w"
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / f"{SESSION}.jsonl"
    path.write_text("".join((line if isinstance(line, str) else json.dumps(line)) + "\n" for line in lines))
    return path


def record(kind, **fields):
    return {"type": kind, "sessionId": SESSION, "cwd": "/w", "uuid": f"u-{kind}", "timestamp": TS, **fields}


@pytest.mark.parametrize("options", [["--format", "jsonl", "--include-raw"], ["--format", "html", "-o", "{out}"]],
                         ids=["jsonl-raw", "html"])
def test_a_line_of_many_blocks_stays_linear_in_memory(tmp_path, cli_path, options):
    # 8,000 blocks in one 200 KB line: each block is an event, each event
    # keeps the line's raw record; a copy per event would take gigabytes.
    blocks = [{"type": "text", "text": "x"}] * 8000
    line = record("assistant", message={"id": "m1", "role": "assistant", "content": blocks})
    path = write_transcript(tmp_path, [line])
    assert path.stat().st_size > 200_000
    args = [cli_path, str(tmp_path / ".claude")] + [o.format(out=tmp_path / "report") for o in options]
    done = subprocess.run([sys.executable, "-c", PEAK_OF_CHILD, str(LIMIT_KB), *args], capture_output=True,
                          text=True, timeout=300, check=True)
    code, peak_kb = map(int, done.stdout.split())
    assert peak_kb < LIMIT_KB, f"peak {peak_kb} kB"
    assert code == 0
