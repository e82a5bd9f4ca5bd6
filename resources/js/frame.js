// One requestAnimationFrame per displayed frame: every module that needs to
// redraw or flush asks here, and all of them run together in that frame, so a
// burst of parameter changes costs one redraw. Also keeps the time spent in
// each frame (ms) for the performance figures.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const tasks = [];
  let requested = false;
  const PERF_KEEP = 600;
  const perf = { work: [], stamps: [], byTask: {}, frames: 0 }; // byTask: name -> total ms; frames: all ever run

  function run(stamp) {
    requested = false;
    const t0 = performance.now();
    for (const t of tasks) {
      if (!t.dirty) continue;
      t.dirty = false;
      const a = performance.now();
      try { t.fn(stamp); } catch (e) { if (root.console) console.error(e); }
      perf.byTask[t.name] = (perf.byTask[t.name] || 0) + performance.now() - a;
    }
    perf.frames++;
    perf.work.push(performance.now() - t0);
    perf.stamps.push(stamp);
    if (perf.work.length > PERF_KEEP) { perf.work.shift(); perf.stamps.shift(); }
  }

  function request() {
    if (requested) return;
    requested = true;
    root.requestAnimationFrame(run);
  }

  /** Registers a per-frame task (name for the timing figures); returns a function that marks it dirty. */
  function task(fn, name) {
    const t = { fn, dirty: false, name: name || fn.name || 'task' };
    tasks.push(t);
    return function mark() { t.dirty = true; request(); };
  }

  QEQ.frame = Object.freeze({ task, request, perf });
})(window);
