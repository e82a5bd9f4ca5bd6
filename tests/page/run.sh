#!/usr/bin/env bash
# Runs the editor page tests in headless Debian Chromium (never a downloaded browser).
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -x "${QEQ_CHROMIUM:-/usr/bin/chromium}" ]; then
  echo "page tests: ${QEQ_CHROMIUM:-/usr/bin/chromium} not found (apt-get install chromium)" >&2
  exit 1
fi
if [ ! -d node_modules/playwright-core ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund
fi
exec node --test --test-concurrency=1 --test-timeout=300000 units.test.js graph.test.js state.test.js live.test.js
