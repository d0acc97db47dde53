#include "backup/backup_page.h"
#include "formats/safe_text.h"

namespace zentro::cli {

const std::string& backupPageHtml() {
    static const std::string page = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Phone backup</title>
<style>
body { font: 14px sans-serif; margin: 0; color: #222; }
header { background: #234; color: #fff; padding: 8px 16px; }
nav button { margin-right: 4px; }
main { display: flex; height: calc(100vh - 90px); }
#list { width: 38%; overflow: auto; border-right: 1px solid #ccc; }
#detail { flex: 1; overflow: auto; padding: 0 12px; }
.row { padding: 6px 10px; border-bottom: 1px solid #eee; cursor: pointer; }
.row:hover, .row.chosen { background: #eef3f8; }
.muted { color: #777; font-size: 12px; }
.msg { margin: 6px 0; padding: 6px 10px; border-radius: 8px; max-width: 70%; white-space: pre-wrap; }
.in { background: #eee; } .out { background: #cfe3ff; margin-left: auto; }
.pager { padding: 6px 10px; }
table { border-collapse: collapse; width: 100%; } td, th { border-bottom: 1px solid #eee; padding: 4px 6px; text-align: left; }
.thumbs img { width: 96px; height: 96px; object-fit: cover; margin: 4px; }
</style>
</head>
<body>
<header><strong id="title">Phone backup</strong> <span id="when" class="muted"></span>
<nav id="tabs"></nav></header>
<main><div id="list"></div><div id="detail"></div></main>
<script src="data.js"></script>
<script>
"use strict";
(function () {
  const D = window.BACKUP_DATA;
  const PAGE = 100;
  const list = document.getElementById("list"), detail = document.getElementById("detail");
  if (!D) { list.textContent = "data.js is missing beside this page."; return; }
  const el = (tag, cls, text) => { const e = document.createElement(tag); if (cls) e.className = cls; if (text !== undefined) e.textContent = text; return e; };
  const p = D.phone || {};
  document.getElementById("title").textContent = [p.brand, p.model, p.serial].filter(Boolean).join(" ") || "Phone backup";
  document.getElementById("when").textContent = D.date ? "backed up " + D.date : "";

  // A list drawn one page at a time; only the rows of the page are in the document.
  function paged(container, items, draw, pageSize) {
    let page = 0;
    const size = pageSize || PAGE;
    function show() {
      container.textContent = "";
      const end = Math.min(items.length, (page + 1) * size);
      for (let i = page * size; i < end; ++i) container.appendChild(draw(items[i], i));
      if (items.length > size) {
        const bar = el("div", "pager");
        const prev = el("button", "", "previous"), next = el("button", "", "next");
        prev.disabled = page === 0; next.disabled = end >= items.length;
        prev.onclick = () => { --page; show(); container.scrollTop = 0; };
        next.onclick = () => { ++page; show(); container.scrollTop = 0; };
        bar.append(prev, " " + (page * size + 1) + "-" + end + " of " + items.length + " ", next);
        container.appendChild(bar);
      }
    }
    show();
  }

  function table(headers, rows, pick) {
    const wrap = el("div");
    const t = el("table"), head = el("tr");
    headers.forEach(h => head.appendChild(el("th", "", h)));
    t.appendChild(head);
    const body = el("tbody");
    t.appendChild(body);
    wrap.appendChild(t);
    const pager = el("div");
    wrap.appendChild(pager);
    let page = 0;
    function show() {
      body.textContent = ""; pager.textContent = "";
      const end = Math.min(rows.length, (page + 1) * PAGE);
      for (let i = page * PAGE; i < end; ++i) {
        const tr = el("tr");
        pick(rows[i]).forEach(v => tr.appendChild(el("td", "", v === undefined || v === null ? "" : String(v))));
        body.appendChild(tr);
      }
      if (rows.length > PAGE) {
        const prev = el("button", "", "previous"), next = el("button", "", "next");
        prev.disabled = page === 0; next.disabled = end >= rows.length;
        prev.onclick = () => { --page; show(); };
        next.onclick = () => { ++page; show(); };
        pager.className = "pager";
        pager.append(prev, " " + (page * PAGE + 1) + "-" + end + " of " + rows.length + " ", next);
      }
    }
    show();
    return wrap;
  }

  const msgs = D.messages || [];
  const conversations = (D.conversations || []).filter(c => c.messages && c.messages.length);
  function latestOf(c) { let best = msgs[c.messages[0]]; for (const i of c.messages) if (msgs[i][0] > best[0]) best = msgs[i]; return best; }
  function showConversation(c, row) {
    list.querySelectorAll(".chosen").forEach(r => r.classList.remove("chosen"));
    if (row) row.classList.add("chosen");
    detail.textContent = "";
    detail.appendChild(el("h3", "", c.address || "(no address)"));
    const box = el("div");
    detail.appendChild(box);
    const ordered = c.messages.map(i => msgs[i]).sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0));
    paged(box, ordered, m => {
      const b = el("div", "msg " + (m[1] === "1" ? "in" : "out"), m[3]);
      b.appendChild(el("div", "muted", m[0]));
      return b;
    }, 200);
  }

  const views = {
    Conversations() {
      paged(list, conversations, (c) => {
        const last = latestOf(c);
        const r = el("div", "row conversation");
        r.appendChild(el("div", "address", c.address || "(no address)"));
        r.appendChild(el("div", "muted", c.messages.length + " messages, last " + last[0] + ": " + String(last[3]).slice(0, 80)));
        r.onclick = () => showConversation(c, r);
        return r;
      });
      detail.textContent = "";
      detail.appendChild(el("p", "muted", conversations.length + " conversations, " + msgs.length + " messages"));
    },
    Calls() {
      list.textContent = "";
      detail.textContent = "";
      const kinds = { "1": "incoming", "2": "outgoing", "3": "missed" };
      detail.appendChild(table(["date", "kind", "number", "name", "seconds"], D.calls || [],
        c => [c[0], kinds[c[1]] || c[1], c[2], c[3], c[4]]));
    },
    Contacts() {
      const people = (D.contacts || []).slice().sort((a, b) => ((a[0] || "") + (a[1] || "")).localeCompare((b[0] || "") + (b[1] || "")));
      paged(list, people, (c) => {
        const r = el("div", "row contact");
        r.appendChild(el("div", "name", [c[0], c[1]].filter(Boolean).join(" ") || "(no name)"));
        r.appendChild(el("div", "muted", [c[2], c[3], c[4]].filter(Boolean).join(", ")));
        r.onclick = () => {
          detail.textContent = "";
          detail.appendChild(el("h3", "", [c[0], c[1]].filter(Boolean).join(" ")));
          [["mobile", c[2]], ["home", c[3]], ["work", c[4]], ["e-mail", c[5]], ["organisation", c[6]]].forEach(([k, v]) => {
            if (v) detail.appendChild(el("p", "", k + ": " + v));
          });
        };
        return r;
      });
      detail.textContent = "";
    },
    Calendar() {
      list.textContent = "";
      detail.textContent = "";
      const when = ms => { const n = Number(ms); return n ? new Date(n).toISOString().replace("T", " ").slice(0, 16) : ""; };
      detail.appendChild(table(["start", "end", "title", "location"], D.events || [], e => [when(e[0]), when(e[1]), e[2], e[3]]));
    },
    Photos() {
      list.textContent = "";
      detail.textContent = "";
      const box = el("div", "thumbs");
      detail.appendChild(box);
      paged(box, D.photos || [], ph => {
        const a = el("a");
        a.href = ph.file;
        const img = el("img");
        img.loading = "lazy";
        img.alt = ph.file;
        img.src = ph.thumb || ph.file;
        a.appendChild(img);
        return a;
      }, 200);
    },
  };
  const tabs = document.getElementById("tabs");
  Object.keys(views).forEach(name => {
    const b = el("button", "", name);
    b.onclick = () => views[name]();
    tabs.appendChild(b);
  });
  // The first screen: conversations on the left, contacts beside them, so both are in view.
  views.Conversations();
  const side = el("div", "contacts-preview");
  side.appendChild(el("h3", "", "Contacts"));
  (D.contacts || []).slice(0, PAGE).forEach(c => side.appendChild(el("div", "contact", [c[0], c[1]].filter(Boolean).join(" "))));
  detail.appendChild(side);
})();
</script>
</body>
</html>
)PAGE";
    return page;
}

std::string backupPageScript(const nlohmann::ordered_json& data) {
    return "window.BACKUP_DATA = " + jsonText(data) + ";\n";
}

} // namespace zentro::cli
