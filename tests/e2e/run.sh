#!/usr/bin/env bash
# Runs one end-to-end test file with Node's test runner, installing the pinned npm packages
# first when they are missing or older than the lock file. No browser is downloaded:
# playwright-core drives Debian's /usr/bin/chromium.
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
exec node --test --test-concurrency=1 "$@"
