// Typed wrappers around the functions the plug-in installs as globals.
// Each returns a promise that never rejects: a missing function (page opened
// outside the plug-in) or a thrown stub resolves with the call's "refused"
// value, so callers handle one outcome only. UI thread of the page.
(function (root) {
  'use strict';
  const QEQ = root.QEQ = root.QEQ || {};

  function call(name, fallback, args) {
    const fn = root[name];
    if (typeof fn !== 'function') return Promise.resolve(fallback);
    try {
      return Promise.resolve(fn.apply(root, args)).then(
        (v) => (v === undefined ? fallback : v), () => fallback);
    } catch (e) {
      return Promise.resolve(fallback);
    }
  }
  const asNumber = (v, d) => (typeof v === 'number' && isFinite(v) ? v : d);
  const asString = (v) => (typeof v === 'string' ? v : '');
  const asArray = (v) => (Array.isArray(v) ? v : []);

  QEQ.bridge = Object.freeze({
    available: () => typeof root.getParamNormalized === 'function',
    // Parameter bindings. Identifiers are integers; values normalised 0..1.
    getParameterObject: (id) => call('getParameterObject', null, [id]),
    /** Resolves with an array indexed by identifier (null holes), or null. */
    getParameterObjects: (ids) => call('getParameterObjects', null, [ids]),
    subscribeParameter: (id) => call('subscribeParameter', null, [id]),
    setParamNormalized: (id, x) => call('setParamNormalized', false, [id, x]),
    normalizedParamToPlain: (id, x) => call('normalizedParamToPlain', x, [id, x]).then((v) => asNumber(v, x)),
    getParamNormalized: (id) => call('getParamNormalized', null, [id]),
    beginEdit: (id) => call('beginEdit', false, [id]),
    performEdit: (id, x) => call('performEdit', false, [id, x]),
    endEdit: (id) => call('endEdit', false, [id]),
    getParameterCount: () => call('getParameterCount', 0, []).then((v) => asNumber(v, 0)),
    getSelectedUnit: () => call('getSelectedUnit', 0, []),
    selectUnit: (unit) => call('selectUnit', -1, [unit]),
    sendMessage: (msgId, attrs) => call('sendMessage', false, [msgId, attrs || {}]),
    // Display bindings.
    /** Resolves with [{freqHz, db}] ascending in frequency ([] when unavailable). */
    getEqCurve: (n) => call('getEqCurve', [], [n]).then(asArray),
    /** Resolves with [{band (0-based), points: [{freqHz, db}]}] for enabled bands. */
    getEqBandCurves: (n) => call('getEqBandCurves', [], [n]).then(asArray),
    /** Resolves with {sampleRate (Hz), left: [], right: []}, oldest sample first, or null. */
    getEqWaveformRaw: (n) => call('getEqWaveformRaw', null, [n]).then((v) =>
      (v && Array.isArray(v.left) && Array.isArray(v.right) ? v : null)),
    /**
     * Resolves with this instance's live analysis {sampleRate, freqHz, pre, post,
     * sidechain, bands, outputPeakDb, outputRmsDb, frames}, or null without a link
     * to the processor (or from a plug-in that does not offer it).
     */
    getInstanceAnalysis: (n) => call('getInstanceAnalysis', null, [n]).then((v) => (v && typeof v === 'object' ? v : null)),
    /** Auditions band i (0-based) alone, renewed by calling again; -1 ends it. Resolves true when it reached the processor. */
    setAuditionBand: (band) => call('setAuditionBand', false, [band | 0]).then((v) => v === true),
    // Presets, A/B, history, version, links.
    listPresets: () => call('listPresets', [], []).then((v) => asArray(v).filter((s) => typeof s === 'string')),
    loadPresetByName: (name) => call('loadPresetByName', false, [name]).then((v) => v === true),
    savePresetByName: (name) => call('savePresetByName', false, [name]).then((v) => v === true),
    restoreCurrentState: () => call('restoreCurrentState', false, []).then((v) => v === true),
    getPluginVersion: () => call('getPluginVersion', '', []).then(asString),
    openExternalUrl: (url) => call('openExternalUrl', false, [url]).then((v) => v === true),
    getAbActiveSlot: () => call('getAbActiveSlot', 0, []).then((v) => asNumber(v, 0)),
    setAbActiveSlot: (slot) => call('setAbActiveSlot', false, [slot | 0]),
    getAbInactiveSlotJson: () => call('getAbInactiveSlotJson', '', []).then(asString),
    setAbInactiveSlotJson: (text) => call('setAbInactiveSlotJson', false, [String(text)]),
    getHistoryState: () => call('getHistoryState', '', []).then(asString),
    setHistoryState: (text) => call('setHistoryState', false, [String(text)]),
  });
})(window);
