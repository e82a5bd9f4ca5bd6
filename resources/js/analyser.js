// Spectrum and output waveform from the process-wide capture rings
// ("getEqWaveformRaw"), for an editor without a link to its own processor: at
// most one request in flight, about 30 per second, nothing while the page is
// hidden. A ring that has not moved since the last answer (no audio anywhere)
// is asked for only a few times a second, and once the display has settled on
// it (the smoothing's fall has run out) it is neither analysed nor redrawn.
// The spectrum is smoothed per FFT bin (fast rise, slow fall) in power.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const SIZE = 4096;
  const INTERVAL_MS = 33;
  const IDLE_MS = 400;
  const FALL = 0.82; // share of the previous power kept per update when falling
  const SETTLE = 40;  // repeated blocks analysed before the display counts as settled (0.82^40 < 0.0004)

  let enabled = true;
  let running = false;
  let repeats = 0; // answers in a row that repeated the one before
  let inFlight = false;
  let timer = 0;
  let sampleRate = 48000;
  let smooth = null; // Float64Array of SIZE/2+1 bins
  let wave = null;   // {left, right}
  const listeners = [];

  const sameSamples = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);

  function absorb(result) {
    if (!result) return;
    const same = !!wave && sameSamples(result.left, wave.left) && sameSamples(result.right, wave.right);
    repeats = same ? repeats + 1 : 0;
    if (repeats > SETTLE) return;
    if (typeof result.sampleRate === 'number' && result.sampleRate > 0) sampleRate = result.sampleRate;
    const n = Math.min(result.left.length, result.right.length);
    if (n < SIZE) return;
    const mono = new Float64Array(SIZE);
    for (let i = 0; i < SIZE; i++) {
      const l = +result.left[n - SIZE + i] || 0, r = +result.right[n - SIZE + i] || 0;
      mono[i] = 0.5 * (l + r);
    }
    const p = QEQ.fft.powerSpectrum(mono);
    if (!smooth) smooth = p;
    else for (let k = 0; k < p.length; k++) smooth[k] = p[k] > smooth[k] ? p[k] : smooth[k] * FALL + p[k] * (1 - FALL);
    wave = { left: result.left, right: result.right };
    for (const fn of listeners) fn();
  }

  function poll() {
    timer = 0;
    if (!running || !enabled || inFlight || root.document.hidden) return;
    inFlight = true;
    QEQ.bridge.getEqWaveformRaw(SIZE).then((r) => {
      inFlight = false;
      absorb(r);
      schedule();
    });
  }
  function schedule() {
    if (!timer && running && enabled && !root.document.hidden) timer = setTimeout(poll, repeats > SETTLE ? IDLE_MS : INTERVAL_MS);
  }
  function clear() { smooth = null; wave = null; repeats = 0; for (const fn of listeners) fn(); }
  root.document.addEventListener('visibilitychange', schedule);

  /**
   * Level in dBFS for each column between frequency edges (Hz, ascending, one more
   * than columns): the strongest bin inside a column, or interpolation where a
   * column is narrower than a bin.
   */
  function columns(edges) {
    const out = new Float32Array(edges.length - 1);
    if (!smooth) return out.fill(-Infinity);
    const binHz = sampleRate / SIZE;
    const last = smooth.length - 1;
    for (let c = 0; c < out.length; c++) {
      const a = edges[c] / binHz, b = edges[c + 1] / binHz;
      let pw = 0;
      if (b - a < 1) {
        const m = Math.min(last, (a + b) / 2), i = Math.floor(m), t = m - i;
        pw = smooth[i] * (1 - t) + smooth[Math.min(last, i + 1)] * t;
      } else {
        for (let k = Math.ceil(a); k <= Math.min(last, Math.floor(b)); k++) if (smooth[k] > pw) pw = smooth[k];
      }
      out[c] = 10 * Math.log10(pw + 1e-20);
    }
    return out;
  }

  QEQ.analyser = Object.freeze({
    start() { running = true; schedule(); },
    stop() { running = false; clearTimeout(timer); timer = 0; clear(); },
    setEnabled(on) { enabled = !!on; if (enabled) schedule(); else clear(); },
    enabled: () => enabled,
    sampleRate: () => sampleRate,
    columns,
    waveform: () => wave,
    onUpdate: (fn) => listeners.push(fn),
    busy: () => inFlight,
  });
})(window);
