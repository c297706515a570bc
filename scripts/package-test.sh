#!/usr/bin/env bash
# Checks the packages that scripts/package.sh built, as a school's administrator meets them:
# lintian (no error, no warning) on both, the desktop entry and the AppStream data validated,
# both installed with apt, the program's and the tools' --help and --version from PATH and
# their manual pages, a whole test run of the installed program started as its menu entry starts it
# (as an ordinary user, on the X server with a window manager of DISPLAY); then the class
# server as the README sets one up: "kviront-server setup" on this machine's PostgreSQL 15,
# the sample bank published and a sitting opened by the teacher, one whole run through the
# installed server with the sitting's bank file and a code (scripts/package-test-server.sh);
# and a purge of both that leaves nothing of either behind. Installs and purges the packages:
# run it as root, on a machine where kviront is not installed otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=${KV_PACKAGE_DIR:-build/package}

# postgresql-15 and its cluster "main" for the class server; curl and jq for its API run.
scripts/install-deps.sh run lintian desktop-file-utils appstream man-db xdotool x11-utils \
    x11-xkb-utils postgresql-15 curl jq
deb=$(ls "$dir"/kviront_*_*.deb)
server_deb=$(ls "$dir"/kviront-server_*_*.deb)
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

step "apt install $(basename "$deb") $(basename "$server_deb")"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$(realpath "$deb")" "$(realpath "$server_deb")" >/dev/null
dpkg -L kviront >"$scratch/files"
dpkg -L kviront-server >"$scratch/server-files"
# Each package keeps its own: the class server is not in the program's package.
! grep -q 'kviront-server' "$scratch/files" || fail "kviront holds the class server's files"

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

# The class server: set up, a sitting opened, a whole run through it, stopped.
KV_PACKAGE_SCRATCH="$scratch" bash scripts/package-test-server.sh ||
    fail "the class server of the installed package (exit $?)"

step "apt purge"
apt-get purge -y -qq kviront kviront-server >/dev/null
for package in kviront kviront-server; do
    if dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^.[^n]'; then
        fail "$package is still known to dpkg"
    fi
done
left=""
while read -r path; do
    # A link to a folder is the system's (/lib to /usr/lib), not a file of ours.
    if [ -f "$path" ] || { [ -L "$path" ] && [ ! -d "$path" ]; }; then
        left+=" $path"
    fi
done < <(cat "$scratch/files" "$scratch/server-files")
for own in /usr/libexec/kviront /usr/share/kviront /usr/share/doc/kviront \
    /usr/share/doc/kviront-server /etc/kviront /var/lib/kviront \
    /etc/systemd/system/multi-user.target.wants/kviront-server.service; do
    [ ! -e "$own" ] || left+=" $own"
done
[ -z "$left" ] || fail "left after purge:$left"
! getent passwd kviront >/dev/null || fail "the account kviront is left after purge"
! getent group kviront >/dev/null || fail "the group kviront is left after purge"

# The runs are the school's: the database and its roles outlive the package until the
# administrator drops them, as the README says.
step "the database stays; dropped as the README says"
KV_PACKAGE_SCRATCH="$scratch" bash scripts/package-test-server.sh --drop-database ||
    fail "dropping the class server's database (exit $?)"
echo "package-test: passed"
