"""The folder a session report is written into: pages never written through
an entry already there (a link, a FIFO), pages of an earlier report removed
through its manifest and nothing else touched, and a folder that is complete
or unchanged when the run fails or is interrupted."""

import hashlib
import json
import os
import pathlib
import signal
import subprocess
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
MANIFEST = ".vellumtrace-manifest"


def history_home(base, sessions, start=0):
    """A Claude Code root of `sessions` history-only sessions, one page each."""
    root = base / ".claude"
    root.mkdir(parents=True, exist_ok=True)
    with open(root / "history.jsonl", "w") as f:
        for i in range(start, start + sessions):
            f.write(json.dumps({"display": f"prompt {i}", "pastedContents": {}, "timestamp": 1762159272000 + i,
                                "project": "/p", "sessionId": f"s-{i:05d}"}) + "\n")
    return root


def report(cli_path, root, out, fmt="html", check=True):
    result = subprocess.run([cli_path, str(root), "-q", "--format", fmt, "-o", str(out)],
                            capture_output=True, text=True, timeout=60)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def listing(folder):
    """Every entry of the folder: name -> (kind, content or link target)."""
    entries = {}
    for entry in os.scandir(folder):
        if entry.is_symlink():
            entries[entry.name] = ("link", os.readlink(entry.path))
        elif entry.is_file(follow_symlinks=False):
            entries[entry.name] = ("file", pathlib.Path(entry.path).read_bytes())
        else:
            entries[entry.name] = ("other", None)
    return entries


def manifest_names(folder):
    lines = (folder / MANIFEST).read_text().splitlines()
    for line in lines:
        digest, name = line.split("  ", 1)
        assert hashlib.sha256((folder / name).read_bytes()).hexdigest() == digest, name
    return {line.split("  ", 1)[1] for line in lines}


@pytest.mark.parametrize("fmt,page", [("html", "index.html"), ("markdown", "index.md"),
                                      ("html", "claude_code-s-00001.html")])
@pytest.mark.parametrize("entry", ["link", "dangling link", "fifo"])
def test_an_entry_named_like_a_page_is_replaced_never_written_through(cli_path, tmp_path, fmt, page, entry):
    root = history_home(tmp_path / "in", 3)
    out = tmp_path / "out"
    out.mkdir()
    victim = tmp_path / "victim.txt"
    victim.write_text("evidence")
    if entry == "link":
        (out / page).symlink_to("../victim.txt")
    elif entry == "dangling link":
        (out / page).symlink_to("../created-through-the-link.txt")
    else:
        os.mkfifo(out / page)
    report(cli_path, root, out, fmt)  # a FIFO opened for writing would block here (timeout)
    assert victim.read_text() == "evidence"
    assert not (tmp_path / "created-through-the-link.txt").exists()
    assert (out / page).is_file() and not (out / page).is_symlink()
    assert page in manifest_names(out)


def test_pages_of_an_earlier_report_are_removed_and_nothing_else(cli_path, tmp_path):
    out = tmp_path / "out"
    report(cli_path, history_home(tmp_path / "a", 4), out)
    first = manifest_names(out)
    assert {"index.html", "claude_code-s-00003.html"} <= first
    (out / "notes.txt").write_text("mine")
    (out / "claude_code-s-00002.html").write_text("edited by hand")  # no longer as written
    (out / "claude_code-unlisted.html").write_text("not the report's")
    # The second report holds sessions 2 to 5: 0 and 1 are gone, 3 stays.
    report(cli_path, history_home(tmp_path / "b", 4, start=2), out)
    names = set(os.listdir(out))
    second = manifest_names(out)
    assert second == {"index.html"} | {f"claude_code-s-{i:05d}.html" for i in range(2, 6)}
    assert not names & {"claude_code-s-00000.html", "claude_code-s-00001.html"}
    assert {"notes.txt", "claude_code-unlisted.html"} <= names
    # Rewritten by the second report (it is one of its pages).
    assert "prompt 2" in (out / "claude_code-s-00002.html").read_text()
    # A Markdown report into the folder removes the HTML pages it listed.
    report(cli_path, history_home(tmp_path / "c", 1), out, "markdown")
    assert {p for p in os.listdir(out) if p.endswith(".html")} == {"claude_code-unlisted.html"}


@pytest.mark.parametrize("line", [
    "{digest}  ../victim.txt",
    "{digest}  /tmp/victim.txt",
    "{digest}  .hidden.html",
    "{digest}  sub/page.html",
    "{upper}  victim.html",
])
def test_a_manifest_never_removes_what_is_not_a_page_of_the_folder(cli_path, tmp_path, line):
    out = tmp_path / "out"
    out.mkdir()
    victim = tmp_path / "victim.txt"
    victim.write_text("evidence")
    for name in ("victim.html", ".hidden.html"):
        (out / name).write_text("evidence")
    (out / "sub").mkdir()
    (out / "sub" / "page.html").write_text("evidence")
    digest = hashlib.sha256(b"evidence").hexdigest()
    (out / MANIFEST).write_text(line.format(digest=digest, upper=digest.upper()) + "\n")
    report(cli_path, history_home(tmp_path / "in", 1), out)
    assert victim.read_text() == "evidence"
    assert all((out / n).read_text() == "evidence" for n in ("victim.html", ".hidden.html", "sub/page.html"))


def test_a_failed_report_leaves_the_folder_unchanged(cli_path, tmp_path):
    out = tmp_path / "out"
    report(cli_path, history_home(tmp_path / "a", 2), out)
    (out / "claude_code-s-00004.html").mkdir()  # a page of the next run cannot take its name
    before = listing(out)
    result = report(cli_path, history_home(tmp_path / "b", 5), out, check=False)
    assert result.returncode == 1 and "Is a directory" in result.stderr
    assert listing(out) == before


@pytest.mark.parametrize("earlier", [True, False], ids=["over an earlier report", "into folders not there"])
@pytest.mark.parametrize("delay", [0.05, 0.15, 0.3, 0.6])
def test_an_interrupted_report_leaves_the_folder_complete_or_unchanged(cli_path, tmp_path, delay, earlier):
    root = history_home(tmp_path / "in", 4000)
    out = tmp_path / "new" / "out"
    if earlier:
        report(cli_path, history_home(tmp_path / "old", 3), out)
    before = listing(out) if earlier else None
    process = subprocess.Popen([cli_path, str(root), "-q", "--format", "html", "-o", str(out)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    time.sleep(delay)
    process.send_signal(signal.SIGINT)
    status = process.wait(timeout=60)
    after = listing(out) if out.exists() else None
    if after != before:
        # Complete: every page of the new report, as its manifest says.
        assert manifest_names(out) == {"index.html"} | {f"claude_code-s-{i:05d}.html" for i in range(4000)}
        assert set(after) == manifest_names(out) | {MANIFEST}
    else:
        assert status == 130
    assert not [n for n in after or () if ".partial-" in n]
    # Folders the run created are gone with it.
    assert after is not None or not (tmp_path / "new").exists()
