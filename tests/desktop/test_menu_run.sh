#!/usr/bin/env bash
# A whole test run as a trainee takes one, on the real windows of the program started as the
# desktop menu starts it. Run in a new home folder whose name holds Cyrillic letters and a
# space: the menu's start makes ~/Квиронт with the sample bank in it; the trainee signs in,
# opens the sample bank from the file dialog, answers every question and closes the program;
# then the protocol it left is checked, and a second start must leave the folder as it was.
#
#   test_menu_run.sh COMMAND QUESTIONS
#
# COMMAND is what the menu entry runs (its Exec line), QUESTIONS the sample bank's number of
# questions. Needs an X server with a window manager (DISPLAY) and xdotool; exits 77 (skipped)
# without them.
set -euo pipefail
command=$1
questions=$2

skip() {
    echo "SKIP: $*"
    exit 77
}
# To stderr: it is also called inside $(...), whose stdout is the caller's value.
fail() {
    {
        echo "FAIL: $*"
        echo "visible windows:"
        xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | sed 's/^/  /'
    } >&2 || true
    exit 1
}
[ -n "${DISPLAY:-}" ] || skip "no X server (DISPLAY is not set)"
command -v xdotool >/dev/null || skip "xdotool is not installed"
command -v xprop >/dev/null || skip "xprop is not installed"
command -v setxkbmap >/dev/null || skip "setxkbmap is not installed"
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
    skip "no window manager on $DISPLAY"

scratch=$(mktemp -d)
program=""
layout=$(setxkbmap -query | sed -n 's/^layout: *//p')
cleanup() {
    if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
        kill "$program" 2>/dev/null || true
    fi
    setxkbmap -layout "${layout:-us}" || true
    rm -rf "$scratch"
}
trap cleanup EXIT
# A Russian keyboard as the trainee's: xdotool types Cyrillic letters reliably only from keys
# of the keyboard map, not through the keys it remaps on the fly.
setxkbmap -layout us,ru
export HOME="$scratch/Дом ученика"
mkdir -p "$HOME"
folder="$HOME/Квиронт"
# A desktop session as a trainee's: Russian, and Qt on the X server.
unset LC_ALL QT_QPA_PLATFORM
export LANG=ru_RU.UTF-8

# The one visible window whose title matches, waited for up to 10 s.
window() {
    local id=""
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || fail "no window \"$1\""
    echo "$id"
}
# A click as a hand makes it: the pointer comes to rest first, or Qt may miss the press.
click() {
    xdotool mousemove --window "$1" "$2" "$3"
    sleep 0.2
    xdotool click 1
}
# The first item of a menu of the menu bar of window $1, at ($2, $3) in the window.
menu() {
    click "$1" "$2" "$3"
    sleep 0.4
    shift 3
    xdotool key "$@"
}
# The message window, when it is shown.
notice() {
    xdotool search --onlyvisible --name '^vivsoobsh$' 2>/dev/null | head -n 1 || true
}
# Keys go to the window that has the focus: give it to the window first.
keys_to() {
    local id=$1
    shift
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    xdotool key "$@"
}

bash -c "$command" &
program=$!

main=$(window '^Квиронт$')
[ -f "$folder/Солнечная система.mdb" ] || fail "the menu start made no sample bank in $folder"

# "Контроль" → "Тест"; in the test window "Настройки" → "Пользователь".
menu "$main" 33 8 Down Return
test=$(window '^Тестовая система контроля')
menu "$test" 81 9 Down Down Return
signin=$(window '^Регистрация тестируемого$')
xdotool windowactivate --sync "$signin" 2>/dev/null || true
sleep 0.3
xdotool type --delay 30 "Иванов Иван"
click "$signin" 251 102

# "Файл" → "Открыть БД"; the dialog opens in the working folder, where the sample bank is the
# only file: from the name field back to the list, select it, open it.
for _ in $(seq 1 50); do
    [ -z "$(xdotool search --onlyvisible --name '^Регистрация тестируемого$' 2>/dev/null)" ] &&
        break
    sleep 0.1
done
menu "$test" 25 9 Down Return
dialog=$(window '^Открыть$')
sleep 0.5
keys_to "$dialog" shift+Tab
sleep 0.2
keys_to "$dialog" Home space
sleep 0.3
keys_to "$dialog" Return

# Every question answered with option 1, every notice closed, until the protocol is there.
protocol=""
for _ in $(seq 1 $((questions * 20))); do
    shown=$(notice)
    if [ -n "$shown" ]; then
        keys_to "$shown" Return
        sleep 0.2
        continue
    fi
    protocol=$(find "$folder" -maxdepth 1 -name '*.usr' -print -quit)
    [ -n "$protocol" ] && break
    click "$test" 300 345
    sleep 0.3
done
[ -n "$protocol" ] || fail "no protocol in $folder after $questions questions"

# Close the test window and the main window as a user does; the program ends with 0.
keys_to "$test" alt+F4
sleep 0.5
keys_to "$main" alt+F4
status=0
wait "$program" || status=$?
program=""
[ "$status" -eq 0 ] || fail "the program ended with $status"

# The protocol: the trainee's name in its name and its header, one block per question, and a
# result line that counts them all.
name=$(basename "$protocol")
case "$name" in
"Иванов Иван  "*.usr) ;;
*) fail "protocol name: $name" ;;
esac
text=$(iconv -f WINDOWS-1251 -t UTF-8 "$protocol") || fail "protocol is not Windows-1251"
case "$(head -n 1 <<<"$text")" in
"Иванов Иван  "*) ;;
*) fail "protocol header: $(head -n 1 <<<"$text")" ;;
esac
blocks=$(grep -c '^Вопрос № ' <<<"$text" || true)
[ "$blocks" -eq "$questions" ] || fail "protocol has $blocks question blocks, not $questions"
grep -q "Всего вопросов $questions" <<<"$text" || fail "protocol has no result line"
[ "$(grep -c $'\r$' <<<"$text")" -eq "$(wc -l <<<"$text")" ] || fail "protocol lines lack CR LF"

# A second start finds the folder and adds nothing to it, even a deleted sample.
rm "$folder/Солнечная система.mdb"
bash -c "$command" &
program=$!
main=$(window '^Квиронт$')
keys_to "$main" alt+F4
wait "$program" || fail "the second start ended with $?"
program=""
[ ! -e "$folder/Солнечная система.mdb" ] || fail "the second start put the sample back"
echo "PASS: a whole run of $questions questions, protocol \"$name\""
