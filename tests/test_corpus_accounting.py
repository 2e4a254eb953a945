"""Nothing in a real Codex tree is silently lost.

Every Codex root of the corpus is parsed in best-effort mode; every non-blank
line of every history and rollout file it reads must show up as an event or a
diagnostic naming that line, and every attachment as an event or a diagnostic
naming the file. Every file under a Codex root must also parse on its own in
both modes without crashing (a clean refusal is fine).
"""

import collections
import hashlib

import vellumtrace

# The white space a line is trimmed of before it counts as blank.
WHITESPACE = "\t\n\v\f\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) + "\u2028\u2029\u202f\u205f\u3000"


def is_blank(raw):
    try:
        return raw.decode("utf-8").rstrip("\r").strip(WHITESPACE) == ""
    except UnicodeDecodeError:
        return False


def codex_roots(corpus):
    return sorted(p for p in corpus.rglob(".codex") if p.is_dir() and not p.is_symlink())


def read_members(root):
    """The files a root run reads, by kind."""
    lines = [root / "history.jsonl"] if (root / "history.jsonl").is_file() else []
    for sessions in ("sessions", "archived_sessions"):
        if (root / sessions).is_dir():
            lines += sorted(p for p in (root / sessions).rglob("rollout-*.jsonl") if p.is_file())
    whole = sorted(p for p in (root / "attachments").rglob("*") if p.is_file()) if (root / "attachments").is_dir() else []
    return lines, whole


def test_every_line_and_attachment_is_accounted_for(corpus_dir):
    roots = codex_roots(corpus_dir)
    checked_lines = 0
    missing = []
    for root in roots:
        report = vellumtrace.parse(root)
        located = collections.defaultdict(set)
        for rec in report["events"] + [d for d in report["diagnostics"] if d["source"]]:
            located[rec["source"]["relative_path"]].add(rec["source"]["line_number"])
        line_files, whole_files = read_members(root)
        for path in line_files:
            rel = path.relative_to(root).as_posix()
            raw_lines = path.read_bytes().split(b"\n")
            for number, raw in enumerate(raw_lines, start=1):
                if not is_blank(raw):
                    checked_lines += 1
                    if number not in located[rel]:
                        missing.append(f"{root}: {rel} line {number}")
            # No event or diagnostic points at a blank or non-existent line.
            assert all(n is None or (n <= len(raw_lines) and not is_blank(raw_lines[n - 1])) for n in located[rel])
        missing += [f"{root}: {p}" for p in whole_files if p.relative_to(root).as_posix() not in located]
        for event in report["events"]:
            if event["event_type"] == "unknown":
                assert [w.startswith("Unmapped Codex record type: ") for w in event["warnings"]] == [True]
    assert missing == []
    assert len(roots) >= 5 and checked_lines >= 3000


def test_every_codex_file_parses_in_both_modes(corpus_dir):
    for root in codex_roots(corpus_dir):
        per_file = collections.Counter(e["source"]["relative_path"] for e in vellumtrace.parse(root)["events"])
        for path in sorted(p for p in root.rglob("*") if p.is_file()):
            rel = path.relative_to(root).as_posix()
            results = {}
            for mode in ("best_effort", "strict"):
                try:
                    results[mode] = vellumtrace.parse(path, mode=mode)
                except ValueError as error:
                    # Files no reader takes (indexes, legacy sessions) are refused cleanly.
                    assert str(error).startswith(("Cannot auto-detect", "Strict mode: ", "JSON parse error")), rel
            if rel in per_file:
                # Read alone, a member file gives the same events as in its root's run.
                assert len(results["best_effort"]["events"]) == per_file[rel], rel


def test_every_claude_cache_and_snapshot_file_is_one_event(corpus_dir):
    """Each cached file shows up once: as the file an attachment resolved to, or
    as its own orphan; each snapshot as one `file_snapshot` event. Real paste
    names are the first 16 hex digits of the content's SHA-256, and image
    pastes never appear in the history, so every cached image is an orphan."""
    # Roots of the documented reading (a `.claude` holding transcripts alone is not one).
    roots = sorted(p for p in corpus_dir.rglob(".claude") if p.is_dir() and not p.is_symlink()
                   and any((p / part).exists() for part in ("history.jsonl", "paste-cache", "image-cache", "file-history")))
    counted = collections.Counter()
    for root in roots:
        report = vellumtrace.parse(root)
        assert not [d for d in report["diagnostics"]
                    if d["code"] in ("ambiguous_reference", "hash_mismatch", "unreadable_artifact")]
        own = collections.Counter(e["source"]["relative_path"] for e in report["events"]
                                  if e["event_type"] in ("orphan_cache", "file_snapshot"))
        resolved = {e["artifact"]["resolved_path"]: e["artifact"] for e in report["events"]
                    if e["artifact"] and e["artifact"]["resolved_path"]}
        for part, kind in (("paste-cache", "paste"), ("image-cache", "image"), ("file-history", "snapshot")):
            for path in sorted(p for p in (root / part).rglob("*") if p.is_file()) if (root / part).is_dir() else []:
                rel = path.relative_to(root).as_posix()
                digest = hashlib.sha256(path.read_bytes()).hexdigest()
                assert own[rel] + (rel in resolved) == 1, rel
                if rel in resolved:
                    assert resolved[rel]["sha256"] == digest and digest.startswith(path.stem), rel
                assert kind != "image" or own[rel] == 1, rel
                if part == "file-history" or path.parent.name == part:
                    # Read alone, the file is one event with the same facts.
                    (alone,) = vellumtrace.parse(path)["events"]
                    assert alone["artifact"]["sha256"] == digest, rel
                counted[kind] += 1
    assert counted["paste"] >= 14 and counted["image"] >= 5 and counted["snapshot"] >= 354


def test_every_claude_history_line_is_accounted_for(corpus_dir):
    histories = sorted(p for p in corpus_dir.glob("*/.claude/history.jsonl") if p.is_file())
    checked_lines = 0
    missing = []
    for path in histories:
        report = vellumtrace.parse(path)
        located = {rec["source"]["line_number"] for rec in report["events"] + report["diagnostics"]}
        raw_lines = path.read_bytes().split(b"\n")
        for number, raw in enumerate(raw_lines, start=1):
            if not is_blank(raw):
                checked_lines += 1
                if number not in located:
                    missing.append(f"{path} line {number}")
        assert all(n <= len(raw_lines) and not is_blank(raw_lines[n - 1]) for n in located)
        # One prompt per object line, each followed by its own line's attachments.
        prompt_line = None
        for event in report["events"]:
            if event["event_type"] == "prompt_input":
                assert event["source"]["line_number"] != prompt_line
                prompt_line = event["source"]["line_number"]
            else:
                assert event["source"]["line_number"] == prompt_line
    assert missing == []
    assert len(histories) >= 3 and checked_lines >= 6000
