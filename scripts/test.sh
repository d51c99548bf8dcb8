#!/usr/bin/env bash
# Builds TAVRIL twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds; then builds
# the Qt-free threaded parts with ThreadSanitizer and runs their tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
# The Debian package: its contents, its Depends and lintian.
scripts/package-check.sh build

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTAVRIL_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs")

# Boards, acquisitions on their own thread, continuous runs and recordings,
# in the program and in tavril-cli; analog outputs fed from their own thread.
threaded='^(AcquisitionEngine|ContinuousAcquisition|SimulatedBoard[A-Za-z]*|Comedi[A-Za-z]*'
threaded+='|RecordingRun|Hdf5Recording|CliRecord|ContinuousRecording'
threaded+='|SimulatedOutputs[A-Za-z]*|OutputPlayer)\.'
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIL_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target acquisition_tests comedi_tests files_tests cli_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j"$jobs" -R "$threaded")
