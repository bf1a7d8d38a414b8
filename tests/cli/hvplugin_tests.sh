#!/usr/bin/env bash
# hvplugin as a script drives it: commands on the line joined by "then", and
# one a line on standard input with serve, against hvmain offscreen.
# Usage: hvplugin_tests.sh PATH/TO/harvion   (skipped when hvmain was not built)
set -u
source "$(dirname "$0")/cli_lib.sh"
PLUGIN=$(dirname "$HV")/hvplugin
if [[ ! -x $(dirname "$HV")/hvmain ]]; then
  echo "hvmain was not built (Qt 6 missing): skipped"
  exit 0
fi
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
hv new News; expect_ok "new News"

test_usage() {
  local cases=("bogus|1|hvplugin: unknown command bogus (see hvplugin --help)"
               "--kind mosaic open News|2|hvplugin: bad option --kind"
               "detach|1|hvplugin: detach: no hvmain serves this browser window (start one with open, show, attach or add-page)"
               "open News sideways|1|hvplugin: open: the mode is attach, show or add-page")
  local c words rc wanted message
  for c in "${cases[@]}"; do
    IFS='|' read -r words wanted message <<<"$c"
    # shellcheck disable=SC2086
    timeout 20 "$PLUGIN" $words >/dev/null 2>"$WORK/err"
    rc=$?
    [[ $rc -eq $wanted && $(head -n1 "$WORK/err") == "$message" ]] \
      || fail "hvplugin $words: exit $rc, '$(head -n1 "$WORK/err")'"
  done
}

test_a_served_conversation() {
  printf '%s\n' 'open News attach' 'agent' 'navigate "http://a.example/x y" "A page"' 'detach' \
    'add-page http://a.example/ "Page \"one\""' 'attached' "open 'unclosed" 'quit' \
    | timeout 60 "$PLUGIN" --message-log "$WORK/messages" serve >"$WORK/out" 2>/dev/null
  local rc=$?
  [[ $rc -eq 1 ]] || fail "serve: exit $rc, wanted 1 for the open quote"
  local line
  for line in 'agent: News' 'shown: 0' 'attached: no' 'error: an open quote' 'quit: ended (exit 3)'; do
    grep -qxF "$line" "$WORK/out" || fail "serve: no line '$line' in: $(cat "$WORK/out")"
  done
  grep -qF 'The page: Page "one" / from http://a.example/' "$WORK/messages" \
    || fail "serve: page not added: $(cat "$WORK/messages")"
  hv tree News
  [[ $OUT == *'location "Page \"one\"" <http://a.example/>'* ]] || fail "the page is not in the agent: $OUT"
}

test_usage
test_a_served_conversation
finish hvplugin
