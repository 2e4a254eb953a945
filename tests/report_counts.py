"""The counts an HTML session report shows, read back from its pages as a
reader sees them: per session, the index row's prompts, tool calls, tokens
(the total in the cell, the kinds on hover) and estimated cost, and the same
from the session page's header. Keyed like the summary's rows: (provider,
session id)."""

import html.parser
import re

PROVIDERS = {"Claude Code": "claude_code", "Codex": "codex", "Gemini CLI": "gemini_cli",
             "Copilot CLI": "copilot_cli", "Aider": "aider"}
KINDS = {"input": "input_tokens", "cache write": "cache_write_tokens", "cache read": "cache_read_tokens",
         "output": "output_tokens", "reasoning": "reasoning_tokens"}
INDEX_COLUMNS = ("title", "agent", "start", "end", "project", "prompts", "tool_calls", "tokens", "cost", "events")


def number(text):
    return int(text.replace(",", ""))


def token_kinds(text):
    """"input 6,211 · cache read 3,072 · output 181 · total 9,464" as the
    summary's token columns (kinds not said: None), and the total said."""
    counts = dict.fromkeys(KINDS.values())
    total = None
    for part in (text or "").split(" \u00b7 "):
        match = re.fullmatch(r"([a-z ]+) ([\d,]+)", part.strip())
        if not match:
            continue
        if match[1] == "total":
            total = number(match[2])
        else:
            counts[KINDS[match[1]]] = number(match[2])
    return counts, total


class _Index(html.parser.HTMLParser):
    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.rows, self._row, self._in_tbody = [], None, False
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "tbody":
            self._in_tbody = True
        elif tag == "tr" and self._in_tbody:
            self._row = {"agent": attrs.get("data-a"), "cells": []}
            self.rows.append(self._row)
        elif tag == "td" and self._row is not None:
            self._row["cells"].append(attrs)
        elif tag == "a" and self._row is not None and len(self._row["cells"]) == 1 and "id" not in self._row:
            self._row["id"], self._row["page"] = attrs.get("title"), attrs.get("href")

    def handle_endtag(self, tag):
        if tag == "tr":
            self._row = None


def index_counts(text):
    """{(provider, session): {column: value, "page": file name}} from index.html."""
    out = {}
    for row in _Index(text).rows:
        cells = dict(zip(INDEX_COLUMNS, row["cells"]))
        kinds, _ = token_kinds(cells["tokens"].get("title"))
        cost = cells["cost"].get("data-v")
        tokens = cells["tokens"].get("data-v")
        out[(PROVIDERS[row["agent"]], row["id"])] = {
            "page": row["page"], "prompts": int(cells["prompts"]["data-v"]),
            "tool_calls": int(cells["tool_calls"]["data-v"]), **kinds,
            "total_tokens": int(tokens) if tokens else None, "cost_usd": float(cost) if cost else None}
    return out


class _Page(html.parser.HTMLParser):
    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.sub, self.facts, self.hover = "", {}, {}
        self._where, self._name = None, None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "p" and attrs.get("class") == "sub":
            self._where = "sub"
        elif tag == "dt":
            self._where, self._name = "dt", ""
        elif tag == "dd" and self._name is not None:
            self._where = "dd"
            self.facts[self._name] = ""
            if "title" in attrs:
                self.hover[self._name] = attrs["title"]

    def handle_endtag(self, tag):
        if tag in ("p", "dd") or (tag == "dt" and self._where == "dt"):
            self._where = "dd-wait" if tag == "dt" else None

    def handle_data(self, data):
        if self._where == "sub":
            self.sub += data
        elif self._where == "dt":
            self._name += data
        elif self._where == "dd":
            self.facts[self._name] += data


def page_counts(text):
    """((provider, session), {column: value}) from a session page's header."""
    page = _Page(text)
    agent, session = page.sub.split(" session ", 1)
    prompts = {"prompts": 0, "command_prompts": 0, "injected_prompts": 0}
    for part in page.facts["Prompts"].split(" \u00b7 "):
        count, kind = part.split(" ", 1)
        prompts[{"typed": "prompts", "command": "command_prompts", "commands": "command_prompts",
                 "injected": "injected_prompts"}[kind]] = number(count)
    kinds, total = token_kinds(page.facts.get("Tokens"))
    cost = page.hover.get("Estimated cost")
    return (PROVIDERS[agent], session), {**prompts, "tool_calls": number(page.facts["Tool calls"]), **kinds,
                                          "total_tokens": total, "cost_usd": float(cost) if cost else None}
