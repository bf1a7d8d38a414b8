#!/usr/bin/env bash
# hvscan on a clock of the test's choosing (faketime): when an item that
# never ran is due, by the kind of its schedule, and what --status and
# --once make of it; its entries through a rename and a delete.
# Usage: hvscan_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"
HVSCAN=$(dirname "$HV")/hvscan
if ! command -v faketime >/dev/null; then
  echo "faketime is not installed (scripts/setup.sh installs it): skipped"
  exit 0
fi
export TZ=UTC
# faketime is preloaded before the sanitizer's runtime in a sanitized build.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
KINDS=(Hourly Periodically Weekdays Weekly Monthly)

# harvion as hv runs it, at a fake time.
hv_at() {
  local when=$1
  shift
  OUT=$(faketime "$when" "$HV" "$@" 2>"$WORK/stderr")
  RC=$?
  ERR=$(cat "$WORK/stderr")
}

# The next run of each scheduled item as hvscan --status tells it at a time.
next_runs() {
  faketime "$1" "$HVSCAN" --status | sed -n 's/^  last run .*, next run //p'
}

test_a_never_run_item_is_due_at_its_first_time_after_it_was_recorded() {
  hv new Timed; expect_ok "new Timed"
  # Turning runs on would start the scheduler program from the recorded
  # program folder: record an empty one instead.
  mkdir -p "$WORK/no-programs"
  sed -i "s|^@=\".*/bin\"\r\?$|@=\"$WORK/no-programs\"|" "$HARVION_HOME/registry.reg"
  hv schedule on; expect_ok "schedule on"
  local kind
  for kind in "${KINDS[@]}"; do
    # Nothing listens there: a run ends at once.
    hv add Timed "http://127.0.0.1:9/$kind" --title "$kind"; expect_ok "add $kind"
    hv_at "2026-12-09 10:03:00" set Timed "$kind" --schedule "$kind"; expect_ok "set $kind"
  done
  # Wednesday 10:03: each kind's first time after it, which stays put
  # however late the scheduler looks.
  local wanted='Wed, 09 Dec 2026 10:15
Wed, 09 Dec 2026 10:28
Thu, 10 Dec 2026 08:15
Wed, 09 Dec 2026 12:17
Thu, 10 Dec 2026 00:00' when
  for when in "2026-12-09 10:10:00" "2026-12-10 09:00:00"; do
    OUT=$(next_runs "$when")
    [[ $OUT == "$wanted" ]] || fail "next runs at $when:"$'\n'"$(diff <(echo "$wanted") <(echo "$OUT"))"
  done

  # A damaged kind is never due, and says so.
  sed -i '/\\Schedule\\Weekly\]/,/^\r\?$/ s/^"Settings"=hex:02,/"Settings"=hex:09,/' "$HARVION_HOME/registry.reg"
  [[ $(next_runs "2026-12-10 09:00:00" | sed -n 4p) == "never (the schedule's kind is unknown)" ]] ||
    fail "damaged kind: $(next_runs "2026-12-10 09:00:00")"

  faketime "2026-12-09 10:10:00" "$HVSCAN" --once || fail "hvscan --once before any time: exit $?"
  [[ ! -s $HARVION_HOME/hvscan.log ]] || fail "ran before its time: $(cat "$HARVION_HOME/hvscan.log")"
  # Each run's failed page is news: the user's command hears of it.
  hv config on-change "echo \"\$HARVION_AGENT \$HARVION_FAILED \$HARVION_CONTENTS\" >>'$WORK/notices'"
  expect_ok "config on-change"
  faketime "2026-12-10 09:00:00" env -u DBUS_SESSION_BUS_ADDRESS "$HVSCAN" --once || fail "hvscan --once: exit $?"
  local notice="Timed 1 $HARVION_HOME/Timed/contents.html"
  [[ $(cat "$WORK/notices") == "$(printf '%s\n' "$notice" "$notice" "$notice" "$notice")" ]] ||
    fail "on-change after the scheduled runs: $(cat "$WORK/notices")"
  grep -q '<li class="location">' "$HARVION_HOME/Timed/contents.html" || fail "no contents page after the runs"
  local log
  log=$(cat "$HARVION_HOME/hvscan.log")
  for kind in "${KINDS[@]}"; do
    local runs=1
    [[ $kind == Weekly ]] && runs=0
    [[ $(grep -c "  done: .*schedule \"$kind\"" <<<"$log") -eq $runs ]] ||
      fail "$kind: not run $runs time(s): $log"
  done
}

test_entries_follow_a_rename_and_go_with_a_delete() {
  hv rename Timed Renamed; expect_ok "rename"
  OUT=$("$HVSCAN" --status)
  local kind
  for kind in "${KINDS[@]}"; do
    grep -qx "agent \"Renamed\", item \"$kind\", schedule \"$kind\"" <<<"$OUT" || fail "status names $kind: $OUT"
  done
  [[ $(grep -c "^agent " <<<"$OUT") -eq 5 &&
    $(grep -c "last run Thu, 10 Dec 2026 09:00" <<<"$OUT") -eq 4 ]] || fail "status after the rename: $OUT"
  # A '/' inside a name is written as harvion run and --in take it.
  hv folder Renamed "Rock/Pop"; expect_ok "folder Rock/Pop"
  hv add Renamed http://127.0.0.1:9/live --title Live --in 'Rock\/Pop'; expect_ok "add Live"
  hv set Renamed 'Rock\/Pop/Live' --schedule Hourly; expect_ok "set Live"
  OUT=$("$HVSCAN" --status)
  grep -qx 'agent "Renamed", item "Rock\\/Pop/Live", schedule "Hourly"' <<<"$OUT" || fail "status of Live: $OUT"
  hv delete Renamed; expect_ok "delete"
  OUT=$("$HVSCAN" --status)
  [[ $OUT == *"No agent item has a schedule of its own."* ]] || fail "status after the delete: $OUT"
}

test_a_never_run_item_is_due_at_its_first_time_after_it_was_recorded
test_entries_follow_a_rename_and_go_with_a_delete
finish hvscan
