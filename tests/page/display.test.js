// Display behaviour under load: 24 bands dragged with real input events,
// request coalescing, the analyser's polling rules, the live analysis of 24
// dynamic bands, high-density drawing, and screenshots of what a user sees.
// Frame times are printed, not asserted.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const s = require('./support');
const { F, bandId, checkClean } = s;

let browser;
test.before(async () => { browser = await s.launch(); });
test.after(async () => { if (browser) await browser.close(); });

const allBands = () => {
  const list = [];
  for (let i = 0; i < 24; i++) list.push({ band: i, hz: 28 * Math.pow(1.33, i), db: ((i * 7) % 11) - 5, q: 0.8 + (i % 4) * 0.6, shape: i === 0 ? 3 : i === 23 ? 4 : 0, slope: 2 });
  return s.bandsSeed(list);
};
const summary = (xs) => {
  const a = xs.slice().sort((x, y) => x - y), at = (f) => a[Math.min(a.length - 1, Math.floor(a.length * f))].toFixed(2);
  return `n=${a.length} median=${at(0.5)} p95=${at(0.95)} max=${at(1)} ms`;
};

test('dragging with 24 bands: one curve request in flight, edits batched per frame', async (t) => {
  // Curve answers take longer than a frame here, so overlapping requests would show.
  const ed = await s.openEditor(browser, { values: allBands(), curveDelayMs: 40 });
  const { page } = ed;
  await page.evaluate(() => {
    window.__qeqBridge.clearCalls();
    window.QEQ.frame.perf.work.length = 0;
    window.__frames = [];
    const tick = (ts) => { window.__frames.push(ts); if (!window.__stopFrames) requestAnimationFrame(tick); };
    requestAnimationFrame(tick);
  });
  const h = await s.handleXY(page, 12);
  await page.mouse.move(h.x, h.y);
  await page.mouse.down();
  for (let i = 1; i <= 120; i++) await page.mouse.move(h.x + i * 3, h.y + Math.sin(i / 9) * 90);
  await page.mouse.up();
  await s.settle(page);
  const r = await page.evaluate(() => {
    window.__stopFrames = true;
    const f = window.__frames;
    return { intervals: f.slice(1).map((x, i) => x - f[i]), work: window.QEQ.frame.perf.work.slice(), max: window.__qeqBridge.maxInflight,
      requests: window.QEQ.curves.stats.requests };
  });
  const performs = (await s.calls(page, 'performEdit')).filter((c) => c.args[0] === bandId(12, F.FREQ)).length;
  t.diagnostic('drag, frame interval: ' + summary(r.intervals) + '; page work per frame: ' + summary(r.work));
  t.diagnostic(`curve requests: ${r.requests} for ${r.intervals.length + 1} frames and 120 pointer moves; performEdit of frequency: ${performs}`);
  assert.equal(r.max.getEqCurve, 1, 'never two summed-curve requests at once');
  assert.equal(r.max.getEqBandCurves, 1, 'never two band-curve requests at once');
  assert.ok(r.requests >= 2 && r.requests <= r.intervals.length + 2, 'curves follow the drag, at most one request per frame');
  assert.ok(performs <= r.work.length + 1 && performs >= 2, 'values are sent once per frame, not per pointer event');
  assert.deepEqual(ed.errors, []);
  await s.screenshot(page, 'drag-24-bands');
  await page.close();
});

test('live analysis of 24 dynamic bands with all three spectra follows the running audio', async (t) => {
  const values = allBands();
  for (let i = 0; i < 24; i++) Object.assign(values, { [bandId(i, F.SHAPE)]: 0, [bandId(i, F.DYN)]: 1, [bandId(i, F.THRESHOLD)]: (-36 + (i % 5) * 4) / 60 + 1 });
  const ed = await s.openEditor(browser, { values, analysis: {} });
  const { page } = ed;
  await page.waitForFunction(() => window.QEQ.live.linked());
  await page.click('#spectra [data-kind="sidechain"]');
  await page.click('.chip[data-band="9"]');
  const r = await page.evaluate(async () => {
    const perf = window.QEQ.frame.perf;
    perf.work.length = 0;
    await new Promise((res) => setTimeout(res, 3000));
    return { work: perf.work.slice(), live: window.QEQ.live.analysis().bands.length };
  });
  t.diagnostic('live, 24 dynamic bands, three spectra, page work per frame: ' + summary(r.work));
  assert.equal(r.live, 24, 'every band reports a live gain');
  assert.ok(r.work.length >= 30, 'the display follows the running audio');
  await s.screenshot(page, 'live-24-dynamic-bands');
  checkClean(ed);
  await page.close();
});

test('the analyser keeps one waveform request in flight, pauses while hidden and shows the tones', async () => {
  const ed = await s.openEditor(browser, { values: allBands(), sampleRate: 96000 });
  const { page } = ed;
  await page.waitForTimeout(400);
  const count = () => page.evaluate(() => window.__qeqBridge.calls.filter((c) => c.name === 'getEqWaveformRaw').length);
  assert.ok(await count() >= 3, 'polls while visible');
  await s.setHidden(page, true);
  await page.waitForTimeout(150);
  const atHide = await count();
  await page.waitForTimeout(500);
  assert.equal(await count(), atHide, 'no requests while hidden');
  await s.setHidden(page, false);
  await page.waitForTimeout(300);
  assert.ok(await count() > atHide, 'resumes when shown again');
  assert.equal(await page.evaluate(() => window.__qeqBridge.maxInflight.getEqWaveformRaw), 1);
  // The spectrum is drawn from the page's own FFT: the double's 0.25 amplitude 55 Hz tone reads near -12 dBFS.
  const lv = await page.evaluate(() => [55, 1500].map((hz) => window.QEQ.analyser.columns([hz / 1.05, hz * 1.05])[0]));
  assert.ok(lv[0] > -20 && lv[0] < -6 && lv[1] < lv[0] - 40, 'tone and gap levels: ' + lv);
  assert.deepEqual(ed.errors, []);
  await page.close();
});

test('canvases follow the device pixel ratio and the page looks right', async () => {
  const seed = { values: { ...s.bandsSeed([
    { band: 0, hz: 32, shape: 3, slope: 2 }, { band: 1, hz: 110, db: 3.5, q: 0.8, shape: 1 },
    { band: 2, hz: 420, db: -4.5, q: 1.6 }, { band: 3, hz: 2400, db: 2.5, q: 1.2 }, { band: 4, hz: 9500, db: 4, q: 0.7, shape: 2 },
    { band: 5, hz: 5800, db: -6, q: 6, shape: 5 }]), [bandId(3, F.DYN)]: 1, [bandId(1, F.DYN)]: 1, [bandId(1, F.THRESHOLD)]: 0.6 },
  analysis: {}, presets: { 'Drums/Kick Punch': {}, 'Drums/Snare Body': {}, 'Vocals/Air': {}, 'Mastering Gentle': {} } };
  const ed = await s.openEditor(browser, seed, { scale: 2 });
  const { page } = ed;
  const dims = await page.evaluate(() => {
    const c = document.getElementById('graph'), r = c.getBoundingClientRect();
    return [c.width, c.height, Math.round(r.width * devicePixelRatio), Math.round(r.height * devicePixelRatio), devicePixelRatio];
  });
  assert.deepEqual(dims.slice(0, 2), dims.slice(2, 4), 'backing store at device pixels');
  assert.equal(dims[4], 2);
  await page.waitForTimeout(600);
  await page.click('.chip[data-band="3"]');
  const h = await s.handleXY(page, 3);
  await page.mouse.move(h.x, h.y);
  await page.waitForTimeout(150);
  await s.screenshot(page, 'editor-hidpi');
  await page.click('#phase-mode [data-value="1"]');
  await page.selectOption('#latency', '2');
  await page.selectOption('#zoom', '12');
  await page.click('#preset-button');
  await page.click('#preset-list .folder');
  await s.settle(page);
  assert.equal(await page.textContent('#latency-readout'), '4224 samples · 88.0 ms');
  await s.screenshot(page, 'linear-zoom-presets');
  checkClean(ed);
  await page.close();
});
