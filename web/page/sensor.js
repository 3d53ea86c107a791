"use strict";
// The sensor page: its tile, a strip chart of the last 10 minutes, the colour space with the
// taught rows and the recent frames, its events and its changes, kept up to date from the
// sensor's stream.

const HISTORY_MS = 10 * 60 * 1000;

const SERIES = [
  { name: "X", index: 1, colour: "#1f5fbf", limit: "CTO" },
  { name: "Y", index: 2, colour: "#1b8a5a", limit: "CTO" },
  { name: "INT", index: 3, colour: "#7a3e9d", limit: "ITO" },
];

const sensorPage = {
  name: new URLSearchParams(location.search).get("name"),
  data: null, // the last sensor object
  points: [], // [ms, X, Y, INT], oldest first, the last 10 minutes
  stepMs: 200,
  clock: new ServerClock(),
  stream: "connecting", // "connecting" until the stream first opens, then "live" or "lost"
  lostAt: "",
  tile: null,
  keys: {}, // what each list was last built from
  drawQueued: false,
};

// ---- the data -----------------------------------------------------------------------------

// Points come whole with the first answer of a stream and after it only the new ones; a
// point already held is not taken twice, so a reconnected stream's full history fits in.
function mergeHistory(history) {
  if (!history) return;
  if (history.stepMs > 0) sensorPage.stepMs = history.stepMs;
  const points = sensorPage.points;
  let last = points.length ? points[points.length - 1][0] : -Infinity;
  for (const point of history.points || []) {
    if (point[0] > last) {
      points.push(point);
      last = point[0];
    }
  }
  const oldest = sensorPage.clock.now() - HISTORY_MS;
  let drop = 0;
  while (drop < points.length && points[drop][0] < oldest) drop++;
  if (drop) points.splice(0, drop);
}

// The taught row whose limits the strip chart shows: the one the frame is detected as, else
// the one most of the recent frames were.
function bandRow(data) {
  if (data.contrast) return null;
  if (data.taught) return data.taught;
  const counts = new Map();
  for (const [, , cno] of data.recent || []) if (cno !== 255) counts.set(cno, (counts.get(cno) || 0) + 1);
  let best = null;
  for (const [cno, n] of counts) if (best === null || n > counts.get(best)) best = cno;
  const row = (data.table || []).find((r) => r.row === best && r.active);
  return row || null;
}

// ---- drawing ------------------------------------------------------------------------------

// Sizes the canvas's pixels to its box on screen at the display's pixel ratio, so lines stay
// sharp; drawing is then in CSS pixels.
function prepareCanvas(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const w = canvas.clientWidth;
  const h = canvas.clientHeight;
  const pw = Math.max(1, Math.round(w * ratio));
  const ph = Math.max(1, Math.round(h * ratio));
  if (canvas.width !== pw) canvas.width = pw;
  if (canvas.height !== ph) canvas.height = ph;
  const ctx = canvas.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, w, h);
  ctx.font = "12px system-ui, -apple-system, 'Segoe UI', Roboto, Arial, sans-serif";
  return { ctx, w, h };
}

function drawStripGrid(ctx, area, now) {
  const { left, top, width, height } = area;
  ctx.strokeStyle = "#e3e6ea";
  ctx.fillStyle = "#5b6470";
  ctx.lineWidth = 1;
  ctx.textAlign = "right";
  ctx.textBaseline = "middle";
  for (let v = 0; v <= 250; v += 50) {
    const y = Math.round(area.y(v)) + 0.5;
    ctx.beginPath();
    ctx.moveTo(left, y);
    ctx.lineTo(left + width, y);
    ctx.stroke();
    ctx.fillText(String(v), left - 5, y);
  }
  // A line every minute; labels as far apart as the chart's width allows.
  const perMinute = width / 10;
  const labelEvery = [1, 2, 5, 10].find((n) => n * perMinute >= 80) || 10;
  ctx.textBaseline = "top";
  for (let min = 10; min >= 0; min--) {
    const x = Math.round(area.x(now - min * 60000)) + 0.5;
    ctx.beginPath();
    ctx.moveTo(x, top);
    ctx.lineTo(x, top + height);
    ctx.stroke();
    if (min % labelEvery) continue;
    ctx.textAlign = min === 10 ? "left" : min === 0 ? "right" : "center";
    ctx.fillText(min === 0 ? "now" : min + " min ago", x, top + height + 5);
  }
}

// A taught row's limits as faint bands: X and Y within CTO, INT within ITO.
function drawStripBands(ctx, area, row) {
  if (!row) return;
  for (const s of SERIES) {
    const centre = row[s.name];
    const tolerance = row[s.limit];
    const y0 = area.y(Math.min(255, centre + tolerance));
    const y1 = area.y(Math.max(0, centre - tolerance));
    ctx.globalAlpha = 0.13;
    ctx.fillStyle = s.colour;
    ctx.fillRect(area.left, y0, area.width, y1 - y0);
    ctx.globalAlpha = 0.45;
    ctx.strokeStyle = s.colour;
    ctx.setLineDash([4, 4]);
    ctx.beginPath();
    ctx.moveTo(area.left, area.y(centre));
    ctx.lineTo(area.left + area.width, area.y(centre));
    ctx.stroke();
    ctx.setLineDash([]);
  }
  ctx.globalAlpha = 1;
}

// One value over time; a gap of more than a few steps (no frames) breaks the line.
function drawStripSeries(ctx, area, points, s, gapMs, from) {
  ctx.strokeStyle = s.colour;
  ctx.lineWidth = 1.6;
  ctx.lineJoin = "round";
  ctx.beginPath();
  let previous = null;
  for (const point of points) {
    const value = point[s.index];
    if (point[0] < from || !Number.isFinite(value)) {
      previous = null;
      continue;
    }
    const x = area.x(point[0]);
    const y = area.y(value);
    if (previous === null || point[0] - previous > gapMs) ctx.moveTo(x, y);
    else ctx.lineTo(x, y);
    previous = point[0];
  }
  ctx.stroke();
}

function drawStripLegend(ctx, area, row, contrast) {
  let x = area.left;
  const y = 10;
  ctx.textAlign = "left";
  ctx.textBaseline = "middle";
  ctx.font = "600 13px system-ui, -apple-system, 'Segoe UI', Roboto, Arial, sans-serif";
  for (const s of SERIES) {
    ctx.strokeStyle = s.colour;
    ctx.lineWidth = 3;
    ctx.beginPath();
    ctx.moveTo(x, y);
    ctx.lineTo(x + 18, y);
    ctx.stroke();
    ctx.fillStyle = "#1d232b";
    ctx.fillText(s.name, x + 23, y);
    x += 30 + ctx.measureText(s.name).width + 14;
  }
  ctx.font = "12px system-ui, -apple-system, 'Segoe UI', Roboto, Arial, sans-serif";
  ctx.fillStyle = "#5b6470";
  let text = "bands: no taught row detected";
  if (contrast) text = "contrast evaluation: the taught values are no colour limits";
  else if (row) text = "bands: the limits of row " + row.row + " (X and Y \u00b1 CTO " + row.CTO +
    ", INT \u00b1 ITO " + row.ITO + ")";
  ctx.fillText(text, x + 10, y);
}

function drawStrip() {
  const canvas = document.getElementById("strip");
  const { ctx, w, h } = prepareCanvas(canvas);
  const data = sensorPage.data;
  if (!data) return;
  const now = sensorPage.clock.now();
  const from = now - HISTORY_MS;
  const area = { left: 36, top: 24, width: w - 36 - 12, height: h - 24 - 22 };
  area.x = (ms) => area.left + ((ms - from) / HISTORY_MS) * area.width;
  area.y = (v) => area.top + (1 - v / 255) * area.height;
  const row = bandRow(data);
  drawStripGrid(ctx, area, now);
  drawStripBands(ctx, area, row);
  ctx.save();
  ctx.beginPath();
  ctx.rect(area.left, area.top, area.width, area.height);
  ctx.clip();
  const gapMs = Math.max(3 * sensorPage.stepMs, 1000);
  for (const s of SERIES) drawStripSeries(ctx, area, sensorPage.points, s, gapMs, from);
  ctx.restore();
  drawStripLegend(ctx, area, row, data.contrast);
  if (!sensorPage.points.length) {
    ctx.fillStyle = "#5b6470";
    ctx.textAlign = "center";
    ctx.fillText("no frames in the last 10 minutes", area.left + area.width / 2, area.top + area.height / 2);
  }
}

function drawGraphAxes(ctx, area) {
  const { left, top, size } = area;
  // No colour lies beyond X+Y = 255 (its blue would be negative).
  ctx.fillStyle = "#f1f2f4";
  ctx.beginPath();
  ctx.moveTo(area.x(255), area.y(0));
  ctx.lineTo(area.x(255), area.y(255));
  ctx.lineTo(area.x(0), area.y(255));
  ctx.closePath();
  ctx.fill();
  ctx.strokeStyle = "#e3e6ea";
  ctx.fillStyle = "#5b6470";
  ctx.lineWidth = 1;
  for (let v = 0; v <= 250; v += 50) {
    const x = Math.round(area.x(v)) + 0.5;
    const y = Math.round(area.y(v)) + 0.5;
    ctx.beginPath();
    ctx.moveTo(x, top);
    ctx.lineTo(x, top + size);
    ctx.moveTo(left, y);
    ctx.lineTo(left + size, y);
    ctx.stroke();
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    ctx.fillText(String(v), x, top + size + 4);
    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    ctx.fillText(String(v), left - 4, y);
  }
  ctx.strokeStyle = "#9aa0a8";
  ctx.strokeRect(left + 0.5, top + 0.5, size, size);
  ctx.lineWidth = 1.5;
  ctx.beginPath();
  ctx.moveTo(area.x(0), area.y(255));
  ctx.lineTo(area.x(255), area.y(0));
  ctx.stroke();
  ctx.font = "600 13px system-ui, -apple-system, 'Segoe UI', Roboto, Arial, sans-serif";
  ctx.fillStyle = "#1d232b";
  ctx.textAlign = "right";
  ctx.textBaseline = "bottom";
  ctx.fillText("X", left + size, top + size - 3);
  ctx.textAlign = "left";
  ctx.textBaseline = "top";
  ctx.fillText("Y", left + 4, top + 3);
}

// Every active taught row: a circle of radius CTO around its X and Y.
function drawGraphRows(ctx, area, data, detected) {
  const scale = area.size / 255;
  for (const row of data.table || []) {
    if (!row.active) continue;
    const x = area.x(row.X);
    const y = area.y(row.Y);
    const rgb = taughtRgb(row.X, row.Y, row.INT);
    const isDetected = detected !== null && row.row === detected;
    ctx.beginPath();
    ctx.arc(x, y, Math.max(2, row.CTO * scale), 0, 2 * Math.PI);
    ctx.fillStyle = "rgba(" + rgb.join(",") + ",0.28)";
    ctx.fill();
    ctx.lineWidth = isDetected ? 2.5 : 1.2;
    ctx.strokeStyle = isDetected ? "#1d232b" : "rgba(29,35,43,0.55)";
    ctx.stroke();
  }
}

// The rows' numbers, over the frames so that a cloud of dots does not hide them.
function drawGraphRowNumbers(ctx, area, data) {
  ctx.textAlign = "center";
  ctx.textBaseline = "middle";
  ctx.font = "700 12px system-ui, -apple-system, 'Segoe UI', Roboto, Arial, sans-serif";
  ctx.lineWidth = 3;
  ctx.strokeStyle = "rgba(255,255,255,0.85)";
  ctx.fillStyle = "#1d232b";
  for (const row of data.table || []) {
    if (!row.active) continue;
    const x = area.x(row.X);
    const y = area.y(row.Y) - Math.max(2, (row.CTO * area.size) / 255) - 8;
    const label = String(row.row);
    ctx.strokeText(label, x, y);
    ctx.fillText(label, x, y);
  }
}

// The recent frames, older ones fainter; the newest larger and dark. No colour (255) in amber.
function drawGraphFrames(ctx, area, recent) {
  const n = recent.length;
  recent.forEach(([x, y, cno], i) => {
    const newest = i === n - 1;
    const alpha = newest ? 1 : 0.12 + 0.5 * (i / n);
    ctx.beginPath();
    ctx.arc(area.x(x), area.y(y), newest ? 5.5 : 2.2, 0, 2 * Math.PI);
    ctx.fillStyle = cno === 255 ? "rgba(184,110,0," + alpha + ")" : "rgba(29,35,43," + alpha + ")";
    ctx.fill();
    if (newest) {
      ctx.lineWidth = 2;
      ctx.strokeStyle = "#ffffff";
      ctx.stroke();
    }
  });
}

function drawGraph() {
  const canvas = document.getElementById("graph");
  const { ctx, w, h } = prepareCanvas(canvas);
  const data = sensorPage.data;
  if (!data) return;
  const left = 34;
  const top = 10;
  const size = Math.max(10, Math.min(w - left - 10, h - top - 24));
  const area = { left, top, size };
  area.x = (v) => left + (v / 255) * size;
  area.y = (v) => top + (1 - v / 255) * size;
  drawGraphAxes(ctx, area);
  ctx.save();
  ctx.beginPath();
  ctx.rect(left, top, size, size);
  ctx.clip();
  const frame = data.frame;
  const detected = frame && frame["C-No"] !== 255 ? frame["C-No"] : null;
  if (!data.contrast) drawGraphRows(ctx, area, data, detected);
  drawGraphFrames(ctx, area, data.recent || []);
  ctx.restore();
  if (!data.contrast) drawGraphRowNumbers(ctx, area, data);
  if (data.contrast) {
    ctx.fillStyle = "#5b6470";
    ctx.textAlign = "right";
    ctx.textBaseline = "top";
    ctx.fillText("contrast evaluation: no colour circles", left + size - 4, top + 4);
  }
}

// Both charts, at most once a frame of the display.
function scheduleDraw() {
  if (sensorPage.drawQueued) return;
  sensorPage.drawQueued = true;
  requestAnimationFrame(() => {
    sensorPage.drawQueued = false;
    drawStrip();
    drawGraph();
  });
}

// ---- lists --------------------------------------------------------------------------------

// Rebuilds a list only when what it shows changed.
function changed(key, value) {
  const text = JSON.stringify(value);
  if (sensorPage.keys[key] === text) return false;
  sensorPage.keys[key] = text;
  return true;
}

function logItem(list, level, when, what, text, title) {
  const li = make("li", level || "", list);
  make("span", "when", li, when);
  if (what) make("span", "what", li, what);
  li.appendChild(document.createTextNode(text));
  if (title) li.title = title;
  return li;
}

function renderEvents(events) {
  if (!changed("events", events)) return;
  const list = document.getElementById("events");
  list.replaceChildren();
  for (const e of events.slice().reverse())
    logItem(list, e.level, dateClockOf(e.time), e.event, e.message || "", e.time);
}

function renderChanges(changes) {
  if (!changed("changes", changes)) return;
  const list = document.getElementById("changes");
  list.replaceChildren();
  for (const c of changes.slice().reverse()) {
    // The entry's own time stamp is shown shorter in front of it.
    const text = c.time && c.text.startsWith(c.time) ? c.text.slice(c.time.length).trim() : c.text;
    logItem(list, "", dateClockOf(c.time), "", text, c.text);
  }
}

function renderTable(data) {
  const frame = data.frame;
  const detected = frame ? frame["C-No"] : null;
  const shown = { table: data.table, detected, contrast: data.contrast, mode: data.evalMode, max: data.maxColours };
  if (!changed("table", shown)) return;
  const note = [];
  if (Number.isFinite(data.evalMode)) note.push("evaluation mode " + data.evalMode + (data.contrast ? " (contrast)" : ""));
  if (Number.isFinite(data.maxColours)) note.push(data.maxColours + " of " + (data.table || []).length + " rows in use");
  setText(document.getElementById("table-note"), note.join(" \u00b7 ") || (data.table && data.table.length ? "" : "the taught rows are not read yet"));
  const body = document.querySelector("#table tbody");
  body.replaceChildren();
  for (const row of data.table || []) {
    const tr = make("tr", row.active ? "" : "inactive", body);
    if (row.row === detected) tr.classList.add("detected");
    make("td", "", tr, String(row.row));
    const chip = make("span", "chip", make("td", "", tr));
    if (data.contrast) chip.classList.add("none");
    else chip.style.backgroundColor = rgbText(taughtRgb(row.X, row.Y, row.INT));
    for (const key of ["X", "Y", "CTO", "INT", "ITO"]) make("td", "", tr, String(row[key]));
  }
}

function signed(value, digits) {
  return (value > 0 ? "+" : value < 0 ? "\u2212" : "\u00b1") + Math.abs(value).toFixed(digits);
}

function triple(values, format) {
  if (!values) return "\u2013";
  return [values.x, values.y, values.int].map((v) => (Number.isFinite(v) ? format(v) : "\u2013")).join(" / ");
}

function healthIndex(parent, label, value) {
  if (!Number.isFinite(value)) return;
  const first = parent.childNodes.length === 0;
  make("span", indexLevel(value), parent, (first ? "" : " \u00b7 ") + label + " margin " + value.toFixed(2));
}

// Per row of the health window: its margins, and X / Y / INT as mean, spread and trend.
function renderHealthRows(health) {
  if (!changed("health", health)) return;
  const list = document.getElementById("health-rows");
  list.replaceChildren();
  if (!health) return;
  for (const row of health.rows || []) {
    const li = make("li", "", list);
    make("span", "row", li, "row " + row.row);
    make("span", "", li, " \u00b7 " + row.frames + " frames" + (row.stable ? "" : " (settling)"));
    const margins = make("div", "", li);
    healthIndex(margins, "circle", row.circle_index);
    healthIndex(margins, "band", row.band_index);
    const detail = make("div", "detail", li);
    detail.textContent = "X / Y / INT: mean " + triple(row.mean, (v) => v.toFixed(1)) +
      ", sd " + triple(row.sd, (v) => v.toFixed(1)) + ", " + triple(row.trend_per_hour, (v) => signed(v, 1)) + " an hour";
    detail.title = "near an edge: " + (Number.isFinite(row.near_share) ? (row.near_share * 100).toFixed(1) + "% of frames" : "\u2013");
  }
}

// ---- the page -----------------------------------------------------------------------------

function renderHeaderState(data, shown, stale) {
  const state = document.getElementById("state");
  const since = data.sinceMs >= 0 ? clockOf(data.since) : "";
  let text = data.state || "";
  if (since) text += " since " + since + " (" + agoText(sensorPage.clock.now() - data.sinceMs) + ")";
  if (data.message) text += ": " + data.message;
  setText(state, text);
  setTitle(state, text);
  setLevelClass(state, shown.level);
  state.classList.toggle("stale", stale);
  const updated = clockOf(data.time) || (data.frame ? clockOf(data.frame.time) : "");
  setText(document.getElementById("updated"), updated ? "updated " + updated : "");
}

function renderSensor() {
  const data = sensorPage.data;
  if (!data) return;
  if (!sensorPage.tile) {
    sensorPage.tile = buildTile(data.name, null);
    document.getElementById("current").appendChild(sensorPage.tile);
  }
  const view = { now: sensorPage.clock.now(), lost: sensorPage.stream === "lost", lostAt: sensorPage.lostAt };
  const shown = renderTile(sensorPage.tile, data, view);
  setText(document.getElementById("port"), data.port || "");
  renderHeaderState(data, shown, shown.stale);
  renderEvents(data.events || []);
  renderChanges(data.changes || []);
  renderTable(data);
  renderHealthRows(data.health || null);
  scheduleDraw();
}

function takeSensor(data) {
  if (!data || typeof data.name !== "string") return;
  document.body.classList.remove("missing");
  showProblem("");
  sensorPage.clock.seen(data.ms);
  sensorPage.data = data;
  mergeHistory(data.history);
  renderSensor();
}

function streamLost() {
  const data = sensorPage.data;
  const at = data && (clockOf(data.time) || (data.frame && clockOf(data.frame.time)));
  markStream(sensorPage, false, at, renderSensor);
}

function streamLive() {
  markStream(sensorPage, true, "", renderSensor);
}

function showProblem(text) {
  setText(document.getElementById("problem"), text);
}

function sensorUrl(name) {
  return "/api/sensors/" + encodeURIComponent(name);
}

// The first answer; a sensor the line does not have is said so, and asked for again now and
// then, since the line may be served with it again.
async function loadSensor(name) {
  for (;;) {
    try {
      const answer = await fetchJson(sensorUrl(name));
      if (answer.ok) {
        takeSensor(answer.body);
        return;
      }
      document.body.classList.add("missing");
      if (answer.status !== 404) {
        showProblem("the sensor could not be read (HTTP " + answer.status + ")");
        return;
      }
      showProblem((answer.body && answer.body.error) || "no sensor " + name + " on this line");
      setText(document.getElementById("stream"), "no stream");
    } catch (e) {
      console.warn("the sensor could not be read", e);
      return;
    }
    await new Promise((resolve) => setTimeout(resolve, 10000));
  }
}

async function startSensorPage() {
  const name = sensorPage.name;
  if (!name) {
    document.body.classList.add("missing");
    showProblem("no sensor named in the address: open it from the line, as sensor.html?name=NAME");
    setText(document.getElementById("stream"), "no stream");
    return;
  }
  setText(document.getElementById("name"), name);
  document.title = name + " \u2013 sensor";
  await loadSensor(name);
  keepStream(sensorUrl(name) + "/stream", "sensor", { data: takeSensor, live: streamLive, lost: streamLost });
  // Ages, "no frames since" and the time axis move on between messages, and when none come.
  setInterval(renderSensor, 1000);
  window.addEventListener("resize", scheduleDraw);
}

startSensorPage();
