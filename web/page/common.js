"use strict";
// Shared by the line page and the sensor page: times, the server's clock, the taught colour,
// a sensor's tile and the live stream.

// A frame older than this on an online sensor greys its tile.
const FRAME_STALE_MS = 2000;

const LEVEL_RANK = { ok: 0, warning: 1, alarm: 2 };

function worseLevel(a, b) {
  return LEVEL_RANK[b] > LEVEL_RANK[a] ? b : a;
}

// ---- times ------------------------------------------------------------------------------

// "HH:MM:SS" of a time text such as "2026-12-09T15:30:00.125+01:00": the server's own wall
// clock, so that a time reads the same on every PC of the hall.
function clockOf(timeText) {
  const match = /T(\d\d:\d\d:\d\d)/.exec(timeText || "");
  return match ? match[1] : "";
}

// "HH:MM" of a time text.
function minutesOf(timeText) {
  return clockOf(timeText).slice(0, 5);
}

// "2026-12-09 15:30:00" of a time text.
function dateClockOf(timeText) {
  const match = /^(\d{4}-\d\d-\d\d)T(\d\d:\d\d:\d\d)/.exec(timeText || "");
  return match ? match[1] + " " + match[2] : timeText || "";
}

// "HH:MM:SS" in the browser's zone, for the few times the data gives only as ms.
function clockOfMs(ms) {
  const d = new Date(ms);
  return [d.getHours(), d.getMinutes(), d.getSeconds()]
    .map((n) => String(n).padStart(2, "0"))
    .join(":");
}

// "12 s ago", "3 min ago", "2 h ago", "4 d ago".
function agoText(ms) {
  if (!(ms >= 0)) return "";
  const s = Math.floor(ms / 1000);
  if (s < 60) return s + " s ago";
  const min = Math.floor(s / 60);
  if (min < 60) return min + " min ago";
  const h = Math.floor(min / 60);
  if (h < 48) return h + " h ago";
  return Math.floor(h / 24) + " d ago";
}

// The server's clock as seen from here. Ages are measured against it, so that a PC whose own
// clock is off does not grey tiles that are fine (or keep stale ones looking live).
class ServerClock {
  constructor() {
    this.offset = 0;
  }

  // The server's time of the message just received.
  seen(serverMs) {
    if (Number.isFinite(serverMs)) this.offset = serverMs - Date.now();
  }

  now() {
    return Date.now() + this.offset;
  }
}

// ---- colours ------------------------------------------------------------------------------

// The colour a taught row stands for. The sensor reports X = 255*R/S, Y = 255*G/S and
// INT = S/4 + S/16 with S = R+G+B; inverted: S = INT*16/5, R = X*S/255, G = Y*S/255,
// B = S-R-G, each clamped to 0..255.
function taughtRgb(x, y, int) {
  const s = (int * 16) / 5;
  const r = (x * s) / 255;
  const g = (y * s) / 255;
  const b = s - r - g;
  return [r, g, b].map((v) => Math.round(Math.min(255, Math.max(0, v))));
}

function rgbText(rgb) {
  return "rgb(" + rgb.join(",") + ")";
}

// ---- reading a tile ---------------------------------------------------------------------

// The alarms of the tile and of its health, the worst first; a health alarm the tile already
// lists under its name is shown once.
function activeAlarms(tile) {
  const list = [];
  const names = new Set();
  for (const a of tile.alarms || []) {
    names.add(a.alarm);
    list.push({ name: a.alarm, level: a.level, message: a.message || "", since: clockOf(a.since) });
  }
  for (const a of (tile.health && tile.health.alarms) || []) {
    if (names.has(a.alarm)) continue;
    names.add(a.alarm);
    const since = Number.isFinite(a.since_ms) ? clockOfMs(a.since_ms) : "";
    list.push({ name: a.alarm, level: a.level, message: a.message || "", since });
  }
  return list.sort((a, b) => (LEVEL_RANK[b.level] || 0) - (LEVEL_RANK[a.level] || 0));
}

function indexLevel(value) {
  if (value < 1.0) return "alarm";
  if (value < 1.33) return "warning";
  return "ok";
}

// The smallest margin index over the rows of the health window, with where it is.
function worstMargin(health) {
  let worst = null;
  for (const row of (health && health.rows) || []) {
    for (const [key, kind] of [["circle_index", "circle"], ["band_index", "band"]]) {
      const value = row[key];
      if (Number.isFinite(value) && (worst === null || value < worst.value))
        worst = { value, kind, row: row.row };
    }
  }
  if (worst) worst.level = indexLevel(worst.value);
  return worst;
}

function noColourShare(health) {
  const share = health && health.cno_share && health.cno_share["255"];
  return Number.isFinite(share) ? share : 0;
}

// One memory against the approved file: its text, level and tooltip.
function memoryStep(name, step) {
  if (!step || step.inStep === null || step.inStep === undefined)
    return { text: name + " ?", level: "unknown", title: name + " not read yet" };
  if (step.inStep) return { text: name + " \u2713", level: "ok", title: name + " as approved" };
  const since = minutesOf(step.since);
  return {
    text: name + " differs" + (since ? " since " + since : ""),
    level: "warning",
    title: name + " differs from the approved file" + (step.since ? " since " + dateClockOf(step.since) : ""),
  };
}

function memorySteps(memories) {
  const m = memories || {};
  return [memoryStep("RAM", m.RAM), memoryStep("EEPROM", m.EEPROM)];
}

// The tile's colour: alarm for an alarm or a state other than LINE OK, warning for a warning,
// a thin margin or a memory out of step, else ok.
function tileLevel(tile, alarms) {
  let level = tile.state === "LINE OK" ? "ok" : "alarm";
  for (const a of alarms) if (a.level in LEVEL_RANK) level = worseLevel(level, a.level);
  const margin = worstMargin(tile.health);
  if (margin) level = worseLevel(level, margin.level);
  if (tile.memories && tile.memories.approved)
    for (const step of memorySteps(tile.memories)) if (step.level === "warning") level = worseLevel(level, "warning");
  return level;
}

// Why a tile is grey, or "" when it is not. view: {now, lost, lostAt}.
function staleReason(tile, view) {
  if (view.lost) return "stream lost at " + view.lostAt;
  if (tile.presence !== "online") return tile.presence || "not online";
  if (!tile.frame) return "no frames yet";
  if (view.now - tile.frame.ms > FRAME_STALE_MS) {
    const at = clockOf(tile.frame.time);
    return "no frames since " + at + " (" + agoText(view.now - tile.frame.ms) + ")";
  }
  return "";
}

// ---- building a tile ----------------------------------------------------------------------

function make(tag, className, parent, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  if (parent) parent.appendChild(node);
  return node;
}

// Writes only what changed: 32 tiles four times a second stay cheap to lay out.
function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

function setTitle(node, text) {
  if (node.title !== text) node.title = text;
}

function setLevelClass(node, level) {
  for (const name of ["ok", "warning", "alarm", "unknown"]) node.classList.toggle(name, name === level);
}

const TILE_PARTS = new WeakMap();

const MAIN_VALUES = ["X", "Y", "INT", "C-No"];
const RGB_VALUES = [["RED", "R"], ["GREEN", "G"], ["BLUE", "B"]];

function makeValue(parent, key, label) {
  const box = make("span", "value", parent);
  make("span", "key", box, label);
  return make("span", "number", box);
}

// An empty tile for a sensor; renderTile fills it. href: where the tile leads, or null.
function buildTile(name, href) {
  const tile = make("a", "tile ok");
  tile.dataset.sensor = name;
  if (href) tile.href = href;
  const p = {};
  const head = make("div", "head", tile);
  p.name = make("span", "name", head, name);
  p.state = make("div", "state", tile);
  p.stateText = document.createTextNode("");
  p.state.appendChild(p.stateText);
  p.since = make("span", "since", p.state);
  // Why the tile is grey, then the state's reason, on one line.
  const why = make("div", "why", tile);
  p.note = make("span", "note", why);
  p.message = make("span", "message", why);

  const colour = make("div", "colour", tile);
  const swatches = make("div", "swatches", colour);
  const measured = make("figure", "", swatches);
  p.measured = make("div", "swatch measured", measured);
  make("figcaption", "", measured, "measured");
  const taught = make("figure", "", swatches);
  p.taught = make("div", "swatch taught", taught);
  p.taughtLabel = make("figcaption", "", taught);

  p.values = make("div", "values", colour);
  p.value = {};
  const main = make("div", "main", p.values);
  for (const key of MAIN_VALUES) p.value[key] = makeValue(main, key, key);
  const rgb = make("div", "rgb", p.values);
  for (const [key, label] of RGB_VALUES) p.value[key] = makeValue(rgb, key, label);
  for (const key in p.value) p.value[key].dataset.v = key;

  p.health = make("div", "health", tile);
  p.margin = make("span", "margin", p.health);
  p.noColour = make("span", "nocolour", p.health);
  p.timeouts = make("span", "timeouts", p.health);
  p.alarms = make("ul", "alarms", tile);
  p.alarmsKey = null;
  p.memories = make("div", "memories", tile);
  p.memory = [make("span", "", p.memories), make("span", "", p.memories)];
  p.approved = make("span", "approved", p.memories);
  p.change = make("div", "change", tile);
  TILE_PARTS.set(tile, p);
  return tile;
}

// ---- rendering a tile ---------------------------------------------------------------------

function renderState(p, tile, view) {
  setText(p.stateText, (tile.state || "") + " ");
  // The state's own colour: a line that is fine reads green even on a tile in alarm.
  p.state.classList.toggle("bad", tile.state !== "LINE OK");
  const since = tile.sinceMs >= 0 ? clockOf(tile.since) : "";
  setText(p.since, since ? "since " + since + " \u00b7 " + agoText(view.now - tile.sinceMs) : "");
  setText(p.message, tile.message || "");
  setTitle(p.message, tile.message || "");
}

function renderColour(p, tile) {
  const f = tile.frame;
  p.measured.style.backgroundColor = f ? rgbText([f.RED, f.GREEN, f.BLUE]) : "";
  p.measured.classList.toggle("none", !f);
  for (const key in p.value) setText(p.value[key], f && Number.isFinite(f[key]) ? String(f[key]) : "");

  const t = tile.taught;
  const cno = f ? f["C-No"] : null;
  let label = "";
  if (cno === 255) label = "no colour (255)";
  else if (cno !== null && cno !== undefined) label = "C-No " + cno + (t ? "" : " (not taught)");
  setText(p.taughtLabel, label);

  // In contrast mode the taught X, Y and INT are limits, not a colour.
  const colour = t && !tile.contrast ? rgbText(taughtRgb(t.X, t.Y, t.INT)) : "";
  p.taught.style.backgroundColor = colour;
  p.taught.classList.toggle("none", !colour);
  p.taught.classList.toggle("numbers", Boolean(t && tile.contrast));
  setText(p.taught, t && tile.contrast ? "X " + t.X + " Y " + t.Y + " INT " + t.INT : "");
  setTitle(p.taught, t ? "row " + t.row + ": X " + t.X + " Y " + t.Y + " CTO " + t.CTO +
    " INT " + t.INT + " ITO " + t.ITO + (tile.contrast ? " (contrast)" : "") : "");
}

// The smallest margin index, and where it is when it is thin; the C-No 255 share; time-outs.
function renderHealth(p, tile) {
  const h = tile.health;
  const margin = worstMargin(h);
  let text = h ? "margin \u2013" : "health \u2013";
  if (margin) {
    text = "margin " + margin.value.toFixed(2);
    if (margin.level !== "ok") text += " r" + margin.row + " " + margin.kind;
  }
  setText(p.margin, text);
  setLevelClass(p.margin, margin ? margin.level : "unknown");
  setTitle(p.margin, margin ? "smallest margin index: the " + margin.kind + " of row " + margin.row
    : h ? "no row has enough frames yet" : "no health figures yet");
  const share = noColourShare(h);
  setText(p.noColour, h ? "no colour " + (share * 100).toFixed(share < 0.1 ? 1 : 0) + "%" : "");
  setTitle(p.noColour, h ? "share of frames with C-No 255 in the last " + Math.round(h.window_seconds / 60) + " min" : "");
  const timeouts = h && h.timeouts_per_hour > 0 ? h.timeouts_per_hour : 0;
  setText(p.timeouts, timeouts ? Math.round(timeouts) + " timeouts/h" : "");
}

function renderAlarms(p, alarms) {
  const key = JSON.stringify(alarms);
  if (key === p.alarmsKey) return;
  p.alarmsKey = key;
  p.alarms.replaceChildren();
  for (const a of alarms) {
    const li = make("li", a.level === "alarm" ? "alarm" : "warning", p.alarms,
      a.name + (a.message ? ": " + a.message : ""));
    li.dataset.alarm = a.name;
    li.title = a.name + (a.since ? " (since " + a.since + ")" : "") + (a.message ? ": " + a.message : "");
  }
  // Two lines fit a tile; with more, the first stays and a count tells the rest.
  if (alarms.length > 2) p.alarms.dataset.more = String(alarms.length - 1);
  else delete p.alarms.dataset.more;
}

// "RAM \u2713 EEPROM \u2713 approved" when both are as approved; when one differs, only that.
function renderMemories(p, tile) {
  const m = tile.memories || {};
  const steps = memorySteps(m);
  const anyDiffers = steps.some((s) => s.level === "warning");
  steps.forEach((step, i) => {
    setText(p.memory[i], m.approved && (!anyDiffers || step.level === "warning") ? step.text : "");
    setLevelClass(p.memory[i], step.level);
    setTitle(p.memory[i], step.title);
  });
  const allInStep = steps.every((s) => s.level === "ok");
  setText(p.approved, m.approved ? (allInStep ? "approved" : "") : "no approved file");
  setTitle(p.memories, m.approved ? "approved file: " + m.approved : "the line names no approved file");
}

// An entry begins with its full time stamp; the tile has room for the rest behind its time
// of day, and the tooltip holds the entry as written.
function renderChange(p, tile) {
  const change = tile.lastChange;
  const text = change ? change.text : "";
  let shown = text;
  if (change && change.time && text.startsWith(change.time))
    shown = minutesOf(change.time) + text.slice(change.time.length);
  setText(p.change, shown);
  setTitle(p.change, text);
}

// Brings a tile up to date with a sensor's data. view: {now, lost, lostAt}, now on the
// server's clock. Returns the tile's level and whether it is grey.
function renderTile(node, tile, view) {
  const p = TILE_PARTS.get(node);
  const alarms = activeAlarms(tile);
  const level = tileLevel(tile, alarms);
  const stale = staleReason(tile, view);
  setLevelClass(node, level);
  node.classList.toggle("stale", stale !== "");
  setTitle(node, tile.name + (tile.port ? " on " + tile.port : ""));
  renderState(p, tile, view);
  setText(p.note, stale);
  renderColour(p, tile);
  renderHealth(p, tile);
  renderAlarms(p, alarms);
  renderMemories(p, tile);
  renderChange(p, tile);
  node.dataset.frameMs = tile.frame ? String(tile.frame.ms) : "";
  return { level, stale: stale !== "" };
}

// ---- the stream ---------------------------------------------------------------------------

// Opens an SSE stream and keeps it open. The browser retries a dropped connection by itself;
// an answer it gives up on (an error status) is retried here, a little later each time.
// on: {data(object), live(), lost()}.
function keepStream(url, eventName, on) {
  let source = null;
  let delay = 1000;
  function open() {
    source = new EventSource(url);
    source.addEventListener("open", () => {
      delay = 1000;
      on.live();
    });
    source.addEventListener(eventName, (event) => {
      let data;
      try {
        data = JSON.parse(event.data);
      } catch (e) {
        console.warn("unreadable " + eventName + " event", e);
        return;
      }
      on.data(data);
    });
    source.addEventListener("error", () => {
      on.lost();
      if (source.readyState === EventSource.CLOSED) {
        setTimeout(open, delay);
        delay = Math.min(delay * 2, 15000);
      }
    });
  }
  open();
}

// The header's stream status: "live" or "stream lost at HH:MM:SS, reconnecting".
function showStream(node, live, lostAt) {
  node.classList.toggle("live", live);
  node.classList.toggle("lost", !live);
  setText(node, live ? "live" : "stream lost at " + lostAt + ", reconnecting");
}

// A page's stream came back or went away: its state (page.stream, page.lostAt: the time it was
// first lost, lostAt or else the browser's now), the header's mark and the page drawn again.
function markStream(page, live, lostAt, render) {
  if (!live && page.stream !== "lost") page.lostAt = lostAt || clockOfMs(Date.now());
  page.stream = live ? "live" : "lost";
  showStream(document.getElementById("stream"), live, live ? "" : page.lostAt);
  render();
}

async function fetchJson(url) {
  const response = await fetch(url, { cache: "no-store" });
  let body = null;
  try {
    body = await response.json();
  } catch (e) {
    body = null;
  }
  return { ok: response.ok, status: response.status, body };
}
