#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UBSan in build-asan/, runs the
# whole suite there and lists every sanitizer report; fails if a test failed
# or a report was found. The engines' own child processes are not
# instrumented; the modules loaded into the test programs are.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# -O1 with line tables: ASan's usual level, and half the build time of -O2 -g.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  "${launcher[@]}" >/dev/null || exit 1
cmake --build build-asan || exit 1
cd build-asan
# Leaks of the Qt, GTK and fontconfig singletons at exit are not ours.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:halt_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=0
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 "$@"
status=$?
if grep -n -E "runtime error|ERROR: AddressSanitizer" Testing/Temporary/LastTest.log; then
  echo "sanitizer reports above (Testing/Temporary/LastTest.log)"
  exit 1
fi
exit $status
