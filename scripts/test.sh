#!/usr/bin/env bash
# Sets everything up, builds the Windows programs (cross-compiled), the Windows package and the
# host build, and runs every test: unit tests natively with sanitizers and under Wine, then the
# end-to-end tests of KOMVAS.exe and of the unpacked package under Wine. Prints CTest's
# summaries; exits non-zero when any test fails, and where CI is "true" (a root machine under
# Wine 8, where every test can run) also when any test was skipped.
#   scripts/test.sh      (KOMVAS_GUIDE_DIR as for scripts/package.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build
"$top/scripts/setup.sh" "$build/wineprefix"
source "$top/scripts/wine-env.sh" "$build/wineprefix"

"$top/scripts/third_party.sh"
cmake -S "$top" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" -C "$build/third-party.cmake" >/dev/null
cmake --build "$build/windows"
"$top/scripts/package.sh" >/dev/null
cmake -S "$top" -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DKOMVAS_WINDOWS_BUILD="$build/windows" -DKOMVAS_PACKAGE_DIR="$build/package" >/dev/null
cmake --build "$build/host"

wine_server_start
trap wine_server_stop EXIT

# Runs the tests of one build; fails on a failed test, and in CI on a skipped one too.
run_tests() {
    local log
    log=$(mktemp)
    local result=0
    ctest --test-dir "$1" --output-on-failure | tee "$log" || result=1
    if [[ "${CI:-}" == true ]] && grep -q "(Skipped)" "$log"; then
        echo "CI=true: skipped tests count as failures here"
        result=1
    fi
    rm -f "$log"
    return $result
}

status=0
echo "== Windows build (under Wine)"
run_tests "$build/windows" || status=1
echo "== Host build (native, sanitizers) and end-to-end tests"
run_tests "$build/host" || status=1
exit $status
