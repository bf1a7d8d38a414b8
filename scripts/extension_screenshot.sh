#!/usr/bin/env bash
# The picture of the browser extension in docs/: Harvion installed into a
# temporary home, the sample site served locally, a page of it added to a
# "Walking Club" agent from the extension in headless Chromium, the
# extension's popup beside hvmain showing the agent.
#
# Usage: scripts/extension_screenshot.sh [BUILD_DIR]   (default build/, built already)
# Needs Chromium, node and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for program in harvion hvmain harvion-native-host; do
  [ -x "$build/bin/$program" ] || { echo "extension_screenshot: build $build/bin/$program first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-extension.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
chmod 755 "$work"
cp -R resources/demo/site "$work/"
url=$(scripts/serve_site.sh start "$work/site" "$work/nginx")
export HOME=$work/user XDG_CONFIG_HOME= XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen HARVION_HOME=$work/home
mkdir -p "$HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
cmake --install "$build" --prefix "$HOME/.local" >/dev/null
cat >"$work/hvmain" <<SH
#!/bin/sh
exec "$HOME/.local/bin/hvmain" --no-splash --message-log "$work/messages.log" "\$@"
SH
chmod +x "$work/hvmain"
export HARVION_HVMAIN=$work/hvmain
harvion=$build/bin/harvion
"$harvion" new "Walking Club" >/dev/null
"$harvion" add "Walking Club" "$url" --title "Club pages" >/dev/null
profile=$work/profile
mkdir -p "$profile/NativeMessagingHosts"
cp "$HOME"/.config/chromium/NativeMessagingHosts/*.json "$profile/NativeMessagingHosts/"
id=$(sed -n 's/.*"chrome-extension:\/\/\([a-p]*\)\/".*/\1/p' "$profile"/NativeMessagingHosts/*.json)
timeout 60 node tests/native_host/chromium_driver.mjs /usr/bin/chromium "$HOME/.local/share/harvion/browser-extension" \
  "$profile" "$id" "${url}walks/programme.html" "Walking Club" "$work/popup.png" >/dev/null
for _ in $(seq 1 50); do  # hvmain quits and saves once the browser has gone
  grep -q "Programme" <("$harvion" tree "Walking Club" 2>/dev/null) && break
  sleep 0.1
done
"$build/bin/hvmain" --no-splash --screenshot "$work/hvmain.png" "Walking Club"
mkdir -p docs
convert "$work/popup.png" -bordercolor '#9aa5b1' -border 1 -background '#e9edf1' -gravity north \
  "$work/hvmain.png" -bordercolor '#e9edf1' -border 10 +append -bordercolor '#e9edf1' -border 6 docs/extension.png
echo "docs/extension.png"
