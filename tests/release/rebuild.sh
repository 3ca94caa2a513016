# rebuild.sh SOURCE: builds what ships a second time, product only, from
# the same commit in a folder of its own, in another time zone and at a
# later moment than scripts/test's first build, and checks that every file
# comes out with the same bytes: each one SHA256SUMS lists (the two savers,
# the installer, the archive), SHA256SUMS itself, and the 64-bit stand-in
# installer the end-to-end tests run. Tracked files changed since the
# commit are carried over, so a working tree checks itself.
set -euo pipefail
src=$1
: "${PLIMZOR_DIST:?run through scripts/test}" "${PLIMZOR_STAND_IN:?run through scripts/test}"
trap 'echo "rebuild.sh: line $LINENO: \"$BASH_COMMAND\" exited with $?" >&2' ERR
fail() { echo "FAIL $*"; exit 1; }
[ -f "$PLIMZOR_DIST/SHA256SUMS" ] || fail "the first build has no $PLIMZOR_DIST/SHA256SUMS"
command -v git >/dev/null || fail "git is not installed: the second build needs a copy of the commit"

work=$(mktemp -d /tmp/plimzor-rebuild.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The same sources under another path: a clone of the commit.
git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    fail "$src is no git work tree: nothing says which commit to build again"
git clone -q --shared --no-checkout "$src" "$work/src"
git -C "$work/src" checkout -q --detach "$(git -C "$src" rev-parse HEAD)"
git -C "$src" diff --binary HEAD >"$work/changes"
if [ -s "$work/changes" ]; then
    git -C "$work/src" apply "$work/changes"
fi
untracked=$(git -C "$src" ls-files --others --exclude-standard | sed -n 1,5p)
[ -z "$untracked" ] || echo "note: files git does not track are not in the second build: ${untracked//$'\n'/ }"

# Another time of day: a clock 14 hours ahead of UTC, or 10 behind where
# the first build already ran at +14.
case ${TZ:-} in
    Pacific/Kiritimati) export TZ=Pacific/Honolulu ;;
    *) export TZ=Pacific/Kiritimati ;;
esac
echo "second build in $work at $(date '+%F %T %Z')"
for arch in i686 x86_64; do
    if ! { cmake -S "$work/src" -B "$work/build-$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLIMZOR_TESTS=OFF \
            -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/$arch-w64-mingw32.cmake" &&
        cmake --build "$work/build-$arch"; } >"$work/build-$arch.log" 2>&1; then
        tail -n 30 "$work/build-$arch.log"
        fail "the second $arch build failed"
    fi
done
"$work/src/scripts/make-release" "$work/build-i686" "$work/build-x86_64" || fail "the second release could not be made"

second=$work/build-i686/dist
failures=0
# file | first build's | second build's
while read -r sum name; do
    name=${name#\*}
    if [ ! -f "$second/$name" ]; then
        echo "FAIL $name: not made by the second build"
        failures=$((failures + 1))
        continue
    fi
    again=$(sha256sum <"$second/$name" | cut -d' ' -f1)
    if [ "$again" = "$sum" ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: $sum first, $again in the second build"
        failures=$((failures + 1))
    fi
done <"$PLIMZOR_DIST/SHA256SUMS"
for row in "SHA256SUMS|$PLIMZOR_DIST/SHA256SUMS|$second/SHA256SUMS" \
    "stand-in installer|$PLIMZOR_STAND_IN|$work/build-i686/stand-in/${PLIMZOR_STAND_IN##*/}"; do
    IFS='|' read -r what first again <<<"$row"
    if cmp -s "$first" "$again"; then
        echo "ok   $what"
    else
        echo "FAIL $what: $(cmp "$first" "$again" 2>&1 | head -n 1)"
        failures=$((failures + 1))
    fi
done
[ "$failures" = 0 ] || fail "$failures of the files differ between two builds of one commit"
echo "every file of the release is the same in both builds"
