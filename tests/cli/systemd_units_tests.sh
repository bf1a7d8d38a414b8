#!/usr/bin/env bash
# The systemd user units of the scheduler, installed below a system prefix
# and below ~/.local: each lands where systemctl --user looks for it, names
# the hvscan installed with it, and passes systemd-analyze verify.
# Usage: systemd_units_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"
if ! command -v systemd-analyze >/dev/null; then
  echo "SKIP: systemd-analyze is not installed"
  exit 0
fi
BUILD=$(dirname "$(dirname "$HV")")
# verify needs a runtime folder, as a user's session has.
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# The folders systemctl --user reads units from, for a user whose home is $1.
unit_paths() { env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$1" systemd-analyze --user unit-paths 2>/dev/null; }

# Each row: the prefix below $WORK, then where the units go below $WORK; the
# home folder is $WORK/home.
test_units_go_where_systemctl_looks() {
  local prefix units
  while IFS='|' read -r prefix units; do
    HOME=$WORK/home cmake --install "$BUILD" --prefix "$WORK$prefix" >"$WORK/install.log" 2>&1 ||
      { fail "install to $prefix: $(tail -n 5 "$WORK/install.log")"; continue; }
    [[ -f $WORK$units/hvscan.service && -f $WORK$units/hvscan.timer ]] ||
      { fail "$prefix: units not in $units: $(find "$WORK$prefix" -name 'hvscan.*')"; continue; }
    # Installed at that prefix, the folder is one systemctl reads.
    local looked=$units
    [[ $units == /home/* ]] && looked=$WORK$units
    grep -qx "$looked" <<<"$(unit_paths "$WORK/home")" || fail "$prefix: systemctl --user does not read $looked"
    grep -qx "ExecStart=$WORK$prefix/bin/hvscan --once" "$WORK$units/hvscan.service" ||
      fail "$prefix: $(grep ExecStart "$WORK$units/hvscan.service")"
    [[ -x $WORK$prefix/bin/hvscan ]] || fail "$prefix: no hvscan installed"
    local said
    said=$(systemd-analyze --user verify "$WORK$units/hvscan.service" "$WORK$units/hvscan.timer" 2>&1) ||
      fail "$prefix: verify failed: $said"
    [[ -z $said ]] || fail "$prefix: verify warns: $said"
  done <<'ROWS'
/usr|/usr/lib/systemd/user
/home/.local|/home/.local/share/systemd/user
ROWS
}

test_units_go_where_systemctl_looks
finish "systemd unit"
