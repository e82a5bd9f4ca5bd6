// A scripted stand-in for the plug-in side of the editor bridge, installed
// before any page script runs. It installs the plug-in's functions as globals
// that return promises, keeps the 314 normalised values, answers in call order a
// moment later (like the real bridge, which answers after the call's own
// change notifications), calls window.notifyParameterChange for subscribed
// parameters, and records every call for the tests to inspect.
// Seed (optional): window.__qeqSeed = {values, historyState, abSlot, abJson,
// presets: {name: values}, currentState: values, sampleRate, delayMs, curveDelayMs,
// audio (default true; false: the capture stands still), analysis}.
// analysis: absent or null for an editor without a link to its processor;
// otherwise {bands: {i: {gainDb, levelDb}} fixed readings of dynamic bands,
// spectra: {pre, post, sidechain} flat levels in dBFS, outputPeakDb,
// outputRmsDb fixed meters, refuseAudition}. Everything not fixed
// moves like music; see analysisFrame.
(function () {
  'use strict';
  const seed = window.__qeqSeed || {};
  const delayMs = seed.delayMs === undefined ? 1 : seed.delayMs;
  const curveDelayMs = seed.curveDelayMs === undefined ? 3 : seed.curveDelayMs;

  // Parameter table, written out from the plug-in's documented definition.
  const FIELDS = [
    ['Enabled', 1, 0, ''], ['Shape', 8, 0, null], ['Freq', 0, 0.558615798817058, 'Hz'], ['Gain', 0, 0.5, 'dB'],
    ['Q', 0, 0.4530040738117794, ''], ['Slope', 4, 0, null], ['Channel', 4, 0, null], ['Dynamics Enabled', 1, 0, ''],
    ['Threshold', 0, 0.7, 'dB'], ['Ratio', 0, 1 / 19, ':1'], ['Attack', 0, 0.3705117131325855, 'ms'],
    ['Release', 0, 0.5111151359486344, 'ms'], ['Sidechain Source', 1, 0, null],
  ];
  const info = new Map();
  info.set(1002, { title: 'Phase Mode', stepCount: 1, def: 0, units: null, list: true });
  info.set(1003, { title: 'Linear Latency', stepCount: 3, def: 0, units: null, list: true });
  for (let b = 0; b < 24; b++) {
    FIELDS.forEach(([name, steps, def, units], k) => {
      info.set(2000 + 16 * b + k, { title: 'Band ' + (b + 1) + ' ' + name, stepCount: steps, def, units, list: units === null });
    });
  }
  const values = new Map();
  for (const [id, p] of info) values.set(id, p.def);
  if (seed.values) for (const k of Object.keys(seed.values)) if (info.has(Number(k))) values.set(Number(k), seed.values[k]);

  const subscribed = new Set();
  const calls = [];
  const hostEdits = [];
  const notifications = [];
  const inflight = {};
  const maxInflight = {};
  const presets = new Map(Object.entries(seed.presets || {}));
  let currentState = seed.currentState || null;
  let abSlot = seed.abSlot || 0;
  let abJson = seed.abJson || '';
  let history = seed.historyState || '';
  const sampleRate = seed.sampleRate || 48000;

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
    const p = info.get(id);
    const units = new Array(128).fill(0);
    if (p.units) for (let i = 0; i < p.units.length; i++) units[i] = p.units.charCodeAt(i);
    return {
      info: { defaultNormalizedValue: p.def, flags: p.list ? 9 : 1, id, shortTitle: '', stepCount: p.stepCount, title: p.title, units },
      isRangeParameter: false, normalized: values.get(id), precision: 4, unitID: 0,
    };
  }

  // Sets a value the way the controller does: clamp, and tell the page only on a real change.
  function setValue(id, x) {
    if (!info.has(id) || typeof x !== 'number') return false;
    const v = Math.min(1, Math.max(0, x));
    if (v === values.get(id)) return true;
    values.set(id, v);
    if (subscribed.has(id)) {
      const obj = paramObject(id);
      notifications.push({ id, value: v });
      later(() => { if (typeof window.notifyParameterChange === 'function') window.notifyParameterChange(obj); }, delayMs);
    }
    return true;
  }

  // ---- Curves: analog prototypes of each shape, evaluated at s = j f / fc.
  const cabs = (re, im) => Math.hypot(re, im);
  function ratio(n2, n1, n0, d2, d1, d0, w) { // |(n2 s^2 + n1 s + n0)/(d2 s^2 + d1 s + d0)| at s = jw
    return cabs(n0 - n2 * w * w, n1 * w) / Math.max(1e-30, cabs(d0 - d2 * w * w, d1 * w));
  }
  function bandDb(b, f) {
    const v = (k) => values.get(2000 + 16 * b + k);
    const shape = Math.min(8, Math.max(0, Math.round(v(1) * 8)));
    const fc = 20 * Math.pow(1100, v(2));
    const g = 60 * v(3) - 30;
    const q = Math.max(0.01, 0.025 * Math.pow(1600, v(4)));
    const order = [1, 2, 4, 8, 16][Math.min(4, Math.max(0, Math.round(v(5) * 4)))];
    const w = f / fc, A = Math.pow(10, g / 40), sA = Math.sqrt(A);
    let m;
    switch (shape) {
      case 0: m = ratio(1, A / q, 1, 1, 1 / (A * q), 1, w); break;
      case 1: m = A * ratio(1, sA / q, A, A, sA / q, 1, w); break;
      case 2: m = A * ratio(A, sA / q, 1, 1, sA / q, A, w); break;
      case 3: m = 1 / Math.sqrt(1 + Math.pow(1 / w, 2 * order)); break;
      case 4: m = 1 / Math.sqrt(1 + Math.pow(w, 2 * order)); break;
      case 5: m = ratio(1, 0, 1, 1, 1 / q, 1, w); break;
      case 6: m = ratio(0, 1 / q, 0, 1, 1 / q, 1, w); break;
      case 7: { const a = Math.pow(10, g / 80), s = Math.sqrt(a);
        m = a * ratio(a, s / 0.7, 1, 1, s / 0.7, a, w) / (a * ratio(1, s / 0.7, a, a, s / 0.7, 1, w)); break; }
      default: m = 1;
    }
    return 20 * Math.log10(Math.max(m, 1e-12));
  }
  // Levels of one band on an n-point grid, cached on the band's curve parameters
  // so a drag recomputes only the band that moves.
  const bandCache = new Map();
  function bandLevels(b, freqs) {
    const key = [0, 1, 2, 3, 4, 5].map((k) => values.get(2000 + 16 * b + k)).join(',');
    const slot = b + '|' + freqs.length;
    const hit = bandCache.get(slot);
    if (hit && hit.key === key) return hit.levels;
    const levels = freqs.map((f) => bandDb(b, f));
    bandCache.set(slot, { key, levels });
    return levels;
  }
  function sumLevels(bands, freqs) {
    const sum = new Array(freqs.length).fill(0);
    for (const b of bands) bandLevels(b, freqs).forEach((db, k) => { sum[k] += db; });
    return sum;
  }
  const enabledBands = () => [...Array(24).keys()].filter((b) => values.get(2000 + 16 * b) >= 0.5);
  function grid(arg, def, lo, hi) {
    let n = typeof arg === 'number' ? Math.trunc(arg) : def;
    n = Math.min(hi, Math.max(lo, n));
    return [...Array(n).keys()].map((k) => 20 * Math.pow(1100, k / (n - 1)));
  }

  let audio = seed.audio !== false;
  let lastWave = null;
  // Two seconds of five tones and a little noise, made once and read round in
  // windows, so that serving the capture costs the page (whose timing the tests
  // print) next to nothing.
  let sampleClock = 0, tape = null;
  function waveform(arg) {
    let n = typeof arg === 'number' ? Math.trunc(arg) : 2048;
    n = Math.min(8192, Math.max(64, n));
    if (!audio && lastWave && lastWave.left.length === n) return lastWave;
    if (!tape) {
      tape = new Float64Array(2 * sampleRate);
      const tones = [[55, 0.25], [220, 0.12], [880, 0.05], [3100, 0.02], [9000, 0.008]];
      for (let i = 0; i < tape.length; i++) {
        let s = (Math.random() - 0.5) * 0.01;
        for (const [f, a] of tones) s += a * Math.sin(2 * Math.PI * f * i / sampleRate);
        tape[i] = s;
      }
    }
    const left = [], right = [];
    const t0 = sampleClock;
    sampleClock += Math.round(sampleRate / 30);
    for (let i = 0; i < n; i++) {
      const s = tape[(t0 + i) % tape.length];
      left.push(s); right.push(0.9 * s);
    }
    lastWave = { left, right, sampleRate };
    return lastWave;
  }

  // ---- This instance's live analysis. Spectra are sums of bumps on a log
  // frequency axis whose levels follow a 120 bpm beat; post is pre plus every
  // band's response at its live gain; live gains follow the band's detector
  // level (pre, or side-chain for an external source) with its threshold and
  // ratio, without envelope smoothing.
  let analysis = seed.analysis || null;
  let audition = { band: -1, at: 0 };
  let frames = 0, framesSince = performance.now(), held = null;
  const FLOOR = -150;
  function bumps(list, f) {
    let p = 1e-15;
    for (const [hz, width, db] of list) p += Math.pow(10, db / 10) * Math.exp(-0.5 * Math.pow(Math.log2(f / hz) / width, 2));
    return Math.max(FLOOR, 10 * Math.log10(p));
  }
  function analysisFrame(n) {
    const freqs = grid(n, 256, 16, 2048);
    const t = performance.now() / 1000, beat = (t * 2) % 1;
    const kick = -6 - 30 * beat, snare = -14 - 30 * ((beat + 0.5) % 1), sweep = 1500 * Math.pow(2, Math.sin(t * 0.7));
    const music = [[55, 0.6, kick], [110, 1.2, -20], [220, 0.5, snare], [sweep, 0.4, -22], [2500, 2.2, -34], [9000, 1.0, -40 - 10 * beat]];
    const pre = freqs.map((f) => bumps(music, f));
    const sidechain = freqs.map((f) => bumps([[60, 0.5, kick + 2], [4000, 1.5, -45]], f));
    const fixed = analysis.bands || {};
    const bands = [];
    const share = new Map();
    for (const b of enabledBands()) {
      const v = (k) => values.get(2000 + 16 * b + k);
      if (v(7) < 0.5) continue;
      const g = 60 * v(3) - 30, fc = 20 * Math.pow(1100, v(2));
      let entry = fixed[b];
      if (!entry) {
        const levelDb = Math.max(-120, bumps(v(12) >= 0.5 ? [[60, 0.5, kick + 2]] : music, fc) + 3);
        const over = Math.max(levelDb - (60 * v(8) - 60), 0), reduction = over - over / (19 * v(9) + 1);
        entry = { gainDb: g >= 0 ? Math.max(g - reduction, 0) : Math.min(g + reduction, 0), levelDb };
      }
      bands.push({ band: b, gainDb: entry.gainDb, levelDb: entry.levelDb });
      share.set(b, g === 0 ? 1 : entry.gainDb / g);
    }
    const post = pre.slice();
    for (const b of enabledBands()) bandLevels(b, freqs).forEach((db, k) => { post[k] += db * (share.has(b) ? share.get(b) : 1); });
    const rms = -17 + 4 * Math.cos(2 * Math.PI * beat);
    const flat = analysis.spectra || {};
    const spectrum = (kind, moving) => (flat[kind] === undefined ? moving : freqs.map(() => flat[kind]));
    return { bands, freqHz: freqs, frames, outputPeakDb: analysis.outputPeakDb ?? rms + 9, outputRmsDb: analysis.outputRmsDb ?? rms,
      post: spectrum('post', post.map((x) => Math.max(FLOOR, x))), pre: spectrum('pre', pre), sampleRate,
      sidechain: spectrum('sidechain', sidechain) };
  }
  function silentFrame(n) {
    const freqs = grid(n, 256, 16, 2048);
    const floor = freqs.map(() => FLOOR);
    const bands = enabledBands().filter((b) => values.get(2000 + 16 * b + 7) >= 0.5)
      .map((b) => ({ band: b, gainDb: 60 * values.get(2000 + 16 * b + 3) - 30, levelDb: -120 }));
    return { bands, freqHz: freqs, frames, outputPeakDb: FLOOR, outputRmsDb: FLOOR, post: floor, pre: floor, sampleRate, sidechain: floor };
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
    if (!held) return silentFrame(arg);
    // Stopped: the levels may still be worked out afresh on each request, but
    // the frames counter and the band gains, which only audio moves, stand still.
    return { ...analysisFrame(arg), bands: held.bands, frames: held.frames };
  }
  function setAuditionBand(i) {
    if (!analysis || analysis.refuseAudition || !Number.isInteger(i) || i < -1 || i > 23) return false;
    if (i >= 0 && values.get(2000 + 16 * i) < 0.5) return false;
    audition = { band: i, at: performance.now() };
    return true;
  }

  const badName = (n) => typeof n !== 'string' || n === '' || n.startsWith('/') || n.endsWith('/') || n.includes('//') ||
    n.includes('\\') || n.split('/').some((s) => s === '' || /^[. ]+$/.test(s));
  const snapshot = () => Object.fromEntries(values);
  function applyStored(stored) {
    for (const k of Object.keys(stored)) {
      const id = Number(k);
      hostEdits.push(['begin', id], ['perform', id, stored[k]], ['end', id]);
      setValue(id, stored[k]);
    }
  }

  const impl = {
    getParameterObject: (id) => (info.has(id) ? paramObject(id) : null),
    getParameterObjects: (ids) => {
      let out = null;
      for (const id of [].concat(ids)) {
        if (!info.has(id)) continue;
        if (!out) out = [];
        while (out.length <= id) out.push(null);
        out[id] = paramObject(id);
      }
      return out;
    },
    subscribeParameter: (id) => (info.has(id) ? (subscribed.add(id), true) : null),
    setParamNormalized: (id, x) => setValue(id, x),
    normalizedParamToPlain: (id, x) => (info.has(id) && info.get(id).list ? Math.round(x * info.get(id).stepCount) : x),
    getParamNormalized: (id) => (info.has(id) ? values.get(id) : 0),
    beginEdit: (id) => info.has(id),
    performEdit: (id) => info.has(id),
    endEdit: (id) => info.has(id),
    getParameterCount: () => 314,
    getSelectedUnit: () => 0,
    selectUnit: () => 0,
    sendMessage: () => true,
    getEqCurve: (n) => {
      const freqs = grid(n, 256, 16, 2048);
      const db = sumLevels(enabledBands(), freqs);
      return freqs.map((f, k) => ({ db: db[k], freqHz: f }));
    },
    getEqBandCurves: (n) => {
      const freqs = grid(n, 128, 16, 1024);
      return enabledBands().map((b) => ({ band: b, points: bandLevels(b, freqs).map((db, k) => ({ db, freqHz: freqs[k] })) }));
    },
    getEqWaveformRaw: waveform,
    listPresets: () => [...presets.keys()].sort(),
    loadPresetByName: (name) => (badName(name) || !presets.has(name) ? false : (applyStored(presets.get(name)), true)),
    savePresetByName: (name) => (badName(name) ? false : (presets.set(name, snapshot()), true)),
    restoreCurrentState: () => (currentState ? (applyStored(currentState), true) : false),
    getPluginVersion: () => '1.0.0.0',
    openExternalUrl: (url) => typeof url === 'string' && (url.startsWith('https://') || url.startsWith('http://')),
    getAbActiveSlot: () => abSlot,
    setAbActiveSlot: (s) => (Number.isInteger(s) ? ((abSlot = s), true) : false),
    getAbInactiveSlotJson: () => abJson,
    setAbInactiveSlotJson: (s) => (typeof s === 'string' ? ((abJson = s), true) : false),
    getHistoryState: () => history,
    setHistoryState: (s) => (typeof s === 'string' ? ((history = s), true) : false),
    getInstanceAnalysis: instanceAnalysis,
    setAuditionBand,
  };

  const SLOW = new Set(['getEqCurve', 'getEqBandCurves', 'getEqWaveformRaw', 'getInstanceAnalysis']);
  for (const name of Object.keys(impl)) {
    inflight[name] = 0; maxInflight[name] = 0;
    window[name] = function () {
      const args = JSON.parse(JSON.stringify(Array.prototype.slice.call(arguments)));
      calls.push({ name, args, t: performance.now() });
      inflight[name]++;
      maxInflight[name] = Math.max(maxInflight[name], inflight[name]);
      // Effects happen at once, in call order; the slow display results are computed
      // when the answer leaves (as the plug-in computes them on its own thread), and
      // every answer reaches the page as parsed JSON, like the real answer script.
      const slow = SLOW.has(name);
      const result = slow ? null : JSON.stringify(impl[name].apply(null, args) ?? null);
      return new Promise((resolve) => later(() => {
        inflight[name]--;
        resolve(JSON.parse(slow ? JSON.stringify(impl[name].apply(null, args) ?? null) : result));
      }, slow ? curveDelayMs : delayMs));
    };
  }

  window.__qeqBridge = {
    calls, hostEdits, notifications, maxInflight, inflight,
    value: (id) => values.get(id),
    values: snapshot,
    /** Host automation or a host preset: changes the value and notifies like the plug-in. */
    hostSet: (id, x) => setValue(id, x),
    state: () => ({ abSlot, abJson, history, presets: Object.fromEntries(presets), values: snapshot() }),
    /** Starts or stops the audio: while stopped the capture and the analysis stand still. */
    setAudio: (on) => { audio = !!on; framesSince = performance.now(); },
    /** Replaces the analysis seed (null: the link is gone). */
    setAnalysis: (a) => { analysis = a; },
    /** The band the processor auditions now: it ends an audition not renewed for a second. */
    auditioned: () => (audition.band >= 0 && performance.now() - audition.at <= 1000 ? audition.band : -1),
    clearCalls: () => { calls.length = 0; notifications.length = 0; hostEdits.length = 0; for (const k in maxInflight) maxInflight[k] = inflight[k]; },
  };
})();
