#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
# Usage: scripts/install-deps.sh [extra packages...]
set -euo pipefail

# fonts-wine: the faces the windows are designed for; qt6-translations-l10n: Qt's own dialogs
# in Russian; libxcb1-dev: window-manager hints under X11.
packages=(cmake ninja-build g++ qt6-base-dev libsqlite3-dev fonts-dejavu-core
    fonts-wine qt6-translations-l10n libxcb1-dev "$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
