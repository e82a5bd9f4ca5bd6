#!/usr/bin/env bash
# What an open editor costs the machine: CPU time of everything it keeps busy
# (the host side with the plug-in, the browser helper and WebKit's processes,
# the X server), over a stretch after start-up, as a share of one core.
# Runs quenrileq-editor on a private Xvfb with software rendering.
#   bench/editor_cpu.sh [idle|audio] [SECONDS] [BUILD_DIR]
# idle: no audio, no edits. audio: noise through the plug-in, every spectrum on.
set -euo pipefail
mode="${1:-idle}"
seconds="${2:-30}"
build="${3:-$(dirname "$0")/../build}"
settle=10

display=:$((90 + RANDOM % 100))
Xvfb "$display" -noreset -screen 0 1920x1080x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1

args=(--seconds $((settle + seconds + 5)))
if [ "$mode" = audio ]; then
  # Noise in, and every spectrum the page offers switched on.
  args+=(--signal noise --eval "['pre', 'post', 'sidechain'].forEach(k => QEQ.liveDraw.setShown(k, true)); 1")
fi
DISPLAY="$display" "$build/bin/quenrileq-editor" "${args[@]}" >/dev/null 2>&1 &
editor=$!
sleep "$settle"

# Every process of the editor: the tool, its descendants (helper, WebKit), and the X server.
pids() { echo "$editor $xvfb"; pgrep -P "$editor" || true; for c in $(pgrep -P "$editor"); do pgrep -P "$c" || true; done; }
ticks() {
  local total=0
  for p in $(pids | tr ' ' '\n' | sort -u); do
    [ -r "/proc/$p/stat" ] || continue
    set -- $(sed 's/^.*) //' "/proc/$p/stat")
    total=$((total + ${12} + ${13}))  # utime + stime
  done
  echo "$total"
}
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
wait "$editor" || true
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v m="$mode" \
  'BEGIN { printf "editor cost (%s): %.1f %% of one core over %d s\n", m, 100 * t / hz / s, s }'
