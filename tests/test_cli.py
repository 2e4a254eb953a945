"""The native command-line program: renderings, files, summary, exit statuses."""

import json
import os
import pathlib
import re
import subprocess

import pytest

import vellumtrace

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
SUMMARY = re.compile(r"(\d+) events?, (\d+) diagnostics? \((\d+) errors?, (\d+) warnings?, (\d+) info\), "
                     r"(\d+) event warnings?\n")


def run(cli_path, *args, **kwargs):
    return subprocess.run([cli_path, *map(str, args)], capture_output=True, timeout=120, **kwargs)


@pytest.fixture
def linked_root(tmp_path):
    link = tmp_path / "linked"
    link.symlink_to(SAMPLE / ".codex", target_is_directory=True)
    return link


@pytest.mark.parametrize(
    "args, render",
    [
        ([], lambda p: vellumtrace.to_json(p)),
        (["--compact"], lambda p: vellumtrace.to_json(p, pretty=False)),
        (["--format", "json", "--include-raw", "--include-content"],
         lambda p: vellumtrace.to_json(p, include_raw=True, include_content=True)),
        (["-f", "jsonl", "--include-raw"], lambda p: vellumtrace.to_jsonl(p, include_raw=True)),
        (["--format", "csv"], lambda p: vellumtrace.to_csv(p)),
        (["--format", "csv", "--no-message", "--include-content"],
         lambda p: vellumtrace.to_csv(p, include_message=False, include_content=True)),
        (["--max-line-size", "100", "--compact"],
         lambda p: vellumtrace.to_json(p, pretty=False, max_line_size=100)),
        (["--max-content-size", "10", "--include-content", "-f", "jsonl"],
         lambda p: vellumtrace.to_jsonl(p, include_content=True, max_content_size=10)),
        (["--output", "-", "-f", "jsonl"], lambda p: vellumtrace.to_jsonl(p)),
    ],
    ids=["pretty", "compact", "json-raw-content", "jsonl", "csv", "csv-no-message", "line-size",
         "content-size", "dash-output"],
)
def test_standard_output_matches_the_python_rendering(cli_path, args, render):
    result = run(cli_path, SAMPLE, *args, "--quiet", "--documented")
    assert result.returncode == 0, result.stderr
    assert result.stdout == render(SAMPLE).encode()
    assert result.stderr == b""


def test_follow_symlinks_is_passed_on(cli_path, linked_root):
    refused = run(cli_path, linked_root, "-q")
    with pytest.raises(ValueError) as python_error:
        vellumtrace.parse(linked_root)
    assert refused.returncode == 1
    assert refused.stderr.decode() == (
        f"vellumtrace: {python_error.value}\nvellumtrace: hint: '{linked_root}' is a symbolic link, "
        "which is not followed by default; --follow-symlinks follows it\n")
    followed = run(cli_path, linked_root, "--follow-symlinks", "-f", "jsonl", "-q", "--documented")
    assert followed.returncode == 0
    assert followed.stdout == vellumtrace.to_jsonl(linked_root, follow_symlinks=True).encode()


def test_output_file_and_summary(cli_path, tmp_path):
    out = tmp_path / "timeline.csv"
    result = run(cli_path, SAMPLE, "--format", "csv", "--output", out, "--documented")
    assert result.returncode == 0
    assert result.stdout == b""
    assert out.read_bytes() == vellumtrace.to_csv(SAMPLE).encode()
    report = vellumtrace.parse(SAMPLE)
    severities = [d["severity"] for d in report["diagnostics"]]
    *listing, last = result.stderr.decode().splitlines(keepends=True)
    match = SUMMARY.fullmatch(last)
    assert match, result.stderr
    assert [int(n) for n in match.groups()] == [
        len(report["events"]), len(severities), severities.count("error"),
        severities.count("warning"), severities.count("info"),
        sum(len(e["warnings"]) for e in report["events"])]
    assert len(listing) == min(len(severities), 10) + (len(severities) > 10)


@pytest.mark.parametrize(
    "args, python_call",
    [
        (["/nonexistent/vellumtrace-input"], lambda out: vellumtrace.parse("/nonexistent/vellumtrace-input")),
        ([SAMPLE, "--strict"], lambda out: vellumtrace.parse(SAMPLE, mode="strict")),
        ([SAMPLE, "--output", "/nonexistent/dir/out.json"],
         lambda out: vellumtrace.convert(SAMPLE, "/nonexistent/dir/out.json")),
        ([SAMPLE, "--output", "/dev/full"], lambda out: vellumtrace.convert(SAMPLE, "/dev/full")),
        ([SAMPLE, "--output", "/dev/full", "-f", "jsonl"],
         lambda out: vellumtrace.convert(SAMPLE, "/dev/full", format="jsonl")),
        ([SAMPLE, "--output", "/dev/full", "-f", "csv"],
         lambda out: vellumtrace.convert(SAMPLE, "/dev/full", format="csv")),
    ],
    ids=["missing-input", "strict", "cannot-create", "full-json", "full-jsonl", "full-csv"],
)
def test_failures_exit_1_with_the_python_message(cli_path, args, python_call):
    if "/dev/full" in args and not os.access("/dev/full", os.W_OK):
        pytest.skip("/dev/full is not writable here")
    with pytest.raises((OSError, ValueError)) as python_error:
        python_call(None)
    result = run(cli_path, *args)
    assert result.returncode == 1
    assert result.stdout == b""
    assert result.stderr.decode() == f"vellumtrace: {python_error.value}\n"


def test_no_output_file_when_the_parse_fails(cli_path, tmp_path):
    out = tmp_path / "never.json"
    result = run(cli_path, SAMPLE, "--strict", "--output", out)
    assert result.returncode == 1
    assert not out.exists()


def test_failing_standard_output(cli_path):
    if not os.access("/dev/full", os.W_OK):
        pytest.skip("/dev/full is not writable here")
    with open("/dev/full", "wb") as full:
        result = subprocess.run([cli_path, str(SAMPLE), "-f", "jsonl"], stdout=full,
                                stderr=subprocess.PIPE, timeout=120)
    assert result.returncode == 1
    assert result.stderr.decode().startswith("vellumtrace: ")
    assert "No space left on device" in result.stderr.decode()


@pytest.mark.parametrize(
    "args",
    [
        [],
        [SAMPLE, "--format", "xml"],
        [SAMPLE, "--format", "JSON"],
        [SAMPLE, "--max-line-size", "-1"],
        [SAMPLE, "--max-line-size", "0x10"],
        [SAMPLE, "--max-content-size", "18446744073709551616"],
        [SAMPLE, "--max-content-size", "ten"],
        [SAMPLE, "--no-such-option"],
        [SAMPLE, "--output"],
    ],
    ids=["no-path", "format", "format-case", "negative", "hex", "too-large", "not-a-number",
         "unknown-option", "output-without-file"],
)
def test_usage_errors_exit_2(cli_path, args):
    result = run(cli_path, *args)
    assert result.returncode == 2
    assert result.stdout == b""
    assert result.stderr.strip()


@pytest.mark.parametrize("parts", [[".codex", ".claude"], [".claude", ".codex", ".claude"]],
                         ids=["two-roots", "one-given-twice"])
def test_several_inputs_are_each_read_once(cli_path, parts):
    def events(*paths, reading=()):
        result = run(cli_path, *paths, "-f", "jsonl", "-q", *reading)
        assert result.returncode == 0
        return [json.loads(line) for line in result.stdout.splitlines()]

    def placed(found):
        return sorted((e["event_id"], e["source"]["relative_path"], e["source"]["line_number"]) for e in found)

    given = [SAMPLE / part for part in parts]
    # Each root keeps the relative paths and ids it has when read alone.
    together = events(*given)
    alone = [e for part in dict.fromkeys(parts) for e in events(SAMPLE / part)]
    assert placed(together) == placed(alone)
    assert [e["sequence"] for e in together] == list(range(len(together)))
    # The documented reading starts them at the inputs' common directory, as
    # the directory holding both roots does.
    assert placed(events(*given, reading=["--documented"])) == placed(events(SAMPLE, reading=["--documented"]))


def test_largest_size_is_accepted(cli_path):
    result = run(cli_path, SAMPLE, "--max-line-size", "18446744073709551615", "-q", "--compact", "--documented")
    assert result.returncode == 0
    assert result.stdout == vellumtrace.to_json(SAMPLE, pretty=False,
                                                max_line_size=18446744073709551615).encode()


def test_help_and_version(cli_path):
    help_run = run(cli_path, "--help")
    assert help_run.returncode == 0
    for option in ["--format", "--output", "--strict", "--include-raw", "--include-content",
                   "--no-message", "--compact", "--follow-symlinks", "--max-line-size",
                   "--max-content-size", "--quiet", "--version", "--diagnostics", "--summary",
                   "--since", "--until", "--session", "--provider", "--event-type", "--cwd",
                   "timesketch"]:
        assert option.encode() in help_run.stdout
    version_run = run(cli_path, "--version")
    assert version_run.returncode == 0
    declared = re.search(r'^version = "([^"]+)"', (ROOT / "pyproject.toml").read_text(), re.M)
    assert version_run.stdout.decode().strip() == f"vellumtrace {declared.group(1)}"


def test_program_does_not_load_python(cli_path):
    libraries = subprocess.run(["ldd", cli_path], capture_output=True, text=True).stdout
    assert "libpython" not in libraries
    # Runs with an environment that has no trace of the interpreter.
    result = subprocess.run([cli_path, str(SAMPLE), "-q", "-f", "jsonl", "--documented"], capture_output=True,
                            env={"PATH": "/usr/bin:/bin"}, timeout=120)
    assert result.returncode == 0
    assert result.stdout == vellumtrace.to_jsonl(SAMPLE).encode()


def test_terminal_gets_a_final_line_break(cli_path):
    import pty

    main, secondary = pty.openpty()
    program = subprocess.Popen([cli_path, str(SAMPLE), "--compact", "-q", "--documented"], stdout=secondary)
    os.close(secondary)
    chunks = []
    try:
        while True:
            try:
                chunk = os.read(main, 65536)
            except OSError:  # EIO once the program has ended and everything is read
                break
            if not chunk:
                break
            chunks.append(chunk)
    finally:
        os.close(main)
    assert program.wait(timeout=120) == 0
    shown = b"".join(chunks).replace(b"\r\n", b"\n")
    assert shown == vellumtrace.to_json(SAMPLE, pretty=False).encode() + b"\n"
