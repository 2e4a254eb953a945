"""What a person sees in the session reports: agent Markdown rendered in the
HTML pages and kept in the Markdown pages, with raw HTML, foreign links and
images made harmless in both; every session page's table of turns matching
its typed prompts on the corpus; and the screenshots of the index, a long
Claude Code session, a Codex session, a sub-agent thread and a filtered
index, taken in headless Chromium and saved under build/screenshots."""

import html.parser
import json
import pathlib
import re
import subprocess

import pytest

from report_counts import page_counts

ROOT = pathlib.Path(__file__).resolve().parent.parent
SHOTS = ROOT / "build" / "screenshots"
SESSION = "s-markdown"
TS = "2025-06-01T10:00:{:02d}.000Z"

# Agent text that tries every way out of its place, and what each becomes.
HOSTILE_MARKDOWN = "\n\n".join([
    "## Plan with **bold** and `code`",
    "<script>alert(1)</script>",
    "inline <b onmouseover=alert(2)>bold</b> and </details> here",
    "[js](javascript:alert(3)) [data](data:text/html,<b>x</b>) [rel](../victim.txt) [web](https://example.org/a)",
    "![pixel](https://tracker.example/p.png) ![local](file:///etc/passwd)",
    "<img src=x onerror=alert(4)>",
    "```\nunclosed fence swallowing the rest",
])


def rec(n, kind, **fields):
    return {"type": kind, "sessionId": SESSION, "cwd": "/w", "uuid": f"u{n}", "timestamp": TS.format(n), **fields}


def markdown_home(base):
    root = base / ".claude"
    folder = root / "projects" / "-w"
    folder.mkdir(parents=True)
    lines = [
        rec(1, "user", message={"role": "user", "content": "render this"}),
        rec(2, "assistant", message={"id": "m1", "model": "claude-x", "role": "assistant",
                                     "content": [{"type": "text", "text": HOSTILE_MARKDOWN}]}),
        rec(3, "user", message={"role": "user", "content": "and now?"}),
        rec(4, "assistant", message={"id": "m2", "model": "claude-x", "role": "assistant",
                                     "content": [{"type": "text", "text": "after the fence"}]}),
    ]
    (folder / f"{SESSION}.jsonl").write_text("".join(json.dumps(line) + "\n" for line in lines))
    return root


def report(cli_path, root, out, fmt, *options):
    subprocess.run([cli_path, str(root), "-q", "--format", fmt, "-o", str(out), *options], check=True,
                   capture_output=True)
    return out


class Parsed(html.parser.HTMLParser):
    """Tags with their attributes, and the text outside any tag."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.tags, self.parts = [], []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))

    def handle_data(self, data):
        self.parts.append(data)

    def text(self):
        return " ".join(" ".join(self.parts).split())


def harmless(parsed):
    """Tags that would run, load or lead outside the web, in a parsed page."""
    found = []
    for tag, attrs in parsed.tags:
        if tag in ("script", "img", "iframe", "object", "embed", "b"):
            found.append(tag)
        for name, value in attrs.items():
            if name.startswith("on") or (name in ("href", "src") and value and
                                         not re.match(r"(https?:|#|index\.(html|md)$|[\w.-]+\.(html|md)$)", value)):
                found.append(f"{tag} {name}={value}")
    return found


def test_html_page_renders_agent_markdown_harmlessly(cli_path, tmp_path):
    out = report(cli_path, markdown_home(tmp_path), tmp_path / "out", "html")
    page = (out / f"claude_code-{SESSION}.html").read_text()
    body = page[page.index("<main>"):page.index("</main>")]
    parsed = Parsed(body)
    # The agent's formatting, rendered, its heading below the page's own.
    assert "<h4>Plan with <strong>bold</strong> and <code>code</code></h4>" in body
    # Raw HTML shown as text, links kept only to the web, images as words.
    assert harmless(parsed) == []
    text = parsed.text()
    for shown in ("<script>alert(1)</script>", "<b onmouseover=alert(2)>bold</b>", "</details>",
                  "[image: pixel] https://tracker.example/p.png", "[image: local] file:///etc/passwd",
                  "<img src=x onerror=alert(4)>", "js data rel web"):
        assert shown in text, shown
    assert [a["href"] for t, a in parsed.tags if t == "a" and a.get("href", "").startswith("http")] == [
        "https://example.org/a"]
    # The fence the agent left open ends with its message: the next turn stands.
    assert body.index("unclosed fence swallowing the rest") < body.index('id="turn-2"') < body.index("after the fence")


def test_markdown_page_keeps_agent_markdown_harmlessly(cli_path, tmp_path):
    from markdown_it import MarkdownIt

    out = report(cli_path, markdown_home(tmp_path), tmp_path / "out", "markdown")
    page = (out / f"claude_code-{SESSION}.md").read_text()
    # Kept as Markdown: not escaped into literal asterisks.
    assert "#### Plan with **bold** and `code`" in page
    # Rendered by a CommonMark renderer that passes raw HTML through.
    rendered = MarkdownIt("commonmark", {"html": True}).render(page)
    parsed = Parsed(rendered)
    assert harmless(parsed) == []
    text = parsed.text()
    for shown in ("<script>alert(1)</script>", "<b onmouseover=alert(2)>bold</b>", "[image: pixel]",
                  "<img src=x onerror=alert(4)>"):
        assert shown in text, shown
    # No fold opened or closed by the agent's text: only the page's own.
    assert rendered.count("<details>") == rendered.count("</details>") == page.count("<details>")
    assert "after the fence" in text and rendered.index("unclosed fence") < rendered.index("after the fence")


@pytest.mark.parametrize("zone,shown", [
    ("UTC", "2025-06-01 10:00:01 UTC"),
    ("Asia/Tokyo", "2025-06-01 19:00:01 JST"),
    ("America/New_York", "2025-06-01 06:00:01 EDT"),
])
def test_times_in_the_zone_asked_for(cli_path, tmp_path, zone, shown):
    root = markdown_home(tmp_path)
    out = report(cli_path, root, tmp_path / "md", "markdown", "--timezone", zone)
    assert f"| Started | {shown} |" in (out / f"claude_code-{SESSION}.md").read_text()
    html = (report(cli_path, root, tmp_path / "html", "html", "--timezone", zone) / "index.html").read_text()
    # Local in the cell, UTC on hover.
    assert f'title="2025-06-01 10:00:01Z">{shown}</td>' in html


HIDDEN = re.compile("[\u0080-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]")


def first_line(text):
    """The first line with text in it (lines end at LF or CR), blanks collapsed,
    and the controls that hide themselves as the pages show them ("\\u202e")."""
    line = " ".join(next((line for line in re.split(r"[\r\n]", text) if line.strip(" \t")), "").split())
    return HIDDEN.sub(lambda m: "\\u%04x" % ord(m.group()), line)


class TurnTable(html.parser.HTMLParser):
    """A session page's table of turns (preview by turn number) and the
    prompt each turn's section opens with (the text of its first prompt item)."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.previews, self.prompts = {}, {}
        self._preview = self._turn = None
        self._depth = 0  # open divs inside the prompt text being read
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "a" and (attrs.get("href") or "").startswith("#turn-"):
            self._preview = int(attrs["href"][6:])
            self.previews[self._preview] = ""
        elif tag == "section" and (attrs.get("id") or "").startswith("turn-"):
            self._turn = int(attrs["id"][5:])
        elif tag == "div" and self._depth:
            self._depth += 1
        elif tag == "div" and attrs.get("class") == "tx" and self._turn and self._turn not in self.prompts:
            self.prompts[self._turn], self._depth = "", 1

    def handle_endtag(self, tag):
        if tag == "a":
            self._preview = None
        elif tag == "div" and self._depth:
            self._depth -= 1
            if not self._depth:
                self._turn = None

    def handle_data(self, data):
        if self._preview is not None:
            self.previews[self._preview] += data
        elif self._depth:
            self.prompts[self._turn] += data


def test_every_page_lists_its_typed_prompts_as_turns(cli_path, corpus_dir, tmp_path):
    """As many turns as the page's header counts typed prompts (the count
    test_count_rule_corpus holds to the summary and the count rule), each
    listed by the first line of the prompt its section opens with."""
    checked = 0
    for root in sorted(p for p in corpus_dir.iterdir() if p.is_dir()):
        out = report(cli_path, root, tmp_path / root.name, "html")
        for page in out.glob("*.html"):
            if page.name == "index.html":
                continue
            text = page.read_text()
            table = TurnTable(text)
            _, counts = page_counts(text)
            assert len(table.previews) == counts["prompts"], (root.name, page.name)
            assert sorted(table.previews) == list(range(1, len(table.previews) + 1)), (root.name, page.name)
            for number, preview in table.previews.items():
                # The page shows a lone CR as its picture; the preview ends its line there.
                wanted = first_line(table.prompts[number].replace("\u240d", "\r"))
                shown = " ".join(preview.removesuffix("\u2026").split())
                if not wanted:
                    assert shown == "(empty)", (root.name, page.name, number)
                    continue
                assert wanted.startswith(shown) and (len(shown) >= 100 or shown == wanted), (
                    root.name, page.name, number, preview, wanted[:120])
            checked += len(table.previews)
    assert checked > 0


def show(browser, page, shot, action="0"):
    browser.open(page)
    browser.settle()
    result = browser.evaluate(action)
    browser.settle(0.2)
    assert browser.watch.errors() == [] and browser.watch.dialogs == []
    assert browser.watch.requests == [page.resolve().as_uri()]
    browser.screenshot(SHOTS / shot)
    return result


def biggest(pages):
    return max(pages, key=lambda p: p.stat().st_size)


def test_screenshots_of_the_reports(cli_path, corpus_dir, tmp_path, browser):
    out = tmp_path / "all"
    roots = sorted(p for p in corpus_dir.iterdir() if p.is_dir())
    pages = {}
    for root in roots:
        report(cli_path, root, out / root.name, "html")
        pages[root.name] = [p for p in (out / root.name).glob("*.html") if p.name != "index.html"]
    # The index with the most sessions, as it opens and then filtered.
    home = max(roots, key=lambda r: len(pages[r.name]))
    index = out / home.name / "index.html"
    shown = show(browser, index, "index.png", "document.querySelectorAll('#sessions tbody tr:not([hidden])').length")
    word = browser.evaluate("document.querySelector('#sessions tbody tr:not([hidden]) td.t a').textContent"
                            ".split(/\\s+/).find(w => w.length > 3) || ''")
    filtered = show(browser, index, "index-filtered.png",
                    "const f = document.getElementById('filter'); f.value = %s; f.dispatchEvent(new Event('input'));"
                    "new Promise(r => setTimeout(() => r(document.querySelectorAll("
                    "'#sessions tbody tr:not([hidden])').length), 300))" % json.dumps(word))
    assert 0 < filtered <= shown
    # A long Claude Code session, a Codex session.
    claude = biggest([p for name in pages for p in pages[name] if p.name.startswith("claude_code-")])
    assert show(browser, claude, "claude-session.png", "document.querySelectorAll('.toc tbody tr').length") > 1
    codex = biggest([p for name in pages for p in pages[name] if p.name.startswith("codex-")])
    show(browser, codex, "codex-session.png",
         "document.querySelector('.turn:not(#turn-0)').scrollIntoView(); 0")
    # A sub-agent's thread, opened under the call that started it.
    threaded = biggest([p for name in pages for p in pages[name] if 'class="thread"' in p.read_text()])
    inside = show(browser, threaded, "subagent-thread.png",
                  "const t = document.querySelector('details.thread'); t.open = true;"
                  "t.closest('.it').scrollIntoView(); t.querySelectorAll('.it.sub').length")
    assert inside > 0
