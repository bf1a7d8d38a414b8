#!/usr/bin/env bash
# harvion schedule and set --schedule: the schedule list as the editor checks
# it, the switch for unattended runs, and items on a schedule as tree shows
# them across processes.
# Usage: schedule_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

NEXT_RUN='  Next run: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}$'

# The list without the next runs, after checking their form.
schedules_without_next_runs() {
  hv schedule
  expect_ok "schedule"
  local line
  while IFS= read -r line; do
    [[ $line == "Unattended runs: "* || $line =~ $NEXT_RUN ]] || fail "schedule line without a next run: $line"
  done <<<"$OUT"
  sed -E "s/$NEXT_RUN//" <<<"$OUT"
}

test_the_defaults_on_a_fresh_profile() {
  local got
  got=$(schedules_without_next_runs)
  local wanted='Unattended runs: off
"Hourly"  Every hour, 15 minutes after the hour.
"Periodically"  Every 25 minutes between 10:00 AM and 04:00 PM on Monday, Tuesday, Wednesday, Thursday, Friday.
"Weekdays"  At 08:15 AM on every Monday, Tuesday, Wednesday, Thursday, Friday
"Weekly"  At 12:17 PM on every Wednesday
"Monthly"  At 12:00 AM on the 10th day of every month.'
  [[ $got == "$wanted" ]] || fail "default schedules:"$'\n'"$(diff <(echo "$wanted") <(echo "$got"))"
  # Turning runs on would start the scheduler program from the recorded
  # program folder: record an empty one instead, so none is left running.
  mkdir -p "$WORK/no-programs"
  sed -i "s|^@=\".*/bin\"\r\?$|@=\"$WORK/no-programs\"|" "$HARVION_HOME/registry.reg"
  grep -q "^@=\"$WORK/no-programs\"" "$HARVION_HOME/registry.reg" || fail "program folder not replaced"
}

test_edits_print_the_schedule() {
  # Each row: the arguments after "schedule", then the line printed (without its next run).
  local args wanted got
  while IFS='|' read -r args wanted; do
    eval "hv schedule $args"
    expect_ok "schedule $args"
    got=$(sed -E "s/$NEXT_RUN//" <<<"$OUT")
    [[ $got == "$wanted" ]] || fail "schedule $args: '$got', wanted '$wanted'"
  done <<'ROWS'
add Lunch --kind weekly --days fri --at "12:30 pm"|"Lunch"  At 12:30 PM on every Friday
add Often --kind periodic --every 10 --days weekdays|"Often"  Every 10 minutes between 10:15 AM and 04:15 PM on Monday, Tuesday, Wednesday, Thursday, Friday.
modify Often --and "13:00 AM"|"Often"  Every 10 minutes between 10:15 AM and 01:00 PM on Monday, Tuesday, Wednesday, Thursday, Friday.
modify Lunch --days Sat,SUNDAY|"Lunch"  At 12:30 PM on every Sunday, Saturday
add Rent --kind monthly --day 31 --at "9:5 pm"|"Rent"  At 09:05 PM on the 31st day of every month.
modify Rent --kind hourly --minute 0|"Rent"  Every hour, 0 minutes after the hour.
modify Rent --minute 1|"Rent"  Every hour, 1 minute after the hour.
add Dawn --kind daily --at 07:30 --days weekdays|"Dawn"  At 07:30 AM on every Monday, Tuesday, Wednesday, Thursday, Friday
add Eve --kind periodic --every 1 --between 7:05 --and 19:30 --days sun|"Eve"  Every minute between 07:05 AM and 07:30 PM on Sunday.
modify Eve --kind monthly --day 22 --at 0:00|"Eve"  At 12:00 AM on the 22nd day of every month.
ROWS
  hv schedule remove Rent; expect_ok "remove"
  schedules_without_next_runs >/dev/null
  [[ $(grep -c '^"' <<<"$OUT") -eq 9 && $OUT != *'"Rent"'* ]] || fail "list after the edits: $OUT"
}

test_refusals_write_nothing() {
  cp "$HARVION_HOME/registry.reg" "$WORK/before.reg"
  local args message
  while IFS='|' read -r args message; do
    eval "hv schedule $args"
    expect_failure "schedule $args" "$message"
  done <<'ROWS'
add "" --kind daily|You must specify a name for the schedule
add New --kind daily --at 24:00|This doesn't seem to be a valid hour specification. Try "hh:mm xM" format, where hh is hour, mm is minute and x=A or P.
add New --kind daily --at "8 AM"|This doesn't seem to be a valid hour specification. Try "hh:mm xM" format, where hh is hour, mm is minute and x=A or P.
modify Periodically --between "04:00 PM"|Start time must be before end time.
add New --kind hourly --minute 60|The minute must be a whole number from 0 to 59.
add New --kind monthly --day x|--day must be a whole number
add New|a new schedule needs --kind hourly, periodic, daily, weekly or monthly
add New --kind yearly|--kind must be hourly, periodic, daily, weekly or monthly
add New --kind weekly --days mon,tue|a weekly schedule runs on one day: give it with --days, e.g. --days wed
add New --kind daily --minute 5|--minute does not apply to a daily schedule
add New --kind daily --days funday|--days must be days joined by commas (sun,mon,...), weekdays, all or none
modify Nowhere --every 5|no schedule named 'Nowhere'
remove|schedule remove needs a NAME
on now|schedule on takes no name
list|no schedule action 'list': give add, modify, remove, on or off
--kind daily|--kind, --minute, --days, --every, --between, --and, --at and --day are for schedule add and modify
ROWS
  cmp -s "$WORK/before.reg" "$HARVION_HOME/registry.reg" || fail "a refused edit changed the settings"
}

test_on_and_off() {
  local arg flag
  for arg in on on off; do
    hv schedule "$arg"
    expect_output "schedule $arg" "Unattended runs: $arg"
    flag=$([[ $arg == on ]] && echo 1 || echo 0)
    grep -q "^\"Enable Schedule\"=dword:0000000$flag" "$HARVION_HOME/registry.reg" ||
      fail "schedule $arg: flag not stored"
    hv schedule
    [[ $(sed -n 1p <<<"$OUT") == "Unattended runs: $arg" ]] || fail "list after schedule $arg: $OUT"
  done
}

# What tree adds to the line of an item on the schedule named (nothing for none).
on_schedule() {
  [[ -n $1 ]] && printf '  schedule "%s"' "$1"
}

test_items_on_a_schedule() {
  hv new S; expect_ok "new S"
  hv folder S F; expect_ok "folder F"
  hv add S http://h.example/a --title A --in F; expect_ok "add A"
  # Each row: ITEM, the value of --schedule, then the schedule tree shows
  # after (in a new process, so from the agent file) for S, F and F/A.
  local item value agent folder location
  local own='[Text and graphics, Links within site, + 1 level]'
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  while IFS='|' read -r item value agent folder location; do
    hv set S $item --schedule "$value"; expect_ok "set $item --schedule $value"
    hv tree S
    expect_output "tree after set $item --schedule $value" \
      "agent \"S\"  $own$(on_schedule "$agent")
  folder \"F\"  $inherited$(on_schedule "$folder")
    location \"A\" <http://h.example/a>  $inherited$(on_schedule "$location")"
  done <<'ROWS'
F|Weekdays||Weekdays|
F/A|Lunch||Weekdays|Lunch
|Hourly|Hourly|Weekdays|Lunch
F|inherit|Hourly||Lunch
|none|||Lunch
ROWS
  grep -q "Lunch" "$HARVION_HOME/S.hvx" || fail "the agent file does not name its schedule"

  cp "$HARVION_HOME/S.hvx" "$WORK/before.hvx"
  hv set S --schedule inherit; expect_failure "an agent inheriting" "an agent has no parent to inherit from"
  hv set S F --schedule Nowhere; expect_failure "an unknown schedule" "no schedule named 'Nowhere'"
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/S.hvx" || fail "a refused set changed the agent file"

  # A schedule removed under an item: the item follows its parent, and the
  # next save writes it so; the name made anew does not bring it back.
  hv schedule remove Lunch; expect_ok "remove Lunch"
  hv tree S
  [[ $OUT != *Lunch* ]] || fail "tree still shows a removed schedule: $OUT"
  hv set S F/A --levels 2; expect_ok "a save after the removal"
  grep -q "Lunch" "$HARVION_HOME/S.hvx" && fail "the saved agent file still names the removed schedule"
  hv schedule add Lunch --kind daily --at "12:00 PM"; expect_ok "Lunch again"
  hv tree S
  [[ $(sed -n 3p <<<"$OUT") == *'<http://h.example/a>  [Text and graphics, Links within site, + 2 levels]' ]] ||
    fail "the item came back to a schedule made anew: $OUT"
}

test_the_defaults_on_a_fresh_profile
test_edits_print_the_schedule
test_refusals_write_nothing
test_on_and_off
test_items_on_a_schedule
finish schedule
