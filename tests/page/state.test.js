// Undo history, A/B, presets, host automation, the band panel and keyboard
// access of the editor page, in headless Chromium against the bridge stand-in.
'use strict';
const s = require('./support');
const { test, assert, F, bandId, map, near, assertGestures, press } = s;

const bridgeState = (page) => page.evaluate(() => window.__qeqBridge.state());

test('undo, redo and A/B: edits reverse, the other slot is a full snapshot, and both survive reopening', async () => {
  const seedValues = s.bandsSeed([{ band: 0, hz: 250, db: -3 }]);
  const ed = await s.openEditor({ values: seedValues });
  const { page } = ed;
  const freqId = bandId(0, F.FREQ), enId = bandId(1, F.ENABLED);
  const inactive = async () => JSON.parse((await bridgeState(page)).abJson).values;
  await s.grab(page, 0, { by: [200, 0], steps: 6 });
  await page.mouse.up();
  await s.click(page, '.chip[data-band="1"] .power');
  const moved = await s.value(page, freqId);
  assert.notEqual(moved, seedValues[freqId]);
  await s.clearCalls(page);
  await press(page, 'Control+z');
  assert.deepEqual([await s.value(page, enId), await s.value(page, freqId)], [0, moved], 'undo removes the last edit first');
  assertGestures(await s.calls(page), [enId]);
  await press(page, 'Control+z');
  near(await s.value(page, freqId), seedValues[freqId], 1e-12, 'second undo restores the frequency');
  await press(page, 'Control+Shift+Z');
  near(await s.value(page, freqId), moved, 1e-12, 'redo applies it again');

  // B still holds the values the editor opened with; switching applies them as gestures.
  await s.clearCalls(page);
  await s.click(page, '#ab-b');
  assert.deepEqual([await s.value(page, freqId), (await bridgeState(page)).abSlot], [seedValues[freqId], 1], 'B applied');
  assertGestures(await s.calls(page), [freqId]);
  assert.equal((await inactive())[freqId], moved, 'A is kept as the inactive snapshot');
  await s.click(page, '#ab-a');
  await page.waitForTimeout(400); // the page writes its history text a moment after the last edit
  const st = await bridgeState(page);
  assert.deepEqual([await s.value(page, freqId), st.abSlot], [moved, 0], 'back to A');
  await s.closeClean(ed);

  // Closed, the plug-in keeps the history and A/B texts; a project saved while B
  // was showing reopens on B with its undo steps, and A comes from the stored text.
  const abJson = JSON.stringify({ v: 1, values: { ...st.values, [freqId]: 0.25 } });
  const ed2 = await s.openEditor({ values: st.values, historyState: st.history, abSlot: 1, abJson });
  assert.equal(await ed2.page.getAttribute('#ab-b', 'aria-pressed'), 'true');
  await press(ed2.page, 'Control+z');
  near(await s.value(ed2.page, freqId), seedValues[freqId], 1e-12, 'undo in the reopened editor');
  await s.click(ed2.page, '#ab-a');
  assert.equal(await s.value(ed2.page, freqId), 0.25);
  await s.closeClean(ed2);
});

const presetSeed = { presets: { 'Drums/Kick': s.bandsSeed([{ band: 3, hz: 60 }]), 'Flat': {} },
  currentState: { [bandId(7, F.ENABLED)]: 1, [bandId(7, F.FREQ)]: map.freqToNorm(5000) } };
s.editorTest('presets: folders, refused names explained, saving, loading as an undoable edit, restoring', presetSeed, async (page) => {
  const listed = (sel) => page.$$eval(sel, (r) => r.map((e) => e.dataset.name || e.textContent));
  await page.focus('#preset-button');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#preset-pop:not([hidden])');
  assert.deepEqual(await listed('#preset-list .row'), ['Drums', 'Flat']);
  await page.fill('#save-name', '../x');
  await page.click('#save-form button[type=submit]');
  assert.match(await page.textContent('#save-message'), /\.\./, 'the refusal is explained');
  assert.equal((await s.calls(page, 'savePresetByName')).length, 0, 'refused names never reach the plug-in');
  await page.fill('#save-name', 'Drums/Snare Crack');
  await page.click('#save-form button[type=submit]');
  await page.waitForFunction(() => /Saved/.test(document.getElementById('save-message').textContent));
  assert.deepEqual((await s.calls(page, 'savePresetByName')).map((c) => c.args), [['Drums/Snare Crack']]);
  await page.click('#preset-list .folder');
  assert.deepEqual(await listed('#preset-list .preset'), ['Drums/Kick', 'Drums/Snare Crack', 'Flat']);
  await s.click(page, '#preset-list .preset[data-name="Drums/Kick"]');
  assert.deepEqual([await s.value(page, bandId(3, F.ENABLED)), await page.textContent('#preset-name')], [1, 'Drums/Kick']);
  await press(page, 'Control+z');
  assert.equal(await s.value(page, bandId(3, F.ENABLED)), 0, 'loading a preset is undoable');
  await page.click('#preset-button');
  await page.keyboard.press('Escape');
  assert.deepEqual([await page.isHidden('#preset-pop'), await page.evaluate(() => document.activeElement.id)],
    [true, 'preset-button'], 'Escape closes the preset browser and focus returns to its button');
  await page.click('#preset-button');
  await page.click('#restore');
  await page.waitForSelector('.chip[data-band="7"].on');
  assert.equal(await page.textContent('.chip[data-band="7"] .freq'), '5.00 kHz', 'the saved state came back');
});

test('host automation and odd input: every display follows notifyParameterChange, nonsense and broken texts are ignored', async () => {
  const ed = await s.openEditor({ values: s.bandsSeed([{ band: 0, hz: 1000, db: 0 }]), sampleRate: 44100, abSlot: 7,
    historyState: '{"v":1,"undo":[{"label":"x","ch":[["a"]]}]', abJson: '{"v":1,"values":{"1002":"zero"}}' }, 2);
  const { page } = ed;
  assert.equal(new Set((await s.calls(page, 'subscribeParameter')).map((c) => c.args[0])).size, 314, 'every parameter is subscribed');
  assert.equal(await page.isDisabled('#undo'), true, 'an unreadable history starts empty');
  assert.equal(await page.getAttribute('#ab-a', 'aria-pressed'), 'true', 'an unknown slot number shows A');
  assert.equal(Object.keys(JSON.parse((await bridgeState(page)).abJson).values).length, 314, 'a broken A/B text is replaced by a full snapshot');
  await s.clearCalls(page);
  const want = { [bandId(0, F.FREQ)]: map.freqToNorm(1200), [bandId(0, F.GAIN)]: map.gainToNorm(4.5),
    [bandId(0, F.RATIO)]: 1 / 19, [bandId(0, F.CHANNEL)]: 0.75, 1002: 1, 1003: 2 / 3, [bandId(7, F.ENABLED)]: 1 };
  await page.evaluate((w) => { for (const id of Object.keys(w)) window.__qeqBridge.hostSet(Number(id), w[id]); }, want);
  await s.settle(page);
  const text = (field) => page.textContent(`#band-panel [data-field="${field}"] + output`);
  assert.deepEqual([await text(F.FREQ), await text(F.GAIN), await text(F.RATIO)], ['1.20 kHz', '+4.5 dB', '2.0:1']);
  assert.equal(await page.$eval(`[data-field="${F.CHANNEL}"]`, (e) => e.selectedOptions[0].textContent), 'Mid');
  assert.equal(await page.getAttribute('#phase-mode [data-value="1"]', 'aria-pressed'), 'true');
  assert.equal(await page.textContent('#latency-readout'), '4224 samples · 95.8 ms', 'latency from the waveform sample rate');
  await page.waitForSelector('.chip[data-band="7"].on');
  const h = await s.handleXY(page, 0), expect = await s.graphXY(page, 1200, 4.5);
  near(h.x, expect.x, 0.5, 'the handle follows the host frequency');
  near(h.y, expect.y, 0.5, 'the handle follows the host gain');
  const edits = (await s.calls(page)).filter((c) => ['beginEdit', 'performEdit', 'endEdit', 'setParamNormalized'].includes(c.name));
  assert.deepEqual(edits, [], 'the page does not echo host changes back');
  const dims = await page.evaluate(() => {
    const c = document.getElementById('graph'), r = c.getBoundingClientRect();
    return [c.width - Math.round(r.width * devicePixelRatio), c.height - Math.round(r.height * devicePixelRatio), devicePixelRatio];
  });
  assert.deepEqual(dims, [0, 0, 2], "the graph's backing store at device pixels");

  const gainId = bandId(0, F.GAIN);
  const stored = () => page.evaluate((id) => window.QEQ.store.get(id), gainId);
  const before = await stored();
  await page.evaluate((id) => {
    const n = window.notifyParameterChange;
    n(null); n({}); n({ info: {} }); n({ info: { id: 9999 }, normalized: 0.5 }); n({ info: { id: 2013 }, normalized: 0.5 });
    n({ info: { id }, normalized: NaN }); n({ info: { id }, normalized: '0.9' });
  }, gainId);
  assert.equal(await stored(), before, 'nonsense leaves the value alone');
  await page.evaluate((id) => window.notifyParameterChange({ info: { id }, normalized: 7 }), gainId);
  assert.equal(await stored(), 1, 'out-of-range values are clamped');
  await s.closeClean(ed);

  // Opened as a plain file without the plug-in: the page still comes up with defaults.
  const bare = await s.openEditor(null);
  assert.equal(await bare.page.textContent('#band-panel [data-field="2"] + output'), '1.00 kHz', 'defaults shown');
  await bare.page.click('.chip[data-band="4"] .power');
  await bare.page.waitForSelector('.chip[data-band="4"].on');
  await s.closeClean(bare);
});

s.editorTest('panel controls edit the selected band with gestures; Tab reaches every control by name; help',
  { values: s.bandsSeed([{ band: 2, hz: 800, db: 0 }]) }, async (page) => {
  await page.click('.chip[data-band="2"]');
  await s.clearCalls(page);
  await page.focus('#band-panel [data-field="3"]');
  await press(page, 'ArrowRight', 'ArrowRight', 'ArrowRight');
  await page.selectOption('#band-panel [data-field="1"]', { label: 'High Shelf' });
  await s.click(page, '#dyn-enable .switch');
  const all = await s.calls(page);
  assertGestures(all, [bandId(2, F.GAIN)], 3);
  assertGestures(all, [bandId(2, F.SHAPE), bandId(2, F.DYN)], 1);
  assert.deepEqual([await s.value(page, bandId(2, F.SHAPE)), await s.value(page, bandId(2, F.DYN))], [2 / 8, 1], 'High Shelf is entry 2 of 8 steps');
  near(map.normToGain(await s.value(page, bandId(2, F.GAIN))), 1.8, 1e-9, 'three arrow steps of 0.6 dB');
  assert.equal(await page.textContent('#version'), 'v1.0.0.0');
  await s.click(page, '#help');
  assert.match((await s.calls(page, 'openExternalUrl')).map((c) => c.args[0]).join(), /^https:\/\/[^,]+$/, 'the help link goes through openExternalUrl');

  // Tab from the start: the graph, the band strip once and all 13 band controls, each with a name.
  await page.evaluate(() => document.activeElement.blur());
  const seen = [];
  for (let i = 0; i < 45; i++) {
    await page.keyboard.press('Tab');
    seen.push(await page.evaluate(() => {
      const e = document.activeElement;
      const name = e.getAttribute('aria-label') || (e.labels && e.labels[0] && e.labels[0].textContent.trim()) || e.textContent.trim();
      return { id: e.id, chip: e.classList.contains('chip'), field: e.dataset.field, tag: e.tagName, name };
    }));
  }
  const wrap = seen.findIndex((e, i) => i > 0 && e.id === seen[0].id && e.tag === seen[0].tag);
  const firstLoop = wrap > 0 ? seen.slice(0, wrap) : seen;
  assert.ok(firstLoop.some((e) => e.id === 'graph-wrap'), 'the graph takes focus');
  assert.equal(firstLoop.filter((e) => e.chip).length, 1, 'the strip is one stop (arrows inside)');
  const fields = new Set(firstLoop.filter((e) => e.field !== undefined).map((e) => Number(e.field)));
  assert.deepEqual([...fields].sort((a, b) => a - b), [...Array(13).keys()], 'every band parameter is reachable');
  for (const e of firstLoop) assert.ok(e.name, `focusable ${e.tag}#${e.id} has a name`);
});
