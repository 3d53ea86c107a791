"use strict";
// The line page: a tile per sensor, kept up to date from the line's stream.

const linePage = {
  data: null, // the last line snapshot
  names: "", // the sensor list the tiles were built for
  tiles: new Map(), // name -> tile element
  clock: new ServerClock(),
  stream: "connecting", // "connecting" until the stream first opens, then "live" or "lost"
  lostAt: "",
};

function sensorHref(name) {
  return "/sensor.html?name=" + encodeURIComponent(name);
}

// Tiles are built once per sensor list; every later snapshot only updates them.
function ensureTiles(sensors) {
  const names = JSON.stringify(sensors.map((s) => s.name));
  if (names === linePage.names) return;
  linePage.names = names;
  linePage.tiles.clear();
  const grid = document.getElementById("tiles");
  grid.replaceChildren();
  for (const s of sensors) {
    const tile = buildTile(s.name, sensorHref(s.name));
    linePage.tiles.set(s.name, tile);
    grid.appendChild(tile);
  }
  grid.classList.toggle("empty", sensors.length === 0);
  grid.classList.toggle("few", sensors.length > 0 && sensors.length <= 8);
  grid.classList.toggle("some", sensors.length > 8 && sensors.length <= 16);
}

function renderHeader(data, counts) {
  setText(document.getElementById("line"), data.line || "");
  setText(document.getElementById("updated"), clockOf(data.time) ? "updated " + clockOf(data.time) : "");
  const parts = [];
  for (const level of ["alarm", "warning", "ok"]) if (counts[level]) parts.push(counts[level] + " " + level);
  if (counts.stale) parts.push(counts.stale + " grey");
  setText(document.getElementById("summary"), parts.join(" \u00b7 "));
  const bad = counts.alarm ? " (" + counts.alarm + " alarm)" : "";
  const title = (data.line || "line") + bad + " \u2013 line view";
  if (document.title !== title) document.title = title;
}

function renderLine() {
  const data = linePage.data;
  if (!data) return;
  const view = { now: linePage.clock.now(), lost: linePage.stream === "lost", lostAt: linePage.lostAt };
  const counts = { ok: 0, warning: 0, alarm: 0, stale: 0 };
  for (const sensor of data.sensors || []) {
    const tile = linePage.tiles.get(sensor.name);
    if (!tile) continue;
    const shown = renderTile(tile, sensor, view);
    if (shown.stale) counts.stale++;
    else counts[shown.level]++;
  }
  renderHeader(data, counts);
}

function takeLine(data) {
  if (!data || !Array.isArray(data.sensors)) return;
  linePage.data = data;
  linePage.clock.seen(data.ms);
  ensureTiles(data.sensors);
  renderLine();
}

function streamLost() {
  // The time of the last snapshot, on the server's clock as every time shown.
  markStream(linePage, false, linePage.data && clockOf(linePage.data.time), renderLine);
}

function streamLive() {
  markStream(linePage, true, "", renderLine);
}

async function startLinePage() {
  try {
    const answer = await fetchJson("/api/line");
    if (answer.ok) takeLine(answer.body);
  } catch (e) {
    console.warn("the line could not be read", e);
  }
  keepStream("/api/stream", "line", { data: takeLine, live: streamLive, lost: streamLost });
  // Ages and "no frames since" move on between snapshots, and when none come.
  setInterval(renderLine, 1000);
}

startLinePage();
