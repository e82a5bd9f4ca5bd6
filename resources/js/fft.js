// Radix-2 complex FFT (in place, iterative) and a windowed power spectrum of
// a real signal, for the analyser. Pure functions plus a cached plan per size.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const plans = new Map();

  function plan(n) {
    if (plans.has(n)) return plans.get(n);
    if (n < 2 || (n & (n - 1)) !== 0) throw new RangeError('FFT size must be a power of two');
    const bits = Math.log2(n);
    const rev = new Uint32Array(n);
    for (let i = 0; i < n; i++) {
      let r = 0;
      for (let b = 0; b < bits; b++) r |= ((i >> b) & 1) << (bits - 1 - b);
      rev[i] = r;
    }
    const cos = new Float64Array(n / 2);
    const sin = new Float64Array(n / 2);
    for (let i = 0; i < n / 2; i++) { cos[i] = Math.cos(2 * Math.PI * i / n); sin[i] = -Math.sin(2 * Math.PI * i / n); }
    const p = { n, rev, cos, sin };
    plans.set(n, p);
    return p;
  }

  /** Forward transform X[k] = sum x[j] e^(-2 pi i jk/n), in place on (re, im). */
  function transform(re, im) {
    const n = re.length;
    const { rev, cos, sin } = plan(n);
    for (let i = 0; i < n; i++) {
      const j = rev[i];
      if (j > i) {
        let t = re[i]; re[i] = re[j]; re[j] = t;
        t = im[i]; im[i] = im[j]; im[j] = t;
      }
    }
    for (let size = 2; size <= n; size <<= 1) {
      const half = size >> 1;
      const step = n / size;
      for (let start = 0; start < n; start += size) {
        for (let k = 0; k < half; k++) {
          const wr = cos[k * step], wi = sin[k * step];
          const a = start + k, b = a + half;
          const tr = re[b] * wr - im[b] * wi;
          const ti = re[b] * wi + im[b] * wr;
          re[b] = re[a] - tr; im[b] = im[a] - ti;
          re[a] += tr; im[a] += ti;
        }
      }
    }
  }

  const hannCache = new Map();
  function hann(n) {
    if (!hannCache.has(n)) {
      const w = new Float64Array(n);
      for (let i = 0; i < n; i++) w[i] = 0.5 - 0.5 * Math.cos(2 * Math.PI * i / n);
      hannCache.set(n, w);
    }
    return hannCache.get(n);
  }

  /**
   * Hann-windowed power spectrum of n real samples (n a power of two), bins 0..n/2,
   * scaled so a full-scale sine centred on a bin reads 1 (0 dBFS).
   */
  function powerSpectrum(samples) {
    const n = samples.length;
    const w = hann(n);
    const re = new Float64Array(n);
    const im = new Float64Array(n);
    let sum = 0;
    for (let i = 0; i < n; i++) { re[i] = samples[i] * w[i]; sum += w[i]; }
    transform(re, im);
    const scale = 1 / ((sum / 2) * (sum / 2));
    const out = new Float64Array(n / 2 + 1);
    for (let k = 0; k <= n / 2; k++) out[k] = (re[k] * re[k] + im[k] * im[k]) * scale;
    return out;
  }

  QEQ.fft = Object.freeze({ transform, powerSpectrum, hann });
})(typeof window !== 'undefined' ? window : globalThis);
