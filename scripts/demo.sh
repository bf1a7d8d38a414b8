#!/usr/bin/env bash
# The demo: installs what the build needs, builds harvion into build/, serves
# the sample site of resources/demo/ with nginx on 127.0.0.1, and mirrors it
# with a demo agent. A second run after one page of the site changed shows
# that only that page is fetched again and that it is reported as modified.
#
# Usage: scripts/demo.sh [HARVION_HOME]
#   The agent "Demo" is kept in HARVION_HOME: the argument, else the
#   environment's $HARVION_HOME, else a new folder under ${TMPDIR:-/tmp},
#   which is left in place for reading the offline copy.
#   DEMO_BUILD_DIR names another build folder than build/.
set -euo pipefail
home=${1:-${HARVION_HOME:-}}
if [ -n "$home" ]; then
  mkdir -p "$home"
  home=$(cd "$home" && pwd)  # named from where the demo was started
fi
cd "$(dirname "$0")/.."
repo=$(pwd)

say() { printf '\n== %s\n' "$*"; }
fail() {
  echo "demo: $*" >&2
  exit 1
}

build=${DEMO_BUILD_DIR:-build}

say "Installing what the build needs (scripts/setup.sh)"
scripts/setup.sh

say "Building harvion into $build/"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARVION_WERROR=ON >/dev/null
ninja -C "$build" -j "$(nproc 2>/dev/null || echo 2)" harvion hvhelp
harvion=$repo/$build/bin/harvion
[ -x "$harvion" ] || fail "no $harvion after the build"

# The site is served from a copy: the second run edits a page of it.
work=$(mktemp -d "${TMPDIR:-/tmp}/harvion-demo-site.XXXXXX")
trap 'scripts/serve_site.sh stop "$work/nginx" || true; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
chmod 755 "$work"  # as root, nginx's workers run as nobody
cp -R resources/demo/site resources/demo/outside "$work/"

# The address outside the site is another host: 127.0.0.2, at the same port.
say "Serving the sample site"
url=$(scripts/serve_site.sh start "$work/site" "$work/nginx" \
  -s 'location = /programme.html { return 301 /walks/programme.html; }' \
  -H "server { listen 127.0.0.2:@PORT@; root $work/outside; access_log $work/nginx/outside.log site; }")
port=$(cat "$work/nginx/port")
sed -i "s|@OUTSIDE@|127.0.0.2:$port|g" "$work/site/index.html"
# Everything dated an hour back, so that the edit below is newer whatever the
# clock's resolution.
find "$work/site" "$work/outside" -exec touch -d '1 hour ago' {} +
echo "$url  (the Alder Vale Walking Club: 10 pages, 4 images, a frameset, the"
echo "old address /programme.html redirecting, a missing page, and a link to"
echo "http://127.0.0.2:$port/, another host)"

[ -n "$home" ] || home=$(mktemp -d "${TMPDIR:-/tmp}/harvion-demo-home.XXXXXX")
export HARVION_HOME=$home
hv() {
  echo "\$ harvion $*"
  "$harvion" "$@"
}

say "A demo agent in HARVION_HOME=$home"
if "$harvion" list 2>/dev/null | grep -qx 'Demo'; then
  fail "$home already has an agent Demo: remove it (harvion delete Demo) or name another folder"
fi
hv new Demo
hv add Demo "$url" --title "Alder Vale Walking Club"
hv set Demo --levels all --confine site --files graphics
hv tree Demo

log=$work/nginx/access.log
say "First run: everything is new"
hv run Demo | tee "$work/run1.txt" || fail "the first run failed"
first=$(wc -l <"$log")
echo "(the server answered $first requests)"

say "The walk programme changes on the server"
page=$work/site/walks/programme.html
sed -i 's|</table>|<tr><td>28 March</td><td>Tarn Water and the hut</td><td>13 km</td><td>moderate</td></tr>\n</table>|' "$page"
# Dated a second ahead: the first run may have stored the page within the
# current second, and HTTP dates are whole seconds.
touch -d '1 second' "$page"
echo "walks/programme.html: a walk on 28 March added"

say "Second run: only what changed is fetched"
hv run Demo | tee "$work/run2.txt" || fail "the second run failed"

say "What the server sent in the second run"
run2=$(tail -n +"$((first + 1))" "$log")
if [ -n "$run2" ]; then
  awk '{ print $1 }' <<<"$run2" | sort | uniq -c |
    awk '{ printf "%4d x %s%s\n", $1, $2, $2 == 304 ? " (not modified)" : "" }'
  awk '$1 == 200 { print "  sent: " $3 }' <<<"$run2"
else
  echo "no requests"
fi
fetched=$(awk '$1 == 200 { print $3 }' <<<"$run2")
[ -s "$work/nginx/outside.log" ] && fail "the page outside the site was fetched"
[ "$fetched" = /walks/programme.html ] ||
  fail "the second run should have fetched /walks/programme.html alone, but fetched: $(echo "${fetched:-nothing}" | paste -sd ' ')"
grep -Eq '^modified +http://[^ ]*/walks/programme\.html' "$work/run2.txt" ||
  fail "the second run's report does not name walks/programme.html as modified"

start=$(sed -n 's/^start page: //p' "$work/run2.txt" | tail -n 1)
say "Done"
echo "The agent and its offline copy stay in $home."
if [ -n "$start" ]; then
  echo "Read it offline: xdg-open '$start'"
fi
echo "Or in the desktop program: ninja -C $build hvmain && HARVION_HOME='$home' $build/bin/hvmain Demo"
echo "The copy needs no server: nginx stops now."
