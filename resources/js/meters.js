// The selected band's dynamics meters, fed by the live analysis: the detector
// level under its Threshold slider (same -60..0 dB scale, so the level meets
// the slider's thumb where the band starts to act) and the gain reduction
// beside it. They follow the live readings at most every READING_MS: the
// panel is far below the graph, and a software-rendered browser repaints the
// whole box around everything that changes in one frame. Bars move by
// clip-path, which lays nothing out.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const LOW = -60;          // dB at the left end of the level bar
  const READING_MS = 150;   // least time between two live readings shown

  const el = (...a) => QEQ.ui.el(...a);
  const frac = (db, lo, hi) => Math.max(0, Math.min(1, (db - lo) / (hi - lo)));
  const dbText = (db) => (db <= LOW - 30 ? '−∞' : (db > 0 ? '+' : '') + db.toFixed(1));
  const setText = (e, t) => { if (e.textContent !== t) e.textContent = t; };
  const setAttr = (e, k, v) => { if (e.getAttribute(k) !== v) e.setAttribute(k, v); };
  const clipTo = (e, f) => { e.style.clipPath = 'inset(0 ' + ((1 - f) * 100).toFixed(2) + '% 0 0)'; };

  let det, gr;

  function meter(label, extra) {
    const fill = el('span', { class: 'meter-fill' });
    const track = el('span', { class: 'meter ' + (extra || ''), role: 'meter', 'aria-label': label,
      'aria-valuemin': String(LOW), 'aria-valuemax': '0', 'aria-valuenow': String(LOW) }, [fill]);
    return { track, fill };
  }

  function buildDetector() {
    const ctl = root.document.querySelector('#dyn-controls [data-field="' + F.THRESHOLD + '"]').closest('.ctl');
    const m = meter('Detector level', 'detector');
    m.thr = el('span', { class: 'meter-thr' });
    m.track.appendChild(m.thr);
    ctl.classList.add('with-meter');
    ctl.appendChild(m.track);
    return m;
  }

  function buildReduction() {
    const m = meter('Gain reduction', 'reduction');
    m.track.setAttribute('aria-valuemin', '0');
    m.readout = el('output', { class: 'readout' });
    m.ctl = el('div', { class: 'ctl slider gr', title: 'How far the live gain has moved toward 0 dB' },
      [el('span', { class: 'name', text: 'Reduction' }), m.readout, m.track]);
    root.document.getElementById('dyn-controls').appendChild(m.ctl);
    return m;
  }

  function refresh() {
    const i = Math.max(0, QEQ.ui.selected());
    const v = (f) => QEQ.store.get(P.bandId(i, f));
    const live = QEQ.live.band(i);
    const acting = !!live && QEQ.liveDraw.isLive(i);
    const thr = P.toPlain(F.THRESHOLD, v(F.THRESHOLD));
    det.track.style.setProperty('--thr', (frac(thr, LOW, 0) * 100).toFixed(2) + '%');
    det.track.classList.toggle('idle', !acting);
    gr.ctl.classList.toggle('inactive', !acting);
    const name = 'Band ' + (i + 1);
    setAttr(det.track, 'aria-label', name + ' detector level');
    setAttr(gr.track, 'aria-label', name + ' gain reduction');
    if (!acting) {
      clipTo(det.fill, 0); clipTo(gr.fill, 0);
      setText(gr.readout, '—');
      setAttr(det.track, 'aria-valuetext', 'no reading');
      setAttr(gr.track, 'aria-valuetext', 'no reading');
      return;
    }
    clipTo(det.fill, frac(live.levelDb, LOW, 0));
    setAttr(det.track, 'aria-valuenow', String(Math.round(Math.max(LOW, live.levelDb))));
    const over = live.levelDb - thr;
    setAttr(det.track, 'aria-valuetext', dbText(live.levelDb) + ' dB, ' + Math.abs(over).toFixed(0) + ' dB ' + (over > 0 ? 'above' : 'below') + ' threshold');
    const gain = P.toPlain(F.GAIN, v(F.GAIN));
    const reduction = Math.min(Math.abs(gain), Math.abs(gain - live.gainDb));
    clipTo(gr.fill, gain === 0 ? 0 : reduction / Math.abs(gain));
    setText(gr.readout, reduction.toFixed(1) + ' dB');
    setAttr(gr.track, 'aria-valuemax', Math.abs(gain).toFixed(1));
    setAttr(gr.track, 'aria-valuenow', reduction.toFixed(1));
    setAttr(gr.track, 'aria-valuetext', reduction.toFixed(1) + ' dB, live gain ' + (live.gainDb > 0 ? '+' : '') + live.gainDb.toFixed(1) + ' dB');
  }

  function init() {
    det = buildDetector();
    gr = buildReduction();
    const mark = QEQ.frame.task(refresh, 'meters');
    // A new reading waits until READING_MS after the last one shown; a timer shows the final one.
    let readingAt = 0, readingTimer = 0;
    const reading = () => { clearTimeout(readingTimer); readingTimer = 0; readingAt = performance.now(); mark(); };
    QEQ.live.onUpdate((ch) => {
      if (!ch.bands) return;
      if (performance.now() - readingAt >= READING_MS) reading();
      else if (!readingTimer) readingTimer = setTimeout(reading, READING_MS);
    });
    QEQ.live.onMode(mark);
    QEQ.ui.onSelect(mark);
    QEQ.store.onChange((id) => { const d = P.decodeId(id); if (d && d.band === QEQ.ui.selected()) mark(); });
    mark();
  }

  QEQ.meters = Object.freeze({ init });
})(window);
