"""The rendering functions: what they return, what `convert` writes, and its order of checks."""

import json
import os

import pytest

import vellumtrace


@pytest.fixture
def root(tmp_path):
    """A Codex root with prompts (one of them with a multi-line message) and an attachment."""
    root = tmp_path / "in" / ".codex"
    (root / "attachments" / "a1").mkdir(parents=True)
    lines = [{"session_id": "s1", "text": f"prompt {i}\nsecond line, \"quoted\"", "ts": 1700000000 + i}
             for i in range(50)]
    (root / "history.jsonl").write_text("".join(json.dumps(x) + "\n" for x in lines))
    attached = root / "attachments" / "a1" / "notes.txt"
    attached.write_text("attached text")
    # An access time ahead of the change time is not bumped by reads (relatime), so
    # runs over the same tree can be compared.
    stat = attached.stat()
    os.utime(attached, (stat.st_mtime + 86000, stat.st_mtime))
    return root


@pytest.fixture
def out_dir(tmp_path):
    path = tmp_path / "out"
    path.mkdir()
    return path


def test_to_json_pretty_and_compact(root):
    expected = vellumtrace.parse(root)
    pretty = vellumtrace.to_json(root)
    compact = vellumtrace.to_json(root, pretty=False)
    assert type(pretty) is str and type(compact) is str
    assert json.loads(pretty) == json.loads(compact) == expected
    assert "\n  " in pretty and "\n " not in compact
    assert vellumtrace.to_json(root, "best_effort", False, False, False) == compact


def test_to_jsonl_is_one_event_per_line(root):
    expected = vellumtrace.parse(root, include_raw=True)["events"]
    text = vellumtrace.to_jsonl(root, include_raw=True)
    assert text.endswith("\n")
    assert [json.loads(line) for line in text.splitlines()] == expected


def test_to_csv_options_in_their_own_positional_order(root):
    plain = vellumtrace.to_csv(root)
    with_content = vellumtrace.to_csv(root, "best_effort", True)
    assert with_content == vellumtrace.to_csv(root, include_content=True)
    assert "attached text" in with_content and "attached text" not in plain
    assert "prompt 7" in plain
    assert "prompt 7" not in vellumtrace.to_csv(root, "best_effort", False, False)


@pytest.mark.parametrize(
    "fmt, render",
    [
        ("json", lambda p: vellumtrace.to_json(p, include_raw=True)),  # the file is always pretty
        ("jsonl", lambda p: vellumtrace.to_jsonl(p, include_raw=True)),
        ("csv", lambda p: vellumtrace.to_csv(p, include_message=False, include_raw=True)),
    ],
)
def test_convert_writes_what_the_string_functions_return(root, out_dir, fmt, render):
    target = out_dir / f"report.{fmt}"
    assert vellumtrace.convert(root, target, fmt, include_raw=True, include_message=False) is None
    assert target.read_text(encoding="utf-8") == render(root)


def test_convert_truncates_an_existing_file(root, out_dir):
    target = out_dir / "report.jsonl"
    target.write_text("x" * 1_000_000)
    vellumtrace.convert(str(root), str(target), format="jsonl")
    assert target.read_text() == vellumtrace.to_jsonl(root)


@pytest.mark.parametrize(
    "case, exc, prefix",
    [
        ("bad input, bad format, bad output", OSError, "I/O error at "),
        ("bad format, bad output", ValueError,
         "Invalid format 'JSON': expected 'json', 'jsonl', or 'csv'"),
        ("bad format", ValueError, "Invalid format 'JSON': expected 'json', 'jsonl', or 'csv'"),
        ("bad output", OSError, "Cannot create '{out}': No such file or directory"),
        ("strict stop", ValueError, "JSON parse error at "),
    ],
)
def test_convert_order_of_checks(root, out_dir, case, exc, prefix):
    source = root if "bad input" not in case else root.parent / "missing"
    fmt = "JSON" if "bad format" in case else "csv"
    target = out_dir / "report.out"
    if "bad output" in case:
        target = out_dir / "no-such-dir" / "report.out"
    else:
        target.write_text("previous content")
    mode = "best_effort"
    if case == "strict stop":
        with open(root / "history.jsonl", "a") as f:
            f.write("{broken\n")
        mode = "strict"
    with pytest.raises(exc) as info:
        vellumtrace.convert(source, target, fmt, mode)
    assert str(info.value).startswith(prefix.format(out=target))
    if "bad output" in case:
        assert not target.parent.exists()
    else:
        assert target.read_text() == "previous content"  # never created nor truncated


def test_convert_path_errors_come_before_the_mode(root):
    with pytest.raises(TypeError) as info:
        vellumtrace.convert(root, 42, mode="Strict")
    assert str(info.value) == "'int' object cannot be converted to 'PyString'"
    with pytest.raises(TypeError) as info:
        vellumtrace.convert(b"input", b"output")
    assert str(info.value) == "'bytes' object cannot be converted to 'PyString'"


@pytest.mark.parametrize(
    "fmt, families",
    [
        ("json", ["JSON serialization error: "]),
        ("jsonl", ["JSON serialization error: ", "I/O write error: ", "I/O flush error: "]),
        ("csv", ["CSV header write error: ", "CSV record write error: ", "CSV flush error: "]),
    ],
)
def test_full_device_gives_write_errors(root, fmt, families):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full on this system")
    with pytest.raises(ValueError) as info:
        vellumtrace.convert(root, "/dev/full", fmt)
    text = str(info.value)
    assert any(text.startswith(f) for f in families), text
    assert text.endswith(os.strerror(28))  # ENOSPC


@pytest.mark.parametrize("func", [vellumtrace.to_json, vellumtrace.to_jsonl, vellumtrace.to_csv])
def test_string_functions_raise_run_errors(tmp_path, func):
    with pytest.raises(OSError) as info:
        func(tmp_path / "missing")
    assert str(info.value).startswith(f"I/O error at {tmp_path / 'missing'}")


def test_empty_report_renders(tmp_path):
    (tmp_path / ".codex").mkdir()
    assert json.loads(vellumtrace.to_json(tmp_path / ".codex")) == {"events": [], "diagnostics": []}
    assert vellumtrace.to_jsonl(tmp_path / ".codex") == ""
    assert vellumtrace.to_csv(tmp_path / ".codex").count("\n") == 1
