#!/usr/bin/env bash
# Installs the browser component system-wide (into a DESTDIR) and user-wide
# (into a home folder), and checks that each browser finds a host manifest
# that names the installed host and lets in exactly this extension.
#   install_layout_test.sh BUILD_DIR HOST_BUILT(yes|no)
set -euo pipefail
build=$1 host_built=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A text member of a JSON file that holds it on one line.
member() { sed -n "s/.*\"$2\": *\"\\([^\"]*\\)\".*/\\1/p" "$1" | head -n 1; }
# The first entry of a one-line array member.
first_of() { sed -n "s/.*\"$2\": *\\[\"\\([^\"]*\\)\".*/\\1/p" "$1" | head -n 1; }

extension=$source/browser/extension/manifest.json
# Chromium's id for an unpacked extension with a key: the key's SHA-256,
# first 32 hex digits written with the letters a to p.
chromium_id=$(member "$extension" key | openssl base64 -d -A | openssl dgst -sha256 -r | cut -c1-32 | tr 0-9a-f a-p)
gecko_id=$(member "$extension" id)
host_name=net.tessarine.harvion

# check ROOT PREFIX CHROMIUM_DIR CHROME_DIR FIREFOX_DIR (folders as the browsers see them)
check() {
  local root=$1 prefix=$2
  local installed=$root$prefix/share/harvion/browser-extension
  # Every file the extension's manifest and its popup name, and the manifest itself.
  local files
  files=$( (grep -o '"[a-z0-9/-]*\.\(js\|html\|png\)"' "$extension"
            grep -o '\(src\|href\)="[^"]*"' "$source/browser/extension/popup.html" | cut -d= -f2) | tr -d '"' | sort -u)
  for file in manifest.json $files; do
    [ -s "$installed/$file" ] || fail "$prefix: extension file $file not installed"
  done
  if [ "$host_built" = yes ] && [ ! -x "$root$prefix/bin/harvion-native-host" ]; then
    fail "$prefix: the host program is not installed"
  fi
  for dir in "$3" "$4" "$5"; do
    local manifest=$root$dir/$host_name.json
    if [ ! -f "$manifest" ]; then
      fail "$prefix: no host manifest in $dir"
      continue
    fi
    [ "$(member "$manifest" name)" = $host_name ] || fail "$manifest: wrong name"
    [ "$(member "$manifest" path)" = "$prefix/bin/harvion-native-host" ] || fail "$manifest: path $(member "$manifest" path)"
    [ "$(member "$manifest" type)" = stdio ] || fail "$manifest: wrong type"
    case $dir in
      *mozilla*) [ "$(first_of "$manifest" allowed_extensions)" = "$gecko_id" ] || fail "$manifest: not for $gecko_id" ;;
      *) [ "$(first_of "$manifest" allowed_origins)" = "chrome-extension://$chromium_id/" ] ||
           fail "$manifest: not for $chromium_id" ;;
    esac
  done
}

DESTDIR=$tmp/dest cmake --install "$build" --component browser --prefix /usr/local >/dev/null
check "$tmp/dest" /usr/local /etc/chromium/native-messaging-hosts /etc/opt/chrome/native-messaging-hosts \
  /usr/lib/mozilla/native-messaging-hosts

home=$tmp/home
HOME=$home XDG_CONFIG_HOME= cmake --install "$build" --component browser --prefix "$home/.local" >/dev/null
check "" "$home/.local" "$home/.config/chromium/NativeMessagingHosts" "$home/.config/google-chrome/NativeMessagingHosts" \
  "$home/.mozilla/native-messaging-hosts"

[ $failures = 0 ] || exit 1
echo "install layout: system-wide and user-wide as the browsers look for them"
