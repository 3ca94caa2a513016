# Build: the two build trees (i686 in build/, x86_64 in build-x64/, or
# beside PLIMZOR_BUILD_DIR), configured when new or when an option differs
# from their cache. Needs no other part.

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
