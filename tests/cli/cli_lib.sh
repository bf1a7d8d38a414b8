# Shared set-up and checks of the harvion command-line tests; sourced by each
# tests/cli/*_tests.sh script with the path of harvion as its argument.
HV=${1:?usage: SCRIPT PATH/TO/harvion}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HARVION_HOME="$WORK/home"
mkdir -p "$HARVION_HOME"

FAILED=0
OUT= ERR= RC=0

fail() {
  echo "FAIL: $*"
  FAILED=$((FAILED + 1))
}

# Runs harvion; leaves stdout in OUT, stderr in ERR, the status in RC.
hv() {
  OUT=$("$HV" "$@" 2>"$WORK/stderr")
  RC=$?
  ERR=$(cat "$WORK/stderr")
}

expect_ok() {
  [[ $RC -eq 0 ]] || fail "$1: exit $RC, wanted 0 (stderr: $ERR)"
}

# A failure is exit 1 with exactly one line on stderr naming the problem.
expect_failure() {
  local name=$1 message=$2
  [[ $RC -eq 1 ]] || fail "$name: exit $RC, wanted 1"
  [[ $ERR == "harvion: $message" ]] || fail "$name: stderr '$ERR', wanted 'harvion: $message'"
}

# A usage error is exit 2, a message line and the pointer to --help.
expect_usage_error() {
  local name=$1
  [[ $RC -eq 2 ]] || fail "$name: exit $RC, wanted 2"
  local first second
  first=$(sed -n 1p <<<"$ERR")
  second=$(sed -n 2p <<<"$ERR")
  [[ $first == harvion:* ]] || fail "$name: first stderr line '$first'"
  [[ $second == "Try 'harvion --help'." ]] || fail "$name: second stderr line '$second'"
  [[ $(wc -l <<<"$ERR") -eq 2 ]] || fail "$name: stderr has more than two lines: $ERR"
}

expect_agent_on_disk() {
  [[ -f "$HARVION_HOME/$2.hvx" ]] || fail "$1: $2.hvx missing"
  [[ -d "$HARVION_HOME/$2" ]] || fail "$1: folder $2/ missing"
}

expect_agent_gone() {
  [[ ! -e "$HARVION_HOME/$2.hvx" ]] || fail "$1: $2.hvx still there"
  [[ ! -e "$HARVION_HOME/$2" ]] || fail "$1: folder $2/ still there"
}

expect_output() {
  local name=$1 wanted=$2
  [[ $OUT == "$wanted" ]] || fail "$name: output differs:"$'\n'"$(diff <(echo "$wanted") <(echo "$OUT"))"
}

# Ends the script: exit 1 when a check failed.
finish() {
  if [[ $FAILED -ne 0 ]]; then
    echo "$FAILED check(s) failed"
    exit 1
  fi
  echo "all $1 checks passed"
}
