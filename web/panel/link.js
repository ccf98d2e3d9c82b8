// The panel's one WebSocket to tarvos-web: subscriptions that survive a
// reconnect, writes and catalogue look-ups answered by message id, and a
// connection state for the status line.
//
// The socket reconnects on its own with a growing pause (half a second up
// to eight). A subscription whose updates stop while the socket stays open
// (the plugin went away and the gateway is waiting for it) is asked for
// again every few seconds, so values resume without a reload whatever the
// gateway does with subscriptions while its upstream is down.

const kFirstRetryMs = 500;
const kLastRetryMs = 8000;
// Updates this late make the link "stale" and the subscription is renewed.
const kStaleMs = 3000;
// A write or look-up not answered in this time has failed.
const kAnswerMs = 5000;

export class Link {
  // `onState(state)` hears every change of {phase, error, rate, lastUpdate,
  // frame}: phase is "connecting", "open", "stale" or "closed".
  constructor(url, onState) {
    this.url = url;
    this.onState = onState;
    this.nextId = 1;
    this.pending = new Map(); // message id -> {resolve, reject, timer}
    this.subscriptions = []; // {names, handler, id, lastUpdate}
    this.retryMs = kFirstRetryMs;
    this.state = { phase: "connecting", error: "", rate: 0, lastUpdate: 0, frame: 0 };
    this.updateTimes = [];
    this.open();
    setInterval(() => this.watch(), 1000);
  }

  // Values of `names` arrive at `handler(values, update)` every frame, only
  // those that changed after the first complete update.
  subscribe(names, handler) {
    const sub = { names, handler, id: 0, lastUpdate: 0, asked: 0 };
    this.subscriptions.push(sub);
    if (this.socket && this.socket.readyState === WebSocket.OPEN) this.ask(sub);
  }

  // Resolves when the gateway has written `values` ({name: value}); rejects
  // with the gateway's words otherwise.
  write(values) {
    return this.request({ op: "write", values });
  }

  // Resolves with the catalogue rows matching `pattern`.
  describe(pattern) {
    return this.request({ op: "describe", pattern }).then((m) => m.rows || []);
  }

  request(message) {
    return new Promise((resolve, reject) => {
      if (!this.socket || this.socket.readyState !== WebSocket.OPEN) {
        reject(new Error("not connected"));
        return;
      }
      const id = this.nextId++;
      const timer = setTimeout(() => {
        this.pending.delete(id);
        reject(new Error("no answer"));
      }, kAnswerMs);
      this.pending.set(id, { resolve, reject, timer });
      this.socket.send(JSON.stringify({ ...message, id }));
    });
  }

  open() {
    this.setState({ phase: "connecting" });
    let socket;
    try {
      socket = new WebSocket(this.url);
    } catch (e) {
      this.setState({ phase: "closed", error: String(e.message || e) });
      this.retry();
      return;
    }
    this.socket = socket;
    let opened = false;
    socket.onopen = () => {
      opened = true;
      this.setState({ phase: "open", error: "" });
      for (const sub of this.subscriptions) this.ask(sub);
    };
    socket.onmessage = (event) => this.receive(event.data);
    socket.onclose = () => {
      if (this.socket !== socket) return;
      this.socket = null;
      for (const sub of this.subscriptions) sub.id = 0;
      for (const [, p] of this.pending) {
        clearTimeout(p.timer);
        p.reject(new Error("connection closed"));
      }
      this.pending.clear();
      this.setState({ phase: "closed", rate: 0 });
      if (!opened) this.explain();
      this.retry();
    };
  }

  // A browser does not say why a WebSocket was refused: the status API,
  // under the same rules, does (a missing token, another origin).
  explain() {
    const url = this.url.replace(/^ws/, "http").replace(/\/ws(\?|$)/, "/api/status$1");
    fetch(url).then(
      (r) => (r.ok ? null : r.json().then((body) => this.setState({ error: body.error || `HTTP ${r.status}` }))),
      () => this.setState({ error: "tarvos-web does not answer" }),
    ).catch(() => {});
  }

  retry() {
    const wait = this.retryMs;
    this.retryMs = Math.min(this.retryMs * 2, kLastRetryMs);
    setTimeout(() => this.open(), wait);
  }

  ask(sub) {
    if (sub.id) this.socket.send(JSON.stringify({ op: "unsubscribe", id: sub.id }));
    sub.id = this.nextId++;
    sub.asked = Date.now();
    this.socket.send(
      JSON.stringify({ op: "subscribe", id: sub.id, names: sub.names, every: "frame", changes: true }),
    );
  }

  receive(text) {
    let m;
    try {
      m = JSON.parse(text);
    } catch {
      return;
    }
    if (m.op === "update") {
      const sub = this.subscriptions.find((s) => s.id === m.id);
      if (!sub) return;
      const now = Date.now();
      sub.lastUpdate = now;
      this.retryMs = kFirstRetryMs;
      this.updateTimes.push(now);
      this.state.lastUpdate = now;
      if (m.frame !== undefined) this.state.frame = m.frame;
      if (this.state.phase !== "open" || this.state.error) {
        this.setState({ phase: "open", error: "" });
      }
      sub.handler(m.values || {}, m);
      return;
    }
    const p = this.pending.get(m.id);
    if (p) {
      this.pending.delete(m.id);
      clearTimeout(p.timer);
      if (m.op === "error") p.reject(new Error(m.error));
      else p.resolve(m);
      return;
    }
    if (m.op === "error") {
      // A subscription refused or broken: said in the status line, and
      // asked for again by the watch.
      const sub = this.subscriptions.find((s) => s.id === m.id);
      if (sub) sub.lastUpdate = 0;
      this.setState({ error: m.error || "error" });
    }
  }

  // Once a second: the update rate, and subscriptions that went quiet.
  watch() {
    const now = Date.now();
    this.updateTimes = this.updateTimes.filter((t) => now - t < 2000);
    const rate = this.updateTimes.length / 2;
    const open = this.socket && this.socket.readyState === WebSocket.OPEN;
    let phase = this.state.phase;
    if (open) {
      let quiet = false;
      for (const sub of this.subscriptions) {
        const last = Math.max(sub.lastUpdate, sub.asked);
        if (now - sub.lastUpdate > kStaleMs) quiet = true;
        if (now - last > kStaleMs) this.ask(sub);
      }
      phase = quiet ? "stale" : "open";
    }
    this.setState({ rate, phase });
  }

  setState(change) {
    Object.assign(this.state, change);
    this.onState({ ...this.state });
  }
}

// ws://host/ws (wss:// on https), with the page's own ?token= passed on.
export function gatewayUrl(location) {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  const token = new URLSearchParams(location.search).get("token");
  const query = token ? `?token=${encodeURIComponent(token)}` : "";
  return `${scheme}//${location.host}/ws${query}`;
}
