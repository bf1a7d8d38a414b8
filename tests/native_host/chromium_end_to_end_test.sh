#!/usr/bin/env bash
# The extension in headless Chromium with Harvion installed as a user
# would: a page served by nginx is open in a tab, the extension adds it, and
# hvmain (started by the native host) puts it into the agent.
#   chromium_end_to_end_test.sh PATH/TO/harvion BUILD_DIR HOST_BUILT(yes|no)
# Skipped (77) without Chromium, node, nginx, hvmain or the host.
source "$(dirname "$0")/../cli/cli_lib.sh"
BUILD=$2
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "skipped: $*"; exit 77; }
CHROMIUM=${HARVION_TEST_CHROMIUM:-/usr/bin/chromium}
[[ -x $CHROMIUM ]] || skip "Chromium is not installed"
command -v node >/dev/null || skip "node is not installed"
[[ $3 == yes && -x $BUILD/bin/hvmain ]] || skip "hvmain or the native host was not built"
source "$here/../cli/nginx_lib.sh"
trap 'stop_nginx; [[ -n ${DRIVER:-} ]] && kill "$DRIVER" 2>/dev/null; rm -rf "$WORK"' EXIT

# Installed user-wide into a home folder of the test's own.
export HOME=$WORK/user XDG_CONFIG_HOME= XDG_RUNTIME_DIR=$WORK/run QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
if ! cmake --install "$BUILD" --prefix "$HOME/.local" >"$WORK/install.log" 2>&1; then
  fail "install: $(grep -v '^-- ' "$WORK/install.log")"
  finish chromium_end_to_end
fi
# hvmain writes its message boxes to a file instead of waiting for a click.
cat >"$WORK/hvmain" <<SH
#!/bin/sh
echo \$\$ >"$WORK/hvmain.pid"
exec "$HOME/.local/bin/hvmain" --message-log "$WORK/messages.log" "\$@"
SH
chmod +x "$WORK/hvmain"
export HARVION_HVMAIN=$WORK/hvmain

hv new News; expect_ok "new agent"
printf '<html><head><title>Tab page</title></head><body>read me</body></html>' >"$SITE/page.html"
start_nginx

# Chromium looks for user-wide host manifests in its user-data-dir.
profile=$WORK/profile
mkdir -p "$profile/NativeMessagingHosts"
cp "$HOME/.config/chromium/NativeMessagingHosts/net.tessarine.harvion.json" "$profile/NativeMessagingHosts/"
extension=$HOME/.local/share/harvion/browser-extension
id=$(sed -n 's/.*"chrome-extension:\/\/\([a-p]*\)\/".*/\1/p' "$profile/NativeMessagingHosts/net.tessarine.harvion.json")

timeout 60 node "$here/chromium_driver.mjs" "$CHROMIUM" "$extension" "$profile" "$id" "$BASE/page.html" News \
  >"$WORK/driver.out" 2>&1 &
DRIVER=$!
wait "$DRIVER"
RC=$? DRIVER=
answer=$(tail -n 1 "$WORK/driver.out")
[[ $RC -eq 0 ]] || fail "driver: exit $RC: $(cat "$WORK/driver.out")"
[[ $answer == *'"told":{"type":"page","url":"'"$BASE"'/page.html","title":"Tab page"}'* ]] \
  || fail "the host was not told the tab's page: $answer"
[[ $answer == *'"added":{"agent":"News","running":"true","type":"status"}'* ]] || fail "add: $answer"
# "Read offline": hvmain makes the agent's frameset for the page and the
# extension opens it in a tab.
[[ $answer == *'"opened":"file://'"$HARVION_HOME"'/News/FRM'* ]] || fail "the agent's view was not opened: $answer"
# The popup names its controls and the open agent, and starts on "Add".
popup=${answer#*\"popup\":}
for wanted in '"heading: Harvion"' '"status: Open agent:"' '"button: Add this page"' '"button: Read offline"' \
              '"agent: News"' '"focused":"add"'; do
  [[ $popup == *"$wanted"* ]] || fail "popup: $wanted missing from $popup"
done

# The browser closed: the host asks hvmain to quit, which saves the agent.
hvmain=$(cat "$WORK/hvmain.pid" 2>/dev/null) || fail "hvmain was not started"
for _ in $(seq 1 100); do
  [[ -n $hvmain ]] && kill -0 "$hvmain" 2>/dev/null || break
  sleep 0.1
done
[[ -n $hvmain ]] && kill -KILL "$hvmain" 2>/dev/null && fail "hvmain did not quit when the browser closed"
grep -q "The page: Tab page" "$WORK/messages.log" 2>/dev/null || fail "hvmain did not add the page: $(cat "$WORK/messages.log" 2>&1)"
hv tree News
[[ $OUT == *'"Tab page"'*"$BASE/page.html"* ]] || fail "the page is not in the agent: $OUT"
echo "$answer"
finish chromium_end_to_end
