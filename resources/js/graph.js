// The frequency graph: 20 Hz to 22 kHz on a log axis, gain on a linear axis
// (+-30 dB or a closer zoom). Five stacked canvases at device resolution, each
// redrawn only when its content changes: the grid (size, zoom); the spectra
// and output meter (or, without a link to this instance's processor, the ring
// analyser and output waveform); the band fills and summed curve (when new
// curves arrive); the dynamic bands' live curves; the handles (every frame of
// a drag). The spectra and live curves follow the analysis while audio runs,
// and what that costs in a software-rendered browser grows with the area that
// changes and with how often it does: so the spectra clear and redraw the plot
// only, and the live curves only the box around the dynamic bands' curves.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const M = { left: 46, right: 46, top: 14, bottom: 26 };
  const LOG_SPAN = Math.log(22000 / 20);
  const ANALYSER_TOP = 0, ANALYSER_BOTTOM = -96; // analyser scale, dBFS
  const HANDLE_R = 9;
  const LAYERS = ['grid', 'spectrum', 'curves', 'live', 'handles'];

  let host, dpr = 1, W = 0, H = 0;
  const layers = {}; // name -> {canvas, ctx, dirty, draw}
  let range = 30;
  let hover = -1;
  let box = Object.freeze({ x: 0, y: 0, w: 1, h: 1 }); // the plot, kept from the last resize
  let geometry = 0; // changes with the size and the gain range: positions computed before are stale
  let liveBox = null; // what the live layer drew on last time
  const resizeListeners = [];

  const plot = () => box;
  const freqToX = (f) => { const p = plot(); return p.x + p.w * Math.log(f / 20) / LOG_SPAN; };
  const xToFreq = (x) => { const p = plot(); return 20 * Math.exp(LOG_SPAN * (x - p.x) / p.w); };
  const dbToY = (db) => { const p = plot(); return p.y + p.h * (0.5 - db / (2 * range)); };
  const yToDb = (y) => { const p = plot(); return (0.5 - (y - p.y) / p.h) * 2 * range; };
  const analyserToY = (db) => { const p = plot(); return p.y + p.h * (ANALYSER_TOP - db) / (ANALYSER_TOP - ANALYSER_BOTTOM); };

  function resize() {
    const r = host.getBoundingClientRect();
    dpr = root.devicePixelRatio || 1;
    W = Math.max(200, Math.round(r.width));
    H = Math.max(120, Math.round(r.height));
    box = Object.freeze({ x: M.left, y: M.top, w: W - M.left - M.right, h: H - M.top - M.bottom });
    geometry++;
    liveBox = null;
    for (const name of LAYERS) {
      const c = layers[name].canvas;
      c.width = Math.round(W * dpr);
      c.height = Math.round(H * dpr);
      c.style.width = W + 'px';
      c.style.height = H + 'px';
    }
    mark();
    for (const fn of resizeListeners) fn();
  }

  const unite = (a, b) => (!a ? b : !b ? a : { x: Math.min(a.x, b.x), y: Math.min(a.y, b.y),
    w: Math.max(a.x + a.w, b.x + b.w) - Math.min(a.x, b.x), h: Math.max(a.y + a.h, b.y + b.h) - Math.min(a.y, b.y) });

  /** What a layer clears and may draw on, in CSS px. */
  function region(name) {
    const p = plot();
    if (name === 'spectrum') return { x: p.x, y: p.y, w: p.w, h: p.h };
    if (name === 'live') {
      // What the live curves covered last time and cover now, within the plot.
      const now = QEQ.liveDraw.extent(), last = liveBox;
      liveBox = now;
      const r = unite(last, now) || { x: p.x, y: p.y, w: 0, h: 0 };
      const x = Math.max(p.x, r.x - 2), y = Math.max(p.y, r.y - 2);
      return { x, y, w: Math.max(0, Math.min(p.x + p.w, r.x + r.w + 2) - x), h: Math.max(0, Math.min(p.y + p.h, r.y + r.h + 2) - y) };
    }
    return { x: 0, y: 0, w: W, h: H };
  }

  function render() {
    for (const name of LAYERS) {
      const l = layers[name];
      if (!l.dirty) continue;
      l.dirty = false;
      const r = region(name);
      const x0 = Math.floor(r.x * dpr), y0 = Math.floor(r.y * dpr);
      l.ctx.setTransform(1, 0, 0, 1, 0, 0);
      l.ctx.clearRect(x0, y0, Math.ceil((r.x + r.w) * dpr) - x0, Math.ceil((r.y + r.h) * dpr) - y0);
      l.ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
      l.ctx.save();
      l.ctx.beginPath(); l.ctx.rect(r.x, r.y, r.w, r.h); l.ctx.clip();
      l.draw(l.ctx);
      l.ctx.restore();
    }
  }
  const markFrame = QEQ.frame.task(render, 'graph');
  const marker = (...names) => () => { for (const n of names) layers[n].dirty = true; markFrame(); };
  const mark = marker(...LAYERS);

  function drawGrid(g) {
    const p = plot();
    const bg = g.createLinearGradient(0, p.y, 0, p.y + p.h);
    bg.addColorStop(0, '#171b22'); bg.addColorStop(1, '#0f1217');
    g.fillStyle = bg; g.fillRect(p.x, p.y, p.w, p.h);
    g.lineWidth = 1;
    g.font = '11px system-ui, "Segoe UI", "DejaVu Sans", sans-serif';
    g.textBaseline = 'middle';
    const crisp = (v) => Math.round(v * dpr) / dpr + 0.5 / dpr;
    // Frequency grid: every 1-2-5 step faintly, decades and octave-ish labels brighter.
    for (let dec = 10; dec <= 10000; dec *= 10) {
      for (let m = 1; m < 10; m++) {
        const f = dec * m;
        if (f < 20 || f > 22000) continue;
        const x = crisp(freqToX(f));
        g.strokeStyle = m === 1 ? 'rgba(160,175,200,0.22)' : 'rgba(160,175,200,0.07)';
        g.beginPath(); g.moveTo(x, p.y); g.lineTo(x, p.y + p.h); g.stroke();
      }
    }
    g.fillStyle = '#7d8797'; g.textAlign = 'center';
    for (const f of [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000]) {
      g.fillText(f >= 1000 ? f / 1000 + 'k' : String(f), freqToX(f), p.y + p.h + 13);
    }
    // Octave ticks along the bottom edge (from 31.25 Hz up, the usual ISO centres).
    g.strokeStyle = 'rgba(160,175,200,0.35)';
    for (let f = 31.25; f < 22000; f *= 2) {
      const x = crisp(freqToX(f));
      g.beginPath(); g.moveTo(x, p.y + p.h - 5); g.lineTo(x, p.y + p.h); g.stroke();
    }
    // Gain grid.
    const step = range >= 30 ? 6 : range >= 12 ? 3 : 1;
    g.textAlign = 'right';
    for (let db = -range; db <= range + 1e-9; db += step) {
      const y = crisp(dbToY(db));
      g.strokeStyle = db === 0 ? 'rgba(200,210,230,0.30)' : 'rgba(160,175,200,0.09)';
      g.beginPath(); g.moveTo(p.x, y); g.lineTo(p.x + p.w, y); g.stroke();
      g.fillStyle = db === 0 ? '#c3cad6' : '#7d8797';
      g.fillText((db > 0 ? '+' : '') + db, p.x - 8, y);
    }
    g.textAlign = 'left'; g.fillStyle = '#586272';
    for (let db = ANALYSER_TOP - 12; db > ANALYSER_BOTTOM; db -= 12) g.fillText(String(db), p.x + p.w + 8, analyserToY(db));
    g.strokeStyle = 'rgba(160,175,200,0.18)';
    g.strokeRect(crisp(p.x), crisp(p.y), Math.round(p.w), Math.round(p.h));
  }

  /** Handle position of band i in CSS px: gain shapes sit at their gain, others on 0 dB. */
  function handlePos(i) {
    const v = QEQ.store.get;
    const shape = P.listIndex(v(P.bandId(i, F.SHAPE)), 8);
    const db = P.GAIN_SHAPES.has(shape) ? P.toPlain(F.GAIN, v(P.bandId(i, F.GAIN))) : 0;
    const p = plot();
    return {
      x: freqToX(P.toPlain(F.FREQ, v(P.bandId(i, F.FREQ)))),
      y: Math.max(p.y, Math.min(p.y + p.h, dbToY(db))),
    };
  }
  const enabled = (i) => P.isOn(QEQ.store.get(P.bandId(i, F.ENABLED)));

  function curvePath(ctx, points, close) {
    const p = plot();
    ctx.beginPath();
    points.forEach((pt, k) => {
      const x = freqToX(pt.freqHz), y = Math.max(p.y - 2, Math.min(p.y + p.h + 2, dbToY(pt.db)));
      if (k === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
    });
    if (close && points.length) {
      const y0 = dbToY(0);
      ctx.lineTo(freqToX(points[points.length - 1].freqHz), y0);
      ctx.lineTo(freqToX(points[0].freqHz), y0);
      ctx.closePath();
    }
  }

  function drawSpectrum(ctx) {
    const p = plot();
    if (!QEQ.analyser.enabled()) return;
    const cols = Math.ceil(p.w / 2);
    const edges = new Float64Array(cols + 1);
    for (let c = 0; c <= cols; c++) edges[c] = xToFreq(p.x + (p.w * c) / cols);
    const lv = QEQ.analyser.columns(edges);
    const base = p.y + p.h;
    ctx.beginPath(); ctx.moveTo(p.x, base);
    for (let c = 0; c < cols; c++) {
      const y = isFinite(lv[c]) ? Math.max(p.y, Math.min(base, analyserToY(lv[c]))) : base;
      ctx.lineTo(p.x + (p.w * (c + 0.5)) / cols, y);
    }
    ctx.lineTo(p.x + p.w, base); ctx.closePath();
    const gr = ctx.createLinearGradient(0, p.y, 0, base);
    gr.addColorStop(0, 'rgba(96,150,255,0.20)'); gr.addColorStop(1, 'rgba(96,150,255,0.02)');
    ctx.fillStyle = gr; ctx.fill();
    ctx.strokeStyle = 'rgba(130,175,255,0.28)'; ctx.lineWidth = 1; ctx.stroke();
  }

  function drawWaveform(ctx) {
    const p = plot();
    const w = QEQ.analyser.waveform();
    if (!w) return;
    const n = Math.min(w.left.length, w.right.length);
    const mid = p.y + p.h * 0.88, amp = p.h * 0.09;
    const cols = Math.floor(p.w / 2);
    ctx.font = '10px system-ui, "Segoe UI", "DejaVu Sans", sans-serif';
    ctx.textAlign = 'left'; ctx.textBaseline = 'bottom';
    ctx.fillStyle = 'rgba(150,200,190,0.45)';
    ctx.fillText('OUTPUT', p.x + 6, mid - amp - 2);
    ctx.fillStyle = 'rgba(150,200,190,0.22)';
    ctx.beginPath();
    const lo = new Float32Array(cols), hi = new Float32Array(cols);
    for (let c = 0; c < cols; c++) {
      let a = Infinity, b = -Infinity;
      const s0 = Math.floor((c * n) / cols), s1 = Math.max(s0 + 1, Math.floor(((c + 1) * n) / cols));
      for (let s = s0; s < s1; s++) { const v = 0.5 * (w.left[s] + w.right[s]); if (v < a) a = v; if (v > b) b = v; }
      lo[c] = Math.max(-1, a); hi[c] = Math.min(1, b);
    }
    for (let c = 0; c < cols; c++) ctx.lineTo(p.x + 2 * c, mid - hi[c] * amp);
    for (let c = cols - 1; c >= 0; c--) ctx.lineTo(p.x + 2 * c, mid - lo[c] * amp);
    ctx.closePath(); ctx.fill();
  }

  function drawBehind(ctx) {
    const p = plot();
    ctx.beginPath(); ctx.rect(p.x, p.y, p.w, p.h); ctx.clip();
    if (QEQ.live.linked()) {
      QEQ.liveDraw.drawSpectra(ctx);
    } else {
      drawSpectrum(ctx);
      drawWaveform(ctx);
    }
  }

  function drawHandles(ctx) {
    const sel = QEQ.ui.selected();
    ctx.font = '600 10px system-ui, "Segoe UI", "DejaVu Sans", sans-serif';
    ctx.textAlign = 'center'; ctx.textBaseline = 'middle';
    // The selected and the hovered handle go on top of any they overlap.
    const order = [...Array(P.BAND_COUNT).keys()].filter((i) => i !== sel && i !== hover);
    if (hover >= 0 && hover !== sel) order.push(hover);
    if (sel >= 0) order.push(sel);
    for (const i of order) {
      if (!enabled(i)) continue;
      const h = handlePos(i);
      const r = i === hover || i === sel ? HANDLE_R + 2 : HANDLE_R;
      if (i === sel) {
        ctx.beginPath(); ctx.arc(h.x, h.y, r + 5, 0, 2 * Math.PI);
        ctx.strokeStyle = QEQ.ui.bandColor(i, 0.45); ctx.lineWidth = 2; ctx.stroke();
      }
      ctx.beginPath(); ctx.arc(h.x, h.y, r, 0, 2 * Math.PI);
      ctx.fillStyle = QEQ.ui.bandColor(i, 0.95); ctx.fill();
      ctx.lineWidth = 1.5; ctx.strokeStyle = 'rgba(10,12,16,0.85)'; ctx.stroke();
      ctx.fillStyle = '#0b0d11'; ctx.fillText(String(i + 1), h.x, h.y + 0.5);
      if (i === QEQ.audition.band()) drawSoloMark(ctx, i, h, r);
    }
  }

  /** The auditioned band's handle: a second ring and "SOLO" below it (above near the bottom; the tooltip sits above). */
  function drawSoloMark(ctx, i, h, r) {
    ctx.beginPath(); ctx.arc(h.x, h.y, r + 9, 0, 2 * Math.PI);
    ctx.strokeStyle = 'rgba(255,255,255,0.85)'; ctx.lineWidth = 1.5; ctx.stroke();
    const p = plot(), below = p.y + p.h - h.y > 34;
    ctx.fillStyle = QEQ.ui.bandColor(i, 1);
    ctx.fillText('SOLO', h.x, below ? h.y + r + 18 : h.y - r - 18);
  }

  function drawCurves(c) {
    const p = plot();
    c.beginPath(); c.rect(p.x, p.y, p.w, p.h); c.clip();
    const sel = QEQ.ui.selected();
    for (const b of QEQ.curves.bands()) {
      if (!enabled(b.band)) continue;
      curvePath(c, b.points, true);
      c.fillStyle = QEQ.ui.bandColor(b.band, b.band === sel ? 0.26 : 0.13); c.fill();
      curvePath(c, b.points, false);
      c.strokeStyle = QEQ.ui.bandColor(b.band, b.band === sel ? 0.9 : 0.45);
      c.lineWidth = b.band === sel ? 1.6 : 1;
      // A dynamic band's static curve is its resting shape; its solid live curve moves on the live layer.
      c.setLineDash(QEQ.liveDraw.isLive(b.band) ? [5, 4] : []);
      c.stroke();
    }
    c.setLineDash([]);
    const sum = QEQ.curves.sum();
    if (sum.length) {
      curvePath(c, sum, false);
      c.lineJoin = 'round';
      c.strokeStyle = 'rgba(255,196,92,0.25)'; c.lineWidth = 6; c.stroke();
      c.strokeStyle = '#ffd27a'; c.lineWidth = 2.2; c.stroke();
    }
  }

  function init(base) {
    host = base.parentElement;
    const draws = { grid: drawGrid, spectrum: drawBehind, curves: drawCurves, live: QEQ.liveDraw.drawLiveBands, handles: drawHandles };
    let after = base;
    for (const name of LAYERS) {
      const canvas = name === 'grid' ? base : root.document.createElement('canvas');
      if (canvas !== base) {
        canvas.className = 'layer';
        canvas.setAttribute('aria-hidden', 'true');
        host.insertBefore(canvas, after.nextSibling);
        after = canvas;
      }
      layers[name] = { canvas, ctx: canvas.getContext('2d'), dirty: true, draw: draws[name] };
    }
    new root.ResizeObserver(resize).observe(host);
    // A move to a screen of another density changes devicePixelRatio: redraw sharp there.
    const watchDensity = () => root.matchMedia('(resolution: ' + (root.devicePixelRatio || 1) + 'dppx)')
      .addEventListener('change', () => { resize(); watchDensity(); }, { once: true });
    watchDensity();
    resize();
    const markCurves = marker('curves', 'live', 'handles');
    QEQ.store.onChange((id) => {
      const d = P.decodeId(id);
      // A band switched off locally disappears at once, before its curve is gone.
      if (d && (d.field === F.ENABLED || d.field === F.DYN_ENABLED)) markCurves(); else markHandles();
    });
    // Live band curves are drawn from the static ones, so they follow them.
    QEQ.curves.onUpdate(marker('curves', 'live'));
    QEQ.analyser.onUpdate(marker('spectrum'));
    QEQ.live.onUpdate((ch) => {
      if (ch.bands) layers.live.dirty = true;
      if (ch.spectra) layers.spectrum.dirty = true;
      markFrame();
    });
    QEQ.live.onMode(mark);
    QEQ.ui.onSelect(markCurves);
    QEQ.audition.onChange(markHandles);
  }
  const markHandles = () => { layers.handles.dirty = true; markFrame(); };
  const markLive = marker('spectrum', 'live');

  QEQ.graph = Object.freeze({
    init, mark, markLive, markHandles, plot, freqToX, xToFreq, dbToY, yToDb, analyserToY, handlePos, HANDLE_R,
    range: () => range,
    setRange(r) { range = r; geometry++; liveBox = null; mark(); },
    onResize: (fn) => resizeListeners.push(fn),
    /** The smallest box holding boxes a and b ({x, y, w, h}; null for none). */
    unite,
    geometry: () => geometry,
    setHover(i) { if (hover !== i) { hover = i; markHandles(); } },
  });
})(window);
