#!/usr/bin/env bash
# Runs the browser test of the preview: installs its npm packages (playwright-core, axe-core)
# into the build folder when one is missing or the lock file changed, then runs the test.
# Environment: QP_CLI (quillpost-cli), QP_E2E_WORK (a folder of the build tree).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=${QP_E2E_WORK:?QP_E2E_WORK is not set}
mkdir -p "$work/node"
if [ ! -d "$work/node/node_modules/playwright-core" ] || [ ! -d "$work/node/node_modules/axe-core" ] ||
   ! cmp -s "$here/package-lock.json" "$work/node/package-lock.json"; then
  cp "$here/package.json" "$here/package-lock.json" "$work/node/"
  (cd "$work/node" && npm ci --no-audit --no-fund --loglevel=error)
fi
export NODE_PATH="$work/node/node_modules"
export QP_E2E_FIXTURES="$here/fixtures"
exec node "$here/preview_e2e.js"
