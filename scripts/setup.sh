#!/usr/bin/env bash
# Installs what building and testing Harvion needs (Debian packages).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libpsl-dev publicsuffix libgumbo-dev libssl-dev openssl ca-certificates zlib1g-dev faketime curl nginx wget2 chromium fonts-dejavu-core qt6-base-dev qt6-svg-dev systemd dbus-daemon libnotify-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
$sudo apt-get install -y "${missing[@]}"
