#!/usr/bin/env bash
# Installs whatever Debian packages are missing and builds Kelvo into build/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}

mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$root/scripts/packages.txt")
missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KELVO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel "$(nproc)"
