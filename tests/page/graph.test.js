// The frequency graph in headless Chromium against the bridge stand-in: what a
// user does with mouse, wheel and keys, and the gestures that reach the plug-in.
'use strict';
const s = require('./support');
const { assert, F, bandId, map, near, assertGestures } = s;

// Curve answers take longer than a frame here, so overlapping requests would show.
s.editorTest('dragging a handle is one host gesture per parameter with the mapped values, one request and one edit a frame; Escape puts it back',
  { values: s.bandsSeed([{ band: 0, hz: 100, db: 0 }, { band: 2, hz: 400, db: -5.5, q: 1.4 }]), curveDelayMs: 40 }, async (page) => {
  const freqId = bandId(2, F.FREQ), gainId = bandId(2, F.GAIN);
  await s.clearCalls(page);
  await page.evaluate(() => { window.QEQ.frame.perf.work.length = 0; });
  await s.grab(page, 2, { to: await s.graphXY(page, 2000, 6), steps: 40 });
  const tip = await page.textContent('#tooltip');
  await page.mouse.up();
  await s.settle(page);
  const all = await s.calls(page);
  assertGestures(all, [freqId, gainId], 1);
  assert.deepEqual([...new Set(all.filter((c) => c.name === 'performEdit').map((c) => c.args[0]))].sort(), [freqId, gainId]);
  const { w, frames, max } = await page.evaluate(() => ({ w: window.QEQ.graph.plot().w, frames: window.QEQ.frame.perf.work.length, max: window.__qeqBridge.maxInflight }));
  near(map.normToFreq(await s.value(page, freqId)) / 2000, 1, 3 / w * Math.log(1100), 'frequency follows the pointer');
  near(map.normToGain(await s.value(page, gainId)), 6, 0.3, 'gain follows the pointer');
  const [, band, khz, db] = /Band (\d+).*?([\d.]+) kHz.*?([+-][\d.]+) dB/s.exec(tip);
  assert.deepEqual([band, Math.abs(khz / 2 - 1) < 0.02, Math.abs(db - 6) < 0.3], ['3', true, true], 'tooltip: ' + tip);
  assert.deepEqual([max.getEqCurve, max.getEqBandCurves], [1, 1], 'one curve request of each kind in flight at most');
  assert.ok(all.filter((c) => c.name === 'performEdit' && c.args[0] === freqId).length <= frames + 1, 'values go out once a frame, not per pointer event');
  assert.equal(await page.getAttribute('.chip[data-band="2"]', 'aria-selected'), 'true', 'the dragged band is selected');

  const before = [await s.value(page, freqId), await s.value(page, gainId)];
  await s.grab(page, 2, { by: [150, 60] });
  await s.settle(page);
  assert.notEqual(await s.value(page, freqId), before[0]);
  await page.keyboard.press('Escape');
  await page.mouse.up();
  await s.settle(page);
  assert.deepEqual([await s.value(page, freqId), await s.value(page, gainId)], before, 'restored');
});

s.editorTest('wheel and keyboard change Q, frequency and gain as complete gestures; key repeats are one undo step',
  { values: s.bandsSeed([{ band: 4, hz: 1000, db: 3, q: 1 }]) }, async (page) => {
  const h = await s.handleXY(page, 4), gain = async () => map.normToGain(await s.value(page, bandId(4, F.GAIN)));
  await page.mouse.move(h.x, h.y);
  await s.clearCalls(page);
  const q0 = await s.value(page, bandId(4, F.Q));
  for (let i = 0; i < 5; i++) await page.mouse.wheel(0, -100);
  await page.waitForTimeout(500); // the wheel gesture closes after a pause
  await s.settle(page);
  assertGestures(await s.calls(page), [bandId(4, F.Q)]);
  assert.ok(map.normToQ(await s.value(page, bandId(4, F.Q))) > map.normToQ(q0) * 1.2, 'wheel up narrows the band');

  await page.focus('#graph-wrap');
  await s.clearCalls(page);
  const f0 = map.normToFreq(await s.value(page, bandId(4, F.FREQ)));
  const ratio = async () => map.normToFreq(await s.value(page, bandId(4, F.FREQ))) / f0;
  await s.press(page, 'ArrowRight', 'ArrowUp');
  assertGestures(await s.calls(page), [bandId(4, F.FREQ), bandId(4, F.GAIN)]);
  near(await ratio(), Math.pow(2, 1 / 12), 1e-9, 'a semitone up');
  near(await gain(), 3.5, 1e-9, 'half a dB up');
  await s.press(page, 'ArrowRight', 'ArrowRight', 'ArrowRight');
  near(await ratio(), Math.pow(2, 4 / 12), 1e-9, 'four semitones up');
  await s.press(page, 'Control+z');
  near(await ratio(), Math.pow(2, 1 / 12), 1e-9, 'one undo takes back the repeats');
  near(await gain(), 3.5, 1e-9, 'the gain step is separate');
});

s.editorTest('double-click adds the next free band there; double-click or Delete removes one',
  { values: s.bandsSeed([{ band: 0, hz: 80 }, { band: 1, hz: 300, db: 2 }]) }, async (page) => {
  const at = await s.graphXY(page, 1000, 6);
  await s.clearCalls(page);
  await page.mouse.dblclick(at.x, at.y);
  await s.settle(page);
  assert.equal(await s.value(page, bandId(2, F.ENABLED)), 1, 'band 3 is the next free band');
  near(map.normToFreq(await s.value(page, bandId(2, F.FREQ))) / 1000, 1, 0.01, 'placed at the pointer frequency');
  near(map.normToGain(await s.value(page, bandId(2, F.GAIN))), 6, 0.3, 'placed at the pointer gain');
  assertGestures(await s.calls(page), [bandId(2, F.ENABLED), bandId(2, F.FREQ), bandId(2, F.GAIN)]);
  await page.waitForSelector('.chip[data-band="2"].on');
  assert.match(await page.textContent('#band-title'), /Band 3/, 'the new band is selected');
  const h = await s.handleXY(page, 2);
  await page.mouse.dblclick(h.x, h.y);
  await s.settle(page);
  assert.equal(await s.value(page, bandId(2, F.ENABLED)), 0, 'double-click on the handle disables it');
  const h1 = await s.handleXY(page, 1);
  await page.mouse.click(h1.x, h1.y);
  await s.press(page, 'Delete');
  assert.deepEqual([await s.value(page, bandId(1, F.ENABLED)), await s.value(page, bandId(0, F.ENABLED))], [0, 1], 'Delete disables the selected band only');
});
