// The cockpit panel: one subscription to every name the instruments show,
// values kept by name as the gateway pushes them, and one render per
// animation frame when something changed.
import { Link, gatewayUrl } from "./link.js";
import { FlightDisplay } from "./flight.js";
import { Writer, autopilotPanel, radioStack } from "./controls.js";
import { EngineGauges, FuelGauges } from "./engines.js";
import { TrafficMap, trafficNames } from "./traffic.js";
import { convert, setText, wrap360 } from "./svg.js";

const kFlightNames = [
  "sim.frame_counter", // changes every frame: updates keep coming while the simulator runs
  "attitude.pitch", "attitude.bank", "attitude.heading", "position.magnetic_variation",
  "position.latitude", "position.longitude", "position.indicated_altitude",
  "speed.indicated_airspeed", "speed.ground", "speed.vertical",
  "autopilot.master", "autopilot.heading_hold", "autopilot.heading", "autopilot.altitude_hold",
  "autopilot.altitude", "autopilot.airspeed_hold", "autopilot.airspeed",
  "autopilot.vertical_speed_hold", "autopilot.vertical_speed", "autopilot.flight_director",
  "radio.com1.frequency", "radio.com1.standby", "radio.com2.frequency", "radio.com2.standby",
  "radio.nav1.frequency", "radio.nav1.standby", "radio.nav1.ident",
  "radio.nav2.frequency", "radio.nav2.standby", "radio.nav2.ident",
  "radio.adf1.frequency", "radio.adf1.ident", "radio.transponder.code", "radio.transponder.mode",
  "engine.count",
  "engine.1.n1", "engine.1.n2", "engine.1.egt", "engine.1.fuel_flow",
  "engine.2.n1", "engine.2.n2", "engine.2.egt", "engine.2.fuel_flow",
  "fuel.weight_per_gallon",
  "fuel.left_main.level", "fuel.left_main.capacity", "fuel.centre.level", "fuel.centre.capacity",
  "fuel.right_main.level", "fuel.right_main.capacity",
];
// Catalogue look-ups for the units and summaries of the names above.
const kDescribed = ["attitude.*", "position.*", "speed.*", "autopilot.*", "radio.*", "engine.*", "fuel.*"];
// Units the catalogue gives these, until it has said so itself.
const kUnits = { "speed.vertical": "m/s", "speed.ground": "m/s" };

const kPhaseWords = {
  connecting: "Connecting\u2026",
  open: "Connected",
  stale: "Connected, waiting for the simulator",
  closed: "Disconnected, retrying",
};

const values = {};
const rows = new Map(); // catalogue name (tables with '#') -> row
let dirty = true;
let lastWords = 0;
let writeError = { text: "", until: 0 };

function row(name) {
  return rows.get(name) || rows.get(name.replace(/\.\d+\./, ".#."));
}

function unit(name) {
  const r = row(name);
  return r && r.unit ? r.unit : kUnits[name];
}

const linkLine = {
  el: document.getElementById("link"),
  phase: document.getElementById("link-phase"),
  rate: document.getElementById("link-rate"),
  age: document.getElementById("link-age"),
  error: document.getElementById("link-error"),
};
let linkState = { phase: "connecting", rate: 0, lastUpdate: 0, error: "" };
let described = false;

let link = null;
link = new Link(gatewayUrl(window.location), (s) => {
  linkState = s;
  if (s.phase === "closed") described = false;
  if ((s.phase === "open" || s.phase === "stale") && !described) describeNames();
  showLink();
});

const writer = new Writer(link, values, (text) => {
  writeError = { text, until: Date.now() + 6000 };
  showLink();
});

const flight = new FlightDisplay(document.getElementById("pfd"));
const renderAutopilot = autopilotPanel(document.getElementById("mcp"), writer);
const renderRadios = radioStack(document.getElementById("radio-stack"), writer, values);
const engines = new EngineGauges(document.getElementById("engine-gauges"));
const fuel = new FuelGauges(document.getElementById("fuel"));
const traffic = new TrafficMap(document.getElementById("traffic-map"));

link.subscribe([...kFlightNames, ...trafficNames()], (changed) => {
  Object.assign(values, changed);
  dirty = true;
});
// A press changes what the controls show before the simulator answers.
document.addEventListener("pointerdown", () => (dirty = true));
document.addEventListener("keydown", () => (dirty = true));

function describeNames() {
  described = true;
  Promise.all(kDescribed.map((p) => link.describe(p))).then(
    (lists) => {
      for (const list of lists) for (const r of list) rows.set(r.name, r);
      // Every reading tells its meaning on hover, from the catalogue.
      for (const e of document.querySelectorAll("[data-name]")) {
        const r = row(e.dataset.name);
        if (r && r.summary && !e.getAttribute("title")) e.setAttribute("title", r.summary);
      }
      dirty = true;
    },
    () => (described = false),
  );
}

function flightReadings() {
  // The variation as the simulator keeps it, west positive: the magnetic
  // heading is the true one plus it (east variation reads negative).
  const variation = Number.isFinite(values["position.magnetic_variation"]) ? values["position.magnetic_variation"] : 0;
  const heading = values["attitude.heading"];
  return {
    pitch: values["attitude.pitch"],
    bank: values["attitude.bank"],
    heading: Number.isFinite(heading) ? wrap360(heading + variation) : undefined,
    ias: values["speed.indicated_airspeed"],
    altitude: convert(values["position.indicated_altitude"], unit("position.indicated_altitude"), "ft"),
    verticalSpeed: convert(values["speed.vertical"], unit("speed.vertical"), "ft/min"),
    groundSpeed: convert(values["speed.ground"], unit("speed.ground"), "kt"),
    headingSelected: writer.shown("autopilot.heading"),
    altitudeSelected: writer.shown("autopilot.altitude"),
    speedSelected: writer.shown("autopilot.airspeed"),
  };
}

function render() {
  requestAnimationFrame(render);
  if (!dirty && writer.pending.size === 0) return;
  dirty = false;
  const f = flightReadings();
  flight.render(f);
  renderAutopilot();
  renderRadios();
  engines.render(values);
  fuel.render(values);
  traffic.render(values);
  const now = Date.now();
  if (now - lastWords > 1000) {
    lastWords = now;
    flight.describe(f);
    engines.describe();
    traffic.describe();
  }
}
requestAnimationFrame(render);

function showLink() {
  // The age is the link's own, newer than the last state it reported.
  const s = { ...linkState, lastUpdate: link ? link.state.lastUpdate : 0 };
  linkLine.el.dataset.phase = s.phase;
  setText(linkLine.phase, kPhaseWords[s.phase] || s.phase);
  setText(linkLine.rate, s.phase === "open" || s.phase === "stale" ? `${Math.round(s.rate)} updates/s` : "");
  const age = s.lastUpdate ? Date.now() - s.lastUpdate : NaN;
  setText(linkLine.age, Number.isFinite(age) ? `last ${age < 1000 ? `${age} ms` : `${(age / 1000).toFixed(1)} s`} ago` : "no update yet");
  linkLine.age.dataset.ms = Number.isFinite(age) ? String(age) : "";
  linkLine.el.dataset.frame = link ? String(link.state.frame) : "";
  const error = writeError.until > Date.now() ? writeError.text : s.error;
  setText(linkLine.error, error || "");
}
setInterval(showLink, 250);
