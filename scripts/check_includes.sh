#!/usr/bin/env bash
# Checks the include graph of src/ and engines/ from the #include "..." lines:
#  - no file includes itself through others (file-level cycle);
#  - no folder reaches itself through others (folder-level cycle);
#  - every folder includes only the folders below it:
#        shell -> browser, bookmarks, dialogs, history -> platform -> core
#    (shell uses everything; core uses nothing of ours), and an engine
#    module sees only the engine contract, browser/WebBrowser.h;
#  - core has no Qt.
# Usage: scripts/check_includes.sh [repository root]. Prints each breach and
# exits 1 when there is one. Run by ctest as "include_layers".
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

# The folders each folder may include besides itself.
declare -A allowed=(
  [core]=""
  [platform]="core"
  [browser]="platform core"
  [bookmarks]="platform core"
  [dialogs]="platform core"
  [history]="platform core"
  [shell]="browser bookmarks dialogs history platform core"
)

failed=0
breach() {
  echo "$1" >&2
  failed=1
}

files=$(find src engines -name '*.h' -o -name '*.cpp' | sort)
file_edges=$(mktemp)
folder_edges=$(mktemp)
trap 'rm -f "$file_edges" "$folder_edges"' EXIT

for file in $files; do
  case "$file" in
    src/*) folder=$(echo "$file" | cut -d/ -f2) ;;
    engines/*) folder="engines" ;;
  esac
  echo "$file $file" >>"$file_edges"
  while IFS= read -r included; do
    # Resolve the name as the compiler does: beside the file, then from src/.
    if [ -f "$(dirname "$file")/$included" ]; then
      target="$(dirname "$file")/$included"
    elif [ -f "src/$included" ]; then
      target="src/$included"
    elif [ -f "engines/common/$included" ]; then
      target="engines/common/$included"
    else
      continue # generated (moc) or outside the tree
    fi
    target=$(realpath --relative-to=. "$target")
    echo "$file $target" >>"$file_edges"
    case "$target" in
      src/*) to=$(echo "$target" | cut -d/ -f2) ;;
      engines/*) to="engines" ;;
    esac
    [ "$to" = "$folder" ] && continue
    echo "$folder $to" >>"$folder_edges"
    if [ "$folder" = "engines" ]; then
      [ "$target" = "src/browser/WebBrowser.h" ] ||
        breach "$file includes $included: an engine module sees only browser/WebBrowser.h"
    elif [ "$to" = "engines" ] || [[ " ${allowed[$folder]:-} " != *" $to "* ]]; then
      breach "$file includes $included: $folder may not use $to"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done

# tsort fails on a graph with a loop and names the files of each loop it
# finds on stderr; the first loop is shown.
for edges in "$file_edges" "$folder_edges"; do
  if ! sort -u "$edges" | tsort >/dev/null 2>"$edges.loop"; then
    breach "include cycle: $(awk '/contains a loop/ { n++; next } n == 1 { sub(/^tsort: /, ""); printf "%s -> ", $0 }' "$edges.loop")..."
  fi
  rm -f "$edges.loop"
done

if grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' src/core/* >&2; then
  breach "src/core includes Qt"
fi

[ "$failed" = 0 ] && echo "include graph: no cycle, layers kept ($(echo "$files" | wc -l) files)"
exit "$failed"
