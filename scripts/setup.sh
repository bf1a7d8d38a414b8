#!/usr/bin/env bash
# Installs what building and testing Harvion needs (Debian packages).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libpsl-dev publicsuffix libgumbo-dev libssl-dev openssl ca-certificates zlib1g-dev faketime curl nginx wget2 chromium fonts-dejavu-core qt6-base-dev qt6-svg-dev systemd dbus-daemon libnotify-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update
  $sudo apt-get install -y "${missing[@]}"
fi

# Node.js and npm for the browser extension's lint and browser test: Debian's
# when the machine has none of its own. Without them those tests skip.
if ! command -v npm >/dev/null; then
  $sudo apt-get install -y nodejs npm >/dev/null || echo "nodejs/npm not installed: the extension tests will skip" >&2
fi

# web-ext, which lints the browser extension; again only when the lock file
# changed since the last install. A registry out of reach skips the lint.
extension=$(cd "$(dirname "$0")/../browser/extension" && pwd)
if command -v npm >/dev/null && ! cmp -s "$extension/package-lock.json" "$extension/node_modules/.installed-lock.json"; then
  (cd "$extension" && npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
    cp package-lock.json node_modules/.installed-lock.json) || echo "web-ext not installed: the extension lint will skip" >&2
fi
