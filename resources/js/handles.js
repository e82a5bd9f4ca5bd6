// Mouse and keyboard on the graph. Drag a handle for frequency and gain
// (Alt-drag or the wheel for Q; Shift for fine steps), hold Ctrl while pressing
// a handle to hear that band alone until the button is released (dragging on
// sweeps it), double-click empty space to add the next free band, double-click
// a handle or press Delete to remove it, arrows move the selected band, Escape
// cancels a drag. Ctrl rather than Alt for the audition: many Linux window
// managers take Alt-press for moving the window.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const G = () => QEQ.graph;
  const S = () => QEQ.store;
  const id = P.bandId;

  let surface, tip;
  let drag = null;       // {band, gesture, start point, start values}
  let wheel = null;      // {band, gesture, timer}

  const enabled = (i) => P.isOn(S().get(id(i, F.ENABLED)));
  const shapeOf = (i) => P.listIndex(S().get(id(i, F.SHAPE)), 8);
  const bandName = (i) => 'Band ' + (i + 1);

  function hit(x, y) {
    let best = -1, bestD = (G().HANDLE_R + 5) ** 2;
    for (let i = 0; i < P.BAND_COUNT; i++) {
      if (!enabled(i)) continue;
      const h = G().handlePos(i);
      const d = (h.x - x) ** 2 + (h.y - y) ** 2;
      if (d <= bestD) { best = i; bestD = d; }
    }
    return best;
  }
  // The surface's page position, read once per resize: reading it on every
  // pointer event would force a layout in the middle of a drag.
  let origin = null;
  function local(ev) {
    if (!origin) { const r = surface.getBoundingClientRect(); origin = { x: r.left, y: r.top }; }
    return { x: ev.clientX - origin.x, y: ev.clientY - origin.y };
  }

  let tipLines = null;
  /** Tooltip of band i above its handle (below it near the top); -1 hides it. No layout reads. */
  function showTip(i) {
    if (i < 0) { tip.hidden = true; return; }
    if (!tipLines) {
      tipLines = [QEQ.ui.el('strong'), QEQ.ui.el('span'), QEQ.ui.el('span'), QEQ.ui.el('span')];
      tipLines.forEach((e) => tip.appendChild(e));
    }
    const v = (f) => S().get(id(i, f));
    const gainShape = P.GAIN_SHAPES.has(shapeOf(i));
    const text = [bandName(i) + ' · ' + P.formatField(F.SHAPE, v(F.SHAPE)), P.formatField(F.FREQ, v(F.FREQ)),
      gainShape ? P.formatField(F.GAIN, v(F.GAIN)) : '', P.formatField(F.Q, v(F.Q))];
    tipLines.forEach((e, k) => { if (e.textContent !== text[k]) e.textContent = text[k]; e.hidden = !text[k]; });
    const h = G().handlePos(i);
    const p = G().plot();
    const below = h.y - p.y < 90;
    tip.hidden = false;
    tip.style.left = Math.min(p.x + p.w - 70, Math.max(p.x + 70, h.x)) + 'px';
    tip.style.top = (below ? h.y + 18 : h.y - 18) + 'px';
    tip.classList.toggle('below', below);
  }

  function onDown(ev) {
    if (ev.button !== 0) return;
    surface.focus();
    const pt = local(ev);
    const i = hit(pt.x, pt.y);
    if (i < 0) return;
    QEQ.ui.select(i);
    if (ev.ctrlKey || ev.metaKey) QEQ.audition.start(i, 'hold');
    drag = {
      band: i, gesture: S().gesture('Move ' + bandName(i)), x0: pt.x, y0: pt.y,
      f0: S().get(id(i, F.FREQ)), g0: S().get(id(i, F.GAIN)), q0: S().get(id(i, F.Q)),
      hx: G().handlePos(i).x - pt.x, hy: G().handlePos(i).y - pt.y,
    };
    surface.setPointerCapture(ev.pointerId);
    ev.preventDefault();
  }

  function onMove(ev) {
    const pt = local(ev);
    if (!drag) {
      const i = hit(pt.x, pt.y);
      G().setHover(i);
      surface.style.cursor = i >= 0 ? 'grab' : 'crosshair';
      showTip(i);
      return;
    }
    const d = drag, fine = ev.shiftKey ? 0.2 : 1;
    const x = d.x0 + (pt.x - d.x0) * fine, y = d.y0 + (pt.y - d.y0) * fine;
    if (ev.altKey) {
      d.gesture.set(id(d.band, F.Q), d.q0 + (d.y0 - y) * 0.004);
    } else {
      d.gesture.set(id(d.band, F.FREQ), P.toNorm(F.FREQ, G().xToFreq(x + d.hx)));
      if (P.GAIN_SHAPES.has(shapeOf(d.band))) d.gesture.set(id(d.band, F.GAIN), P.toNorm(F.GAIN, G().yToDb(y + d.hy)));
    }
    surface.style.cursor = 'grabbing';
    showTip(d.band);
  }

  function onUp() {
    QEQ.audition.release();
    if (!drag) return;
    drag.gesture.end();
    drag = null;
  }

  function onWheel(ev) {
    const pt = local(ev);
    let i = hit(pt.x, pt.y);
    if (i < 0 && wheel) i = wheel.band;
    if (i < 0) return;
    ev.preventDefault();
    if (!wheel || wheel.band !== i) {
      if (wheel) { clearTimeout(wheel.timer); wheel.gesture.end(); }
      wheel = { band: i, gesture: S().gesture('Q of ' + bandName(i)) };
    }
    QEQ.ui.select(i);
    const qId = id(i, F.Q);
    const step = (ev.shiftKey ? 0.0002 : 0.001) * (ev.deltaMode === 1 ? 33 : 1);
    wheel.gesture.set(qId, wheel.gesture.get(qId) - ev.deltaY * step);
    clearTimeout(wheel.timer);
    wheel.timer = setTimeout(() => { wheel.gesture.end(); wheel = null; }, 350);
    showTip(i);
  }

  /** Enables the first disabled band at (freq Hz, gain dB); returns its index or -1. */
  function addBandAt(freq, db) {
    let i = 0;
    while (i < P.BAND_COUNT && enabled(i)) i++;
    if (i === P.BAND_COUNT) { QEQ.ui.status('All 24 bands are in use.', 'warn'); return -1; }
    const shape = freq < 30 ? 3 : freq > 16000 ? 4 : 0;
    const ch = { [id(i, F.ENABLED)]: 1, [id(i, F.SHAPE)]: P.listNorm(shape, 8), [id(i, F.FREQ)]: P.toNorm(F.FREQ, freq) };
    if (shape === 0) ch[id(i, F.GAIN)] = P.toNorm(F.GAIN, db);
    S().setValues('Add ' + bandName(i), ch);
    QEQ.ui.select(i);
    return i;
  }

  function removeBand(i) {
    if (i < 0 || !enabled(i)) return;
    S().setValues('Remove ' + bandName(i), { [id(i, F.ENABLED)]: 0 });
    showTip(-1);
  }

  function onDouble(ev) {
    const pt = local(ev);
    const i = hit(pt.x, pt.y);
    if (i >= 0) { removeBand(i); return; }
    const p = G().plot();
    if (pt.x < p.x || pt.x > p.x + p.w || pt.y < p.y || pt.y > p.y + p.h) return;
    addBandAt(G().xToFreq(pt.x), G().yToDb(pt.y));
  }

  function nudge(i, field, delta) {
    S().setValues(P.FIELD_NAMES[field] + ' of ' + bandName(i),
      { [id(i, field)]: S().get(id(i, field)) + delta }, { mergeKey: 'key:' + i + ':' + field });
  }

  function onKey(ev) {
    const i = QEQ.ui.selected();
    if (ev.key === 'Escape') {
      if (drag) { drag.gesture.cancel(); drag = null; } else showTip(-1);
      QEQ.audition.release();
      ev.preventDefault();
      return;
    }
    if (i < 0 || ev.ctrlKey || ev.metaKey) return;
    const fine = ev.shiftKey ? 0.25 : 1;
    const oct = 1 / (12 * Math.log2(1100)); // a semitone in normalised frequency
    const moves = {
      ArrowLeft: [F.FREQ, -oct], ArrowRight: [F.FREQ, oct],
      ArrowUp: [F.GAIN, 0.5 / 60], ArrowDown: [F.GAIN, -0.5 / 60],
      PageUp: [F.Q, 0.02], PageDown: [F.Q, -0.02],
    };
    if (moves[ev.key] && enabled(i)) {
      nudge(i, moves[ev.key][0], moves[ev.key][1] * fine);
      showTip(i);
      QEQ.ui.status(tipLines.map((e) => e.textContent).filter(Boolean).join(', '));
    } else if (ev.key === 'Delete' || ev.key === 'Backspace') {
      removeBand(i);
    } else if (ev.key === 'Insert' || ev.key === 'Enter') {
      if (!enabled(i)) S().setValues('Add ' + bandName(i), { [id(i, F.ENABLED)]: 1 });
    } else return;
    ev.preventDefault();
  }

  function init(surfaceEl, tipEl) {
    surface = surfaceEl; tip = tipEl;
    new root.ResizeObserver(() => { origin = null; }).observe(surface);
    root.addEventListener('resize', () => { origin = null; });
    surface.addEventListener('pointerdown', onDown);
    surface.addEventListener('pointermove', onMove);
    surface.addEventListener('pointerup', onUp);
    surface.addEventListener('pointercancel', onUp);
    surface.addEventListener('pointerleave', () => { if (!drag) { G().setHover(-1); showTip(-1); } });
    surface.addEventListener('wheel', onWheel, { passive: false });
    surface.addEventListener('dblclick', onDouble);
    surface.addEventListener('keydown', onKey);
    surface.addEventListener('blur', () => showTip(-1));
  }

  QEQ.handles = Object.freeze({ init, addBandAt, removeBand });
})(window);
