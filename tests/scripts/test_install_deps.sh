#!/usr/bin/env bash
# scripts/install-deps.sh installs per job and leaves /etc alone: each job on a machine lacking
# every package (apt-get only notes what it is asked), then the test job with this machine's.
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

# Runs install-deps.sh JOB ARGS, /etc compared before and after; apt-get's requests in $log.
run() {
    log="$scratch/apt-$1.log"
    : >"$log"
    etc >"$scratch/before"
    PATH="$scratch/bin:$PATH" KV_APT_LOG="$log" bash "$script" "$@" >/dev/null ||
        fail "install-deps.sh $1 exits $?"
    etc >"$scratch/after"
    diff "$scratch/before" "$scratch/after" || fail "install-deps.sh $1 changed /etc"
}

# job | packages it must ask for | packages it must not ask for
while IFS='|' read -r job wanted unwanted; do
    run "$job" extra-package
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

rm "$scratch/bin/dpkg-query" # this machine's packages as they are
run test
if grep -q '^install ' "$log"; then
    echo "SKIP: packages the tests use are missing: $(sed -n 's/^install .* --no-install-recommends //p' "$log")"
    exit 77
fi
