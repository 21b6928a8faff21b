#!/bin/sh
# Installs every build and test dependency from Debian's packages.
# Package names live in scripts/deps/*.txt, one list per area, so each area
# can add what it needs without touching this script. Safe to run again.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
pkgs=$(cat "$here"/deps/*.txt | sed 's/#.*//' | tr -s ' \t\n' ' ')
SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
missing=
for p in $pkgs; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
