// The preset browser popover: folders and presets from "listPresets", a
// save-as field that explains refused names, and "restore current state".
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const el = (...a) => QEQ.ui.el(...a);
  const $ = (id) => root.document.getElementById(id);
  const open = new Set(); // folder paths shown expanded

  function renderNode(node, path, depth, host) {
    for (const [name, child] of [...node.folders].sort((a, b) => (a[0] < b[0] ? -1 : 1))) {
      const full = path ? path + '/' + name : name;
      const expanded = open.has(full);
      const row = el('button', { type: 'button', class: 'row folder', 'aria-expanded': String(expanded),
        style: '--depth:' + depth, text: name });
      row.addEventListener('click', () => { if (expanded) open.delete(full); else open.add(full); render(); });
      host.appendChild(el('li', null, [row]));
      if (expanded) renderNode(child, full, depth + 1, host);
    }
    for (const p of node.presets) {
      const row = el('button', { type: 'button', class: 'row preset' + (p.name === QEQ.presets.current() ? ' current' : ''),
        style: '--depth:' + depth, text: p.leaf, 'data-name': p.name });
      row.addEventListener('click', async () => {
        const ok = await QEQ.presets.load(p.name);
        QEQ.ui.status(ok ? 'Loaded "' + p.name + '".' : 'Could not load "' + p.name + '".', ok ? '' : 'warn');
        if (ok) hide();
      });
      host.appendChild(el('li', null, [row]));
    }
  }

  function render() {
    const list = $('preset-list');
    list.textContent = '';
    const names = QEQ.presets.names();
    if (!names.length) list.appendChild(el('li', { class: 'empty', text: 'No presets saved yet.' }));
    renderNode(QEQ.presets.tree(names), '', 0, list);
    $('preset-name').textContent = QEQ.presets.current() || 'Presets';
  }

  function show() {
    $('preset-pop').hidden = false;
    $('preset-button').setAttribute('aria-expanded', 'true');
    QEQ.presets.refresh();
    $('save-name').focus();
  }
  function hide() {
    if ($('preset-pop').hidden) return;
    $('preset-pop').hidden = true;
    $('preset-button').setAttribute('aria-expanded', 'false');
    $('preset-button').focus();
  }

  async function save(ev) {
    ev.preventDefault();
    const input = $('save-name');
    const msg = $('save-message');
    const r = await QEQ.presets.save(input.value);
    msg.textContent = r.message;
    msg.className = 'message ' + (r.ok ? 'ok' : 'error');
    input.setAttribute('aria-invalid', String(!r.ok));
    if (r.ok) { QEQ.ui.status(r.message); input.value = ''; }
  }

  function init() {
    $('preset-button').addEventListener('click', () => ($('preset-pop').hidden ? show() : hide()));
    $('save-form').addEventListener('submit', save);
    $('save-name').addEventListener('input', () => {
      $('save-message').textContent = '';
      $('save-name').removeAttribute('aria-invalid');
    });
    $('restore').addEventListener('click', async () => {
      const ok = await QEQ.presets.restore();
      QEQ.ui.status(ok ? 'Restored the last saved state.' : 'No saved state to restore.', ok ? '' : 'warn');
    });
    $('preset-pop').addEventListener('keydown', (ev) => { if (ev.key === 'Escape') { hide(); ev.stopPropagation(); } });
    root.document.addEventListener('pointerdown', (ev) => {
      if (!$('preset-pop').hidden && !ev.target.closest('#preset-pop, #preset-button')) hide();
    });
    QEQ.presets.onChange(render);
    render();
  }

  QEQ.presetView = Object.freeze({ init, show, hide });
})(window);
