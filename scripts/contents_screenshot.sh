#!/usr/bin/env bash
# The contents page of an agent as a browser shows it from the disk: serves
# the sample site, runs an agent over it, changes a page and takes one away,
# runs it again, stops the server and takes a headless Chromium screenshot of
# the agent's contents.html.
#
# Usage: scripts/contents_screenshot.sh [BUILD_DIR] [OUT_DIR]   (default build/ and docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}
harvion=$build/bin/harvion
[ -x "$harvion" ] || { echo "contents_screenshot: build $harvion first" >&2; exit 1; }
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "contents_screenshot: needs chromium (apt-get install chromium)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-contents.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
chmod 755 "$work"
cp -r resources/demo/site "$work/site"
# Pages dated a while back, as on a real site.
find "$work/site" -type f -exec touch -d '-1 hour' {} +
url=$(scripts/serve_site.sh start "$work/site" "$work/nginx")

export HARVION_HOME=$work/home
"$harvion" new "Walking Club" >/dev/null
"$harvion" add "Walking Club" "${url}index.html" --title "Alder Vale Walking Club" >/dev/null
"$harvion" set "Walking Club" --levels all >/dev/null
"$harvion" run "Walking Club" >/dev/null || true
sed -i 's/<\/body>/<p>Next walk moved to Sunday.<\/p><\/body>/' "$work/site/about.html"
touch -d '+1 hour' "$work/site/about.html"
rm -f "$work/site/contact.html"
"$harvion" run "Walking Club" >"$work/run.txt" || true
contents=$(sed -n 's/^read offline: //p' "$work/run.txt")
[ -f "$contents" ] || { cat "$work/run.txt" >&2; exit 1; }
scripts/serve_site.sh stop "$work/nginx"
mkdir -p "$out"
timeout 60 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/browser" \
  --window-size=900,430 --screenshot="$out/contents-page.png" "file://$contents" >/dev/null 2>&1
echo "$out/contents-page.png"
