// Parameter identifiers, normalised <-> plain mappings and display text.
// Values cross the bridge normalised (0..1); everything shown to the user
// goes through these functions so the page agrees with the plug-in's maths.
// Classic script: attaches to the QEQ namespace (also loadable in node tests).
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};

  const PHASE_MODE = 1002;
  const LINEAR_LATENCY = 1003;
  const BAND_COUNT = 24;
  const FIELD_COUNT = 13;

  /** Field offsets inside a band's block of 16 identifiers. */
  const F = Object.freeze({
    ENABLED: 0, SHAPE: 1, FREQ: 2, GAIN: 3, Q: 4, SLOPE: 5, CHANNEL: 6,
    DYN_ENABLED: 7, THRESHOLD: 8, RATIO: 9, ATTACK: 10, RELEASE: 11, SIDECHAIN: 12,
  });

  const FIELD_NAMES = ['Enabled', 'Shape', 'Freq', 'Gain', 'Q', 'Slope', 'Channel',
    'Dynamics Enabled', 'Threshold', 'Ratio', 'Attack', 'Release', 'Sidechain Source'];

  const LISTS = {
    phase: ['Natural', 'Linear'],
    latency: ['Low', 'Medium', 'High', 'Max'],
    shape: ['Bell', 'Low Shelf', 'High Shelf', 'Low Cut', 'High Cut', 'Notch', 'Band Pass',
      'Tilt Shelf', 'Allpass'],
    slope: ['6 dB/oct', '12 dB/oct', '24 dB/oct', '48 dB/oct', '96 dB/oct'],
    channel: ['Stereo', 'Left', 'Right', 'Mid', 'Side'],
    sidechain: ['Internal', 'External'],
  };
  const KERNEL_TAPS = [2048, 4096, 8192, 16384];

  /** Shapes whose gain parameter changes the response. */
  const GAIN_SHAPES = new Set([0, 1, 2, 7]);

  const bandId = (band, field) => 2000 + 16 * band + field;

  /** Decodes an identifier into {band, field}, or null for globals and gaps. */
  function decodeId(id) {
    if (id < 2000) return null;
    const band = Math.floor((id - 2000) / 16);
    const field = (id - 2000) % 16;
    if (band >= BAND_COUNT || field >= FIELD_COUNT) return null;
    return { band, field };
  }

  /** All 314 identifiers in registration order. */
  const ALL_IDS = (function () {
    const ids = [PHASE_MODE, LINEAR_LATENCY];
    for (let b = 0; b < BAND_COUNT; b++) for (let k = 0; k < FIELD_COUNT; k++) ids.push(bandId(b, k));
    return Object.freeze(ids);
  })();

  const clamp01 = (x) => (x > 1 ? 1 : x < 0 ? 0 : (x === x ? x : 0));
  const clamp = (x, lo, hi) => Math.min(hi, Math.max(lo, x));

  // Continuous fields: plain = f(x) and its inverse; ranges as the plug-in clamps them.
  const CONT = {
    [F.FREQ]: { min: 20, max: 22000, toPlain: (x) => 20 * Math.pow(1100, x), toNorm: (p) => Math.log(p / 20) / Math.log(1100) },
    [F.GAIN]: { min: -30, max: 30, toPlain: (x) => 60 * x - 30, toNorm: (p) => p / 60 + 0.5 },
    [F.Q]: { min: 0.025, max: 40, toPlain: (x) => 0.025 * Math.pow(1600, x), toNorm: (p) => Math.log(p / 0.025) / Math.log(1600) },
    [F.THRESHOLD]: { min: -60, max: 0, toPlain: (x) => 60 * x - 60, toNorm: (p) => p / 60 + 1 },
    [F.RATIO]: { min: 1, max: 20, toPlain: (x) => 19 * x + 1, toNorm: (p) => (p - 1) / 19 },
    [F.ATTACK]: { min: 1, max: 500, toPlain: (x) => Math.pow(500, x), toNorm: (p) => Math.log(p) / Math.log(500) },
    [F.RELEASE]: { min: 10, max: 2000, toPlain: (x) => 10 * Math.pow(200, x), toNorm: (p) => Math.log(p / 10) / Math.log(200) },
  };

  const LIST_OF_FIELD = { [F.SHAPE]: LISTS.shape, [F.SLOPE]: LISTS.slope, [F.CHANNEL]: LISTS.channel, [F.SIDECHAIN]: LISTS.sidechain };

  /** Normalised -> plain (Hz, dB, Q, ratio, ms) for a continuous band field. */
  function toPlain(field, x) { return CONT[field].toPlain(clamp01(x)); }
  /** Plain -> normalised, clamping the plain value to the field's range first. */
  function toNorm(field, p) { const c = CONT[field]; return clamp01(c.toNorm(clamp(p, c.min, c.max))); }

  /** List index of a normalised value: round half away from zero, clamped. */
  function listIndex(x, steps) { return clamp(Math.round(clamp01(x) * steps), 0, steps); }
  const listNorm = (index, steps) => (steps > 0 ? clamp(index, 0, steps) / steps : 0);
  const isOn = (x) => x >= 0.5;

  function signed(v, digits) {
    const t = v.toFixed(digits);
    if (Number(t) === 0) return (0).toFixed(digits);
    return (v > 0 ? '+' : '') + t;
  }
  function trimmed(v, digits) { return String(Number(v.toFixed(digits))); }

  function formatHz(hz) {
    if (hz >= 10000) return (hz / 1000).toFixed(1) + ' kHz';
    if (hz >= 1000) return (hz / 1000).toFixed(2) + ' kHz';
    if (hz >= 100) return hz.toFixed(0) + ' Hz';
    return hz.toFixed(1) + ' Hz';
  }
  function formatMs(ms) { return (ms < 10 ? ms.toFixed(1) : ms.toFixed(0)) + ' ms'; }

  /** Display text of a band field's normalised value, in real units. */
  function formatField(field, x) {
    switch (field) {
      case F.ENABLED: case F.DYN_ENABLED: return isOn(x) ? 'On' : 'Off';
      case F.FREQ: return formatHz(toPlain(field, x));
      case F.GAIN: return signed(toPlain(field, x), 1) + ' dB';
      case F.Q: { const q = toPlain(field, x); return 'Q ' + (q < 10 ? q.toFixed(2) : q.toFixed(1)); }
      case F.THRESHOLD: return trimmed(toPlain(field, x), 1) + ' dB';
      case F.RATIO: return toPlain(field, x).toFixed(1) + ':1';
      case F.ATTACK: case F.RELEASE: return formatMs(toPlain(field, x));
      default: {
        const list = LIST_OF_FIELD[field];
        return list ? list[listIndex(x, list.length - 1)] : String(x);
      }
    }
  }

  /** Default normalised value of an identifier, as the plug-in registers it. */
  function defaultValue(id) {
    const d = decodeId(id);
    if (!d) return 0;
    switch (d.field) {
      case F.FREQ: return 0.558615798817058;
      case F.GAIN: return 0.5;
      case F.Q: return 0.4530040738117794;
      case F.THRESHOLD: return 0.7;
      case F.RATIO: return 1 / 19;
      case F.ATTACK: return 0.3705117131325855;
      case F.RELEASE: return 0.5111151359486344;
      default: return 0;
    }
  }

  /** Latency reported by the processor, in samples: N/2 + 128 in Linear mode, 0 in Natural. */
  function latencySamples(phaseNorm, latencyNorm) {
    if (!isOn(phaseNorm)) return 0;
    const taps = KERNEL_TAPS[listIndex(latencyNorm, 3)] || 4096;
    return taps / 2 + 128;
  }

  /**
   * Why a preset name is refused (same rules as the plug-in), or null if valid.
   * The text is shown to the user as is.
   */
  function presetNameProblem(name) {
    if (typeof name !== 'string' || name.length === 0) return 'Enter a name.';
    if (name.startsWith('/') || name.endsWith('/')) return 'A name cannot start or end with "/".';
    if (name.includes('//')) return 'A name cannot contain "//".';
    if (name.includes('\\')) return 'A name cannot contain "\\".';
    for (const seg of name.split('/')) {
      if (seg === '' || /^[. ]+$/.test(seg)) return 'Each "/" part needs a real name: "' + seg + '" is not allowed.';
    }
    return null;
  }

  QEQ.params = Object.freeze({
    PHASE_MODE, LINEAR_LATENCY, BAND_COUNT, FIELD_COUNT, F, FIELD_NAMES, LISTS, KERNEL_TAPS,
    GAIN_SHAPES, ALL_IDS, bandId, decodeId, clamp01, clamp, toPlain, toNorm, listIndex, listNorm,
    isOn, formatHz, formatField, defaultValue, latencySamples, presetNameProblem,
  });
})(typeof window !== 'undefined' ? window : globalThis);
