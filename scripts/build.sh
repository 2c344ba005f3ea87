#!/usr/bin/env bash
# Builds the programs into build/Orvalis (the program folder).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DORV_WERROR=ON >/dev/null
cmake --build build
