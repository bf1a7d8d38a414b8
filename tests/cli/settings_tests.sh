#!/usr/bin/env bash
# End-to-end tests of the settings file as harvion finds it on disk: hand
# edited, or not a file at all.
# Usage: settings_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"
BIN_DIR=$(dirname "$(realpath "$HV")")

# Every run is bounded: a settings file that hangs a command fails the check
# (exit 124) instead of the whole test.
printf '#!/bin/sh\nexec timeout 20 "%s" "$@"\n' "$(realpath "$HV")" >"$WORK/harvion-bounded"
chmod +x "$WORK/harvion-bounded"
HV=$WORK/harvion-bounded
STORE=$HARVION_HOME/registry.reg
BASE='HKEY_CURRENT_USER\Software\Tessarine\Harvion Plugin\3.0'

# A fresh home whose settings file holds the key and the value line.
store_with() {
  rm -rf "$HARVION_HOME" && mkdir -p "$HARVION_HOME"
  printf 'REGEDIT4\r\n\r\n[%s\\%s]\r\n%s\r\n' "$BASE" "$1" "$2" >"$STORE"
}

test_settings_file_that_is_not_a_file() {
  local kind
  for kind in fifo zero-link; do
    store_with Agents ""
    rm "$STORE"
    if [[ $kind == fifo ]]; then mkfifo "$STORE"; else ln -s /dev/zero "$STORE"; fi
    hv config
    expect_ok "$kind: config goes on with the defaults"
    [[ $ERR == "harvion: the settings file $STORE is not a regular file; the default settings are in use" ]] ||
      fail "$kind: not reported once: $ERR"
    [[ $OUT == *"timeout        30  (default)"* ]] || fail "$kind: not the defaults: $OUT"
    hv config timeout 77
    [[ $RC -eq 1 ]] || fail "$kind: a change was taken"
    [[ -p $STORE || -L $STORE ]] || fail "$kind: the settings file was replaced"
  done
}

test_relative_agents_folder_is_not_used() {
  store_with Agents '"Directory"="rel"'
  mkdir -p "$WORK/cwd"
  (cd "$WORK/cwd" && hv new News && [[ $RC -eq 0 ]]) || fail "new with a relative folder stored"
  [[ -z $(ls -A "$WORK/cwd") ]] || fail "created in the current folder: $(ls -A "$WORK/cwd")"
  expect_agent_on_disk "relative folder" News
}

test_proxy_port_with_empty_server_is_kept() {
  store_with Proxy $'"HTTP Proxy Server"=""\r\n"HTTP Proxy Port"=dword:00001f90'
  hv config proxy-port
  [[ $OUT == "proxy-port "*" 8080  (stored)" ]] || fail "port with an empty server not in use: $OUT"
  hv config use-proxy on
  expect_ok "use-proxy on"
  grep -qF '"HTTP Proxy Port"=dword:00001f90' "$STORE" || fail "port not kept: $(cat "$STORE")"
}

# Settings, passwords and cookies never go to a shared folder: a Harvion
# folder that cannot be made ends every program with the reason.
test_harvion_folder_that_cannot_be_made_is_refused() {
  local run prog home=$WORK/plainfile/home out rc
  : >"$WORK/plainfile"
  mkdir -p "$WORK/tmp"
  for run in "$BIN_DIR/harvion config" "$BIN_DIR/hvscan --once" "$BIN_DIR/hvmain --no-splash"; do
    prog=${run% *}
    [[ -x $prog ]] || continue
    out=$(HARVION_HOME=$home TMPDIR=$WORK/tmp QT_QPA_PLATFORM=offscreen timeout 20 "$prog" "${run##* }" 2>&1 >/dev/null)
    rc=$?
    [[ $rc -eq 1 ]] || fail "$(basename "$prog"): exit $rc, wanted 1"
    [[ $out == "$(basename "$prog"): the Harvion folder $home cannot be made: Not a directory" ]] ||
      fail "$(basename "$prog"): said '$out'"
  done
  [[ -z $(ls -A "$WORK/tmp") ]] || fail "files left in the temporary folder: $(ls -A "$WORK/tmp")"
  # Made private to the user, whatever the umask.
  (umask 0277 && HARVION_HOME=$WORK/made/home "$HV" config >/dev/null 2>&1) || fail "no folder made"
  [[ $(stat -c %a "$WORK/made" "$WORK/made/home") == $'700\n700' ]] ||
    fail "modes $(stat -c %a "$WORK/made" "$WORK/made/home")"
}

test_settings_file_that_is_not_a_file
test_relative_agents_folder_is_not_used
test_harvion_folder_that_cannot_be_made_is_refused
test_proxy_port_with_empty_server_is_kept
finish settings
