// Start-up: subscribe to every parameter first (so no change between reading
// and subscribing is lost), then read all values, take over the stored
// history and A/B state, and start the displays. Global shortcuts live here.
(function (root) {
  'use strict';
  const QEQ = root.QEQ;
  const B = QEQ.bridge;
  const P = QEQ.params;

  async function loadParameters() {
    await Promise.all(P.ALL_IDS.map((id) => B.subscribeParameter(id)));
    const objs = await B.getParameterObjects(P.ALL_IDS);
    if (Array.isArray(objs)) for (const id of P.ALL_IDS) QEQ.store.applyObject(objs[id], 'load');
  }

  function onKey(ev) {
    const mod = ev.ctrlKey || ev.metaKey;
    const inText = ev.target.matches && ev.target.matches('input[type=text], input:not([type]), textarea');
    if (mod && !inText && (ev.key === 'z' || ev.key === 'Z')) {
      if (ev.shiftKey) QEQ.history.redo(); else QEQ.history.undo();
      ev.preventDefault();
    } else if (mod && !inText && (ev.key === 'y' || ev.key === 'Y')) {
      QEQ.history.redo();
      ev.preventDefault();
    } else if (ev.key === 'Escape') {
      QEQ.presetView.hide();
    }
  }

  async function start() {
    QEQ.store.setRecorder(QEQ.history.record);
    QEQ.graph.init(root.document.getElementById('graph'));
    QEQ.handles.init(root.document.getElementById('graph-wrap'), root.document.getElementById('tooltip'));
    QEQ.panel.init();
    QEQ.topbar.init();
    QEQ.analyserTools.init();
    QEQ.meters.init();
    QEQ.outMeter.init(root.document.getElementById('graph-wrap'), root.document.querySelector('.graph-tools'));
    QEQ.presetView.init();
    root.document.addEventListener('keydown', onKey);

    B.getPluginVersion().then(QEQ.topbar.setVersion);
    QEQ.presets.refresh();
    await loadParameters();
    QEQ.history.load(await B.getHistoryState());
    await QEQ.ab.init();
    const first = P.ALL_IDS.find((id) => { const d = P.decodeId(id); return d && d.field === P.F.ENABLED && P.isOn(QEQ.store.get(id)); });
    if (first !== undefined) QEQ.ui.select(P.decodeId(first).band);
    QEQ.curves.request();
    // The ring analyser stands in for as long as this editor has no link to its processor.
    QEQ.live.onMode((m) => { if (m === 'rings') QEQ.analyser.start(); else QEQ.analyser.stop(); });
    QEQ.live.start();
    root.document.body.dataset.ready = 'true';
  }

  if (root.document.readyState === 'loading') root.document.addEventListener('DOMContentLoaded', start);
  else start();
})(window);
