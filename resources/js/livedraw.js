// Draws this instance's live analysis on the graph, behind the band curves:
// the spectra before the equaliser (grey), after it (blue) and of the
// side-chain (pink), each one switchable, and every dynamic band's live curve:
// its usual fill down to 0 dB, and the area between its static and its live
// curve (the gain its dynamics take away now) in a lighter shade of the band's
// colour, so Threshold, Ratio, Attack and Release can be tuned by eye.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;

  const shown = { pre: true, post: true, sidechain: false };
  const STYLE = {
    pre: { line: 'rgba(178,186,200,0.42)', fill: ['rgba(150,158,172,0.13)', 'rgba(150,158,172,0.02)'] },
    post: { line: 'rgba(130,175,255,0.62)', fill: ['rgba(96,150,255,0.22)', 'rgba(96,150,255,0.03)'] },
    sidechain: { line: 'rgba(240,122,204,0.80)', fill: null },
  };

  function spectrum(ctx, freqHz, levels, style) {
    const G = QEQ.graph, p = G.plot(), base = p.y + p.h;
    ctx.beginPath();
    for (let k = 0; k < levels.length; k++) {
      const x = G.freqToX(freqHz[k]), y = Math.max(p.y, Math.min(base, G.analyserToY(levels[k])));
      if (k === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
    }
    ctx.strokeStyle = style.line; ctx.lineWidth = 1.2; ctx.lineJoin = 'round';
    ctx.stroke();
    if (!style.fill) return;
    ctx.lineTo(G.freqToX(freqHz[levels.length - 1]), base);
    ctx.lineTo(G.freqToX(freqHz[0]), base);
    ctx.closePath();
    const gr = ctx.createLinearGradient(0, p.y, 0, base);
    gr.addColorStop(0, style.fill[0]); gr.addColorStop(1, style.fill[1]);
    ctx.fillStyle = gr; ctx.fill();
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

  function drawLiveBands(ctx) {
    const G = QEQ.graph, sel = QEQ.ui.selected();
    for (const entry of QEQ.curves.bands()) {
      const i = entry.band;
      if (!isLive(i)) continue;
      const live = QEQ.live.band(i);
      const share = live ? liveShare(i, live.gainDb) : 1;
      const livePoints = share === 1 ? entry.points : entry.points.map((pt) => ({ freqHz: pt.freqHz, db: pt.db * share }));
      G.curvePath(ctx, livePoints, true);
      ctx.fillStyle = QEQ.ui.bandColor(i, i === sel ? 0.26 : 0.13); ctx.fill();
      if (share !== 1) {
        G.curvePath(ctx, entry.points, livePoints);
        ctx.fillStyle = QEQ.ui.bandColor(i, 0.42, 80); ctx.fill();
      }
      G.curvePath(ctx, livePoints, false);
      ctx.strokeStyle = QEQ.ui.bandColor(i, 1, 72); ctx.lineWidth = 1.8; ctx.stroke();
    }
  }

  QEQ.liveDraw = Object.freeze({
    drawSpectra, drawLiveBands, liveShare, isLive,
    shown: (kind) => shown[kind],
    setShown(kind, on) { if (kind in shown) { shown[kind] = !!on; QEQ.graph.markLive(); } },
  });
})(window);
