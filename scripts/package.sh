#!/usr/bin/env bash
# Builds the Debian packages kviront_VERSION_ARCH.deb (the program and its tools) and
# kviront-server_VERSION_ARCH.deb (the class server) into build/package/ (or KV_PACKAGE_DIR),
# from a copy of the sources, so that the build leaves nothing in the work tree.
# The test suite is scripts/test.sh's; the package build runs it as well only when asked:
#   DEB_BUILD_OPTIONS= bash scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS-nocheck}
scripts/install-deps.sh package
if [[ " $DEB_BUILD_OPTIONS " != *" nocheck "* ]]; then
    scripts/install-deps.sh test # the package build runs the suite
fi

version=$(dpkg-parsechangelog -S Version)
cmake_version=$(sed -n 's/^project(kviront VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$cmake_version" ]; then
    echo "package: версия в debian/changelog — $version, в CMakeLists.txt — $cmake_version" >&2
    exit 1
fi

out=${KV_PACKAGE_DIR:-build/package}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source="$work/kviront-$version"
mkdir "$source"
tar -C "$root" --exclude='./build*' --exclude=./.git --exclude=./.cache -cf - . |
    tar -C "$source" -xf -

if [[ " $DEB_BUILD_OPTIONS " == *" nocheck "* ]]; then
    export DEB_BUILD_PROFILES=nocheck # nor the packages only the tests need
fi
DEB_BUILD_OPTIONS="$DEB_BUILD_OPTIONS parallel=$(nproc)"
# The build's every compiler line goes to a log; the end of it is shown when it fails.
echo "package: собирается пакет kviront $version (журнал сборки: $out/build.log)"
if ! (cd "$source" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1; then
    tail -n 60 "$out/build.log" >&2
    echo "package: пакет не собрался (конец журнала — выше)" >&2
    exit 1
fi
rm -f "$out"/kviront_* "$out"/kviront-dbgsym_* "$out"/kviront-server_* \
    "$out"/kviront-server-dbgsym_*
cp "$work"/kviront_"$version"_*.deb "$work"/kviront-server_"$version"_*.deb \
    "$work"/kviront_"$version"_*.changes "$work"/kviront_"$version"_*.buildinfo "$out"/
cp "$work"/kviront-dbgsym_"$version"_*.deb "$work"/kviront-server-dbgsym_"$version"_*.deb \
    "$out"/ 2>/dev/null || true
ls "$out"/kviront_"$version"_*.deb "$out"/kviront-server_"$version"_*.deb
