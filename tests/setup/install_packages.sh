#!/usr/bin/env bash
# The set-up without the network: install_packages, install_emulator and
# choose_i686_way from scripts/lib/ run as scripts/test runs them (sourced
# into a shell with set -euo pipefail that reports its stops), against
# stand-ins for apt-get, dpkg, dpkg-query, locale and localedef placed first
# on PATH, which install into a list of their own and fail where a case says
# so; the programs a package brings (qemu-i386, the 32-bit Wine loader) are
# not there until it is installed. A package index out of sync must only
# warn, a 32-bit Wine or an emulator that cannot be had must only take the
# i686 tests away (and say why), a required package that cannot be had must
# stop the run, be named, and the stop say where; a machine with nothing on
# it must reach a verdict. Then how a host is judged: the apt source of the
# backports suite, taken from the machine's own sources, and a host whose
# binfmt_misc hands 32-bit programs to an emulator, which is not a native
# 32-bit host.
set -uo pipefail
# shellcheck disable=SC2016
LOAD='set -euo pipefail; source "$PLIMZOR_ROOT/scripts/lib/common.sh"; need packages emulation'
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

mkdir -p "$WORK/bin"
# dpkg-query -W -f=... NAME: installed when NAME is in the list.
cat >"$WORK/bin/dpkg-query" <<'STUB'
#!/bin/sh
for last; do :; done
grep -qx -- "$last" "$STUB_STATE/installed" && printf 'install ok installed'
exit 0
STUB
cat >"$WORK/bin/dpkg" <<'STUB'
#!/bin/sh
exit 0
STUB
# apt-get update: fails while update-fails holds, and keeps the source list
# it was given; apt-get install: installs every name but those in refuse,
# which make it fail as apt does.
cat >"$WORK/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_STATE/calls"
case " $* " in
*" update "*)
    for arg; do
        case $arg in Dir::Etc::SourceList=*) cp "${arg#*=}" "$STUB_STATE/update-sources" ;; esac
    done
    if [ -f "$STUB_STATE/update-fails" ]; then
        echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0 ;;
esac
refused= skip=
for name; do
    [ -n "$skip" ] && { skip=; continue; }
    case $name in -o|-t) skip=1; continue ;; -*|install) continue ;; esac
    if grep -qx -- "$name" "$STUB_STATE/refuse" 2>/dev/null; then refused=1; else "$STUB_BIN/bring" "$name"; fi
done
if [ -n "$refused" ]; then
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
fi
exit 0
STUB
# locale -a: the generated locales; as if there were no such program on a
# machine with nothing.
cat >"$WORK/bin/locale" <<'STUB'
#!/bin/sh
[ -f "$STUB_STATE/nothing" ] && exit 127
echo ja_JP.utf8
echo de_DE.utf8
STUB
cat >"$WORK/bin/localedef" <<'STUB'
#!/bin/sh
echo "localedef $*" >>"$STUB_STATE/calls"
STUB
# bring NAME: NAME is installed, with the program it brings: qemu-i386
# (whose --version prints the version in qemu-version) for qemu-user, the
# 32-bit loader for wine32:i386. Until then neither program exists.
cat >"$WORK/bin/bring" <<'STUB'
#!/bin/sh
echo "$1" >>"$STUB_STATE/installed"
case $1 in
qemu-user)
    printf '#!/bin/sh\necho "qemu-i386 version %s (Debian 1:10.0.2+ds-2)"\n' "$(cat "$STUB_STATE/qemu-version")" >"$STUB_STATE/qemu-i386"
    chmod +x "$STUB_STATE/qemu-i386" ;;
wine32:i386)
    printf '#!/bin/sh\necho wine-8.0\n' >"$STUB_STATE/wine"
    chmod +x "$STUB_STATE/wine" ;;
esac
STUB
chmod +x "$WORK/bin"/*
export STUB_BIN=$WORK/bin

# The set-up as scripts/test runs it, in a script of its own: set -euo
# pipefail, the parts sourced, stops reported. Before it runs, the case's
# machine has what INSTALLED_BEFORE names ("all": everything the set-up
# installs). Its own exit code is the set-up's; what it found is printed.
# The host's kernel is the case's, not this machine's: it cannot execute
# 32-bit programs, it keeps a binfmt_misc registration private, and the
# emulator works once it is there.
cat >"$WORK/setup-run.sh" <<'STUB'
set -euo pipefail
source "$PLIMZOR_ROOT/scripts/lib/common.sh"
need packages emulation build
report_stops "the set-up"
why_not_native32() { echo "this host cannot execute 32-bit programs"; }
why_no_private_binfmt() { :; }
why_not_emulated() { [ -x "$PLIMZOR_QEMU" ] || echo "no emulator at $PLIMZOR_QEMU"; }
before=$1 steps=$2
if [ "$before" = all ]; then
    for name in "${PLIMZOR_PACKAGES[@]}" "${PLIMZOR_PACKAGES_BACKPORTS[@]}" "${PLIMZOR_PACKAGES_32[@]}" qemu-user wine32-preloader:i386; do "$STUB_BIN/bring" "$name"; done
else
    for name in $before; do "$STUB_BIN/bring" "$name"; done
fi
for step in $steps; do "$step"; done
echo "no32=$PLIMZOR_NO_WINE32"
echo "no-emulation=$PLIMZOR_NO_EMULATION"
echo "way=$PLIMZOR_I686_WAY"
echo "why=$PLIMZOR_I686_WHY"
STUB

# set_up NAME UPDATE_FAILS REFUSED INSTALLED_BEFORE STEPS [QEMU_VERSION]:
# runs the steps in a new stand-in machine and sets OUT (what the set-up
# printed) and RC (its exit code).
set_up() {
    export STUB_STATE=$WORK/$1
    mkdir -p "$STUB_STATE"
    : >"$STUB_STATE/installed"
    [ "$2" = yes ] && touch "$STUB_STATE/update-fails"
    printf '%s\n' $3 >"$STUB_STATE/refuse"
    echo "${6:-10.0.2}" >"$STUB_STATE/qemu-version"
    [ "$4" = nothing ] && touch "$STUB_STATE/nothing"
    RC=0
    OUT=$(PATH="$WORK/bin:$PATH" PLIMZOR_ROOT=$ROOT PLIMZOR_APT_ETC=$WORK/deb822 PLIMZOR_BINFMT_DIR=$WORK/binfmt-none \
        PLIMZOR_QEMU=$STUB_STATE/qemu-i386 PLIMZOR_WINE32=$STUB_STATE/wine \
        bash "$WORK/setup-run.sh" "$([ "$4" = nothing ] || echo "$4")" "$5" 2>&1) || RC=$?
}

# verdict NAME PROBLEM...: ok, or FAIL with the problems and what was printed.
verdict() {
    local name=$1
    shift
    if [ $# -eq 0 ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: $*"
        sed 's/^/     | /' <<<"$OUT"
        failures=$((failures + 1))
    fi
}
field() { sed -n "s/^$1=//p" <<<"$OUT"; }

# A Debian 12 machine's apt sources in both formats (and one whose entry
# for the release is switched off), no package lists to copy, and
# binfmt_misc folders: empty, with a 32-bit x86 entry, with one for ARM,
# with the entry disabled, with binfmt_misc as a whole disabled.
mkdir -p "$WORK/deb822/sources.list.d" "$WORK/oneline/sources.list.d" "$WORK/off/sources.list.d" "$WORK/lists"
echo VERSION_CODENAME=bookworm >"$WORK/os-release"
printf '%s\n' 'Types: deb' 'URIs: http://security.example/debian-security' 'Suites: bookworm-security' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' '' \
    'Types: deb deb-src' '# a comment inside the entry' 'URIs: http://mirror.example/debian' \
    'Suites: bookworm bookworm-updates' 'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
    >"$WORK/deb822/sources.list.d/debian.sources"
printf '%s\n' '# deb http://old.example/debian buster main' 'deb-src http://src.example/debian bookworm main' \
    'deb [arch=amd64,i386 signed-by=/etc/apt/keyrings/mirror.gpg] http://one.example/debian bookworm main contrib' \
    >"$WORK/oneline/sources.list"
sed 's/^Suites: bookworm bookworm-updates$/&\nEnabled: no/' "$WORK/deb822/sources.list.d/debian.sources" \
    >"$WORK/off/sources.list.d/debian.sources"
export PLIMZOR_OS_RELEASE=$WORK/os-release PLIMZOR_APT_LISTS=$WORK/lists
i386_magic=7f454c4601010100000000000000000002000300
# binfmt_dir NAME MAGIC [STATUS [ENTRY-STATE]]
binfmt_dir() {
    mkdir -p "$WORK/binfmt-$1"
    echo "${3:-enabled}" >"$WORK/binfmt-$1/status"
    [ -z "$2" ] || printf '%s\ninterpreter /usr/bin/qemu-%s\nflags: F\noffset 0\nmagic %s\nmask %s\n' \
        "${4:-enabled}" "$1" "$2" fffffffffffefe00fffffffffffffffffeffffff >"$WORK/binfmt-$1/qemu-$1"
}
binfmt_dir none ""
binfmt_dir i386 "$i386_magic"
binfmt_dir arm 7f454c4601010100000000000000000002002800
binfmt_dir i386-off "$i386_magic" enabled disabled
binfmt_dir i386-all-off "$i386_magic" disabled

# run_case NAME UPDATE_FAILS REFUSED INSTALLED_BEFORE EXPECT_RC EXPECT_NO32 EXPECT_OUTPUT...
# install_packages on a machine with INSTALLED_BEFORE ("none" or "all"):
# EXPECT_NO32 is what PLIMZOR_NO_WINE32 must be ("" for nothing); each
# EXPECT_OUTPUT (an extended regular expression) must match a line of what
# it printed.
run_case() {
    local name=$1 want_rc=$5 want_no32=$6 text problems=()
    set_up "$1" "$2" "$3" "$([ "$4" = none ] || echo "$4")" install_packages
    shift 6
    [ "$RC" = "$want_rc" ] || problems+=("exit $RC, expected $want_rc")
    [ "$RC" != 0 ] || [ "$(field no32)" = "$want_no32" ] || problems+=("32-bit reason '$(field no32)', expected '$want_no32'")
    for text; do
        grep -qE -- "$text" <<<"$OUT" || problems+=("output lacks '$text'")
    done
    verdict "$name" "${problems[@]}"
}

broken="E: Unable to correct problems, you have held broken packages."
run_case index-out-of-sync yes "" none 0 "" \
    "warning: apt-get update failed \(try 3 of 3\): E: Some index files failed to download" \
    "warning: going on with the package indexes there are"
run_case no-wine32 yes "wine32:i386" none 0 "the 32-bit Wine could not be installed (apt: $broken)" \
    "warning: the 32-bit Wine could not be installed"
# A stop names the step, with its file and line, and why.
run_case required-refused no "nsis wine32:i386" none 1 "" \
    "could not install what the x86_64 build, its tests and the installer need: nsis" "apt: $broken" \
    "^the set-up stopped: .*/setup-run\.sh:[0-9]+ in main: for step in .* exited 1$"
# Only the signing checks need osslsigncode: the run goes on without it.
run_case signing-tool-refused no "osslsigncode" none 0 "" \
    "warning: osslsigncode could not be installed from bookworm-backports \\(apt: $broken\\); the release is made unsigned, and the signing checks are skipped"
run_case nothing-missing yes "" all 0 ""

# Three tries of the update of the machine's own indexes in the index case
# (the backports suite is fetched on its own), none at all when nothing is missing.
tries=$(grep -v SourceList= "$WORK/index-out-of-sync/calls" 2>/dev/null | grep -c update)
[ "$tries" = 3 ] && echo "ok   update tried 3 times" || { echo "FAIL update tried ${tries:-0} times, expected 3"; failures=$((failures + 1)); }
[ ! -e "$WORK/nothing-missing/calls" ] && echo "ok   nothing installed when nothing is missing" ||
    { echo "FAIL apt-get ran with nothing missing"; failures=$((failures + 1)); }
# The required install comes first and leaves wine32 out; wine32 goes alone.
if grep -q 'install' "$WORK/no-wine32/calls" && ! grep 'install' "$WORK/no-wine32/calls" | head -n 1 | grep -q 'wine32' &&
    grep 'install' "$WORK/no-wine32/calls" | tail -n 1 | grep -q ' wine32:i386$'; then
    echo "ok   the 32-bit Wine is installed on its own, after the rest"
else
    echo "FAIL the install order was: $(grep install "$WORK/no-wine32/calls" | tr '\n' ';')"
    failures=$((failures + 1))
fi

# run_emulator_case NAME UPDATE_FAILS REFUSED INSTALLED_BEFORE QEMU_VERSION EXPECT_REASON EXPECT_OUTPUT...
# install_emulator with the names INSTALLED_BEFORE on the machine and
# qemu-i386 at QEMU_VERSION: it never fails the run, and EXPECT_REASON is
# what PLIMZOR_NO_EMULATION must be.
run_emulator_case() {
    local name=$1 want=$6 text problems=()
    set_up "$1" "$2" "$3" "$4" install_emulator "$5"
    shift 6
    [ "$RC" = 0 ] || problems+=("the set-up stopped (exit $RC)")
    [ "$(field no-emulation)" = "$want" ] || problems+=("reason '$(field no-emulation)', expected '$want'")
    for text; do
        grep -qF -- "$text" <<<"$OUT" || problems+=("output lacks '$text'")
    done
    verdict "emulator: $name" "${problems[@]}"
}

run_emulator_case backports-out-of-sync yes "qemu-user" "" 10.0.2 \
    "QEMU 10 could not be installed from bookworm-backports (apt: $broken)" \
    "warning: QEMU 10 could not be installed"
run_emulator_case only-an-old-qemu no "qemu-user" "qemu-user wine32-preloader:i386" 7.2 \
    "QEMU 10 could not be installed from bookworm-backports (qemu-i386 7.2 is too old to start Wine) (apt: $broken)"
run_emulator_case installs no "" "" 10.0.2 "" "installing for the emulated i686 tests: qemu-user wine32-preloader:i386"
run_emulator_case emulator-there no "" "qemu-user wine32-preloader:i386" 10.0.2 ""

# The backports suite is fetched alone, from the machine's own mirror, into
# package lists of the run's own, and the install takes no recommended
# package (qemu-user recommends the host-wide binfmt registration).
calls=$WORK/installs/calls
source_line="deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://mirror.example/debian bookworm-backports main"
if [ "$(cat "$WORK/installs/update-sources" 2>/dev/null)" = "$source_line" ] &&
    grep '^update ' "$calls" | grep -q 'List-Cleanup=false' && ! grep -q 'Dir::State::Lists=/var' "$calls" &&
    grep '^install ' "$calls" | grep -q -- '--no-install-recommends -t bookworm-backports .*Dir::State::Lists=/'; then
    echo "ok   emulator: the backports suite for this install only, without recommended packages"
else
    echo "FAIL emulator: apt was called as: $(tr '\n' ';' <"$calls"), fetching $(cat "$WORK/installs/update-sources" 2>/dev/null)"
    failures=$((failures + 1))
fi
[ ! -e "$WORK/emulator-there/calls" ] && echo "ok   emulator: apt not called when nothing is missing" ||
    { echo "FAIL emulator: apt-get ran with nothing missing"; failures=$((failures + 1)); }

# A machine with nothing on it (no Wine, no emulator, no preloader, no
# locale program, no binfmt_misc entry) reaches its verdict: the emulated
# way once everything is installed, the files way, saying why, when the
# emulator is refused.
for row in \
    "nothing|||emulated|this host cannot execute 32-bit programs" \
    "nothing-emulator-refused|qemu-user||files|this host cannot execute 32-bit programs, and emulation cannot be had: QEMU 10 could not be installed from bookworm-backports (apt: $broken)" \
    "nothing-wine32-refused|wine32:i386|yes|files|the 32-bit Wine could not be installed (apt: $broken)"; do
    IFS='|' read -r name refused update_fails want_way want_why <<<"$row"
    set_up "$name" "${update_fails:-no}" "$refused" nothing "install_packages choose_i686_way"
    problems=()
    [ "$RC" = 0 ] || problems+=("the set-up stopped (exit $RC)")
    [ "$(field way)" = "$want_way" ] || problems+=("way '$(field way)', expected '$want_way'")
    [ "$(field why)" = "$want_why" ] || problems+=("why '$(field why)', expected '$want_why'")
    grep -q '^localedef -i ja_JP' "$WORK/$name/calls" || problems+=("the Japanese locale was not generated")
    verdict "a machine with nothing: $name" "${problems[@]}"
done

# backports_source: the machine's mirror for the release, in either format;
# none from an entry that is switched off.
for row in \
    "deb822|$source_line" \
    "oneline|deb [arch=amd64,i386 signed-by=/etc/apt/keyrings/mirror.gpg] http://one.example/debian bookworm-backports main" \
    "off|"; do
    got=$(PLIMZOR_ROOT=$ROOT PLIMZOR_APT_ETC=$WORK/${row%%|*} bash -c "$LOAD; backports_source")
    [ "$got" = "${row#*|}" ] && echo "ok   backports source, ${row%%|*} sources" ||
        { echo "FAIL backports source, ${row%%|*} sources: '$got', expected '${row#*|}'"; failures=$((failures + 1)); }
done

# A binfmt_misc entry that takes 32-bit x86 programs makes the host not
# native; one for another machine, or a disabled one, does not.
for row in "i386|/usr/bin/qemu-i386" "arm|" "i386-off|" "i386-all-off|"; do
    got=$(PLIMZOR_ROOT=$ROOT PLIMZOR_BINFMT_DIR=$WORK/binfmt-${row%%|*} bash -c "$LOAD; binfmt_i386_handler")
    [ "$got" = "${row#*|}" ] && echo "ok   binfmt_misc ${row%%|*}: '$got'" ||
        { echo "FAIL binfmt_misc ${row%%|*}: '$got', expected '${row#*|}'"; failures=$((failures + 1)); }
done
reason=$(PLIMZOR_ROOT=$ROOT PLIMZOR_BINFMT_DIR=$WORK/binfmt-i386 bash -c "$LOAD; why_not_native32")
[ "$reason" = "this host hands 32-bit programs to an emulator (/usr/bin/qemu-i386, registered in its binfmt_misc)" ] &&
    echo "ok   a host whose binfmt_misc hands 32-bit programs to an emulator is not native" ||
    { echo "FAIL reason with an emulator in binfmt_misc: '$reason'"; failures=$((failures + 1)); }

# The builds line's reason when the 32-bit loader is not there at all.
reason=$(PLIMZOR_ROOT=$ROOT bash -c "$LOAD; PLIMZOR_WINE32=/nonexistent/wine; why_no_32bit")
[ "$reason" = "the 32-bit Wine is not installed (/nonexistent/wine is missing)" ] && echo "ok   reason without a 32-bit loader" ||
    { echo "FAIL reason without a 32-bit loader: '$reason'"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "install_packages: every case passed" || { echo "install_packages: $failures failed"; exit 1; }
