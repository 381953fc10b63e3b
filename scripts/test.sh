#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#
# scripts/test.sh --sanitize runs the same suite once more, built with clang
# in build-sanitize under AddressSanitizer (with its leak check) and
# UndefinedBehaviorSanitizer. Every report ends the program that made it, and
# any report, also one from a program a test ran, fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

if [ "${1:-}" != "--sanitize" ]; then
    scripts/build.sh
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
    exit 0
fi

# -O1 and line tables only: far quicker to build than -O2 -g, and the reports
# still name file and line.
cmake -S . -B build-sanitize -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVARBUILD_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld >/dev/null
cmake --build build-sanitize -j"$(nproc)"

reports="$PWD/build-sanitize/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Reports go to files: a tool's report would otherwise vanish into the output
# a test captured and judged.
common="log_path=$reports/report:log_exe_name=1"
export ASAN_OPTIONS="$common:detect_leaks=1:check_initialization_order=1"
export UBSAN_OPTIONS="$common:print_stacktrace=1:halt_on_error=1"
status=0
(cd build-sanitize && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") || status=$?

if compgen -G "$reports/*" >/dev/null; then
    for report in "$reports"/*; do
        echo "=== $report"
        cat "$report"
    done
    echo "The sanitizers reported the faults above."
    exit 1
fi
exit "$status"
