"""The type stub: mypy accepts correct use, rejects misuse, and the stub's
signatures are the module's."""

import ast
import inspect
import pathlib
import re
import subprocess
import sys
import sysconfig
import textwrap

import pytest

import vellumtrace

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "src" / "module" / "vellumtrace.pyi"

GOOD = """
    import pathlib
    from typing import TYPE_CHECKING

    import vellumtrace

    if TYPE_CHECKING:
        from vellumtrace import Diagnostic, Event, JsonValue, Report

    report: "Report" = vellumtrace.parse(pathlib.Path("x"), "strict", include_raw=True,
                                         max_line_size=10)
    event: "Event" = report["events"][0]
    sequence: int = event["sequence"]
    line: int | None = event["source"]["line_number"]
    size: int | None = event["artifact"]["size"] if event["artifact"] else None
    modified: str | None = event["fs_times"]["modified"] if event["fs_times"] else None
    raw: "JsonValue" = event["raw"]
    warnings: list[str] = event["warnings"]
    diagnostic: "Diagnostic" = report["diagnostics"][0]
    severity: str = diagnostic["severity"]
    text: str = vellumtrace.to_json("x", pretty=False)
    lines: str = vellumtrace.to_jsonl("x", "best_effort", True, True, False, 1, 2)
    table: str = vellumtrace.to_csv("x", "best_effort", True, False)
    vellumtrace.convert("x", pathlib.Path("y"), format="csv", include_message=False)
    version: str = vellumtrace.__version__
    timeline = vellumtrace.Timeline(pathlib.Path("x"), "y", documented=True, collection="h")
    rows: int = len(timeline) + len(timeline.diagnostics)
    timeline.write_parquet(pathlib.Path("t.parquet"))
    capsule: object = timeline.__arrow_c_stream__()
"""

BAD = {
    "bytes path": "vellumtrace.parse(b'x')",
    "int flag": "vellumtrace.parse('x', include_raw=1)",
    "str size": "vellumtrace.parse('x', max_line_size='10')",
    "unknown keyword": "vellumtrace.to_json('x', compact=True)",
    "pretty on jsonl": "vellumtrace.to_jsonl('x', pretty=True)",
    "missing output": "vellumtrace.convert('x')",
    "result is str": "n: int = vellumtrace.to_csv('x')",
    "convert returns None": "s: str = vellumtrace.convert('x', 'y')",
    "unknown event key": "vellumtrace.parse('x')['events'][0]['time']",
    "sequence is int": "s: str = vellumtrace.parse('x')['events'][0]['sequence']",
    "artifact may be None": "vellumtrace.parse('x')['events'][0]['artifact']['size']",
    "provider literal": "p: int = vellumtrace.parse('x')['events'][0]['provider']",
    "version is str": "v: int = vellumtrace.__version__",
    "timeline options are keywords": "vellumtrace.Timeline('x', True)",
    "timeline collection is str": "vellumtrace.Timeline('x', collection=1)",
}


def mypy(tmp_path, source, mypy_path):
    program = tmp_path / "program.py"
    program.write_text(textwrap.dedent(source))
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--strict", "--no-error-summary",
         "--python-version", "3.10", "--cache-dir", str(tmp_path / "cache"), str(program)],
        capture_output=True, text=True, cwd=tmp_path, timeout=300,
        env={"MYPYPATH": str(mypy_path), "PATH": "/usr/bin:/bin"})


@pytest.fixture(scope="module")
def stub_dir(tmp_path_factory):
    """The stub alone, so mypy never falls back on an installed copy."""
    directory = tmp_path_factory.mktemp("stub")
    (directory / "vellumtrace.pyi").write_bytes(STUB.read_bytes())
    return directory


def test_correct_use_checks_clean(tmp_path, stub_dir):
    result = mypy(tmp_path, GOOD, stub_dir)
    assert result.returncode == 0, result.stdout + result.stderr


def test_misuse_is_reported(tmp_path, stub_dir):
    # One statement per line, each in its own function so one error cannot mask another.
    source = "import vellumtrace\n" + "".join(
        f"def case_{i}() -> None: {statement}\n" for i, statement in enumerate(BAD.values()))
    result = mypy(tmp_path, source, stub_dir)
    flagged = {int(n) for n in re.findall(r"^program\.py:(\d+): error", result.stdout, re.M)}
    missed = [name for line, name in enumerate(BAD, start=2) if line not in flagged]
    assert not missed, result.stdout


def stub_functions():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def test_stub_signatures_are_the_module_signatures():
    functions = stub_functions()
    assert sorted(functions) == sorted(vellumtrace.__all__)
    for name, node in functions.items():
        runtime = inspect.signature(getattr(vellumtrace, name)).parameters
        assert [a.arg for a in node.args.args] == list(runtime), name
        defaults = [ast.literal_eval(d) for d in node.args.defaults]
        expected = [p.default for p in runtime.values() if p.default is not inspect.Parameter.empty]
        assert defaults == expected, name
        assert not node.args.kwonlyargs and not node.args.posonlyargs and not node.args.vararg


def test_installed_stub_is_found_by_mypy(tmp_path):
    module_file = pathlib.Path(vellumtrace.__file__).resolve()
    site = pathlib.Path(sysconfig.get_paths()["purelib"]).resolve()
    if module_file.parent != site:
        pytest.skip("vellumtrace is not installed in this environment")
    program = tmp_path / "program.py"
    program.write_text("import vellumtrace\nn: int = vellumtrace.to_json('x')\n")
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
         str(program)], capture_output=True, text=True, cwd=tmp_path, timeout=300)
    # Found: the only complaint is the wrong result type, not a missing module.
    assert 'Incompatible types in assignment (expression has type "str"' in result.stdout
    assert "import-not-found" not in result.stdout
