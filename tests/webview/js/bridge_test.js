// The page side of the bridge, run for real: a document is a fresh V8 context
// with the installed stubs, whose window.external.invoke feeds the C++ bridge
// (bridge_host) and whose answers are evaluated back in the page. Numbering
// per document and change notifications are checked by the C++ tests on the
// scripts the bridge sends, and by the editor tests in a real browser.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const { execFileSync } = require('node:child_process');

// One run of the bridge program: its first line holds the init scripts, then one line of scripts per message.
function bridge(messages) {
  const input = messages.map((message) => JSON.stringify({ message }) + '\n').join('');
  return execFileSync(process.argv[2], { input }).toString().trim().split('\n').map((line) => JSON.parse(line));
}

test('calls resolve with their results, unknown and throwing ones stay pending', async () => {
  const ctx = vm.createContext({});
  const posted = [], errors = [];
  const run = (script) => { try { return vm.runInContext(script, ctx); } catch (e) { errors.push(e); return undefined; } };
  run('var window = this;');
  ctx.external = { invoke: (text) => posted.push(text) };
  for (const script of [...bridge([])[0].init, `
    var results = {};
    echo(1, 'Grüße €', [true], {k: null}).then(function (e) { results.echo = e; });
    nothing().then(function (v) { results.nothing = v; });
    boom().then(function () { results.boom = 'resolved'; }, function () { results.boom = 'rejected'; });
    window.external.invoke(JSON.stringify({id: 50, method: 'noSuchFunction', params: []}));
  `]) run(script);
  // The page posted every call before any answer came back: the answers run as they would arrive.
  const answers = bridge(posted).slice(1).flatMap((reply) => reply.eval);
  answers.forEach(run);
  await new Promise((resolve) => setImmediate(resolve));
  assert.deepEqual(errors, []);
  assert.deepEqual(JSON.parse(posted[0]), { id: 1, method: 'echo', params: [1, 'Grüße €', [true], { k: null }] });
  assert.deepEqual(JSON.parse(JSON.stringify(run('results'))), { echo: [1, 'Grüße €', [true], { k: null }], nothing: null });
  assert.equal(answers.length, 2, 'only the bound functions that returned were answered');
  assert.deepEqual(Object.keys(run('window._rpc')), ['3', 'nextSeq'], 'answered calls are removed, boom stays');
});
