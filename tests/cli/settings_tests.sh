#!/usr/bin/env bash
# End-to-end tests of the settings file as harvion finds it on disk: damaged,
# hand-edited, or not a file at all.
# Usage: settings_tests.sh PATH/TO/harvion
set -u
source "$(dirname "$0")/cli_lib.sh"

# Every run is bounded: a settings file that hangs a command fails the check
# (exit 124) instead of the whole test.
REAL_HV=$(realpath "$HV")
HV=$WORK/harvion-bounded
printf '#!/bin/sh\nexec timeout 20 "%s" "$@"\n' "$REAL_HV" >"$HV"
chmod +x "$HV"

STORE=$HARVION_HOME/registry.reg
BASE='HKEY_CURRENT_USER\Software\Tessarine\Harvion Plugin\3.0'

# A settings file with the given lines under the base key's subkeys.
write_store() {
  printf 'REGEDIT4\r\n\r\n%s' "$1" >"$STORE"
}

# The value a "harvion config NAME" line shows.
config_value() {
  hv config "$1"
  expect_ok "config $1"
  awk '{print $2}' <<<"$OUT"
}

reset_home() {
  rm -rf "$HARVION_HOME"
  mkdir -p "$HARVION_HOME"
}

test_settings_file_that_is_not_a_file() {
  local kind
  for kind in fifo zero-link folder fifo-lock; do
    reset_home
    case $kind in
      fifo) mkfifo "$STORE" ;;
      zero-link) ln -s /dev/zero "$STORE" ;;
      folder) mkdir "$STORE" ;;
      fifo-lock) write_store "" && mkfifo "$STORE.lock" ;;
    esac
    hv config timeout 77
    if [[ $kind == fifo-lock ]]; then
      # Readable, but never written without the lock.
      expect_failure "$kind" "the settings store could not be written"
      [[ -p $STORE.lock ]] || fail "$kind: the lock FIFO was replaced"
      continue
    fi
    [[ $RC -eq 1 && $ERR == *"could not be written"* ]] || fail "$kind: change not refused: $RC $ERR"
    hv config
    expect_ok "$kind: config goes on with the defaults"
    [[ $ERR == "harvion: the settings file $STORE is not a regular file; the default settings are in use" ]] ||
      fail "$kind: not reported once: $ERR"
    [[ $OUT == *"timeout        30  (default)"* ]] || fail "$kind: not the defaults: $OUT"
    case $kind in
      fifo) [[ -p $STORE ]] || fail "$kind: replaced" ;;
      zero-link) [[ -L $STORE ]] || fail "$kind: replaced" ;;
      folder) [[ -d $STORE && -z $(ls -A "$STORE") ]] || fail "$kind: replaced" ;;
    esac
  done
}

test_wide_mode_is_narrowed_when_read() {
  reset_home
  write_store ""
  chmod 0644 "$STORE"
  hv list
  expect_ok "list"
  [[ $(stat -c %a "$STORE") == 600 ]] || fail "mode $(stat -c %a "$STORE") after reading, wanted 600"
}

test_relative_agents_folder_is_not_used() {
  reset_home
  write_store "[$BASE\\Agents]"$'\r\n''"Directory"="rel"'$'\r\n'"[$BASE\\Cache]"$'\r\n''"Directory"="rel"'$'\r\n'
  mkdir -p "$WORK/cwd"
  (cd "$WORK/cwd" && hv new News && [[ $RC -eq 0 ]]) || fail "new with a relative folder stored"
  [[ -z $(ls -A "$WORK/cwd") ]] || fail "created in the current folder: $(ls -A "$WORK/cwd")"
  expect_agent_on_disk "relative folder" News
  [[ $(config_value agents-folder) == "$HARVION_HOME" ]] || fail "agents-folder is not the default"
}

test_deeply_nested_key_costs_nothing() {
  reset_home
  local deep
  deep=$(printf '\\k%.0s' $(seq 20000))
  write_store "[HKEY_CURRENT_USER\\Deep$deep]"$'\r\n''"v"="1"'$'\r\n'
  local size
  size=$(stat -c %s "$STORE")
  hv config timeout 77
  expect_ok "config with a deep key"
  (($(stat -c %s "$STORE") < size + 4096)) || fail "deep key grew the file to $(stat -c %s "$STORE") bytes"
  grep -qF "[HKEY_CURRENT_USER\\Deep$deep]" "$STORE" || fail "deep key not kept as written"
  [[ $(config_value timeout) == 77 ]] || fail "timeout not stored beside the deep key"
}

test_proxy_port_with_empty_server_is_kept() {
  reset_home
  write_store "[$BASE\\Proxy]"$'\r\n''"HTTP Proxy Server"=""'$'\r\n''"HTTP Proxy Port"=dword:00001f90'$'\r\n'
  [[ $(config_value proxy-port) == 8080 ]] || fail "port with an empty server not read"
  hv config use-proxy on
  expect_ok "use-proxy on"
  grep -qF '"HTTP Proxy Port"=dword:00001f90' "$STORE" || fail "port not kept: $(cat "$STORE")"
}

test_settings_file_that_is_not_a_file
test_wide_mode_is_narrowed_when_read
test_relative_agents_folder_is_not_used
test_deeply_nested_key_costs_nothing
test_proxy_port_with_empty_server_is_kept
finish settings
