#!/usr/bin/env bash
# Builds Orvex in Release and starts it with the given addresses. Without a
# display it runs under a virtual one, saves a screenshot of the main window
# to orvex-screenshot.png and ends the program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages
configure_build
cmake --build build --target orvex iexplore mozctl

if [ -n "${DISPLAY:-}" ]; then
  exec build/bin/orvex "$@"
fi
shot="$PWD/orvex-screenshot.png"
rm -f "$shot"
ORVEX_SCREENSHOT="$shot" xvfb-run -a -s "-screen 0 1280x900x24" build/bin/orvex "$@" || true
if [ -f "$shot" ]; then
  echo "No display: Orvex ran under xvfb-run, saved a screenshot of its main window to $shot and has ended."
else
  echo "No display: Orvex ran under xvfb-run but no screenshot was saved." >&2
  exit 1
fi
