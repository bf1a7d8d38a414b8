#!/usr/bin/env bash
# End-to-end tests of the harvion command-line tool.
# Usage: run_cli_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

test_help_and_usage() {
  local option
  for option in --help -h; do
    hv "$option"
    expect_ok "$option"
    local word
    for word in new tree add folder rename delete list --title --in --help; do
      [[ $OUT == *"$word"* ]] || fail "$option: usage does not mention $word"
    done
  done
  # A command's help is its own: its synopsis and options, no other command.
  local args
  for args in "add --help" "help add" "add -h News"; do
    hv $args; expect_ok "$args"
    [[ $(sed -n 1p <<<"$OUT") == "Usage: harvion add NAME URL [--title TEXT] [--in FOLDER]" &&
      $OUT == *"  --title TEXT"* && $OUT != *"--levels"* && $OUT != *"harvion tree"* ]] || fail "$args: $OUT"
  done
  hv help; expect_ok "help"; [[ $OUT == *"harvion tree"* && $OUT == *"--levels"* ]] || fail "help: $OUT"
  hv --version; expect_ok "--version"
  [[ $OUT =~ ^harvion\ [0-9]+\.[0-9]+$ && $OUT == "$("$(dirname "$HV")/hvscan" --version | sed 's/^hvscan/harvion/')" ]] ||
    fail "--version: '$OUT'"

  # Each row: the arguments, then the first line of the usage error.
  local wanted
  while IFS='|' read -r args wanted; do
    eval "hv $args"; expect_usage_error "$args"
    [[ $(sed -n 1p <<<"$ERR") == "harvion: $wanted" ]] || fail "$args: '$(sed -n 1p <<<"$ERR")', wanted '$wanted'"
  done <<'ROWS'
frobnicate|unknown command 'frobnicate'
shedule|unknown command 'shedule' (did you mean 'schedule'?)
lsit|unknown command 'lsit' (did you mean 'list'?)
Run News|unknown command 'Run' (did you mean 'run'?)
add News http://h/ --titel T|unknown option '--titel' (did you mean '--title'?)
set News --level 2|unknown option '--level' (did you mean '--levels'?)
list --verbose|unknown option '--verbose'
help shedule|no command 'shedule' (did you mean 'schedule'?)
ROWS

  hv; expect_usage_error "no command"
  hv frobnicate; expect_usage_error "unknown command"
  hv list --bogus; expect_usage_error "unknown option"
  hv add News; expect_usage_error "missing argument"
  hv new; expect_usage_error "new without a name"
  hv new A B; expect_usage_error "extra argument"
  hv list x; expect_usage_error "list takes no argument"
  hv folder News F --title T; expect_usage_error "option of another command"
  hv add News http://h/ --title; expect_usage_error "option without its value"
  hv add News http://h/ --title a --title b; expect_usage_error "option given twice"
  [[ -z $(ls -A "$HARVION_HOME" | grep -v registry) ]] || fail "usage errors created agents"

  hv list
  expect_ok "list with no agents"
  expect_output "list with no agents" ""
}

test_new_and_list() {
  hv new News
  expect_ok "new News"
  expect_agent_on_disk "new News" News
  local magic
  magic=$(od -A n -t x1 -N 4 "$HARVION_HOME/News.hvx" | tr -d ' \n')
  [[ $magic == 00030000 ]] || fail "new: agent file starts with $magic, wanted 00030000"

  hv new Alpha
  expect_ok "new Alpha"
  # A file without its folder is not an agent.
  : >"$HARVION_HOME/Stray.hvx"
  hv list
  expect_ok "list"
  expect_output "list" $'Alpha\nNews'
  rm -f "$HARVION_HOME/Stray.hvx"

  hv tree News
  expect_ok "tree of a new agent"
  expect_output "tree of a new agent" 'agent "News"  [Text and graphics, Links within site, + 1 level]'

  # "--" lets a name start with a dash.
  hv new -- -dash
  expect_ok "new -- -dash"
  expect_agent_on_disk "new -- -dash" -dash
}

test_building_a_tree() {
  hv folder News Local; expect_ok "folder Local"
  hv folder News Sub --in Local; expect_ok "folder --in Local"
  hv add News http://example.org/hall --title "Town hall" --in Local/Sub; expect_ok "add --in Local/Sub"
  # Options may come before the arguments.
  hv add --in Local News http://example.org/a; expect_ok "add with the option first"
  hv add News http://example.org/b --title=http://example.org/b; expect_ok "add titled with its URL"
  hv add News https://example.org/b; expect_ok "add an https URL"
  hv tree News
  expect_ok "tree News"
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  expect_output "tree News" "agent \"News\"  [Text and graphics, Links within site, + 1 level]
  folder \"Local\"  $inherited
    folder \"Sub\"  $inherited
      location \"Town hall\" <http://example.org/hall>  $inherited
    location <http://example.org/a>  $inherited
  location <http://example.org/b>  $inherited
  location <https://example.org/b>  $inherited"

  # Reading an agent must not rewrite it.
  cp "$HARVION_HOME/News.hvx" "$WORK/before.hvx"
  hv tree News
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/News.hvx" || fail "tree rewrote the agent file"
}

test_refusals() {
  hv new News; expect_failure "new with a taken name" "agent 'News' already exists"
  local rule="not a usable name (names are 1 to 243 bytes long, without '/', and not '.' or '..')"
  hv new ../x; expect_failure "new ../x" "cannot create agent '../x': $rule"
  [[ ! -e "$WORK/x.hvx" && ! -e "$WORK/x" ]] || fail "new ../x wrote outside the agents folder"
  local long
  long=$(printf 'n%.0s' {1..244})
  hv new "$long"; expect_failure "new with 244 bytes" "cannot create agent '$long': $rule"
  : >"$HARVION_HOME/Blocked"
  hv new Blocked
  expect_failure "new over a file" "cannot create agent 'Blocked': '$HARVION_HOME/Blocked' is in the way"
  rm "$HARVION_HOME/Blocked"

  cp "$HARVION_HOME/News.hvx" "$WORK/before.hvx"
  # Each row: an address, then why it is refused.
  local url why
  while IFS='|' read -r url why; do
    hv add News "$url"; expect_failure "add $url" "cannot add location '$url': not a web address ($why)"
  done <<'ROWS'
example.org|it needs http:// or https:// in front
plain words|it needs http:// or https:// in front
ftp://example.org/file|only http: and https: addresses are
httpsx://example.org/|only http: and https: addresses are
mailto:me@example.org|only http: and https: addresses are
http://|it names no host
https://user@:8080/x|it names no host
http:example.org|it names no host
ROWS
  hv add News http://example.org/c --in Nowhere
  expect_failure "add into an unknown folder" "no folder 'Nowhere' in agent 'News'"
  hv folder News X --in Local/Nowhere
  expect_failure "folder into an unknown subfolder" "no folder 'Local/Nowhere' in agent 'News'"
  hv add News http://example.org/c --in Local/
  expect_failure "folder path with an empty step" "no folder 'Local/' in agent 'News'"
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/News.hvx" || fail "a refused change altered the agent file"

  hv add Nobody http://example.org/; expect_failure "add to an unknown agent" "no agent named 'Nobody'"
  hv tree Nobody; expect_failure "tree of an unknown agent" "no agent named 'Nobody'"
  hv delete Nobody; expect_failure "delete an unknown agent" "no agent named 'Nobody'"
  hv rename Nobody Somebody; expect_failure "rename an unknown agent" "no agent named 'Nobody'"
  expect_agent_gone "rename an unknown agent" Somebody
}

test_rename() {
  hv rename News Daily
  expect_ok "rename News Daily"
  expect_agent_gone "rename News Daily" News
  expect_agent_on_disk "rename News Daily" Daily
  hv tree Daily
  expect_ok "tree after rename"
  [[ $(sed -n 1p <<<"$OUT") == 'agent "Daily"  '* ]] || fail "rename: tree starts with '$(sed -n 1p <<<"$OUT")'"
  [[ $(wc -l <<<"$OUT") -eq 7 ]] || fail "rename lost items: $OUT"

  hv rename Daily Alpha
  expect_failure "rename onto another agent" "cannot rename 'Daily' to 'Alpha': agent 'Alpha' already exists"
  expect_agent_on_disk "rename onto another agent" Daily
  expect_agent_on_disk "rename onto another agent" Alpha
  # Another program making or changing an agent of that name holds its lock.
  exec 9>"$HARVION_HOME/.Busy.hvx.lock"
  flock 9
  hv rename Daily Busy
  expect_failure "rename onto a held name" "cannot rename 'Daily' to 'Busy': agent 'Busy' is open in another program"
  exec 9>&-
  rm -f "$HARVION_HOME/.Busy.hvx.lock"
  hv rename Daily ../y
  expect_failure "rename out of the folder" "cannot rename 'Daily' to '../y': not a usable name (names are 1 to 243 bytes long, without '/', and not '.' or '..')"
  [[ ! -e "$WORK/y.hvx" ]] || fail "rename ../y wrote outside the agents folder"
  expect_agent_on_disk "rename out of the folder" Daily
}

test_delete() {
  touch "$HARVION_HOME/Daily/retrieved.htm"
  hv delete Daily
  expect_ok "delete Daily"
  expect_agent_gone "delete Daily" Daily
  hv list
  expect_output "list after delete" $'-dash\nAlpha'
}

test_startup_agent() {
  hv tree
  expect_ok "tree without a name"
  [[ $(sed -n 1p <<<"$OUT") == 'agent "Startup Agent"'* ]] || fail "tree without a name: '$OUT'"
  expect_agent_on_disk "tree without a name" "Startup Agent"
}

test_names_and_text() {
  # Typed names lose surrounding blanks, as in the desktop program.
  hv new "  Spaced  "
  expect_ok "new with blanks around the name"
  expect_agent_on_disk "new with blanks around the name" Spaced
  hv folder Spaced "   "; expect_failure "folder with a blank name" "cannot create folder '   '"

  # Titles are bytes: Latin-1 is shown as UTF-8, quotes and backslashes escaped.
  hv add Spaced http://example.org/cafe --title $'Caf\xe9'
  expect_ok "add a Latin-1 title"
  hv add Spaced http://example.org/q --title 'say "hi" \ bye'
  expect_ok "add a title with quotes"
  hv add Spaced http://example.org/c --title $'\e[31m red \xc2\x9b1m'
  expect_ok "add a title with terminal controls"
  hv tree Spaced
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  expect_output "tree of escaped titles" "agent \"Spaced\"  [Text and graphics, Links within site, + 1 level]
  location \"Café\" <http://example.org/cafe>  $inherited
  location \"say \\\"hi\\\" \\\\ bye\" <http://example.org/q>  $inherited
  location \"\\x1B[31m red \\xC2\\x9B1m\" <http://example.org/c>  $inherited"

  # The file system tells letter case apart, so such a rename moves the files.
  hv rename Spaced SPACED
  expect_ok "rename changing only letter case"
  expect_agent_on_disk "rename changing only letter case" SPACED
  [[ ! -e "$HARVION_HOME/Spaced.hvx" ]] || fail "case rename left Spaced.hvx"

  # An empty name stands for the Startup Agent inside the engine; never here.
  hv delete ""; expect_failure "delete with an empty name" "no agent named ''"
  expect_agent_on_disk "delete with an empty name" "Startup Agent"
  hv delete SPACED; expect_ok "delete SPACED"
}

test_config() {
  hv config; expect_ok "config"
  grep -qx 'threads        4  (default)' <<<"$OUT" || fail "config: threads line in: $OUT"
  grep -qx "agents-folder  $HARVION_HOME  (default)" <<<"$OUT" || fail "config: agents-folder line in: $OUT"
  grep -qx 'user-agent     Harvion/2.0  (default)' <<<"$OUT" || fail "config: user-agent line in: $OUT"

  hv config threads 8; expect_ok "config threads 8"
  expect_output "config threads 8" 'threads        8  (stored)'
  hv config threads; expect_output "config threads" 'threads        8  (stored)'
  grep -q '"Threads"=dword:00000008' "$HARVION_HOME/registry.reg" || fail "config threads: not in the store"
  [[ $(stat -c %a "$HARVION_HOME/registry.reg") == 600 ]] || fail "config: store is not mode 600"

  local before
  before=$(cat "$HARVION_HOME/registry.reg")
  hv config threads 64; expect_failure "config threads 64" "threads must be a whole number from 1 to 63"
  hv config timeout soon; expect_failure "config timeout soon" "timeout must be seconds, from 1 to 3600"
  hv config use-proxy perhaps; expect_failure "config use-proxy perhaps" "use-proxy must be on or off"
  hv config colour blue; expect_failure "config colour" "no setting named 'colour'"
  [[ $(cat "$HARVION_HOME/registry.reg") == "$before" ]] || fail "refused values changed the store"

  hv config proxy-server cache.local; expect_ok "config proxy-server"
  hv config proxy-port 3128; expect_ok "config proxy-port"
  hv config use-proxy on; expect_ok "config use-proxy"
  hv config; grep -qx 'use-proxy      on  (stored)' <<<"$OUT" || fail "config use-proxy: $OUT"
  grep -qx 'proxy-server   cache.local  (stored)' <<<"$OUT" || fail "config proxy-server: $OUT"

  # Agents made before the move stay in the old folder; new ones go to the new one.
  local moved="$WORK/moved"
  hv config agents-folder "$moved"; expect_ok "config agents-folder"
  [[ -d $moved ]] || fail "config agents-folder: folder not made"
  hv new Relocated; expect_ok "new after move"
  [[ -f "$moved/Relocated.hvx" ]] || fail "config agents-folder: new agent not in the new folder"
  hv config agents-folder "$WORK/no/such/deep"
  expect_failure "config agents-folder deep" \
    "agents-folder must be an absolute path of up to 259 characters to a folder that exists or whose parent exists"
  hv config agents-folder "$HARVION_HOME"; expect_ok "config agents-folder back"
}

test_cache_commands() {
  hv new Cached; expect_ok "new Cached"
  hv add Cached http://h.example/a.html --title A; expect_ok "add to Cached"
  hv cache Cached; expect_ok "cache Cached"
  grep -q '^http://h.example/a.html  not-stored  file=-  retrieved=-  stored=-  modified=-  status=0  type=-  title=""  links=0$' <<<"$OUT" \
    || fail "cache: location line in: $OUT"
  grep -q '^hvempty.gif  stored  ' <<<"$OUT" || fail "cache: placeholder line in: $OUT"
  [[ -f "$HARVION_HOME/Cached/Harvion Cache.hvc" ]] || fail "cache: index not saved"
  [[ $(stat -c %s "$HARVION_HOME/Cached/hvempty.gif") == 108 ]] || fail "cache: placeholder not 108 bytes"

  # A stored file nothing names goes at the next collection.
  printf 'old' >"$HARVION_HOME/Cached/3S00ffff.html"
  hv gc Cached; expect_ok "gc Cached"
  [[ ! -e "$HARVION_HOME/Cached/3S00ffff.html" ]] || fail "gc: stray stored file kept"

  printf 'x' >"$HARVION_HOME/Cached/3S000001.html"
  hv clear Cached; expect_ok "clear Cached"
  [[ ! -e "$HARVION_HOME/Cached/3S000001.html" ]] || fail "clear: stored file kept"
  hv tree Cached; [[ $OUT == *'location "A" <http://h.example/a.html>'* ]] || fail "clear: location lost: $OUT"

  hv frameset Cached http://h.example/a.html; expect_ok "frameset"
  [[ $OUT == "$HARVION_HOME/Cached/FRM"*.HTM && -f $OUT ]] || fail "frameset: path '$OUT'"
  grep -q 'SRC="../Cached.hvx"' "$OUT" || fail "frameset: agent frame missing"

  hv cache Nowhere; expect_failure "cache of a missing agent" "no agent named 'Nowhere'"
  hv cache Cached --links=yes; expect_usage_error "switch with a value"
}

test_import() {
  hv --help
  [[ $OUT == *"harvion import NAME FILE [--in FOLDER]"* ]] || fail "usage does not mention import"
  hv new Marks; expect_ok "new Marks"
  hv folder Marks Saved; expect_ok "folder Saved"
  printf '%s\n' '<!DOCTYPE bookmarks><TITLE>Bookmarks</TITLE><DL>' \
    '<DT><A HREF="http://h.example/" ADD_DATE="1">Home</A>' \
    '<DT><A HREF="http://g.example/"></A>' \
    '<DT><A HREF="HTTPS://s.example/">Secure</A>' \
    '<DT><A HREF="ftp://f.example/">Files</A><A HREF="mailto:me@m.example">Me</A>' \
    '<A HREF="notes.html">Notes</A><A HREF="http:///x">No host</A><A NAME="end">End</A></DL>' >"$WORK/bookmarks.html"
  hv import Marks "$WORK/bookmarks.html" --in Saved
  expect_ok "import --in Saved"
  expect_output "import --in Saved" "3 locations imported
1 link skipped: relative, with no page to resolve it against
2 links skipped: not a web address (only http: and https: addresses are)
1 link skipped: not a web address (it names no host)"
  hv import Marks "$WORK/bookmarks.html"
  expect_ok "import at the top"
  local inherited='[Text and graphics, Links within site, + 1 level, inherited]'
  hv tree Marks
  expect_output "tree after import" "agent \"Marks\"  [Text and graphics, Links within site, + 1 level]
  folder \"Saved\"  $inherited
    location \"Home\" <http://h.example/>  $inherited
    location <http://g.example/>  $inherited
    location \"Secure\" <HTTPS://s.example/>  $inherited
  location \"Home\" <http://h.example/>  $inherited
  location <http://g.example/>  $inherited
  location \"Secure\" <HTTPS://s.example/>  $inherited"

  cp "$HARVION_HOME/Marks.hvx" "$WORK/before.hvx"
  hv import Marks "$WORK/missing.html"
  expect_failure "import a missing file" "cannot open '$WORK/missing.html'"
  hv import Marks "$WORK"
  expect_failure "import a folder" "cannot open '$WORK'"
  hv import Marks "$WORK/bookmarks.html" --in Nowhere
  expect_failure "import into an unknown folder" "no folder 'Nowhere' in agent 'Marks'"
  cmp -s "$WORK/before.hvx" "$HARVION_HOME/Marks.hvx" || fail "a refused import altered the agent file"
  hv import Nobody "$WORK/bookmarks.html"; expect_failure "import into an unknown agent" "no agent named 'Nobody'"
  hv import Marks; expect_usage_error "import without a file"
}

test_help_and_usage
test_new_and_list
test_building_a_tree
test_refusals
test_rename
test_delete
test_startup_agent
test_names_and_text
test_config
test_cache_commands
test_import

finish "harvion CLI"
