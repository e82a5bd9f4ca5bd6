// The page's pure parts, run in node: mappings against the plug-in's
// documented end points and defaults, display text, the preset name rules
// and the FFT against a direct DFT.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const sandbox = { Math, Number, String, Object, Set, Map, Array, Float64Array, Uint32Array, RangeError, isFinite };
sandbox.globalThis = sandbox;
vm.createContext(sandbox);
for (const f of ['params.js', 'fft.js']) vm.runInContext(fs.readFileSync(path.resolve(__dirname, '..', '..', 'resources', 'js', f), 'utf8'), sandbox);
const P = sandbox.QEQ.params, FFT = sandbox.QEQ.fft, F = P.F;
const near = (a, b, tol, msg) => assert.ok(Math.abs(a - b) <= tol, `${msg || ''} ${a} vs ${b}`);

test('mappings reach the documented range ends and defaults, and follow the formulas between', () => {
  const ends = [[F.FREQ, 20, 22000, 1000], [F.GAIN, -30, 30, 0], [F.Q, 0.025, 40, 0.707], [F.THRESHOLD, -60, 0, -18],
    [F.RATIO, 1, 20, 2], [F.ATTACK, 1, 500, 10], [F.RELEASE, 10, 2000, 150]];
  for (const [field, lo, hi, def] of ends) {
    const tol = 1e-9 * Math.abs(hi), name = P.FIELD_NAMES[field];
    assert.deepEqual([P.toNorm(field, lo - 1000), P.toNorm(field, hi + 1e6)], [0, 1], name + ' clamps');
    [[0, lo], [1, hi], [-0.5, lo], [7, hi], [P.defaultValue(P.bandId(5, field)), def]].forEach(([x, plain]) => near(P.toPlain(field, x), plain, tol, `${name} at ${x}`));
  }
  [[F.FREQ, 1200, Math.log(60) / Math.log(1100)], [F.GAIN, 4.5, 4.5 / 60 + 0.5], [F.Q, 1, Math.log(40) / Math.log(1600)],
    [F.ATTACK, 100, Math.log(100) / Math.log(500)]].forEach(([field, plain, x]) => near(P.toNorm(field, plain), x, 1e-12));
});

test('identifiers, list indices, texts and latency follow the plug-in', () => {
  assert.deepEqual([P.ALL_IDS.length, new Set(P.ALL_IDS).size, P.ALL_IDS[2], P.ALL_IDS[313], P.bandId(1, F.FREQ)], [314, 314, 2000, 2380, 2018]);
  assert.deepEqual([P.decodeId(2013), P.decodeId(2384), { ...P.decodeId(2380) }], [null, null, { band: 23, field: 12 }], 'offset 13 and past band 24 are no parameters');
  assert.deepEqual([P.listIndex(0.5, 8), P.listIndex(0.625, 4), P.listIndex(1.4, 4), P.listIndex(-1, 4), P.isOn(0.5), P.isOn(0.4999)], [4, 3, 4, 0, true, false]);
  const texts = [[F.FREQ, 1200, '1.20 kHz'], [F.FREQ, 150, '150 Hz'], [F.FREQ, 12500, '12.5 kHz'], [F.FREQ, 20, '20.0 Hz'],
    [F.GAIN, 4.5, '+4.5 dB'], [F.GAIN, -12.25, '-12.3 dB'], [F.GAIN, 0.01, '0.0 dB'], [F.Q, 0.71, 'Q 0.71'], [F.Q, 12, 'Q 12.0'],
    [F.THRESHOLD, -18, '-18 dB'], [F.RATIO, 2, '2.0:1'], [F.ATTACK, 10, '10 ms'], [F.ATTACK, 2.5, '2.5 ms'], [F.RELEASE, 150, '150 ms']];
  for (const [field, plain, text] of texts) assert.equal(P.formatField(field, P.toNorm(field, plain)), text);
  assert.deepEqual([[F.SLOPE, 0.75], [F.CHANNEL, 0.75], [F.SHAPE, 1], [F.SIDECHAIN, 1]].map(([f, x]) => P.formatField(f, x)),
    ['48 dB/oct', 'Mid', 'Allpass', 'External']);
  assert.deepEqual([[0, 1], [1, 0], [1, 1 / 3], [1, 2 / 3], [1, 1], [0.5, 0]].map(([mode, x]) => P.latencySamples(mode, x)),
    [0, 1152, 2176, 4224, 8320, 1152], 'minimum phase has none; Phase Mode at 0.5 counts as Linear');
});

test('preset names are refused exactly where the plug-in refuses them', () => {
  for (const bad of ['', '/x', 'x/', 'a//b', 'a\\b', '.', '..', 'a/../b', ' . ', 'a/ /b', 'x/...']) assert.ok(P.presetNameProblem(bad), `"${bad}"`);
  for (const good of ['My Preset 1', 'Rock/Kick', 'a.b', '.hidden', 'Été/Voix', 'x/y/z']) assert.equal(P.presetNameProblem(good), null, good);
});

test('FFT matches a direct DFT and the power scale reads a full-scale sine as 0 dBFS', () => {
  const n = 64, re = new Float64Array(n), im = new Float64Array(n), x = [];
  for (let i = 0, seed = 7; i < n; i++) { seed = (seed * 16807) % 2147483647; x.push(seed / 2147483647 - 0.5); re[i] = x[i]; }
  FFT.transform(re, im);
  for (let k = 0; k < n; k++) {
    let sr = 0, si = 0;
    for (let j = 0; j < n; j++) { sr += x[j] * Math.cos(2 * Math.PI * j * k / n); si -= x[j] * Math.sin(2 * Math.PI * j * k / n); }
    near(re[k], sr, 1e-9, 'real bin ' + k);
    near(im[k], si, 1e-9, 'imag bin ' + k);
  }
  const p = FFT.powerSpectrum(new Float64Array(4096).map((_, i) => Math.sin(2 * Math.PI * 93 * i / 4096)));
  near(10 * Math.log10(p[93]), 0, 1e-6, 'peak bin level');
  assert.ok(10 * Math.log10(p[98] + 1e-30) < -100, 'Hann leakage stays local');
  assert.throws(() => FFT.transform(new Float64Array(12), new Float64Array(12)), RangeError);
});
