#!/usr/bin/env bash
# Installs the build into a temporary root as the package lays it out, runs
# the installed programs from there and checks the desktop files with their
# own validators. Usage: installed_files_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

DESTDIR=$root cmake --install "$build" --prefix /usr --component tavril >/dev/null
usr=$root/usr
version=$(sed -n 's/^project(tavril VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")

# Both versions from the one in CMake; tavril's without any display.
[[ $("$usr/bin/tavril-cli" --version) == "tavril-cli $version" ]] || fail "tavril-cli --version"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/tavril" --version)
[[ $(head -n1 <<<"$out") == "tavril $version" ]] || fail "tavril --version: $out"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/tavril" --help | grep -q 'FICHIER' ||
  fail "tavril --help"

# The file checker is found from bin/ in libexec/tavril: an HDF5 file, which
# is read only once the checker passed it, converts and reads back.
[[ -x $usr/libexec/tavril/tavril-check-file && ! -e $usr/bin/tavril-check-file ]] ||
  fail "tavril-check-file is not in libexec/tavril alone"
work=$root/work
mkdir "$work"
(cd "$work" && "$usr/bin/tavril-cli" convert "$source/tests/data/cli/essai.tvr" essai.h5 &&
  "$usr/bin/tavril-cli" info essai.h5 >info.txt) || fail "tavril-cli could not read HDF5 from there"
grep -q 'Essai' "$work/info.txt" || fail "tavril-cli info essai.h5: $(cat "$work/info.txt")"

# What the desktop and the manual need, each checked by its own tool.
share=$usr/share
for file in tavril/Aide/frame.htm applications/org.tavril.Tavril.desktop \
  metainfo/org.tavril.Tavril.metainfo.xml mime/packages/tavril.xml \
  icons/hicolor/scalable/apps/tavril.svg man/man1/tavril.1.gz man/man1/tavril-cli.1.gz \
  bash-completion/completions/tavril-cli doc/tavril/copyright doc/tavril/changelog.Debian.gz; do
  [[ -s $share/$file ]] || fail "$file is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  [[ $(file -b "$share/icons/hicolor/${size}x$size/apps/tavril.png") == "PNG image data, $size x $size,"* ]] ||
    fail "icon ${size}x$size"
done
desktop-file-validate "$share/applications/org.tavril.Tavril.desktop"
appstreamcli validate --no-net "$share/metainfo/org.tavril.Tavril.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$share/metainfo/org.tavril.Tavril.metainfo.xml"
for page in tavril tavril-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man $page: $warnings"
done

# A .tvr is known by its name and, named otherwise, by its first bytes.
cp -r "$share/mime" "$root/mime"
update-mime-database "$root/mime" >/dev/null 2>&1
grep -qx 'application/x-tavril:\*\.tvr' "$root/mime/globs" || fail "no *.tvr glob"
grep -q 'Titre = ' "$root/mime/magic" || fail "no magic for .tvr"
cp "$source/tests/data/cli/essai.tvr" "$work/sans-extension"
[[ $(XDG_DATA_HOME=$root XDG_DATA_DIRS=$root gio info -a standard::content-type \
  "$work/sans-extension" 2>/dev/null | sed -n 's/.*content-type: //p') == application/x-tavril ]] ||
  ! command -v gio >/dev/null || fail "a .tvr without its extension is not recognised"

# tavril-cli's completion: commands, then each command's options.
completions_of() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tavril_cli
  echo "${COMPREPLY[*]}"
}
# shellcheck source=/dev/null
source "$share/bash-completion/completions/tavril-cli"
[[ $(completions_of tavril-cli me) == measure ]] || fail "completion of a command"
[[ $(completions_of tavril-cli measure --j) == --json ]] || fail "completion of an option"
[[ $(completions_of tavril-cli --channels 3 measure --b) == --between ]] || fail "after a value"
[[ -z $(completions_of tavril-cli measure --un) ]] || fail "an option measure does not take"
[[ $(completions_of tavril-cli --vers) == --version ]] || fail "completion of --version"
echo "installed files checked"
