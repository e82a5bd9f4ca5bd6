// Shared helpers for the page tests: one headless Debian Chromium per test
// file (never a downloaded browser), an editor page opened from file:// with
// the bridge stand-in installed before the page's own scripts.
'use strict';
const path = require('node:path');
const test = require('node:test');
const assert = require('node:assert/strict');
const { chromium } = require('playwright-core');

const ROOT = path.resolve(__dirname, '..', '..');
const PAGE_URL = 'file://' + path.join(ROOT, 'resources', 'index.html');

const F = { ENABLED: 0, SHAPE: 1, FREQ: 2, GAIN: 3, Q: 4, SLOPE: 5, CHANNEL: 6, DYN: 7, THRESHOLD: 8, RATIO: 9, ATTACK: 10, RELEASE: 11, SIDECHAIN: 12 };
const bandId = (b, k) => 2000 + 16 * b + k;
// Independent statements of the plug-in's mappings, for checking what the page sends.
const map = {
  freqToNorm: (hz) => Math.log(hz / 20) / Math.log(1100),
  normToFreq: (x) => 20 * Math.pow(1100, x),
  gainToNorm: (db) => db / 60 + 0.5,
  normToGain: (x) => 60 * x - 30,
  normToQ: (x) => 0.025 * Math.pow(1600, x),
  qToNorm: (q) => Math.log(q / 0.025) / Math.log(1600),
};

// Every test file that loads these helpers gets one browser for its tests.
let browser, context;
test.before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.QEQ_CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  context = await browser.newContext({ viewport: { width: 1400, height: 900 } });
});
test.after(() => browser && browser.close());

/** Opens the editor with a fresh bridge stand-in; collects page errors and off-bundle requests. */
async function openEditor(seed, scale) {
  const page = await context.newPage();
  if (scale) {
    const cdp = await context.newCDPSession(page);
    await cdp.send('Emulation.setDeviceMetricsOverride', { width: 1400, height: 900, deviceScaleFactor: scale, mobile: false });
  }
  const ed = { page, errors: [], external: [] };
  page.on('pageerror', (e) => ed.errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') ed.errors.push(m.text()); });
  page.on('request', (r) => { if (!/^(file|data):/.test(r.url())) ed.external.push(r.url()); });
  if (seed !== null) {
    await page.addInitScript((s) => { window.__qeqSeed = s; }, seed || {});
    await page.addInitScript({ path: path.join(__dirname, 'double', 'bridge-double.js') });
  }
  await page.goto(PAGE_URL);
  await page.waitForSelector('body[data-ready="true"]');
  if (seed !== null) await settle(page);
  return ed;
}

/**
 * A test on a freshly opened editor (`live`: one whose analysis link has
 * answered) that must end without script errors or outside requests.
 */
function editorTest(name, seed, body, { scale, live } = {}) {
  test(name, async () => {
    const ed = await openEditor(seed, scale);
    if (live) {
      await ed.page.waitForFunction(() => window.QEQ.live.linked() && window.QEQ.live.stats.updates > 0);
      await settle(ed.page);
    }
    await body(ed.page);
    await closeClean(ed);
  });
}

/** No script errors and nothing fetched from outside the bundle; then the page goes. */
async function closeClean(ed) {
  assert.deepEqual(ed.errors, [], 'no script errors');
  assert.deepEqual(ed.external, [], 'nothing fetched from outside the bundle');
  await ed.page.close();
}

/** Waits until the stand-in has answered everything and two frames were drawn. */
async function settle(page) {
  const idle = () => page.waitForFunction(() => Object.values(window.__qeqBridge.inflight).every((n) => n === 0));
  await idle();
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await idle();
}

async function press(page, ...keys) {
  for (const key of keys) await page.keyboard.press(key);
  await settle(page);
}
/** Clicks and waits for what the click asked of the plug-in. */
async function click(page, selector) {
  await page.click(selector);
  await settle(page);
}

const calls = (page, name) => page.evaluate((n) => window.__qeqBridge.calls.filter((c) => !n || c.name === n), name);
const value = (page, id) => page.evaluate((i) => window.__qeqBridge.value(i), id);
const clearCalls = (page) => page.evaluate(() => window.__qeqBridge.clearCalls());

/** Centre of band i's handle in page coordinates, from the page's own geometry. */
const handleXY = (page, band) => page.evaluate((b) => {
  const r = document.getElementById('graph-wrap').getBoundingClientRect(), h = window.QEQ.graph.handlePos(b);
  return { x: r.left + h.x, y: r.top + h.y };
}, band);
/** Page coordinates of (Hz, dB) on the graph, computed from the plot rectangle alone. */
const graphXY = (page, hz, db) => page.evaluate(([f, g]) => {
  const r = document.getElementById('graph-wrap').getBoundingClientRect(), p = window.QEQ.graph.plot();
  return { x: r.left + p.x + p.w * Math.log(f / 20) / Math.log(1100), y: r.top + p.y + p.h * (0.5 - g / (2 * window.QEQ.graph.range())) };
}, [hz, db]);

/**
 * Presses band i's handle (with `key` held for the press: Ctrl asks for a
 * solo) and moves the pointer to `to`, or by `by` px; the button stays down.
 */
async function grab(page, band, { to, by, steps = 8, key } = {}) {
  const h = await handleXY(page, band);
  await page.mouse.move(h.x, h.y);
  if (key) await page.keyboard.down(key);
  await page.mouse.down();
  if (key) await page.keyboard.up(key);
  if (to || by) await page.mouse.move(to ? to.x : h.x + by[0], to ? to.y : h.y + by[1], { steps });
}

/** Makes the page believe it is hidden (true) or shown again (false), as a minimised editor would be. */
const setHidden = (page, hidden) => page.evaluate((h) => {
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => h });
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

/** Seed values with bands enabled at given settings: [{band, hz, db, q, threshold (dynamics on)}] */
function bandsSeed(list) {
  const values = {};
  for (const b of list) {
    const set = (k, v) => { if (v !== undefined) values[bandId(b.band, k)] = v; };
    set(F.ENABLED, 1);
    set(F.FREQ, b.hz && map.freqToNorm(b.hz));
    set(F.GAIN, b.db === undefined ? undefined : map.gainToNorm(b.db));
    set(F.Q, b.q && map.qToNorm(b.q));
    if (b.threshold !== undefined) { set(F.DYN, 1); set(F.THRESHOLD, b.threshold / 60 + 1); }
  }
  return values;
}

const near = (a, b, tol, msg) => assert.ok(Math.abs(a - b) <= tol, `${msg || ''}: ${a} vs ${b}`);

/**
 * Checks that each identifier's calls form complete gestures: beginEdit, then
 * performEdit each followed by setParamNormalized with the same value (the
 * controller gets every value the host gets), then endEdit; `count` gestures
 * per identifier when given, else at least one.
 */
const EDITS = ['beginEdit', 'performEdit', 'setParamNormalized', 'endEdit'];
function assertGestures(list, ids, count) {
  for (const id of ids) {
    const mine = list.filter((c) => c.args[0] === id && EDITS.includes(c.name));
    const seq = mine.map((c, i) => (c.name !== 'setParamNormalized' ? c.name[0]
      : mine[i - 1]?.name === 'performEdit' && mine[i - 1].args[1] === c.args[1] ? 's' : 'x')).join('');
    assert.match(seq, /^(b(ps)+e)+$/, `id ${id}: complete gestures`);
    if (count !== undefined) assert.equal(seq.split('b').length - 1, count, `id ${id} gestures`);
  }
}

module.exports = { test, editorTest, assert, near, assertGestures, closeClean, openEditor, settle, press, click, calls, value, clearCalls, handleXY, graphXY, grab, setHidden, bandsSeed, bandId, F, map };
