// The page side of the bridge, run for real: each document is a fresh V8
// context with the installed stubs, whose window.external.invoke feeds the
// C++ bridge (bridge_host) and whose answers are evaluated back in the page.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const vm = require('node:vm');
const readline = require('node:readline');
const { spawn } = require('node:child_process');

// The bridge process: commands are answered in order, one line each.
class Bridge {
  constructor() {
    this.proc = spawn(process.argv[2], [], { stdio: ['pipe', 'pipe', 'inherit'] });
    this.replies = [];
    readline.createInterface({ input: this.proc.stdout }).on('line', (line) => this.replies.shift()(JSON.parse(line)));
    this.ready = new Promise((resolve) => this.replies.push((first) => { this.initScripts = first.init; resolve(); }));
  }
  command(cmd) {
    const reply = new Promise((resolve) => this.replies.push(resolve));
    this.proc.stdin.write(JSON.stringify(cmd) + '\n');
    return reply;
  }
}

// One document: init scripts first, then the page's own script; a script that throws is reported, the page goes on.
class Page {
  constructor(bridge, pageScript) {
    Object.assign(this, { bridge, posted: [], errors: [], evaluated: [], inFlight: [], ctx: vm.createContext({}) });
    vm.runInContext('var window = this;', this.ctx);
    this.ctx.external = { invoke: (text) => this.deliver(text) };
    for (const script of [...bridge.initScripts, pageScript]) this.run(script);
  }
  run(script) {
    try { return vm.runInContext(script, this.ctx); } catch (e) { this.errors.push(e); return undefined; }
  }
  deliver(text) {
    this.posted.push(JSON.parse(text));
    this.inFlight.push(this.bridge.command({ message: text }).then((out) => {
      for (const script of out.eval) { this.evaluated.push(script); this.run(script); }
    }));
  }
  // Waits for every posted message's answer and the promise callbacks it runs.
  async settle() {
    while (this.inFlight.length) await this.inFlight.shift();
    await new Promise((resolve) => setImmediate(resolve));
  }
  value(expression) { return JSON.parse(JSON.stringify(this.run(expression))); }
}

// One bridge process for every test: documents are independent in it, as in the plug-in.
let bridge;
test.before(async () => {
  bridge = new Bridge();
  await bridge.ready;
});
test.after(() => new Promise((resolve) => {
  bridge.proc.on('close', resolve);
  bridge.proc.stdin.end();
}));

test('calls resolve with their results, unknown and throwing ones stay pending; numbers restart per document', async () => {
  const page = new Page(bridge, `
    var results = {};
    getParamNormalized(1).then(function (v) { results.gain = v; });
    getParameterObject(7).then(function (o) { results.freq = o; });
    echo(1, 'Grüße €', [true], {k: null}).then(function (e) { results.echo = e; });
    getParameterObject(99).then(function (o) { results.missing = o; });
    boom().then(function () { results.boom = 'resolved'; }, function () { results.boom = 'rejected'; });
    window.external.invoke(JSON.stringify({id: 50, method: 'noSuchFunction', params: []}));
  `);
  await page.settle();
  assert.deepEqual(page.errors, []);
  assert.deepEqual(page.posted[2], { id: 3, method: 'echo', params: [1, 'Grüße €', [true], { k: null }] });
  const { gain, freq, echo, missing, boom } = page.value('results');
  assert.deepEqual([gain, freq.info.title, freq.max, echo, missing, boom],
    [0.5, 'Freq', 10, [1, 'Grüße €', [true], { k: null }], null, undefined]);
  assert.ok(page.evaluated.some((s) => s.includes('Grüße €')), 'UTF-8 is not escaped');
  assert.equal(page.evaluated.length, 4, 'only the bound functions that returned were answered');
  assert.deepEqual(Object.keys(page.value('window._rpc')), ['5', 'nextSeq'], 'answered calls are removed, boom stays');

  const reloaded = new Page(bridge, 'var got; echo("again").then(function (v) { got = v; });');
  await reloaded.settle();
  assert.deepEqual(reloaded.posted.map((m) => m.id), [1]);
  assert.deepEqual(reloaded.value('got'), ['again']);
});

test('change notifications arrive before the answer; a page without the handler still gets answers', async () => {
  const page = new Page(bridge, `
    var log = [];
    function notifyParameterChange(p) { log.push(['changed', p.info.id, p.normalized]); }
    subscribeParameter(7).then(function () {
      setParamNormalized(7, 0.75).then(function (ok) { log.push(['answer', ok]); });
    });
  `);
  await page.settle();
  await page.settle();
  assert.deepEqual(page.value('log'), [['changed', 7, 0.75], ['answer', true]]);
  assert.deepEqual(page.errors, []);

  const bare = new Page(bridge, 'var answers = []; setParamNormalized(7, 0.25).then(function (v) { answers.push(v); });');
  await bare.settle();
  assert.deepEqual(bare.value('answers'), [true]);
  assert.match(String(bare.errors[0]), /notifyParameterChange/, 'only the notification fails');
});
