// Shared helpers for the page tests: one headless Debian Chromium per test
// file (never a downloaded browser), an editor page opened from file:// with
// the bridge stand-in installed before the page's own scripts.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const ROOT = path.resolve(__dirname, '..', '..');
const PAGE_URL = 'file://' + path.join(ROOT, 'resources', 'index.html');
const DOUBLE = path.join(__dirname, 'double', 'bridge-double.js');
const ARTIFACTS = path.join(ROOT, 'artifacts', 'page');
const CHROMIUM = process.env.QEQ_CHROMIUM || '/usr/bin/chromium';

const F = { ENABLED: 0, SHAPE: 1, FREQ: 2, GAIN: 3, Q: 4, SLOPE: 5, CHANNEL: 6, DYN: 7, THRESHOLD: 8, RATIO: 9, ATTACK: 10, RELEASE: 11, SIDECHAIN: 12 };
const bandId = (b, k) => 2000 + 16 * b + k;
// Independent statements of the plug-in's mappings, for checking what the page sends.
const map = {
  freqToNorm: (hz) => Math.log(hz / 20) / Math.log(1100),
  normToFreq: (x) => 20 * Math.pow(1100, x),
  gainToNorm: (db) => db / 60 + 0.5,
  normToGain: (x) => 60 * x - 30,
  normToQ: (x) => 0.025 * Math.pow(1600, x),
};

async function launch() {
  const userDir = fs.mkdtempSync(path.join(os.tmpdir(), 'qeq-page-'));
  const context = await chromium.launchPersistentContext(userDir, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1400, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    context,
    async close() { await context.close(); fs.rmSync(userDir, { recursive: true, force: true }); },
  };
}

/** Opens the editor with a fresh bridge stand-in; collects page errors and off-bundle requests. */
async function openEditor(browser, seed, options) {
  const opts = options || {};
  const page = await browser.context.newPage();
  if (opts.scale) {
    const cdp = await browser.context.newCDPSession(page);
    await cdp.send('Emulation.setDeviceMetricsOverride', { width: 1400, height: 900, deviceScaleFactor: opts.scale, mobile: false });
  }
  const errors = [];
  const external = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('request', (r) => { if (!r.url().startsWith('file://') && !r.url().startsWith('data:')) external.push(r.url()); });
  await page.addInitScript((s) => { window.__qeqSeed = s; }, seed || {});
  await page.addInitScript({ path: DOUBLE });
  await page.goto(PAGE_URL);
  await page.waitForSelector('body[data-ready="true"]');
  await settle(page);
  return { page, errors, external };
}

/** Waits until the stand-in has answered everything and two frames were drawn. */
async function settle(page) {
  await page.waitForFunction(() => Object.values(window.__qeqBridge.inflight).every((n) => n === 0));
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await page.waitForFunction(() => Object.values(window.__qeqBridge.inflight).every((n) => n === 0));
}

const calls = (page, name) => page.evaluate((n) => window.__qeqBridge.calls.filter((c) => !n || c.name === n), name);
const value = (page, id) => page.evaluate((i) => window.__qeqBridge.value(i), id);

/** Centre of band i's handle in page coordinates, from the page's own geometry. */
async function handleXY(page, band) {
  return page.evaluate((b) => {
    const r = document.getElementById('graph-wrap').getBoundingClientRect();
    const h = window.QEQ.graph.handlePos(b);
    return { x: r.left + h.x, y: r.top + h.y };
  }, band);
}
/** Page coordinates of (Hz, dB) on the graph, computed from the plot rectangle alone. */
async function graphXY(page, hz, db) {
  return page.evaluate(([f, g]) => {
    const r = document.getElementById('graph-wrap').getBoundingClientRect();
    const p = window.QEQ.graph.plot();
    const range = window.QEQ.graph.range();
    return { x: r.left + p.x + p.w * Math.log(f / 20) / Math.log(1100), y: r.top + p.y + p.h * (0.5 - g / (2 * range)) };
  }, [hz, db]);
}

/** Makes the page believe it is hidden (true) or shown again (false), as a minimised editor would be. */
async function setHidden(page, hidden) {
  await page.evaluate((h) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => h });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}

async function screenshot(page, name) {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  await page.screenshot({ path: path.join(ARTIFACTS, name + '.png') });
}

/** Seed values with bands enabled at given settings: [{band, hz, db, q, shape}] */
function bandsSeed(list) {
  const values = {};
  for (const b of list) {
    values[bandId(b.band, F.ENABLED)] = 1;
    if (b.hz !== undefined) values[bandId(b.band, F.FREQ)] = map.freqToNorm(b.hz);
    if (b.db !== undefined) values[bandId(b.band, F.GAIN)] = map.gainToNorm(b.db);
    if (b.q !== undefined) values[bandId(b.band, F.Q)] = Math.log(b.q / 0.025) / Math.log(1600);
    if (b.shape !== undefined) values[bandId(b.band, F.SHAPE)] = b.shape / 8;
    if (b.slope !== undefined) values[bandId(b.band, F.SLOPE)] = b.slope / 4;
  }
  return values;
}

const assert = require('node:assert/strict');
const near = (a, b, tol, msg) => assert.ok(Math.abs(a - b) <= tol, `${msg || ''}: ${a} vs ${b}`);

/**
 * Checks that each identifier's calls form complete gestures: beginEdit, then
 * performEdit each followed by setParamNormalized with the same value, then
 * endEdit; `count` gestures per identifier when given, else at least one.
 */
function assertGestures(list, ids, count) {
  for (const id of ids) {
    const mine = list.filter((c) => c.args[0] === id && ['beginEdit', 'performEdit', 'setParamNormalized', 'endEdit'].includes(c.name));
    let open = false, gestures = 0, performs = 0;
    for (let i = 0; i < mine.length; i++) {
      const c = mine[i];
      if (c.name === 'beginEdit') { assert.ok(!open, `id ${id}: begin inside a gesture`); open = true; performs = 0; }
      else if (c.name === 'performEdit') {
        assert.ok(open, `id ${id}: perform outside a gesture`);
        const next = mine[i + 1];
        assert.ok(next && next.name === 'setParamNormalized' && next.args[1] === c.args[1], `id ${id}: the controller gets every value the host gets`);
        i++; performs++;
      } else if (c.name === 'endEdit') { assert.ok(open && performs > 0, `id ${id}: end without values`); open = false; gestures++; }
      else assert.fail(`id ${id}: setParamNormalized outside a perform`);
    }
    assert.ok(!open, `id ${id}: gesture left open`);
    if (count === undefined) assert.ok(gestures >= 1, `id ${id} has a gesture`);
    else assert.equal(gestures, count, `id ${id} gestures`);
  }
}
/** No script errors and nothing fetched from outside the bundle. */
function checkClean(ed) {
  assert.deepEqual(ed.errors, [], 'no script errors');
  assert.deepEqual(ed.external, [], 'nothing fetched from outside the bundle');
}

module.exports = { near, assertGestures, checkClean, launch, openEditor, settle, calls, value, handleXY, graphXY, screenshot, setHidden, bandsSeed, bandId, F, map, ARTIFACTS, ROOT };
