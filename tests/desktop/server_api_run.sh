#!/usr/bin/env bash
# A whole run on a class server through its HTTPS API, with only what a trainee's machine
# holds: the sitting's server bank file and a code from a slip. The server is trusted by the
# certificate in the file alone, as the program trusts it. Every question is fetched and
# answered (options 2, 3, 4, 1, 2, … so that some are right and some wrong), every reply is
# checked against the bank's text source, a second answer to a record must get the first one
# back, and the run is finished.
#
#   server_api_run.sh BANK_FILE CODE SOURCE [NAME]
#
# SOURCE is the published bank's text source (samples/solar-system.txt for the sample bank),
# in the order the bank was published; NAME the trainee's, as typed for a code without one. The run's token is the last line of the output.
# Needs curl and jq; every request is bounded in time.
set -euo pipefail
file=$1
code=$2
source=$3
name=${4:-}

fail() {
    echo "server_api_run: FAIL: $*" >&2
    exit 1
}
command -v curl >/dev/null || fail "curl is not installed"
command -v jq >/dev/null || fail "jq is not installed"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

[ "$(head -n 1 "$file")" = "KVIRONT SERVER BANK 2" ] || fail "$file is no server bank file"
url=$(sed -n 's/^server=//p' "$file")
sitting=$(sed -n 's/^sitting=//p' "$file")
sed -n '/^-----BEGIN CERTIFICATE-----$/,/^-----END CERTIFICATE-----$/p' "$file" >"$scratch/pin"
[[ "$url" == https://* ]] && [ -n "$sitting" ] && [ -s "$scratch/pin" ] ||
    fail "$file lacks the server, the sitting or the certificate"
mapfile -t right < <(sed -n 's/^PrOtvet: *//p' "$source")

# OPERATION BODY: the reply's body on standard output; anything but 200 fails the run.
call() {
    local status
    status=$(curl --silent --show-error --max-time 15 --noproxy '*' --proto =https \
        --cacert "$scratch/pin" --header 'Content-Type: application/json' \
        --data-binary "$2" --output "$scratch/reply" --write-out '%{http_code}' \
        "$url/api/v1/$1") || fail "$1: no reply from $url"
    [ "$status" = 200 ] || fail "$1: status $status: $(head -c 500 "$scratch/reply")"
    cat "$scratch/reply"
}
# JSON CONDITION: fails naming the condition when the reply does not meet it.
expect() {
    jq -e "$2" <<<"$1" >/dev/null || fail "the reply $1 does not meet $2"
}

start=$(call start "$(jq -nc --arg s "$sitting" --arg c "$code" --arg h "$(hostname)" \
    --arg n "$name" '{sitting: $s, code: $c, host: $h} + if $n == "" then {} else {trainee: $n} end')")
token=$(jq -r .token <<<"$start")
records=$(jq -r .records <<<"$start")
expect "$start" ".records == ${#right[@]} and .resumed == false and (.answers | length) == 0"
[ -z "$name" ] || expect "$start" ".trainee == \"$name\""

for ((record = 1; record <= records; record++)); do
    run=$(jq -nc --arg t "$token" --argjson r "$record" '{token: $t, record: $r}')
    question=$(call question "$run")
    expect "$question" ".record == $record and (.vopros | length) > 0 and (.otvet | length) == 4
        and (has(\"rightAnswer\") | not)"
    option=$((record % 4 + 1))
    expected=${right[record - 1]}
    answer=$(call answer "$(jq -c --argjson o "$option" '. + {option: $o, seconds: 1.5}' <<<"$run")")
    expect "$answer" ".option == $option and .rightAnswer == \"$expected\" and .timedOut == false
        and .right == ($option == $expected) and .repeated == false"
    again=$(call answer "$(jq -c --argjson o $((option % 4 + 1)) '. + {option: $o, seconds: 2}' \
        <<<"$run")")
    expect "$again" ".option == $option and .repeated == true"
done

finish=$(call finish "$(jq -nc --arg t "$token" '{token: $t, completed: true}')")
expect "$finish" ".completed == true and .answers == $records"
echo "server_api_run: $records answers through $url"
echo "$token"
