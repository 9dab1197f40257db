// The page of guide-link serve: a view of the link guide-link runs, and requests to it. The
// server owns everything that moves the mount; this page only shows and asks.
"use strict";

const $ = (id) => document.getElementById(id);
const NIGHT_KEY = "guide-link-night";
const TOKEN_KEY = "guide-link-token";
const token = takeToken();

let page = 0;          // this page's number, as the server gave it
let pageKey = "";      // proves to the server which page asks
let controller = 0;    // the page that has control, 0 for none
let portOpen = false;
let motionRunning = false;
let pulseLimits = {shortest_ms: 200, longest_ms: 5000, step_ms: 100};
let motion = null;     // what the running or last motion check has said

// The token comes in the address the server printed. It is kept for this tab only, and taken
// out of the address bar, so that it is not bookmarked, shared or shown over a shoulder.
function takeToken() {
  const params = new URLSearchParams(location.search);
  const given = params.get("token");
  if (given) {
    sessionStorage.setItem(TOKEN_KEY, given);
    params.delete("token");
    const rest = params.toString();
    history.replaceState(null, "", location.pathname + (rest ? `?${rest}` : "") + location.hash);
  }
  return sessionStorage.getItem(TOKEN_KEY) || "";
}

// ---- night mode, remembered ----

function setNight(on) {
  document.body.classList.toggle("night", on);
  $("night").setAttribute("aria-pressed", on ? "true" : "false");
  localStorage.setItem(NIGHT_KEY, on ? "1" : "0");
}

// ---- talking to the server ----

function showMessage(text) {
  $("message").textContent = text;
  $("message").hidden = !text;
}

async function ask(path, body) {
  let response;
  try {
    response = await fetch(path, {
      method: "POST",
      headers: {"Content-Type": "application/json", "X-Guide-Link-Token": token, "X-Guide-Link-Page": pageKey},
      body: JSON.stringify(body || {}),
    });
  } catch (error) {
    showMessage("guide-link does not answer: is it still running?");
    return false;
  }
  const reply = await response.json().catch(() => ({}));
  showMessage(response.ok ? "" : reply.error || `The server refused: ${response.status}`);
  return response.ok;
}

async function loadPorts() {
  const response = await fetch("/api/ports", {headers: {"X-Guide-Link-Token": token}});
  if (!response.ok) return;
  const list = $("port-list");
  const chosen = list.value;
  list.textContent = "";
  for (const port of await response.json()) {
    const option = document.createElement("option");
    option.value = port.device;
    option.textContent = port.device + (port.description ? ` (${port.description})` : "") +
      (port.accessible ? "" : " - no permission");
    list.append(option);
  }
  if (chosen) list.value = chosen;
}

function chosenPort() {
  const typed = $("port-text").value.trim();
  return typed || $("port-list").value;
}

// ---- what the page shows ----

function updateControls() {
  const mine = controller !== 0 && controller === page;
  for (const button of document.querySelectorAll(".needs-control")) button.disabled = !mine || motionRunning;
  if (mine && !motionRunning) {
    $("connect").disabled = portOpen;
    $("disconnect").disabled = !portOpen;
    $("motion-run").disabled = portOpen;
  }
  $("motion-stop").disabled = !mine || !motionRunning;
  $("take-control").hidden = mine;
  $("control").textContent = mine ? "This page has control"
    : controller ? `Watching: page ${controller} has control` : "Watching: no page has control";
}

function showState(state) {
  portOpen = state.port_open;
  motionRunning = state.motion_running;
  $("status").textContent = state.status_text;
  updateControls();
}

function addLine(line) {
  const item = document.createElement("li");
  const time = document.createElement("span");
  time.className = "t";
  // The motion check runs on a link of its own, timed from its start.
  time.textContent = (line.motion ? "check " : "") + (line.t_ms / 1000).toFixed(3) + " s";
  const text = document.createElement("span");
  text.className = line.kind;
  const arrow = line.kind === "sent" ? "\u2192 " : line.kind === "received" ? "\u2190 " : "status: ";
  text.textContent = arrow + line.text + (line.kind === "sent" && line.ok === false ? "  WRITE FAILED" : "");
  item.append(time, text);
  if (line.hex) {
    const hex = document.createElement("span");
    hex.className = "hex";
    hex.textContent = "  hex " + line.hex;
    item.append(hex);
  }
  const list = $("transcript");
  const atBottom = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
  list.append(item);
  while (list.children.length > 1000) list.firstChild.remove();
  if (atBottom) list.scrollTop = list.scrollHeight;
}

function addPulse(pulse) {
  const item = document.createElement("li");
  if (pulse.unwritten) {
    item.className = "outside";
    item.textContent = `${pulse.direction} ${pulse.asked_ms} ms asked: FAILED, ${pulse.unwritten} could not be written`;
  } else {
    item.className = pulse.within ? "within" : "outside";
    item.textContent = `${pulse.direction} ${pulse.asked_ms} ms asked, ${pulse.measured_ms.toFixed(1)} ms on the line` +
      ` (${Math.round(pulse.lower_ms)} to ${Math.round(pulse.upper_ms)} allowed)` + (pulse.within ? "" : " OUT OF BOUND");
  }
  $("pulses").prepend(item);
}

// The pulse field as the dialog reads it: a whole number, 0 for anything else; below the
// shortest becomes the shortest, above the longest the longest, and the field shows it.
function correctedLength() {
  const field = $("length");
  const text = field.value.trim();
  let ms = /^[+-]?\d+$/.test(text) ? parseInt(text, 10) : 0;
  const corrected = ms < pulseLimits.shortest_ms || ms > pulseLimits.longest_ms;
  ms = Math.min(Math.max(ms, pulseLimits.shortest_ms), pulseLimits.longest_ms);
  field.classList.toggle("corrected", corrected);
  if (corrected) field.value = String(ms);
  return ms;
}

// ---- the motion check ----

const NS = "http://www.w3.org/2000/svg";

function svg(name, attributes, parent) {
  const element = document.createElementNS(NS, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (parent) parent.append(element);
  return element;
}

// Which panel of the plot an axis's runs, pulses and stops go to, by direction or command letter.
const AXES = [
  {name: "Declination", letters: "ns", directions: ["north", "south"]},
  {name: "Right ascension", letters: "ew", directions: ["east", "west"]},
];

// Where a run moved the mount from where it began, along the axis its direction moves, on the sky.
function offsetArcsec(run, reading) {
  const first = run.readings[0];
  if (run.direction === "north" || run.direction === "south") {
    return {t: reading.dec_t_ms, v: reading.dec_arcsec - first.dec_arcsec};
  }
  let seconds = reading.ra_s - first.ra_s;
  if (seconds > 43200) seconds -= 86400;
  if (seconds < -43200) seconds += 86400;
  const cosDec = Math.cos(first.dec_arcsec / 3600 * Math.PI / 180);
  return {t: reading.ra_t_ms, v: seconds * 15 * cosDec};
}

function overlaps(a, b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// Moves a label down past each label already placed in its panel that it would overlap.
function placeLabel(placed, label) {
  for (let box = label.getBBox(), other; (other = placed.find((p) => overlaps(box, p))); box = label.getBBox()) {
    label.setAttribute("y", Number(label.getAttribute("y")) + other.y + other.height - box.y + 1);
  }
  placed.push(label.getBBox());
}

// One panel: each run of the axis, its offset against time, the pulses shaded where they ran
// and the stops marked where they were sent.
function drawPanel(plot, axis, series, area, x) {
  const {top, height, left, right} = area;
  const runs = motion.runs.map((run, index) => ({run, index, points: series[index]}))
    .filter(({run}) => axis.directions.includes(run.direction));
  const values = runs.flatMap(({points}) => points.map((p) => p.v)).concat([0]);
  let v0 = Math.min(...values), v1 = Math.max(...values);
  if (v1 - v0 < 10) { v0 -= 5; v1 += 5; }
  const bottom = top + height;
  const y = (v) => top + (v1 - v) / (v1 - v0) * height;
  const panel = svg("g", {class: "panel"}, plot);

  for (const pulse of motion.pulses) {
    if (!axis.letters.includes(pulse.letter)) continue;
    const end = pulse.end ?? pulse.start;
    svg("rect", {x: x(pulse.start), y: top, width: Math.max(1, x(end) - x(pulse.start)), height, class: "pulse"}, panel);
  }
  svg("line", {x1: left, y1: top, x2: left, y2: bottom, class: "axis"}, panel);
  svg("line", {x1: left, y1: y(0), x2: right, y2: y(0), class: "axis", "stroke-dasharray": "2 3"}, panel);
  svg("line", {x1: left, y1: bottom, x2: right, y2: bottom, class: "axis"}, panel);
  svg("text", {x: left + 4, y: top + 12, class: "title"}, panel).textContent = `${axis.name}, arcsec`;
  svg("text", {x: left - 4, y: y(v1) + 10, "text-anchor": "end"}, panel).textContent = `${v1.toFixed(0)}"`;
  svg("text", {x: left - 4, y: y(v0), "text-anchor": "end"}, panel).textContent = `${v0.toFixed(0)}"`;
  for (const stop of motion.stops) {
    if (axis.letters.includes(stop.letter)) {
      svg("line", {x1: x(stop.t), y1: bottom - 8, x2: x(stop.t), y2: bottom + 2, class: "stop"}, panel);
    }
  }

  for (const {index, points} of runs) {
    const kind = `run${index % 6}`;
    svg("polyline", {points: points.map((p) => `${x(p.t)},${y(p.v)}`).join(" "), class: kind, "stroke-width": 2}, panel);
    for (const p of points) svg("circle", {cx: x(p.t), cy: y(p.v), r: 3.5, class: kind}, panel);
  }
  // The labels last, over every line.
  const placed = [];
  for (const {run, index, points} of runs) {
    const kind = `run${index % 6}`;
    const last = points[points.length - 1];
    const text = run.direction + (run.after_reversal ? " (backlash)" : "") + (run.runaway ? " STILL MOVING" : "");
    const anchorEnd = x(last.t) > right - 120;
    const label = svg("text", {x: anchorEnd ? x(last.t) - 6 : x(last.t) + 6, y: Math.max(top + 28, y(last.v) + 4),
      "text-anchor": anchorEnd ? "end" : "start", class: `${kind} label`}, panel);
    label.textContent = text;
    placeLabel(placed, label);
  }
}

// A panel for each axis, sharing one time axis.
function drawPlot() {
  const holder = $("motion-plot");
  holder.textContent = "";
  if (!motion || motion.runs.length === 0) return;
  // Narrow enough that its text is readable on a phone, where the plot is drawn at about 440 px.
  const width = 480, left = 44, right = 470, panelHeight = 170, gap = 24, top = 8, bottom = 40;
  const height = top + 2 * panelHeight + gap + bottom;
  // A run cut short by a halt has no reading after its settling time.
  const series = motion.runs.map((run) => run.readings.filter(Boolean).map((reading) => offsetArcsec(run, reading)));
  const times = series.flat().map((p) => p.t).concat(motion.stops.map((stop) => stop.t));
  const t0 = Math.min(...times), t1 = Math.max(...times, t0 + 1);
  const x = (t) => left + (t - t0) / (t1 - t0) * (right - left);

  const plot = svg("svg", {viewBox: `0 0 ${width} ${height}`, role: "img",
    "aria-label": "Declination and right ascension against time, each run's offset from where it began"}, holder);
  AXES.forEach((axis, i) => drawPanel(plot, axis, series, {top: top + i * (panelHeight + gap), height: panelHeight, left, right}, x));
  const axisY = top + 2 * panelHeight + gap;
  svg("text", {x: left, y: axisY + 16}, plot).textContent = `${(t0 / 1000).toFixed(0)} s`;
  svg("text", {x: right, y: axisY + 16, "text-anchor": "end"}, plot).textContent = `${(t1 / 1000).toFixed(0)} s`;
  svg("text", {x: (left + right) / 2, y: axisY + 34, "text-anchor": "middle"}, plot).textContent =
    "time; shaded: a pulse ran; | a stop sent";
}

function showVerdict(result) {
  const box = $("motion-verdict");
  box.hidden = false;
  box.className = result.outcome;
  box.textContent = "";
  const head = document.createElement("p");
  const outcome = document.createElement("span");
  outcome.className = "outcome";
  outcome.textContent = result.outcome;
  head.append(outcome, `: ${result.summary}.`);
  box.append(head);
  if (result.details.length) {
    const list = document.createElement("ul");
    for (const detail of result.details) {
      const item = document.createElement("li");
      item.textContent = detail;
      list.append(item);
    }
    box.append(list);
  }
}

// The motion check's moves and stops, for the plot: a pulse runs from its move to the stop of
// its direction, or to a halt (":Q#"), which stops every axis.
function notePulse(command, t) {
  const move = command.match(/^:M([nsew])#$/);
  if (move) motion.pulses.push({letter: move[1], start: t, end: null});
  const stop = command.match(/^:Q([nsew]?)#$/);
  if (!stop) return;
  const letters = stop[1] || "nsew";
  for (const letter of letters) motion.stops.push({letter, t});
  for (const pulse of motion.pulses) {
    if (pulse.end === null && letters.includes(pulse.letter)) pulse.end = t;
  }
}

function onMotion(line) {
  const progress = $("motion-progress");
  switch (line.event) {
  case "start":
    motion = {runs: [], stops: [], pulses: []};
    $("motion-verdict").hidden = true;
    progress.textContent = `Motion check on ${line.port}: starting.`;
    drawPlot();
    break;
  case "plan":
    progress.textContent = `A ${line.probe_ms} ms probe before each direction, then runs of at most ` +
      `${line.pulses} x ${line.length_ms} ms: reading the position with no pulse.`;
    break;
  case "baseline":
    progress.textContent = `Baseline: ${line.tracking ? "tracking" : "NOT tracking"}; now the runs.`;
    break;
  case "sent":
    notePulse(line.text, line.t_ms);
    addLine({t_ms: line.t_ms, kind: "sent", text: line.text, ok: line.ok, motion: true});
    break;
  case "received":
    addLine({t_ms: line.t_ms, kind: "received", text: line.text, hex: line.printable ? "" : line.hex, motion: true});
    break;
  case "status":
    addLine({t_ms: line.t_ms, kind: "status", text: line.text, motion: true});
    break;
  case "progress":
    progress.textContent = `Waiting for ${line.waiting_for} (${line.elapsed_s} s of ${line.limit_s}).`;
    break;
  case "run":
    motion.runs.push(line);
    progress.textContent = `Run ${line.index}, ${line.direction} (${line.role}): moved ${line.motion_arcsec.toFixed(1)}" ` +
      `at ${line.rate.toFixed(2)} sidereal${line.runaway ? ", STILL MOVING after the stop" : ""}.`;
    drawPlot();
    break;
  case "result":
    progress.textContent = "Motion check finished.";
    showVerdict(line);
    break;
  }
}

// ---- live updates ----

function watch() {
  const events = new EventSource(`/api/events?token=${encodeURIComponent(token)}`);
  events.addEventListener("hello", (event) => {
    const hello = JSON.parse(event.data);
    page = hello.page;
    pageKey = hello.key;
    controller = hello.controller;
    pulseLimits = hello.pulse_length;
    $("access").hidden = true;
    $("mount").hidden = false;
    $("transcript").textContent = "";
    for (const line of hello.transcript) addLine(line);
    showState(hello);
    if (hello.port && !$("port-text").value && ![...$("port-list").options].some((o) => o.value === hello.port)) {
      $("port-text").value = hello.port;
    }
    showMessage("");
    loadPorts();
  });
  events.addEventListener("state", (event) => showState(JSON.parse(event.data)));
  events.addEventListener("line", (event) => addLine(JSON.parse(event.data)));
  events.addEventListener("pulse", (event) => addPulse(JSON.parse(event.data)));
  events.addEventListener("motion", (event) => onMotion(JSON.parse(event.data)));
  events.addEventListener("control", (event) => {
    const change = JSON.parse(event.data);
    const hadIt = controller === page;
    controller = change.controller;
    if (hadIt && controller !== page) showMessage(`Page ${controller} took control. Press "Take control" to have it back.`);
    updateControls();
  });
  events.onerror = () => {
    controller = 0;
    updateControls();
    $("control").textContent = "Lost touch with guide-link: trying again...";
  };
}

async function start() {
  setNight(localStorage.getItem(NIGHT_KEY) === "1");
  $("night").addEventListener("click", () => setNight(!document.body.classList.contains("night")));
  if (!token) {
    $("access").textContent = "This page needs its access token: open the address that guide-link serve printed " +
      "when it started (it ends in ?token=...).";
    $("access").hidden = false;
    return;
  }
  // The token must be right before the page shows anything of the mount.
  const check = await fetch("/api/state", {headers: {"X-Guide-Link-Token": token}});
  if (!check.ok) {
    const reply = await check.json().catch(() => ({}));
    $("access").textContent = reply.error || `guide-link refused the page: ${check.status}`;
    $("access").hidden = false;
    return;
  }
  $("take-control").addEventListener("click", () => ask("/api/control"));
  $("connect").addEventListener("click", () => ask("/api/connect", {port: chosenPort()}));
  $("disconnect").addEventListener("click", () => ask("/api/disconnect"));
  for (const arrow of document.querySelectorAll(".arrow")) {
    arrow.addEventListener("click", () => ask("/api/pulse", {direction: arrow.dataset.direction, ms: correctedLength()}));
  }
  $("port-list").addEventListener("focus", loadPorts);
  $("motion-stop").addEventListener("click", () => ask("/api/motion/stop"));
  $("motion-run").addEventListener("click", () => ask("/api/motion", {
    port: chosenPort(),
    pulses: Number($("motion-pulses").value),
    length_ms: Number($("motion-length").value),
    baseline_ms: Number($("motion-baseline").value),
    settle_ms: Number($("motion-settle").value),
  }));
  watch();
}

start();
