#!/usr/bin/env bash
# harvion set: retrieval settings changed from the command line, as tree
# shows them afterwards, and values refused without touching the agent.
# Usage: set_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

# The settings printed for ITEM (an agent-relative line prefix) by tree.
settings_of() {
  hv tree S
  grep -F -- "$1  [" <<<"$OUT" | sed 's/.*  \[/[/'
}

test_changes_show_in_the_tree() {
  hv new S; expect_ok "new S"
  hv folder S F; expect_ok "folder F"
  hv add S http://h.example/a --title A --in F; expect_ok "add A"
  hv add S http://h.example/b/c --in F; expect_ok "add b/c"
  hv add S http://h.example/d/; expect_ok "add d/"
  # Each row: ITEM, options of set, the tree line's start, the settings it shows after.
  # The changes build on each other, as inherited settings follow their parents.
  local item options line wanted got
  while IFS='|' read -r item options line wanted; do
    eval "hv set S $item $options"
    expect_ok "set $item $options"
    got=$(settings_of "$line")
    [[ $got == "$wanted" ]] || fail "set $item $options: '$got', wanted '$wanted'"
  done <<'ROWS'
|--levels 3|agent "S"|[Text and graphics, Links within site, + 3 levels]
http://h.example/d/|--levels 5|  location <http://h.example/d/>|[Text and graphics, Links within site, + 5 levels]
F|--files text|  folder "F"|[Text only, Links within site, + 3 levels]
F|--confine directory --levels all|  folder "F"|[Text only, Links within directory, All levels]
F/A|--levels=0|    location "A" <http://h.example/a>|[Text only, Links within directory, This page]
F/A|--inherit|    location "A" <http://h.example/a>|[Text only, Links within directory, All levels, inherited]
F|--exclude-types 'Site map'|  folder "F"|[Site map, Links within directory, All levels]
F|--exclude-locations 'Inside server' --files sitemap|  folder "F"|[Site map, Inside server, All levels]
'F/http:\/\/h.example\/b\/c'|--levels 2 --confine outside|    location <http://h.example/b/c>|[Site map, Links outside site, + 2 levels]
F/http://h.example/b/c|--levels 4|    location <http://h.example/b/c>|[Site map, Links outside site, + 4 levels]
|--files all --confine unrestricted|agent "S"|[All files, Unrestricted, + 3 levels]
F|--inherit|  folder "F"|[All files, Unrestricted, + 3 levels, inherited]
F/A|--requisites any-server|    location "A" <http://h.example/a>|[All files, Unrestricted, + 3 levels, requisites from any server]
F|--requisites any-server|  folder "F"|[All files, Unrestricted, + 3 levels, requisites from any server]
F/A|--inherit|    location "A" <http://h.example/a>|[All files, Unrestricted, + 3 levels, requisites from any server, inherited]
F|--requisites strategy --levels 1|  folder "F"|[All files, Unrestricted, + 1 level]
ROWS
}

test_refusals_leave_the_agent_alone() {
  cp "$HARVION_HOME/S.hvx" "$WORK/before.hvx"
  local options message
  while IFS='|' read -r options message; do
    eval "hv set S $options"
    expect_failure "set S $options" "$message"
  done <<'ROWS'
--levels 127|levels must be a whole number from 0 to 126, or all
--levels=-1|levels must be a whole number from 0 to 126, or all
--files text --levels 3x|levels must be a whole number from 0 to 126, or all
--levels 2 --files pictures|--files must be sitemap, text, graphics or all
--confine planet|--confine must be unrestricted, site, directory, outside or server
--exclude-types 'text only'|no file-type list named 'text only' in agent 'S'
--exclude-locations Nowhere|no location list named 'Nowhere' in agent 'S'
--files text --exclude-types 'All files'|the file-type list and the strategy given name different strategies
--confine site --exclude-locations Unrestricted|the location list and the strategy given name different strategies
F --inherit --levels 2|--inherit takes no other setting
--requisites cdn|--requisites must be strategy or any-server
F --inherit --requisites strategy|--inherit takes no other setting
--inherit|an agent has no parent to inherit from
F|nothing to set: give --levels, --files, --confine, --exclude-types, --exclude-locations, --requisites, --inherit or --schedule
Nowhere --levels 1|no item 'Nowhere' in agent 'S'
F/ --levels 1|no item 'F/' in agent 'S'
http://h.example --levels 1|no item 'http://h.example' in agent 'S'
ROWS
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/S.hvx" || fail "a refused set changed the agent file"
  hv set Nobody --levels 1; expect_failure "set on an unknown agent" "no agent named 'Nobody'"
  hv set S --levels; expect_usage_error "set --levels without a value"
  hv set S --engine x; expect_usage_error "set with an option of search"
}

test_search_folders() {
  hv search S "cheap flights"; expect_ok "search"
  local engines first
  engines=$(grep -c '^  location ".*" <http://.*%KEY.*>  \[' <<<"$OUT")
  [[ $(sed -n 1p <<<"$OUT") == 'search "cheap flights"  ['* && $engines -ge 2 ]] || fail "search printed: $OUT"
  first=$(sed -n '2s/^  location "\([^"]*\)".*/\1/p' <<<"$OUT")
  hv tree S
  [[ $(grep -c '^    location .*%KEY' <<<"$OUT") -eq $engines ]] || fail "search folder not stored: $OUT"

  # One engine, named in other letter case, in a folder.
  hv search S "a b" --engine "${first^^}" --in F; expect_ok "search --engine --in"
  [[ $(wc -l <<<"$OUT") -eq 2 && $(sed -n 2p <<<"$OUT") == "  location \"$first\" <"* ]] ||
    fail "search --engine kept: $OUT"

  cp "$HARVION_HOME/S.hvx" "$WORK/before.hvx"
  hv search S x --engine Nowhere
  [[ $RC -eq 1 && $ERR == "harvion: no search engine named 'Nowhere'; there are: $first, "* ]] ||
    fail "search with an unknown engine: exit $RC, '$ERR'"
  hv search S x --in Nowhere; expect_failure "search in an unknown folder" "no folder 'Nowhere' in agent 'S'"
  hv search S "  "; expect_failure "search for nothing" "no search text given"
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/S.hvx" || fail "a refused search changed the agent file"
}

test_changes_show_in_the_tree
test_refusals_leave_the_agent_alone
test_search_folders
finish set
