#include "backup/backup_page.h"
#include "formats/safe_text.h"

namespace zentro::cli {

// Everything the phone gave is put into the document as text (textContent, properties), never
// parsed as HTML, and file names become URLs one encoded segment at a time.
const std::string& backupPageHtml() {
    static const std::string page = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Phone backup</title>
<style>
* { box-sizing: border-box; }
body { font: 14px sans-serif; margin: 0; color: #222; display: flex; flex-direction: column; height: 100vh; }
header { background: #234; color: #fff; padding: 8px 16px 0; }
#top { display: flex; align-items: baseline; gap: 12px; flex-wrap: wrap; }
#title { font-size: 16px; }
#when { color: #bcd; font-size: 12px; }
#search { margin-left: auto; width: 320px; max-width: 100%; padding: 4px 8px; }
nav { margin-top: 8px; display: flex; flex-wrap: wrap; }
nav button { background: none; color: #cde; border: 0; border-bottom: 3px solid transparent; padding: 6px 10px; font: inherit; cursor: pointer; }
nav button.selected { color: #fff; border-bottom-color: #7bf; font-weight: bold; background: #345; }
#banner { background: #fff3cd; color: #6b4d00; border-bottom: 1px solid #e6c96b; padding: 8px 16px; }
main { display: flex; flex: 1; min-height: 0; }
#list { width: 36%; min-width: 240px; overflow: auto; border-right: 1px solid #ccc; }
#detail { flex: 1; overflow: auto; padding: 0 16px 16px; }
.row { padding: 6px 10px; border-bottom: 1px solid #eee; cursor: pointer; }
.row:hover, .row:focus { background: #f4f7fa; outline: none; }
.row.chosen { background: #dde9f6; }
.row .who { font-weight: bold; }
.muted { color: #777; font-size: 12px; }
.kind { color: #357; font-size: 11px; text-transform: uppercase; margin-right: 6px; }
.msg { margin: 6px 0; padding: 6px 10px; border-radius: 8px; max-width: 70%; white-space: pre-wrap; overflow-wrap: anywhere; width: fit-content; }
.in { background: #eee; } .out { background: #cfe3ff; margin-left: auto; }
.msg.hit { outline: 2px solid #f0b400; }
.pager { padding: 6px 10px; }
.error { color: #a00; }
table { border-collapse: collapse; width: 100%; } td, th { border-bottom: 1px solid #eee; padding: 4px 6px; text-align: left; vertical-align: top; }
th { width: 30%; color: #555; font-weight: normal; }
.thumbs a { display: inline-block; }
.thumbs img { width: 120px; height: 120px; object-fit: cover; margin: 4px; background: #eee; }
audio, video { width: 100%; max-height: 60vh; margin: 8px 0; }
h2 { font-size: 18px; margin: 14px 0 4px; } h2 .muted { font-weight: normal; margin-left: 8px; }
</style>
</head>
<body>
<header>
<div id="top"><strong id="title">Phone backup</strong><span id="when"></span>
<input id="search" type="search" placeholder="Search messages and contacts" aria-label="Search messages and contacts"></div>
<nav id="tabs" role="tablist"></nav>
</header>
<div id="banner" role="alert" hidden></div>
<main><div id="list"></div><div id="detail"></div></main>
<script src="data.js"></script>
<script>
"use strict";
(function () {
  const D = window.BACKUP_DATA;
  const PAGE = 100;
  const $ = id => document.getElementById(id);
  const list = $("list"), detail = $("detail"), box = $("search");
  const el = (tag, cls, text) => { const e = document.createElement(tag); if (cls) e.className = cls; if (text !== undefined) e.textContent = text; return e; };
  if (!D || typeof D !== "object") { list.textContent = "data.js is missing beside this page, or unreadable."; return; }
  const str = v => (v === undefined || v === null ? "" : typeof v === "object" ? JSON.stringify(v) : String(v));
  // Phones pad their strings with blanks, newlines and NULs.
  const clean = v => str(v).replace(/[\u0000-\u001f\u007f]+/g, " ").trim();
  const rowsOf = v => (Array.isArray(v) ? v : []);
  const cell = (r, i) => (Array.isArray(r) ? str(r[i]) : "");
  const fold = s => str(s).normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();

  // Times: instants in the viewer's own time zone; the phone's date texts are its wall clock already.
  const pad = n => String(n).padStart(2, "0");
  const local = d => d.getFullYear() + "-" + pad(d.getMonth() + 1) + "-" + pad(d.getDate()) + " " + pad(d.getHours()) + ":" + pad(d.getMinutes());
  const fromMs = ms => { const n = Number(ms); if (!str(ms) || !Number.isFinite(n) || n === 0) return ""; const d = new Date(n); return isNaN(d) ? "" : local(d); };
  const fromStamp = t => { const d = new Date(str(t)); return isNaN(d) ? str(t) : local(d); };
  const wall = t => str(t).slice(0, 16);
  // All-day events sit at UTC midnights: their dates are shown as they are, not moved into this zone.
  const DAY = 864e5;
  const allDay = e => { const a = Number(cell(e, 0)), b = Number(cell(e, 1)); return cell(e, 0) !== "" && a % DAY === 0 && b % DAY === 0 && b > a; };
  const utcDate = ms => { const d = new Date(Number(ms)); return isNaN(d) ? "" : d.toISOString().slice(0, 10); };
  const startOf = e => (allDay(e) ? utcDate(cell(e, 0)) + " · all day" : fromMs(cell(e, 0)));
  const zone = (() => { try { return Intl.DateTimeFormat().resolvedOptions().timeZone || ""; } catch (e) { return ""; } })();
  const bytes = n => { n = Number(n); if (!Number.isFinite(n) || n < 0) return ""; const u = ["bytes", "KB", "MB", "GB", "TB"]; let i = 0; while (n >= 1024 && i < u.length - 1) { n /= 1024; ++i; } return (i ? n.toFixed(1) : n) + " " + u[i]; };

  // A backup-relative file name as a URL; a name that could leave the folder gives none.
  function url(file) {
    const parts = str(file).split("/");
    if (!str(file) || parts.some(p => p === "" || p === "." || p === "..") || /\\/.test(file)) return null;
    return parts.map(encodeURIComponent).join("/");
  }

  const p = D.phone && typeof D.phone === "object" ? D.phone : {};
  const brand = clean(p.brand), model = clean(p.model);
  // Models often repeat the brand ("Tavian Tavian Note 11").
  const phoneName = model.toLowerCase().startsWith(brand.toLowerCase()) ? model : [brand, model].filter(Boolean).join(" ");
  const version = clean(p.androidVersion);
  $("title").textContent = (phoneName || "Phone backup") + (version ? " · Android " + version : "");
  document.title = "Backup of " + (phoneName || "a phone");
  $("when").textContent = [clean(p.serial), D.date ? "backed up " + fromStamp(D.date) : "", zone ? "times in " + zone : ""].filter(Boolean).join(" · ");

  function banner(complete, missing) {
    const m = rowsOf(missing).map(x => (x && typeof x === "object" ? str(x.file || x.name || x.path || JSON.stringify(x)) : str(x))).filter(Boolean);
    if (complete !== false && !m.length) return;
    const b = $("banner");
    b.textContent = "";
    b.append(el("strong", "", "This backup is incomplete. "),
      m.length ? m.length + " missing: " + m.slice(0, 10).join(", ") + (m.length > 10 ? ", …" : "") + ". " : "",
      "Run the same backup command again to finish it.");
    b.hidden = false;
  }
  const man = D.manifest && typeof D.manifest === "object" ? D.manifest : D;
  if ("complete" in man || "missing" in man) banner(man.complete, man.missing);
  else if (location.protocol !== "file:") fetch("manifest.json").then(r => r.json()).then(m => banner(m.complete, m.missing)).catch(() => {});

  // Numbers to names. Numbers match after dropping spaces, dashes, dots and brackets ("00" is
  // "+"); a national number (leading 0) matches an international one ending in the same
  // digits after a 1-3 digit country code only when a single contact fits.
  const contacts = rowsOf(D.contacts);
  const nameOf = c => [cell(c, 0), cell(c, 1)].map(clean).filter(Boolean).join(" ") || clean(cell(c, 6));
  function numberKey(text) {
    let t = str(text).trim();
    if (!/^[+\d(][\d\s\-().\/+]*$/.test(t)) return null;
    t = t.replace(/[^\d+]/g, "").replace(/^00/, "+");
    return t.lastIndexOf("+") > 0 || t.replace("+", "").length < 3 ? null : t;
  }
  function splits(key) {
    const out = [];
    for (let cc = 1; cc <= 3; ++cc) if (key.length - 1 - cc >= 6) out.push(key.slice(1 + cc));
    return out;
  }
  const national = key => (/^0[1-9]/.test(key) && key.length >= 7 ? key.slice(1) : null);
  const full = new Map(), localNat = new Map(), intlNat = new Map();
  const put = (map, k, name) => { if (!k) return; if (!map.has(k)) map.set(k, new Set()); map.get(k).add(name); };
  contacts.forEach(c => {
    const name = nameOf(c);
    if (!name) return;
    for (const i of [2, 3, 4]) {
      const k = numberKey(cell(c, i));
      if (!k) continue;
      put(full, k, name);
      if (k[0] === "+") splits(k).forEach(n => put(intlNat, n, name));
      else put(localNat, national(k), name);
    }
  });
  const whoCache = new Map();
  function who(address) {
    address = str(address);
    if (whoCache.has(address)) return whoCache.get(address);
    const k = numberKey(address);
    let names = [];
    if (k && full.has(k)) names = [...full.get(k)];
    else if (k) {
      const found = new Set();
      const add = s => s && s.forEach(n => found.add(n));
      if (k[0] === "+") splits(k).forEach(n => add(localNat.get(n)));
      else if (national(k)) add(intlNat.get(national(k)));
      if (found.size === 1) names = [...found];
    }
    const r = { name: names.join(", "), number: clean(address) };
    whoCache.set(address, r);
    return r;
  }
  const whoText = a => { const w = who(a); return w.name || w.number || "(no address)"; };
  function whoLine(tag, address) {
    const w = who(address), e = el(tag, "who", w.name || w.number || "(no address)");
    if (w.name && w.number) e.append(" ", el("span", "muted", w.number));
    return e;
  }

  // Messages: rows date, type, address, body, read; conversations name rows by index.
  const msgs = rowsOf(D.messages);
  const valid = i => Number.isInteger(i) && i >= 0 && i < msgs.length && Array.isArray(msgs[i]);
  const convs = rowsOf(D.conversations).filter(c => c && typeof c === "object")
    .map(c => ({ address: str(c.address), messages: [...new Set(rowsOf(c.messages).filter(valid))] })).filter(c => c.messages.length);
  // Messages no conversation names are grouped by address, so every message can be found.
  const covered = new Set(), byAddress = new Map();
  convs.forEach(c => { c.messages.forEach(i => covered.add(i)); if (!byAddress.has(c.address)) byAddress.set(c.address, c); });
  msgs.forEach((m, i) => {
    if (!valid(i) || covered.has(i)) return;
    const a = cell(m, 2);
    if (!byAddress.has(a)) { byAddress.set(a, { address: a, messages: [] }); convs.push(byAddress.get(a)); }
    byAddress.get(a).messages.push(i);
  });
  const convOf = new Map();
  convs.forEach(c => {
    c.messages.sort((a, b) => (cell(msgs[a], 0) < cell(msgs[b], 0) ? -1 : cell(msgs[a], 0) > cell(msgs[b], 0) ? 1 : a - b));
    c.last = c.messages[c.messages.length - 1];
    c.messages.forEach(i => convOf.set(i, c));
  });
  convs.sort((a, b) => (cell(msgs[a.last], 0) > cell(msgs[b.last], 0) ? -1 : cell(msgs[a.last], 0) < cell(msgs[b.last], 0) ? 1 : 0));
  const convByNumber = new Map();
  convs.forEach(c => { const k = numberKey(c.address) || c.address; if (!convByNumber.has(k)) convByNumber.set(k, c); });

  // The state lives in the address bar: #tab=messages&q=lunch&open=%2B15551234567&msg=12
  const state = { tab: "messages", q: "", open: "", msg: "" };
  function readHash() {
    for (const k in state) state[k] = k === "tab" ? "messages" : "";
    for (const part of location.hash.replace(/^#/, "").split("&")) {
      const eq = part.indexOf("=");
      if (eq < 0) continue;
      const k = part.slice(0, eq);
      let v;
      try { v = decodeURIComponent(part.slice(eq + 1)); } catch (e) { continue; }
      if (k in state) state[k] = v;
    }
    if (!views[state.tab]) state.tab = "messages";
  }
  function go(change, replace) {
    Object.assign(state, change);
    const hash = "#" + Object.keys(state).filter(k => state[k] !== "").map(k => k + "=" + encodeURIComponent(state[k])).join("&");
    if (replace) history.replaceState(null, "", hash); else history.pushState(null, "", hash);
    render();
  }

  // A list drawn one page at a time: only that page's rows are in the document.
  function paged(container, items, draw, size, first) {
    let page = Math.max(0, Math.floor((first || 0) / size));
    function show() {
      container.textContent = "";
      const end = Math.min(items.length, (page + 1) * size);
      const bar = () => {
        const b = el("div", "pager"), prev = el("button", "", "previous"), next = el("button", "", "next");
        prev.disabled = page === 0; next.disabled = end >= items.length;
        prev.onclick = () => { --page; show(); container.scrollTop = 0; };
        next.onclick = () => { ++page; show(); container.scrollTop = 0; };
        b.append(prev, " " + (page * size + 1) + "-" + end + " of " + items.length + " ", next);
        return b;
      };
      if (items.length > size) container.appendChild(bar());
      for (let i = page * size; i < end; ++i) container.appendChild(draw(items[i], i));
      if (items.length > size) container.appendChild(bar());
    }
    show();
  }
  function row(cls, chosen, onclick) {
    const r = el("div", "row " + cls + (chosen ? " chosen" : ""));
    r.tabIndex = 0;
    r.onclick = onclick;
    r.onkeydown = e => { if (e.key === "Enter") onclick(); };
    return r;
  }
  function facts(pairs) {
    const t = el("table");
    pairs.forEach(([k, v]) => { if (str(v) === "") return; const tr = el("tr"); tr.append(el("th", "", k), el("td", "", str(v))); t.appendChild(tr); });
    return t;
  }
  const heading = (text, note) => { const h = el("h2", "", text); if (note) h.appendChild(el("span", "muted", note)); return h; };
  const cut = (t, n) => (t.length > n ? t.slice(0, n) + "…" : t);
  const snippet = (t, n) => cut(clean(t), n);

  const msgKinds = { 1: "received", 2: "sent", 3: "draft", 4: "outbox", 5: "failed", 6: "queued" };
  const callKinds = { 1: "incoming", 2: "outgoing", 3: "missed", 4: "voicemail", 5: "rejected", 6: "blocked" };

  function showConversation(c) {
    detail.appendChild(whoLine("h2", c.address));
    detail.appendChild(el("p", "muted", c.messages.length + " messages"));
    const bubbles = el("div");
    detail.appendChild(bubbles);
    const needle = fold(state.q.trim());
    const at = c.messages.indexOf(Number(state.msg));
    let target = null;
    paged(bubbles, c.messages, i => {
      const m = msgs[i];
      const b = el("div", "msg " + (cell(m, 1) === "1" ? "in" : "out"), cell(m, 3));
      if (needle && fold(cell(m, 3)).includes(needle)) b.classList.add("hit");
      if (i === Number(state.msg)) target = b;
      b.appendChild(el("div", "muted", wall(cell(m, 0)) + (cell(m, 1) === "1" ? "" : " · " + (msgKinds[cell(m, 1)] || cell(m, 1)))));
      return b;
    }, 200, at >= 0 ? at : c.messages.length - 1);
    if (target) target.scrollIntoView({ block: "center" }); else detail.scrollTop = detail.scrollHeight;
  }
  function conversationButtons(numbers) {
    const out = el("p");
    numbers.forEach(n => {
      const c = convByNumber.get(numberKey(n) || n);
      if (!c) return;
      const b = el("button", "", "Messages with " + clean(n));
      b.onclick = () => go({ tab: "messages", open: c.address, msg: "" });
      out.append(b, " ");
    });
    return out;
  }

  // Media folders: the sub-folder a file sits in below its kind's folder (or the one data.js gives).
  function folders(items, all) {
    const by = new Map([[all, items]]);
    items.forEach(m => {
      const parts = str(m.file).split("/");
      const f = m.folder !== undefined ? clean(m.folder) : parts.slice(1, -1).join("/");
      if (!f) return;
      if (!by.has(f)) by.set(f, []);
      by.get(f).push(m);
    });
    return [...by.entries()].map(([name, files]) => ({ name, files }));
  }
  const fileName = m => str(m.file).split("/").pop() || str(m.file);
  function mediaView(key, label, all, drawFiles) {
    const items = rowsOf(D[key]).filter(m => m && typeof m === "object");
    let cache = null;
    return {
      label, count: items.length,
      items: () => cache || (cache = items.length ? folders(items, all) : []),
      key: f => f.name,
      draw: f => [el("div", "who", f.name), el("div", "muted", f.files.length + " files")],
      show: f => { detail.appendChild(heading(f.name, f.files.length + " files")); drawFiles(f.files); },
      summary: () => detail.appendChild(el("p", "muted", items.length ? "Choose a folder on the left." : "No " + label.toLowerCase() + " in this backup.")),
    };
  }
  function player(tag, files) {
    const media = el(tag);
    media.controls = true;
    const now = el("p", "muted");
    detail.append(media, now);
    const rowsBox = el("div");
    detail.appendChild(rowsBox);
    paged(rowsBox, files, m => {
      const r = row("file", false, () => { const u = url(m.file); if (u) { media.src = u; media.play().catch(() => {}); } now.textContent = "playing " + fileName(m); });
      r.append(el("div", "", fileName(m)), el("div", "muted", bytes(m.size)));
      return r;
    }, 200);
  }

  const views = {
    messages: {
      label: "Messages", count: msgs.length,
      items: () => convs, key: c => c.address,
      draw: c => [whoLine("div", c.address), el("div", "muted", c.messages.length + " · " + wall(cell(msgs[c.last], 0)) + " · " + snippet(cell(msgs[c.last], 3), 80))],
      cls: "conversation", show: showConversation,
      summary: () => detail.appendChild(el("p", "muted", convs.length + " conversations, " + msgs.length + " messages.")),
    },
    calls: {
      label: "Calls", count: rowsOf(D.calls).length,
      items: () => rowsOf(D.calls).map((c, i) => ({ c, i })), key: x => String(x.i),
      draw: x => [el("div", "who", who(cell(x.c, 2)).name || clean(cell(x.c, 3)) || clean(cell(x.c, 2)) || "(unknown)"),
        el("div", "muted", (callKinds[cell(x.c, 1)] || cell(x.c, 1)) + " · " + wall(cell(x.c, 0)) + " · " + clean(cell(x.c, 2)))],
      show: x => {
        detail.appendChild(heading(whoText(cell(x.c, 2)), callKinds[cell(x.c, 1)] || ""));
        detail.appendChild(facts([["number", clean(cell(x.c, 2))], ["name on the call", clean(cell(x.c, 3))], ["date", wall(cell(x.c, 0))],
          ["kind", callKinds[cell(x.c, 1)] || cell(x.c, 1)], ["seconds", cell(x.c, 4)]]));
        detail.appendChild(conversationButtons([cell(x.c, 2)]));
      },
      summary: () => detail.appendChild(el("p", "muted", rowsOf(D.calls).length + " calls.")),
    },
    contacts: {
      label: "Contacts", count: contacts.length,
      items: () => contacts.map((c, i) => ({ c, i, name: nameOf(c) })).sort((a, b) => a.name.localeCompare(b.name)), key: x => String(x.i),
      draw: x => [el("div", "who", x.name || "(no name)"), el("div", "muted", [2, 3, 4, 5].map(i => clean(cell(x.c, i))).filter(Boolean).join(", "))],
      show: x => {
        detail.appendChild(heading(x.name || "(no name)"));
        detail.appendChild(facts([["mobile", clean(cell(x.c, 2))], ["home", clean(cell(x.c, 3))], ["work", clean(cell(x.c, 4))],
          ["e-mail", clean(cell(x.c, 5))], ["organisation", clean(cell(x.c, 6))]]));
        detail.appendChild(conversationButtons([2, 3, 4].map(i => cell(x.c, i)).filter(Boolean)));
      },
      summary: () => detail.appendChild(el("p", "muted", contacts.length + " contacts.")),
    },
    calendar: {
      label: "Calendar", count: rowsOf(D.events).length,
      items: () => rowsOf(D.events).map((e, i) => ({ e, i })).sort((a, b) => (Number(cell(a.e, 0)) || 0) - (Number(cell(b.e, 0)) || 0)), key: x => String(x.i),
      draw: x => [el("div", "who", clean(cell(x.e, 2)) || "(no title)"), el("div", "muted", [startOf(x.e), clean(cell(x.e, 3))].filter(Boolean).join(" · "))],
      show: x => {
        detail.appendChild(heading(clean(cell(x.e, 2)) || "(no title)"));
        const e = x.e, days = allDay(e) ? (Number(cell(e, 1)) - Number(cell(e, 0))) / DAY : 0;
        detail.appendChild(facts(days ? [["date", utcDate(cell(e, 0)) + (days > 1 ? " to " + utcDate(Number(cell(e, 1)) - DAY) : "")], ["all day", "yes"], ["location", clean(cell(e, 3))]]
          : [["start", fromMs(cell(e, 0))], ["end", fromMs(cell(e, 1))], ["location", clean(cell(e, 3))]]));
      },
      summary: () => detail.appendChild(el("p", "muted", rowsOf(D.events).length + " events, times in " + (zone || "this computer's time zone") + ".")),
    },
    photos: mediaView("photos", "Photos", "All photos", files => {
      const grid = el("div", "thumbs");
      detail.appendChild(grid);
      paged(grid, files, m => {
        const a = el("a"), img = el("img"), u = url(m.file);
        if (u) a.href = u;
        img.loading = "lazy";
        img.alt = fileName(m);
        img.title = fileName(m);
        const src = url(m.thumb) || u;
        if (src) img.src = src;
        a.appendChild(img);
        return a;
      }, 200);
    }),
    music: mediaView("music", "Music", "All music", files => player("audio", files)),
    videos: mediaView("videos", "Videos", "All videos", files => player("video", files)),
    apps: {
      label: "Applications", count: rowsOf(D.apps).length,
      items: () => rowsOf(D.apps).filter(a => a && typeof a === "object").map(a => ({ a, name: clean(a.label) || clean(a.package) }))
        .sort((x, y) => x.name.localeCompare(y.name)), key: x => str(x.a.package),
      draw: x => [el("div", "who", x.name || "(no name)"), el("div", "muted", [clean(x.a.package), clean(x.a.version), x.a.system ? "system" : ""].filter(Boolean).join(" · "))],
      show: x => {
        detail.appendChild(heading(x.name || "(no name)", clean(x.a.version)));
        detail.appendChild(facts([["package", clean(x.a.package)], ["version", [clean(x.a.version), clean(x.a.versionCode)].filter(Boolean).join(" / ")],
          ["system application", x.a.system ? "yes" : "no"], ["on SD card", x.a.onSdCard ? "yes" : ""], ["size", bytes(x.a.totalSize)],
          ["installed", fromMs(x.a.installTime)], ["updated", fromMs(x.a.updateTime)]]));
      },
      summary: () => detail.appendChild(el("p", "muted", D.apps ? rowsOf(D.apps).length + " applications." : "This backup lists no applications.")),
    },
  };

  // Search: message bodies, contact names and numbers; folded case and accents, numbers by digits.
  let foldedBodies = null;
  function results(q) {
    const needle = fold(q), digits = numberKey(q), out = [];
    contacts.forEach((c, i) => {
      const hay = fold([0, 1, 6].map(j => cell(c, j)).join(" ") + " " + nameOf(c));
      const hit = hay.includes(needle) || [2, 3, 4].some(j => fold(cell(c, j)).includes(needle) || (digits && (numberKey(cell(c, j)) || "").includes(digits.replace("+", ""))));
      if (hit) out.push({ contact: i });
    });
    foldedBodies = foldedBodies || msgs.map(m => fold(cell(m, 3)));
    foldedBodies.forEach((b, i) => { if (b.includes(needle) && convOf.has(i)) out.push({ msg: i }); });
    return out;
  }
  // The text around the first match, the match marked.
  function marked(tag, cls, text, q, n) {
    let t = clean(text), at = t.toLowerCase().indexOf(q.toLowerCase());
    if (t.toLowerCase().length !== t.length) at = -1;
    if (at > n / 2) { t = "…" + t.slice(at - 30); at = 31; }
    const e = el(tag, cls);
    if (at < 0) e.textContent = snippet(t, n);
    else e.append(t.slice(0, at), el("mark", "", t.slice(at, at + q.length)), cut(t.slice(at + q.length), Math.max(0, n - at - q.length)));
    return e;
  }
  function drawResults() {
    const found = results(state.q.trim());
    const head = el("div", "pager muted", found.length + " found for “" + state.q.trim() + "”");
    const rowsBox = el("div");
    list.append(head, rowsBox);
    paged(rowsBox, found, x => {
      if (x.contact !== undefined) {
        const c = contacts[x.contact];
        const r = row("result contact", state.tab === "contacts" && state.open === String(x.contact), () => go({ tab: "contacts", open: String(x.contact), msg: "" }));
        r.append(el("span", "kind", "contact"), el("span", "who", nameOf(c) || "(no name)"),
          el("div", "muted", [2, 3, 4].map(i => clean(cell(c, i))).filter(Boolean).join(", ")));
        return r;
      }
      const m = msgs[x.msg], c = convOf.get(x.msg);
      const r = row("result message", state.tab === "messages" && state.msg === String(x.msg), () => go({ tab: "messages", open: c.address, msg: String(x.msg) }));
      r.append(el("span", "kind", "message"), el("span", "who", whoText(c.address)), el("span", "muted", " " + wall(cell(m, 0))),
        marked("div", "body", cell(m, 3), state.q.trim(), 140));
      return r;
    }, PAGE);
  }

  const tabs = $("tabs"), tabButtons = {};
  Object.keys(views).forEach(k => {
    const b = el("button", "tab", views[k].label + (views[k].count ? " (" + views[k].count + ")" : ""));
    b.setAttribute("role", "tab");
    b.onclick = () => go({ tab: k, open: "", msg: "", q: "" });
    tabs.appendChild(b);
    tabButtons[k] = b;
  });
  let typing = 0;
  box.addEventListener("input", () => { clearTimeout(typing); typing = setTimeout(() => go({ q: box.value }, true), 200); });
  box.addEventListener("keydown", e => { if (e.key === "Escape") { box.value = ""; go({ q: "" }, true); } });

  function render() {
    const v = views[state.tab];
    Object.keys(tabButtons).forEach(k => {
      tabButtons[k].classList.toggle("selected", k === state.tab);
      tabButtons[k].setAttribute("aria-selected", String(k === state.tab));
    });
    if (document.activeElement !== box) box.value = state.q;
    list.textContent = "";
    detail.textContent = "";
    // A record of a shape nobody foresaw costs its own view, not the page.
    try {
      const items = v.items();
      const chosen = state.open === "" ? -1 : items.findIndex(x => v.key(x) === state.open);
      if (state.q.trim()) drawResults();
      else if (!items.length) list.appendChild(el("p", "pager muted", "Nothing here."));
      else paged(list, items, (x, i) => {
        const r = row(v.cls || state.tab, i === chosen, () => go({ open: v.key(x), msg: "" }));
        r.append(...v.draw(x));
        return r;
      }, PAGE, Math.max(chosen, 0));
      const mark = list.querySelector(".chosen");
      if (mark) mark.scrollIntoView({ block: "nearest" });
      if (chosen >= 0) v.show(items[chosen]); else v.summary();
    } catch (e) {
      detail.appendChild(el("p", "error", "This part of the backup could not be shown (" + str(e && e.message) + ")."));
    }
  }
  window.addEventListener("popstate", () => { readHash(); render(); });
  window.addEventListener("hashchange", () => { readHash(); render(); });
  readHash();
  render();
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
