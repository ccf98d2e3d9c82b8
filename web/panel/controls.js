// The panel's controls: knobs and mode buttons that write catalogue names,
// the autopilot panel and the radio stack built from them.
import { html, setText, setAttr, whole, signed, heading3, clamp } from "./svg.js";

// How long a value the panel wrote is shown before the simulator's own
// reading takes over again (the write may have been refused or changed).
const kPendingMs = 2000;
// Press and hold: first repeat, repeat period, and repeats before the
// knob turns in big steps.
const kHoldDelayMs = 400;
const kHoldPeriodMs = 110;
const kRepeatsBeforeBig = 6;

// Writes from the controls: one write per name in flight at a time, the
// newest wanted value sent when it is answered, and that value shown until
// the simulator shows it (or kPendingMs passes).
export class Writer {
  constructor(link, values, onError) {
    this.link = link;
    this.values = values;
    this.onError = onError;
    this.pending = new Map(); // name -> {value, since, sending}
  }

  shown(name) {
    const p = this.pending.get(name);
    if (p && (p.sending || Date.now() - p.since < kPendingMs)) return p.value;
    if (p) this.pending.delete(name);
    return this.values[name];
  }

  set(name, value) {
    const p = this.pending.get(name) || { sending: false };
    p.value = value;
    p.since = Date.now();
    this.pending.set(name, p);
    if (!p.sending) this.send(name, p);
  }

  send(name, p) {
    const value = p.value;
    p.sending = true;
    this.link.write({ [name]: value }).then(
      () => {
        p.sending = false;
        p.since = Date.now();
        if (p.value !== value) this.send(name, p);
      },
      (error) => {
        this.pending.delete(name);
        this.onError(`${name}: ${error.message}`);
      },
    );
  }
}

// A knob: tap its right half to turn up, its left half to turn down (hold
// to keep turning, faster after a while), or use the wheel or the arrow and
// page keys. `next(value, direction, big)` gives the value after one step.
export function knob({ id, label, name, writer, next, min, max }) {
  const dec = html("button", { class: "knob-half dec", id: `${id}-dec`, "aria-label": `${label} down`, tabindex: "-1" }, "\u2212");
  const inc = html("button", { class: "knob-half inc", id: `${id}-inc`, "aria-label": `${label} up`, tabindex: "-1" }, "+");
  const grip = html("span", { class: "knob-grip", "aria-hidden": "true" });
  const el = html("div", {
    class: "knob", id, role: "slider", tabindex: "0", "aria-label": label, "data-name": name,
    ...(min !== undefined ? { "aria-valuemin": min, "aria-valuemax": max } : {}),
  }, dec, grip, inc);
  let turns = 0;
  const turn = (direction, big) => {
    const v = writer.shown(name);
    if (!Number.isFinite(v)) return;
    turns += direction;
    grip.style.transform = `rotate(${turns * 15}deg)`;
    writer.set(name, next(v, direction, big));
  };
  for (const [button, direction] of [[dec, -1], [inc, 1]]) {
    let timer = 0;
    let repeats = 0;
    let pressed = false;
    const stop = () => {
      clearTimeout(timer);
      timer = 0;
    };
    const repeat = () => {
      repeats += 1;
      turn(direction, repeats > kRepeatsBeforeBig);
      timer = setTimeout(repeat, kHoldPeriodMs);
    };
    button.addEventListener("pointerdown", (e) => {
      if (e.button !== 0) return;
      pressed = true;
      repeats = 0;
      turn(direction, e.shiftKey);
      timer = setTimeout(repeat, kHoldDelayMs);
    });
    for (const type of ["pointerup", "pointerleave", "pointercancel"]) button.addEventListener(type, stop);
    // A click after a press was turned already; one from the keyboard or
    // an assistive tool was not.
    button.addEventListener("click", (e) => {
      if (pressed) pressed = false;
      else turn(direction, e.shiftKey);
    });
  }
  // A long press turns the knob; it must not open a menu or select text.
  el.addEventListener("contextmenu", (e) => e.preventDefault());
  el.addEventListener("wheel", (e) => {
    e.preventDefault();
    turn(e.deltaY < 0 ? 1 : -1, e.shiftKey);
  }, { passive: false });
  el.addEventListener("keydown", (e) => {
    const keys = { ArrowUp: [1, false], ArrowRight: [1, false], ArrowDown: [-1, false], ArrowLeft: [-1, false], PageUp: [1, true], PageDown: [-1, true] };
    const k = keys[e.key];
    if (!k) return;
    e.preventDefault();
    turn(k[0], k[1] || e.shiftKey);
  });
  return el;
}

// Steps of a plain number: `step`, or `big` in big steps, kept within
// [min, max] or wrapped round it.
export function linear(step, big, min, max, wrap = false) {
  return (v, direction, isBig) => {
    const d = direction * (isBig ? big : step);
    let n = Math.round((v + d) / step) * step;
    if (wrap) {
      const span = max - min + step;
      n = ((((n - min) % span) + span) % span) + min;
    }
    return clamp(n, min, max);
  };
}

// A button for an on/off name: pressed while its value is not 0; a press
// writes 1, or 0 when it is on.
export function modeButton({ id, label, title, name, writer }) {
  const el = html("button", { class: "mode", id, "data-name": name, "aria-pressed": "false", title }, html("span", { class: "lamp", "aria-hidden": "true" }), label);
  el.addEventListener("click", () => {
    const v = writer.shown(name);
    writer.set(name, Number.isFinite(v) && v !== 0 ? 0 : 1);
  });
  return {
    el,
    render() {
      const v = writer.shown(name);
      setAttr(el, "aria-pressed", Number.isFinite(v) && v !== 0 ? "true" : "false");
    },
  };
}

// The autopilot panel: four windows with their knobs and mode buttons,
// and the master switch.
export function autopilotPanel(host, writer) {
  const units = [
    { key: "spd", label: "SPD", title: "Selected airspeed", name: "autopilot.airspeed", unit: "KT", mode: "autopilot.airspeed_hold", modeTitle: "Airspeed hold (autothrottle)",
      next: linear(1, 10, 100, 399), format: whole, min: 100, max: 399 },
    { key: "hdg", label: "HDG", title: "Selected heading", name: "autopilot.heading", unit: "\u00b0M", mode: "autopilot.heading_hold", modeTitle: "Heading hold",
      next: linear(1, 10, 0, 359, true), format: heading3, min: 0, max: 359 },
    { key: "alt", label: "ALT", title: "Selected altitude", name: "autopilot.altitude", unit: "FT", mode: "autopilot.altitude_hold", modeTitle: "Altitude hold",
      next: linear(100, 1000, 0, 50000), format: whole, min: 0, max: 50000 },
    { key: "vs", label: "V/S", title: "Selected vertical speed", name: "autopilot.vertical_speed", unit: "FPM", mode: "autopilot.vertical_speed_hold", modeTitle: "Vertical speed hold",
      next: linear(100, 500, -8000, 8000), format: (v) => (v === 0 ? "0" : signed(v)), min: -8000, max: 8000 },
  ];
  const renders = [];
  for (const u of units) {
    const value = html("output", { class: "window", id: `ap-${u.key}-value`, "data-name": u.name, "aria-label": u.title, title: u.title }, "---");
    const k = knob({ id: `ap-${u.key}-knob`, label: u.title, name: u.name, writer, next: u.next, min: u.min, max: u.max });
    const mode = modeButton({ id: `ap-${u.key}-mode`, label: u.label, title: u.modeTitle, name: u.mode, writer });
    host.append(
      html("div", { class: "ap-unit", role: "group", "aria-label": u.title },
        html("div", { class: "ap-label" }, u.label, html("span", { class: "unit" }, u.unit)),
        value, k, mode.el),
    );
    renders.push(() => {
      const v = writer.shown(u.name);
      const text = Number.isFinite(v) ? u.format(v) : "---";
      setText(value, text);
      setAttr(k, "aria-valuenow", Number.isFinite(v) ? Math.round(v) : "");
      setAttr(k, "aria-valuetext", `${text} ${u.unit}`);
      mode.render();
    });
  }
  const master = modeButton({ id: "ap-master", label: "AP", title: "Autopilot master", name: "autopilot.master", writer });
  const director = modeButton({ id: "ap-fd", label: "FD", title: "Flight director", name: "autopilot.flight_director", writer });
  master.el.classList.add("master");
  host.append(
    html("div", { class: "ap-unit master-unit", role: "group", "aria-label": "Autopilot master and flight director" },
      html("div", { class: "ap-label" }, "AP", html("span", { class: "unit" }, "MASTER")), master.el, director.el),
  );
  renders.push(master.render, director.render);
  return () => renders.forEach((r) => r());
}

// Frequencies in hundredths (the catalogue's resolution): whole MHz and
// the kHz digits turn separately, each wrapping within its band as a real
// radio's knobs do.
function frequencyStep(lowMhz, highMhz, khzStep) {
  const mhz = (v, d) => {
    const h = Math.round(v * 100);
    let m = Math.floor(h / 100) + d;
    if (m > highMhz) m = lowMhz;
    if (m < lowMhz) m = highMhz;
    return (m * 100 + (h % 100)) / 100;
  };
  const khz = (v, d) => {
    const h = Math.round(v * 100);
    const m = Math.floor(h / 100);
    const channels = 1000 / khzStep;
    // Channel of the shown digits: 118.82 is the 118.825 channel.
    let c = Math.round(((h % 100) * 10) / khzStep) + d;
    c = ((c % channels) + channels) % channels;
    return (m * 100 + Math.floor((c * khzStep) / 10)) / 100;
  };
  return { mhz, khz };
}

const kComSteps = frequencyStep(118, 136, 25);
const kNavSteps = frequencyStep(108, 117, 50);

// The radio stack: COM1/2 and NAV1/2 with active and standby frequencies,
// a swap key and knobs on the standby; ADF1; the transponder code and mode.
export function radioStack(host, writer, values) {
  const renders = [];
  const radios = [
    { key: "com1", label: "COM1", swap: 8, steps: kComSteps },
    { key: "com2", label: "COM2", swap: 4, steps: kComSteps },
    { key: "nav1", label: "NAV1", swap: 2, steps: kNavSteps, ident: true },
    { key: "nav2", label: "NAV2", swap: 1, steps: kNavSteps, ident: true },
  ];
  for (const r of radios) {
    const active = `radio.${r.key}.frequency`;
    const standby = `radio.${r.key}.standby`;
    const activeOut = html("output", { class: "freq active", id: `${r.key}-active`, "data-name": active, "aria-label": `${r.label} active frequency` }, "---.--");
    const standbyOut = html("output", { class: "freq standby", id: `${r.key}-standby`, "data-name": standby, "aria-label": `${r.label} standby frequency` }, "---.--");
    const swap = html("button", { class: "swap", id: `${r.key}-swap`, "aria-label": `Swap ${r.label} active and standby`, title: "Swap" }, "\u21c4");
    swap.addEventListener("click", () => writer.link.write({ "radio.swap": r.swap }).catch((e) => writer.onError(`radio.swap: ${e.message}`)));
    const ident = html("span", { class: "ident", id: `${r.key}-ident` }, "");
    const mhz = knob({ id: `${r.key}-mhz`, label: `${r.label} standby MHz`, name: standby, writer, next: (v, d) => r.steps.mhz(v, d) });
    const khz = knob({ id: `${r.key}-khz`, label: `${r.label} standby kHz`, name: standby, writer, next: (v, d) => r.steps.khz(v, d) });
    mhz.classList.add("small");
    khz.classList.add("small");
    host.append(
      html("div", { class: "radio", role: "group", "aria-label": r.label },
        html("span", { class: "radio-label" }, r.label), activeOut, swap, standbyOut,
        html("span", { class: "knob-pair" }, mhz, khz), ident),
    );
    renders.push(() => {
      const a = values[active];
      const s = writer.shown(standby);
      setText(activeOut, Number.isFinite(a) ? a.toFixed(2) : "---.--");
      setText(standbyOut, Number.isFinite(s) ? s.toFixed(2) : "---.--");
      const text = Number.isFinite(s) ? `${s.toFixed(2)} MHz` : "";
      setAttr(mhz, "aria-valuetext", text);
      setAttr(khz, "aria-valuetext", text);
      if (r.ident) {
        const id = values[`radio.${r.key}.ident`];
        setText(ident, typeof id === "string" && id !== "0" ? id.trim() : "");
      }
    });
  }
  // ADF1: three digits in kHz.
  const adfName = "radio.adf1.frequency";
  const adfOut = html("output", { class: "freq active", id: "adf1-active", "data-name": adfName, "aria-label": "ADF1 frequency" }, "---");
  const adfBig = knob({ id: "adf1-tens", label: "ADF1 tens of kHz", name: adfName, writer, next: linear(10, 100, 100, 999, true) });
  const adfSmall = knob({ id: "adf1-units", label: "ADF1 kHz", name: adfName, writer, next: linear(1, 10, 100, 999, true) });
  adfBig.classList.add("small");
  adfSmall.classList.add("small");
  const adfIdent = html("span", { class: "ident", id: "adf1-ident" }, "");
  host.append(
    html("div", { class: "radio", role: "group", "aria-label": "ADF1" },
      html("span", { class: "radio-label" }, "ADF"), adfOut, html("span", { class: "unit-text" }, "kHz"),
      html("span", { class: "spacer" }), html("span", { class: "knob-pair" }, adfBig, adfSmall), adfIdent),
  );
  renders.push(() => {
    const khz = whole(writer.shown(adfName));
    setText(adfOut, khz);
    setAttr(adfBig, "aria-valuetext", `${khz} kHz`);
    setAttr(adfSmall, "aria-valuetext", `${khz} kHz`);
    const id = values["radio.adf1.ident"];
    setText(adfIdent, typeof id === "string" ? id.replace(/0$/, "").trim() : "");
  });
  // Transponder: each digit a button that counts 0 to 7; the mode cycles
  // standby, on, altitude.
  const code = "radio.transponder.code";
  const modeName = "radio.transponder.mode";
  const digits = [];
  const xpdr = html("span", { class: "squawk", id: "xpdr-code", role: "group", "aria-label": "Transponder code", "data-name": code });
  for (let i = 0; i < 4; ++i) {
    const d = html("button", { class: "digit", id: `xpdr-digit-${i + 1}`, "aria-label": `Transponder digit ${i + 1}` }, "-");
    d.addEventListener("click", () => {
      const v = writer.shown(code);
      if (!Number.isFinite(v)) return;
      const text = String(Math.round(v)).padStart(4, "0").split("");
      text[i] = String((Number(text[i]) + 1) % 8);
      writer.set(code, Number(text.join("")));
    });
    digits.push(d);
    xpdr.append(d);
  }
  const modes = ["OFF", "STBY", "ON", "ALT", "TEST", "GND"];
  const modeButtonEl = html("button", { class: "mode xpdr-mode", id: "xpdr-mode", "data-name": modeName, "aria-label": "Transponder mode" }, "---");
  modeButtonEl.addEventListener("click", () => {
    const v = writer.shown(modeName);
    writer.set(modeName, Number.isFinite(v) && v >= 1 && v < 3 ? v + 1 : 1);
  });
  host.append(
    html("div", { class: "radio", role: "group", "aria-label": "Transponder" },
      html("span", { class: "radio-label" }, "XPDR"), xpdr, html("span", { class: "spacer" }), modeButtonEl),
  );
  renders.push(() => {
    const v = writer.shown(code);
    const text = Number.isFinite(v) ? String(Math.round(v)).padStart(4, "0") : "----";
    digits.forEach((d, i) => setText(d, text[i]));
    setAttr(xpdr, "aria-label", `Transponder code ${text}`);
    const m = writer.shown(modeName);
    setText(modeButtonEl, Number.isFinite(m) ? modes[m] || String(m) : "---");
  });
  return () => renders.forEach((r) => r());
}
