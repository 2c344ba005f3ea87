#!/usr/bin/env bash
# Sets up, builds and starts Orvalis. Arguments go to the program (a project file).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: start it under Xvfb with: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/Orvalis/Orvalis "$@"
