"""vellumtrace-fleet as a person meets it: usage errors and missing optional
packages in one line with exit status 2 (no traceback), --help without
pandas or Dask, and inputs that could not be read counted and named at the
end with exit status 1."""

import io
import json
import os
import pathlib
import subprocess
import sys
import tarfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent

# Runs the command as on a machine without some packages: importing them
# fails as a missing module does.
RUNNER = """
import sys
blocked = {m for m in sys.argv[1].split(",") if m}
class Missing:
    def find_spec(self, name, path=None, target=None):
        if name.split(".")[0] in blocked:
            raise ModuleNotFoundError(f"No module named {name!r}", name=name)
sys.meta_path.insert(0, Missing())
from dask_vellumtrace import fleet
sys.exit(fleet.main(sys.argv[2:]))
"""


def fleet(args, blocked=(), cwd=None):
    env = dict(os.environ)
    paths = [str(ROOT / "python")]
    build = os.environ.get("VELLUMTRACE_BUILD_DIR")
    if build:
        paths.append(build)
    env["PYTHONPATH"] = os.pathsep.join(paths + [env.get("PYTHONPATH", "")])
    return subprocess.run([sys.executable, "-c", RUNNER, ",".join(blocked), *map(str, args)],
                          capture_output=True, text=True, env=env, cwd=cwd, timeout=300)


def one_line(result):
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("vellumtrace-fleet: "), result.stderr
    assert "Traceback" not in result.stderr
    return lines[0]


@pytest.mark.parametrize("args,blocked,says", [
    (["x.tgz"], (), "-o/--output"),
    (["x.tgz", "-o", "out", "--no-such-option"], (), "unrecognized arguments"),
    # Missing optional packages: the import is what fails, not the arguments.
    (["x.tgz", "-o", "out"], ("pandas",), "needs the Python package pandas: pip install 'vellumtrace[dask]'"),
    (["x.tgz", "-o", "out"], ("dask",), "needs the Python package dask"),
    (["x.tgz", "-o", "out"], ("pyarrow",), "needs the Python package pyarrow"),
    # The README's own example on a machine without s3fs.
    (["s3://bucket/hosts/*.tar.gz", "-o", "out"], ("s3fs",), "s3fs"),
    (["no-such-folder/*.tgz", "-o", "out"], (), "matched nothing"),
])
def test_usage_errors_and_missing_packages_are_one_line_and_status_2(tmp_path, args, blocked, says):
    result = fleet(args, blocked, cwd=tmp_path)
    assert result.returncode == 2, result.stderr
    assert says in one_line(result)
    assert not (tmp_path / "out").exists()


@pytest.mark.parametrize("blocked", [(), ("pandas", "dask", "pyarrow", "fsspec")])
def test_help_needs_no_optional_package(blocked):
    result = fleet(["--help"], blocked)
    assert result.returncode == 0 and result.stderr == ""
    assert "usage: vellumtrace-fleet" in result.stdout and "Exit status" in result.stdout


def archive(path, members):
    with tarfile.open(path, "w:gz") as tar:
        for name, data in members.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return path


def test_unreadable_archives_are_counted_named_and_status_1(tmp_path):
    pytest.importorskip("dask.dataframe")
    pytest.importorskip("pyarrow.parquet")
    history = "".join(json.dumps({"display": f"p{i}", "pastedContents": {}, "timestamp": 1762159272000 + i,
                                  "project": "/p", "sessionId": f"s{i}"}) + "\n" for i in range(3)).encode()
    hosts = tmp_path / "hosts"
    hosts.mkdir()
    for good in ("alpha", "bravo", "charlie"):
        archive(hosts / f"{good}.tar.gz", {".claude/history.jsonl": history})
    (hosts / "truncated.tar.gz").write_bytes((hosts / "alpha.tar.gz").read_bytes()[:40])
    archive(hosts / "escape.tar.gz", {"../outside.txt": b"x"})
    result = fleet([hosts / "*", "-o", tmp_path / "out"])
    assert result.returncode == 1, result.stderr
    assert "Traceback" not in result.stderr
    lines = [l for l in result.stderr.splitlines() if l.startswith("vellumtrace-fleet: ")]
    assert lines[0] == "vellumtrace-fleet: 2 of 5 inputs could not be read (no events; a diagnostic row each):"
    named = sorted(l.split(": ")[1] for l in lines[1:])
    assert named == ["escape", "truncated"]
    assert (tmp_path / "out" / "events").is_dir() and (tmp_path / "out" / "diagnostics").is_dir()


def test_every_input_read_is_status_0(tmp_path):
    pytest.importorskip("dask.dataframe")
    pytest.importorskip("pyarrow.parquet")
    home = tmp_path / "host" / ".claude"
    home.mkdir(parents=True)
    (home / "history.jsonl").write_text(json.dumps({"display": "p", "pastedContents": {}, "timestamp": 1762159272000,
                                                    "project": "/p", "sessionId": "s"}) + "\n")
    result = fleet([tmp_path / "host", "-o", tmp_path / "out"])
    assert result.returncode == 0, result.stderr
    assert "could not be read" not in result.stderr
