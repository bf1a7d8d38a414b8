#!/usr/bin/env bash
# The desktop program as installed beside harvion, started offscreen: its
# usage, and a start on an agent harvion made that shows the agent and ends.
# Usage: hvmain_tests.sh PATH/TO/harvion   (skipped when hvmain was not built)
set -u
source "$(dirname "$0")/cli_lib.sh"
HVMAIN=$(dirname "$HV")/hvmain
if [[ ! -x $HVMAIN ]]; then
  echo "hvmain was not built (Qt 6 missing): skipped"
  exit 0
fi
export QT_QPA_PLATFORM=offscreen

test_usage() {
  "$HVMAIN" --help >"$WORK/help" 2>&1 || fail "hvmain --help: exit $?"
  grep -q '^Usage: hvmain ' "$WORK/help" || fail "hvmain --help: no usage line"
  "$HVMAIN" --bogus >/dev/null 2>"$WORK/bogus"
  local rc=$?
  [[ $rc -eq 2 && $(head -n1 "$WORK/bogus") == "hvmain: unknown option --bogus" ]] \
    || fail "hvmain --bogus: exit $rc, '$(cat "$WORK/bogus")'"
}

test_a_start_shows_the_agent() {
  hv new Shown; expect_ok "new Shown"
  hv add Shown http://h.example/ --title Home; expect_ok "add to Shown"
  timeout 60 "$HVMAIN" --no-splash --screenshot "$WORK/shown.png" Shown >"$WORK/out" 2>&1
  local rc=$?
  [[ $rc -eq 0 ]] || fail "hvmain --screenshot: exit $rc ($(tail -n 3 "$WORK/out"))"
  [[ $(head -c 8 "$WORK/shown.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] \
    || fail "hvmain --screenshot wrote no PNG"
  # Started and ended cleanly: the agent is as harvion left it, and not locked.
  hv tree Shown; expect_ok "tree after hvmain"
  [[ $OUT == *'location "Home" <http://h.example/>'* ]] || fail "the agent changed: $OUT"
  [[ -z $(ls -A "$HARVION_HOME" | grep '\.hvx\.lock$') ]] || fail "hvmain left a lock: $(ls -A "$HARVION_HOME")"
}

test_usage
test_a_start_shows_the_agent
finish hvmain
