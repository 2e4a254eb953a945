"""Session reports of the program (--format markdown / html): what a page
holds, safe file names, redaction, tokens, and the HTML pages in a real
headless browser (no console errors, no requests, the context toggle, inert
payloads), with screenshots saved under build/report-shots."""

import html.parser
import json
import pathlib
import re
import subprocess

import pytest

from conftest import CORPUS

ROOT = pathlib.Path(__file__).resolve().parent.parent
SAMPLE = ROOT / "examples" / "agents"
SHOTS = ROOT / "build" / "report-shots"
CORPUS_ROOT = "xu-wentao-dotfile"  # both agents, transcripts and rollouts
TS = "2025-06-01T10:00:{:02d}.000Z"
PAYLOAD = "</script><img src=x onerror=alert(1)>"
LINK = "[click](javascript:alert(2)) <a href=\"javascript:alert(3)\">there</a>"
LONG = "\n".join(f"line {i} " + "x" * 70 for i in range(60))


def record(session, n, kind, uuid=None, **fields):
    return {"type": kind, "sessionId": session, "cwd": "/w", "gitBranch": "main", "uuid": uuid or f"u{n}",
            "timestamp": TS.format(n), **fields}


def user(session, n, content, **fields):
    return record(session, n, "user", message={"role": "user", "content": content}, **fields)


def assistant(session, n, blocks, msg_id, usage=None, **fields):
    message = {"id": msg_id, "model": "claude-x", "role": "assistant", "content": blocks,
               "usage": usage or {"input_tokens": 0, "output_tokens": 0}}
    return record(session, n, "assistant", message=message, **fields)


def tool_use(ident, command):
    return {"type": "tool_use", "id": ident, "name": "Bash", "input": {"command": command}}


def tool_result(ident, text):
    return {"type": "tool_result", "tool_use_id": ident, "content": text}


def write_lines(path, lines):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("".join(json.dumps(line) + "\n" for line in lines))


HOSTILE = "s-hostile"


def hostile_tree(base):
    """A Claude Code root whose texts try to break out of their place."""
    s = HOSTILE
    write_lines(base / ".claude" / "projects" / "-w" / f"{s}.jsonl", [
        user(s, 1, PAYLOAD),
        user(s, 2, "<system-reminder>injected by the harness</system-reminder>", isMeta=True),
        # Two calls in one message, their results in the opposite order.
        assistant(s, 3, [tool_use("t1", "echo one"), tool_use("t2", "echo '<script>alert(4)</script>'")], "m1",
                  {"input_tokens": 10, "output_tokens": 5}),
        user(s, 4, [tool_result("t2", "two-output </details> ``` \u2028 " + LINK)]),
        user(s, 5, [tool_result("t1", "one-output")]),
        assistant(s, 6, [{"type": "text", "text": LINK + " <b onmouseover=alert(5)>bold</b>"}], "m2",
                  {"input_tokens": 1, "output_tokens": 2}),
        assistant(s, 7, [tool_use("t3", "cat big.log")], "m3"),
        user(s, 8, [tool_result("t3", LONG)]),
    ])
    # A file name that would end a fold's HTML block and open a tag.
    write_lines(base / ".claude" / "projects" / "-w" / "odd\n\n<img src=x onerror=alert(8)>.jsonl", [
        assistant(s, 10, [tool_use("t4", "ls")], "m4", uuid="u10b"),
        user(s, 11, [tool_result("t4", "listing")], uuid="u11b"),
    ])
    # A sub-agent file repeating the first API message: counted once.
    write_lines(base / ".claude" / "projects" / "-w" / s / "subagents" / "agent-a1.jsonl", [
        assistant(s, 9, [{"type": "text", "text": "sub-agent says hi"}], "m1",
                  {"input_tokens": 10, "output_tokens": 5}, isSidechain=True, uuid="u9b"),
    ])
    return base / ".claude"


def run(cli_path, paths, *options, check=True):
    result = subprocess.run([cli_path, *map(str, paths), "-q", *options], capture_output=True, text=True)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def events(cli_path, paths):
    out = run(cli_path, paths, "--format", "jsonl").stdout
    return [json.loads(line) for line in out.split("\n") if line]


class TextOf(html.parser.HTMLParser):
    """The text of an HTML document, and the tags and attributes it holds."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts, self.tags = [], []

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))

    def handle_data(self, data):
        self.parts.append(data)

    def text(self):
        return "".join(self.parts)


def parsed(html_text):
    parser = TextOf()
    parser.feed(html_text)
    return parser


def flat(text):
    """Whitespace runs as one blank, and control characters as the pages show them."""
    text = re.sub(r"[\x00-\x08\x0b-\x1f]", lambda m: chr(0x2400 + ord(m.group())), text.replace("\r\n", "\n"))
    return " ".join(text.replace("\xa0", " ").split())


@pytest.fixture(scope="module")
def inputs(tmp_path_factory, request):
    """The report inputs by name: the bundled sample, a hostile tree, a corpus root."""
    hostile = hostile_tree(tmp_path_factory.mktemp("hostile"))
    corpus = CORPUS / CORPUS_ROOT
    return {"sample": SAMPLE, "hostile": hostile, "corpus": corpus}


def input_path(inputs, name):
    path = inputs[name]
    if not path.exists():
        pytest.skip("real-data corpus not present")
    return path


def page_of(out_dir, provider, session, ext):
    """The page whose title names the session."""
    pages = [p for p in out_dir.glob(f"{provider}-*.{ext}") if session in p.read_text()[:400]]
    assert len(pages) == 1, pages
    return pages[0]


@pytest.mark.parametrize("name", ["sample", "hostile", "corpus"])
def test_markdown_holds_every_prompt_and_tool_call(cli_path, inputs, tmp_path, name):
    path = input_path(inputs, name)
    run(cli_path, [path], "--format", "markdown", "-o", tmp_path)
    from markdown_it import MarkdownIt

    renderer = MarkdownIt("commonmark").enable("table")
    by_session = {}
    for e in events(cli_path, [path]):
        if e["session_id"] and e["source"]["artifact_kind"] in ("transcript", "session") or (
                e["session_id"] and e["source"]["record_type"] == "history"):
            by_session.setdefault((e["provider"], e["session_id"]), []).append(e)
    # Each page by the session its title names.
    pages = {flat(p.read_text().split("\n", 1)[0]).replace("\\", ""): p for p in tmp_path.glob("*-*.md")}
    assert (tmp_path / "index.md").is_file()
    checked = 0
    for (provider, session), session_events in by_session.items():
        wanted = [e for e in session_events if e["event_type"] == "tool_call" or (
            e["event_type"] == "prompt_input" and e["source"]["record_type"] in
            ("user/text", "event_msg/user_message", "history"))]
        if not wanted:
            continue
        title = "Claude Code" if provider == "claude_code" else "Codex"
        page = pages[f"# {title} session {flat(session)}"].read_text()
        document = parsed(renderer.render(page))
        text = flat(document.text())
        assert not [t for t, a in document.tags if t in ("script", "img", "iframe") or
                    any(v and "javascript:" in v for v in a.values())]
        for e in wanted:
            place = flat(f"{e['source']['relative_path']}:{e['source']['line_number']}")
            assert place in text, (session, place)
            if e["message"] and (provider == "claude_code" or e["event_type"] == "prompt_input"):
                # A call's own line; lines after it (a todo list) are rendered as a list.
                message = e["message"].split("\n")[0] if e["event_type"] == "tool_call" else e["message"]
                assert flat(message)[:300] in text, (session, e["message"][:80])
            checked += 1
    assert checked > 0


def test_hostile_session_ids_stay_inside_the_directory(cli_path, tmp_path):
    ids = ["../../escape", "..", ".", "a/b\\c", "/etc/passwd", "x" * 300, "Ab", "ab", "",
           "line\nbreak\u2028", "<img src=x>", "ok-id_1.2"]
    base = tmp_path / "in"
    # Each in a file of its own: a file is one conversation whatever ids its records carry.
    for i, sid in enumerate(ids):
        write_lines(base / ".claude" / "projects" / "-w" / f"t{i}.jsonl", [user(sid, i, f"prompt {i}")])
    out = tmp_path / "out" / "report"
    before = sorted(p for p in tmp_path.rglob("*"))
    run(cli_path, [base / ".claude"], "--format", "markdown", "-o", out)
    created = sorted(set(tmp_path.rglob("*")) - set(before))
    assert all(p.parent == out or p == out or p == out.parent for p in created), created
    names = [p.name for p in out.iterdir() if p.name != ".vellumtrace-manifest"]
    assert len(names) == len(ids) + 1 and "index.md" in names
    assert len({n.lower() for n in names}) == len(names)
    assert all(re.fullmatch(r"claude_code-[A-Za-z0-9._-]{1,120}\.md", n) for n in names if n != "index.md")
    assert "claude_code-ok-id_1.2.md" in names
    index = (out / "index.md").read_text()
    for i in range(len(ids)):
        assert any(f"prompt {i}" in (out / n).read_text() for n in names if n != "index.md")
    from markdown_it import MarkdownIt

    rendered = parsed(MarkdownIt("commonmark").enable("table").render(index))
    assert "<img src=x>" in rendered.text() and not [t for t, _ in rendered.tags if t == "img"]


@pytest.mark.parametrize("fmt", ["markdown", "html"])
def test_no_message_replaces_texts_by_length_and_hash(cli_path, inputs, tmp_path, fmt):
    import hashlib

    run(cli_path, [inputs["hostile"]], "--format", fmt, "-o", tmp_path, "--no-message")
    page = next(p for p in tmp_path.iterdir() if p.name.startswith("claude_code-")).read_text()
    if fmt == "markdown":
        from markdown_it import MarkdownIt

        page = parsed(MarkdownIt("commonmark").render(page)).text()
    for secret in ("one-output", "echo one", "sub-agent says hi", "injected by the harness", "alert(1)"):
        assert secret not in page
    digest = hashlib.sha256(PAYLOAD.encode()).hexdigest()
    assert f"[redacted: {len(PAYLOAD.encode())} bytes, sha256 {digest}]" in page


@pytest.mark.parametrize("name,session,expected", [
    # Claude Code: one count per API message, though a sub-agent file repeats it.
    ("hostile", HOSTILE, "input 11 · output 7 · total 18"),
    # Codex: the token counts' per-event amounts (fresh input apart from the
    # cached part) add up to the last running totals, though an older one sorts last.
    ("sample", "0199a4e2-7c3b-7d10-b8f5-2e6a91c04d7b",
     "input 6,869 · cache read 9,216 · output 583 · reasoning 256 · total 16,668"),
])
def test_session_tokens(cli_path, inputs, tmp_path, name, session, expected):
    run(cli_path, [inputs[name]], "--format", "markdown", "-o", tmp_path)
    page = page_of(tmp_path, "claude_code" if name == "hostile" else "codex", session, "md").read_text()
    assert f"| Tokens | {expected} |" in page


@pytest.mark.parametrize("call,result", [
    ("Bash: echo one", "one-output"),  # matched by id, not by order of arrival
    ("Bash: echo '<script>", "two-output"),
    ("Bash: cat big.log", "Cut after 2,000 of 4,729 characters (26 of 60 lines); the whole is 4,729 bytes."),
])
def test_results_fold_under_their_call(cli_path, inputs, tmp_path, call, result):
    run(cli_path, [inputs["hostile"]], "--format", "markdown", "-o", tmp_path)
    page = page_of(tmp_path, "claude_code", HOSTILE, "md").read_text()
    from markdown_it import MarkdownIt

    text = flat(parsed(MarkdownIt("commonmark").render(page)).text())
    start = text.index(call)
    found = text.index(result, start)
    following = [text.find(m, start + len(call)) for m in ("Tool ", "Agent ")]
    following = [f for f in following if f >= 0]
    assert not following or found < min(following)


@pytest.mark.parametrize("options,status,message", [
    (["--format", "html"], 2, "--output DIR"),
    (["--format", "markdown", "-o", "OUT", "--summary"], 2, "--summary"),
    (["--format", "html", "-o", "FILE"], 1, "Cannot create"),
])
def test_report_usage(cli_path, tmp_path, options, status, message):
    (tmp_path / "FILE").write_text("a file, not a directory")
    options = [str(tmp_path / o) if o in ("OUT", "FILE") else o for o in options]
    result = run(cli_path, [SAMPLE], *options, check=False)
    assert result.returncode == status and message in result.stderr


def biggest_page(out_dir):
    return max((p for p in out_dir.glob("*.html") if p.name != "index.html"), key=lambda p: p.stat().st_size)


@pytest.mark.parametrize("name", ["sample", "hostile", "corpus"])
def test_html_pages_in_a_browser(cli_path, inputs, tmp_path, browser, name):
    path = input_path(inputs, name)
    run(cli_path, [path], "--format", "html", "-o", tmp_path)
    for page in (tmp_path / "index.html", biggest_page(tmp_path)):
        browser.open(page)
        browser.settle()
        watch = browser.watch
        assert watch.errors() == [] and watch.dialogs == []
        assert watch.requests == [page.resolve().as_uri()]
        assert browser.evaluate("document.querySelectorAll('img,iframe,object,embed,a[href^=\"javascript\"]').length") == 0
        assert browser.evaluate("document.scripts.length") == 1
        kind = "index" if page.name == "index.html" else "session"
        browser.screenshot(SHOTS / f"{name}-{kind}.png")
        if kind == "index":
            rows = browser.evaluate("document.querySelectorAll('#sessions tbody tr').length")
            shown = browser.evaluate("document.querySelectorAll('#sessions tbody tr:not([hidden])').length")
            conversations = browser.evaluate("document.querySelectorAll('#sessions tbody tr:not(.h)').length")
            assert shown == min(conversations, 250)
            assert browser.evaluate("document.getElementById('count').textContent").startswith(
                f"{conversations:,} of {rows:,} sessions")
            continue
        hidden = "getComputedStyle(document.querySelector('.k-context')).display"
        if browser.evaluate("document.querySelectorAll('.k-context').length"):
            assert browser.evaluate(hidden) == "none"
            browser.evaluate("document.getElementById('show-context').click()")
            assert browser.evaluate(hidden) == "block"
            browser.evaluate("document.getElementById('show-context').click()")
        word = browser.evaluate("document.querySelector('.k-prompt .tx, .k-tool .call').textContent.split(/\\s+/)"
                                ".find(w => w.length > 3)")
        browser.evaluate("const q = document.getElementById('q'); q.value = %s; "
                         "q.dispatchEvent(new Event('input'))" % json.dumps(word))
        browser.settle()
        assert re.fullmatch(r"[1-9][0-9]* matching items?", browser.evaluate("document.getElementById('hits').textContent"))
    if name == "hostile":
        text = browser.evaluate("document.body.textContent")
        assert PAYLOAD in text and "javascript:alert(3)" in text
        assert watch.errors() == [] and watch.dialogs == []


QUOTED = "s\"1 'q' <&>"


def test_attribute_values_hold_quotes_whole(cli_path, tmp_path):
    # Session ids and sort keys sit in double-quoted attributes.
    base = tmp_path / "in"
    write_lines(base / ".claude" / "projects" / "-w" / "x.jsonl", [
        user(QUOTED, 1, "hello", cwd="/w\"x' y"), assistant(QUOTED, 2, [tool_use("t1", "ls")], "m1")])
    run(cli_path, [base / ".claude"], "--format", "html", "-o", tmp_path / "out")
    index = parsed((tmp_path / "out" / "index.html").read_text())
    sort_values = [attrs.get("data-v") for tag, attrs in index.tags if tag == "td"]
    assert "/w\"x' y" in sort_values
    # The id: on hover over the title's link, and in the row's search text.
    assert QUOTED in [attrs.get("title") for tag, attrs in index.tags if tag == "a"]
    rows = [attrs for tag, attrs in index.tags if tag == "tr" and "data-s" in attrs]
    assert len(rows) == 1 and QUOTED in rows[0]["data-s"] and rows[0]["data-d"] == "/w\"x' y"
    # A quote that ended its attribute early would leave stray attributes behind.
    assert all(set(attrs) <= {"data-v", "class", "title"} for tag, attrs in index.tags if tag == "td")
    assert set(rows[0]) <= {"class", "hidden", "data-a", "data-d", "data-s"}
    page = next(p for p in (tmp_path / "out").glob("claude_code-*.html"))
    assert QUOTED in parsed(page.read_text()).text()


# (result lines, characters per line with its line break, what is shown:
# (characters, lines) or None when the whole is). A result shows at most 40
# lines and at most 2,000 characters.
RESULT_CUTS = [
    (100, 4, (160, 40)),   # 40 lines come first
    (41, 4, (160, 40)),
    (40, 4, None),
    (30, 99, (2000, 21)),  # 2,000 characters come first, inside line 21
    (20, 100, None),       # 1,999 characters: shown whole
]


@pytest.mark.parametrize("lines, width, shown", RESULT_CUTS)
def test_results_are_cut_at_forty_lines_or_two_thousand_characters(cli_path, tmp_path, lines, width, shown):
    result = "\n".join("r" * (width - 1) for _ in range(lines))
    whole = len(result)
    note = shown and (f"Cut after {shown[0]:,} of {whole:,} characters ({shown[1]} of {lines} lines); "
                      f"the whole is {whole:,} bytes.")
    base = tmp_path / "in"
    write_lines(base / ".claude" / "projects" / "-w" / "x.jsonl", [
        user("s1", 1, "go"), assistant("s1", 2, [tool_use("t1", "cat f")], "m1"),
        user("s1", 3, [tool_result("t1", result)])])
    run(cli_path, [base / ".claude"], "--format", "markdown", "-o", tmp_path / "out")
    page = page_of(tmp_path / "out", "claude_code", "s1", "md").read_text()
    notes = re.findall(r"Cut after [^\n]*? bytes\.", page)
    assert notes == ([note] if note else [])
