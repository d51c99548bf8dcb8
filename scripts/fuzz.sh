#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan into
# build-fuzz, then runs each target over its committed seed corpus for a
# bounded time. Any crash, leak, sanitizer report, timeout or out-of-memory
# fails the script and leaves the input that caused it in build-fuzz/findings.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# Targets: channel_file, config_file, cli_arguments, csv_file, session_file,
# recording_file
# (default: all). New inputs found while running go to
# build-fuzz/corpus/<target>, never into the committed corpus; copy the
# interesting ones into tests/fuzz/corpus/ by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(channel_file config_file cli_arguments csv_file session_file recording_file)

scripts/install-deps.sh  # clang-14 and libclang-rt-14-dev bring libFuzzer

build=build-fuzz
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

CXX=${FUZZ_CXX:-clang++-14} cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRIL_SANITIZE=ON -DTAVRIL_FUZZ=ON \
  -DTAVRIL_BUILD_GUI=OFF -DTAVRIL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
passed=0
failed=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  asan=detect_leaks=1:allocator_may_return_null=1
  if [ "$target" = session_file ] || [ "$target" = recording_file ]; then
    # The session reader runs in the fuzzer's process: libhdf5's own faults,
    # which the program leaves to its helper, stay out of its way (the
    # gigabytes it asks for are refused, as a full memory would; its reads
    # past damaged messages are not reported; tests/fuzz/libhdf5_faults/).
    asan=$asan:max_allocation_size_mb=1024:suppressions=tests/fuzz/session_file.supp
  fi
  # The first folder receives new inputs; the committed seeds are only read.
  if ! ASAN_OPTIONS=$asan \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$build/tests/fuzz/fuzz_$target" "$work" "tests/fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
        >"$build/fuzz_$target.log" 2>&1; then
    echo "fuzz_$target FAILED; the log is $build/fuzz_$target.log:"
    tail -n 60 "$build/fuzz_$target.log"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$build/fuzz_$target.log" || true
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
