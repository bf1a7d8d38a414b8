#!/usr/bin/env bash
# harvion's commands on agents when the disk is full, names are long, a
# command died halfway, or several commands change one agent at once.
# Usage: agent_lifecycle_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

# Runs harvion where no file may grow, as on a full disk. Both streams go to
# ERR through a pipe (a file would not grow either), so nothing but the one
# message may be printed.
hv_full() {
  ERR=$( (trap '' XFSZ; ulimit -f 0; exec "$HV" "$@") 2>&1)
  RC=$?
}

test_full_disk() {
  hv new Kept; expect_ok "new Kept"
  hv add Kept http://h.example/a; expect_ok "add before the disk filled"
  cp "$HARVION_HOME/Kept.hvx" "$WORK/kept.hvx"
  printf '<A HREF="http://h.example/b">b</A>\n' >"$WORK/one.html"
  local command
  for command in "add Kept http://h.example/c" "folder Kept Sub" "import Kept $WORK/one.html"; do
    hv_full $command
    [[ $RC -eq 1 && $ERR == "harvion: cannot save agent 'Kept': "* && $ERR != *$'\n'* ]] \
      || fail "$command on a full disk: exit $RC, '$ERR'"
  done
  cmp -s "$WORK/kept.hvx" "$HARVION_HOME/Kept.hvx" || fail "a failed save changed the agent file"

  hv_full new Full
  [[ $RC -eq 1 && $ERR == "harvion: cannot create agent 'Full': "* && $ERR != *$'\n'* ]] || fail "new on a full disk: exit $RC, '$ERR'"
  expect_agent_gone "new on a full disk" Full
  hv new Full; expect_ok "new once there is room again"
  hv delete Full; expect_ok "delete Full"
}

test_long_names() {
  local fits refused
  fits=$(printf 'n%.0s' {1..243})
  hv new "$fits"; expect_ok "new with a 243-byte name"
  hv add "$fits" http://h.example/; expect_ok "add to the 243-byte agent"
  hv delete "$fits"; expect_ok "delete the 243-byte agent"
  for refused in "${fits}x" "${fits}xxxxxxx"; do
    hv new "$refused"; expect_failure "new with a ${#refused}-byte name" "cannot create agent '$refused'"
    expect_agent_gone "new with a ${#refused}-byte name" "$refused"
  done
  [[ -z $(ls -A "$HARVION_HOME" | grep -v -e registry -e Kept) ]] || fail "long names left: $(ls -A "$HARVION_HOME")"
}

test_leftovers_of_a_crash() {
  # A folder without its agent file: what a create or delete that died left.
  mkdir "$HARVION_HOME/Orphan"
  touch "$HARVION_HOME/Orphan/3S000001.html"
  hv list; [[ $OUT != *Orphan* ]] || fail "list shows an orphan folder"
  hv delete Orphan; expect_ok "delete an orphan folder"
  expect_agent_gone "delete an orphan folder" Orphan
  mkdir "$HARVION_HOME/Orphan"
  hv new Orphan; expect_ok "new over an orphan folder"
  expect_agent_on_disk "new over an orphan folder" Orphan

  # A folder of the user's own is left alone.
  mkdir "$HARVION_HOME/Mine"
  touch "$HARVION_HOME/Mine/notes.txt"
  hv new Mine; expect_failure "new over a folder of the user's" "agent 'Mine' already exists"
  hv delete Mine; expect_failure "delete a folder of the user's" "no agent named 'Mine'"
  [[ -f "$HARVION_HOME/Mine/notes.txt" ]] || fail "a folder of the user's lost its file"

  # Temporary files of saves that never finished.
  touch "$HARVION_HOME/.Orphan.hvx.Ab12Cd" "$HARVION_HOME/Orphan/.Harvion Cache.hvc.x1Y2z3"
  hv add Orphan http://h.example/; expect_ok "add after a crashed save"
  [[ ! -e "$HARVION_HOME/.Orphan.hvx.Ab12Cd" && ! -e "$HARVION_HOME/Orphan/.Harvion Cache.hvc.x1Y2z3" ]] \
    || fail "add left stale temporary files"
  touch "$HARVION_HOME/.Orphan.hvx.Ab12Cd"
  hv delete Orphan; expect_ok "delete Orphan"
  [[ -z $(ls -A "$HARVION_HOME" | grep Orphan) ]] || fail "delete left $(ls -A "$HARVION_HOME" | grep Orphan)"

  # A rename that died after moving the folder: either name's next command
  # gives the old name its folder back.
  local next
  for next in "tree Old" "new New"; do
    hv new Old; expect_ok "new Old"
    touch "$HARVION_HOME/Old/FRM1.HTM"
    mv "$HARVION_HOME/Old" "$HARVION_HOME/New"
    printf 'New' >"$HARVION_HOME/.Old.hvx.to"
    hv $next; expect_ok "$next after a rename died"
    [[ -f "$HARVION_HOME/Old/FRM1.HTM" && ! -e "$HARVION_HOME/.Old.hvx.to" ]] \
      || fail "$next did not undo the half-done rename: $(ls -A "$HARVION_HOME")"
    hv delete Old; expect_ok "delete Old"
  done
  expect_agent_on_disk "new over a half-renamed folder" New
  hv delete New; expect_ok "delete New"
}

test_concurrent_adds() {
  hv new Busy; expect_ok "new Busy"
  local worker i
  for worker in 1 2 3 4; do
    (for i in $(seq 1 50); do "$HV" add Busy "http://h.example/$worker/$i" || echo "add $worker/$i failed"; done) \
      >"$WORK/worker$worker" 2>&1 &
  done
  wait
  cat "$WORK"/worker* | grep . && fail "concurrent adds failed"
  hv tree Busy
  [[ $(grep -c '^  location' <<<"$OUT") -eq 200 ]] || fail "concurrent adds: $(grep -c '^  location' <<<"$OUT") of 200 kept"
  [[ -z $(ls -A "$HARVION_HOME" | grep '\.hvx\.lock$') ]] || fail "lock files left: $(ls -A "$HARVION_HOME")"
  hv delete Busy; expect_ok "delete Busy"
}

test_import_limits() {
  hv new Marks; expect_ok "new Marks"
  printf '%s\n' '<A HREF="rel.html">relative</A><A HREF="3S000001.html">stored</A>' \
    '<A HREF="http://h.example/">home</A>' >"$WORK/mixed.html"
  hv import Marks "$WORK/mixed.html"; expect_ok "import with relative links"
  expect_output "import with relative links" "1 location imported"

  seq -f '<A HREF="http://h.example/%g">x</A>' 1 5100 >"$WORK/many.html"
  hv import Marks "$WORK/many.html"
  local imported skipped
  imported=$(grep -o '^[0-9]*' <<<"$OUT")
  skipped=$(grep -o '[0-9]* links skipped' <<<"$ERR" | grep -o '^[0-9]*')
  [[ $RC -eq 1 ]] || fail "import past the cache's limit: exit $RC"
  [[ $ERR == "harvion: "*" links skipped: agent 'Marks' holds as many addresses as its cache can" ]] \
    || fail "import past the cache's limit: '$ERR'"
  [[ -n $imported && -n $skipped && $((imported + skipped)) -eq 5100 ]] \
    || fail "import past the cache's limit: $imported imported and $skipped skipped of 5100"
  hv delete Marks; expect_ok "delete Marks"
}

test_folder_names_with_slashes() {
  hv new Paths; expect_ok "new Paths"
  hv folder Paths 'a/b'; expect_ok "folder with a slash"
  hv folder Paths 'c\d' --in 'a\/b'; expect_ok "folder --in an escaped slash"
  hv add Paths http://h.example/ --in 'a\/b/c\\d'; expect_ok "add --in escaped names"
  hv add Paths http://h.example/x --in 'a/b'; expect_failure "a slash not escaped" "no folder 'a/b' in agent 'Paths'"
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  hv tree Paths
  expect_output "tree of names with slashes" "agent \"Paths\"  [Text and graphics, Links within site, + 1 level]
  folder \"a\\/b\"  $inherited
    folder \"c\\\\d\"  $inherited
      location <http://h.example/>  $inherited"
  hv --help; [[ $OUT == *'\/'* ]] || fail "help does not tell how to write a slash in a folder name"
}

test_full_disk
test_long_names
test_leftovers_of_a_crash
test_concurrent_adds
test_import_limits
test_folder_names_with_slashes

finish "agent lifecycle"
