// Shared page state that is not a parameter: the selected band, band colours,
// and small DOM helpers used by the panels.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};

  // 24 hues spread so that neighbouring band numbers never look alike.
  const HUES = [];
  for (let i = 0; i < 24; i++) HUES.push((i * 137.508 + 18) % 360);
  const bandColor = (i, alpha, lightness) =>
    'hsla(' + HUES[i].toFixed(0) + ', 82%, ' + (lightness || 64) + '%, ' + (alpha === undefined ? 1 : alpha) + ')';

  let selected = 0;
  const listeners = [];

  function select(band) {
    band = Math.max(-1, Math.min(23, band | 0));
    if (band === selected) return;
    selected = band;
    for (const fn of listeners) fn(band);
  }

  function el(tag, attrs, children) {
    const e = root.document.createElement(tag);
    if (attrs) for (const k of Object.keys(attrs)) {
      if (k === 'text') e.textContent = attrs[k];
      else if (k === 'class') e.className = attrs[k];
      else if (k.startsWith('on')) e.addEventListener(k.slice(2), attrs[k]);
      else e.setAttribute(k, attrs[k]);
    }
    if (children) for (const c of children) if (c) e.appendChild(c);
    return e;
  }

  let statusTimer = 0;
  /** Shows a short message in the status line (and to screen readers). */
  function status(text, kind) {
    const s = root.document.getElementById('status');
    if (!s) return;
    s.textContent = text;
    s.className = 'status ' + (kind || '');
    clearTimeout(statusTimer);
    statusTimer = setTimeout(() => { s.textContent = ''; s.className = 'status'; }, 6000);
  }

  QEQ.ui = Object.freeze({
    bandColor, el, status, select,
    selected: () => selected,
    onSelect: (fn) => listeners.push(fn),
  });
})(window);
