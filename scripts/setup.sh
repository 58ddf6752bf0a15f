#!/usr/bin/env bash
# Installs every Debian package relan needs to build, test and be looked at.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# Qt Charts needs the OpenGL module's CMake files, which qt6-charts-dev does not pull in.
# The last two lines serve the Debian package: CPack's dependency scan
# (dpkg-shlibdeps, file), the checks of the desktop entry and the metainfo,
# rsvg-convert for scripts/icons.sh, the manual pages made from --help
# (help2man, and man to read them back) and lintian's check of the package.
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libgtest-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
  libnlopt-cxx-dev libboost-dev
  qt6-translations-l10n
  xvfb xauth imagemagick fonts-dejavu-core
  poppler-utils
  dpkg-dev file desktop-file-utils appstream librsvg2-bin
  help2man man-db lintian
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
