// Undo and redo of the page's edits. Each step holds [id, before, after]
// triples in normalised values; the whole history is stored in the plug-in
// ("setHistoryState") so it outlives closing and reopening the editor.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const B = QEQ.bridge;
  const LIMIT = 200;
  const MERGE_MS = 800;
  const MAX_VALUES = 20000;
  const VERSION = 1;

  let undo = [];
  let redo = [];
  let lastMerge = { key: null, t: 0 };
  let saveTimer = 0;
  const listeners = [];

  function changed() {
    for (const fn of listeners) fn();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(save, 250);
  }
  function save() { clearTimeout(saveTimer); saveTimer = 0; B.setHistoryState(JSON.stringify({ v: VERSION, undo, redo })); }
  // Closing the editor must not lose the last steps still waiting for the timer.
  root.addEventListener('pagehide', () => { if (saveTimer) save(); });

  /** Adds a step; steps with the same merge key in quick succession become one. */
  function record(label, changes, mergeKey) {
    const now = Date.now();
    const top = undo[undo.length - 1];
    if (mergeKey && top && lastMerge.key === mergeKey && now - lastMerge.t < MERGE_MS) {
      for (const [id, , after] of changes) {
        const c = top.ch.find((e) => e[0] === id);
        if (c) c[2] = after; else top.ch.push([id, changes.find((e) => e[0] === id)[1], after]);
      }
    } else {
      undo.push({ label, ch: changes.map((c) => c.slice()) });
      // Bounded by steps and by stored values, so the text kept in the plug-in stays small.
      let total = undo.reduce((n, st) => n + st.ch.length, 0);
      while (undo.length > 1 && (undo.length > LIMIT || total > MAX_VALUES)) total -= undo.shift().ch.length;
    }
    lastMerge = { key: mergeKey || null, t: now };
    redo = [];
    changed();
  }

  function apply(step, which) {
    const vals = {};
    for (const c of step.ch) vals[c[0]] = c[which];
    QEQ.store.setValues(step.label, vals, { noHistory: true });
  }

  function doUndo() {
    const step = undo.pop();
    if (!step) return false;
    apply(step, 1);
    redo.push(step);
    lastMerge = { key: null, t: 0 };
    changed();
    return true;
  }

  function doRedo() {
    const step = redo.pop();
    if (!step) return false;
    apply(step, 2);
    undo.push(step);
    lastMerge = { key: null, t: 0 };
    changed();
    return true;
  }

  function validSteps(list) {
    if (!Array.isArray(list)) return [];
    return list.filter((s) => s && typeof s.label === 'string' && Array.isArray(s.ch) &&
      s.ch.every((c) => Array.isArray(c) && c.length === 3 && c.every((n) => typeof n === 'number' && isFinite(n))));
  }

  /** Takes over the history the plug-in kept from an earlier opening of the editor. */
  function load(text) {
    if (!text) return;
    try {
      const h = JSON.parse(text);
      if (!h || h.v !== VERSION) return;
      undo = validSteps(h.undo).slice(-LIMIT);
      redo = validSteps(h.redo).slice(-LIMIT);
      for (const fn of listeners) fn();
    } catch (e) { /* an unreadable history starts empty */ }
  }

  QEQ.history = Object.freeze({
    record, load, undo: doUndo, redo: doRedo,
    canUndo: () => undo.length > 0,
    canRedo: () => redo.length > 0,
    undoLabel: () => (undo.length ? undo[undo.length - 1].label : ''),
    redoLabel: () => (redo.length ? redo[redo.length - 1].label : ''),
    onChange: (fn) => listeners.push(fn),
  });
})(window);
