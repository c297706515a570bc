#!/usr/bin/env bash
# The class server of the installed package kviront-server, set up and used as the README tells
# a school: the package's account, files and service checked before setup; "kviront-server
# setup" on this machine's PostgreSQL 15 (cluster 15/main, started if it is down), run twice;
# the service (or, without systemd, the daemon started by hand as the account kviront); the
# teacher's password set, the sample bank published and a sitting opened by the teacher as an
# ordinary user; one whole run through the server with the sitting's bank file and a code; the
# server then holds every answer once; the daemon stopped.
#
#   package-test-server.sh                  with kviront and kviront-server installed
#   package-test-server.sh --drop-database  after their purge: the database and its roles are
#                                           still there; dropped as the README says, and the
#                                           cluster left as it was found
#
# Called by scripts/package-test.sh as root; KV_PACKAGE_SCRATCH is its folder (open to other
# users), which keeps what the second call needs of the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${KV_PACKAGE_SCRATCH:?the folder of scripts/package-test.sh}
state="$scratch/server-state"
bank="Солнечная система"
sitting="Проверка пакета"
step() { echo "== package-test: $*"; }
fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}
# PostgreSQL's superuser by peer, as setup and the README use it.
as_postgres() { (cd / && runuser -u postgres -- "$@"); }
sql() { as_postgres psql -X -A -t -q -v ON_ERROR_STOP=1 "$@"; }

if [ "${1:-}" = --drop-database ]; then
    [ "$(sql -d postgres -c "SELECT count(*) FROM pg_database WHERE datname = 'kviront'")" = 1 ] ||
        fail "the purge took the database kviront"
    as_postgres dropdb kviront
    as_postgres psql -X -q -v ON_ERROR_STOP=1 -d postgres \
        -c 'DROP ROLE kviront, kviront_teacher, kviront_trainee, kviront_owner'
    [ "$(sql -d postgres -c "SELECT count(*) FROM pg_roles WHERE rolname LIKE 'kviront%'")" = 0 ] ||
        fail "roles of kviront are left"
    if grep -qx made "$state"; then
        pg_dropcluster --stop 15 main
    elif grep -qx started "$state"; then
        pg_ctlcluster 15 main stop
    fi
    exit 0
fi

step "the class server's package before setup"
IFS=: read -r _ _ uid _ _ home shell < <(getent passwd kviront) || fail "no account kviront"
[ "$uid" -lt 1000 ] && [ "$home" = /var/lib/kviront ] && [ "$shell" = /usr/sbin/nologin ] ||
    fail "the account kviront: uid $uid, home $home, shell $shell"
[ "$(stat -c '%U:%G %a' /var/lib/kviront)" = "kviront:kviront 750" ] || fail "/var/lib/kviront"
dpkg-query -W -f='${Conffiles}\n' kviront-server | grep -q '^ /etc/kviront/server.conf.example ' ||
    fail "the example configuration is no conffile"
unit=/lib/systemd/system/kviront-server.service
grep -qx 'ConditionPathExists=/etc/kviront/server.conf' "$unit" ||
    fail "the service would start without a configuration"
[ ! -e /etc/systemd/system/multi-user.target.wants/kviront-server.service ] ||
    fail "the service is enabled before setup"
[ "$(command -v kviront-server)" = /usr/sbin/kviront-server ] || fail "kviront-server is not on PATH"
env LC_ALL=C kviront-server --help | head -n 1 | grep -qx 'Использование:' ||
    fail "kviront-server --help"
kviront-server --version | grep -qx "kviront-server (Квиронт) $(dpkg-query -W -f='${Version}' \
    kviront-server)" || fail "kviront-server --version"
man -w kviront-server | grep -qx /usr/share/man/man8/kviront-server.8.gz || fail "man kviront-server"
LANGUAGE='' LC_ALL=ru_RU.UTF-8 man -w kviront-server |
    grep -qx /usr/share/man/ru/man8/kviront-server.8.gz || fail "man kviront-server in Russian"

step "PostgreSQL 15, cluster main"
: >"$state"
cluster=$(pg_lsclusters --no-header 15 main 2>/dev/null | awk '{print $4}' || true)
if [ -z "$cluster" ]; then
    pg_createcluster 15 main --start >/dev/null
    echo made >>"$state"
elif [ "$cluster" != online ]; then
    pg_ctlcluster 15 main start
    echo started >>"$state"
fi
[ "$(sql -d postgres -c "SELECT count(*) FROM pg_database WHERE datname = 'kviront'")" = 0 ] ||
    fail "this machine's cluster has a database kviront already: this test would drop it"
pg_port=$(pg_lsclusters --no-header 15 main | awk '{print $3}')

# The first free port from 8443 on: the machine may serve something else there.
port=""
for p in $(seq 8443 8542); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
        port=$p
        break
    fi
done
[ -n "$port" ] || fail "no free port from 8443 to 8542"

step "kviront-server setup --host 127.0.0.1 --port $port"
daemon=""
stop_daemon() {
    if [ -n "$daemon" ] && kill -0 "$daemon" 2>/dev/null; then
        kill -TERM "$daemon"
        for _ in $(seq 1 300); do
            kill -0 "$daemon" 2>/dev/null || break
            sleep 0.1
        done
    fi
}
trap stop_daemon EXIT
PGPORT=$pg_port kviront-server setup --host 127.0.0.1 --port "$port" >"$scratch/setup" 2>&1 ||
    fail "setup exits $?: $(cat "$scratch/setup")"
cat "$scratch/setup"
[ "$(stat -c '%U:%G %a' /etc/kviront/server.conf)" = "root:kviront 640" ] &&
    [ "$(stat -c '%U:%G %a' /etc/kviront/server.key)" = "root:kviront 640" ] ||
    fail "the configuration or the key is open to others"
cp /etc/kviront/server.conf /etc/kviront/server.crt "$scratch/"
PGPORT=$pg_port kviront-server setup --host 127.0.0.1 --port "$port" >"$scratch/setup2" 2>&1 ||
    fail "setup run again exits $?: $(cat "$scratch/setup2")"
cmp -s /etc/kviront/server.conf "$scratch/server.conf" &&
    cmp -s /etc/kviront/server.crt "$scratch/server.crt" ||
    fail "setup run again changed the configuration or the certificate"

if [ -d /run/systemd/system ]; then
    step "the service, enabled and started by setup"
    systemctl is-enabled --quiet kviront-server.service || fail "the service is not enabled"
    systemctl is-active --quiet kviront-server.service || fail "the service is not running"
else
    step "no systemd here: the daemon started by hand as the account kviront"
    grep -q 'systemd на этой машине не запущен' "$scratch/setup" ||
        fail "setup does not say that systemd is absent"
    setpriv --reuid=kviront --regid=kviront --init-groups \
        kviront-server --config /etc/kviront/server.conf >"$scratch/server.out" \
        2>"$scratch/server.log" &
    daemon=$!
fi
healthy=""
for _ in $(seq 1 300); do
    if curl --silent --max-time 2 --noproxy '*' --cacert /etc/kviront/server.crt \
        "https://127.0.0.1:$port/api/v1/health" | grep -q '"status":"ok"'; then
        healthy=1
        break
    fi
    [ -z "$daemon" ] || kill -0 "$daemon" 2>/dev/null || break
    sleep 0.1
done
[ -n "$healthy" ] || fail "the server does not answer: $(cat "$scratch/server.log" 2>/dev/null)"

step "the teacher publishes the sample bank and opens a sitting"
password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
sql -d kviront -c "ALTER ROLE kviront_teacher PASSWORD '$password'"
teacher="$scratch/teacher"
mkdir -p "$teacher"
printf 'localhost:%s:kviront:kviront_teacher:%s\n' "$pg_port" "$password" >"$teacher/.pgpass"
chmod 0600 "$teacher/.pgpass"
cp "$root/tests/desktop/server_api_run.sh" "$root/samples/solar-system.txt" "$teacher/"
chown -R nobody:nogroup "$teacher"
# An ordinary user in a folder of their own, the password in ~/.pgpass as the README says.
as_user() {
    (cd "$teacher" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env HOME="$teacher" LANG=C.UTF-8 PATH="$PATH" "$@")
}
conninfo="host=localhost port=$pg_port dbname=kviront user=kviront_teacher"
as_user kviront-bank publish /usr/share/kviront/solar-system.mdb "$conninfo" --name "$bank" ||
    fail "publish exits $?"
as_user kviront-bank sitting open "$bank" "$conninfo" --seconds 60 --count 2 \
    --name "$sitting" >"$scratch/sitting" || fail "sitting open exits $?"
cat "$scratch/sitting"
mapfile -t codes < <(sed -n 's/^ *[0-9]*\. \([2-9A-Z-]*\)  (без имени)$/\1/p' "$scratch/sitting")
bank_file="$teacher/$sitting.mdb"
[ "${#codes[@]}" = 2 ] && [ -f "$bank_file" ] || fail "sitting open gave no codes or no bank file"
grep -qx "server=https://127.0.0.1:$port" "$bank_file" || fail "the bank file names another server"

step "a whole run through the installed server, as the trainee's program takes one"
as_user bash server_api_run.sh "$bank_file" "${codes[0]}" solar-system.txt "Иванов Иван" \
    >"$scratch/api-run" ||
    fail "the run through the API (exit $?)"
cat "$scratch/api-run"
runs=1
# The same run through the real window of the installed program comes with the program's
# client over HTTPS: tests/desktop/test_server_menu_run.sh COMMAND BANK_FILE CODE QUESTIONS,
# driven with xdotool as test_menu_run.sh drives the file bank's run, with the second code.
# Until it is there, the run through the API above is the whole run.
window_run="$root/tests/desktop/test_server_menu_run.sh"
if [ -f "$window_run" ]; then
    cp "$window_run" "$teacher/" && chown nobody:nogroup "$teacher/$(basename "$window_run")"
    as_user env DISPLAY="${DISPLAY:-}" bash "$(basename "$window_run")" \
        "$(sed -n 's/^Exec=//p' /usr/share/applications/org.kviront.Kviront.desktop)" \
        "$bank_file" "${codes[1]}" "$(grep -c '^Name:' "$root/samples/solar-system.txt")" ||
        fail "the run through the window of the installed program (exit $?)"
    runs=2
fi

step "the server holds every answer once"
questions=$(grep -c '^Name:' "$root/samples/solar-system.txt")
held=$(sql -d kviront -c "SELECT r.finished, count(a.record), count(DISTINCT a.record)
    FROM kviront.runs r JOIN kviront.sittings s ON s.id = r.sitting_id
    LEFT JOIN kviront.answers a ON a.run_id = r.id WHERE s.name = '$sitting' GROUP BY r.id")
[ "$held" = "$(for _ in $(seq 1 "$runs"); do echo "t|$questions|$questions"; done)" ] ||
    fail "the server holds, per run (finished|answers|records): $held"
as_user kviront-bank sitting list "$conninfo" | grep -q "кодов 2, начато $runs, закончено $runs" ||
    fail "sitting list does not show the runs"

if [ -n "$daemon" ]; then
    step "the daemon stopped (SIGTERM)"
    stop_daemon
    wait "$daemon" || fail "the daemon exits $? on SIGTERM: $(cat "$scratch/server.log")"
    daemon=""
fi
