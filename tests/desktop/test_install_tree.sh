#!/usr/bin/env bash
# Installs the build into a new prefix (a path with Cyrillic letters and a space) and checks
# what an installation holds: exactly the expected files, icons of their stated sizes, valid
# desktop files and manual pages, and installed programs that find their helper relative to
# themselves, far from the build tree.
#
#   test_install_tree.sh BUILD_DIR JET_BANK
set -euo pipefail
build=$(realpath "$1")
jet_bank=$(realpath "$2")

fail() {
    echo "FAIL: $*"
    exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/Папка установки"
cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/kviront
bin/kviront-bank
bin/kviront-results
etc/kviront/server.conf.example
lib/systemd/system/kviront-server.service
libexec/kviront/kviront-jetread
libexec/kviront/kviront-start
share/applications/org.kviront.Kviront.desktop
share/icons/hicolor/128x128/apps/kviront.png
share/icons/hicolor/48x48/apps/kviront.png
share/icons/hicolor/64x64/apps/kviront.png
share/icons/hicolor/scalable/apps/kviront.svg
share/kviront/solar-system.mdb
share/man/man1/kviront-bank.1
share/man/man1/kviront-results.1
share/man/man1/kviront.1
share/man/man8/kviront-server.8
share/man/ru/man1/kviront-bank.1
share/man/ru/man1/kviront-results.1
share/man/ru/man1/kviront.1
share/man/ru/man8/kviront-server.8
share/metainfo/org.kviront.Kviront.metainfo.xml
sbin/kviront-server"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(LC_ALL=C sort <<<"$expected")" ] ||
    fail "installed files differ: $(diff <(echo "$installed") <(LC_ALL=C sort <<<"$expected"))"
for program in bin/kviront bin/kviront-bank bin/kviront-results libexec/kviront/kviront-jetread \
    libexec/kviront/kviront-start sbin/kviront-server; do
    [ -x "$prefix/$program" ] || fail "$program is not executable"
done

# The tests' seams are in no program: nothing that stops the clock, sets the generator, stands
# in a full disk or another reader, queues a dialog's answer, ticks a timer or watches the
# server's calls. A program without symbols would hide them: its main must show.
seams='clock_::(setFixed|advance|useSystem)|rng::setState|textfile::setWriteCall|TimerSeam|'\
'dialogs::(queue[A-Za-z]*|pendingAnswers|clearAnswers|last[A-Za-z]*)\(|jetbank::setReader|'\
'pg::setTestHooks|setManual|DelaySeam|setReplyFilter|traineecode::(queue[A-Za-z]*|pendingAnswers|clearAnswers)\('
for program in bin/kviront bin/kviront-bank bin/kviront-results; do
    symbols=$(nm -C "$prefix/$program") || fail "nm cannot read $program"
    grep -qE ' T main$' <<<"$symbols" || fail "$program shows no symbols"
    found=$(grep -E "$seams" <<<"$symbols" || true)
    [ -z "$found" ] || fail "$program carries test seams: $found"
done

# The trainee's program holds no database client: it speaks only to kviront-server. The teacher's
# tool does, so the check looks where libpq would show.
# (Read whole first: grep -q would stop ldd midway, which pipefail counts as a failure.)
libraries=$(ldd "$prefix/bin/kviront") || fail "ldd cannot read bin/kviront"
if grep -q 'libpq\.so' <<<"$libraries"; then fail "bin/kviront links libpq"; fi
libraries=$(ldd "$prefix/bin/kviront-bank") || fail "ldd cannot read bin/kviront-bank"
grep -q 'libpq\.so' <<<"$libraries" || fail "bin/kviront-bank shows no libpq"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 48 64 128; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/kviront.png"
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "icon ${size}x${size} is ${w}x${h}"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/org.kviront.Kviront.desktop" ||
        fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.kviront.Kviront.metainfo.xml" \
        >/dev/null || fail "appstreamcli validate"
fi
if command -v man >/dev/null; then
    for page in "$prefix"/share/man/man1/*.1 "$prefix"/share/man/ru/man1/*.1 \
        "$prefix"/share/man/man8/*.8 "$prefix"/share/man/ru/man8/*.8; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 \
            >/dev/null)
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
fi

# The class server's unit starts the installed daemon with the installed configuration.
grep -qxF "ExecStart=$prefix/sbin/kviront-server --config $prefix/etc/kviront/server.conf" \
    "$prefix/lib/systemd/system/kviront-server.service" || fail "the unit's ExecStart"
"$prefix/sbin/kviront-server" --version | grep -q '^kviront-server (Квиронт) ' ||
    fail "kviront-server --version"

# The installed tools run from the prefix: the old-format reader is found beside them.
cd "$scratch"
"$prefix/bin/kviront-bank" --version | grep -q '^kviront-bank (Квиронт) ' || fail "--version"
"$prefix/bin/kviront-bank" convert "$jet_bank" converted.mdb >/dev/null ||
    fail "the installed kviront-bank cannot read an old-format bank"
"$prefix/bin/kviront-bank" check "$prefix/share/kviront/solar-system.mdb" >/dev/null ||
    fail "the installed sample bank does not pass the check"
echo "PASS: $(wc -l <<<"$installed") files installed into a prefix, helper found"
