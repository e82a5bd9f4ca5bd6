// The output meter: a bar at the graph's right edge, on the analyser's dBFS
// scale, with the RMS as a fill, the peak as a tick and the highest recent
// peak as a number beside it. It has a small canvas of its own over the
// graph's right margin, so new levels repaint only that strip; screen readers
// get an invisible meter element whose attributes change without any repaint.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const HOLD_MS = 1500; // the number holds the highest peak this long
  const BAR = 5;
  const STRIP = 44;     // width of the strip at the graph's right edge, CSS px

  let canvas, ctx, aria;
  let strip = { x: 0, y: 0, w: 0, h: 0 };
  let hold = { db: -Infinity, at: 0 };

  const dbText = (db) => (db <= -100 ? '−∞' : (db > 0 ? '+' : '') + db.toFixed(1));

  function place() {
    const p = QEQ.graph.plot(), dpr = root.devicePixelRatio || 1;
    strip = { x: p.x + p.w + 2, y: p.y - 2, w: STRIP, h: p.h + 4 };
    canvas.style.left = strip.x + 'px';
    canvas.style.top = strip.y + 'px';
    canvas.style.width = strip.w + 'px';
    canvas.style.height = strip.h + 'px';
    canvas.width = Math.round(strip.w * dpr);
    canvas.height = Math.round(strip.h * dpr);
    mark();
  }

  function draw() {
    const dpr = root.devicePixelRatio || 1;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    const a = QEQ.live.linked() ? QEQ.live.analysis() : null;
    if (!a) return;
    // Graph coordinates from here on.
    ctx.setTransform(dpr, 0, 0, dpr, -strip.x * dpr, -strip.y * dpr);
    const G = QEQ.graph, p = G.plot();
    const x = strip.x + strip.w - BAR - 4, base = p.y + p.h;
    const y = (db) => Math.max(p.y, Math.min(base, G.analyserToY(db)));
    const now = performance.now();
    if (a.outputPeakDb >= hold.db || now - hold.at > HOLD_MS) hold = { db: a.outputPeakDb, at: now };
    ctx.fillStyle = '#232933';
    ctx.fillRect(x, p.y, BAR, p.h);
    ctx.fillStyle = a.outputRmsDb > -6 ? '#ffc65c' : '#6fd19a';
    ctx.fillRect(x, y(a.outputRmsDb), BAR, base - y(a.outputRmsDb));
    ctx.fillStyle = a.outputPeakDb > 0 ? '#ff6b6b' : '#eef1f6';
    ctx.fillRect(x - 1, y(a.outputPeakDb) - 1, BAR + 2, 2);
    ctx.font = '10px system-ui, "Segoe UI", "DejaVu Sans", sans-serif';
    ctx.textAlign = 'right'; ctx.textBaseline = 'top';
    ctx.fillStyle = '#586272';
    ctx.fillText('OUT', x - 3, p.y + 2);
    ctx.fillStyle = hold.db > 0 ? '#ff6b6b' : '#c3cad6';
    ctx.fillText(dbText(hold.db), x - 3, p.y + 14);
    aria.setAttribute('aria-valuenow', String(Math.round(Math.max(-96, a.outputPeakDb))));
    aria.setAttribute('aria-valuetext', 'peak ' + dbText(a.outputPeakDb) + ' dBFS, RMS ' + dbText(a.outputRmsDb) + ' dBFS');
  }
  const mark = QEQ.frame.task(draw, 'outmeter');

  function init(graphHost, toolsHost) {
    canvas = QEQ.ui.el('canvas', { class: 'layer', 'aria-hidden': 'true' });
    graphHost.appendChild(canvas);
    ctx = canvas.getContext('2d');
    aria = QEQ.ui.el('span', { class: 'visually-hidden', role: 'meter', 'aria-label': 'Output level',
      'aria-valuemin': '-96', 'aria-valuemax': '0', 'aria-valuenow': '-96' });
    toolsHost.appendChild(aria);
    QEQ.graph.onResize(place);
    QEQ.live.onUpdate((ch) => { if (ch.meters) mark(); });
    QEQ.live.onMode(mark);
    place();
  }

  QEQ.outMeter = Object.freeze({ init });
})(window);
