// The page's pure parts, run in node: mappings against the plug-in's
// documented end points and defaults, display text, the preset name rules
// and the FFT against a direct DFT.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const JS = path.resolve(__dirname, '..', '..', 'resources', 'js');
const sandbox = { Math, Number, String, Object, Set, Map, Array, Float64Array, Uint32Array, RangeError, isFinite };
sandbox.globalThis = sandbox;
vm.createContext(sandbox);
for (const f of ['params.js', 'fft.js']) vm.runInContext(fs.readFileSync(path.join(JS, f), 'utf8'), sandbox, { filename: f });
const P = sandbox.QEQ.params;
const FFT = sandbox.QEQ.fft;
const F = P.F;
const near = (a, b, tol, msg) => assert.ok(Math.abs(a - b) <= tol, `${msg || ''} ${a} vs ${b}`);

test('mappings reach the documented range ends and defaults', () => {
  const ends = [[F.FREQ, 20, 22000], [F.GAIN, -30, 30], [F.Q, 0.025, 40], [F.THRESHOLD, -60, 0],
    [F.RATIO, 1, 20], [F.ATTACK, 1, 500], [F.RELEASE, 10, 2000]];
  for (const [field, lo, hi] of ends) {
    near(P.toPlain(field, 0), lo, 1e-9 * Math.abs(hi), P.FIELD_NAMES[field] + ' at 0');
    near(P.toPlain(field, 1), hi, 1e-9 * Math.abs(hi), P.FIELD_NAMES[field] + ' at 1');
    near(P.toPlain(field, -0.5), lo, 1e-9 * Math.abs(hi), 'below 0 clamps');
    near(P.toPlain(field, 7), hi, 1e-9 * Math.abs(hi), 'above 1 clamps');
    // Inverse: plain values outside the range clamp to the ends.
    assert.equal(P.toNorm(field, lo - 1000), 0);
    assert.equal(P.toNorm(field, hi + 1e6), 1);
  }
  // Documented default plain values come back from the registered normalised defaults.
  near(P.toPlain(F.FREQ, P.defaultValue(P.bandId(0, F.FREQ))), 1000, 1e-9);
  near(P.toPlain(F.Q, P.defaultValue(P.bandId(5, F.Q))), 0.707, 1e-12);
  near(P.toPlain(F.THRESHOLD, P.defaultValue(P.bandId(23, F.THRESHOLD))), -18, 1e-9);
  near(P.toPlain(F.RATIO, P.defaultValue(P.bandId(1, F.RATIO))), 2, 1e-12);
  near(P.toPlain(F.ATTACK, P.defaultValue(P.bandId(1, F.ATTACK))), 10, 1e-9);
  near(P.toPlain(F.RELEASE, P.defaultValue(P.bandId(1, F.RELEASE))), 150, 1e-9);
  // Round trip in the middle of every range, against the independent formulas.
  near(P.toNorm(F.FREQ, 1200), Math.log(60) / Math.log(1100), 1e-12);
  near(P.toNorm(F.Q, 1), Math.log(40) / Math.log(1600), 1e-12);
  near(P.toNorm(F.ATTACK, 100), Math.log(100) / Math.log(500), 1e-12);
});

test('identifiers and list indices follow the plug-in layout and rounding', () => {
  assert.equal(P.ALL_IDS.length, 314);
  assert.equal(new Set(P.ALL_IDS).size, 314);
  assert.equal(P.ALL_IDS[2], 2000);
  assert.equal(P.ALL_IDS[313], 2380);
  assert.equal(P.bandId(1, F.FREQ), 2018);
  assert.equal(P.decodeId(2013), null, 'offset 13 is no parameter');
  assert.equal(P.decodeId(2384), null, 'past band 24');
  assert.deepEqual({ ...P.decodeId(2380) }, { band: 23, field: 12 });
  assert.equal(P.listIndex(0.5, 8), 4, 'Shape 0.5 is High Cut');
  assert.equal(P.listIndex(0.625, 4), 3, 'Slope 0.625 rounds half up to 48 dB/oct');
  assert.equal(P.listIndex(1.4, 4), 4);
  assert.equal(P.listIndex(-1, 4), 0);
  assert.equal(P.isOn(0.5), true, 'a toggle at exactly 0.5 is on');
  assert.equal(P.isOn(0.4999), false);
});

test('values read in real units', () => {
  const f = (field, plain) => P.formatField(field, P.toNorm(field, plain));
  assert.equal(f(F.FREQ, 1200), '1.20 kHz');
  assert.equal(f(F.FREQ, 150), '150 Hz');
  assert.equal(f(F.FREQ, 12500), '12.5 kHz');
  assert.equal(f(F.FREQ, 20), '20.0 Hz');
  assert.equal(f(F.GAIN, 4.5), '+4.5 dB');
  assert.equal(f(F.GAIN, -12.25), '-12.3 dB');
  assert.equal(f(F.GAIN, 0.01), '0.0 dB', 'no signed zero');
  assert.equal(f(F.Q, 0.71), 'Q 0.71');
  assert.equal(f(F.Q, 12), 'Q 12.0');
  assert.equal(P.formatField(F.SLOPE, 0.75), '48 dB/oct');
  assert.equal(P.formatField(F.CHANNEL, 0.75), 'Mid');
  assert.equal(P.formatField(F.SHAPE, 1), 'Allpass');
  assert.equal(f(F.THRESHOLD, -18), '-18 dB');
  assert.equal(f(F.RATIO, 2), '2.0:1');
  assert.equal(f(F.ATTACK, 10), '10 ms');
  assert.equal(f(F.ATTACK, 2.5), '2.5 ms');
  assert.equal(f(F.RELEASE, 150), '150 ms');
  assert.equal(P.formatField(F.SIDECHAIN, 1), 'External');
});

test('latency in samples is N/2 + 128 in Linear mode only', () => {
  assert.equal(P.latencySamples(0, 1), 0);
  assert.deepEqual([0, 1 / 3, 2 / 3, 1].map((x) => P.latencySamples(1, x)), [1152, 2176, 4224, 8320]);
  assert.equal(P.latencySamples(0.5, 0), 1152, 'Phase Mode at 0.5 counts as Linear');
});

test('preset names are refused exactly where the plug-in refuses them', () => {
  for (const bad of ['', '/x', 'x/', 'a//b', 'a\\b', '.', '..', 'a/../b', ' . ', 'a/ /b', 'x/...']) {
    assert.ok(P.presetNameProblem(bad), `"${bad}" must be refused`);
  }
  for (const good of ['My Preset 1', 'Rock/Kick', 'a.b', '.hidden', 'Été/Voix', 'x/y/z']) {
    assert.equal(P.presetNameProblem(good), null, `"${good}" is valid`);
  }
  assert.match(P.presetNameProblem('a//b'), /\/\//);
  assert.match(P.presetNameProblem('a\\b'), /\\/);
});

test('FFT matches a direct DFT and the power scale reads a full-scale sine as 0 dBFS', () => {
  const n = 64;
  const re = new Float64Array(n), im = new Float64Array(n);
  const x = [];
  let seed = 7;
  for (let i = 0; i < n; i++) { seed = (seed * 16807) % 2147483647; x.push(seed / 2147483647 - 0.5); re[i] = x[i]; }
  FFT.transform(re, im);
  for (let k = 0; k < n; k++) {
    let sr = 0, si = 0;
    for (let j = 0; j < n; j++) { sr += x[j] * Math.cos(2 * Math.PI * j * k / n); si -= x[j] * Math.sin(2 * Math.PI * j * k / n); }
    near(re[k], sr, 1e-9, 'real bin ' + k);
    near(im[k], si, 1e-9, 'imag bin ' + k);
  }
  const size = 4096, bin = 93;
  const sine = new Float64Array(size);
  for (let i = 0; i < size; i++) sine[i] = Math.sin(2 * Math.PI * bin * i / size);
  const p = FFT.powerSpectrum(sine);
  near(10 * Math.log10(p[bin]), 0, 1e-6, 'peak bin level');
  assert.ok(10 * Math.log10(p[bin + 5] + 1e-30) < -100, 'Hann leakage stays local');
  assert.throws(() => FFT.transform(new Float64Array(12), new Float64Array(12)), RangeError);
});
