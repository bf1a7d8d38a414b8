#!/usr/bin/env bash
# Lints the browser extension with web-ext (installed into the extension's
# node_modules by scripts/setup.sh); skipped when it is not there.
set -euo pipefail
dir=$(cd "$(dirname "$0")/../../browser/extension" && pwd)
webext=$dir/node_modules/.bin/web-ext
if [ ! -x "$webext" ]; then
  echo "skipped: web-ext is not installed (npm ci in browser/extension)"
  exit 77
fi
export NO_UPDATE_NOTIFIER=1
# Errors fail; the one expected warning is the service worker key that
# Firefox ignores in favour of the background scripts beside it.
out=$("$webext" lint --source-dir "$dir" --no-config-discovery --output json \
        --ignore-files package.json package-lock.json 'node_modules/**') || true  # errors are read below
node -e '
  const r = JSON.parse(process.argv[1]);
  const unexpected = [...r.errors, ...r.warnings, ...r.notices]
    .filter((m) => !(m.code === "MANIFEST_FIELD_UNSUPPORTED" && m.message.includes("service_worker")));
  for (const m of unexpected) console.log(`${m.type}: ${m.code}: ${m.message} ${m.file || ""}`);
  process.exit(unexpected.length ? 1 : 0);
' "$out"
echo "web-ext lint: no errors, no unexpected warnings"
