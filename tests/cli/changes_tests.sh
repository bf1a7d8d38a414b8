#!/usr/bin/env bash
# harvion changes after real runs against nginx: one page changes a word,
# one only its date, one goes away, one is new; the report in text, HTML
# and JSON says exactly that, and older runs are listed without words.
# Usage: changes_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"
source "$(dirname "$0")/nginx_lib.sh"

# A page with a title and a paragraph of text.
text_page() { printf '<html><head><title>%s</title></head><body><p>%s</p></body></html>\n' "$2" "$3" >"$SITE/$1"; }

# The JSON report on stdin, checked by a Python expression over it (r).
json_check() {
  python3 -c 'import json, sys
r = json.load(sys.stdin)
if not eval(sys.argv[1]): sys.exit("failed: " + sys.argv[1] + "\n" + json.dumps(r, indent=1))' "$1" <<<"$OUT" ||
    fail "$2"
}

test_report_says_what_changed() {
  printf '<html><body><a href="a.html">a</a> <a href="b.html">b</a> <a href="old.html">old</a> <a href="new.html">new</a></body></html>\n' >"$SITE/index.html"
  text_page a.html "Page A" "The quick brown fox jumps over the lazy dog near the river bank today"
  text_page b.html "Page B" "Nothing here changes but the date"
  text_page old.html "Old" "This page goes away"
  find "$SITE" -type f -exec touch -d '-1 hour' {} +
  hv new Watch; expect_ok "new Watch"
  hv add Watch "$BASE/index.html"; expect_ok "add index"
  hv run Watch; expect_ok "first run"
  [[ $OUT == *"changes: $HARVION_HOME/Watch/changes.html"* && -f $HARVION_HOME/Watch/changes.html ]] ||
    fail "first run: no changes page: $OUT"

  text_page a.html "Page A" "The quick red fox jumps over the lazy dog near the river bank today"
  touch -d '+1 hour' "$SITE/a.html" "$SITE/b.html"
  rm "$SITE/old.html"
  text_page new.html "Brand <new> & shiny" "A new page"
  hv run Watch; expect_ok "second run"

  hv changes Watch; expect_ok "changes"
  local text=$OUT
  [[ $(sed -n 1p <<<"$text") == 'agent "Watch", run 2: '*', completed' ]] || fail "heading: $text"
  grep -qx "new  $BASE/new.html  $HARVION_HOME/Watch/3S[0-9a-f]*\.html  \"Brand <new> & shiny\"" <<<"$text" ||
    fail "new page line: $text"
  # The gone page's title is the one the first run found.
  grep -qx "gone  $BASE/old.html  (404 Not Found)  \"Old\"" <<<"$text" || fail "gone page line: $text"
  grep -q "^modified  $BASE/a.html  " <<<"$text" || fail "modified page line: $text"
  grep -q "^failed" <<<"$text" && fail "a failed page: $text"

  grep -qx "    The quick \[-brown-\] {+red+} fox jumps over the lazy dog near the …" <<<"$text" ||
    fail "the changed words: $text"
  grep -q "b.html" <<<"$text" && fail "a page with only a new date is reported: $text"
  [[ $(sed -n 2p <<<"$text") == "1 new, 1 modified, 1 gone, 0 failed" ]] || fail "totals: $text"

  hv changes Watch --format json; expect_ok "changes as JSON"
  json_check '(r["run"] == 2 and r["latest"] and r["completed"] and r["counts"]["new"] == 1 and r["counts"]["gone"] == 1
and {(p["kind"], p["address"].rsplit("/", 1)[1]) for p in r["pages"]} >= {("new", "new.html"), ("gone", "old.html"), ("modified", "a.html")}
and [p["title"] for p in r["pages"] if p["kind"] == "new"] == ["Brand <new> & shiny"])' "JSON report"
  json_check '[(s["kind"], s["text"]) for p in r["pages"] if p["kind"] == "modified" for c in p["changes"] for s in c["segments"] if s["kind"] != "same"] == [("removed", "brown"), ("added", "red")]' "JSON words"

  # The page written at the run's end is the HTML report, every link of it
  # reaching a stored copy or the address it came from.
  hv changes Watch --format html; expect_ok "changes as HTML"
  [[ $OUT == "$(cat "$HARVION_HOME/Watch/changes.html")" ]] || fail "changes.html differs from changes --format html"
  local check
  check=$(cat <<'PY'
import html.parser, os, sys
folder, base = sys.argv[1], sys.argv[2]
class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(); self.hrefs = []; self.ids = []; self.tags = set()
    def handle_starttag(self, tag, attrs):
        a = dict(attrs); self.tags.add(tag)
        if "href" in a: self.hrefs.append(a["href"])
        if tag == "li": self.ids.append(a.get("id"))
p = Links(); p.feed(sys.stdin.read())
bad = [h for h in p.hrefs if not (h.startswith(base + "/") or os.path.isfile(os.path.join(folder, h)))]
assert not bad, bad
assert "script" not in p.tags and {"ins", "del"} <= p.tags, p.tags
assert len(p.ids) == len(set(p.ids)) >= 3, p.ids
PY
)
  python3 -c "$check" "$HARVION_HOME/Watch" "$BASE" <<<"$OUT" || fail "HTML report"

  # A third run changes nothing (the link to the gone page fails again); the
  # second is then listed without words.
  hv run Watch; expect_ok "third run"
  hv changes Watch --run 2; expect_ok "changes --run 2"
  grep -q "^modified  $BASE/a.html  " <<<"$OUT" && grep -q "(not compared: a later run has replaced the copies)" <<<"$OUT" ||
    fail "an older run: $OUT"
  grep -q '{+' <<<"$OUT" && fail "an older run shows words: $OUT"
  hv changes Watch --run last; expect_ok "changes --run last"
  [[ $(sed -n 2p <<<"$OUT") == "0 new, 0 modified, 0 gone, 1 failed" ]] || fail "third run: $OUT"

  hv changes Watch --run 9; expect_failure "a run not kept" "agent 'Watch' has no run 9; the runs kept are 1 to 3"
  hv changes Watch --run first; expect_failure "a bad run" "--run must be last or a run number"
  hv changes Watch --format xml; expect_failure "a bad format" "--format must be text, html or json"
  hv changes Nobody; expect_failure "no such agent" "no agent named 'Nobody'"
  hv new Idle; expect_ok "new Idle"
  hv changes Idle; expect_failure "no run yet" "agent 'Idle' has no run recorded"
}

start_nginx
test_report_says_what_changed
finish changes
