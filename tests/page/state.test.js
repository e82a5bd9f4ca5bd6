// Undo history, A/B, presets, host automation, the band panel and keyboard
// access of the editor page, in headless Chromium against the bridge stand-in.
'use strict';
const s = require('./support');
const { test, assert, F, bandId, map, near, assertGestures, press } = s;

const bridgeState = (page) => page.evaluate(() => window.__qeqBridge.state());

test('undo and redo reverse edits and survive closing and reopening the editor', async () => {
  const seedValues = s.bandsSeed([{ band: 0, hz: 250, db: -3 }]);
  const ed = await s.openEditor({ values: seedValues });
  const { page } = ed;
  const freqId = bandId(0, F.FREQ), enId = bandId(1, F.ENABLED);
  const h = await s.handleXY(page, 0);
  await page.mouse.move(h.x, h.y);
  await page.mouse.down();
  await page.mouse.move(h.x + 200, h.y, { steps: 6 });
  await page.mouse.up();
  await page.click('.chip[data-band="1"] .power');
  await s.settle(page);
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

  // Closed, the plug-in keeps the history text; a new page picks it up.
  await page.waitForTimeout(400);
  const state = await bridgeState(page);
  await s.closeClean(ed);
  const ed2 = await s.openEditor({ values: state.values, historyState: state.history });
  await press(ed2.page, 'Control+z');
  near(await s.value(ed2.page, freqId), seedValues[freqId], 1e-12, 'undo in the reopened editor');
  await press(ed2.page, 'Control+Shift+Z', 'Control+Shift+Z');
  assert.equal(await s.value(ed2.page, enId), 1, 'redo in the reopened editor');
  await s.closeClean(ed2);
});

test('A/B keeps a full snapshot of the other slot, switching applies it, and a project reopens on its slot', async () => {
  const seedValues = s.bandsSeed([{ band: 0, hz: 500, db: 4 }]);
  const ed = await s.openEditor({ values: seedValues });
  const { page } = ed;
  const inactive = async () => JSON.parse((await bridgeState(page)).abJson).values;
  assert.equal(Object.keys(await inactive()).length, 314, 'the other slot starts as a full copy');
  const gainId = bandId(0, F.GAIN), enId = bandId(5, F.ENABLED);
  await page.focus('#graph-wrap');
  await press(page, 'ArrowDown', 'ArrowDown', 'ArrowDown', 'ArrowDown');
  await page.click('.chip[data-band="5"] .power');
  await s.settle(page);
  const editedGain = await s.value(page, gainId);
  near(map.normToGain(editedGain), 2, 1e-9);
  await s.clearCalls(page);
  await page.click('#ab-b');
  await s.settle(page);
  assert.deepEqual([await s.value(page, gainId), await s.value(page, enId), (await bridgeState(page)).abSlot], [seedValues[gainId], 0, 1], 'B shows the stored snapshot');
  assertGestures(await s.calls(page), [gainId, enId]);
  assert.deepEqual([(await inactive())[gainId], (await inactive())[enId]], [editedGain, 1], 'A is kept as the inactive snapshot');
  assert.equal(await page.getAttribute('#ab-b', 'aria-pressed'), 'true');
  await page.click('#ab-a');
  await s.settle(page);
  const st = await bridgeState(page);
  assert.deepEqual([await s.value(page, gainId), await s.value(page, enId), st.abSlot], [editedGain, 1, 0], 'back to A');
  await s.closeClean(ed);

  // A project saved while B was showing reopens on B, and A comes from the stored text.
  const ed2 = await s.openEditor({ values: st.values, abSlot: 1, abJson: JSON.stringify({ v: 1, values: { ...st.values, [gainId]: 0.25 } }) });
  assert.equal(await ed2.page.getAttribute('#ab-b', 'aria-pressed'), 'true');
  await ed2.page.click('#ab-a');
  await s.settle(ed2.page);
  assert.equal(await s.value(ed2.page, gainId), 0.25);
  await s.closeClean(ed2);
});

test('presets: folders, refused names explained, saving, loading as an undoable edit, restoring', async () => {
  const saved = { [bandId(7, F.ENABLED)]: 1, [bandId(7, F.FREQ)]: map.freqToNorm(5000) };
  const ed = await s.openEditor({ presets: { 'Drums/Kick': s.bandsSeed([{ band: 3, hz: 60, db: 5 }]), 'Flat': {} }, currentState: saved });
  const { page } = ed;
  await page.click('#preset-button');
  await page.waitForSelector('#preset-pop:not([hidden])');
  assert.deepEqual(await page.$$eval('#preset-list .row', (r) => r.map((e) => e.textContent)), ['Drums', 'Flat']);
  for (const [bad, why] of [['../x', /\.\./], ['back\\slash', /\\/]]) {
    await page.fill('#save-name', bad);
    await page.click('#save-form button[type=submit]');
    assert.match(await page.textContent('#save-message'), why, `a message for "${bad}"`);
    assert.equal(await page.getAttribute('#save-name', 'aria-invalid'), 'true');
  }
  assert.equal((await s.calls(page, 'savePresetByName')).length, 0, 'refused names never reach the plug-in');
  await page.fill('#save-name', 'Drums/Snare Crack');
  await page.click('#save-form button[type=submit]');
  await page.waitForFunction(() => /Saved/.test(document.getElementById('save-message').textContent));
  assert.deepEqual((await s.calls(page, 'savePresetByName')).map((c) => c.args), [['Drums/Snare Crack']]);
  await page.click('#preset-list .folder');
  assert.deepEqual(await page.$$eval('#preset-list .preset', (r) => r.map((e) => e.dataset.name)), ['Drums/Kick', 'Drums/Snare Crack', 'Flat']);
  await s.screenshot(page, 'presets');
  await page.click('#preset-list .preset[data-name="Drums/Kick"]');
  await s.settle(page);
  assert.equal(await s.value(page, bandId(3, F.ENABLED)), 1, 'the preset was applied');
  assert.equal(await page.textContent('#preset-name'), 'Drums/Kick');
  await page.waitForSelector('.chip[data-band="3"].on');
  await press(page, 'Control+z');
  assert.equal(await s.value(page, bandId(3, F.ENABLED)), 0, 'loading a preset is undoable');
  await page.click('#preset-button');
  await page.click('#restore');
  await s.settle(page);
  assert.equal(await s.value(page, bandId(7, F.ENABLED)), 1, 'the saved state came back');
  await page.waitForSelector('.chip[data-band="7"].on');
  assert.equal(await page.textContent('.chip[data-band="7"] .freq'), '5.00 kHz');
  await s.closeClean(ed);
});

test('host automation arrives through notifyParameterChange and every display follows it, drawn at device pixels', async () => {
  const ed = await s.openEditor({ values: s.bandsSeed([{ band: 0, hz: 1000, db: 0 }]), sampleRate: 44100 }, 2);
  const { page } = ed;
  assert.equal(new Set((await s.calls(page, 'subscribeParameter')).map((c) => c.args[0])).size, 314, 'every parameter is subscribed');
  await s.clearCalls(page);
  const want = {
    [bandId(0, F.FREQ)]: [map.freqToNorm(1200), '1.20 kHz'], [bandId(0, F.GAIN)]: [map.gainToNorm(4.5), '+4.5 dB'],
    [bandId(0, F.Q)]: [map.qToNorm(0.71), 'Q 0.71'], [bandId(0, F.THRESHOLD)]: [1 - 18 / 60, '-18 dB'],
    [bandId(0, F.RATIO)]: [1 / 19, '2.0:1'], [bandId(0, F.ATTACK)]: [Math.log(10) / Math.log(500), '10 ms'],
    [bandId(0, F.RELEASE)]: [Math.log(15) / Math.log(200), '150 ms'],
    [bandId(0, F.CHANNEL)]: [0.75], [bandId(0, F.SIDECHAIN)]: [1], [bandId(0, F.SLOPE)]: [0.75], 1002: [1], 1003: [2 / 3], [bandId(7, F.ENABLED)]: [1],
  };
  await page.evaluate((w) => { for (const id of Object.keys(w)) window.__qeqBridge.hostSet(Number(id), w[id][0]); }, want);
  await s.settle(page);
  for (const id of Object.keys(want).filter((k) => want[k][1]))
    assert.equal(await page.textContent(`#band-panel [data-field="${Number(id) - 2000}"] + output`), want[id][1]);
  for (const [field, text] of [[6, 'Mid'], [12, 'External'], [5, '48 dB/oct']])
    assert.equal(await page.$eval(`[data-field="${field}"]`, (e) => e.selectedOptions[0].textContent), text);
  assert.equal(await page.getAttribute('#phase-mode [data-value="1"]', 'aria-pressed'), 'true');
  assert.equal(await page.textContent('#latency-readout'), '4224 samples · 95.8 ms', 'latency from the waveform sample rate');
  await page.waitForSelector('.chip[data-band="7"].on');
  const h = await s.handleXY(page, 0), expect = await s.graphXY(page, 1200, 4.5);
  near(h.x, expect.x, 0.5, 'the handle follows the host frequency');
  near(h.y, expect.y, 0.5, 'the handle follows the host gain');
  assert.ok((await s.calls(page, 'getEqCurve')).length >= 1, 'curves are asked for again');
  const edits = (await s.calls(page)).filter((c) => ['beginEdit', 'performEdit', 'endEdit', 'setParamNormalized'].includes(c.name));
  assert.deepEqual(edits, [], 'the page does not echo host changes back');
  const dims = await page.evaluate(() => {
    const c = document.getElementById('graph'), r = c.getBoundingClientRect();
    return [c.width - Math.round(r.width * devicePixelRatio), c.height - Math.round(r.height * devicePixelRatio), devicePixelRatio];
  });
  assert.deepEqual(dims, [0, 0, 2], "the graph's backing store at device pixels");
  await s.screenshot(page, 'editor-hidpi');
  await s.closeClean(ed);
});

test('panel controls edit the selected band in real units with gestures; help and version', async () => {
  const ed = await s.openEditor({ values: s.bandsSeed([{ band: 2, hz: 800, db: 0 }]) });
  const { page } = ed;
  await page.click('.chip[data-band="2"]');
  await s.clearCalls(page);
  await page.focus('#band-panel [data-field="3"]');
  await press(page, 'ArrowRight', 'ArrowRight', 'ArrowRight');
  await page.selectOption('#band-panel [data-field="1"]', { label: 'High Shelf' });
  await page.click('#dyn-enable .switch');
  await s.settle(page);
  const all = await s.calls(page);
  assertGestures(all, [bandId(2, F.GAIN)], 3);
  assertGestures(all, [bandId(2, F.SHAPE), bandId(2, F.DYN)], 1);
  assert.deepEqual([await s.value(page, bandId(2, F.SHAPE)), await s.value(page, bandId(2, F.DYN))], [2 / 8, 1], 'High Shelf is entry 2 of 8 steps');
  near(map.normToGain(await s.value(page, bandId(2, F.GAIN))), 1.8, 1e-9, 'three arrow steps of 0.6 dB');
  assert.equal(await page.getAttribute('#band-panel [data-field="3"]', 'aria-label'), 'Band 3 Gain');
  assert.match(await page.getAttribute('#band-panel [data-field="3"]', 'aria-valuetext'), /^\+\d+\.\d dB$/);
  assert.equal(await page.textContent('#version'), 'v1.0.0.0');
  await page.click('#help');
  await s.settle(page);
  assert.match((await s.calls(page, 'openExternalUrl')).map((c) => c.args[0]).join(), /^https:\/\/[^,]+$/, 'the help link goes through openExternalUrl');
  await s.closeClean(ed);
});

test('Tab reaches the graph, the band strip once and all 13 band controls, each with a name', async () => {
  const ed = await s.openEditor({ values: s.bandsSeed([{ band: 0, hz: 1000, db: 2 }]) });
  const { page } = ed;
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
  await page.focus('#preset-button');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#preset-pop:not([hidden])');
  await page.keyboard.press('Escape');
  assert.equal(await page.isHidden('#preset-pop'), true, 'Escape closes the preset browser');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'preset-button', 'focus returns to its button');
  await s.closeClean(ed);
});

test('bad input is ignored safely: broken stored texts, odd notifications, no bridge at all', async () => {
  const ed = await s.openEditor({ values: s.bandsSeed([{ band: 0, hz: 700, db: 3 }]), historyState: '{"v":1,"undo":[{"label":"x","ch":[["a"]]}]',
    abJson: '{"v":1,"values":{"1002":"zero"}}', abSlot: 7 });
  const { page } = ed;
  assert.equal(await page.isDisabled('#undo'), true, 'an unreadable history starts empty');
  assert.equal(await page.getAttribute('#ab-a', 'aria-pressed'), 'true', 'an unknown slot number shows A');
  assert.equal(Object.keys(JSON.parse((await bridgeState(page)).abJson).values).length, 314, 'a broken A/B text is replaced by a full snapshot');
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
