#!/usr/bin/env bash
# Builds the libFuzzer programs of the fuzz targets (clang, with address and undefined-behaviour
# sanitizers) into build/fuzz and runs each target for SECONDS seconds, one after the other,
# then prints per target the runs, the coverage (cov and ft of libFuzzer's last report), the
# size of the corpus it reached and its findings.
#   scripts/fuzz.sh SECONDS [TARGET...]      TARGET: item_name, frame_ascii, ... (all by default)
# Each run starts from a copy of the committed corpus, tests/fuzz/corpus/<target>, in
# build/fuzz/work/<target>/corpus; new inputs stay there, findings (crash-*, leak-*, timeout-*,
# oom-*) go to build/fuzz/work/<target>/findings. Nothing in tests/fuzz changes: minimise a
# finding, fix it, and commit it into the corpus by hand (the hints below say how).
# Exits non-zero when a target had a finding. The runs are niced: the machine is shared.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/fuzz
fuzzdir=$top/tests/fuzz

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
if [[ $# -gt 0 ]]; then
    targets=("$@")
else
    targets=()
    for source in "$fuzzdir"/fuzz_*.cpp; do
        name=$(basename "$source" .cpp)
        targets+=("${name#fuzz_}")
    done
fi
for target in "${targets[@]}"; do
    if [[ ! -f $fuzzdir/fuzz_$target.cpp ]]; then
        echo "fuzz.sh: no fuzz target $target (tests/fuzz/fuzz_$target.cpp)" >&2
        exit 2
    fi
done

# clang and its libFuzzer runtime.
fuzzer_runtime() { find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null | head -n 1; }
if ! command -v clang++ >/dev/null || [[ -z $(fuzzer_runtime) ]]; then
    if [[ $(id -u) -eq 0 ]]; then
        apt-get update >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
            clang libclang-rt-14-dev >/dev/null
    else
        echo "fuzz.sh: clang and libclang-rt-14-dev are needed (apt-get install as root)" >&2
        exit 1
    fi
fi

programs=()
for target in "${targets[@]}"; do
    programs+=("fuzz_$target")
done
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKOMVAS_LIBFUZZER=ON >/dev/null
nice -n 10 cmake --build "$build" --target "${programs[@]}"

# The last value of `key` (cov, ft) in libFuzzer's status lines.
last_value() { grep -o "$1: [0-9]*" "$2" | tail -n 1 | grep -o '[0-9]*$' || echo "-"; }

summary=()
found=0
for target in "${targets[@]}"; do
    work=$build/work/$target
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    cp "$fuzzdir/corpus/$target/"* "$work/corpus/"
    dict=()
    [[ -f $fuzzdir/$target.dict ]] && dict=("-dict=$fuzzdir/$target.dict")
    echo "== fuzz_$target for $seconds s (log: $work/log)"
    status=0
    nice -n 10 "$build/bin/fuzz_$target" "${dict[@]}" -max_total_time="$seconds" \
        -max_len=4096 -timeout=10 -print_final_stats=1 -artifact_prefix="$work/findings/" \
        "$work/corpus" >"$work/log" 2>&1 || status=$?

    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/log" | grep -o '[0-9]*$' ||
           echo "-")
    cov=$(last_value cov "$work/log")
    ft=$(last_value ft "$work/log")
    corpus=$(find "$work/corpus" -type f | wc -l)
    findings=$(find "$work/findings" -type f \( -name 'crash-*' -o -name 'leak-*' \
               -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    summary+=("$(printf '%-14s %12s %6s %7s %7s %9s' "$target" "$runs" "$cov" "$ft" "$corpus" \
                 "$findings")")
    if [[ $findings -gt 0 || $status -ne 0 ]]; then
        found=1
        echo "   finding(s), exit status $status:"
        find "$work/findings" -type f -printf '   %p\n'
        grep -m 3 -E 'ERROR|invariant broken|runtime error' "$work/log" | sed 's/^/   /' || true
        echo "   minimise: $build/bin/fuzz_$target -minimize_crash=1 -max_total_time=60" \
             "-exact_artifact_path=$fuzzdir/corpus/$target/NAME FINDING"
    fi
done

echo
printf '%-14s %12s %6s %7s %7s %9s\n' target runs cov ft corpus findings
printf '%s\n' "${summary[@]}"
exit $found
