#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) into build-fuzz and runs
# each one for a bounded time over its seed corpus.
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_RUNS      stop a target after this many executions instead (optional)
#   FUZZ_TARGETS   targets to run (default "ini regfile pe keys")
#   FUZZ_BUILD_DIR build directory (default build-fuzz)
# Exit status is non-zero when a target fails to build or finds a crash; the
# crashing input is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
targets="${FUZZ_TARGETS:-ini regfile pe keys}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"

cmake -S . -B "$build" -G Ninja -DYRN_FUZZ=ON -DYRN_BUILD_TESTS=OFF -DYRN_WERROR=ON \
      -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)

mkdir -p "$build/artifacts"
status=0
summary=()
for t in $targets; do
    work="$build/corpus/$t"
    mkdir -p "$work"
    limit=(-max_total_time="$seconds")
    [[ -n "${FUZZ_RUNS:-}" ]] && limit=(-runs="$FUZZ_RUNS")
    log="$build/fuzz_$t.log"
    if [[ -n "${FUZZ_RUNS:-}" ]]; then echo "== fuzz_$t ($FUZZ_RUNS runs)"; else echo "== fuzz_$t ($seconds s)"; fi
    if "$build/fuzz/fuzz_$t" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
           -artifact_prefix="$build/artifacts/${t}-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
        tail -n 40 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n1)
    summary+=("fuzz_$t: $result, ${runs:-?} executions in ${secs:-?} s, corpus $(ls "$work" | wc -l) inputs")
done
printf '%s\n' "${summary[@]}"
exit $status
