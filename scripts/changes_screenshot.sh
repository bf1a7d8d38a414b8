#!/usr/bin/env bash
# The change report a run leaves, as a browser shows it: serves a copy of the
# sample site, runs an agent on it, edits the site (a page's words changed,
# one only touched, one removed, one added and linked), runs again, and takes
# a headless Chromium screenshot of the agent's changes.html.
#
# Usage: scripts/changes_screenshot.sh [BUILD_DIR] [OUT_DIR]   (default build/ and docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}
harvion=$build/bin/harvion
[ -x "$harvion" ] || { echo "changes_screenshot: build $harvion first" >&2; exit 1; }
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "changes_screenshot: needs chromium (apt-get install chromium)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-changes.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
chmod 755 "$work"
cp -r resources/demo/site "$work/site"
site=$work/site
sed -i 's/@OUTSIDE@/trust.example/' "$site/index.html"
find "$site" -type f -exec touch -d '-1 hour' {} +
url=$(scripts/serve_site.sh start "$site" "$work/nginx")

export HARVION_HOME=$work/home
"$harvion" new "Walking Club" >/dev/null
"$harvion" add "Walking Club" "${url}index.html" >/dev/null
"$harvion" set "Walking Club" --levels all --confine site >/dev/null
"$harvion" run "Walking Club" >/dev/null || true

sed -i 's/21 March/28 March/; s/Kendry woods and back/Kendry woods and the old quarry/; s/but not in gales/but not in gales or snow/' \
  "$site/walks/programme.html"
sed -i 's|<li><a href="about.html">|<li><a href="news/footbridge.html">News: a new footbridge at Low Farm</a></li>\n<li><a href="about.html">|' \
  "$site/index.html"
cat >"$site/news/footbridge.html" <<'HTML'
<!DOCTYPE html>
<html><head><title>A new footbridge at Low Farm</title></head>
<body><h1>A new footbridge at Low Farm</h1><p>The ford on the river path has a footbridge at last.</p></body></html>
HTML
rm "$site/contact.html"
touch -d '+1 hour' "$site/walks/programme.html" "$site/index.html" "$site/news/hut-repairs.html"
"$harvion" run "Walking Club" >/dev/null || true

"$harvion" changes "Walking Club"
timeout 60 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=900,820 \
  --screenshot="$out/changes-report.png" "file://$HARVION_HOME/Walking Club/changes.html" >/dev/null 2>&1
echo "wrote $out/changes-report.png"
