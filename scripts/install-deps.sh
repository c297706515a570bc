#!/usr/bin/env bash
# Installs the Debian packages a job needs, and only those that are missing. Nothing else of
# the system changes: what the packages themselves install is all (no configuration of ours is
# written, so a PostgreSQL installed here is the one a plain `apt install` gives).
# Usage: scripts/install-deps.sh JOB [extra packages...]
#   run      build the program and its tools, and run them
#   test     the above, and what the test suite and the benchmarks use
#   package  build the Debian package (its test suite too, unless DEB_BUILD_OPTIONS=nocheck)
set -euo pipefail

# One group per job; a job's list below names the groups it takes.
build=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev zlib1g-dev mdbtools-dev libxcb1-dev
    libpq-dev)

# What the program needs at run time besides the libraries it links: fonts-wine, the faces the
# windows are designed for; qt6-translations-l10n, Qt's own dialogs in Russian;
# qt6-image-formats-plugins, pictures of every common format pasted into a question. The
# Debian package's Depends must name each of them (scripts/package-test.sh checks it).
runtime=(fonts-wine qt6-translations-l10n qt6-image-formats-plugins)

# The tests and the benchmarks: every test runs under ru_RU.UTF-8 too (locales-all has it
# built, so no locale is generated into /etc); fonts-dejavu-core, the faces layouts are
# measured in; mdb-export for the old-format benchmark; PostgreSQL 15's own programs (initdb,
# postgres, pgbench), which the server tests and bench_server run as a throwaway cluster of
# their own, never a system one; headless Chromium, to see the class report as a browser lays
# it out, and its driver with Selenium, through which the class page's test works the page as a
# teacher would.
tests=(locales-all fonts-dejavu-core mdbtools postgresql-15 chromium chromium-driver
  python3-selenium)

# The class server kviront-server: Boost.Beast/Asio and Boost.JSON 1.81, OpenSSL; libpq is in
# the build group above.
server=(libboost1.81-dev libboost-json1.81-dev libssl-dev)

# The Debian package's build.
packaging=(dpkg-dev debhelper)

job=${1:-}
case "$job" in
run) packages=("${build[@]}" "${server[@]}" "${runtime[@]}") ;;
test) packages=("${build[@]}" "${server[@]}" "${runtime[@]}" "${tests[@]}") ;;
package) packages=("${build[@]}" "${server[@]}" "${packaging[@]}") ;;
*)
    echo "Использование: $0 run|test|package [ещё пакеты…]" >&2
    exit 2
    ;;
esac
shift
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: все нужные пакеты уже установлены"
    exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "install-deps: устанавливаются пакеты: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
