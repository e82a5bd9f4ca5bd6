// Hearing one band alone ("solo"), to find a resonance: while Ctrl is held on
// a band's handle, or while the band panel's Solo button is on. The processor
// ends an audition by itself when it is not renewed for a second, so the page
// renews it every 300 ms and says -1 as soon as the user lets go, the band is
// switched off, another band is selected from the panel, or the editor is
// hidden or closed. A refusal (no link, band off) only ends it quietly.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const RENEW_MS = 300;

  let band = -1;      // band being auditioned, -1 for none
  let how = null;     // 'hold' (modifier + press on a handle) or 'button'
  let timer = 0;
  let generation = 0; // tells a late refusal of an earlier audition from the current one
  const listeners = [];
  const notify = () => { for (const fn of listeners) fn(band); };
  const bandOn = (i) => P.isOn(QEQ.store.get(P.bandId(i, F.ENABLED)));

  function ask(i, gen) {
    QEQ.bridge.setAuditionBand(i).then((ok) => { if (!ok && gen === generation && band >= 0) end(false); });
  }

  /** Starts (or moves) the audition to band i; false when it cannot be had now. */
  function start(i, source) {
    if (!QEQ.live.linked() || i < 0 || i >= P.BAND_COUNT || !bandOn(i)) return false;
    how = source;
    if (band === i) return true;
    band = i;
    const gen = ++generation;
    ask(i, gen);
    clearInterval(timer);
    timer = setInterval(() => ask(i, gen), RENEW_MS);
    notify();
    return true;
  }

  /** Ends any audition; `tell` false when the processor has already refused it. */
  function end(tell) {
    if (band < 0) return;
    band = -1; how = null; generation++;
    clearInterval(timer); timer = 0;
    if (tell !== false) QEQ.bridge.setAuditionBand(-1);
    notify();
  }

  QEQ.store.onChange((id) => {
    const d = P.decodeId(id);
    if (d && d.field === F.ENABLED && d.band === band && !bandOn(band)) end();
  });
  QEQ.ui.onSelect((i) => { if (how === 'button' && i !== band) end(); });
  QEQ.live.onMode((m) => { if (m !== 'live') end(); });
  root.addEventListener('pagehide', () => end());
  root.document.addEventListener('visibilitychange', () => { if (root.document.hidden) end(); });

  QEQ.audition = Object.freeze({
    start, end,
    /** Ends an audition that a held press started (the press is over). */
    release() { if (how === 'hold') end(); },
    /** Solo button: the selected band on or off. */
    toggle(i) { if (band === i) end(); else start(i, 'button'); },
    band: () => band,
    onChange: (fn) => listeners.push(fn),
  });
})(window);
