#!/usr/bin/env bash
# A stored page beside the live one: serves a real documentation site (the
# Python manual of python3-doc, else the sample site), mirrors one page with
# its links one level deep and everything the pages need, takes a headless
# Chromium screenshot of the live page, stops the server, and takes one of
# the stored copy from the disk. Prints whether the two pictures are the same.
#
# Usage: scripts/offline_screenshots.sh [BUILD_DIR] [OUT_DIR]   (default build/ and docs/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}
harvion=$build/bin/harvion
[ -x "$harvion" ] || { echo "offline_screenshots: build $harvion first" >&2; exit 1; }
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "offline_screenshots: needs chromium (apt-get install chromium)" >&2; exit 1; }

site=/usr/share/doc/python3.11/html
start=tutorial/index.html
if [ ! -r "$site/$start" ]; then
  site=resources/demo/site
  start=index.html
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-offline.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
chmod 755 "$work"
url=$(scripts/serve_site.sh start "$site" "$work/nginx")

export HARVION_HOME=$work/home
"$harvion" new Manual >/dev/null
"$harvion" add Manual "$url$start" >/dev/null
"$harvion" set Manual --levels 1 --confine site --files graphics >/dev/null
"$harvion" run Manual >"$work/run.txt" || true
stored=$(sed -n 's/^start page: //p' "$work/run.txt")
[ -n "$stored" ] || { cat "$work/run.txt" >&2; exit 1; }

shot() {
  timeout 60 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,700 \
    --screenshot="$1" "$2" >/dev/null 2>&1
}
mkdir -p "$out"
shot "$out/page-online.png" "$url$start"
scripts/serve_site.sh stop "$work/nginx"
shot "$out/page-offline.png" "file://$stored"
if cmp -s "$out/page-online.png" "$out/page-offline.png"; then
  echo "offline copy looks like the live page: $out/page-online.png and $out/page-offline.png are the same"
else
  echo "offline copy differs from the live page: compare $out/page-online.png and $out/page-offline.png"
fi
