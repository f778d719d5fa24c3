#!/usr/bin/env bash
# Installs Debian packages that are not installed yet (as root). Usage: install-packages.sh PKG...
set -euo pipefail
missing=()
for package in "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A mirror caught in the middle of a sync fails one list's update: try again, and install from the
# lists there are when it keeps failing (the install itself says when a package cannot be had).
for try in 1 2 3; do
  apt-get -o DPkg::Lock::Timeout=600 update -qq && break
  echo "apt-get update failed (try $try of 3)"
  sleep 15
done
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
