"""Several inputs in one run: each keeps the relative paths and ids it has
when read alone, one that cannot be read is a diagnostic of its own (the
others are read and written, the exit status says so), and an agent's
directory with nothing to read says that instead of failing."""

import json
import shutil
import subprocess

import pytest

import vellumtrace
from conftest import ROOT

SAMPLE = ROOT / "examples" / "agents"
INPUT_FAILED = 3


@pytest.fixture
def places(tmp_path):
    shutil.copytree(SAMPLE, tmp_path / "home", symlinks=True)
    (tmp_path / "fresh" / ".claude").mkdir(parents=True)
    (tmp_path / "fresh" / ".claude" / "settings.json").write_text("{}")
    (tmp_path / "blank" / ".codex").mkdir(parents=True)
    (tmp_path / "PROVENANCE.md").write_text("notes")
    return tmp_path


def program(cli_path, cwd, *args):
    result = subprocess.run([cli_path, *args, "-f", "json", "--compact"], capture_output=True, cwd=cwd)
    report = json.loads(result.stdout) if result.stdout else None
    return result, report


def own(report, code):
    return [(d["severity"], d["message"]) for d in report["diagnostics"] if d["code"] == code]


HOME_ALONE = object()  # the events of `home` read alone


@pytest.mark.parametrize("args, status, events, failed, nothing", [
    # One bad input among good ones: named, the others read.
    (["home", "missing"], INPUT_FAILED, HOME_ALONE,
     ["I/O error at missing: No such file or directory"], []),
    (["PROVENANCE.md", "home"], INPUT_FAILED, HOME_ALONE,
     ["Cannot auto-detect a supported artifact at 'PROVENANCE.md'."], []),
    (["missing", "PROVENANCE.md"], INPUT_FAILED, 0,
     ["I/O error at missing: No such file or directory",
      "Cannot auto-detect a supported artifact at 'PROVENANCE.md'."], []),
    # An agent's directory holding nothing readable: no events, one info.
    (["fresh", "home"], 0, HOME_ALONE, [], ["Nothing read from 'fresh/.claude'"]),
    (["fresh"], 0, 0, [], ["Nothing read from 'fresh/.claude'"]),
    (["fresh/.claude"], 0, 0, [], ["Nothing read from 'fresh/.claude'"]),
    (["blank/.codex", "home"], 0, HOME_ALONE, [], ["Nothing read from 'blank/.codex'"]),
])
def test_inputs_fail_or_give_nothing_one_by_one(cli_path, places, args, status, events, failed, nothing):
    result, report = program(cli_path, places, *args)
    assert result.returncode == status, result.stderr
    if events is HOME_ALONE:
        _, alone = program(cli_path, places, "home")
        assert [(e["event_id"], e["source"]["relative_path"]) for e in report["events"]] == [
            (e["event_id"], e["source"]["relative_path"]) for e in alone["events"]]
    else:
        assert len(report["events"]) == events
    assert own(report, "unreadable_input") == [("error", message) for message in failed]
    assert [(severity, message.split(":")[0]) for severity, message in own(report, "nothing_to_read")] == [
        ("info", text) for text in nothing]
    if failed:
        assert f"{len(failed)} of {len(args)} inputs could not be read" in result.stderr.decode()


@pytest.mark.parametrize("args", [
    ["home", "missing", "--strict"],       # a strict run ends at the first failure
    ["home", "missing", "--documented"],   # the documented reading keeps its errors
    ["missing"],                           # so does a single input
    ["fresh", "--documented"],
    ["fresh/.claude", "--documented"],
])
def test_runs_that_still_end_at_a_bad_input(cli_path, places, args):
    result, report = program(cli_path, places, *args)
    assert (result.returncode, report) == (1, None)
    assert result.stderr.decode().startswith("vellumtrace: ")
    if "--documented" in args and "home" not in args:
        with pytest.raises(ValueError, match="^Cannot auto-detect"):
            vellumtrace.parse(places / args[0])


def test_an_empty_codex_root_is_silent_in_the_documented_reading(cli_path, places):
    assert vellumtrace.parse(places / "blank" / ".codex") == {"events": [], "diagnostics": []}
    result, report = program(cli_path, places, "blank/.codex", "--documented")
    assert (result.returncode, report) == (0, {"events": [], "diagnostics": []})


@pytest.mark.parametrize("args, problem", [
    (["home", "--label", "other=x"], "'other' is not one of the paths given"),
    (["home", "--label", "home"], "expected PATH=LABEL"),
    (["home", "--label", "home="], "an empty label"),
    (["home", "--label", "home=a", "--label", "home=b"], "'home' is labelled twice"),
    (["home", "--label", "home=a", "--documented"], "needs the full reading"),
])
def test_label_usage_errors(cli_path, places, args, problem):
    result, _ = program(cli_path, places, *args)
    assert result.returncode == 2
    assert problem in result.stderr.decode()
