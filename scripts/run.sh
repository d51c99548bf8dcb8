#!/usr/bin/env bash
# Builds TAVRIL and starts it on its simulated board. Until the window program
# exists, it builds the command-line companion and shows what it can do.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tavril-cli

echo "Built: build/tools/tavril-cli/tavril-cli"
build/tools/tavril-cli/tavril-cli --help
