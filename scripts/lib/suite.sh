# Suite: a build tree's tests, run in the tree's own Wine prefix and
# virtual desktop, once or many times over with a tally of each test's runs
# and failures. Needs the build, wine and display parts.
need build wine display

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
