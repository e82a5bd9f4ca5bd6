// Keeps the graph's curves in step with the plug-in: asks "getEqCurve" and
// "getEqBandCurves" together, never more than one such request in flight; a
// change during a request only marks the next one, sent at the next frame.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const SUM_POINTS = 512;
  const BAND_POINTS = 160;

  let inFlight = false;
  let wanted = false;
  let sum = [];
  let bands = [];
  const listeners = [];
  const stats = { requests: 0 };

  const markRequest = QEQ.frame.task(send);
  function send() {
    if (inFlight || !wanted) return;
    wanted = false;
    inFlight = true;
    stats.requests++;
    Promise.all([QEQ.bridge.getEqCurve(SUM_POINTS), QEQ.bridge.getEqBandCurves(BAND_POINTS)]).then(([s, b]) => {
      inFlight = false;
      sum = s.filter((p) => p && isFinite(p.freqHz) && isFinite(p.db));
      bands = b.filter((e) => e && Number.isInteger(e.band) && Array.isArray(e.points));
      for (const fn of listeners) fn();
      if (wanted) markRequest();
    });
  }

  /** Asks for fresh curves (coalesced; at most one request in flight). */
  function request() { wanted = true; if (!inFlight) markRequest(); }

  // Only the fields the plug-in's curves depend on trigger a request.
  const P = QEQ.params;
  QEQ.store.onChange((id) => {
    const d = P.decodeId(id);
    if (d && d.field <= P.F.SLOPE) request();
  });

  QEQ.curves = Object.freeze({
    request, stats,
    sum: () => sum,
    bands: () => bands,
    onUpdate: (fn) => listeners.push(fn),
  });
})(window);
