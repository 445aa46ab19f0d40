#!/usr/bin/env bash
# Installs what Orvex needs, builds it with its tests and runs every test
# through ctest (under a virtual display, which the real-engine tests need).
# Compiler warnings fail the build here.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
ensure_packages
configure_build -DORVEX_WERROR=ON
cmake --build build
cd build
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2
