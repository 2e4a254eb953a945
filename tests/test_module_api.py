"""The module object, its function signatures and how arguments are accepted or refused."""

import importlib
import inspect
import pydoc
import json
import pathlib
import re
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import vellumtrace

ROOT = pathlib.Path(__file__).resolve().parent.parent
FUNCTIONS = ["parse", "convert", "to_json", "to_jsonl", "to_csv"]

SIGNATURES = {
    "parse": 'parse(path, mode="best_effort", include_raw=False, include_content=False, '
    "follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)",
    "convert": 'convert(path, output_path, format="json", mode="best_effort", include_raw=False, '
    "include_content=False, include_message=True, follow_symlinks=False, "
    "max_line_size=10485760, max_content_size=52428800)",
    "to_json": 'to_json(path, mode="best_effort", include_raw=False, include_content=False, '
    "pretty=True, follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)",
    "to_jsonl": 'to_jsonl(path, mode="best_effort", include_raw=False, include_content=False, '
    "follow_symlinks=False, max_line_size=10485760, max_content_size=52428800)",
    "to_csv": 'to_csv(path, mode="best_effort", include_content=False, include_message=True, '
    "include_raw=False, follow_symlinks=False, max_line_size=10485760, "
    "max_content_size=52428800)",
}


@pytest.fixture
def history(tmp_path):
    """A Codex root with a two-line prompt history."""
    root = tmp_path / ".codex"
    root.mkdir()
    lines = [{"session_id": "s1", "text": "first", "ts": 1700000000, "extra": [1, 2]},
             {"session_id": "s1", "text": "x" * 200, "ts": 1700000001}]
    (root / "history.jsonl").write_text("".join(json.dumps(line) + "\n" for line in lines))
    return root


def test_module_object():
    assert vellumtrace.__doc__ == ""
    shown = pydoc.render_doc(vellumtrace, renderer=pydoc.plaintext)
    assert all(getattr(vellumtrace, name).__doc__.splitlines()[0] in shown for name in FUNCTIONS)
    declared = re.search(r'^version = "([^"]+)"', (ROOT / "pyproject.toml").read_text(), re.M)
    assert vellumtrace.__version__ == declared.group(1)
    assert vellumtrace.__all__ == FUNCTIONS
    assert [n for n in vars(vellumtrace) if not n.startswith("_")][:5] == FUNCTIONS


@pytest.mark.parametrize("name", FUNCTIONS)
def test_text_signature_and_docstring(name):
    func = getattr(vellumtrace, name)
    assert name + func.__text_signature__ == SIGNATURES[name]
    params = inspect.signature(func).parameters.values()
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)
    doc = func.__doc__
    assert not doc.startswith(name + "(") and "\n--\n" not in doc
    first_lines = {
        "parse": "Parse supported AI agent artifacts and return a dict with",
        "convert": "Parse and write output in a single call.",
        "to_json": "The top-level Python module.",
        "to_jsonl": "Parse artifacts and return one compact timeline event per line.",
        "to_csv": "Parse artifacts and return the normalized timeline as CSV text.",
    }
    assert doc.splitlines()[0] == first_lines[name]
    assert len(doc.splitlines()) == {"parse": 14, "convert": 18, "to_json": 2}.get(name, 1)


@pytest.mark.parametrize(
    "func, args, kwargs, message",
    [
        ("parse", (), {}, "parse() missing 1 required positional argument: 'path'"),
        ("convert", (), {},
         "convert() missing 2 required positional arguments: 'path' and 'output_path'"),
        ("convert", (), {"output_path": "o"},
         "convert() missing 1 required positional argument: 'path'"),
        ("parse", tuple(range(8)), {},
         "parse() takes from 1 to 7 positional arguments but 8 were given"),
        ("convert", tuple(range(11)), {},
         "convert() takes from 2 to 10 positional arguments but 11 were given"),
        ("to_json", tuple(range(9)), {},
         "to_json() takes from 1 to 8 positional arguments but 9 were given"),
        ("parse", ("p",), {"pretty": True}, "parse() got an unexpected keyword argument 'pretty'"),
        ("parse", ("p",), {"path": "q"}, "parse() got multiple values for argument 'path'"),
        ("to_csv", ("p", "best_effort", True), {"include_content": True},
         "to_csv() got multiple values for argument 'include_content'"),
        # binding fails before any value is looked at
        ("to_jsonl", (b"p",), {"bogus": 1}, "to_jsonl() got an unexpected keyword argument 'bogus'"),
    ],
)
def test_binding_errors(func, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(vellumtrace, func)(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "func, kwargs, exc, message",
    [
        ("parse", {"include_raw": 1}, TypeError,
         "argument 'include_raw': 'int' object cannot be converted to 'PyBool'"),
        ("to_json", {"pretty": "yes"}, TypeError,
         "argument 'pretty': 'str' object cannot be converted to 'PyBool'"),
        ("parse", {"mode": 3}, TypeError,
         "argument 'mode': 'int' object cannot be converted to 'PyString'"),
        ("convert", {"output_path": "o", "format": None}, TypeError,
         "argument 'format': 'NoneType' object cannot be converted to 'PyString'"),
        ("parse", {"max_line_size": "3"}, TypeError,
         "argument 'max_line_size': 'str' object cannot be interpreted as an integer"),
        ("to_csv", {"max_content_size": 1.5}, TypeError,
         "argument 'max_content_size': 'float' object cannot be interpreted as an integer"),
        ("parse", {"max_line_size": -1}, OverflowError, None),
        ("parse", {"max_content_size": 2**64}, OverflowError, None),
        # values convert in parameter order, all before the path
        ("parse", {"mode": 3, "include_raw": 1}, TypeError,
         "argument 'mode': 'int' object cannot be converted to 'PyString'"),
        ("to_csv", {"include_raw": 0, "include_content": 0}, TypeError,
         "argument 'include_content': 'int' object cannot be converted to 'PyBool'"),
    ],
)
def test_value_errors(func, kwargs, exc, message):
    with pytest.raises(exc) as info:
        getattr(vellumtrace, func)(b"not-a-str-path", **kwargs)
    if message is None:
        assert type(info.value) is OverflowError
        assert not str(info.value).startswith("argument")
    else:
        assert str(info.value) == message


class FsPath:
    def __init__(self, value):
        self.value = value

    def __fspath__(self):
        return self.value


class BrokenFsPath:
    def __fspath__(self):
        raise RuntimeError("boom")


@pytest.mark.parametrize(
    "path, type_name",
    [(b"/tmp", "bytes"), (7, "int"), (FsPath(b"/tmp"), "bytes"), (BrokenFsPath(), "BrokenFsPath")],
)
def test_path_type_errors(path, type_name):
    with pytest.raises(TypeError) as info:
        vellumtrace.parse(path, "Strict")  # the path is converted before the mode is checked
    assert str(info.value) == f"'{type_name}' object cannot be converted to 'PyString'"


def test_lone_surrogate_path():
    with pytest.raises(UnicodeEncodeError):
        vellumtrace.parse("\udcff")


def test_path_forms_give_the_same_result(history):
    expected = vellumtrace.parse(str(history))
    assert len(expected["events"]) == 2
    assert vellumtrace.parse(history) == expected
    assert vellumtrace.parse(FsPath(str(history))) == expected


@pytest.mark.parametrize("mode", ["Strict", "BEST_EFFORT", " strict", "strict ", ""])
def test_invalid_mode_is_refused_before_reading(mode):
    with pytest.raises(ValueError) as info:
        vellumtrace.parse("/nonexistent/anything", mode)
    assert str(info.value) == f"Invalid mode '{mode}': expected 'best_effort' or 'strict'"


def test_strict_mode_reaches_the_run(history):
    with open(history / "history.jsonl", "a") as f:
        f.write("{broken\n")
    report = vellumtrace.parse(history, "best_effort")
    assert [d["code"] for d in report["diagnostics"]] == ["invalid_json"]
    with pytest.raises(ValueError) as info:
        vellumtrace.parse(history, mode="strict")
    assert str(info.value).startswith("JSON parse error at ")


def test_missing_path_raises_plain_oserror(tmp_path):
    missing = tmp_path / "nowhere"
    with pytest.raises(OSError) as info:
        vellumtrace.parse(missing)
    assert type(info.value) is OSError
    assert str(info.value).startswith(f"I/O error at {missing}")
    assert info.value.errno is None and info.value.filename is None
    assert info.value.args == (str(info.value),)


class Index:
    def __index__(self):
        return 100


@pytest.mark.parametrize("size", [100, Index(), np.int64(100), True])
def test_size_options_reach_the_reader(history, size):
    report = vellumtrace.parse(history, max_line_size=size)
    messages = [d["message"] for d in report["diagnostics"]]
    limit = 1 if size is True else 100
    assert len(report["events"]) == (0 if size is True else 1)
    assert f"exceeds max_line_size {limit}, skipping." in messages[-1]


def test_unsigned_maximum_size_is_accepted(history):
    report = vellumtrace.parse(history, max_line_size=2**64 - 1, max_content_size=0)
    assert len(report["events"]) == 2 and report["diagnostics"] == []


@pytest.mark.parametrize("flag", [np.bool_(True), np.True_, True])
def test_numpy_booleans(history, flag):
    raws = [e["raw"] for e in vellumtrace.parse(history, include_raw=flag)["events"]]
    assert raws[0]["extra"] == [1, 2]
    none = vellumtrace.parse(history, include_raw=np.bool_(False))["events"]
    assert [e["raw"] for e in none] == [None, None]
    text = vellumtrace.to_json(history, pretty=np.False_, follow_symlinks=np.bool_(False))
    assert "\n  " not in text


def test_reimport_returns_the_same_module():
    assert importlib.import_module("vellumtrace") is vellumtrace
    saved = sys.modules.pop("vellumtrace")
    try:
        assert importlib.import_module("vellumtrace") is saved
    finally:
        sys.modules["vellumtrace"] = saved


SUBINTERPRETER_RUNNERS = {
    "_testcapi": "import _testcapi\n_testcapi.run_in_subinterp(CODE)",
    "_xxsubinterpreters": "import _xxsubinterpreters as xi\nxi.run_string(xi.create(), CODE)",
}


@pytest.mark.parametrize("runner", sorted(SUBINTERPRETER_RUNNERS))
def test_second_interpreter_cannot_import(runner, tmp_path):
    pytest.importorskip(runner)
    result = tmp_path / "result.txt"
    inner = textwrap.dedent(f"""
        try:
            import vellumtrace
            outcome = "imported"
        except ImportError as error:
            outcome = "ImportError: " + str(error)
        open({str(result)!r}, "w").write(outcome)
    """)
    script = f"import vellumtrace\nCODE = {inner!r}\n" + SUBINTERPRETER_RUNNERS[runner]
    script += "\nimport vellumtrace as again\nprint(again.parse.__name__)"
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "parse"
    assert result.read_text().startswith("ImportError: ")
