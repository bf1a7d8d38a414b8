#!/usr/bin/env bash
# End-to-end checks that reading an agent writes nothing, and that a damaged
# cache index costs no stored page.
# Usage: cache_safety_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

# Index bytes, field by field (little-endian numbers, short strings).
u8() { printf "\\x$(printf %02x "$1")"; }
u16() { u8 $(($1 & 255)); u8 $(($1 >> 8)); }
u32() { u16 $(($1 & 65535)); u16 $(($1 >> 16)); }
str() { u8 ${#1}; printf '%s' "$1"; }
# A stored page's record after its object tag: no links, address, local name,
# state 3, copy kept 2, status 200 OK.
record() {
  u16 0; str "$1"; str "$2"; u8 3; u32 0; u32 0; u8 2; u32 0; u32 0; u8 0
  str ""; u32 0; str ""; str ""; str ""; str ""; u32 0; str ""; u32 200; str OK
}
# Two stored pages, each entered under its address and its file name.
two_page_index() {
  u16 4
  str "$1"; u16 65535; u16 1; u16 10; printf CPageDescr; record "$1" "$2"
  str "$2"; u16 2
  str "$3"; u16 32769; record "$3" "$4"
  str "$4"; u16 3
  u32 2
}

# Name, inode, size, modification and change time of every file under the
# home (a folder changes when a lock file comes and goes beside an agent).
snapshot() { find "$HARVION_HOME" ! -type d -printf '%P %i %s %T@ %C@\n' | sort; }

A=http://h.example/a.html
B=http://h.example/b.html

make_agent_with_pages() {
  local name=$1
  hv new "$name"; expect_ok "new $name"
  hv add "$name" $A; expect_ok "add a to $name"
  hv add "$name" $B; expect_ok "add b to $name"
  two_page_index $A 3S000000.html $B 3S000001.html >"$HARVION_HOME/$name/Harvion Cache.hvc"
  printf 'page a' >"$HARVION_HOME/$name/3S000000.html"
  printf 'page b' >"$HARVION_HOME/$name/3S000001.html"
}

test_reading_writes_nothing() {
  make_agent_with_pages Quiet
  hv tree; expect_ok "tree making the Startup Agent"
  local before after command
  before=$(snapshot)
  for command in "tree Quiet" "cache Quiet" "cache Quiet --links" "list" "tree"; do
    hv $command; expect_ok "$command"
    after=$(snapshot)
    [[ $after == "$before" ]] || fail "$command changed files:"$'\n'"$(diff <(echo "$before") <(echo "$after"))"
    before=$after
  done
  hv cache Quiet
  grep -q "^$A  stored  file=3S000000.html" <<<"$OUT" || fail "the made index was not read: $OUT"
}

test_damaged_index_keeps_the_pages() {
  make_agent_with_pages Damaged
  local folder="$HARVION_HOME/Damaged" index="$HARVION_HOME/Damaged/Harvion Cache.hvc"
  printf '\x05' | dd of="$index" bs=1 seek=0 conv=notrunc status=none  # one more key than there is
  cp "$index" "$WORK/damaged-copy"

  hv tree Damaged; expect_ok "tree with a damaged index"
  [[ $OUT == *"<$A>"* ]] || fail "tree with a damaged index: $OUT"
  [[ $(wc -l <<<"$ERR") -eq 1 && $ERR == *"$index.damaged"* ]] || fail "damaged index: stderr '$ERR'"
  [[ -f $folder/3S000000.html && -f $folder/3S000001.html ]] || fail "damaged index: stored pages deleted"
  cmp -s "$index.damaged" "$WORK/damaged-copy" || fail "damaged index not kept aside as it was"
  [[ ! -e $index ]] || fail "damaged index: a new index written over the pages"

  # Later opens stay careful, and quiet, until a run has stored the pages again.
  hv tree Damaged; expect_ok "tree after the damage"
  [[ -z $ERR ]] || fail "the damage reported again: $ERR"
  hv add Damaged http://h.example/c.html; expect_ok "add after the damage"
  hv gc Damaged; expect_ok "gc after the damage"
  [[ -f $folder/3S000000.html && -f $folder/3S000001.html ]] || fail "pages collected after the damage"
}

test_reading_writes_nothing
test_damaged_index_keeps_the_pages
finish "cache safety"
