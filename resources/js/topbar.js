// The bar above the graph: presets, A/B, undo/redo, phase mode and latency,
// graph zoom, version and help.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const HELP_URL = 'https://quenrileq.com/help';
  const $ = (id) => root.document.getElementById(id);

  let shownRate = 0;
  function refreshGlobal() {
    const phase = QEQ.store.get(P.PHASE_MODE), lat = QEQ.store.get(P.LINEAR_LATENCY);
    const linear = P.isOn(phase);
    for (const b of root.document.querySelectorAll('#phase-mode button')) {
      const on = (b.dataset.value === '1') === linear;
      b.setAttribute('aria-pressed', String(on));
    }
    const latSel = $('latency');
    latSel.value = String(P.listIndex(lat, 3));
    latSel.disabled = !linear;
    const samples = P.latencySamples(phase, lat);
    shownRate = QEQ.live.sampleRate();
    const ms = (samples / shownRate) * 1000;
    $('latency-readout').textContent = samples + ' samples · ' + ms.toFixed(1) + ' ms';
  }

  function refreshHistory() {
    const u = $('undo'), r = $('redo');
    u.disabled = !QEQ.history.canUndo();
    r.disabled = !QEQ.history.canRedo();
    u.title = QEQ.history.canUndo() ? 'Undo ' + QEQ.history.undoLabel() + ' (Ctrl+Z)' : 'Nothing to undo';
    r.title = QEQ.history.canRedo() ? 'Redo ' + QEQ.history.redoLabel() + ' (Ctrl+Shift+Z)' : 'Nothing to redo';
  }

  function refreshAb(active) {
    $('ab-a').setAttribute('aria-pressed', String(active === 0));
    $('ab-b').setAttribute('aria-pressed', String(active === 1));
    $('ab-copy').textContent = active === 0 ? 'A → B' : 'B → A';
    $('ab-copy').setAttribute('aria-label', 'Copy ' + (active === 0 ? 'A to B' : 'B to A'));
  }

  function init() {
    for (const b of root.document.querySelectorAll('#phase-mode button')) {
      b.addEventListener('click', () =>
        QEQ.store.setValues('Phase Mode ' + P.LISTS.phase[b.dataset.value], { [P.PHASE_MODE]: Number(b.dataset.value) }));
    }
    $('latency').addEventListener('change', (ev) =>
      QEQ.store.setValues('Linear Latency ' + P.LISTS.latency[ev.target.value], { [P.LINEAR_LATENCY]: P.listNorm(Number(ev.target.value), 3) }));
    $('undo').addEventListener('click', () => QEQ.history.undo());
    $('redo').addEventListener('click', () => QEQ.history.redo());
    $('ab-a').addEventListener('click', () => QEQ.ab.select(0));
    $('ab-b').addEventListener('click', () => QEQ.ab.select(1));
    $('ab-copy').addEventListener('click', () => {
      QEQ.ab.copyToOther();
      QEQ.ui.status('Copied ' + (QEQ.ab.active() ? 'B to A' : 'A to B') + '.');
    });
    $('zoom').addEventListener('change', (ev) => QEQ.graph.setRange(Number(ev.target.value)));
    $('help').addEventListener('click', async () => {
      const ok = await QEQ.bridge.openExternalUrl(HELP_URL);
      QEQ.ui.status(ok ? 'Opened the manual in your browser.' : 'Could not open ' + HELP_URL, ok ? '' : 'warn');
    });
    const mark = QEQ.frame.task(refreshGlobal);
    QEQ.store.onChange((id) => { if (id === P.PHASE_MODE || id === P.LINEAR_LATENCY) mark(); });
    // The latency in ms follows the sample rate, which the analysers report.
    const rateMoved = () => { if (QEQ.live.sampleRate() !== shownRate) mark(); };
    QEQ.analyser.onUpdate(rateMoved);
    QEQ.live.onUpdate(rateMoved);
    mark();
    QEQ.history.onChange(refreshHistory);
    refreshHistory();
    QEQ.ab.onChange(refreshAb);
    refreshAb(0);
  }

  function setVersion(v) { $('version').textContent = v ? 'v' + v : ''; }

  QEQ.topbar = Object.freeze({ init, setVersion, HELP_URL });
})(window);
