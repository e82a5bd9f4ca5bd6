// Draws this instance's live analysis on the graph: behind the band curves
// the spectra before the equaliser (grey), after it (blue) and of the
// side-chain (pink), each one switchable; over them every dynamic band's live
// curve, with the area between its static and its live curve (the gain its
// dynamics take away now) in a light shade of the band's colour, so
// Threshold, Ratio, Attack and Release can be tuned by eye.
// These layers are redrawn for every analysis while audio runs, so they keep
// to what software rasterisers draw fast: solid fills, 1 px lines, and band
// curves cut to the stretch where the band does anything. A live curve is the
// static one scaled toward 0 dB, so each band's paths are built once per
// static curve and only scaled per frame: a few calls per band, not hundreds.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;

  const shown = { pre: true, post: true, sidechain: false };
  const STYLE = {
    pre: { line: 'rgba(178,186,200,0.45)', fill: 'rgba(150,158,172,0.08)' },
    post: { line: 'rgba(130,175,255,0.70)', fill: 'rgba(96,150,255,0.13)' },
    sidechain: { line: 'rgba(240,122,204,0.85)', fill: null },
  };

  function spectrum(ctx, freqHz, levels, style) {
    const G = QEQ.graph, p = G.plot(), base = p.y + p.h;
    ctx.beginPath();
    for (let k = 0; k < levels.length; k++) {
      const x = G.freqToX(freqHz[k]), y = Math.max(p.y, Math.min(base, G.analyserToY(levels[k])));
      if (k === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
    }
    ctx.strokeStyle = style.line; ctx.lineWidth = 1;
    ctx.stroke();
    if (!style.fill) return;
    ctx.lineTo(G.freqToX(freqHz[levels.length - 1]), base);
    ctx.lineTo(G.freqToX(freqHz[0]), base);
    ctx.closePath();
    ctx.fillStyle = style.fill; ctx.fill();
  }

  function drawSpectra(ctx) {
    const a = QEQ.live.analysis();
    if (!a || !QEQ.analyser.enabled()) return;
    for (const kind of ['pre', 'sidechain', 'post']) if (shown[kind] && a[kind]) spectrum(ctx, a.freqHz, a[kind], STYLE[kind]);
  }

  /**
   * Share of band i's static response (in dB) that its live gain keeps: live / static
   * gain, 1 for a static gain of 0 dB. Clamped to 0..1, since the live gain lies
   * between the static gain and 0 dB (a reading taken before a gain edit may not).
   */
  function liveShare(i, liveDb) {
    const g = P.toPlain(F.GAIN, QEQ.store.get(P.bandId(i, F.GAIN)));
    if (g === 0) return 1;
    return Math.max(0, Math.min(1, liveDb / g));
  }

  /** Whether band i's gain moves with its dynamics here: linked, enabled, dynamics on, a gain shape. */
  function isLive(i) {
    const v = (f) => QEQ.store.get(P.bandId(i, f));
    return QEQ.live.linked() && P.isOn(v(F.ENABLED)) && P.isOn(v(F.DYN_ENABLED)) && P.GAIN_SHAPES.has(P.listIndex(v(F.SHAPE), 8));
  }

  /**
   * The part of a band's curve that differs from 0 dB by more than a hundredth
   * of a dB, with one point either side: the rest would be drawn along the 0 dB
   * line for nothing, and long strokes are what software rasterisers are slow at.
   */
  function activeSpan(points) {
    let a = 0, b = points.length - 1;
    while (a < b && Math.abs(points[a].db) < 0.01) a++;
    while (b > a && Math.abs(points[b].db) < 0.01) b--;
    return a === 0 && b === points.length - 1 ? points : points.slice(Math.max(0, a - 1), b + 2);
  }

  // Per static band curve (until new curves arrive or the graph changes size or
  // range): its active stretch as a line and as an area closed along 0 dB, in
  // px with y measured from the 0 dB line, so that scaling y scales the gain.
  const traces = new WeakMap();
  function trace(entry) {
    const G = QEQ.graph;
    let t = traces.get(entry);
    if (!t || t.geometry !== G.geometry()) {
      const points = activeSpan(entry.points), y0 = G.dbToY(0);
      const line = new Path2D();
      points.forEach((pt, k) => { if (k) line.lineTo(G.freqToX(pt.freqHz), G.dbToY(pt.db) - y0); else line.moveTo(G.freqToX(pt.freqHz), G.dbToY(pt.db) - y0); });
      const area = new Path2D(line);
      let box = null;
      if (points.length) {
        const x0 = G.freqToX(points[0].freqHz), x1 = G.freqToX(points[points.length - 1].freqHz);
        area.lineTo(x1, 0);
        area.lineTo(x0, 0);
        area.closePath();
        const ys = points.map((pt) => G.dbToY(pt.db));
        const top = Math.min(y0, ...ys), bottom = Math.max(y0, ...ys);
        box = { x: x0, y: top, w: x1 - x0, h: bottom - top };
      }
      t = { geometry: G.geometry(), line, area, box };
      traces.set(entry, t);
    }
    return t;
  }

  function drawLiveBands(ctx) {
    if (!QEQ.live.linked()) return;
    const y0 = QEQ.graph.dbToY(0);
    ctx.lineWidth = 1;
    for (const entry of QEQ.curves.bands()) {
      const i = entry.band;
      if (!isLive(i)) continue;
      const live = QEQ.live.band(i);
      const share = live ? liveShare(i, live.gainDb) : 1;
      const t = trace(entry);
      if (!t.box) continue;
      const scaled = { a: 1, d: share, f: y0 };
      if (share !== 1) {
        // The static area less the live one (inside it, on the same side of 0 dB): even-odd leaves the difference.
        const between = new Path2D();
        between.addPath(t.area, { a: 1, d: 1, f: y0 });
        between.addPath(t.area, scaled);
        ctx.fillStyle = QEQ.ui.bandColor(i, 0.36, 80); ctx.fill(between, 'evenodd');
      }
      const liveLine = new Path2D();
      liveLine.addPath(t.line, scaled);
      ctx.strokeStyle = QEQ.ui.bandColor(i, 1, 74); ctx.stroke(liveLine);
    }
  }

  /** The box (CSS px) that every live band's curve stays in: its static curve's, down to 0 dB; null for none. */
  function extent() {
    let r = null;
    if (!QEQ.live.linked()) return r;
    for (const entry of QEQ.curves.bands()) {
      if (!isLive(entry.band)) continue;
      const b = trace(entry).box;
      if (!b) continue;
      r = QEQ.graph.unite(r, b);
    }
    return r;
  }

  QEQ.liveDraw = Object.freeze({
    drawSpectra, drawLiveBands, liveShare, isLive, extent,
    shown: (kind) => shown[kind],
    setShown(kind, on) { if (kind in shown) { shown[kind] = !!on; QEQ.graph.markLive(); } },
  });
})(window);
