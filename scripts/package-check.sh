#!/usr/bin/env bash
# Makes the Debian packages in a built tree (cpack -G DEB) and checks them:
# the files the package must hold, stripped programs, a Depends list that
# holds every package of packaging/runtime-depends and the package of every
# library the programs link, the libraries' packages all installed here
# (this machine builds and runs the programs), and no lintian error.
# With --install (as root, as CI does): installs the package with apt-get,
# runs the installed programs on a sample file, and removes it again.
# Usage: scripts/package-check.sh [--install] [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
install=false
if [[ ${1:-} == --install ]]; then
  install=true
  shift
fi
build=$(realpath "${1:-build}")
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null)
shopt -s nullglob
debs=("$build"/*.deb)
deb=$(echo "$build"/tavril_*.deb)
[[ -f $deb ]] || fail "no tavril_*.deb in $build"
for package in "${debs[@]}"; do
  echo "== $(basename "$package")"
  dpkg-deb -f "$package"
  dpkg-deb -c "$package" | awk '{print $1, $3, $6}'
done

# The files the package must hold.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/tavril /usr/bin/tavril-cli /usr/libexec/tavril/tavril-check-file \
  /usr/share/tavril/Aide/frame.htm /usr/share/applications/org.tavril.Tavril.desktop \
  /usr/share/metainfo/org.tavril.Tavril.metainfo.xml /usr/share/mime/packages/tavril.xml \
  /usr/share/icons/hicolor/48x48/apps/tavril.png /usr/share/icons/hicolor/scalable/apps/tavril.svg \
  /usr/share/man/man1/tavril.1.gz /usr/share/man/man1/tavril-cli.1.gz \
  /usr/share/bash-completion/completions/tavril-cli /usr/share/doc/tavril/copyright \
  /usr/share/doc/tavril/changelog.Debian.gz; do
  grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done
! grep -q '^/usr/local\|^/home\|/build/' <<<"$contents" || fail "a build path in the package"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
programs=("$unpacked"/usr/bin/* "$unpacked"/usr/libexec/tavril/*)
for program in "${programs[@]}"; do
  file -b "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
done

# Depends: the one list, and the package of each library a program links.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/([^)]*)//; s/|.*//; s/ //g' | sort -u)
echo "Depends: $(tr '\n' ' ' <<<"$depends")"
while read -r package; do
  grep -qx "$package" <<<"$depends" || fail "Depends lacks $package (packaging/runtime-depends)"
done < <(grep '^[a-z0-9]' packaging/runtime-depends)
# The package holding a library, whichever of /lib and /usr/lib dpkg knows it by.
owner() {
  local path=$1 candidate found
  for candidate in "$path" "$(realpath "$path")" "/usr$path" "${path#/usr}"; do
    found=$(dpkg -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1) || true
    if [[ -n $found ]]; then
      echo "$found"
      return
    fi
  done
}
for program in "${programs[@]}"; do
  while read -r library; do
    # The loader (needed by thread-local storage in position-independent
    # code) is listed by ldd under its own path, with no "=>".
    path=$(ldd "$program" | awk -v l="$library" '$1 == l {print $3} $1 ~ ("/" l "$") {print $1}' | head -n1)
    [[ -n $path ]] || fail "$(basename "$program"): $library not found"
    package=$(owner "$path")
    [[ -n $package ]] || fail "no package holds $path"
    grep -qx "$package" <<<"$depends" ||
      fail "$(basename "$program") links $library of $package, which Depends lacks"
  done < <(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}')
done
# The libraries' packages are those this machine builds and runs with.
while read -r package; do
  grep -qx "$package" packaging/runtime-depends && continue
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    fail "$package, in Depends, is not installed on this machine"
done <<<"$depends"

# lintian: its warnings are shown, an error fails.
lintian --fail-on error --tag-display-limit 0 "$deb"

if $install; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "$deb" >/dev/null
  work=$(mktemp -d)
  cp tests/data/cli/essai.tvr "$work"
  (cd "$work" && tavril-cli measure essai.tvr && tavril-cli convert essai.tvr essai.h5 &&
    tavril-cli info essai.h5 && env -u DISPLAY -u WAYLAND_DISPLAY tavril --version) ||
    fail "the installed programs failed"
  [[ $(command -v tavril-cli) == /usr/bin/tavril-cli ]] || fail "tavril-cli is not the installed one"
  rm -rf "$work"
  apt-get remove -y -qq tavril >/dev/null
  ! dpkg-query -W -f='${Status}' tavril 2>/dev/null | grep -q 'install ok installed' ||
    fail "tavril is still installed"
fi
echo "package checked: $(basename "$deb")"
