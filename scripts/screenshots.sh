#!/usr/bin/env bash
# The pictures of the desktop program in docs/: the sample site served
# locally, mirrored by a "Walking Club" agent with harvion, one page changed
# and the agent run again, then hvmain started offscreen on it, its window
# saved as a PNG (so the tree shows stored, changed and missing pages).
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/, built already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for program in harvion hvmain; do
  [ -x "$build/bin/$program" ] || { echo "screenshots: build $build/bin/$program first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-shots.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
chmod 755 "$work"
cp -R resources/demo/site "$work/"
find "$work/site" -exec touch -d '1 hour ago' {} +
url=$(scripts/serve_site.sh start "$work/site" "$work/nginx" \
  -s 'location = /programme.html { return 301 /walks/programme.html; }')
export HARVION_HOME=$work/home
harvion=$build/bin/harvion
"$harvion" new "Walking Club" >/dev/null
"$harvion" add "Walking Club" "$url" --title "Club pages" >/dev/null
"$harvion" folder "Walking Club" "Walks" >/dev/null
"$harvion" set "Walking Club" --levels 2 >/dev/null
"$harvion" run "Walking Club" >/dev/null || true
page=$work/site/walks/programme.html
sed -i 's|</table>|<tr><td>28 March</td><td>Tarn Water and the hut</td><td>13 km</td><td>moderate</td></tr>\n</table>|' "$page"
touch -d '1 second' "$page"
"$harvion" run "Walking Club" >/dev/null || true
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/bin/hvmain" --no-splash --screenshot docs/hvmain.png "Walking Club"
echo "docs/hvmain.png"
# hvmain started by a browser-side component (hvplugin) and attached to its
# browser window: the agent frame without a frame of its own.
if [ -x "$build/bin/hvplugin" ]; then
  runtime=$work/runtime
  mkdir -m 700 "$runtime"
  XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen "$build/bin/hvplugin" --screenshot docs/hvplugin.png \
    open "Walking Club" then resize 360 640 >/dev/null
  echo "docs/hvplugin.png"
fi
# The engine's dialogs and the item pages with sample data, drawn by their widget tests.
if [ -x "$build/bin/hvuitests" ]; then
  HARVION_DIALOG_SHOTS=$PWD/docs QT_QPA_PLATFORM=offscreen "$build/bin/hvuitests" \
    --gtest_filter='DialogAccess.*:RetrievalPages.*' >/dev/null
  ls docs/dialog-*.png docs/page-*.png
  # The agent's and a location's pages with a small site's data.
  HARVION_PAGE_SHOTS=$PWD/docs QT_QPA_PLATFORM=offscreen "$build/bin/hvuitests" \
    --gtest_filter='PageRun.*:FrameTest.one_change_of_the_author_texts_is_saved_once' >/dev/null
fi
