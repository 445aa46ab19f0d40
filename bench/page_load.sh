#!/usr/bin/env bash
# Page load: Orvex against the bare engines (the "floors": plain
# QWebEngineView windows for the "Internet Explorer" engine, a bare GTK
# program with WebKitGTK views for the "Gecko" engine) and, where installed,
# qutebrowser and Falkon, all timed by the shared beacon harness in one run.
# Prints a table of min/median/max and the ratios to the floor on the same
# rendering back end, for time to all loaded and for unique memory over all
# processes (web processes included).
#
#   bench/page_load.sh      (needs ./run.sh's build)
#   ENGINES=ie,gecko        =ie only the QtWebEngine runs and the peers,
#                           =gecko only the Gecko pairs
#   REPS=5                  counted runs per program and round (one uncounted first)
#   ROUNDS=1                rounds; with more, the table gives the spread of the
#                           ratios round by round
#   QUIET_WAIT=20           seconds each run waits at most for an idle machine
#   RESULTS=dir             keep the harness's logs and per-run data there
#   ONLY=regex              only the runs whose labels match (a pair: both labels,
#                           e.g. ONLY='^(floor_sw_20|orvex_weblist_20)$')
#
# Like is paired with like:
# - the same rendering back end: Qt Quick's software back end
#   (QT_QUICK_BACKEND=software) or the default one (OpenGL, here drawn by
#   llvmpipe). Orvex picks the software back end by itself when OpenGL is only
#   a software rasteriser, as here; ORVEX_RENDERING=opengl makes it keep the
#   default. The floor on software against the floor on the default back end
#   shows whether the run was disturbed: on this machine software is the
#   faster one by far.
# - a fresh engine profile in every run: the floor's and the peers' profiles
#   live in the run's own HOME, and Orvex runs as an installed program, so
#   that its data folder (and the engine profile in it) is made anew in the
#   run's HOME from its program folder, as at a user's first start.
# - Orvex with maximised windows ("WinSize" = 1) against the floor in tabs,
#   Orvex with normal windows against the floor in a tiled MDI area.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${ORVEX_SHARED_BENCH:-$root/../shared/bench}
reps=${REPS:-5}
rounds=${ROUNDS:-1}
quiet=${QUIET_WAIT:-20}
engines=${ENGINES:-ie,gecko}
work=$(mktemp -d /tmp/orvex-bench.XXXXXX)
# Unix socket paths must stay under 108 bytes: qutebrowser's IPC socket goes
# in a runtime folder of its own under this short one.
short=$(mktemp -d /tmp/ob.XXXXXX)
trap 'rm -rf "$work" "$short"' EXIT

loadavg() { cut -d' ' -f1-3 /proc/loadavg; }
check_load() { # when
  local one
  one=$(cut -d' ' -f1 /proc/loadavg)
  echo "load average $1: $(loadavg)"
  if awk -v l="$one" 'BEGIN { exit !(l > 0.5) }'; then
    echo "WARNING: load average $one is above 0.5: other work disturbs the timings" >&2
  fi
}
check_load "at start"

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

# One installed Orvex per layout, each with the config.ini its data folder
# is seeded from.
make_orvex() { # name WinSize StartUpType [engine]
  local d="$work/$1"
  mkdir -p "$d/WebList"
  cp "$root/build/bin/orvex" "$root/build/bin/iexplore.so" "$root/build/bin/mozctl.so" "$d/"
  cp -r "$root/build/bin/mozctl-web" "$d/"
  printf '[General]\r\nLastEngine=%s\r\nWinSize=%s\r\n[Option_StartUp]\r\nType=%s\r\nPath=%s\r\n' \
    "${4:-IE}" "$2" "$3" "$d/start.wlf" > "$d/config.ini"
  : > "$d/CloseURL.txt"
  : > "$d/installed"
}
make_orvex orvex-max 1 0
make_orvex orvex-normal 0 0
make_orvex orvex-weblist 1 2
make_orvex gecko-max 1 0 Gecko
make_orvex gecko-normal 0 0 Gecko

sw="env QT_QUICK_BACKEND=software"
gl="env ORVEX_RENDERING=opengl"
# qutebrowser with a runtime folder of its own (short path), its quick-start
# page marked as seen, as for a returning user; Falkon through its
# single-instance call (peers/falkon-open.sh).
qb_start='mkdir -m 700 "$0/$$" && mkdir -p "$XDG_DATA_HOME/qutebrowser" &&'
qb_start+=' printf "[general]\nquickstart-done = 1\n" > "$XDG_DATA_HOME/qutebrowser/state" &&'
qb_start+=' XDG_RUNTIME_DIR="$0/$$" exec qutebrowser "$@"'
qb="sh -c '$qb_start' $short"
falkon="$work/harness/peers/falkon-open.sh"

# label n template
runs=()
[[ $engines == *ie* ]] && runs+=(
  "floor_sw_1|1|$sw $floor --stay {urls}"
  "orvex_1|1|$work/orvex-max/orvex {urls}"
  "floor_gl_1|1|$floor --stay {urls}"
  "orvex_gl_1|1|$gl $work/orvex-max/orvex {urls}"
  "floor_sw_20|20|$sw $floor --stay {urls}"
  "orvex_20|20|$work/orvex-max/orvex {urls}"
  "floor_gl_20|20|$floor --stay {urls}"
  "orvex_gl_20|20|$gl $work/orvex-max/orvex {urls}"
  "floor_mdi_sw_20|20|$sw $floor --mdi --stay {urls}"
  "orvex_normal_20|20|$work/orvex-normal/orvex {urls}"
  # The web list opens at start-up from a file written with this run's addresses.
  "orvex_weblist_20|20|sh -c 'printf \"%s\\r\\n\" \"\$@\" > $work/orvex-weblist/start.wlf; exec $work/orvex-weblist/orvex' sh {urls}"
)
# The Gecko engine against the WebKitGTK floor. Without a GPU Orvex draws
# WebKitGTK pages without compositing ("nc"), so the floor does too; the
# last pair has both compositing on software OpenGL.
nc="env WEBKIT_DISABLE_COMPOSITING_MODE=1"
[[ $engines == *gecko* ]] && runs+=(
  "gtkfloor_nc_1|1|$nc $gtkfloor --stay {urls}"
  "gecko_1|1|$work/gecko-max/orvex {urls}"
  "gtkfloor_nc_20|20|$nc $gtkfloor --stay {urls}"
  "gecko_20|20|$work/gecko-max/orvex {urls}"
  "gtkfloor_mdi_nc_20|20|$nc $gtkfloor --mdi --stay {urls}"
  "gecko_normal_20|20|$work/gecko-normal/orvex {urls}"
  "gtkfloor_gl_20|20|$gtkfloor --stay {urls}"
  "gecko_gl_20|20|$gl $work/gecko-max/orvex {urls}"
)
if [[ $engines == *ie* ]] && command -v qutebrowser >/dev/null; then
  runs+=("qutebrowser_sw_20|20|$sw $qb {urls}" "qutebrowser_gl_20|20|$qb {urls}")
fi
if [[ $engines == *ie* ]] && command -v falkon >/dev/null; then
  runs+=("falkon_sw_20|20|$sw $falkon {urls}" "falkon_gl_20|20|$falkon {urls}")
fi

# Within a round the programs take turns run by run (A B A B ...), so that a
# machine that slows down over the minutes of a round weighs on every program
# alike; each program's first run of the first round is not counted.
for ((round = 1; round <= rounds; round++)); do
  for ((rep = 1; rep <= reps; rep++)); do
    warmup=$((round == 1 && rep == 1 ? 1 : 0))
    for run in "${runs[@]}"; do
      IFS='|' read -r label n template <<< "$run"
      [[ -z ${ONLY:-} || $label =~ $ONLY ]] || continue
      python3 "$work/harness/beacon_bench.py" -n "$n" -r 1 --warmup "$warmup" --quiet-wait "$quiet" \
        --label "$label" --json "$work/$label.$round.$rep.part" -- "$template" \
        >> "$work/$label.$round.log" 2>&1 || echo "$label: harness failed, see $label.$round.log" >&2
    done
  done
  # One file of rows per program and round, as the summary reads them.
  python3 - "$work" "$round" <<'MERGE' >&2
import glob, json, os, sys
work, rnd = sys.argv[1], sys.argv[2]
parts = {}
for path in sorted(glob.glob(os.path.join(work, f"*.{rnd}.*.part")), key=lambda p: int(p.rsplit(".", 2)[1])):
    with open(path) as f:
        d = json.load(f)
    merged = parts.setdefault(d["label"], dict(d, rows=[]))
    merged["rows"] += d["rows"]
    os.remove(path)
for label, d in parts.items():
    with open(os.path.join(work, f"{label}.{rnd}.json"), "w") as f:
        json.dump(d, f, indent=1)
    good = [r for r in d["rows"] if r.get("ok") and not r.get("warmup")]
    counted = [r for r in d["rows"] if not r.get("warmup")]
    print(f"## {label} N={d['n']} round {rnd}: {len(good)}/{len(counted)} counted runs ok")
MERGE
done

python3 "$root/bench/summarize.py" "$work"/*.json
if [ -n "${RESULTS:-}" ]; then
  mkdir -p "$RESULTS"
  cp "$work"/*.json "$work"/*.log "$RESULTS/"
fi
check_load "at end"
