#!/usr/bin/python3
"""Table of the page-load runs: min/median/max of time to all loaded and of
unique memory per label (all rounds together), and the ratios of the medians
to the floor on the same rendering back end. With several rounds, the ratio
is also taken round by round, and its smallest and largest value shown. The
CPU time of the whole process tree until all pages were loaded is given
too: other work on the machine stretches the times far more than it."""
import collections, json, statistics, sys

# (program, baseline): like with like, on the same back end.
PAIRS = [("orvex_1", "floor_sw_1"), ("orvex_20", "floor_sw_20"),
         ("orvex_gl_1", "floor_gl_1"), ("orvex_gl_20", "floor_gl_20"),
         ("orvex_normal_20", "floor_mdi_sw_20"), ("orvex_weblist_20", "floor_sw_20"),
         ("qutebrowser_sw_20", "floor_sw_20"), ("qutebrowser_gl_20", "floor_gl_20"),
         ("falkon_sw_20", "floor_sw_20"), ("falkon_gl_20", "floor_gl_20"),
         ("orvex_20", "qutebrowser_sw_20"), ("orvex_20", "falkon_sw_20"),
         ("orvex_gl_20", "qutebrowser_gl_20"), ("orvex_gl_20", "falkon_gl_20"),
         ("gecko_1", "gtkfloor_nc_1"), ("gecko_20", "gtkfloor_nc_20"),
         ("gecko_normal_20", "gtkfloor_mdi_nc_20"), ("gecko_gl_20", "gtkfloor_gl_20")]
# The floor on both back ends: on this machine software is far faster, so a
# ratio near or above 1 says that other work disturbed the run.
CHECKS = [("floor_sw_1", "floor_gl_1"), ("floor_sw_20", "floor_gl_20")]


def values(rows, key, scale=1.0):
    return [r[key] * scale for r in rows if r.get("ok") and not r.get("warmup") and r.get(key) is not None]


def stats(v):
    return (min(v), statistics.median(v), max(v)) if v else None


rows = collections.defaultdict(list)               # label -> rows of all rounds
by_round = collections.defaultdict(dict)           # round -> label -> rows
for path in sys.argv[1:]:
    with open(path) as f:
        d = json.load(f)
    parts = path.rsplit(".", 2)
    rnd = parts[1] if len(parts) == 3 and parts[1].isdigit() else "1"
    rows[d["label"]] += d["rows"]
    by_round[rnd][d["label"]] = d["rows"]

table = {label: (stats(values(r, "all_s")), stats(values(r, "unique_kb", 1 / 1024)), stats(values(r, "cpu_s")))
         for label, r in rows.items()}
print(f"{'run':<20} {'n':>3} {'all loaded s (min/med/max)':<28} {'unique MiB (min/med/max)':<26} "
      f"{'CPU s (median)':>14}")
for label, (t, m, c) in table.items():
    n = len(values(rows[label], "all_s"))
    ts = "/".join(f"{x:.3f}" for x in t) if t else "failed"
    ms = "/".join(f"{x:.0f}" for x in m) if m else "failed"
    cs = f"{c[1]:.2f}" if c else ""
    print(f"{label:<20} {n:>3} {ts:<28} {ms:<26} {cs:>14}")


def ratio(a, b, key, scale=1.0, source=None):
    source = source or rows
    va, vb = values(source.get(a, []), key, scale), values(source.get(b, []), key, scale)
    return statistics.median(va) / statistics.median(vb) if va and vb else None


def spread(a, b, key, scale=1.0):
    per_round = [ratio(a, b, key, scale, r) for r in by_round.values()]
    per_round = [x for x in per_round if x is not None]
    return f"{min(per_round):.2f}..{max(per_round):.2f}" if len(per_round) > 1 else ""


print()
rounds = len(by_round)
print(f"{'ratio of medians':<40} {'time':>6} {'memory':>7} {'CPU':>6}" +
      (f"   per round ({rounds}): time, memory" if rounds > 1 else ""))
for a, b in PAIRS + CHECKS:
    t = ratio(a, b, "all_s")
    if t is None:
        continue
    m = ratio(a, b, "unique_kb", 1 / 1024)
    c = ratio(a, b, "cpu_s")
    line = (f"{a + ' / ' + b:<40} {t:>6.2f} {m if m is not None else float('nan'):>7.2f}"
            f" {c if c is not None else float('nan'):>6.2f}")
    if rounds > 1:
        line += f"   {spread(a, b, 'all_s')}, {spread(a, b, 'unique_kb', 1 / 1024)}"
    if (a, b) in CHECKS:
        line += "   (back-end check: well below 1 when undisturbed)"
    print(line)
