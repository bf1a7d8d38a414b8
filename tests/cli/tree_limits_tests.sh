#!/usr/bin/env bash
# harvion at the edge of what an agent file may hold: folders nested as deep
# as the reader allows.
# Usage: tree_limits_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

MAX_DEPTH=1024  # the most levels an item may lie below its agent

# Little-endian fields of an agent file, written to stdout: nesting that deep
# by hand would take a thousand commands.
u8() {
  local byte
  printf -v byte '\\x%02x' "$1"
  printf "$byte"
}
u16() { u8 $(($1 & 255)); u8 $(($1 >> 8 & 255)); }
u32() { u16 $(($1 & 65535)); u16 $(($1 >> 16 & 65535)); }
str() { u8 ${#1}; printf '%s' "$1"; }
new_class() { u16 65535; u16 1; u16 ${#1}; printf '%s' "$1"; }

# Agent NAME holding FOLDERS folders "F", each nested in the one before.
write_agent() {
  local name=$1 folders=$2 depth parent=2
  {
    u32 768
    new_class CAgentAnchor  # class 1, object 2
    u16 0; u16 0; str ""; str ""; str ""; u32 0
    str "$name"; u8 1; u8 1; u16 0; u32 1; u8 2; u8 1; u8 0; str ""; str ""; u8 1; u16 0
    for ((depth = 0; depth < folders; depth++)); do
      u16 1
      if ((depth == 0)); then new_class CCategoryAnchor; else u16 $((0x8000 | 3)); fi  # class 3
      str F; u8 1; u8 1; u16 $parent; u32 0; u8 0; u8 0; u8 1; str ""; str ""; u8 1; u16 0
      if ((depth == 0)); then parent=4; else parent=$((parent + 1)); fi
    done
    u16 0
  } >"$HARVION_HOME/$name.hvx"
  mkdir -p "$HARVION_HOME/$name"
}

# The --in path of the folder LEVELS levels below the agent.
folder_path() {
  local path=F level
  for ((level = 1; level < $1; level++)); do path+=/F; done
  printf '%s' "$path"
}

# A refusal for depth: exit 1, the engine's reason, then the command's failure.
expect_too_deep() {
  local name=$1 failure=$2
  [[ $RC -eq 1 ]] || fail "$name: exit $RC, wanted 1"
  local wanted="harvion: Unable to nest items more than $MAX_DEPTH levels deep"$'\n'"harvion: $failure"
  [[ $ERR == "$wanted" ]] || fail "$name: stderr '$ERR', wanted '$wanted'"
}

test_nesting_up_to_the_limit() {
  write_agent Deep $((MAX_DEPTH - 1))
  hv tree Deep
  expect_ok "tree of an agent one level short of the limit"
  [[ $(wc -l <<<"$OUT") -eq $MAX_DEPTH ]] || fail "tree of Deep: $(wc -l <<<"$OUT") lines"

  hv folder Deep F --in "$(folder_path $((MAX_DEPTH - 1)))"
  expect_ok "folder on the last level"
  cp "$HARVION_HOME/Deep.hvx" "$WORK/before.hvx"
  hv folder Deep X --in "$(folder_path $MAX_DEPTH)"
  expect_too_deep "folder past the limit" "cannot create folder 'X'"
  hv add Deep http://example.org/ --in "$(folder_path $MAX_DEPTH)"
  expect_too_deep "location past the limit" "cannot add location 'http://example.org/'"
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/Deep.hvx" || fail "a refused insertion changed the agent file"

  hv tree Deep
  expect_ok "tree of an agent at the limit"
  [[ $(wc -l <<<"$OUT") -eq $((MAX_DEPTH + 1)) ]] || fail "tree at the limit: $(wc -l <<<"$OUT") lines"
}

test_file_past_the_limit() {
  write_agent Deeper $((MAX_DEPTH + 1))
  hv tree Deeper
  expect_failure "tree of a file nested past the limit" "cannot open agent 'Deeper'"
}

test_nesting_up_to_the_limit
test_file_past_the_limit
finish tree_limits
