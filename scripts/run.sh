#!/usr/bin/env bash
# Builds TAVRIL and starts it on its simulated board. The program is started
# from the folder the build puts it in, build/src/ui/app, which also holds its
# help pages (Aide/frame.htm): that folder is its start directory, where it
# reads and writes TAVRIL.INI.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "Building tavril and tavril-cli into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tavril tavril-cli

program_dir=build/src/ui/app
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): starting on Qt's offscreen"
  echo "platform, where the window runs but cannot be seen. Stop it with Ctrl+C."
  export QT_QPA_PLATFORM=offscreen
fi
echo "Starting $program_dir/tavril from $program_dir"
echo "  help pages: $program_dir/Aide/frame.htm (F1 or Aide > Aide)"
echo "  settings:   $program_dir/TAVRIL.INI (written with the defaults at the first start)"
echo "  board:      device 1, the simulated board"
cd "$program_dir"
exec ./tavril
