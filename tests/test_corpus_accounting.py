"""Nothing in a real Codex tree is silently lost.

Every Codex root of the corpus is parsed in best-effort mode, and every
non-blank line of every history and rollout file it reads must show up as an
event or as a diagnostic naming that line; every attachment must show up as an
event or a diagnostic naming the file. Every file under a Codex root must also
parse on its own in both modes without crashing (a clean refusal is fine).
"""

import collections

import pytest

import vellumtrace

# The white space a line is trimmed of before it counts as blank.
WHITESPACE = "\t\n\v\f\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) + "\u2028\u2029\u202f\u205f\u3000"


def is_blank(raw: bytes) -> bool:
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return text.rstrip("\r").strip(WHITESPACE) == ""


def codex_roots(corpus):
    return sorted(p for p in corpus.rglob(".codex") if p.is_dir() and not p.is_symlink())


def line_files(root):
    """The files a root run reads line by line, as paths relative to the root."""
    files = []
    if (root / "history.jsonl").is_file():
        files.append(root / "history.jsonl")
    if (root / "sessions").is_dir():
        files += sorted(p for p in (root / "sessions").rglob("rollout-*.jsonl") if p.is_file())
    return files


def attachment_files(root):
    if not (root / "attachments").is_dir():
        return []
    return sorted(p for p in (root / "attachments").rglob("*") if p.is_file() and not p.is_symlink())


def test_corpus_has_codex_roots(corpus_dir):
    roots = codex_roots(corpus_dir)
    assert len(roots) >= 5
    assert sum(len(line_files(r)) for r in roots) >= 40


def test_every_line_and_attachment_is_accounted_for(corpus_dir):
    missing = []
    for root in codex_roots(corpus_dir):
        report = vellumtrace.parse(root)
        located = collections.defaultdict(set)
        for record in report["events"] + [d for d in report["diagnostics"] if d["source"]]:
            located[record["source"]["relative_path"]].add(record["source"]["line_number"])
        for path in line_files(root):
            rel = path.relative_to(root).as_posix()
            for number, raw in enumerate(path.read_bytes().split(b"\n"), start=1):
                if not is_blank(raw) and number not in located[rel]:
                    missing.append(f"{root}: {rel} line {number}")
        for path in attachment_files(root):
            rel = path.relative_to(root).as_posix()
            if rel not in located:
                missing.append(f"{root}: {rel}")
        for event in report["events"]:
            if event["event_type"] == "unknown":
                assert len(event["warnings"]) == 1
                assert event["warnings"][0].startswith("Unmapped Codex record type: ")
    assert missing == []


def test_only_real_lines_become_events(corpus_dir):
    for root in codex_roots(corpus_dir):
        report = vellumtrace.parse(root)
        lines = {p.relative_to(root).as_posix(): p.read_bytes().split(b"\n") for p in line_files(root)}
        for event in report["events"]:
            source = event["source"]
            if source["line_number"] is None:
                continue
            raw = lines[source["relative_path"]][source["line_number"] - 1]
            assert not is_blank(raw), source


def test_every_codex_file_parses_in_both_modes(corpus_dir):
    for root in codex_roots(corpus_dir):
        whole = vellumtrace.parse(root)
        per_file = collections.Counter(e["source"]["relative_path"] for e in whole["events"])
        for path in sorted(p for p in root.rglob("*") if p.is_file()):
            rel = path.relative_to(root).as_posix()
            results = {}
            for mode in ("best_effort", "strict"):
                try:
                    results[mode] = vellumtrace.parse(path, mode=mode)
                except ValueError as error:
                    # Files no reader takes (indexes, archived or legacy sessions) are refused cleanly.
                    assert str(error).startswith(("Cannot auto-detect", "Strict mode: ", "JSON parse error")), rel
                    assert rel not in per_file or mode == "strict", rel
            if rel in per_file:
                # Read alone, a member file gives the same events as in its root's run.
                assert len(results["best_effort"]["events"]) == per_file[rel], rel
