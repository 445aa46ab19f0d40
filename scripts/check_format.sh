#!/usr/bin/env bash
# Checks that the C++ sources keep the house form of .clang-format: runs
# clang-format in dry-run mode over src, engines, tests, bench and fuzz and
# fails, naming the files, when any file would change. Run by ctest as
# "code_format"; `clang-format -i <file>` mends a file it names.
# Usage: scripts/check_format.sh [repository root].
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

if ! command -v clang-format >/dev/null; then
    echo "clang-format is not installed (Debian package clang-format)" >&2
    exit 1
fi

mapfile -t files < <(find src engines tests bench fuzz -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
drift=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || drift+=("$f")
done
if [ ${#drift[@]} -gt 0 ]; then
    printf 'not in the house form (clang-format -i mends it): %s\n' "${drift[@]}" >&2
    exit 1
fi
echo "${#files[@]} files in form"
