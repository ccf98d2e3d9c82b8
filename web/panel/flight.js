// The primary flight display: attitude indicator, speed and altitude
// tapes, vertical speed scale and heading arc, drawn once in SVG and moved
// by transforms on every render. Every reading is also an SVG <text> with
// an id, and the SVG's aria-label says the same in words.
import { svg, setText, setAttr, whole, signed, heading3, wrap180, clamp } from "./svg.js";

const W = 560;
// The drawing runs from y = TOP to H (nothing is drawn above TOP).
const TOP = 30;
const H = 460;
// Attitude indicator: centre and half size of its window.
const CX = 280;
const CY = 190;
const HALF = 128;
const PX_PER_DEG = 4; // pitch
// Tapes.
const TAPE_TOP = CY - HALF;
const TAPE_H = 2 * HALF;
const SPEED_X = 62;
const ALT_X = 430;
const TAPE_W = 70;
// Heading arc: centre far below, so its top shows as a shallow arc.
const ROSE_CX = CX;
const ROSE_CY = 560;
const ROSE_R = 190;

// A moving tape of ticks around a value: only the ticks near the value
// exist, rebuilt when the value crosses a label step.
class Tape {
  constructor(parent, { x, pxPerUnit, tick, label, side, min = -Infinity }) {
    Object.assign(this, { x, pxPerUnit, tick, label, side, min });
    this.clipId = `clip-${Math.random().toString(36).slice(2)}`;
    parent.append(
      svg("clipPath", { id: this.clipId }, svg("rect", { x, y: TAPE_TOP, width: TAPE_W, height: TAPE_H })),
    );
    this.root = svg("g", { "clip-path": `url(#${this.clipId})` });
    this.root.append(svg("rect", { x, y: TAPE_TOP, width: TAPE_W, height: TAPE_H, class: "tape" }));
    this.moving = svg("g");
    this.ticks = svg("g");
    this.bug = svg("path", { class: "bug", d: this.bugPath(), visibility: "hidden" });
    this.moving.append(this.ticks);
    this.root.append(this.moving, this.bug);
    parent.append(this.root);
    this.base = NaN;
  }

  bugPath() {
    // A notched marker on the inner edge of the tape.
    const inner = this.side === "left" ? this.x + TAPE_W : this.x;
    const d = this.side === "left" ? -1 : 1;
    return `M${inner} -9 h${d * 10} v18 h${-d * 10} v-5 l${d * 5} -4 l${-d * 5} -4 z`;
  }

  rebuild(base) {
    this.base = base;
    this.ticks.replaceChildren();
    const span = Math.ceil(HALF / this.pxPerUnit / this.tick + 2) * this.tick;
    const inner = this.side === "left" ? this.x + TAPE_W : this.x;
    const d = this.side === "left" ? -1 : 1;
    for (let v = base - span; v <= base + span; v += this.tick) {
      if (v < this.min) continue;
      const y = CY - (v - base) * this.pxPerUnit;
      const major = v % this.label === 0;
      this.ticks.append(
        svg("line", { x1: inner, x2: inner + d * (major ? 14 : 8), y1: y, y2: y, class: "tick" }),
      );
      if (major) {
        const tx = this.side === "left" ? inner - 18 : inner + 18;
        this.ticks.append(
          svg("text", { x: tx, y: y + 5, class: "tape-label", "text-anchor": this.side === "left" ? "end" : "start" }, String(v)),
        );
      }
    }
  }

  show(value, bugValue) {
    if (!Number.isFinite(value)) return;
    const base = Math.round(value / this.label) * this.label;
    if (base !== this.base) this.rebuild(base);
    setAttr(this.moving, "transform", `translate(0 ${((value - base) * this.pxPerUnit).toFixed(1)})`);
    if (Number.isFinite(bugValue)) {
      const y = clamp(CY - (bugValue - value) * this.pxPerUnit, TAPE_TOP, TAPE_TOP + TAPE_H);
      setAttr(this.bug, "transform", `translate(0 ${y.toFixed(1)})`);
      setAttr(this.bug, "visibility", "visible");
    }
  }
}

// A readout box with a pointer toward the tape's centre line.
function readout(parent, { x, width, id, side, label }) {
  const h = 34;
  const y = CY - h / 2;
  const tip = side === "left" ? x + width + 8 : x - 8;
  const edge = side === "left" ? x + width : x;
  const d = `M${x} ${y} H${x + width} ${side === "left" ? `L${tip} ${CY} L${edge} ${y + h}` : `V${y + h}`} H${x} ${side === "right" ? `L${tip} ${CY} L${edge} ${y}` : ""} Z`;
  parent.append(svg("path", { d, class: "readout" }));
  const t = svg(
    "text",
    { id, x: x + width / 2, y: CY + 8, class: "readout-text", "text-anchor": "middle", "aria-label": label },
    "---",
  );
  parent.append(t);
  return t;
}

export class FlightDisplay {
  constructor(host) {
    this.el = svg("svg", {
      viewBox: `0 ${TOP} ${W} ${H - TOP}`,
      class: "pfd",
      role: "img",
      "aria-label": "Primary flight display",
    });
    const defs = svg("defs");
    defs.append(
      svg(
        "linearGradient",
        { id: "sky", x1: 0, y1: 0, x2: 0, y2: 1 },
        svg("stop", { offset: "0", "stop-color": "#1d4f91" }),
        svg("stop", { offset: "1", "stop-color": "#4c8fd6" }),
      ),
      svg(
        "linearGradient",
        { id: "ground", x1: 0, y1: 0, x2: 0, y2: 1 },
        svg("stop", { offset: "0", "stop-color": "#8a5a2b" }),
        svg("stop", { offset: "1", "stop-color": "#4a2e14" }),
      ),
      svg("clipPath", { id: "adi-clip" }, svg("rect", { x: CX - HALF, y: CY - HALF, width: 2 * HALF, height: 2 * HALF, rx: 18 })),
      svg("clipPath", { id: "ladder-clip" }, svg("circle", { cx: CX, cy: CY + 8, r: HALF - 30 })),
      svg("clipPath", { id: "rose-clip" }, svg("rect", { x: 100, y: 336, width: 360, height: H - 336 })),
    );
    this.el.append(defs);
    this.buildAttitude();
    this.speedTape = new Tape(this.el, { x: SPEED_X, pxPerUnit: 3, tick: 10, label: 20, side: "left", min: 0 });
    this.altTape = new Tape(this.el, { x: ALT_X, pxPerUnit: 0.25, tick: 100, label: 200, side: "right" });
    this.iasText = readout(this.el, { x: SPEED_X + 6, width: 58, id: "ias-value", side: "left", label: "Indicated airspeed, knots" });
    this.altText = readout(this.el, { x: ALT_X + 4, width: 66, id: "alt-value", side: "right", label: "Altitude, feet" });
    this.iasText.dataset.name = "speed.indicated_airspeed";
    this.altText.dataset.name = "position.indicated_altitude";
    this.buildCaptions();
    this.buildVerticalSpeed();
    this.buildHeading();
    host.append(this.el);
  }

  buildAttitude() {
    const g = svg("g", { "clip-path": "url(#adi-clip)" });
    this.horizon = svg("g");
    this.horizon.append(
      svg("rect", { x: CX - 600, y: CY - 1200, width: 1200, height: 1200, fill: "url(#sky)" }),
      svg("rect", { x: CX - 600, y: CY, width: 1200, height: 1200, fill: "url(#ground)" }),
      svg("line", { x1: CX - 600, x2: CX + 600, y1: CY, y2: CY, class: "horizon" }),
    );
    // The ladder moves with the horizon but shows only inside the bank
    // scale, clear of it.
    this.ladder = svg("g");
    for (let p = -30; p <= 30; p += 2.5) {
      if (p === 0) continue;
      const y = CY - p * PX_PER_DEG;
      const w = p % 10 === 0 ? 60 : p % 5 === 0 ? 34 : 16;
      this.ladder.append(svg("line", { x1: CX - w / 2, x2: CX + w / 2, y1: y, y2: y, class: "ladder" }));
      if (p % 10 === 0) {
        for (const [x, anchor] of [
          [CX - w / 2 - 6, "end"],
          [CX + w / 2 + 6, "start"],
        ]) {
          this.ladder.append(svg("text", { x, y: y + 5, class: "ladder-label", "text-anchor": anchor }, String(Math.abs(p))));
        }
      }
    }
    g.append(this.horizon, svg("g", { "clip-path": "url(#ladder-clip)" }, this.ladder));
    // Bank scale, fixed, with the pointer turning with the horizon.
    const r = HALF - 14;
    for (const b of [-60, -45, -30, -20, -10, 10, 20, 30, 45, 60]) {
      const long = Math.abs(b) === 30 || Math.abs(b) === 60;
      g.append(
        svg("line", {
          x1: CX, x2: CX, y1: CY - r, y2: CY - r - (long ? 14 : 8),
          class: "bank-tick", transform: `rotate(${b} ${CX} ${CY})`,
        }),
      );
    }
    g.append(svg("path", { d: `M${CX} ${CY - r} l-8 -12 h16 z`, class: "bank-zero" }));
    this.bankPointer = svg("path", { d: `M${CX} ${CY - r + 2} l-8 13 h16 z`, class: "bank-pointer" });
    g.append(this.bankPointer);
    // The aircraft symbol, fixed.
    g.append(
      svg("path", { d: `M${CX - 92} ${CY} h56 l14 14 M${CX + 92} ${CY} h-56 l-14 14`, class: "wings" }),
      svg("rect", { x: CX - 4, y: CY - 4, width: 8, height: 8, class: "wings-dot" }),
    );
    this.el.append(g);
    this.el.append(svg("rect", { x: CX - HALF, y: CY - HALF, width: 2 * HALF, height: 2 * HALF, rx: 18, class: "adi-frame" }));
    // Pitch and bank as text in the window's lower corners.
    this.pitchText = svg("text", { id: "pitch-value", x: CX - HALF + 12, y: CY + HALF - 12, class: "small-value", "data-name": "attitude.pitch" }, "P ---");
    this.bankText = svg("text", { id: "bank-value", x: CX + HALF - 12, y: CY + HALF - 12, class: "small-value", "text-anchor": "end", "data-name": "attitude.bank" }, "B ---");
    this.el.append(this.pitchText, this.bankText);
  }

  buildCaptions() {
    const c = (x, y, anchor, cls, text, id) => {
      const t = svg("text", { x, y, "text-anchor": anchor, class: cls }, text);
      if (id) t.id = id;
      this.el.append(t);
      return t;
    };
    this.speedSel = c(SPEED_X + TAPE_W / 2, TAPE_TOP - 12, "middle", "selected", "---", "pfd-speed-selected");
    this.altSel = c(ALT_X + TAPE_W / 2, TAPE_TOP - 12, "middle", "selected", "-----", "pfd-alt-selected");
    this.gsText = c(SPEED_X + TAPE_W / 2, TAPE_TOP + TAPE_H + 22, "middle", "caption", "GS ---", "gs-value");
    c(ALT_X + TAPE_W / 2, TAPE_TOP + TAPE_H + 22, "middle", "caption", "FT");
    c(SPEED_X + TAPE_W / 2, TAPE_TOP + TAPE_H + 42, "middle", "caption dim", "KT");
  }

  buildVerticalSpeed() {
    const x = ALT_X + TAPE_W + 10;
    this.vsX = x;
    this.el.append(svg("path", { d: `M${x} ${CY - 110} h24 l14 40 v140 l-14 40 h-24 z`, class: "vs-face" }));
    for (const v of [-6000, -2000, -1000, -500, 0, 500, 1000, 2000, 6000]) {
      const y = CY - this.vsOffset(v);
      this.el.append(svg("line", { x1: x + 20, x2: x + 28, y1: y, y2: y, class: "tick" }));
      if (v !== 0 && Math.abs(v) !== 500) {
        this.el.append(svg("text", { x: x + 4, y: y + 4, class: "vs-label" }, String(Math.abs(v) / 1000)));
      }
    }
    this.vsNeedle = svg("line", { x1: x + 48, y1: CY, x2: x + 26, y2: CY, class: "vs-needle" });
    this.el.append(this.vsNeedle);
    this.vsText = svg("text", { id: "vs-value", x: x + 18, y: CY - 122, class: "small-value", "text-anchor": "middle", "data-name": "speed.vertical" }, "---");
    this.el.append(this.vsText);
  }

  // Pixels above the centre for a vertical speed: finer near zero.
  vsOffset(v) {
    const a = Math.abs(v);
    const px = a <= 1000 ? a * 0.05 : a <= 2000 ? 50 + (a - 1000) * 0.03 : 80 + Math.min(a - 2000, 4000) * 0.0075;
    return Math.sign(v) * px;
  }

  buildHeading() {
    const g = svg("g", { "clip-path": "url(#rose-clip)" });
    g.append(svg("circle", { cx: ROSE_CX, cy: ROSE_CY, r: ROSE_R + 4, class: "rose-face" }));
    this.rose = svg("g");
    for (let d = 0; d < 360; d += 5) {
      const major = d % 10 === 0;
      this.rose.append(
        svg("line", {
          x1: ROSE_CX, x2: ROSE_CX, y1: ROSE_CY - ROSE_R, y2: ROSE_CY - ROSE_R + (major ? 14 : 8),
          class: "tick", transform: `rotate(${d} ${ROSE_CX} ${ROSE_CY})`,
        }),
      );
      if (major) {
        const names = { 0: "N", 90: "E", 180: "S", 270: "W" };
        this.rose.append(
          svg("text", {
            x: ROSE_CX, y: ROSE_CY - ROSE_R + 30, "text-anchor": "middle",
            class: d % 30 === 0 ? "rose-label" : "rose-label minor",
            transform: `rotate(${d} ${ROSE_CX} ${ROSE_CY})`,
          }, names[d] || String(d / 10)),
        );
      }
    }
    this.headingBug = svg("path", {
      d: `M${ROSE_CX - 10} ${ROSE_CY - ROSE_R - 4} v-8 h6 l4 6 l4 -6 h6 v8 z`,
      class: "bug", visibility: "hidden",
    });
    g.append(this.rose, this.headingBug);
    this.el.append(g);
    // Lubber line and readout at the top of the arc.
    const top = ROSE_CY - ROSE_R;
    this.el.append(
      svg("path", { d: `M${ROSE_CX} ${top + 2} l-7 -10 h14 z`, class: "lubber" }),
      svg("rect", { x: ROSE_CX - 32, y: top - 44, width: 64, height: 32, rx: 4, class: "readout" }),
    );
    this.hdgText = svg("text", { id: "hdg-value", x: ROSE_CX, y: top - 20, class: "readout-text", "text-anchor": "middle", "data-name": "attitude.heading", title: "Magnetic heading" }, "---");
    this.bugText = svg("text", { id: "pfd-hdg-selected", x: ROSE_CX - 92, y: top - 6, class: "selected", "text-anchor": "end" }, "HDG ---");
    this.trkText = svg("text", { x: ROSE_CX + 92, y: top - 6, class: "caption", "text-anchor": "start" }, "MAG");
    this.el.append(this.hdgText, this.bugText, this.trkText);
  }

  // `f` holds the readings in the units shown: degrees, knots, feet,
  // feet a minute; selected values may be undefined.
  render(f) {
    if (Number.isFinite(f.pitch) && Number.isFinite(f.bank)) {
      const pitch = clamp(f.pitch, -40, 40);
      const moved = `rotate(${(-f.bank).toFixed(2)} ${CX} ${CY}) translate(0 ${(pitch * PX_PER_DEG).toFixed(1)})`;
      setAttr(this.horizon, "transform", moved);
      setAttr(this.ladder, "transform", moved);
      setAttr(this.bankPointer, "transform", `rotate(${(-f.bank).toFixed(2)} ${CX} ${CY})`);
      setText(this.pitchText, `P ${signed(f.pitch, 1)}\u00b0`);
      setText(this.bankText, `B ${signed(f.bank, 1)}\u00b0`);
    }
    this.speedTape.show(Math.max(0, f.ias), f.speedSelected);
    this.altTape.show(f.altitude, f.altitudeSelected);
    setText(this.iasText, whole(f.ias));
    setText(this.altText, whole(f.altitude));
    setText(this.gsText, `GS ${whole(f.groundSpeed)}`);
    setText(this.speedSel, whole(f.speedSelected));
    setText(this.altSel, whole(f.altitudeSelected));
    if (Number.isFinite(f.verticalSpeed)) {
      const y = CY - this.vsOffset(clamp(f.verticalSpeed, -6000, 6000));
      setAttr(this.vsNeedle, "y2", y.toFixed(1));
      setText(this.vsText, signed(Math.round(f.verticalSpeed / 10) * 10));
    }
    if (Number.isFinite(f.heading)) {
      setAttr(this.rose, "transform", `rotate(${(-f.heading).toFixed(2)} ${ROSE_CX} ${ROSE_CY})`);
      setText(this.hdgText, heading3(f.heading));
      if (Number.isFinite(f.headingSelected)) {
        const off = wrap180(f.headingSelected - f.heading);
        setAttr(this.headingBug, "transform", `rotate(${clamp(off, -55, 55).toFixed(2)} ${ROSE_CX} ${ROSE_CY})`);
        setAttr(this.headingBug, "visibility", "visible");
        setText(this.bugText, `HDG ${heading3(f.headingSelected)}`);
      }
    }
  }

  // The readings in words, for screen readers (set a few times a second).
  describe(f) {
    const words = [
      `Pitch ${whole(f.pitch)} degrees ${f.pitch >= 0 ? "up" : "down"}`,
      `bank ${whole(Math.abs(f.bank))} degrees ${f.bank >= 0 ? "right" : "left"}`,
      `airspeed ${whole(f.ias)} knots`,
      `altitude ${whole(f.altitude)} feet`,
      `vertical speed ${whole(f.verticalSpeed)} feet per minute`,
      `heading ${heading3(f.heading)} magnetic`,
    ];
    setAttr(this.el, "aria-label", `Primary flight display: ${words.join(", ")}`);
  }
}
