"""Runs every fuzz target of a build for a set time, seeded from the bundled
sample and the real-data corpus (read where they lie, gathered into the build
directory, never into the source tree), and prints executions per second and
coverage per target. Exits non-zero when a target fails."""

import argparse
import pathlib
import re
import subprocess
import sys

MAX_LEN = 16384
MS_VALUE = re.compile(rb'"timestamp"\s*:\s*("[^"\n]{0,64}"|-?[0-9][0-9.eE+-]{0,30})')
STAMP = re.compile(rb"[+-]?\d{4,6}-\d\d-\d\d[Tt ][0-9:.,]+(?:[Zz]|[+-]\d\d:?\d\d)?")


def line_files(sources):
    for source in sources:
        if source.is_dir():
            yield from sorted(p for p in source.rglob("*.jsonl") if p.is_file() and not p.is_symlink())


# The Copilot CLI target's first byte picks the shape of the rest, by file name.
COPILOT_SHAPES = (("events.jsonl", b"\x00"), ("command-history-state.json", b"\x04"), ("workspace.yaml", b"\x03"),
                  ("index.json", b"\x05"), (".jsonl", b"\x01"), (".json", b"\x02"))


def copilot_seed(path):
    """The Copilot CLI target's seed prefix for a file of a `.copilot` tree, or None."""
    if ".copilot" in path.parts:
        for ending, prefix in COPILOT_SHAPES:
            if path.name.endswith(ending):
                return prefix
    return None


AIDER_FILES = {".aider.chat.history.md": b"\x00", ".aider.input.history": b"\x01", ".aider.llm.history": b"\x02"}


def seed(directory, name, data):
    directory.mkdir(parents=True, exist_ok=True)
    (directory / name).write_bytes(data[:MAX_LEN])


def gemini_seeds(directory, sources):
    """Gemini CLI files of a `.gemini` home: sessions (lines, documents), prompt
    logs and saved chats, each behind the byte that names its kind."""
    for source in sources:
        if not source.is_dir():
            continue
        for index, path in enumerate(sorted(p for p in source.rglob("*") if ".gemini" in p.parts and p.is_file())):
            name = path.name
            if name.startswith("session-"):
                mode = b"\x00" if name.endswith(".jsonl") else b"\x01"
            elif name == "logs.json":
                mode = b"\x02"
            elif name.startswith("checkpoint-"):
                mode = b"\x03"
            else:
                continue
            seed(directory, f"{index:04d}-{name.encode('utf-8', 'replace').hex()[:40]}", mode + path.read_bytes())


def gather_seeds(seed_root, sources):
    """One seed directory per target: files as they are, or what a target reads
    of them (the writers target takes a reader-choosing first byte, the
    compressed-rollout target four bytes saying how to store the rest, the
    timestamp target single date-time texts)."""
    stamps, ms_values = set(), set()
    for index, path in enumerate(line_files(sources)):
        data = path.read_bytes()
        name = f"{index:04d}-{path.name}"
        for target in ("line_reader_fuzz", "codex_session_fuzz", "codex_history_fuzz", "claude_history_fuzz"):
            seed(seed_root / target, name, data)
        if "projects" in path.parts:
            seed(seed_root / "claude_transcript_fuzz", name, data)
            seed(seed_root / "agent_markdown_fuzz", name, data)
        seed(seed_root / "writers_fuzz", name, (b"\x01" if "history" in path.name else b"\x00") + data)
        if "rollout" in path.name:
            # Compressed by the target: in two frames, with skippable frames around them.
            seed(seed_root / "codex_zst_rollout_fuzz", name, b"\x07\x80\x10\x02" + data)
        stamps.update(STAMP.findall(data))
        ms_values.update(MS_VALUE.findall(data))
    gemini_seeds(seed_root / "gemini_cli_fuzz", sources)
    for source in sources:
        if not source.is_dir():
            continue
        for index, path in enumerate(sorted(p for p in source.rglob("*") if p.is_file() and not p.is_symlink())):
            prefix = copilot_seed(path)
            if prefix is not None:
                seed(seed_root / "copilot_cli_fuzz", f"{index:04d}-{path.name}", prefix + path.read_bytes())
            if path.name in AIDER_FILES:
                # The Aider target's first byte picks the file; long files seed from their start.
                seed(seed_root / "aider_fuzz", f"{index:04d}-{path.name}", AIDER_FILES[path.name] + path.read_bytes())
    for index, stamp in enumerate(sorted(stamps)[:2000]):
        seed(seed_root / "rfc3339_fuzz", f"{index:04d}", stamp)
    for index, value in enumerate(sorted(ms_values)[:2000]):
        seed(seed_root / "ms_timestamp_fuzz", f"{index:04d}", value)
    names = {p.name.encode("utf-8", "surrogateescape") for source in sources if source.is_dir()
             for p in source.rglob("*") if "file-history" in p.parts and p.is_file()}
    for index, name in enumerate(sorted(names)[:2000]):
        seed(seed_root / "snapshot_name_fuzz", f"{index:04d}", name)


def run_target(binary, seconds, work_root, seed_root):
    name = binary.name
    work = work_root / "corpus" / name
    work.mkdir(parents=True, exist_ok=True)
    (seed_root / name).mkdir(parents=True, exist_ok=True)
    artifacts = work_root / "artifacts"
    artifacts.mkdir(parents=True, exist_ok=True)
    command = [str(binary), f"-max_total_time={seconds}", f"-max_len={MAX_LEN}", "-timeout=20",
               "-rss_limit_mb=3072", "-print_final_stats=1", f"-artifact_prefix={artifacts}/{name}-",
               str(work), str(seed_root / name)]
    env = {"ASAN_OPTIONS": "abort_on_error=1", "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
           "PATH": "/usr/bin:/bin"}
    done = subprocess.run(command, capture_output=True, text=True, errors="replace", env=env)
    log = done.stderr
    (work_root / f"{name}.log").write_text(log)
    cov = re.findall(r"cov: (\d+) ft: (\d+)", log)
    speed = re.search(r"stat::average_exec_per_sec:\s+(\d+)", log)
    runs = re.search(r"stat::number_of_executed_units:\s+(\d+)", log)
    return {
        "target": name,
        "ok": done.returncode == 0,
        "exec_per_s": speed.group(1) if speed else "?",
        "runs": runs.group(1) if runs else "?",
        "cov": cov[-1][0] if cov else "?",
        "ft": cov[-1][1] if cov else "?",
        "tail": "\n".join(log.splitlines()[-40:]),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, type=pathlib.Path)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--seeds", action="append", type=pathlib.Path, default=[])
    args = parser.parse_args()

    seed_root = args.build / "seeds"
    gather_seeds(seed_root, args.seeds)
    targets = sorted(p for p in args.build.glob("*_fuzz") if p.is_file())
    if not targets:
        sys.exit(f"no fuzz targets in {args.build}")
    failed = []
    print(f"{'target':24} {'exec/s':>8} {'runs':>10} {'cov':>6} {'ft':>6}")
    for binary in targets:
        result = run_target(binary, args.seconds, args.build, seed_root)
        print(f"{result['target']:24} {result['exec_per_s']:>8} {result['runs']:>10} "
              f"{result['cov']:>6} {result['ft']:>6}  {'ok' if result['ok'] else 'FAILED'}", flush=True)
        if not result["ok"]:
            failed.append(result)
    for result in failed:
        print(f"--- {result['target']} ---\n{result['tail']}", file=sys.stderr)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
