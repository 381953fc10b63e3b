#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz and runs each one for
# SECONDS (default 60) on a working copy of its seed corpus
# (tests/fuzz/corpus/). A crash or sanitizer report stops that target: its
# input is kept in build-fuzz/findings/ and the script fails at the end.
# Prints each target's executions, coverage and the inputs that reached its
# checks.
#
# usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in
    ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac
scripts/setup.sh

# target name : corpus folder
targets=(sdp_record:record sdp_response:response http_reply:http_reply obex_response:obex_response
         update_listing:update_listing vnp:vnp vcproj:vcproj config:config profile:profile
         build_record:build_record dep_file:dep_file zip_entries:zip_entries)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVARBUILD_FUZZ=ON -DVARBUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld >/dev/null
names=()
for entry in "${targets[@]}"; do names+=("fuzz_${entry%%:*}"); done
cmake --build build-fuzz -j"$(nproc)" --target "${names[@]}"

mkdir -p build-fuzz/findings build-fuzz/logs
failed=()
summary=()
for entry in "${targets[@]}"; do
    name="${entry%%:*}"
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    cp -n tests/fuzz/corpus/"${entry#*:}"/* "$corpus"/
    log="build-fuzz/logs/$name.log"
    echo "fuzz_$name: $seconds s"
    if ! build-fuzz/tests/fuzz/fuzz_"$name" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$name-" "$corpus" >"$log" 2>&1; then
        failed+=("$name")
        tail -40 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    checked=$(sed -n 's/^stat::inputs_that_reached_checks: *//p' "$log" | tail -1)
    summary+=("fuzz_$name: ${runs:-?} executions (${checked:-?} reached the checks) in $seconds s, ${cov:-cov: ?} edges, $(ls "$corpus" | wc -l) inputs in $corpus")
done
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings (inputs in build-fuzz/findings/): ${failed[*]}"
    exit 1
fi
