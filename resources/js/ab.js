// A/B comparison. The plug-in only stores a slot number and a text; the page
// decides what they mean: slot 0 is "A", 1 is "B", and the text is a full
// snapshot of all 314 values of the slot that is not showing. Switching swaps
// the live values with that snapshot.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const B = QEQ.bridge;
  const VERSION = 1;

  let active = 0;
  let inactive = null; // {id: normalised}
  const listeners = [];
  const notify = () => { for (const fn of listeners) fn(active); };

  function encode(values) { return JSON.stringify({ v: VERSION, values }); }
  function decode(text) {
    try {
      const o = JSON.parse(text);
      if (!o || o.v !== VERSION || typeof o.values !== 'object' || o.values === null) return null;
      const out = {};
      for (const id of QEQ.store.ids) {
        const x = o.values[id];
        if (typeof x !== 'number' || !isFinite(x)) return null;
        out[id] = QEQ.params.clamp01(x);
      }
      return out;
    } catch (e) { return null; }
  }

  /** Reads the stored slot; without a usable snapshot the other slot starts as a copy. */
  async function init() {
    const slot = await B.getAbActiveSlot();
    active = slot === 1 ? 1 : 0;
    inactive = decode(await B.getAbInactiveSlotJson());
    if (!inactive) {
      inactive = QEQ.store.snapshot();
      B.setAbInactiveSlotJson(encode(inactive));
    }
    notify();
  }

  /** Shows slot 0 (A) or 1 (B); the values on display become the other slot's snapshot. */
  function select(slot) {
    slot = slot === 1 ? 1 : 0;
    if (slot === active || !inactive) return false;
    const current = QEQ.store.snapshot();
    const changes = {};
    for (const id of QEQ.store.ids) if (inactive[id] !== current[id]) changes[id] = inactive[id];
    QEQ.store.setValues('Switch to ' + (slot ? 'B' : 'A'), changes, { noHistory: true });
    inactive = current;
    active = slot;
    B.setAbInactiveSlotJson(encode(inactive));
    B.setAbActiveSlot(active);
    notify();
    return true;
  }

  /** Copies the values on display into the other slot. */
  function copyToOther() {
    inactive = QEQ.store.snapshot();
    B.setAbInactiveSlotJson(encode(inactive));
    notify();
  }

  QEQ.ab = Object.freeze({
    init, select, copyToOther,
    active: () => active,
    toggle: () => select(1 - active),
    onChange: (fn) => listeners.push(fn),
  });
})(window);
