#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Packages already present are skipped, so a second run does nothing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev libjpeg62-turbo-dev zlib1g-dev libdeflate-dev libglib2.0-dev libasound2-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libtiff-dev
  fonts-ipafont-gothic xvfb xauth
  # Faces for names beyond Japanese: Hangul, kanji outside JIS X 0208, emoji.
  fonts-noto-cjk fonts-noto-color-emoji
  # Qt's own texts in Japanese, the system's error texts in Japanese, and a
  # program for the help file that the desktop can find by its type.
  qt6-translations-l10n locales libc-l10n xchm desktop-file-utils
  # lrelease, which makes the catalogue of the texts Qt's own one lacks.
  qt6-l10n-tools
  # A real window manager for the tests of window placement under Xvfb, and
  # the X client library those tests read the window stacking with.
  openbox libxcb1-dev
  # The run benchmark counts the file-system calls of a run with it.
  strace
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

# The Japanese locale, for the C library's Japanese error texts.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
