# Build: the two build trees (i686 in build/, x86_64 in build-x64/, or
# beside PLIMZOR_BUILD_DIR), configured when new or when an option differs
# from their cache, and each tree's whole suite run in its own prefix and
# virtual desktop. Needs the wine and display parts to run a suite.
need wine display

# build_dir ARCH: the build tree of ARCH.
build_dir() {
    local base=${PLIMZOR_BUILD_DIR:-$PLIMZOR_ROOT/build}
    case $1 in
        i686) echo "$base" ;;
        x86_64) echo "$base-x64" ;;
        *) say "unknown build: $1"; return 1 ;;
    esac
}

# build_tree DIR TOOLCHAIN [-DNAME=VALUE...]: configures DIR when it is new
# or one of the given values differs from its cache, then builds it.
build_tree() {
    local dir=$1 toolchain=$2 option configure=
    shift 2
    # A 64-bit tree from the days it was only compiled has no tests: every
    # build is tested now.
    if [ ! -f "$dir/build.ninja" ] || grep -q '^PLIMZOR_TESTS:BOOL=OFF$' "$dir/CMakeCache.txt" 2>/dev/null; then
        configure=1
    fi
    for option; do
        option=${option#-D}
        grep -q "^${option%%=*}:[A-Z]*=${option#*=}\$" "$dir/CMakeCache.txt" 2>/dev/null || configure=1
    done
    if [ -n "$configure" ]; then
        cmake -S "$PLIMZOR_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLIMZOR_TESTS=ON \
            -DCMAKE_TOOLCHAIN_FILE="$PLIMZOR_ROOT/cmake/$toolchain.cmake" "$@" >/dev/null
    fi
    cmake --build "$dir"
}

# run_suite ARCH CTEST-ARGS...: every test of ARCH's build, in its own
# prefix and virtual desktop on the Xvfb that DISPLAY names. CTest's exit
# code goes to PLIMZOR_SUITE_RC: a failing test is a verdict, not a stop,
# while a set-up that fails stops the shell (under set -e) and says where.
# With PLIMZOR_REPEAT=N (scripts/test --repeat N) the tests run N times
# over, each time all of them in order, so that a test that fails at random
# shows; a table then says how often each one ran and failed, and the code
# is the worst run's.
run_suite() {
    local arch=$1 runs=${PLIMZOR_REPEAT:-1} run rc log
    shift
    use_wine "$arch"
    prepare_prefix
    start_desktop "$(build_dir "$arch")/tests"
    PLIMZOR_SUITE_RC=0
    log=$(mktemp)
    for ((run = 1; run <= runs; run++)); do
        [ "$runs" = 1 ] || say "$arch: run $run of $runs"
        rc=0
        ctest --test-dir "$(build_dir "$arch")" --output-on-failure "$@" | tee -a "$log" || rc=$?
        [ "$rc" = 0 ] || PLIMZOR_SUITE_RC=$rc
    done
    [ "$runs" = 1 ] || tally_runs "$arch" "$log"
    rm -f "$log"
    stop_wine
}

# tally_runs ARCH LOG: from CTest's lines in LOG ("3/25 Test #3: NAME ...
# Passed 1.2 sec", or "***Failed", "***Timeout" and the like), each test's
# runs and failures, the failing ones first.
tally_runs() {
    say "$1: runs and failures of each test"
    awk '$2 == "Test" && $3 ~ /^#[0-9]+:$/ {
            runs[$4]++
            if ($0 !~ / Passed +[0-9.]+ sec/) failed[$4]++
        }
        END {
            for (name in runs) printf "%-36s %5d runs %5d failed\n", name, runs[name], failed[name]
        }' "$2" | sort -k4,4nr -k1,1 >&2
}
