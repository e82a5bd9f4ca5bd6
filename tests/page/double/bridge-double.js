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
// outputRmsDb fixed meters, refuseAudition}. Everything not fixed moves like
// music; see analysisFrame.
(function () {
  'use strict';
  const seed = window.__qeqSeed || {};
  const curveDelayMs = seed.curveDelayMs === undefined ? 3 : seed.curveDelayMs;
  const sampleRate = seed.sampleRate || 48000;

  // Parameter table, written out from the plug-in's documented definition.
  const FIELDS = [
    ['Enabled', 1, 0, ''], ['Shape', 8, 0, null], ['Freq', 0, 0.558615798817058, 'Hz'], ['Gain', 0, 0.5, 'dB'],
    ['Q', 0, 0.4530040738117794, ''], ['Slope', 4, 0, null], ['Channel', 4, 0, null], ['Dynamics Enabled', 1, 0, ''],
    ['Threshold', 0, 0.7, 'dB'], ['Ratio', 0, 1 / 19, ':1'], ['Attack', 0, 0.3705117131325855, 'ms'],
    ['Release', 0, 0.5111151359486344, 'ms'], ['Sidechain Source', 1, 0, null],
  ];
  const info = new Map([[1002, { title: 'Phase Mode', stepCount: 1, def: 0, units: null }],
    [1003, { title: 'Linear Latency', stepCount: 3, def: 0, units: null }]]);
  for (let b = 0; b < 24; b++) {
    FIELDS.forEach(([name, stepCount, def, units], k) => info.set(2000 + 16 * b + k, { title: `Band ${b + 1} ${name}`, stepCount, def, units }));
  }
  const values = new Map();
  for (const [id, p] of info) values.set(id, p.def);
  for (const k of Object.keys(seed.values || {})) if (info.has(Number(k))) values.set(Number(k), seed.values[k]);
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

  function paramObject(id) {
    const p = info.get(id), units = new Array(128).fill(0);
    for (let i = 0; p.units && i < p.units.length; i++) units[i] = p.units.charCodeAt(i);
    return { info: { defaultNormalizedValue: p.def, flags: p.units === null ? 9 : 1, id, shortTitle: '', stepCount: p.stepCount, title: p.title, units },
      isRangeParameter: false, normalized: values.get(id), precision: 4, unitID: 0 };
  }

  // Sets a value the way the controller does: clamp, and tell the page only on a real change.
  function setValue(id, x) {
    if (!info.has(id) || typeof x !== 'number') return false;
    const nv = Math.min(1, Math.max(0, x));
    if (nv === values.get(id)) return true;
    values.set(id, nv);
    if (subscribed.has(id)) {
      const obj = paramObject(id);
      later(() => { if (typeof window.notifyParameterChange === 'function') window.notifyParameterChange(obj); }, 1);
    }
    return true;
  }

  // ---- Curves: analog prototypes of each shape, evaluated at s = j f / fc.
  function ratio(n2, n1, n0, d2, d1, d0, w) { // |(n2 s^2 + n1 s + n0)/(d2 s^2 + d1 s + d0)| at s = jw
    return Math.hypot(n0 - n2 * w * w, n1 * w) / Math.max(1e-30, Math.hypot(d0 - d2 * w * w, d1 * w));
  }
  function bandDb(b, f) {
    const shape = Math.round(v(b, 1) * 8), fc = 20 * Math.pow(1100, v(b, 2)), g = 60 * v(b, 3) - 30;
    const q = Math.max(0.01, 0.025 * Math.pow(1600, v(b, 4))), order = [1, 2, 4, 8, 16][Math.round(v(b, 5) * 4)];
    const w = f / fc, A = Math.pow(10, g / 40), sA = Math.sqrt(A);
    const m = [() => ratio(1, A / q, 1, 1, 1 / (A * q), 1, w), () => A * ratio(1, sA / q, A, A, sA / q, 1, w),
      () => A * ratio(A, sA / q, 1, 1, sA / q, A, w), () => 1 / Math.sqrt(1 + Math.pow(1 / w, 2 * order)),
      () => 1 / Math.sqrt(1 + Math.pow(w, 2 * order)), () => ratio(1, 0, 1, 1, 1 / q, 1, w), () => ratio(0, 1 / q, 0, 1, 1 / q, 1, w),
      () => { const a = Math.pow(10, g / 80), s = Math.sqrt(a); return ratio(a, s / 0.7, 1, 1, s / 0.7, a, w) / ratio(1, s / 0.7, a, a, s / 0.7, 1, w); },
      () => 1][shape]();
    return 20 * Math.log10(Math.max(m, 1e-12));
  }
  // Levels of one band on an n-point grid, cached on the band's curve parameters
  // so a drag recomputes only the band that moves.
  const bandCache = new Map();
  function bandLevels(b, freqs) {
    const key = [0, 1, 2, 3, 4, 5].map((k) => v(b, k)).join(','), slot = b + '|' + freqs.length, hit = bandCache.get(slot);
    if (hit && hit.key === key) return hit.levels;
    const levels = freqs.map((f) => bandDb(b, f));
    bandCache.set(slot, { key, levels });
    return levels;
  }
  const enabledBands = () => [...Array(24).keys()].filter((b) => v(b, 0) >= 0.5);
  const dynamicBands = () => enabledBands().filter((b) => v(b, 7) >= 0.5);
  function grid(arg, def, hi) {
    const n = Math.min(hi, Math.max(16, typeof arg === 'number' ? Math.trunc(arg) : def));
    return [...Array(n).keys()].map((k) => 20 * Math.pow(1100, k / (n - 1)));
  }

  // Two seconds of five tones and a little noise, made once and read round in
  // windows, so that serving the capture costs the page next to nothing.
  let audio = true, lastWave = null, sampleClock = 0, tape = null;
  function waveform(arg) {
    const n = Math.min(8192, Math.max(64, typeof arg === 'number' ? Math.trunc(arg) : 2048));
    if (!audio && lastWave && lastWave.left.length === n) return lastWave;
    if (!tape) {
      tape = new Float64Array(2 * sampleRate).map((_, i) => (Math.random() - 0.5) * 0.01 +
        [[55, 0.25], [220, 0.12], [880, 0.05], [3100, 0.02], [9000, 0.008]].reduce((s, [f, a]) => s + a * Math.sin(2 * Math.PI * f * i / sampleRate), 0));
    }
    const t0 = sampleClock, left = [], right = [];
    sampleClock += Math.round(sampleRate / 30);
    for (let i = 0; i < n; i++) { left.push(tape[(t0 + i) % tape.length]); right.push(0.9 * left[i]); }
    lastWave = { left, right, sampleRate };
    return lastWave;
  }

  // ---- This instance's live analysis. Spectra are sums of bumps on a log
  // frequency axis whose levels follow a 120 bpm beat; post is pre plus every
  // band's response at its live gain; live gains follow the band's detector
  // level (pre, or side-chain for an external source) with its threshold and
  // ratio, without envelope smoothing.
  let analysis = seed.analysis || null, audition = { band: -1, at: 0 };
  let frames = 0, framesSince = performance.now(), held = null;
  const FLOOR = -150;
  function bumps(list, f) {
    let p = 1e-15;
    for (const [hz, width, db] of list) p += Math.pow(10, db / 10) * Math.exp(-0.5 * Math.pow(Math.log2(f / hz) / width, 2));
    return Math.max(FLOOR, 10 * Math.log10(p));
  }
  function analysisFrame(n) {
    const freqs = grid(n, 256, 2048), t = performance.now() / 1000, beat = (t * 2) % 1;
    const kick = -6 - 30 * beat, snare = -14 - 30 * ((beat + 0.5) % 1), sweep = 1500 * Math.pow(2, Math.sin(t * 0.7));
    const music = [[55, 0.6, kick], [110, 1.2, -20], [220, 0.5, snare], [sweep, 0.4, -22], [2500, 2.2, -34], [9000, 1.0, -40 - 10 * beat]];
    const pre = freqs.map((f) => bumps(music, f)), fixed = analysis.bands || {}, share = new Map();
    const bands = dynamicBands().map((b) => {
      const g = 60 * v(b, 3) - 30, fc = 20 * Math.pow(1100, v(b, 2));
      let entry = fixed[b];
      if (!entry) {
        const levelDb = Math.max(-120, bumps(v(b, 12) >= 0.5 ? [[60, 0.5, kick + 2]] : music, fc) + 3);
        const over = Math.max(levelDb - (60 * v(b, 8) - 60), 0), reduction = over - over / (19 * v(b, 9) + 1);
        entry = { gainDb: g >= 0 ? Math.max(g - reduction, 0) : Math.min(g + reduction, 0), levelDb };
      }
      share.set(b, g === 0 ? 1 : entry.gainDb / g);
      return { band: b, gainDb: entry.gainDb, levelDb: entry.levelDb };
    });
    const post = pre.slice();
    for (const b of enabledBands()) bandLevels(b, freqs).forEach((db, k) => { post[k] += db * (share.has(b) ? share.get(b) : 1); });
    const rms = -17 + 4 * Math.cos(2 * Math.PI * beat), flat = analysis.spectra || {};
    const spectrum = (kind, moving) => (flat[kind] === undefined ? moving : freqs.map(() => flat[kind]));
    return { bands, freqHz: freqs, frames, outputPeakDb: analysis.outputPeakDb ?? rms + 9, outputRmsDb: analysis.outputRmsDb ?? rms,
      post: spectrum('post', post.map((x) => Math.max(FLOOR, x))), pre: spectrum('pre', pre), sampleRate,
      sidechain: spectrum('sidechain', freqs.map((f) => bumps([[60, 0.5, kick + 2], [4000, 1.5, -45]], f))) };
  }
  function instanceAnalysis(arg) {
    if (!analysis) return null;
    if (audio) {
      const now = performance.now();
      frames += Math.round((now - framesSince) * sampleRate / 1000);
      framesSince = now;
      held = analysisFrame(arg);
      return held;
    }
    if (held) return { ...analysisFrame(arg), bands: held.bands, frames: held.frames }; // only audio moves frames and gains
    const floor = grid(arg, 256, 2048).map(() => FLOOR);
    return { bands: dynamicBands().map((b) => ({ band: b, gainDb: 60 * v(b, 3) - 30, levelDb: -120 })), freqHz: grid(arg, 256, 2048),
      frames, outputPeakDb: FLOOR, outputRmsDb: FLOOR, post: floor, pre: floor, sampleRate, sidechain: floor };
  }

  const badName = (n) => typeof n !== 'string' || n === '' || n.startsWith('/') || n.endsWith('/') || n.includes('//') ||
    n.includes('\\') || n.split('/').some((s) => s === '' || /^[. ]+$/.test(s));
  const snapshot = () => Object.fromEntries(values);
  const applyStored = (stored) => { for (const k of Object.keys(stored)) setValue(Number(k), stored[k]); return true; };
  const setter = (test, set) => (x) => (test(x) ? (set(x), true) : false);

  const impl = {
    getParameterObjects: (ids) => {
      let out = null;
      for (const id of [].concat(ids).filter((i) => info.has(i))) {
        out = out || [];
        while (out.length <= id) out.push(null);
        out[id] = paramObject(id);
      }
      return out;
    },
    subscribeParameter: (id) => (info.has(id) ? (subscribed.add(id), true) : null),
    setParamNormalized: (id, x) => setValue(id, x),
    getParamNormalized: (id) => (info.has(id) ? values.get(id) : 0),
    beginEdit: (id) => info.has(id),
    performEdit: (id) => info.has(id),
    endEdit: (id) => info.has(id),
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
    loadPresetByName: (name) => !badName(name) && presets.has(name) && applyStored(presets.get(name)),
    savePresetByName: (name) => (badName(name) ? false : (presets.set(name, snapshot()), true)),
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
