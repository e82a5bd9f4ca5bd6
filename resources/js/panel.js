// The selected band's 13 parameters in real units, and the strip of 24 bands.
// Sliders work on normalised values; their text comes from the mappings.
// Dragging a slider is one host gesture; menus and switches are single edits.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const P = QEQ.params;
  const F = P.F;
  const S = () => QEQ.store;
  const el = (...a) => QEQ.ui.el(...a);

  const SLIDERS = [F.FREQ, F.GAIN, F.Q, F.THRESHOLD, F.RATIO, F.ATTACK, F.RELEASE];
  const MENUS = { [F.SHAPE]: P.LISTS.shape, [F.SLOPE]: P.LISTS.slope, [F.CHANNEL]: P.LISTS.channel, [F.SIDECHAIN]: P.LISTS.sidechain };
  const LABELS = { [F.FREQ]: 'Frequency', [F.GAIN]: 'Gain', [F.Q]: 'Q', [F.THRESHOLD]: 'Threshold', [F.RATIO]: 'Ratio',
    [F.ATTACK]: 'Attack', [F.RELEASE]: 'Release', [F.SHAPE]: 'Shape', [F.SLOPE]: 'Slope', [F.CHANNEL]: 'Channel',
    [F.SIDECHAIN]: 'Sidechain', [F.ENABLED]: 'Enabled', [F.DYN_ENABLED]: 'Dynamics' };

  const controls = {}; // field -> {input, out?}
  let title, dot, chips = [];
  const band = () => Math.max(0, QEQ.ui.selected());
  const bid = (field) => P.bandId(band(), field);
  const label = (field) => 'Band ' + (band() + 1) + ' ' + LABELS[field];
  // Writes only what changed: refresh runs every frame while something moves.
  const setText = (e, t) => { if (e.textContent !== t) e.textContent = t; };
  const setAttr = (e, k, v) => { if (e.getAttribute(k) !== v) e.setAttribute(k, v); };
  let shownBand = -1;

  function slider(field) {
    const input = el('input', { type: 'range', min: '0', max: '1', step: '0.0005', 'data-field': String(field) });
    const out = el('output', { class: 'readout' });
    let g = null;
    input.addEventListener('input', () => {
      if (!g) g = S().gesture(label(field));
      g.set(bid(field), Number(input.value));
    });
    input.addEventListener('change', () => { if (g) { g.end(); g = null; } });
    // Arrow keys step by 1 % of the range (Shift: 0.1 %), Page keys by 10 %.
    input.addEventListener('keydown', (ev) => {
      const steps = { ArrowRight: 1, ArrowUp: 1, ArrowLeft: -1, ArrowDown: -1, PageUp: 10, PageDown: -10 };
      if (!(ev.key in steps)) return;
      ev.preventDefault();
      const delta = steps[ev.key] * (ev.shiftKey ? 0.001 : 0.01);
      S().setValues(label(field), { [bid(field)]: S().get(bid(field)) + delta }, { mergeKey: 'slider:' + bid(field) });
    });
    input.addEventListener('dblclick', () => S().setValues('Reset ' + label(field), { [bid(field)]: P.defaultValue(bid(field)) }));
    controls[field] = { input, out, kind: 'slider' };
    return el('label', { class: 'ctl slider' }, [el('span', { class: 'name', text: LABELS[field] }), input, out]);
  }

  function menu(field) {
    const list = MENUS[field];
    const input = el('select', { 'data-field': String(field) }, list.map((t, i) => el('option', { value: String(i), text: t })));
    input.addEventListener('change', () =>
      S().setValues(label(field) + ' ' + list[input.value], { [bid(field)]: P.listNorm(Number(input.value), list.length - 1) }));
    controls[field] = { input, kind: 'menu', steps: list.length - 1 };
    return el('label', { class: 'ctl menu' }, [el('span', { class: 'name', text: LABELS[field] }), input]);
  }

  function toggle(field, text) {
    const input = el('button', { type: 'button', role: 'switch', class: 'switch', 'data-field': String(field) },
      [el('span', { class: 'knob' }), el('span', { class: 'switch-text', text })]);
    input.addEventListener('click', () => {
      const on = P.isOn(S().get(bid(field)));
      S().setValues(label(field) + (on ? ' off' : ' on'), { [bid(field)]: on ? 0 : 1 });
    });
    controls[field] = { input, kind: 'switch' };
    return input;
  }

  function refresh() {
    const i = band();
    const panel = root.document.getElementById('band-panel');
    if (shownBand !== i) {
      shownBand = i;
      const color = QEQ.ui.bandColor(i);
      title.textContent = 'Band ' + (i + 1);
      dot.style.background = color;
      panel.style.setProperty('--band', color);
    }
    for (const key of Object.keys(controls)) {
      const field = Number(key), c = controls[key], x = S().get(P.bandId(i, field));
      setAttr(c.input, 'aria-label', label(field));
      if (c.kind === 'slider') {
        if (Number(c.input.value) !== x) c.input.value = String(x);
        const text = P.formatField(field, x);
        setText(c.out, text);
        setAttr(c.input, 'aria-valuetext', text);
        c.input.style.setProperty('--fill', (x * 100).toFixed(2) + '%');
      } else if (c.kind === 'menu') {
        const v = String(P.listIndex(x, c.steps));
        if (c.input.value !== v) c.input.value = v;
      } else {
        setAttr(c.input, 'aria-checked', String(P.isOn(x)));
      }
    }
    const shape = P.listIndex(S().get(bid(F.SHAPE)), 8);
    controls[F.GAIN].input.closest('.ctl').classList.toggle('inactive', !P.GAIN_SHAPES.has(shape));
    controls[F.SLOPE].input.closest('.ctl').classList.toggle('inactive', shape !== 3 && shape !== 4);
    root.document.getElementById('dyn-section').classList.toggle('off', !P.isOn(S().get(bid(F.DYN_ENABLED))));
    panel.classList.toggle('band-off', !P.isOn(S().get(bid(F.ENABLED))));
    refreshSolo();
    refreshStrip();
  }

  // Solo needs this instance's processor and an enabled band.
  function refreshSolo() {
    const solo = root.document.getElementById('solo');
    const i = band();
    setAttr(solo, 'aria-label', 'Solo band ' + (i + 1));
    setAttr(solo, 'aria-pressed', String(QEQ.audition.band() === i));
    solo.disabled = !QEQ.live.linked() || !P.isOn(S().get(bid(F.ENABLED)));
  }

  function refreshStrip() {
    chips.forEach((chip, i) => {
      const v = (f) => S().get(P.bandId(i, f));
      const on = P.isOn(v(F.ENABLED));
      const freq = P.formatField(F.FREQ, v(F.FREQ));
      chip.classList.toggle('on', on);
      setAttr(chip, 'aria-selected', String(i === QEQ.ui.selected()));
      const tab = i === band() ? 0 : -1;
      if (chip.tabIndex !== tab) chip.tabIndex = tab;
      setText(chip.querySelector('.freq'), on ? freq : 'off');
      setAttr(chip, 'aria-label', 'Band ' + (i + 1) + ', ' + (on ? 'enabled, ' + P.formatField(F.SHAPE, v(F.SHAPE)) + ' at ' + freq : 'disabled'));
    });
  }

  function toggleBand(i) {
    const on = P.isOn(S().get(P.bandId(i, F.ENABLED)));
    S().setValues((on ? 'Remove' : 'Add') + ' Band ' + (i + 1), { [P.bandId(i, F.ENABLED)]: on ? 0 : 1 });
  }

  function buildStrip(host) {
    for (let i = 0; i < P.BAND_COUNT; i++) {
      const power = el('span', { class: 'power', title: 'Enable or disable', 'aria-hidden': 'true' });
      const chip = el('div', { class: 'chip', role: 'tab', 'aria-controls': 'band-panel', 'data-band': String(i) },
        [el('span', { class: 'num', text: String(i + 1) }), el('span', { class: 'freq' }), power]);
      chip.style.setProperty('--band', QEQ.ui.bandColor(i));
      chip.addEventListener('click', (ev) => {
        QEQ.ui.select(i);
        if (ev.target === power) toggleBand(i);
      });
      chip.addEventListener('dblclick', (ev) => { if (ev.target !== power) toggleBand(i); });
      chip.addEventListener('keydown', (ev) => {
        let next = -1;
        if (ev.key === 'ArrowRight') next = (i + 1) % 24;
        else if (ev.key === 'ArrowLeft') next = (i + 23) % 24;
        else if (ev.key === ' ' || ev.key === 'Enter') { toggleBand(i); ev.preventDefault(); return; }
        if (next >= 0) { QEQ.ui.select(next); chips[next].focus(); ev.preventDefault(); }
      });
      chips.push(chip);
      host.appendChild(chip);
    }
  }

  function init() {
    const d = root.document;
    title = d.getElementById('band-title');
    dot = d.getElementById('band-dot');
    d.getElementById('band-enable').appendChild(toggle(F.ENABLED, 'On'));
    const filt = d.getElementById('filter-controls');
    [menu(F.SHAPE), menu(F.SLOPE), menu(F.CHANNEL), slider(F.FREQ), slider(F.GAIN), slider(F.Q)].forEach((c) => filt.appendChild(c));
    d.getElementById('dyn-enable').appendChild(toggle(F.DYN_ENABLED, 'Dynamics'));
    const dyn = d.getElementById('dyn-controls');
    [slider(F.THRESHOLD), slider(F.RATIO), menu(F.SIDECHAIN), slider(F.ATTACK), slider(F.RELEASE)].forEach((c) => dyn.appendChild(c));
    buildStrip(d.getElementById('band-strip'));
    d.getElementById('solo').addEventListener('click', () => QEQ.audition.toggle(band()));
    const mark = QEQ.frame.task(refresh);
    QEQ.store.onChange(mark);
    QEQ.ui.onSelect(mark);
    QEQ.audition.onChange(mark);
    QEQ.live.onMode(mark);
    mark();
  }

  QEQ.panel = Object.freeze({ init });
})(window);
