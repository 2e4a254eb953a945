"""Shared fixtures: the real-data corpus beside the project and the command-line program."""

import os
import pathlib
import shutil
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
# Beside the checkout, or where VELLUMTRACE_CORPUS says (a worktree elsewhere).
CORPUS = pathlib.Path(os.environ.get("VELLUMTRACE_CORPUS") or ROOT.parent / "shared" / "corpus")


@pytest.fixture(scope="session")
def corpus_dir() -> pathlib.Path:
    """Real agent files from public repositories, read in place (never copied)."""
    if not CORPUS.is_dir():
        pytest.skip("real-data corpus not present")
    return CORPUS


@pytest.fixture(scope="session")
def cli_path() -> str:
    """The native command-line program of the build under test."""
    build_dir = os.environ.get("VELLUMTRACE_BUILD_DIR")
    if build_dir:
        candidate = pathlib.Path(build_dir) / "vellumtrace"
        if candidate.is_file():
            return str(candidate)
    candidate = pathlib.Path(sys.executable).parent / "vellumtrace"
    if candidate.is_file():
        return str(candidate)
    found = shutil.which("vellumtrace")
    if not found:
        pytest.fail("the vellumtrace program is not built")
    return found


@pytest.fixture(scope="session", autouse=True)
def settled_sample_access_times() -> None:
    """Read every sample file once before any test compares two runs.

    On a fresh clone a file's access time equals its change time, so the first
    read moves it (relatime); afterwards reads leave it alone. Without this, the
    first two runs over the sample would differ in `fs_times.accessed`.
    """
    for path in (ROOT / "examples").rglob("*"):
        if path.is_file() and not path.is_symlink():
            path.read_bytes()


AGENTS_CORPUS = pathlib.Path(
    os.environ.get("VELLUMTRACE_AGENTS_CORPUS") or ROOT.parent / "shared" / "agents-corpus")


@pytest.fixture(scope="session")
def agents_corpus_dir() -> pathlib.Path:
    """Real files of the agents beyond Claude Code and Codex (Gemini CLI,
    Copilot CLI, Aider), read in place; VELLUMTRACE_AGENTS_CORPUS points a
    worktree elsewhere at it."""
    if not AGENTS_CORPUS.is_dir():
        pytest.skip("agents corpus not present")
    return AGENTS_CORPUS


@pytest.fixture(scope="module")
def browser():
    """A headless Chromium (the session report tests), or a skip without one."""
    from report_browser import Browser, find_browser

    executable = find_browser()
    if executable is None:
        pytest.skip("no Chromium on this machine (make test installs it)")
    opened = Browser(executable)
    yield opened
    opened.close()
