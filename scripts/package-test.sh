#!/usr/bin/env bash
# Checks the package that scripts/package.sh built, as a school's administrator meets it:
# lintian (no error, no warning), the desktop entry and the AppStream data validated, the
# package installed with apt, the program's and the tools' --help and --version from PATH and
# their manual pages, a whole test run of the installed program started as its menu entry starts it
# (as an ordinary user, on the X server with a window manager of DISPLAY), and a purge that
# leaves nothing of the package behind. Installs and purges the package: run it as root, on a
# machine where kviront is not installed otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=${KV_PACKAGE_DIR:-build/package}

scripts/install-deps.sh run lintian desktop-file-utils appstream man-db xdotool x11-utils x11-xkb-utils
deb=$(ls "$dir"/kviront_*_*.deb)
changes=$(ls "$dir"/kviront_*_*.changes)
step() { echo "== package-test: $*"; }
fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

step "lintian $(basename "$changes")"
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$changes" |
    tee "$scratch/lintian.txt"
if grep -q '^[EW]: ' "$scratch/lintian.txt"; then
    fail "lintian reports errors or warnings"
fi

step "desktop entry and AppStream data"
dpkg-deb -x "$deb" "$scratch/tree"
desktop-file-validate "$scratch/tree/usr/share/applications/org.kviront.Kviront.desktop"
appstreamcli validate --no-net "$scratch/tree/usr/share/metainfo/org.kviront.Kviront.metainfo.xml"

# What the program needs at run time must come with the package.
depends=$(dpkg-deb -f "$deb" Depends)
for p in $(sed -n 's/^runtime=(\(.*\))$/\1/p' scripts/install-deps.sh); do
    [[ ",$depends," == *[\ ,]"$p"[\ ,\(]* ]] || fail "Depends lacks $p: $depends"
done

step "apt install $(basename "$deb")"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")" >/dev/null
dpkg -L kviront >"$scratch/files"

step "the program and the tools from PATH"
# Without a display and without a locale: the answers are Russian all the same.
bare=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C)
for tool in kviront kviront-bank kviront-results; do
    [ "$(command -v "$tool")" = "/usr/bin/$tool" ] || fail "$tool is not /usr/bin/$tool"
    "${bare[@]}" "$tool" --help >"$scratch/help" 2>"$scratch/help-err" ||
        fail "$tool --help exits $?"
    head -n 1 "$scratch/help" | grep -qx 'Использование:' || fail "$tool --help: no usage"
    [ ! -s "$scratch/help-err" ] || fail "$tool --help writes to stderr"
    "${bare[@]}" "$tool" --version | grep -qx "$tool (Квиронт) $(dpkg-deb -f "$deb" Version)" ||
        fail "$tool --version"
done
for page in kviront kviront-bank kviront-results; do
    man -w "$page" | grep -qx "/usr/share/man/man1/$page.1.gz" || fail "man $page"
    LANGUAGE= LC_ALL=ru_RU.UTF-8 man -w "$page" |
        grep -qx "/usr/share/man/ru/man1/$page.1.gz" || fail "man $page in Russian"
done

step "a whole test run of the installed program, started as its menu entry starts it"
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/org.kviront.Kviront.desktop)
[ -x "$exec_line" ] || fail "the menu entry runs $exec_line, which is not there"
questions=$(grep -c '^Name:' samples/solar-system.txt)
install -m 0755 tests/desktop/test_menu_run.sh "$scratch/test_menu_run.sh"
chmod 0755 "$scratch"
as_user=()
if [ "$(id -u)" -eq 0 ]; then # a trainee has no rights of root's
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${as_user[@]}" env DISPLAY="${DISPLAY:-}" PATH="$PATH" \
    bash "$scratch/test_menu_run.sh" "$exec_line" "$questions" ||
    fail "the whole test run of the installed program (exit $?)"

step "apt purge"
apt-get purge -y -qq kviront >/dev/null
if dpkg-query -W -f='${db:Status-Abbrev}' kviront 2>/dev/null | grep -q '^.[^n]'; then
    fail "kviront is still known to dpkg"
fi
left=""
while read -r path; do
    if [ -f "$path" ] || [ -L "$path" ]; then
        left+=" $path"
    fi
done <"$scratch/files"
for own in /usr/libexec/kviront /usr/share/kviront /usr/share/doc/kviront; do
    [ ! -e "$own" ] || left+=" $own"
done
[ -z "$left" ] || fail "left after purge:$left"
echo "package-test: passed"
