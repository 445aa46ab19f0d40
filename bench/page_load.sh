#!/usr/bin/env bash
# Page load: Orvex against the bare engines (the "floors": plain
# QWebEngineView windows for the "Internet Explorer" engine, a bare GTK
# program with WebKitGTK views for the "Gecko" engine) and, where installed,
# qutebrowser and Falkon, all timed by the shared beacon harness in one run.
# Prints a table of min/median/max and the Orvex/floor ratios for time to all
# loaded and for unique memory over all processes (web processes included).
#
#   bench/page_load.sh            (REPS=5 by default; needs ./run.sh's build)
#   ENGINES=gecko bench/page_load.sh   (only the Gecko pairs; =ie only the others)
#   ROUNDS=3 REPS=2 bench/page_load.sh (every run three times in turn: on a
#                                       shared machine, load that comes and
#                                       goes then falls on both sides of a pair)
#
# Like is paired with like: Orvex with maximised windows ("WinSize" = 1)
# against the floor in tabs, Orvex with normal windows against the floor in a
# tiled MDI area.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${ORVEX_SHARED_BENCH:-$root/../shared/bench}
reps=${REPS:-5}
rounds=${ROUNDS:-1}
engines=${ENGINES:-ie,gecko}
work=$(mktemp -d /tmp/orvex-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The harness writes its pages beside itself: work on a copy.
cp -r "$shared" "$work/harness"
chmod -R u+w "$work/harness"
python3 "$work/harness/make_pages.py" 20 >/dev/null
cmake -S "$work/harness/floor" -B "$work/floor-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/floor-build" >/dev/null
floor="$work/floor-build/floor"
cmake -S "$root/bench/webkitgtk_floor" -B "$work/gtkfloor-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/gtkfloor-build" >/dev/null
gtkfloor="$work/gtkfloor-build/webkitgtk_floor"
[ -x "$root/build/bin/orvex" ] || { echo "build Orvex first (./run.sh)" >&2; exit 1; }

# One portable Orvex folder per layout, each with its own config.ini.
make_orvex() { # name WinSize StartUpType [engine]
  local d="$work/$1"
  mkdir -p "$d/WebList"
  cp "$root/build/bin/orvex" "$root/build/bin/iexplore.so" "$root/build/bin/mozctl.so" "$d/"
  printf '[General]\r\nLastEngine=%s\r\nWinSize=%s\r\n[Option_StartUp]\r\nType=%s\r\nPath=%s\r\n' \
    "${4:-IE}" "$2" "$3" "$d/start.wlf" > "$d/config.ini"
  : > "$d/CloseURL.txt"
}
make_orvex orvex-max 1 0
make_orvex orvex-normal 0 0
make_orvex orvex-weblist 1 2
make_orvex gecko-max 1 0 Gecko
make_orvex gecko-normal 0 0 Gecko
# A Gecko run starts without the profile of the run before, as the floor does.
gecko() { # folder
  echo "sh -c 'rm -rf $work/$1/mozctl-profile; exec $work/$1/orvex \"\$@\"' sh {urls}"
}

run() { # label n template
  local out="$work/$1.$round"
  python3 "$work/harness/beacon_bench.py" -n "$2" -r "$reps" --label "$1" --json "$out.json" -- "$3" \
    > "$out.log" 2>&1 || echo "$1: harness failed, see the log below" >&2
  grep -E '^## ' "$out.log" >&2 || tail -5 "$out.log" >&2
}

for round in $(seq "$rounds"); do
  if [[ $engines == *ie* ]]; then
    run floor_tabs_1 1 "$floor --stay {urls}"
    run orvex_max_1 1 "$work/orvex-max/orvex {urls}"
    run floor_tabs_20 20 "$floor --stay {urls}"
    run orvex_max_20 20 "$work/orvex-max/orvex {urls}"
    run floor_mdi_20 20 "$floor --mdi --stay {urls}"
    run orvex_normal_20 20 "$work/orvex-normal/orvex {urls}"
    # The web list opens at start-up from a file written with this run's addresses.
    run orvex_weblist_20 20 "sh -c 'printf \"%s\\r\\n\" \"\$@\" > $work/orvex-weblist/start.wlf; exec $work/orvex-weblist/orvex' sh {urls}"
    # Rendering: Orvex picks Qt Quick's software back end when OpenGL is only a
    # software renderer; the same pair with both on software OpenGL, and with
    # both on the software back end, shows what that choice is worth.
    run floor_tabs_20_sw 20 "env QT_QUICK_BACKEND=software $floor --stay {urls}"
    run orvex_max_20_gl 20 "env ORVEX_RENDERING=opengl $work/orvex-max/orvex {urls}"
  fi
  # The Gecko engine against the WebKitGTK floor. Without a GPU Orvex draws
  # WebKitGTK pages without compositing, so the floor does too; the last pair
  # has both compositing on software OpenGL.
  if [[ $engines == *gecko* ]]; then
    nocomp="env WEBKIT_DISABLE_COMPOSITING_MODE=1"
    run gtkfloor_tabs_1 1 "$nocomp $gtkfloor --stay {urls}"
    run gecko_max_1 1 "$(gecko gecko-max)"
    run gtkfloor_tabs_20 20 "$nocomp $gtkfloor --stay {urls}"
    run gecko_max_20 20 "$(gecko gecko-max)"
    run gtkfloor_mdi_20 20 "$nocomp $gtkfloor --mdi --stay {urls}"
    run gecko_normal_20 20 "$(gecko gecko-normal)"
    run gtkfloor_tabs_20_gl 20 "$gtkfloor --stay {urls}"
    run gecko_max_20_gl 20 "env ORVEX_RENDERING=opengl $(gecko gecko-max)"
  fi
  if [[ $engines == *ie* ]] && command -v qutebrowser >/dev/null; then
    run qutebrowser_20 20 "qutebrowser --basedir {profile} {urls}"
  fi
  if [[ $engines == *ie* ]] && command -v falkon >/dev/null; then
    run falkon_20 20 "$work/harness/peers/falkon-open.sh {urls}"
  fi
done

python3 "$root/bench/summarize.py" "$work"/*.json
