#!/usr/bin/env bash
# The set-up without the network: install_packages from scripts/lib.sh runs
# against stand-ins for apt-get, dpkg and dpkg-query placed first on PATH,
# which install into a list of their own and fail where a case says so. A
# package index out of sync must only warn, a 32-bit Wine that cannot be had
# must only take the i686 tests away (and say why), and a required package
# that cannot be had must stop the run and be named.
set -uo pipefail
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
# apt-get update: fails while update-fails holds; apt-get install: installs
# every name but those in refuse, which make it fail as apt does.
cat >"$WORK/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_STATE/calls"
case " $* " in
*" update "*)
    if [ -f "$STUB_STATE/update-fails" ]; then
        echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0 ;;
esac
refused=
for name; do
    case $name in -*|install) continue ;; esac
    if grep -qx -- "$name" "$STUB_STATE/refuse" 2>/dev/null; then refused=1; else echo "$name" >>"$STUB_STATE/installed"; fi
done
if [ -n "$refused" ]; then
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
fi
exit 0
STUB
cat >"$WORK/bin/locale" <<'STUB'
#!/bin/sh
echo ja_JP.utf8
echo de_DE.utf8
STUB
chmod +x "$WORK/bin"/*

# run_case NAME UPDATE_FAILS REFUSED INSTALLED_BEFORE EXPECT_RC EXPECT_NO32 EXPECT_OUTPUT...
# EXPECT_NO32 is what PLIMZOR_NO_WINE32 must be ("" for nothing); each
# EXPECT_OUTPUT must appear in what install_packages printed.
run_case() {
    local name=$1 update_fails=$2 refused=$3 before=$4 want_rc=$5 want_no32=$6
    shift 6
    export STUB_STATE=$WORK/$name
    mkdir -p "$STUB_STATE"
    : >"$STUB_STATE/installed"
    [ "$update_fails" = yes ] && touch "$STUB_STATE/update-fails"
    printf '%s\n' $refused >"$STUB_STATE/refuse"
    local got_rc got_no32 out
    # shellcheck disable=SC2016
    out=$(PATH="$WORK/bin:$PATH" PLIMZOR_ROOT=$ROOT bash -c '
        source "$PLIMZOR_ROOT/scripts/lib.sh"
        [ "$1" = all ] && printf "%s\n" "${PLIMZOR_PACKAGES[@]}" "${PLIMZOR_PACKAGES_32[@]}" >"$STUB_STATE/installed"
        rc=0; install_packages || rc=$?
        echo "rc=$rc"; echo "no32=$PLIMZOR_NO_WINE32"' _ "$before" 2>&1)
    got_rc=$(sed -n 's/^rc=//p' <<<"$out")
    got_no32=$(sed -n 's/^no32=//p' <<<"$out")
    local problems=()
    [ "$got_rc" = "$want_rc" ] || problems+=("exit $got_rc, expected $want_rc")
    [ "$got_no32" = "$want_no32" ] || problems+=("32-bit reason '$got_no32', expected '$want_no32'")
    local text
    for text; do
        grep -qF -- "$text" <<<"$out" || problems+=("output lacks '$text'")
    done
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: ${problems[*]}"
        sed 's/^/     | /' <<<"$out"
        failures=$((failures + 1))
    fi
}

broken="E: Unable to correct problems, you have held broken packages."
run_case index-out-of-sync yes "" none 0 "" \
    "warning: apt-get update failed (try 3 of 3): E: Some index files failed to download" \
    "warning: going on with the package indexes there are"
run_case no-wine32 yes "wine32:i386" none 0 "the 32-bit Wine could not be installed (apt: $broken)" \
    "warning: the 32-bit Wine could not be installed"
run_case required-refused no "nsis wine32:i386" none 1 "" \
    "could not install what the x86_64 build, its tests and the installer need: nsis" "apt: $broken"
run_case nothing-missing yes "" all 0 ""

# Three tries of the update in the index case, none at all when nothing is missing.
tries=$(grep -c update "$WORK/index-out-of-sync/calls" 2>/dev/null)
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

# The builds line's reason when the 32-bit loader is not there at all.
reason=$(PLIMZOR_ROOT=$ROOT bash -c 'source "$PLIMZOR_ROOT/scripts/lib.sh"; PLIMZOR_WINE32=/nonexistent/wine; why_no_32bit')
[ "$reason" = "the 32-bit Wine is not installed (/nonexistent/wine is missing)" ] && echo "ok   reason without a 32-bit loader" ||
    { echo "FAIL reason without a 32-bit loader: '$reason'"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "install_packages: every case passed" || { echo "install_packages: $failures failed"; exit 1; }
