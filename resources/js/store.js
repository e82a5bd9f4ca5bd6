// The page's copy of the 314 normalised values and the only way the page
// changes them. Every edit is a complete host gesture (beginEdit, performEdit
// while it lasts, endEdit) plus setParamNormalized on the controller, so the
// host records automation and the controller (and so the curves) follow.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const B = QEQ.bridge;

  const values = new Float64Array(2381);
  for (const id of P.ALL_IDS) values[id] = P.defaultValue(id);
  const known = new Set(P.ALL_IDS);
  const listeners = [];
  // Per identifier: calls of setParamNormalized not yet answered, and the last
  // value the plug-in reported meanwhile (its echo of our own sets, or a host change).
  const outstanding = new Map();
  const lateRemote = new Map();
  const gestureIds = new Map(); // id -> number of open gestures holding it
  const pending = new Map();    // id -> value waiting for the next flush
  let recorder = null;

  const get = (id) => values[id];
  function emit(id, source) { for (const fn of listeners) fn(id, values[id], source); }
  function onChange(fn) { listeners.push(fn); }

  function setLocal(id, x, source) {
    if (!known.has(id) || !(typeof x === 'number' && isFinite(x))) return;
    x = P.clamp01(x);
    if (values[id] === x) return;
    values[id] = x;
    emit(id, source);
  }

  /** A ParameterObject from the plug-in (notification or read). */
  function applyObject(obj, source) {
    if (!obj || !obj.info || typeof obj.normalized !== 'number') return;
    const id = obj.info.id;
    if (gestureIds.has(id) || outstanding.get(id) > 0) { lateRemote.set(id, obj.normalized); return; }
    setLocal(id, obj.normalized, source);
  }

  function send(id, x) {
    B.performEdit(id, x);
    outstanding.set(id, (outstanding.get(id) || 0) + 1);
    B.setParamNormalized(id, x).then(() => {
      const n = outstanding.get(id) - 1;
      outstanding.set(id, n);
      if (n === 0 && !gestureIds.has(id) && lateRemote.has(id)) {
        const v = lateRemote.get(id);
        lateRemote.delete(id);
        setLocal(id, v, 'host');
      }
    });
  }

  const markFlush = QEQ.frame.task(flush);
  function flush() {
    for (const [id, x] of pending) send(id, x);
    pending.clear();
  }

  /**
   * Opens a gesture for a drag or a wheel turn. set() changes the value at once
   * on the page and sends it at the next frame; end() closes it and records one
   * undo step; cancel() puts the starting values back.
   */
  function gesture(label, options) {
    const opts = options || {};
    const before = new Map();
    let open = true;
    function set(id, x) {
      if (!open || !known.has(id)) return;
      x = P.clamp01(x);
      if (!before.has(id)) {
        before.set(id, values[id]);
        gestureIds.set(id, (gestureIds.get(id) || 0) + 1);
        B.beginEdit(id);
      }
      setLocal(id, x, 'page');
      pending.set(id, x);
      markFlush();
    }
    function finish(record) {
      if (!open) return;
      open = false;
      for (const id of before.keys()) if (pending.has(id)) { send(id, pending.get(id)); pending.delete(id); }
      const changes = [];
      for (const [id, x0] of before) {
        B.endEdit(id);
        const left = gestureIds.get(id) - 1;
        if (left > 0) gestureIds.set(id, left); else gestureIds.delete(id);
        if (values[id] !== x0) changes.push([id, x0, values[id]]);
      }
      if (record && !opts.noHistory && changes.length && recorder) recorder(label, changes, opts.mergeKey);
      return changes;
    }
    return {
      set,
      get: (id) => values[id],
      end: () => finish(true),
      cancel() { for (const [id, x0] of before) set(id, x0); return finish(false); },
      get open() { return open; },
    };
  }

  /** A complete edit of several values at once (clicks, menus, keys, undo). */
  function setValues(label, changes, options) {
    const g = gesture(label, options);
    for (const id of Object.keys(changes)) g.set(Number(id), changes[id]);
    return g.end();
  }

  /** Snapshot of all 314 values, keyed by identifier. */
  function snapshot() {
    const out = {};
    for (const id of P.ALL_IDS) out[id] = values[id];
    return out;
  }

  QEQ.store = Object.freeze({
    get, onChange, applyObject, gesture, setValues, snapshot,
    setRecorder(fn) { recorder = fn; },
    ids: P.ALL_IDS,
  });

  // The plug-in calls this for every subscribed parameter that changes. It may
  // arrive before the page finished loading, so it exists from the first script.
  root.notifyParameterChange = function (obj) { applyObject(obj, 'host'); };
})(window);
