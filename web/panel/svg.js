// Small helpers the instruments share: building SVG and HTML elements,
// setting a text only when it changed, and number formats.

const kSvgNs = "http://www.w3.org/2000/svg";

// An SVG element with attributes and children (elements or strings).
export function svg(tag, attrs = {}, ...children) {
  const e = document.createElementNS(kSvgNs, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  for (const c of children) e.append(c);
  return e;
}

// An HTML element, the same way.
export function html(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === "class") e.className = v;
    else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c);
  return e;
}

// Sets the text of `e` if it differs (the DOM does not, and a change costs).
export function setText(e, text) {
  if (e.textContent !== text) e.textContent = text;
}

export function setAttr(e, name, value) {
  const v = String(value);
  if (e.getAttribute(name) !== v) e.setAttribute(name, v);
}

// Whole number, or a dash when there is no value yet.
export function whole(v) {
  return Number.isFinite(v) ? String(Math.round(v)) : "---";
}

export function fixed(v, digits) {
  return Number.isFinite(v) ? v.toFixed(digits) : "---";
}

export function signed(v, digits = 0) {
  if (!Number.isFinite(v)) return "---";
  const t = Math.abs(v).toFixed(digits);
  return (v < 0 ? "\u2212" : "+") + t;
}

// Degrees 1 to 360 in three digits, as compasses show them.
export function heading3(v) {
  if (!Number.isFinite(v)) return "---";
  let d = Math.round(wrap360(v));
  if (d === 0) d = 360;
  return String(d).padStart(3, "0");
}

export function wrap360(v) {
  return ((v % 360) + 360) % 360;
}

export function wrap180(v) {
  const w = wrap360(v);
  return w > 180 ? w - 360 : w;
}

export function clamp(v, lo, hi) {
  return Math.min(hi, Math.max(lo, v));
}

// Catalogue units the panel converts from, to the units it shows.
const kFactors = {
  "m/s>ft/min": 196.850394,
  "m/min>ft/min": 3.280840,
  "ft/s>ft/min": 60,
  "m>ft": 3.280840,
  "m/s>kt": 1.943844,
};

export function convert(v, from, to) {
  if (!Number.isFinite(v) || !from || from === to) return v;
  const f = kFactors[`${from}>${to}`];
  return f ? v * f : v;
}
