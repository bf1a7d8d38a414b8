#!/usr/bin/env bash
# What a run leaves for reading it offline and for hearing of it: the
# contents page (every link opens a stored copy or an address, page text
# escaped, shown by a real browser from the disk with the server stopped)
# and the user's on-change command (the counts and the paths in its
# environment; no page text ever reaches a shell).
# Usage: change_notice_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

SERVE=$(cd "$(dirname "$0")/../../scripts" && pwd)/serve_site.sh
if ! PATH=$PATH:/usr/sbin:/sbin command -v nginx >/dev/null; then
  echo "SKIP: nginx is not installed (scripts/setup.sh installs it)"
  exit 0
fi
export PATH=$PATH:/usr/sbin:/sbin
trap '"$SERVE" stop "$WORK/nginx" >/dev/null 2>&1; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"
SITE=$WORK/site CWD=$WORK/cwd
mkdir -p "$SITE" "$CWD"
# Titles and link texts a shell would run, and markup a browser would.
cat >"$SITE/index.html" <<'HTML'
<html><head><title>$(touch PWNED) <script>document.title='hit'</script> & "q" 'x'</title></head>
<body><a href="a.html">a; touch PWNED; `touch PWNED`</a> <a href="b.html">B</a> <a href="missing.html">gone</a></body></html>
HTML
echo '<html><head><title>`touch PWNED` | $HOME</title></head><body>A</body></html>' >"$SITE/a.html"
echo '<html><head><title>B</title></head><body>B</body></html>' >"$SITE/b.html"
URL=$("$SERVE" start "$SITE" "$WORK/nginx") || { echo "FAIL: nginx did not start"; exit 1; }
FOLDER=$HARVION_HOME/Watch

hv new Watch; expect_ok "new"
hv add Watch "${URL}index.html"; expect_ok "add"
hv set Watch --levels all; expect_ok "set"

# The command is the user's; what the run found comes in its environment.
hv config on-change "env | grep '^HARVION_' | sort >'$WORK/env.txt'"; expect_ok "config on-change"
cd "$CWD" && hv run Watch; cd - >/dev/null
expect_ok "first run"
expected_env="HARVION_AGENT=Watch
HARVION_CONTENTS=$FOLDER/contents.html
HARVION_FAILED=1
HARVION_GONE=0
HARVION_HOME=$HARVION_HOME
HARVION_MODIFIED=0
HARVION_NEW=3
HARVION_REPORT=$FOLDER/changes.html"
[[ $(cat "$WORK/env.txt" 2>/dev/null) == "$expected_env" ]] ||
  fail "on-change environment:"$'\n'"$(diff <(echo "$expected_env") "$WORK/env.txt")"
[[ -z $(find "$WORK" -name 'PWNED*') ]] || fail "page text reached a shell: $(find "$WORK" -name 'PWNED*')"
[[ $(sed -n 's/^read offline: //p' <<<"$OUT") == "$FOLDER/contents.html" ]] || fail "read offline line: $OUT"

# Every link of the page opens something: a stored copy beside it or an address.
CONTENTS=$FOLDER/contents.html
hrefs=$(grep -o 'href="[^"]*"' "$CONTENTS" | sed 's/^href="//; s/"$//')
[[ $(grep -c '^\./' <<<"$hrefs") -eq 3 ]] || fail "contents: links to stored copies: $hrefs"
while read -r href; do
  case $href in
    ./* | changes.html) [[ -f $FOLDER/${href#./} ]] || fail "contents: $href does not exist" ;;
    "$URL"*) ;;
    *) fail "contents: link '$href' is neither a stored copy nor the site" ;;
  esac
done <<<"$hrefs"
grep -q '<script>' "$CONTENTS" && fail "contents: a page's markup came through"
grep -qF '$(touch PWNED) &lt;script&gt;document.title=&#39;hit&#39;&lt;/script&gt; &amp; &quot;q&quot;' "$CONTENTS" ||
  fail "contents: title not escaped as text"
for mark in new failed; do
  grep -q "class=\"mark $mark\"" "$CONTENTS" || fail "contents: no '$mark' mark"
done

# A command that fails is told on one line; the run stays a success.
hv config on-change 'exit 3'; expect_ok "config on-change exit 3"
hv run Watch
expect_ok "run with a failing command"
[[ $ERR == "harvion: the on-change command failed with exit status 3" ]] || fail "failing command: stderr '$ERR'"
hv config on-change ''; expect_ok "clear on-change"
hv config on-change
[[ $OUT =~ ^on-change\ +\"\"\ +\(default\)$ ]] || fail "cleared on-change shows '$OUT'"

# The page is written again with the frameset.
rm -f "$CONTENTS"
hv frameset Watch "${URL}index.html"; expect_ok "frameset"
[[ -f $CONTENTS ]] || fail "frameset: no contents page"

# A browser shows the tree from the disk with the server gone.
"$SERVE" stop "$WORK/nginx"
BROWSER=$(command -v chromium || command -v chromium-browser || true)
if [[ -n $BROWSER ]]; then
  dom=$(timeout 60 "$BROWSER" --headless --no-sandbox --disable-gpu --user-data-dir="$WORK/browser" --dump-dom \
    "file://$CONTENTS" 2>/dev/null)
  [[ $(grep -o '<li class="page">' <<<"$dom" | wc -l) -eq 3 ]] || fail "browser: pages in the tree: $dom"
  grep -qF '>B</a>' <<<"$dom" || fail "browser: page B not shown"
  grep -q '<title>Watch' <<<"$dom" || fail "browser: page title: $dom"
else
  echo "note: chromium is not installed; the contents page was not opened in a browser"
fi

finish change_notice
