#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Packages already present are skipped, so a second run does nothing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev libjpeg62-turbo-dev zlib1g-dev libdeflate-dev libglib2.0-dev libasound2-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libtiff-dev
  fonts-ipafont-gothic xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
