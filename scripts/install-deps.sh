#!/usr/bin/env bash
# Installs the Debian 12 packages TAVRIL needs to build, test and run, and the
# French locale the locale tests use. Safe to run again: it only installs what
# is missing. Needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake          # compiler and build
  libgtest-dev libgmock-dev      # unit tests
  libbenchmark-dev               # benchmarks
  locales                        # the fr_FR.UTF-8 locale for the locale tests
  octave                         # runs the exported MATLAB scripts in the tests
  fonts-freefont-otf             # the fonts Octave's plot windows need
  qt6-base-dev                   # the window program (Qt 6 Widgets)
  qt6-translations-l10n          # Qt's own buttons and file dialogs in French
  fonts-liberation2              # Arial's widths, which the dialogs are laid out for
  libcomedi-dev                  # real boards through the kernel's Comedi drivers
  libhdf5-dev                    # HDF5 files and sessions
  libmatio-dev                   # MATLAB .mat files
  libxlsxwriter-dev              # Excel .xlsx workbooks
  libzip-dev                     # reads a written workbook back to check it is whole (BSD licence)
  qt6-svg-dev                    # the graph as an SVG image
  libkissfft-dev                 # the spectrum's FFT (BSD licence)
  hdf5-tools                     # h5dump: the tests check HDF5 files with a reader of its own
  python3-h5py python3-numpy python3-openpyxl  # the tests' outside readers of HDF5, CSV, .xlsx
  imagemagick librsvg2-bin       # the tests open the exported images (SVG through rsvg-convert)
  clang-14 libclang-rt-14-dev    # libFuzzer and its sanitizers for the fuzz targets
  pybind11-dev python3-dev       # the Python module tavril (pybind11 over the core, Debian's Python)
  python3-pytest                 # the Python module's tests
  dpkg-dev                       # dpkg-shlibdeps: the package's Depends from its programs (cpack)
  lintian                        # checks the package
  desktop-file-utils appstream   # validate the desktop entry and the AppStream metadata
  shared-mime-info               # update-mime-database: the tests check the .tvr MIME type
  man-db file                    # man --warnings renders the manual pages; file checks icons, strip
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf-\?8$'; then
  echo "Generating the fr_FR.UTF-8 locale"
  as_root localedef -i fr_FR -f UTF-8 fr_FR.UTF-8
fi
