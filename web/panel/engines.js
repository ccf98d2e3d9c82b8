// Engine gauges (N1 and EGT dials, N2 and fuel flow read-outs, per engine)
// and the fuel tanks with the total on board.
import { svg, html, setText, setAttr, whole, fixed, clamp } from "./svg.js";

const kSweep = 240; // degrees of a dial's arc
const kStart = -120; // from straight up

function polar(cx, cy, r, deg) {
  const a = ((deg - 90) * Math.PI) / 180;
  return [cx + r * Math.cos(a), cy + r * Math.sin(a)];
}

function arc(cx, cy, r, from, to) {
  const [x1, y1] = polar(cx, cy, r, from);
  const [x2, y2] = polar(cx, cy, r, to);
  const large = to - from > 180 ? 1 : 0;
  return `M${x1.toFixed(1)} ${y1.toFixed(1)} A${r} ${r} 0 ${large} 1 ${x2.toFixed(1)} ${y2.toFixed(1)}`;
}

// A round dial: a scale from `min` to `max`, amber from `amber`, red from
// `red`, the needle's sweep filled, and the value as text in its middle.
class Dial {
  constructor(parent, { cx, cy, r, min, max, amber, red, label, id, name, digits = 0 }) {
    Object.assign(this, { cx, cy, r, min, max, digits });
    const angle = (v) => kStart + ((clamp(v, min, max) - min) / (max - min)) * kSweep;
    this.angle = angle;
    const g = svg("g", { class: "dial" });
    g.append(
      svg("path", { d: arc(cx, cy, r, kStart, kStart + kSweep), class: "dial-scale" }),
      svg("path", { d: arc(cx, cy, r, angle(amber), angle(red)), class: "dial-amber" }),
      svg("path", { d: arc(cx, cy, r, angle(red), kStart + kSweep), class: "dial-red" }),
    );
    this.fill = svg("path", { class: "dial-fill", d: "" });
    this.needle = svg("line", { x1: cx, y1: cy, x2: cx, y2: cy - r + 4, class: "dial-needle" });
    this.text = svg("text", { x: cx, y: cy + r * 0.62, class: "dial-value", "text-anchor": "middle", id, "data-name": name }, "---");
    g.append(
      this.fill,
      this.needle,
      svg("circle", { cx, cy, r: 4, class: "dial-hub" }),
      svg("text", { x: cx, y: cy + r + 14, class: "dial-label", "text-anchor": "middle" }, label),
      this.text,
    );
    parent.append(g);
  }

  show(v) {
    if (!Number.isFinite(v)) return;
    const a = this.angle(v);
    setAttr(this.needle, "transform", `rotate(${a.toFixed(1)} ${this.cx} ${this.cy})`);
    setAttr(this.fill, "d", a > kStart + 0.5 ? arc(this.cx, this.cy, this.r - 7, kStart, a) : "");
    setText(this.text, fixed(v, this.digits));
  }
}

export class EngineGauges {
  constructor(host) {
    this.el = svg("svg", { viewBox: "0 0 300 278", class: "engines", role: "img", "aria-label": "Engines" });
    this.engines = [];
    for (const n of [1, 2]) {
      const cx = n === 1 ? 78 : 222;
      const e = { n };
      e.group = svg("g");
      this.el.append(e.group);
      e.n1 = new Dial(e.group, { cx, cy: 66, r: 46, min: 0, max: 110, amber: 98, red: 104, label: "N1 %", id: `eng${n}-n1`, name: `engine.${n}.n1`, digits: 1 });
      e.egt = new Dial(e.group, { cx, cy: 172, r: 40, min: 0, max: 1000, amber: 850, red: 950, label: "EGT \u00b0C", id: `eng${n}-egt`, name: `engine.${n}.egt` });
      const row = (y, label, id, name) => {
        e.group.append(svg("text", { x: cx - 50, y, class: "caption" }, label));
        const t = svg("text", { x: cx + 50, y, class: "small-value", "text-anchor": "end", id, "data-name": name }, "---");
        e.group.append(t);
        return t;
      };
      e.n2 = row(250, "N2 %", `eng${n}-n2`, `engine.${n}.n2`);
      e.ff = row(272, "FF lb/h", `eng${n}-ff`, `engine.${n}.fuel_flow`);
      e.group.append(svg("text", { x: cx, y: 11, class: "caption dim", "text-anchor": "middle" }, `ENG ${n}`));
      this.engines.push(e);
    }
    host.append(this.el);
  }

  render(v) {
    const count = Number.isFinite(v["engine.count"]) ? v["engine.count"] : 2;
    let words = [];
    for (const e of this.engines) {
      const on = e.n <= Math.max(1, count);
      setAttr(e.group, "opacity", on ? 1 : 0.25);
      const n1 = v[`engine.${e.n}.n1`];
      e.n1.show(n1);
      e.egt.show(v[`engine.${e.n}.egt`]);
      setText(e.n2, fixed(v[`engine.${e.n}.n2`], 1));
      setText(e.ff, whole(v[`engine.${e.n}.fuel_flow`]));
      if (on) words.push(`engine ${e.n} N1 ${fixed(n1, 1)} percent`);
    }
    this.words = words.join(", ");
  }

  describe() {
    setAttr(this.el, "aria-label", `Engines: ${this.words || "no reading"}`);
  }
}

// Tanks with a capacity, as level bars, and the fuel on board in pounds.
export class FuelGauges {
  constructor(host) {
    this.tanks = [
      { key: "left_main", label: "L" },
      { key: "centre", label: "C" },
      { key: "right_main", label: "R" },
    ];
    this.el = html("div", { class: "fuel", role: "group", "aria-label": "Fuel" });
    const bars = html("div", { class: "tanks" });
    for (const t of this.tanks) {
      t.fill = html("span", { class: "tank-fill" });
      t.text = html("output", { class: "tank-value", id: `fuel-${t.key}`, "data-name": `fuel.${t.key}.level`, "aria-label": `Fuel ${t.key.replace("_", " ")} level` }, "--");
      t.el = html("div", { class: "tank" }, html("span", { class: "tank-bar" }, t.fill), t.text, html("span", { class: "caption" }, t.label));
      bars.append(t.el);
    }
    this.total = html("output", { class: "fuel-total", id: "fuel-total", "aria-label": "Fuel on board, pounds" }, "----- lb");
    this.el.append(html("div", { class: "fuel-head" }, html("span", { class: "caption" }, "FUEL"), this.total), bars);
    host.append(this.el);
  }

  render(v) {
    const perGallon = v["fuel.weight_per_gallon"];
    let total = 0;
    let known = Number.isFinite(perGallon);
    for (const t of this.tanks) {
      const level = v[`fuel.${t.key}.level`];
      const capacity = v[`fuel.${t.key}.capacity`];
      t.el.hidden = capacity === 0;
      if (!Number.isFinite(level)) {
        known = false;
        continue;
      }
      t.fill.style.height = `${clamp(level, 0, 100).toFixed(1)}%`;
      setText(t.text, `${Math.round(level)}%`);
      if (Number.isFinite(capacity)) total += (level / 100) * capacity * perGallon;
      else known = false;
    }
    setText(this.total, known ? `${Math.round(total).toLocaleString("en-US")} lb` : "----- lb");
  }
}
