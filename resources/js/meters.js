// Level meters fed by the live analysis: the output's peak and RMS in the top
// bar, and for the selected band the detector level under its Threshold slider
// (same -60..0 dB scale, so the level meets the slider's thumb where the band
// starts to act) and the gain reduction beside it. Bars move by clip-path and
// transform only, so an update repaints a few pixels and lays nothing out.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const LOW = -60;          // dB at the left end of every level bar
  const HOLD_MS = 1500;     // the peak readout holds the highest peak this long

  const el = (...a) => QEQ.ui.el(...a);
  const frac = (db, lo, hi) => Math.max(0, Math.min(1, (db - lo) / (hi - lo)));
  const dbText = (db) => (db <= LOW - 30 ? '−∞' : (db > 0 ? '+' : '') + db.toFixed(1));
  const setText = (e, t) => { if (e.textContent !== t) e.textContent = t; };
  const setAttr = (e, k, v) => { if (e.getAttribute(k) !== v) e.setAttribute(k, v); };
  const clipTo = (e, f) => { e.style.clipPath = 'inset(0 ' + ((1 - f) * 100).toFixed(2) + '% 0 0)'; };

  let out, det, gr;
  let hold = { db: -Infinity, at: 0 };

  function meter(label, extra) {
    const fill = el('span', { class: 'meter-fill' });
    const track = el('span', { class: 'meter ' + (extra || ''), role: 'meter', 'aria-label': label,
      'aria-valuemin': String(LOW), 'aria-valuemax': '0', 'aria-valuenow': String(LOW) }, [fill]);
    return { track, fill };
  }

  function buildOutput() {
    const m = meter('Output level', 'out');
    m.peak = el('span', { class: 'meter-peak' });
    m.track.appendChild(m.peak);
    m.readout = el('output', { class: 'meter-readout', title: 'Output peak (held), dBFS' });
    m.group = el('div', { id: 'out-meter', class: 'group out-meter', role: 'group', 'aria-label': 'Output meter', hidden: '' },
      [el('span', { class: 'group-label', text: 'Out' }), m.track, m.readout]);
    const help = root.document.getElementById('help');
    help.parentElement.insertBefore(m.group, help);
    return m;
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

  function refreshOutput(a) {
    out.group.hidden = !a;
    if (!a) return;
    const now = performance.now();
    if (a.outputPeakDb >= hold.db || now - hold.at > HOLD_MS) hold = { db: a.outputPeakDb, at: now };
    clipTo(out.fill, frac(a.outputRmsDb, LOW, 0));
    out.peak.style.transform = 'translateX(' + ((frac(a.outputPeakDb, LOW, 0) - 1) * 100).toFixed(2) + '%)';
    setText(out.readout, dbText(hold.db));
    out.readout.classList.toggle('over', hold.db > 0);
    setAttr(out.track, 'aria-valuenow', String(Math.round(Math.max(LOW, a.outputPeakDb))));
    setAttr(out.track, 'aria-valuetext', 'peak ' + dbText(a.outputPeakDb) + ' dBFS, RMS ' + dbText(a.outputRmsDb) + ' dBFS');
  }

  function refreshBand() {
    const i = Math.max(0, QEQ.ui.selected());
    const v = (f) => QEQ.store.get(P.bandId(i, f));
    const live = QEQ.live.band(i);
    const acting = !!live && P.isOn(v(F.DYN_ENABLED)) && P.GAIN_SHAPES.has(P.listIndex(v(F.SHAPE), 8));
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

  function refresh() {
    refreshOutput(QEQ.live.linked() ? QEQ.live.analysis() : null);
    refreshBand();
  }

  function init() {
    out = buildOutput();
    det = buildDetector();
    gr = buildReduction();
    const mark = QEQ.frame.task(refresh, 'meters');
    QEQ.live.onUpdate((ch) => { if (ch.bands || ch.meters) mark(); });
    QEQ.live.onMode(mark);
    QEQ.ui.onSelect(mark);
    QEQ.store.onChange((id) => { const d = P.decodeId(id); if (d && d.band === QEQ.ui.selected()) mark(); });
    mark();
  }

  QEQ.meters = Object.freeze({ init });
})(window);
