// Preset browser: the plug-in's preset list shown as folders, loading, saving
// under a new name (checked with the plug-in's own name rules first, so a
// refusal can say why) and recalling the automatically saved current state.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};
  const B = QEQ.bridge;
  const P = QEQ.params;

  let names = [];
  let current = '';
  const listeners = [];
  const notify = () => { for (const fn of listeners) fn(); };

  /** Turns "a/b/c" names into nested {folders: Map, presets: [{name, leaf}]}. */
  function tree(list) {
    const rootNode = { folders: new Map(), presets: [] };
    for (const name of list) {
      const parts = name.split('/');
      let node = rootNode;
      for (let i = 0; i < parts.length - 1; i++) {
        if (!node.folders.has(parts[i])) node.folders.set(parts[i], { folders: new Map(), presets: [] });
        node = node.folders.get(parts[i]);
      }
      node.presets.push({ name, leaf: parts[parts.length - 1] });
    }
    return rootNode;
  }

  async function refresh() {
    names = await B.listPresets();
    notify();
    return names;
  }

  // Loading is an edit like any other: it becomes one undo step.
  async function recordAround(label, action) {
    const before = QEQ.store.snapshot();
    const ok = await action();
    if (ok) {
      const after = QEQ.store.snapshot();
      const ch = [];
      for (const id of QEQ.store.ids) if (before[id] !== after[id]) ch.push([id, before[id], after[id]]);
      if (ch.length) QEQ.history.record(label, ch);
    }
    return ok;
  }

  async function load(name) {
    const ok = await recordAround('Load ' + name, () => B.loadPresetByName(name));
    if (ok) { current = name; notify(); }
    return ok;
  }

  /** Resolves with {ok, message}; message explains a refusal in words. */
  async function save(name) {
    const problem = P.presetNameProblem(name);
    if (problem) return { ok: false, message: problem };
    const ok = await B.savePresetByName(name);
    if (!ok) return { ok: false, message: 'The plug-in could not write "' + name + '".' };
    current = name;
    await refresh();
    return { ok: true, message: 'Saved "' + name + '".' };
  }

  async function restore() {
    const ok = await recordAround('Restore current state', () => B.restoreCurrentState());
    if (ok) { current = ''; notify(); }
    return ok;
  }

  QEQ.presets = Object.freeze({
    refresh, load, save, restore, tree,
    names: () => names.slice(),
    current: () => current,
    onChange: (fn) => listeners.push(fn),
  });
})(window);
