#!/usr/bin/env bash
# scripts/install-deps.sh installs per job and writes nothing of its own into /etc. Each job is
# run as on a machine that lacks every package (dpkg-query says so; apt-get and sudo only note
# what they are asked), and /etc is compared before and after; then once more with the
# packages this machine has, where it must find all that the tests use.
#
#   test_install_deps.sh SOURCE_DIR
set -euo pipefail
script="$1/scripts/install-deps.sh"

fail() {
    echo "FAIL: $*"
    exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\necho "$*" >>"$KV_APT_LOG"\n' >"$scratch/bin/apt-get"
printf '#!/bin/sh\nexec "$@"\n' >"$scratch/bin/sudo"
chmod +x "$scratch/bin/"*

etc() { find /etc -xdev -printf '%p %y %m %s %T@ %C@ %l\n' 2>/dev/null | LC_ALL=C sort; }

# job | packages it must ask for | packages it must not ask for
while IFS='|' read -r job wanted unwanted; do
    log="$scratch/apt-$job.log"
    : >"$log"
    etc >"$scratch/before"
    PATH="$scratch/bin:$PATH" KV_APT_LOG="$log" bash "$script" "$job" extra-package >/dev/null ||
        fail "install-deps.sh $job exits $?"
    etc >"$scratch/after"
    diff "$scratch/before" "$scratch/after" || fail "install-deps.sh $job changed /etc"
    asked=" $(grep '^install ' "$log" | tr '\n' ' ') "
    for p in $wanted extra-package; do
        [[ "$asked" == *" $p "* ]] || fail "install-deps.sh $job does not install $p: $asked"
    done
    for p in $unwanted; do
        [[ "$asked" != *" $p "* ]] || fail "install-deps.sh $job installs $p: $asked"
    done
done <<'JOBS'
run|qt6-base-dev libpq-dev fonts-wine|postgresql-15 pgbouncer debhelper
test|qt6-base-dev fonts-wine postgresql-15 locales-all|debhelper pgbouncer
package|qt6-base-dev libpq-dev debhelper dpkg-dev|postgresql-15 pgbouncer fonts-wine
JOBS

# With this machine's packages as they are (a test never installs any: apt-get only notes).
rm "$scratch/bin/dpkg-query"
log="$scratch/apt-real.log"
: >"$log"
etc >"$scratch/before"
PATH="$scratch/bin:$PATH" KV_APT_LOG="$log" bash "$script" test >/dev/null ||
    fail "install-deps.sh test exits $?"
etc >"$scratch/after"
diff "$scratch/before" "$scratch/after" || fail "install-deps.sh test changed /etc"
if grep -q '^install ' "$log"; then
    echo "SKIP: packages the tests use are missing: $(sed -n 's/^install .* --no-install-recommends //p' "$log")"
    exit 77
fi
