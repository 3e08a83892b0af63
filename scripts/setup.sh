#!/usr/bin/env bash
# Installs what building and testing Tessaro needs, on Debian 12 as root, plus any
# package names given as arguments (scripts/fuzz.sh adds clang's).
# Does nothing when everything is already there.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libftdi1-dev libexpat1-dev
  libmicrohttpd-dev libcpp-httplib-dev nlohmann-json3-dev libpugixml-dev libcrypt-dev libmosquitto-dev libsqlite3-dev
  sqlite3
  mosquitto mosquitto-clients chromium chromium-l10n chromium-driver
  netcat-openbsd faketime logrotate openssl "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
