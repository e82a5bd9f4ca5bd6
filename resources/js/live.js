// This instance's live analysis from "getInstanceAnalysis": the spectra before
// and after the equaliser and of the side-chain, each dynamic band's live gain
// and detector level, and the output level. At most one request in flight:
// about 15 a second while audio runs, a few a second while the "frames"
// counter stands still or the answers stop changing, none while the page is
// hidden. Listeners hear only what changed, so a quiet plug-in costs no
// redraws. Why 15 and not 30: every answer repaints the plot, which a
// software-rendered browser (the editor's, without a GPU) pays for in
// proportion to area times rate, and at 30 the open editor took about twice
// its share of a core.
// Without a link to the processor the ring analyser (analyser.js) takes over,
// and the link is looked for again every couple of seconds.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const POINTS = 256;
  const FAST_MS = 80;
  const IDLE_MS = 400;
  const PROBE_MS = 2000;
  const QUIET_POLLS = 3; // identical answers in a row that count as "nothing playing"
  const FLOOR = -150;    // dBFS of silence; anything unusable reads as silence

  let mode = 'probing'; // then 'live' (linked) or 'rings' (no link)
  let current = null;   // the last accepted analysis, sanitised
  let quiet = 0;
  let inFlight = false;
  let timer = 0;
  const stats = { requests: 0, updates: 0 };
  const updateListeners = [];
  const modeListeners = [];

  const level = (v) => (typeof v === 'number' && isFinite(v) ? Math.max(FLOOR, v) : FLOOR);
  function levels(a, n) {
    if (!Array.isArray(a) || a.length !== n) return null;
    const out = new Float32Array(n);
    for (let i = 0; i < n; i++) out[i] = level(a[i]);
    return out;
  }
  function sanitise(r) {
    const freqHz = Array.isArray(r.freqHz) ? r.freqHz.filter((f) => typeof f === 'number' && f > 0) : [];
    const n = Array.isArray(r.freqHz) && freqHz.length === r.freqHz.length ? freqHz.length : 0;
    const bands = (Array.isArray(r.bands) ? r.bands : []).filter((b) => b && Number.isInteger(b.band) &&
      b.band >= 0 && b.band < QEQ.params.BAND_COUNT && isFinite(b.gainDb) && typeof b.gainDb === 'number')
      .map((b) => ({ band: b.band, gainDb: b.gainDb, levelDb: level(b.levelDb) }));
    return {
      sampleRate: typeof r.sampleRate === 'number' && r.sampleRate > 0 ? r.sampleRate : 48000,
      freqHz: n > 1 ? freqHz : [],
      pre: n > 1 ? levels(r.pre, n) : null,
      post: n > 1 ? levels(r.post, n) : null,
      sidechain: n > 1 ? levels(r.sidechain, n) : null,
      bands,
      outputPeakDb: level(r.outputPeakDb),
      outputRmsDb: level(r.outputRmsDb),
      frames: typeof r.frames === 'number' ? r.frames : null,
    };
  }

  function sameLevels(a, b) {
    if (!a || !b) return a === b;
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
    return true;
  }
  /** Which parts of the display an answer changes: {spectra, bands, meters}. */
  function changes(a, b) {
    if (!a) return { spectra: true, bands: true, meters: true };
    return {
      spectra: !(sameLevels(a.pre, b.pre) && sameLevels(a.post, b.post) && sameLevels(a.sidechain, b.sidechain) &&
        a.freqHz.length === b.freqHz.length),
      bands: a.bands.length !== b.bands.length || a.bands.some((x, i) =>
        x.band !== b.bands[i].band || x.gainDb !== b.bands[i].gainDb || x.levelDb !== b.bands[i].levelDb),
      meters: a.outputPeakDb !== b.outputPeakDb || a.outputRmsDb !== b.outputRmsDb || a.sampleRate !== b.sampleRate,
    };
  }

  function setMode(m) {
    if (mode === m) return;
    mode = m;
    for (const fn of modeListeners) fn(m);
  }

  function absorb(r) {
    if (!r) {
      current = null;
      setMode('rings');
      return;
    }
    const next = sanitise(r);
    // No new audio frames: whatever the spectra and meters say now, they show no
    // audio, and the last picture stands.
    const audioStill = current && next.frames !== null && next.frames === current.frames;
    if (audioStill) {
      for (const k of ['freqHz', 'pre', 'post', 'sidechain', 'outputPeakDb', 'outputRmsDb']) next[k] = current[k];
    }
    const ch = changes(current, next);
    quiet = audioStill ? QUIET_POLLS : ch.spectra || ch.bands || ch.meters ? 0 : quiet + 1;
    current = next;
    setMode('live');
    if (ch.spectra || ch.bands || ch.meters) {
      stats.updates++;
      for (const fn of updateListeners) fn(ch);
    }
  }

  function poll() {
    timer = 0;
    if (inFlight || root.document.hidden) return;
    inFlight = true;
    stats.requests++;
    QEQ.bridge.getInstanceAnalysis(POINTS).then((r) => {
      inFlight = false;
      absorb(r);
      schedule();
    });
  }
  function schedule() {
    if (timer || inFlight || root.document.hidden) return;
    const ms = mode === 'rings' ? PROBE_MS : quiet >= QUIET_POLLS ? IDLE_MS : FAST_MS;
    timer = setTimeout(poll, ms);
  }
  root.document.addEventListener('visibilitychange', schedule);

  QEQ.live = Object.freeze({
    start: poll,
    stats,
    /** 'probing' until the first answer, then 'live' or 'rings'. */
    mode: () => mode,
    linked: () => mode === 'live',
    analysis: () => current,
    /** Live entry {band, gainDb, levelDb} of band i, or null. */
    band: (i) => (current ? current.bands.find((b) => b.band === i) || null : null),
    sampleRate: () => (current ? current.sampleRate : QEQ.analyser.sampleRate()),
    onUpdate: (fn) => updateListeners.push(fn),
    onMode: (fn) => modeListeners.push(fn),
    FLOOR,
  });
})(window);
