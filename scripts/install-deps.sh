#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
# Usage: scripts/install-deps.sh [extra packages...]
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev libsqlite3-dev fonts-dejavu-core locales "$@")

# Old-format (Jet) banks: libmdb for their reader, mdb-export for its benchmark.
packages+=(mdbtools-dev mdbtools pkg-config)

# libxcb1-dev: window-manager hints under X11.
packages+=(libxcb1-dev)

# What the program needs at run time besides the libraries it links: fonts-wine, the faces the
# windows are designed for; qt6-translations-l10n, Qt's own dialogs in Russian;
# qt6-image-formats-plugins, pictures of every common format pasted into a question. The
# Debian package's Depends must name each of them (scripts/package-test.sh checks it).
runtime=(fonts-wine qt6-translations-l10n qt6-image-formats-plugins)
packages+=("${runtime[@]}")

# The classroom server: libpq for the client side, and PostgreSQL 15's own programs (initdb,
# postgres, pgbench) for the tests and the benchmark, which run a throwaway cluster of their
# own and never use a system one.
packages+=(libpq-dev postgresql-15)
# The class server kviront-server: Boost.Beast/Asio and Boost.JSON 1.81, OpenSSL (libpq above).
packages+=(libboost1.81-dev libboost-json1.81-dev libssl-dev)
# PgBouncer's program for bench_server --via-pgbouncer, which starts one of its own with its own
# config in a temporary folder; the package's system service is left as the system has it.
packages+=(pgbouncer)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
else
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Installing the server package would also make and start a system cluster ("main"),
    # which nothing here uses: say so before the package is installed for the first time.
    if [[ " ${missing[*]} " == *" postgresql-15 "* ]] && [ ! -e /etc/postgresql-common/createcluster.d/kviront.conf ]; then
        $sudo mkdir -p /etc/postgresql-common/createcluster.d
        echo "create_main_cluster = false" |
            $sudo tee /etc/postgresql-common/createcluster.d/kviront.conf >/dev/null
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The suite runs every test under ru_RU.UTF-8 too, the locale of the program's users.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    echo "install-deps: generating ru_RU.UTF-8"
    $sudo sed -i 's/^# *\(ru_RU\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU\.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi
