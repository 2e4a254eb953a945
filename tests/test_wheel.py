"""The repaired wheel, installed alone into a fresh virtual environment and used
from outside the clone with no library search path: its contents and tag, the
module and the program it installs, and where their libraries load from.

Runs when VELLUMTRACE_WHEEL names the wheel (`make test-wheel` does)."""

import json
import os
import pathlib
import platform
import re
import subprocess
import sys
import zipfile
from importlib import resources

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
WHEEL = os.environ.get("VELLUMTRACE_WHEEL", "")
VERSION = re.search(r'^version = "([^"]+)"', (ROOT / "pyproject.toml").read_text(), re.M).group(1)

pytestmark = pytest.mark.skipif(not WHEEL, reason="VELLUMTRACE_WHEEL names no wheel")


@pytest.fixture(scope="module")
def env(tmp_path_factory):
    """A virtualenv holding nothing but the wheel, and a working directory outside the clone."""
    base = tmp_path_factory.mktemp("wheel")
    prefix = base / "env"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(prefix)], check=True)
    subprocess.run([sys.executable, "-m", "pip", "--python", str(prefix / "bin" / "python"),
                    "install", "-q", "--no-index", "--no-deps", WHEEL], check=True)
    work = base / "work"
    work.mkdir()
    return prefix, work


def run(env, *command):
    prefix, work = env
    return subprocess.run(
        command, cwd=work, capture_output=True, text=True, timeout=300,
        env={"PATH": f"{prefix / 'bin'}:/usr/bin:/bin", "LD_LIBRARY_PATH": ""})


def module_query(env, expression):
    result = run(env, "python", "-c",
                 f"import json, vellumtrace; print(json.dumps({expression}))")
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def test_contents_and_tag():
    name = pathlib.Path(WHEEL).name
    tag = re.fullmatch(rf"vellumtrace-{re.escape(VERSION)}-cp39-abi3-(manylinux_\d+_\d+_"
                       rf"{platform.machine()})\.whl", name)
    assert tag, name
    members = zipfile.ZipFile(WHEEL).namelist()
    for member in ["vellumtrace.abi3.so", "vellumtrace.pyi", "vellumtrace-stubs/__init__.pyi",
                   "vellumtrace-stubs/py.typed", f"vellumtrace-{VERSION}.data/scripts/vellumtrace",
                   "dask_vellumtrace/__init__.py", "dask_vellumtrace/fleet.py"]:
        assert member in members
    entry_points = zipfile.ZipFile(WHEEL).read(f"vellumtrace-{VERSION}.dist-info/entry_points.txt").decode()
    assert "vellumtrace-fleet = dask_vellumtrace.fleet:main" in entry_points
    # The program links simdjson shared (Debian has no static archive of it):
    # the repair vendors it beside the module's, moves the native program into
    # the platform library directory and leaves a launcher that runs it.
    launcher = zipfile.ZipFile(WHEEL).read(f"vellumtrace-{VERSION}.data/scripts/vellumtrace")
    assert b"vellumtrace.scripts/vellumtrace" in launcher, launcher[:300]
    program = zipfile.ZipFile(WHEEL).read("vellumtrace.scripts/vellumtrace")
    assert program.startswith(b"\x7fELF"), program[:300]
    shown = subprocess.run([pathlib.Path(sys.executable).parent / "auditwheel", "show", WHEEL],
                           capture_output=True, text=True, timeout=300)
    assert f'consistent with the following platform tag: "{tag.group(1)}"' in " ".join(
        shown.stdout.split()), shown.stdout


def test_module_and_program_run(env):
    prefix, _ = env
    found = module_query(env, "[vellumtrace.__file__, vellumtrace.__version__]")
    assert pathlib.Path(found[0]).is_relative_to(prefix) and found[1] == VERSION
    report = module_query(env, f"vellumtrace.parse({str(SAMPLE)!r})")
    assert report["events"] and report["diagnostics"]
    version = run(env, "vellumtrace", "--version")
    assert (version.returncode, version.stdout.strip()) == (0, f"vellumtrace {VERSION}")
    program = run(env, "vellumtrace", str(SAMPLE), "--format", "jsonl", "-q", "--documented")
    assert program.returncode == 0, program.stderr
    assert program.stdout == module_query(env, f"vellumtrace.to_jsonl({str(SAMPLE)!r})")


def allowed_system_libraries():
    tag = re.search(r"-(manylinux_\d+_\d+)_", pathlib.Path(WHEEL).name).group(1)
    policies = json.loads(resources.files("auditwheel.policy")
                          .joinpath("manylinux-policy.json").read_text())
    return next(set(p["lib_whitelist"]) for p in policies if p["name"] == tag)


@pytest.mark.parametrize("installed", ["module", "program"])
def test_libraries_come_from_the_wheel_or_the_policy(env, installed):
    prefix, _ = env
    module = module_query(env, "vellumtrace.__file__")
    path = module if installed == "module" else str(
        pathlib.Path(module).parent / "vellumtrace.scripts" / "vellumtrace")
    listing = run(env, "ldd", path)
    assert listing.returncode == 0, listing.stderr
    loaded = dict(re.findall(r"^\s*(\S+) => (.+?) \(0x", listing.stdout, re.M))
    assert loaded and "not found" not in listing.stdout, listing.stdout
    allowed = allowed_system_libraries()
    outside = {name: where for name, where in loaded.items()
               if not pathlib.Path(where).is_relative_to(prefix) and name not in allowed}
    assert not outside, listing.stdout
    # Both parse lines with the wheel's own simdjson.
    simdjson = [where for name, where in loaded.items() if name.startswith("libsimdjson")]
    assert simdjson and pathlib.Path(simdjson[0]).is_relative_to(prefix), listing.stdout
