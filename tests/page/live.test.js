// This instance's live analysis on the page, against the bridge stand-in: the
// dynamic bands' live curves and the meters read against independent sums,
// the spectrum switches by what is drawn, the polling rules while audio runs
// and while it does not, band solo by gesture and button, and an editor
// without a link keeping the ring analyser.
'use strict';
const s = require('./support');
const { assert, near } = s;

const setAnalysis = (page, a) => page.evaluate((x) => window.__qeqBridge.setAnalysis(x), a);
/** Requests of one kind and frames drawn over ms milliseconds. */
const watch = (page, name, ms) => page.evaluate(async ([n, d]) => {
  const count = () => window.__qeqBridge.calls.filter((c) => c.name === n).length;
  const c0 = count(), f0 = window.QEQ.frame.perf.stamps.length;
  await new Promise((r) => setTimeout(r, d));
  return { requests: count() - c0, frames: window.QEQ.frame.perf.stamps.length - f0 };
}, [name, ms]);

// The graph's canvases over the grid, bottom to top.
const LAYER = { spectra: 0, curves: 1, live: 2, handles: 3, outMeter: 4 };

/** One pixel column of a graph layer at hz (or at x px of that canvas): [{y, r, g, b, a}] in CSS px, with the plot rectangle. */
const column = (page, layer, hz, atX) => page.evaluate(([n, f, px]) => {
  const canvas = document.querySelectorAll('#graph-wrap canvas.layer')[n];
  const p = window.QEQ.graph.plot(), dpr = devicePixelRatio;
  const x = Math.round((px === undefined ? p.x + p.w * Math.log(f / 20) / Math.log(1100) : px) * dpr);
  const d = canvas.getContext('2d').getImageData(x, 0, 1, canvas.height).data;
  const rows = [];
  for (let y = 0; y < canvas.height; y += dpr) rows.push({ y: y / dpr, r: d[4 * y], g: d[4 * y + 1], b: d[4 * y + 2], a: d[4 * y + 3] });
  return { rows, plot: p, range: window.QEQ.graph.range() };
}, [layer, hz, atX]);
const gainY = (col, db) => col.plot.y + col.plot.h * (0.5 - db / (2 * col.range));
const alphaAt = (col, y) => col.rows[Math.round(y)].a;

const dynamicSeed = {
  values: s.bandsSeed([{ band: 2, hz: 1000, db: 6, q: 1, threshold: -24 }, { band: 5, hz: 150, db: -8, q: 1.5, threshold: -30 }]),
  analysis: { bands: { 2: { gainDb: 2, levelDb: -12 }, 5: { gainDb: -8, levelDb: -40 } }, outputPeakDb: -6.1, outputRmsDb: -18.3 },
};
s.editorTest('dynamic bands: live curves sit at the live gain, meters read the detector, reduction and output', dynamicSeed, async (page) => {
  await s.click(page, '.chip[data-band="2"]');
  // Band 3: static +6 dB at its centre, live +2 dB: the live layer fills the reduction area between
  // them and nothing else; its lower edge is the static curve scaled by live/static gain.
  let col = await column(page, LAYER.live, 1000);
  const reductionAlpha = alphaAt(col, gainY(col, 4));
  assert.ok(reductionAlpha > 60, 'reduction area filled: ' + reductionAlpha);
  assert.deepEqual([alphaAt(col, gainY(col, 1)), alphaAt(col, gainY(col, 7.5))], [0, 0], 'nothing below the live curve or above the static one');
  near(col.rows.findIndex((r, y) => y > gainY(col, 5.5) && r.a < reductionAlpha / 2), gainY(col, 2), 3, 'the live curve at +2 dB');
  col = await column(page, LAYER.live, 150);
  assert.equal(alphaAt(col, gainY(col, -4)), 0, 'an unreduced band has no reduction area');

  const meter = (sel) => page.evaluate((q) => {
    const m = document.querySelector(q);
    return { now: Number(m.getAttribute('aria-valuenow')), clip: m.querySelector('.meter-fill').style.clipPath, thr: m.style.getPropertyValue('--thr') };
  }, sel);
  assert.deepEqual(await meter('.meter.detector'), { now: -12, clip: 'inset(0px 20% 0px 0px)', thr: '60.00%' },
    'level -12 dB is 48 of the 60 dB travel; threshold -24 dB sits 36 of 60 dB along, under the slider thumb');
  assert.equal(await page.textContent('.ctl.gr .readout'), '4.0 dB', 'reduction is static minus live gain');
  // Output meter at the graph's right edge, on the analyser's 0 to -96 dBFS scale: the RMS fill starts at -18.3.
  assert.equal(await page.getAttribute('[role=meter][aria-label="Output level"]', 'aria-valuenow'), '-6');
  const out = await column(page, LAYER.outMeter, 0, 37);
  const rmsTop = out.rows.find((r) => r.g > 150 && r.r < 150);
  assert.ok(rmsTop, 'the RMS fill is drawn');
  near(rmsTop.y - 2, out.plot.h * 18.3 / 96, 1.5, 'RMS fill at -18.3 dBFS');

  // The reading moves; then with dynamics off the band's live curve goes, with nothing left behind.
  await setAnalysis(page, { bands: { 2: { gainDb: 1, levelDb: -10 } } });
  await page.waitForFunction(() => window.QEQ.live.band(2).gainDb === 1);
  await s.settle(page);
  assert.deepEqual([await page.textContent('.ctl.gr .readout'), (await meter('.meter.detector')).now], ['5.0 dB', -10]);
  await s.click(page, '#dyn-enable .switch');
  col = await column(page, LAYER.live, 1000);
  assert.ok(col.rows.every((r) => r.y > gainY(col, 0.5) || r.a === 0), 'the live layer is clear where the band was');
}, { live: true });

s.editorTest('spectrum switches: pre grey, post blue, side-chain pink, each drawn only when on',
  { analysis: { spectra: { pre: -30, post: -50, sidechain: -70 } } }, async (page) => {
  const top = (col) => col.rows.find((r) => r.y > col.plot.y + 1 && r.a > 40);
  const show = async (on) => {
    for (const kind of ['pre', 'post', 'sidechain']) {
      const sel = `#spectra [data-kind="${kind}"]`;
      if ((await page.getAttribute(sel, 'aria-pressed') === 'true') !== on.includes(kind)) await page.click(sel);
    }
    await s.settle(page);
    return column(page, LAYER.spectra, 700);
  };
  const grey = (p) => Math.abs(p.r - p.b) < 40 && Math.abs(p.r - p.g) < 25, blue = (p) => p.b > p.r + 60;
  for (const [kind, db, hue] of [['pre', -30, grey], ['post', -50, blue], ['sidechain', -70, (p) => p.r > p.g + 60]]) {
    const col = await show([kind]), line = top(col);
    assert.ok(line, kind + ' is drawn');
    near(line.y, col.plot.y + col.plot.h * (-db / 96), 2, kind + ' line at its level on the 0 to -96 dBFS scale');
    assert.ok(hue(line), `${kind} colour ${JSON.stringify(line)}`);
  }
  assert.equal(top(await show([])), undefined, 'all off: nothing drawn');
  // Unusable levels (NaN arrives as null) read as silence, without a script error.
  await setAnalysis(page, { spectra: { pre: NaN, post: NaN, sidechain: NaN } });
  const col = await show(['pre', 'post', 'sidechain']);
  assert.ok(top(col) && top(col).y >= col.plot.y + col.plot.h - 2, 'silence lies on the bottom edge');
}, { live: true });

const everyBandDynamic = [...Array(24).keys()].map((i) =>
  ({ band: i, hz: 28 * Math.pow(1.33, i), db: ((i * 7) % 11) - 5, q: 0.8 + (i % 4) * 0.6, threshold: -36 + (i % 5) * 4 }));
s.editorTest('polling 24 dynamic bands: about 15 a second while audio runs, a few while it stands still with nothing redrawn, none while hidden',
  { values: s.bandsSeed(everyBandDynamic), analysis: {} }, async (page) => {
  await page.click('#spectra [data-kind="sidechain"]');
  const running = await watch(page, 'getInstanceAnalysis', 1000);
  assert.equal(await page.evaluate(() => window.QEQ.live.analysis().bands.length), 24, 'every band reports a live gain');
  await page.evaluate(() => window.__qeqBridge.setAudio(false));
  await page.waitForTimeout(500);
  const idle = await watch(page, 'getInstanceAnalysis', 2000);
  assert.ok(running.requests >= 8 && running.frames >= 8, 'follows running audio: ' + JSON.stringify(running));
  assert.ok(idle.requests <= 8 && idle.frames === 0, 'stopped: a few requests, nothing redrawn: ' + JSON.stringify(idle));
  assert.equal(await page.evaluate(() => window.__qeqBridge.maxInflight.getInstanceAnalysis), 1, 'one request in flight at most');
  await page.evaluate(() => window.__qeqBridge.setAudio(true));
  await s.setHidden(page, true);
  await page.waitForTimeout(100);
  assert.equal((await watch(page, 'getInstanceAnalysis', 600)).requests, 0, 'nothing while hidden');
}, { live: true });

s.editorTest('solo: Ctrl+press holds it past the processor timeout, the Solo button toggles it, and every way out ends it',
  { values: s.bandsSeed([{ band: 1, hz: 300, db: 3 }, { band: 4, hz: 3000, db: -3 }]), analysis: {} }, async (page) => {
  const auditioned = () => page.evaluate(() => window.__qeqBridge.auditioned());
  const lastCall = async () => (await s.calls(page, 'setAuditionBand')).pop().args[0];
  await s.clearCalls(page);
  await s.grab(page, 4, { key: 'Control' });
  await page.waitForTimeout(1400);
  assert.equal(await auditioned(), 4, 'still auditioned after the 1 s timeout: renewed while held');
  assert.equal(await page.getAttribute('#solo', 'aria-pressed'), 'true');
  await page.mouse.up();
  await s.settle(page);
  assert.deepEqual([await lastCall(), await auditioned()], [-1, -1], 'releasing the button ends it');
  assert.deepEqual(await s.calls(page, 'performEdit'), [], 'a press without moving edits nothing');

  // Each way in or out, then the band last asked for and what the Solo button shows.
  const steps = [['the Solo button starts it', () => page.click('#solo'), 4, 'true'],
    ['a band switched off is no longer auditioned', () => page.click('.chip[data-band="4"] .power'), -1, 'false'],
    ['the Solo button works from the keyboard', () => page.click('.chip[data-band="1"]').then(() => page.press('#solo', 'Enter')), 1, 'true'],
    ['hiding the editor ends it', () => s.setHidden(page, true), -1, 'false']];
  for (const [what, act, band, pressed] of steps) {
    await act();
    await s.settle(page);
    assert.deepEqual([await lastCall(), await page.getAttribute('#solo', 'aria-pressed')], [band, pressed], what);
  }
  await s.setHidden(page, false);
  // A refusal ends it quietly: the button springs back and nothing is renewed.
  await setAnalysis(page, { refuseAudition: true });
  await page.click('#solo');
  await page.waitForFunction(() => document.getElementById('solo').getAttribute('aria-pressed') === 'false');
  const asked = (await s.calls(page, 'setAuditionBand')).length;
  await page.waitForTimeout(700);
  assert.equal((await s.calls(page, 'setAuditionBand')).length, asked, 'no renewals after a refusal');
  assert.equal(await page.evaluate(() => document.getElementById('status').className), 'status', 'no warning shown');
}, { live: true });

s.editorTest('without a link the ring analyser shows the tones, rests while hidden or still, and a link found later takes over',
  { values: s.bandsSeed([{ band: 0, hz: 500, db: 3 }]), sampleRate: 96000 }, async (page) => {
  // Polls while visible.
  await page.waitForFunction(() => window.__qeqBridge.calls.filter((c) => c.name === 'getEqWaveformRaw').length >= 3);
  const blank = async () => (await column(page, LAYER.outMeter, 0, 37)).rows.every((r) => r.a === 0);
  assert.deepEqual([await page.isVisible('#analyser-note'), await page.isHidden('#spectra'), await blank(), await page.isDisabled('#solo')],
    [true, true, true, true], 'a quiet note instead of the spectrum switches, no output meter, no solo');
  await s.grab(page, 0, { key: 'Control' });
  await page.mouse.up();
  assert.deepEqual(await s.calls(page, 'setAuditionBand'), [], 'Ctrl+press does not ask for a solo it cannot have');
  // The spectrum is drawn from the page's own FFT: the stand-in's 0.25 amplitude 55 Hz tone reads near -12 dBFS.
  const lv = await page.evaluate(() => [55, 1500].map((hz) => window.QEQ.analyser.columns([hz / 1.05, hz * 1.05])[0]));
  assert.ok(lv[0] > -20 && lv[0] < -6 && lv[1] < lv[0] - 40, 'tone and gap levels: ' + lv);
  // The rings stop moving: once the display has settled the analyser asks rarely and draws nothing.
  await page.evaluate(() => window.__qeqBridge.setAudio(false));
  await page.waitForTimeout(3000); // 40 repeated answers at 33 ms settle the display; room for a busy machine
  const still = await watch(page, 'getEqWaveformRaw', 1000);
  assert.ok(still.requests <= 3 && still.frames === 0, 'still rings are asked for rarely and not redrawn: ' + JSON.stringify(still));
  await page.evaluate(() => window.__qeqBridge.setAudio(true));
  await s.setHidden(page, true);
  await page.waitForTimeout(150);
  assert.equal((await watch(page, 'getEqWaveformRaw', 500)).requests, 0, 'no requests while hidden');
  await s.setHidden(page, false);
  await page.evaluate(() => window.__qeqBridge.setAnalysis({}));
  await page.waitForFunction(() => window.QEQ.live.linked(), null, { timeout: 4000 });
  await s.settle(page);
  assert.equal((await watch(page, 'getEqWaveformRaw', 300)).requests, 0, 'the ring analyser stops once linked');
  assert.deepEqual([await page.isHidden('#analyser-note'), await blank()], [true, false], 'the note goes, the output meter appears');
});
