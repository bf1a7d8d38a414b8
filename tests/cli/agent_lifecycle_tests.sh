#!/usr/bin/env bash
# harvion on agents when the disk is full, a command died halfway, several
# commands change one agent at once, or a file has more links than fit.
# Usage: agent_lifecycle_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

test_full_disk() {
  hv new Kept; expect_ok "new Kept"
  cp "$HARVION_HOME/Kept.hvx" "$WORK/kept.hvx"
  printf '<A HREF="http://h.example/b">b</A>\n' >"$WORK/one.html"
  local command
  for command in "add Kept http://h.example/c" "folder Kept Sub" "import Kept $WORK/one.html" "new Full"; do
    # No file may grow; both streams go through the pipe, so only the message may show.
    ERR=$( (trap '' XFSZ; ulimit -f 0; exec "$HV" $command) 2>&1)
    RC=$?
    [[ $RC -eq 1 && $ERR == "harvion: cannot "*": "* && $ERR != *$'\n'* ]] \
      || fail "$command on a full disk: exit $RC, '$ERR'"
  done
  cmp -s "$WORK/kept.hvx" "$HARVION_HOME/Kept.hvx" || fail "a failed save changed the agent file"
  expect_agent_gone "new on a full disk" Full
  hv new "$(printf 'n%.0s' {1..244})"; [[ $RC -eq 1 ]] || fail "new with a 244-byte name: exit $RC"
  [[ -z $(ls -A "$HARVION_HOME" | grep -e Full -e nnn) ]] || fail "failed creates left $(ls -A "$HARVION_HOME")"
}

test_leftovers_of_a_crash() {
  # A folder without its agent file: what a create or delete that died left.
  mkdir "$HARVION_HOME/Orphan"
  touch "$HARVION_HOME/Orphan/3S000001.html"
  hv delete Orphan; expect_ok "delete an orphan folder"
  expect_agent_gone "delete an orphan folder" Orphan
  mkdir "$HARVION_HOME/Orphan"
  hv new Orphan; expect_ok "new over an orphan folder"
  mkdir "$HARVION_HOME/Mine"
  touch "$HARVION_HOME/Mine/notes.txt"
  hv new Mine
  expect_failure "new over a folder of the user's" "cannot create agent 'Mine': '$HARVION_HOME/Mine' is in the way"
  hv delete Mine; expect_failure "delete a folder of the user's" "no agent named 'Mine'"
}

test_concurrent_adds() {
  local worker i
  for worker in 1 2 3 4; do
    (for i in $(seq 1 50); do "$HV" add Kept "http://h.example/$worker/$i" || echo "add $worker/$i failed"; done) \
      >"$WORK/worker$worker" 2>&1 &
  done
  wait
  # A worker that waited over a second for the others says so; only other
  # output is a failure.
  cat "$WORK"/worker* | grep -v "^harvion: waiting: agent 'Kept' is open in another program$" | grep . &&
    fail "concurrent adds failed"
  hv tree Kept
  [[ $(grep -c '^  location' <<<"$OUT") -eq 200 ]] || fail "concurrent adds: $(grep -c '^  location' <<<"$OUT") of 200 kept"
  [[ -z $(ls -A "$HARVION_HOME" | grep '\.hvx\.lock$') ]] || fail "lock files left: $(ls -A "$HARVION_HOME")"
}

test_a_long_wait_is_announced() {
  # Another program holds the agent for two seconds (as the desktop program
  # does while the agent is open): the command says so, then does its work.
  mkfifo "$WORK/held"
  flock "$HARVION_HOME/.Kept.hvx.lock" sh -c "echo held >'$WORK/held'; sleep 2" &
  read -r _ <"$WORK/held"
  hv add Kept http://h.example/after-the-wait; expect_ok "add while another program holds the agent"
  [[ $ERR == "harvion: waiting: agent 'Kept' is open in another program" ]] || fail "the wait was not announced: '$ERR'"
  wait
}

test_import_of_thousands_of_links() {
  hv new Marks; expect_ok "new Marks"
  seq -f '<A HREF="http://h.example/%g">x</A>' 1 6100 >"$WORK/many.html"
  hv import Marks "$WORK/many.html"; expect_ok "import of 6100 links"
  [[ $OUT == "6100 locations imported" ]] || fail "import of 6100 links: '$OUT'"
}

test_folder_names_with_slashes() {
  hv new Paths; expect_ok "new Paths"
  hv folder Paths 'a/b'; expect_ok "folder with a slash"
  hv folder Paths 'c\d' --in 'a\/b'; expect_ok "folder --in an escaped slash"
  hv add Paths http://h.example/ --in 'a\/b/c\\d'; expect_ok "add --in escaped names"
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  hv tree Paths
  expect_output "tree of names with slashes" "agent \"Paths\"  [Text and graphics, Links within site, + 1 level]
  folder \"a\\/b\"  $inherited
    folder \"c\\\\d\"  $inherited
      location <http://h.example/>  $inherited"
}

test_full_disk
test_leftovers_of_a_crash
test_concurrent_adds
test_a_long_wait_is_announced
test_import_of_thousands_of_links
test_folder_names_with_slashes

finish "agent lifecycle"
