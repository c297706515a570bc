#!/usr/bin/env bash
# The menu's start makes the working folder the user's alone (0700), with the sample bank; a
# folder that stood there keeps its mode and gets nothing. The program is a stand-in.
#   test_start_folder.sh START_SCRIPT
set -euo pipefail
start=$(realpath "$1")

fail() {
    echo "FAIL: $*"
    exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/libexec/kviront" "$scratch/bin" "$scratch/share/kviront"
cp "$start" "$scratch/libexec/kviront/kviront-start"
chmod +x "$scratch/libexec/kviront/kviront-start"
echo sample >"$scratch/share/kviront/solar-system.mdb"
cat >"$scratch/bin/kviront" <<'STANDIN'
#!/bin/sh
pwd >"$KV_STARTED_IN"
STANDIN
chmod +x "$scratch/bin/kviront"
export KV_STARTED_IN="$scratch/started-in"
umask 022 # as useradd leaves a user

# case | argument (empty: the default ~/Квиронт) | a folder made beforehand with this mode
#      | the folder's mode afterwards | whether the sample is put in
cases="made by the start||-|700|yes
made by the user||755|755|no
named folder made by the start|Папка класса|-|700|yes
named folder made by the user|Папка класса|750|750|no"
while IFS='|' read -r name argument before after sample; do
    export HOME="$scratch/home $name"
    mkdir -p "$HOME"
    folder="$HOME/Квиронт"
    [ -z "$argument" ] || folder="$HOME/$argument"
    [ "$before" = "-" ] || { mkdir "$folder" && chmod "$before" "$folder"; }
    rm -f "$KV_STARTED_IN"
    (cd "$HOME" && "$scratch/libexec/kviront/kviront-start" ${argument:+"$folder"})
    [ "$(cat "$KV_STARTED_IN")" = "$folder" ] || fail "$name: started in $(cat "$KV_STARTED_IN")"
    mode=$(stat -c %a "$folder")
    [ "$mode" = "$after" ] || fail "$name: the folder's mode is $mode, not $after"
    if [ "$sample" = yes ]; then
        [ "$(cat "$folder/Солнечная система.mdb")" = sample ] || fail "$name: no sample bank"
    else
        [ -z "$(ls -A "$folder")" ] || fail "$name: something was put in the user's folder"
    fi
done <<<"$cases"
echo "PASS: $(wc -l <<<"$cases") starts"
