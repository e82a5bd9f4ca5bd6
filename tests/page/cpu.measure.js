// Measurement run, not a test: CPU time of the whole headless Chromium (every
// process it started) while the editor page shows 24 dynamic bands with all
// three spectra against the bridge stand-in, with the audio stopped and with it
// running, start-up excluded. Prints percent of one core and the page's
// requests and frames per second. Software rendering, as under Xvfb; the
// stand-in itself runs inside the page, so the running figure includes it.
//   node cpu.measure.js [seconds per phase, default 30]
'use strict';
const fs = require('node:fs');
const s = require('./support');
const { F, bandId } = s;

const seconds = Number(process.argv[2]) || 30;
const TICK = 100; // clock ticks per second of /proc/<pid>/stat on Linux

/** Summed user + system ticks of every process whose command line names the profile folder. */
function ticks(marker) {
  let total = 0;
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      if (!fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes(marker)) continue;
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      total += Number(f[11]) + Number(f[12]); // utime, stime
    } catch (e) { /* the process ended meanwhile */ }
  }
  return total;
}

async function phase(page, marker, label) {
  const t0 = ticks(marker), w0 = Date.now();
  const count = () => page.evaluate(() => ({ req: window.QEQ.live.stats.requests, frames: window.QEQ.frame.perf.frames }));
  const c0 = await count();
  await page.waitForTimeout(seconds * 1000);
  const c1 = await count();
  const wall = (Date.now() - w0) / 1000;
  const cpu = (ticks(marker) - t0) / TICK;
  console.log(`${label}: ${(100 * cpu / wall).toFixed(1)} % of one core over ${wall.toFixed(0)} s; ` +
    `${((c1.req - c0.req) / wall).toFixed(1)} analysis requests/s; ${((c1.frames - c0.frames) / wall).toFixed(1)} frames drawn/s`);
}

(async () => {
  const browser = await s.launch();
  const values = {};
  for (let i = 0; i < 24; i++) {
    Object.assign(values, s.bandsSeed([{ band: i, hz: 28 * Math.pow(1.33, i), db: ((i * 7) % 11) - 5, q: 1.2, shape: 0 }]));
    values[bandId(i, F.DYN)] = 1;
    values[bandId(i, F.THRESHOLD)] = (-36 + (i % 5) * 4) / 60 + 1;
  }
  const ed = await s.openEditor(browser, { values, analysis: {} });
  const { page } = ed;
  await page.waitForFunction(() => window.QEQ.live.linked());
  await page.click('#spectra [data-kind="sidechain"]');
  await page.evaluate(() => window.__qeqBridge.setAudio(false));
  await page.waitForTimeout(2000);
  await phase(page, browser.userDir, 'audio stopped');
  await page.evaluate(() => window.__qeqBridge.setAudio(true));
  await page.waitForTimeout(2000);
  await phase(page, browser.userDir, 'audio running');
  await browser.close();
})();
