// The analyser controls over the graph: the Analyser switch, and with a link
// to this instance's processor the Pre / Post / SC switches of its three
// spectra; without a link a quiet note says the analyser shows the shared
// capture of every instance in the process.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const $ = (id) => root.document.getElementById(id);

  function refresh() {
    const mode = QEQ.live.mode();
    $('spectra').hidden = mode !== 'live';
    $('analyser-note').hidden = mode !== 'rings';
    for (const b of $('spectra').querySelectorAll('button')) {
      b.setAttribute('aria-pressed', String(QEQ.liveDraw.shown(b.dataset.kind)));
      b.disabled = !QEQ.analyser.enabled();
    }
  }

  function init() {
    $('analyser').addEventListener('click', (ev) => {
      const on = !QEQ.analyser.enabled();
      QEQ.analyser.setEnabled(on);
      ev.currentTarget.setAttribute('aria-pressed', String(on));
      QEQ.graph.mark();
      refresh();
    });
    for (const b of $('spectra').querySelectorAll('button')) {
      b.addEventListener('click', () => {
        QEQ.liveDraw.setShown(b.dataset.kind, !QEQ.liveDraw.shown(b.dataset.kind));
        refresh();
      });
    }
    QEQ.live.onMode(refresh);
    refresh();
  }

  QEQ.analyserTools = Object.freeze({ init });
})(window);
