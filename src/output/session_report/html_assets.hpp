// The style sheet and the script every HTML report page carries inline, and
// the Content-Security-Policy that admits exactly these two (by their SHA-256)
// and nothing else: no other script, style, image, font, frame or
// connection, so the pages make no request of any kind and work from
// file://. The script only filters, sorts and searches what the page holds.
#pragma once

#include <string>
#include <string_view>

namespace vt::report {

inline constexpr std::string_view kReportStyle = R"css(
:root{color-scheme:light dark;--fg:#1d232b;--muted:#5d6875;--line:#d8dde3;--bg:#fff;--soft:#f4f6f8;--accent:#2457a6;--prompt:#eef4ff;--err:#a62424}
@media (prefers-color-scheme:dark){:root{--fg:#e4e8ec;--muted:#9aa5b1;--line:#38414b;--bg:#16191d;--soft:#1f242a;--accent:#7fb0ff;--prompt:#1c2a40;--err:#ff8a8a}}
*{box-sizing:border-box}
body{margin:0;font:15px/1.5 system-ui,-apple-system,"Segoe UI",sans-serif;color:var(--fg);background:var(--bg)}
header,main,.bar,nav,footer{max-width:1000px;margin:0 auto;padding:0 16px}
nav{padding-top:12px}
a{color:var(--accent)}
h1{font-size:1.4em;margin:.4em 0;overflow-wrap:anywhere}
h2{font-size:1.1em;margin:1.6em 0 .5em;padding-bottom:.2em;border-bottom:1px solid var(--line)}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 16px;margin:0 0 8px}
.facts dt{color:var(--muted)}.facts dd{margin:0;overflow-wrap:anywhere}
.bar{position:sticky;top:0;background:var(--bg);display:flex;flex-wrap:wrap;gap:8px 18px;align-items:center;padding-top:8px;padding-bottom:8px;border-bottom:1px solid var(--line);z-index:1}
.bar input[type=search]{flex:1 1 240px;padding:5px 8px;font:inherit;border:1px solid var(--line);border-radius:4px;background:var(--bg);color:var(--fg)}
.hits,.count,.note,.tok,.m,.ph,footer{color:var(--muted);font-size:.86em}
.turn{content-visibility:auto;contain-intrinsic-size:auto 600px}
.it{margin:10px 0;padding:6px 10px;border-left:3px solid var(--line)}
.it.sub{margin-left:24px}
.m{display:flex;flex-wrap:wrap;gap:0 10px}
.m .k{font-weight:600;color:var(--fg)}
.src{overflow-wrap:anywhere}
.tx{white-space:pre-wrap;overflow-wrap:anywhere}
.k-prompt{background:var(--prompt);border-left-color:var(--accent)}
.k-prompt .tx{font-size:1.02em}
.k-error{border-left-color:var(--err)}
.k-tool .call{font-family:ui-monospace,SFMono-Regular,Menlo,Consolas,monospace;font-size:.9em;overflow-wrap:anywhere;white-space:pre-wrap}
details{margin:4px 0}
summary{cursor:pointer;color:var(--muted);font-size:.88em;overflow-wrap:anywhere}
pre{margin:4px 0;padding:8px;background:var(--soft);border-radius:4px;white-space:pre-wrap;overflow-wrap:anywhere;font:12.5px/1.45 ui-monospace,SFMono-Regular,Menlo,Consolas,monospace;max-height:36em;overflow:auto}
.cut{color:var(--muted);font-size:.84em;margin:2px 0}
.k-context,.k-record{display:none;opacity:.85}
body:has(#show-context:checked) .k-context,body:has(#show-records:checked) .k-record{display:block}
.ph{display:block;margin:6px 0;cursor:pointer;font-style:italic}
body.searching .it:not(.hit),body.searching .ph{display:none}
body.searching .it.hit{display:block}
table{border-collapse:collapse;width:100%;font-size:.9em}
th,td{text-align:left;padding:4px 8px;border-bottom:1px solid var(--line);vertical-align:top}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}
td{white-space:nowrap}td.p{white-space:normal;overflow-wrap:anywhere;max-width:26em}
th button{font:inherit;font-weight:600;background:none;border:0;padding:0;color:var(--fg);cursor:pointer}
th[aria-sort=ascending] button::after{content:" \25B2"}th[aria-sort=descending] button::after{content:" \25BC"}
body.index header,body.index main,body.index .bar,body.index footer{max-width:1400px}
footer{padding:24px 16px}
.sub{color:var(--muted);margin:0 0 8px;font-size:.9em;overflow-wrap:anywhere}
.md{overflow-wrap:anywhere}.md>:first-child{margin-top:0}.md>:last-child{margin-bottom:0}
.md p,.md ul,.md ol,.md blockquote{margin:.35em 0}.md ul,.md ol{padding-left:1.6em}
.md h3,.md h4,.md h5,.md h6{font-size:1em;margin:.7em 0 .3em}.md h3{font-size:1.05em}
.md code{font:.9em ui-monospace,SFMono-Regular,Menlo,Consolas,monospace;background:var(--soft);padding:0 3px;border-radius:3px}
.md pre code{background:none;padding:0;font-size:inherit}
.md blockquote{border-left:3px solid var(--line);padding-left:10px;color:var(--muted)}
.md hr{border:0;border-top:1px solid var(--line)}
.k-attached{border-left-style:dotted}
.thread{margin:6px 0 2px;padding-left:10px;border-left:2px dashed var(--line)}
.thread>summary{font-weight:600}
.thread .it.sub{margin-left:0}
.toc{margin:12px 0}.toc>summary{font-weight:600;color:var(--fg);font-size:1em}
.toc table{font-size:.88em}.toc td.p{white-space:normal;max-width:40em}
td.t{white-space:normal;overflow-wrap:anywhere;min-width:14em;max-width:34em}
td.t a{display:-webkit-box;-webkit-line-clamp:3;-webkit-box-orient:vertical;overflow:hidden}
.bar select{font:inherit;padding:4px;border:1px solid var(--line);border-radius:4px;background:var(--bg);color:var(--fg);max-width:22em}
#more{display:block;margin:12px auto;font:inherit;padding:6px 14px;border:1px solid var(--line);border-radius:4px;background:var(--soft);color:var(--fg);cursor:pointer}
#more[hidden]{display:none}
)css";

inline constexpr std::string_view kReportScript = R"js(
(function () {
  "use strict";
  var body = document.body;
  // Session page: search within the page.
  var q = document.getElementById("q");
  if (q) {
    var items = null, texts = null, timer = 0, hits = document.getElementById("hits");
    var run = function () {
      if (!items) {
        items = document.querySelectorAll(".it");
        texts = [];
        for (var i = 0; i < items.length; i++) texts.push(items[i].textContent.toLowerCase());
      }
      var s = q.value.trim().toLowerCase(), n = 0;
      body.classList.toggle("searching", s !== "");
      for (var k = 0; k < items.length; k++) {
        var hit = s !== "" && texts[k].indexOf(s) >= 0;
        items[k].classList.toggle("hit", hit);
        if (!hit) continue;
        n++;
        var folds = items[k].querySelectorAll("details");
        for (var j = 0; j < folds.length; j++) {
          if (folds[j].textContent.toLowerCase().indexOf(s) >= 0) folds[j].open = true;
        }
      }
      hits.textContent = s === "" ? "" : n + (n === 1 ? " matching item" : " matching items");
    };
    q.addEventListener("input", function () { clearTimeout(timer); timer = setTimeout(run, 120); });
  }
  // Index page: search, facets, the history-only toggle, sortable columns.
  var table = document.getElementById("sessions");
  if (table) {
    var tbody = table.tBodies[0], rows = Array.prototype.slice.call(tbody.rows);
    var keys = rows.map(function (r) {
      return {s: (r.getAttribute("data-s") + " " + r.getAttribute("data-d") + " " + r.getAttribute("data-a")).toLowerCase(),
              a: r.getAttribute("data-a"), d: r.getAttribute("data-d"), h: r.classList.contains("h")};
    });
    var filter = document.getElementById("filter"), count = document.getElementById("count");
    var agent = document.getElementById("agent"), project = document.getElementById("project");
    var history = document.getElementById("history");
    // Rows are shown a page at a time: the browser lays out no more.
    var page = Number(table.getAttribute("data-page")) || 250, limit = page;
    var moreButton = document.getElementById("more");
    var apply = function (reset) {
      if (reset) limit = page;
      var terms = filter.value.trim().toLowerCase().split(/\s+/).filter(function (t) { return t !== ""; });
      var all = !!(history && history.checked), n = 0, more = 0;
      for (var i = 0; i < rows.length; i++) {
        var k = keys[i], keep = (!agent.value || k.a === agent.value) && (!project.value || k.d === project.value);
        for (var t = 0; keep && t < terms.length; t++) keep = k.s.indexOf(terms[t]) >= 0;
        var show = false;
        if (keep && (all || !k.h)) show = ++n <= limit;
        else if (keep) more++;
        if (rows[i].hidden === show) rows[i].hidden = !show;
      }
      var g = function (x) { return x.toLocaleString("en-US"); };
      count.textContent = g(n) + " of " + g(rows.length) + " sessions" + (n > limit ? " (the first " + g(limit) + " shown)" : "") +
        (more ? " \u00b7 " + g(more) + " more among the history-only" : "");
      moreButton.hidden = n <= limit;
      moreButton.textContent = "Show " + g(Math.min(page, n - limit)) + " more";
    };
    moreButton.addEventListener("click", function () { limit += page; apply(false); });
    var timer = 0;
    filter.addEventListener("input", function () { clearTimeout(timer); timer = setTimeout(function () { apply(true); }, 80); });
    [agent, project, history].forEach(function (c) { if (c) c.addEventListener("change", function () { apply(true); }); });
    var heads = table.tHead.rows[0].cells;
    Array.prototype.forEach.call(heads, function (head, c) {
      var button = head.querySelector("button");
      if (!button) return;
      button.addEventListener("click", function () {
        var numeric = head.classList.contains("n");
        var dir = head.getAttribute("aria-sort") === "ascending" ? -1 : 1;
        Array.prototype.forEach.call(heads, function (h) { h.removeAttribute("aria-sort"); });
        head.setAttribute("aria-sort", dir === 1 ? "ascending" : "descending");
        var values = rows.map(function (r) { return r.cells[c].getAttribute("data-v") || ""; });
        var order = rows.map(function (r, i) { return i; });
        order.sort(function (a, b) {
          var x = values[a], y = values[b];
          var r = numeric ? Number(x) - Number(y) : (x < y ? -1 : x > y ? 1 : 0);
          return r * dir || a - b;
        });
        // Rows move while their body is out of the document: no layout on the way.
        var sortedRows = [], sortedKeys = [], fragment = document.createDocumentFragment();
        table.removeChild(tbody);
        order.forEach(function (i) { sortedRows.push(rows[i]); sortedKeys.push(keys[i]); fragment.appendChild(rows[i]); });
        rows = sortedRows; keys = sortedKeys;
        tbody.appendChild(fragment);
        apply(false);
        table.appendChild(tbody);
      });
    });
    apply(true);
  }
})();
)js";

// Shown when scripts do not run: every row of the index (the script shows
// them a page at a time).
inline constexpr std::string_view kNoScriptStyle = "#sessions tr[hidden]{display:table-row}#more{display:none}";

// The policy's text: "default-src 'none'; style-src 'sha256-…'; …".
std::string report_csp();

}  // namespace vt::report
