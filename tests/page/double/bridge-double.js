// A scripted stand-in for the plug-in side of the editor bridge, installed
// before any page script runs. It installs the plug-in's functions as globals
// that return promises, keeps the 314 normalised values, answers in call order a
// moment later (like the real bridge, which answers after the call's own
// change notifications), calls window.notifyParameterChange for subscribed
// parameters, and records every call for the tests to inspect.
// Seed (optional): window.__qeqSeed = {values, historyState, abSlot, abJson,
// presets: {name: values}, currentState: values, sampleRate, curveDelayMs,
// analysis}. analysis: absent or null for an editor without a link to its
// processor; otherwise {bands: {i: {gainDb, levelDb}} fixed readings of dynamic
// bands, spectra: {pre, post, sidechain} flat levels in dBFS, outputPeakDb,
// outputRmsDb fixed meters, refuseAudition}. Everything not fixed moves with a
// 120 bpm beat; see instanceAnalysis.
(function () {
  'use strict';
  const seed = window.__qeqSeed || {};
  const curveDelayMs = seed.curveDelayMs === undefined ? 3 : seed.curveDelayMs;
  const sampleRate = seed.sampleRate || 48000;

  // Defaults of a band's 13 fields and of Phase Mode and Linear Latency, written
  // out from the plug-in's documented definition.
  const BAND_DEFAULTS = [0, 0, 0.558615798817058, 0.5, 0.4530040738117794, 0, 0, 0, 0.7, 1 / 19,
    0.3705117131325855, 0.5111151359486344, 0];
  const values = new Map([[1002, 0], [1003, 0]]);
  for (let b = 0; b < 24; b++) BAND_DEFAULTS.forEach((x, k) => values.set(2000 + 16 * b + k, x));
  for (const k of Object.keys(seed.values || {})) if (values.has(Number(k))) values.set(Number(k), seed.values[k]);
  const v = (b, k) => values.get(2000 + 16 * b + k);

  const subscribed = new Set(), calls = [], inflight = {}, maxInflight = {};
  const presets = new Map(Object.entries(seed.presets || {}));
  let abSlot = seed.abSlot || 0, abJson = seed.abJson || '', history = seed.historyState || '';

  // Answers leave in the order the calls arrived, one queue for everything.
  const queue = [];
  let pumping = false;
  function later(fn, ms) {
    queue.push({ fn, at: performance.now() + ms });
    if (!pumping) { pumping = true; setTimeout(pump, ms); }
  }
  function pump() {
    const now = performance.now();
    while (queue.length && queue[0].at <= now + 0.5) queue.shift().fn();
    if (queue.length) setTimeout(pump, Math.max(0, queue[0].at - now)); else pumping = false;
  }

  // Only what the page reads of the plug-in's parameter objects.
  const paramObject = (id) => ({ info: { id }, normalized: values.get(id) });

  // Sets a value the way the controller does: clamp, and tell the page only on a real change.
  function setValue(id, x) {
    if (!values.has(id) || typeof x !== 'number') return false;
    const nv = Math.min(1, Math.max(0, x));
    if (nv === values.get(id)) return true;
    values.set(id, nv);
    if (subscribed.has(id)) {
      const obj = paramObject(id);
      later(() => { if (typeof window.notifyParameterChange === 'function') window.notifyParameterChange(obj); }, 1);
    }
    return true;
  }

  // ---- Curves: a bell's analog prototype at s = j f / fc; the other shapes lie flat here.
  function bandDb(b, f) {
    if (Math.round(v(b, 1) * 8) !== 0) return 0;
    const w = f / (20 * Math.pow(1100, v(b, 2))), A = Math.pow(10, (60 * v(b, 3) - 30) / 40);
    const q = 0.025 * Math.pow(1600, v(b, 4));
    return 20 * Math.log10(Math.hypot(1 - w * w, w * A / q) / Math.hypot(1 - w * w, w / (A * q)));
  }
  const bandLevels = (b, freqs) => freqs.map((f) => bandDb(b, f));
  const enabledBands = () => [...Array(24).keys()].filter((b) => v(b, 0) >= 0.5);
  function grid(arg, def, hi) {
    const n = Math.min(hi, Math.max(16, typeof arg === 'number' ? Math.trunc(arg) : def));
    return [...Array(n).keys()].map((k) => 20 * Math.pow(1100, k / (n - 1)));
  }

  // Two seconds of tones and a little noise, made once and read round in
  // windows, so that serving the capture costs the page next to nothing.
  let audio = true, lastWave = null, sampleClock = 0, tape = null;
  function waveform(arg) {
    const n = Math.min(8192, Math.max(64, typeof arg === 'number' ? Math.trunc(arg) : 2048));
    if (!audio && lastWave && lastWave.left.length === n) return lastWave;
    tape = tape || new Float64Array(2 * sampleRate).map((_, i) => (Math.random() - 0.5) * 0.01 +
      [[55, 0.25], [880, 0.05], [9000, 0.008]].reduce((s, [f, a]) => s + a * Math.sin(2 * Math.PI * f * i / sampleRate), 0));
    const t0 = sampleClock, left = [], right = [];
    sampleClock += Math.round(sampleRate / 30);
    for (let i = 0; i < n; i++) { left.push(tape[(t0 + i) % tape.length]); right.push(0.9 * left[i]); }
    lastWave = { left, right, sampleRate };
    return lastWave;
  }

  // ---- This instance's live analysis. The spectra lie flat across frequency at
  // levels that follow the beat; a dynamic band gives up half its gain on the
  // loud half of each beat. Only running audio moves the frames counter and the
  // bands' readings; the spectra move regardless, as a plug-in's may between blocks.
  let analysis = seed.analysis || null, audition = { band: -1, at: 0 };
  let frames = 0, framesSince = performance.now(), held = null;
  function instanceAnalysis(arg) {
    if (!analysis) return null;
    const now = performance.now(), beat = (now / 500) % 1, freqs = grid(arg, 256, 2048), fixed = analysis.bands || {};
    if (audio || !held) {
      frames += audio ? Math.round((now - framesSince) * sampleRate / 1000) : 0;
      framesSince = now;
      held = enabledBands().filter((b) => v(b, 7) >= 0.5).map((b) => ({ band: b,
        gainDb: (60 * v(b, 3) - 30) * (beat < 0.5 ? 0.5 : 1), levelDb: -10 - 30 * beat, ...fixed[b] }));
    }
    const rms = -17 + 4 * Math.cos(2 * Math.PI * beat), flat = analysis.spectra || {};
    const spectrum = (kind, db) => freqs.map(() => (flat[kind] === undefined ? db - 30 * beat : flat[kind]));
    return { bands: held, freqHz: freqs, frames, outputPeakDb: analysis.outputPeakDb ?? rms + 9,
      outputRmsDb: analysis.outputRmsDb ?? rms, post: spectrum('post', -30), pre: spectrum('pre', -24), sampleRate,
      sidechain: spectrum('sidechain', -40) };
  }

  const snapshot = () => Object.fromEntries(values);
  const applyStored = (stored) => { for (const k of Object.keys(stored)) setValue(Number(k), stored[k]); return true; };
  const setter = (test, set) => (x) => (test(x) ? (set(x), true) : false);

  const impl = {
    getParameterObjects: (ids) => {
      const out = [];
      for (const id of [].concat(ids).filter((i) => values.has(i))) out[id] = paramObject(id);
      return out;
    },
    subscribeParameter: (id) => (values.has(id) ? (subscribed.add(id), true) : null),
    setParamNormalized: (id, x) => setValue(id, x),
    beginEdit: (id) => values.has(id),
    performEdit: (id) => values.has(id),
    endEdit: (id) => values.has(id),
    getEqCurve: (n) => {
      const freqs = grid(n, 256, 2048), sum = freqs.map(() => 0);
      for (const b of enabledBands()) bandLevels(b, freqs).forEach((db, k) => { sum[k] += db; });
      return freqs.map((f, k) => ({ db: sum[k], freqHz: f }));
    },
    getEqBandCurves: (n) => {
      const freqs = grid(n, 128, 1024);
      return enabledBands().map((b) => ({ band: b, points: bandLevels(b, freqs).map((db, k) => ({ db, freqHz: freqs[k] })) }));
    },
    getEqWaveformRaw: waveform,
    listPresets: () => [...presets.keys()].sort(),
    loadPresetByName: (name) => presets.has(name) && applyStored(presets.get(name)),
    savePresetByName: (name) => (presets.set(name, snapshot()), true),
    restoreCurrentState: () => !!seed.currentState && applyStored(seed.currentState),
    getPluginVersion: () => '1.0.0.0',
    openExternalUrl: (url) => typeof url === 'string' && /^https?:\/\//.test(url),
    getAbActiveSlot: () => abSlot,
    setAbActiveSlot: setter(Number.isInteger, (s) => { abSlot = s; }),
    getAbInactiveSlotJson: () => abJson,
    setAbInactiveSlotJson: setter((s) => typeof s === 'string', (s) => { abJson = s; }),
    getHistoryState: () => history,
    setHistoryState: setter((s) => typeof s === 'string', (s) => { history = s; }),
    getInstanceAnalysis: instanceAnalysis,
    setAuditionBand: (i) => {
      if (!analysis || analysis.refuseAudition || !Number.isInteger(i) || i < -1 || i > 23 || (i >= 0 && v(i, 0) < 0.5)) return false;
      audition = { band: i, at: performance.now() };
      return true;
    },
  };

  const SLOW = new Set(['getEqCurve', 'getEqBandCurves', 'getEqWaveformRaw', 'getInstanceAnalysis']);
  for (const name of Object.keys(impl)) {
    inflight[name] = 0; maxInflight[name] = 0;
    window[name] = function (...raw) {
      const args = JSON.parse(JSON.stringify(raw));
      calls.push({ name, args, t: performance.now() });
      maxInflight[name] = Math.max(maxInflight[name], ++inflight[name]);
      // Effects happen at once, in call order; the slow display results are computed
      // when the answer leaves (as the plug-in computes them on its own thread), and
      // every answer reaches the page as parsed JSON, like the real answer script.
      const run = () => JSON.parse(JSON.stringify(impl[name](...args) ?? null));
      const slow = SLOW.has(name), result = slow ? null : run();
      return new Promise((resolve) => later(() => { inflight[name]--; resolve(slow ? run() : result); }, slow ? curveDelayMs : 1));
    };
  }

  window.__qeqBridge = {
    calls, maxInflight, inflight,
    value: (id) => values.get(id),
    /** Host automation or a host preset: changes the value and notifies like the plug-in. */
    hostSet: (id, x) => setValue(id, x),
    state: () => ({ abSlot, abJson, history, values: snapshot() }),
    /** Starts or stops the audio: while stopped the capture and the analysis stand still. */
    setAudio: (on) => { audio = !!on; framesSince = performance.now(); },
    /** Replaces the analysis seed (null: the link is gone). */
    setAnalysis: (a) => { analysis = a; },
    /** The band the processor auditions now: it ends an audition not renewed for a second. */
    auditioned: () => (audition.band >= 0 && performance.now() - audition.at <= 1000 ? audition.band : -1),
    clearCalls: () => { calls.length = 0; for (const k in maxInflight) maxInflight[k] = inflight[k]; },
  };
})();
