"""The program's documented reading against the five Python functions over
every place of the real-data corpus: each home, each `.claude` and `.codex`
root in it, and each Claude Code `projects` folder named explicitly. Every
function with a set of its options gives byte for byte what the program
gives with `--documented` and the same options, and where a function refuses
a place (a `.claude` holding no documented part, or a strict run's first
error), the program ends with the same error."""

import json
import subprocess

import pytest

import vellumtrace

# (function, its keyword arguments, the program's options for the same output)
FUNCTIONS = {
    "parse": ("parse", {}, ["-f", "json"]),
    "to_json raw, strict": ("to_json", {"include_raw": True, "mode": "strict"}, ["-f", "json", "--include-raw", "--strict"]),
    "to_jsonl content, raw": ("to_jsonl", {"include_content": True, "include_raw": True},
                              ["-f", "jsonl", "--include-content", "--include-raw"]),
    "to_csv content, no message": ("to_csv", {"include_content": True, "include_message": False},
                                   ["-f", "csv", "--include-content", "--no-message"]),
    "convert jsonl": ("convert", {"format": "jsonl"}, ["-f", "jsonl"]),
    "convert csv strict": ("convert", {"format": "csv", "mode": "strict"}, ["-f", "csv", "--strict"]),
}


def places(corpus_dir):
    homes = sorted(p for p in corpus_dir.iterdir() if p.is_dir())
    roots = sorted(p for pattern in ("*/.claude", "*/.codex") for p in corpus_dir.glob(pattern))
    return homes + roots + sorted(corpus_dir.glob("*/.claude/projects"))


def function_output(name, kwargs, place, tmp_path):
    if name == "parse":
        return vellumtrace.parse(place, **kwargs)
    if name == "convert":
        target = tmp_path / "converted"
        assert vellumtrace.convert(place, target, **kwargs) is None
        return target.read_bytes().decode()
    return getattr(vellumtrace, name)(place, **kwargs)


@pytest.mark.parametrize("name, kwargs, options", FUNCTIONS.values(), ids=FUNCTIONS.keys())
def test_documented_program_equals_python_functions_on_corpus(corpus_dir, cli_path, tmp_path, name, kwargs, options):
    compared = 0
    for place in places(corpus_dir):
        result = subprocess.run([cli_path, place, "--documented", "-q", *options], capture_output=True, timeout=600)
        try:
            expected = function_output(name, kwargs, place, tmp_path)
        except ValueError as error:
            assert (result.returncode, result.stderr.decode()) == (1, f"vellumtrace: {error}\n"), place
            assert result.stdout == b"", place
            continue
        assert result.returncode == 0, (place, result.stderr[-2000:])
        got = json.loads(result.stdout) if name == "parse" else result.stdout.decode()
        assert got == expected, place
        compared += 1
    assert compared >= 35
