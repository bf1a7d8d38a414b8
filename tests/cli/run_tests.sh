#!/usr/bin/env bash
# harvion run against a real web server: nginx on 127.0.0.1 serves a small
# generated site; each run's change report must say what changed on it.
# Usage: run_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

# Files under /slow/ come at 2 KB a second; /cookie/ sets two cookies.
NGINX_LOCATIONS='
    location /slow/ { limit_rate 2k; }
    location /cookie/ {
      add_header Set-Cookie "visit=42; Max-Age=3600; Path=/";
      add_header Set-Cookie "lang=en; Max-Age=3600; Path=/";
    }'
source "$(dirname "$0")/nginx_lib.sh"

# A page with the given links.
page() {
  local file=$SITE/$1 link
  shift
  mkdir -p "$(dirname "$file")"
  { echo "<HTML><TITLE>$(basename "$file")</TITLE><BODY>"
    for link in "$@"; do echo "<A HREF=\"$link\">$link</A>"; done
    echo "</BODY></HTML>"; } >"$file"
}

# The report's lines of one kind ("new", "gone", ...), addresses only, sorted.
reported() { awk -v kind="$1" '$1 == kind { print $2 }' <<<"$OUT" | sort; }

expect_reported() {
  local name=$1 kind=$2 wanted=$3
  [[ $(reported "$kind") == "$wanted" ]] ||
    fail "$name: $kind pages differ:"$'\n'"$(diff <(echo "$wanted") <(reported "$kind"))"$'\n'"$OUT"
}

expect_totals() {
  [[ $(grep -E '^[0-9]+ new, ' <<<"$OUT") == "$2"* ]] || fail "$1: totals '$(grep ' new, ' <<<"$OUT")', wanted '$2'"
}

test_runs_report_what_changed() {
  page index.html a.html b.html old.html
  page a.html b.html sub/c.html
  page b.html
  page sub/c.html
  page old.html
  # Pages edited a while ago, as on a real site: not in the second of their first retrieval.
  find "$SITE" -type f -exec touch -d '-1 hour' {} +
  hv new Site; expect_ok "new Site"
  hv add Site "$BASE/index.html" --title Home; expect_ok "add Home"
  hv set Site --levels all; expect_ok "set all levels"

  hv run Site
  expect_ok "first run"
  local all
  all=$(printf "$BASE/%s\n" a.html b.html index.html old.html sub/c.html | sort)
  expect_reported "first run" new "$all"
  expect_totals "first run" "5 new, 0 modified, 0 gone, 0 failed; 5 pages"
  # Off a terminal, every finished page printed its status and address first.
  [[ $(grep "^200 $BASE/" <<<"$OUT" | cut -d' ' -f2 | sort -u) == "$all" ]] || fail "first run: progress lines: $OUT"
  local file
  file=$(awk -v a="$BASE/sub/c.html" '$1 == "new" && $2 == a { print $3 }' <<<"$OUT")
  [[ -f $file && $file == "$HARVION_HOME/Site/"* ]] || fail "first run: stored file '$file' of sub/c.html"
  local frameset
  frameset=$(sed -n 's/^agent view: //p' <<<"$OUT")
  [[ -f $frameset ]] && grep -q 'Site.hvx' "$frameset" || fail "first run: agent view '$frameset'"
  [[ $(sed -n 's/^read offline: //p' <<<"$OUT") == "$HARVION_HOME/Site/contents.html" ]] ||
    fail "first run: offline page: $OUT"

  hv run Site
  expect_ok "second run"
  expect_totals "unchanged site" "0 new, 0 modified, 0 gone, 0 failed; 5 pages"

  # A page rewritten later than the stored copy, and one taken away.
  page a.html b.html sub/c.html b.html
  touch -d '+1 hour' "$SITE/a.html"
  rm "$SITE/old.html"
  hv run Site
  # old.html was found by a link: its failure is reported, not the run's.
  expect_ok "run after changes"
  expect_reported "changed site" modified "$BASE/a.html"
  expect_reported "changed site" gone "$BASE/old.html"
  expect_reported "changed site" new ""
  [[ $OUT == *"gone  $BASE/old.html  (404 "* ]] || fail "changed site: gone page without its status: $OUT"

  # One item only, the location by its name, on a terminal: the progress is
  # one line redrawn, ending with all pages done, and no per-page lines.
  if command -v script >/dev/null; then
    OUT=$(COLUMNS=40 script -qec "stty cols 40; '$HV' run Site Home" /dev/null)
    RC=$?
    expect_ok "run of one item on a terminal"
    local line
    line=$(tr '\r' '\n' <<<"$OUT" | grep -E '^[0-9]+/[0-9]+ pages' | tail -n 1)
    [[ $line =~ ^([0-9]+)/([0-9]+)\ pages\ \ [0-9]+\ (B|KB)\ received && ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] ||
      fail "terminal progress ends with '$line'"
    [[ $(tr '\r' '\n' <<<"$OUT" | sed 's/\x1b\[K//g' | awk 'length > 39' | grep -cE '^[0-9]+/[0-9]+ pages') -eq 0 ]] ||
      fail "terminal progress wider than the terminal: $OUT"
    grep -q "^200 " <<<"$OUT" && fail "per-page lines on a terminal: $OUT"
  fi
  hv run Site Nowhere; expect_failure "run of a missing item" "no item 'Nowhere' in agent 'Site'"
  hv run Nobody; expect_failure "run of a missing agent" "no agent named 'Nobody'"
}

# Every cookie of an answer is kept, and each reaches the cookie file by the
# end of the run.
test_cookies_of_a_run_reach_the_file() {
  page cookie/index.html
  hv new Cookies; expect_ok "new Cookies"
  hv add Cookies "$BASE/cookie/index.html"; expect_ok "add cookie page"
  hv run Cookies; expect_ok "run Cookies"
  local name
  for name in visit lang; do
    grep -qP "^127\.0\.0\.1\tFALSE\t/\tFALSE\t[0-9]+\t$name\t" "$HARVION_HOME/cookies.txt" ||
      fail "cookie $name not in the file: $(cat "$HARVION_HOME/cookies.txt" 2>&1)"
  done
}

# A location the user added that fails makes the run fail; a page found by
# a link that fails (old.html above) does not.
test_a_failed_location_fails_the_run() {
  local dead
  dead=$(free_port)  # nobody listens there
  hv new Down; expect_ok "new Down"
  hv add Down "http://127.0.0.1:$dead/"; expect_ok "add unreachable"
  hv run Down
  expect_failure "run of an unreachable location" "1 location of agent 'Down' failed"
  expect_reported "unreachable server" failed "http://127.0.0.1:$dead/"
  [[ $OUT == *"failed  http://127.0.0.1:$dead/  (could not connect (connection refused))"* ]] || fail "unreachable server: reason: $OUT"
  expect_totals "unreachable server" "0 new, 0 modified, 0 gone, 1 failed; 1 page"
}

# Ctrl-C while 40 slow pages are queued or coming: no line for each page
# dropped, one line counting every page not fetched.
test_ctrl_c_stops_and_saves() {
  mkdir -p "$SITE/slow"
  local i links=()
  for i in $(seq 1 40); do
    head -c 60000 /dev/zero | tr '\0' x >"$SITE/slow/big$i.html"
    links+=("slow/big$i.html")
  done
  page slow-index.html "${links[@]}"
  hv new Slow; expect_ok "new Slow"
  hv add Slow "$BASE/slow-index.html"; expect_ok "add slow site"
  "$HV" run Slow >"$WORK/slow.out" 2>"$WORK/slow.err" &
  local pid=$! tries
  # The big pages are queued while the index is read, so once the index is
  # in the stop finds them queued or half received; both must end cleanly.
  for tries in $(seq 1 400); do
    grep -q "slow-index.html" "$WORK/slow.out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -INT "$pid"
  wait "$pid"
  RC=$? ERR=$(cat "$WORK/slow.err") OUT=$(cat "$WORK/slow.out")
  expect_failure "Ctrl-C" "interrupted: 40 pages not fetched"
  [[ $OUT != *"stopped before it came"* && $(grep -c "^--- " <<<"$OUT") -eq 0 ]] ||
    fail "Ctrl-C: a line for each page dropped: $OUT"
  [[ $(grep -c "^failed  $BASE/slow/big[0-9]*\.html  .*  (interrupted)$" <<<"$OUT") -eq $(grep -c "^failed " <<<"$OUT") ]] ||
    fail "Ctrl-C: failed pages other than those cut short: $OUT"
  hv cache Slow
  expect_ok "cache after Ctrl-C"
  [[ $(grep -c "^$BASE/slow/big[0-9]*.html  \(interrupted\|not-stored\)  " <<<"$OUT") -eq 40 ]] ||
    fail "Ctrl-C: big page records: $OUT"
}

# A disk that fills during a run: the run says so, still reports what it
# fetched, and leaves no stored file that no index names. A file size limit
# fails the index's write as a full disk does (a page is far below it).
test_full_disk_is_said_and_cleaned_up() {
  local i links=()
  for i in $(seq 1 300); do
    page "full/p$i.html"
    links+=("p$i.html")
  done
  page full/index.html "${links[@]}"
  hv new Full; expect_ok "new Full"
  hv add Full "$BASE/full/index.html"; expect_ok "add full site"
  hv set Full --levels 1; expect_ok "set Full --levels 1"
  OUT=$(trap '' XFSZ; ulimit -f 32; "$HV" run Full 2>"$WORK/stderr")
  RC=$? ERR=$(cat "$WORK/stderr")
  [[ $RC -eq 1 && $ERR == "harvion: cannot save agent 'Full': the disk is full ("*")"* ]] ||
    fail "full disk: exit $RC, stderr '$ERR'"
  [[ $(reported new | wc -l) -eq 301 ]] || fail "full disk: the pages fetched are not reported: $OUT"
  local left
  left=$(find "$HARVION_HOME/Full" -name '3S*' | wc -l)
  [[ $left -eq 0 ]] || fail "full disk: $left stored files that no index names are left"
}

start_nginx
test_full_disk_is_said_and_cleaned_up
test_runs_report_what_changed
test_cookies_of_a_run_reach_the_file
test_a_failed_location_fails_the_run
test_ctrl_c_stops_and_saves
finish run
