// The traffic map: the nearest AI aircraft around our own, north up, with
// range rings, each target's altitude relative to ours and its trend, and
// the nearest few listed as text.
import { svg, html, setText, setAttr, whole, heading3, wrap360 } from "./svg.js";

const SIZE = 320;
const C = SIZE / 2;
const R = 140; // pixels to the outer ring
// Records that carry a position (the table has more, without one).
export const kTrafficRecords = 19;
export const kTrafficFields = ["id", "latitude", "longitude", "altitude", "heading", "vertical_speed", "ground_speed", "model"];
const kRanges = [5, 10, 20, 40];
const kListed = 8;
const kNmPerDegree = 60;

export function trafficNames() {
  const names = [];
  for (let k = 1; k <= kTrafficRecords; ++k) {
    for (const f of kTrafficFields) names.push(`traffic.${k}.${f}`);
  }
  return names;
}

export class TrafficMap {
  constructor(host) {
    this.range = 10;
    this.el = svg("svg", { viewBox: `0 0 ${SIZE} ${SIZE}`, class: "traffic", role: "img", "aria-label": "Traffic" });
    this.el.append(svg("circle", { cx: C, cy: C, r: R + 12, class: "map-face" }));
    for (const f of [0.5, 1]) {
      this.el.append(svg("circle", { cx: C, cy: C, r: R * f, class: f === 1 ? "ring" : "ring inner" }));
    }
    this.ringLabels = [0.5, 1].map((f) => {
      const t = svg("text", { x: C + R * f * 0.7071 + 4, y: C - R * f * 0.7071 - 4, class: "ring-label" }, "");
      this.el.append(t);
      return t;
    });
    this.el.append(svg("text", { x: C, y: C - R - 16 + 12, class: "north", "text-anchor": "middle" }, "N"));
    this.targets = svg("g");
    this.own = svg("path", { d: `M${C} ${C - 12} l8 20 l-8 -5 l-8 5 z`, class: "own" });
    this.el.append(this.targets, this.own);
    this.rangeButton = html("button", { class: "range", id: "traffic-range", "aria-label": "Map range" }, "");
    this.rangeButton.addEventListener("click", () => {
      this.range = kRanges[(kRanges.indexOf(this.range) + 1) % kRanges.length];
    });
    this.list = html("ol", { class: "traffic-list", id: "traffic-list", "aria-label": "Nearest traffic" });
    this.count = html("span", { class: "caption", id: "traffic-count" }, "");
    const head = html("div", { class: "traffic-head", "aria-hidden": "true" },
      ...["DIST", "BRG", "ALT", "GS", "TYPE"].map((t) => html("span", {}, t)));
    host.append(
      this.el,
      html("div", { class: "map-right" }, html("div", { class: "map-foot" }, this.count, this.rangeButton), head, this.list),
    );
    this.symbols = new Map(); // record -> <g>
  }

  // Aircraft in the table with a position, nearest first.
  aircraft(v) {
    const lat = v["position.latitude"];
    const lon = v["position.longitude"];
    const own = v["position.indicated_altitude"];
    if (!Number.isFinite(lat) || !Number.isFinite(lon)) return [];
    const cosLat = Math.cos((lat * Math.PI) / 180);
    const out = [];
    for (let k = 1; k <= kTrafficRecords; ++k) {
      const p = `traffic.${k}.`;
      const id = v[`${p}id`];
      const tlat = v[`${p}latitude`];
      const tlon = v[`${p}longitude`];
      if (!id || !Number.isFinite(tlat) || (tlat === 0 && tlon === 0)) continue;
      const north = (tlat - lat) * kNmPerDegree;
      const east = (tlon - lon) * kNmPerDegree * cosLat;
      const distance = Math.hypot(north, east);
      out.push({
        record: k,
        id,
        north,
        east,
        distance,
        bearing: wrap360((Math.atan2(east, north) * 180) / Math.PI),
        altitude: v[`${p}altitude`],
        relative: v[`${p}altitude`] - own,
        heading: v[`${p}heading`],
        climb: v[`${p}vertical_speed`],
        speed: v[`${p}ground_speed`],
        model: typeof v[`${p}model`] === "string" ? v[`${p}model`] : "",
      });
    }
    return out.sort((a, b) => a.distance - b.distance);
  }

  render(v) {
    const heading = v["attitude.heading"];
    if (Number.isFinite(heading)) setAttr(this.own, "transform", `rotate(${heading.toFixed(1)} ${C} ${C})`);
    setText(this.rangeButton, `${this.range} NM`);
    setText(this.ringLabels[0], String(this.range / 2));
    setText(this.ringLabels[1], String(this.range));
    const list = this.aircraft(v);
    const seen = new Set();
    for (const a of list) {
      seen.add(a.record);
      let s = this.symbols.get(a.record);
      if (!s) {
        s = { g: svg("g", { class: "target" }) };
        s.mark = svg("path", { d: "M0 -7 L7 0 L0 7 L-7 0 Z" });
        s.vector = svg("line", { x1: 0, y1: -7, x2: 0, y2: -20, class: "target-vector" });
        s.label = svg("text", { x: 0, y: 22, "text-anchor": "middle", class: "target-label" }, "");
        s.arrow = svg("text", { x: 11, y: 5, class: "target-arrow" }, "");
        s.pointer = svg("g");
        s.pointer.append(s.vector);
        s.g.append(s.pointer, s.mark, s.label, s.arrow);
        this.targets.append(s.g);
        this.symbols.set(a.record, s);
      }
      const scale = R / this.range;
      const inside = a.distance <= this.range;
      setAttr(s.g, "visibility", inside ? "visible" : "hidden");
      setAttr(s.g, "transform", `translate(${(C + a.east * scale).toFixed(1)} ${(C - a.north * scale).toFixed(1)})`);
      if (Number.isFinite(a.heading)) setAttr(s.pointer, "transform", `rotate(${a.heading.toFixed(0)})`);
      // Near in distance and height: drawn as a threat would be.
      const near = a.distance < 6 && Math.abs(a.relative) < 1200;
      setAttr(s.mark, "class", near ? "target-mark near" : "target-mark");
      const hundreds = Math.round(a.relative / 100);
      setText(s.label, `${hundreds >= 0 ? "+" : "\u2212"}${String(Math.abs(hundreds)).padStart(2, "0")}`);
      setText(s.arrow, a.climb > 500 ? "\u2191" : a.climb < -500 ? "\u2193" : "");
      setAttr(s.g, "aria-label", `${a.distance.toFixed(1)} miles bearing ${heading3(a.bearing)}, ${whole(a.altitude)} feet`);
    }
    for (const [record, s] of this.symbols) {
      if (!seen.has(record)) {
        s.g.remove();
        this.symbols.delete(record);
      }
    }
    setText(this.count, `${list.length} aircraft`);
    this.renderList(list.slice(0, kListed));
    this.words = list.length === 0 ? "no traffic" : list.slice(0, 3).map((a) => `${a.distance.toFixed(1)} miles at ${heading3(a.bearing)}`).join(", ");
  }

  renderList(list) {
    while (this.list.children.length > list.length) this.list.lastChild.remove();
    while (this.list.children.length < list.length) {
      const li = html("li", {},
        html("span", { class: "t-dist" }), html("span", { class: "t-brg" }), html("span", { class: "t-alt" }),
        html("span", { class: "t-gs" }), html("span", { class: "t-model" }));
      this.list.append(li);
    }
    list.forEach((a, i) => {
      const li = this.list.children[i];
      li.dataset.record = a.record;
      setText(li.children[0], `${a.distance.toFixed(1)} nm`);
      setText(li.children[1], `${heading3(a.bearing)}\u00b0`);
      setText(li.children[2], `${whole(a.altitude)} ft`);
      setText(li.children[3], `${whole(a.speed)} kt`);
      setText(li.children[4], a.model.replace(/_/g, " ").trim());
    });
  }

  describe() {
    setAttr(this.el, "aria-label", `Traffic within ${this.range} miles: ${this.words || "no reading"}`);
  }
}
