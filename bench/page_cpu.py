#!/usr/bin/python3
"""Measurement run, not a test: the editor page's CPU cost in WebKitGTK, the
browser the plug-in's editor uses, under its own Xvfb with software rendering.

The page runs against the bridge stand-in (tests/page/double) with 24 dynamic
bands and all three spectra, first with the audio stopped, then running; each
phase prints the CPU time of this process (the browser's UI side), its WebKit
child processes and the X server, as percent of one core, start-up excluded.
The stand-in computes its analysis inside the page, so the running figure
carries that cost too; the plug-in's own share is not in it. It also prints
the page's own work per frame (QEQ.frame.perf) in each phase.

    /usr/bin/python3 bench/page_cpu.py [seconds per phase, default 30]
QEQ_RESOURCES=<folder with index.html> measures another build of the page
(an older one, say) against the same stand-in. Needs python3-gi,
gir1.2-webkit2-4.1 and xvfb (Debian packages).
"""
import json
import math
import os
import subprocess
import sys
import time

import gi

gi.require_version('Gtk', '3.0')
gi.require_version('WebKit2', '4.1')

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, '..')
PAGE = os.path.join(os.environ.get('QEQ_RESOURCES', os.path.join(ROOT, 'resources')), 'index.html')
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 30.0
TICK = os.sysconf('SC_CLK_TCK')


def seed():
    values = {}
    for i in range(24):
        base = 2000 + 16 * i
        values[base] = 1
        values[base + 2] = math.log(28 * 1.33 ** i / 20) / math.log(1100)
        values[base + 3] = (((i * 7) % 11) - 5) / 60 + 0.5
        values[base + 7] = 1
        values[base + 8] = (-36 + (i % 5) * 4) / 60 + 1
    return {'values': values, 'analysis': {}}


def cpu_ticks(pid):
    try:
        with open(f'/proc/{pid}/stat') as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except OSError:
        return 0


def descendants(pid):
    children = {}
    for d in os.listdir('/proc'):
        if d.isdigit():
            try:
                with open(f'/proc/{d}/stat') as f:
                    ppid = int(f.read().rsplit(')', 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(d))
            except OSError:
                pass
    out, todo = [], [pid]
    while todo:
        for c in children.get(todo.pop(), []):
            out.append(c)
            todo.append(c)
    return out


def main():
    display = ':%d' % (90 + os.getpid() % 50)
    xvfb = subprocess.Popen(['Xvfb', display, '-screen', '0', '1400x900x24', '-nolisten', 'tcp'],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    os.environ['DISPLAY'] = display
    from gi.repository import GLib, Gtk, WebKit2

    content = WebKit2.UserContentManager()
    for source in ('window.__qeqSeed = %s;' % json.dumps(seed()),
                   open(os.path.join(ROOT, 'tests', 'page', 'double', 'bridge-double.js')).read()):
        content.add_script(WebKit2.UserScript(source, WebKit2.UserContentInjectedFrames.TOP_FRAME,
                                              WebKit2.UserScriptInjectionTime.START, None, None))
    view = WebKit2.WebView(user_content_manager=content)
    view.get_settings().set_hardware_acceleration_policy(WebKit2.HardwareAccelerationPolicy.NEVER)
    window = Gtk.Window()
    window.set_default_size(1400, 900)
    window.add(view)
    window.show_all()
    view.load_uri('file://' + os.path.abspath(PAGE))

    def run(script):
        view.evaluate_javascript(script, -1, None, None, None, None, None)

    def wait(seconds):
        GLib.timeout_add(int(seconds * 1000), Gtk.main_quit)
        Gtk.main()

    def phase(label):
        run('(() => { const p = QEQ.frame.perf; p.work.length = 0; p.stamps.length = 0; p.byTask = {}; p.frames = 0; })()')
        pids = [os.getpid(), xvfb.pid] + descendants(os.getpid())
        before = {p: cpu_ticks(p) for p in pids}
        t0 = time.monotonic()
        wait(SECONDS)
        wall = time.monotonic() - t0
        used = {p: cpu_ticks(p) - before[p] for p in pids}
        share = lambda ticks: 100.0 * ticks / TICK / wall
        parts = 'ui %.1f, web processes %.1f, X server %.1f' % (
            share(used[os.getpid()]), share(sum(v for p, v in used.items() if p not in (os.getpid(), xvfb.pid))),
            share(used[xvfb.pid]))
        print('%s: %.1f %% of one core over %.0f s (%s)' % (label, share(sum(used.values())), wall, parts), flush=True)
        run('''(() => { const p = QEQ.frame.perf, w = p.work.slice().sort((a, b) => a - b);
          const at = (f) => (w.length ? w[Math.min(w.length - 1, Math.floor(w.length * f))] : 0);
          document.title = JSON.stringify({ frames: p.frames || p.work.length, median: at(0.5), p95: at(0.95) }); })()''')
        wait(0.3)
        work = json.loads(view.get_title())
        print('  page: %.1f frames/s, work per frame median %.1f ms, p95 %.1f ms (1 ms timer resolution)' % (
            work['frames'] / wall, work['median'], work['p95']), flush=True)

    wait(4.0)  # start-up
    run('(() => { const sc = document.querySelector(\'#spectra [data-kind="sidechain"]\'); if (sc) sc.click(); })()')
    run('window.__qeqBridge.setAudio(false)')
    wait(2.0)
    phase('audio stopped')
    run('window.__qeqBridge.setAudio(true)')
    wait(2.0)
    phase('audio running')
    window.destroy()
    xvfb.terminate()
    xvfb.wait()


if __name__ == '__main__':
    main()
