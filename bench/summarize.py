#!/usr/bin/python3
"""Table of the page-load runs: min/median/max of time to all loaded and of
unique memory per label, and the Orvex/floor ratios of the medians. Files of
the same label (several rounds) are taken together."""
import json, statistics, sys

PAIRS = [("orvex_max_1", "floor_tabs_1"), ("orvex_max_20", "floor_tabs_20"),
         ("orvex_normal_20", "floor_mdi_20"), ("orvex_weblist_20", "floor_tabs_20"),
         ("orvex_max_20", "floor_tabs_20_sw"), ("orvex_max_20_gl", "floor_tabs_20"),
         ("qutebrowser_20", "floor_tabs_20"), ("falkon_20", "floor_tabs_20"),
         ("gecko_max_1", "gtkfloor_tabs_1"), ("gecko_max_20", "gtkfloor_tabs_20"),
         ("gecko_normal_20", "gtkfloor_mdi_20"), ("gecko_max_20_gl", "gtkfloor_tabs_20_gl")]


def stats(rows, key, scale=1.0):
    v = [r[key] * scale for r in rows if r.get("ok") and not r.get("warmup") and r.get(key) is not None]
    return (min(v), statistics.median(v), max(v)) if v else None


rows = {}
for path in sys.argv[1:]:
    with open(path) as f:
        d = json.load(f)
    rows.setdefault(d["label"], []).extend(d["rows"])
runs = {label: (stats(r, "all_s"), stats(r, "unique_kb", 1 / 1024)) for label, r in rows.items()}

print(f"{'run':<18} {'all loaded s (min/med/max)':<28} {'unique MiB (min/med/max)':<26}")
for label, (t, m) in runs.items():
    ts = "/".join(f"{x:.3f}" for x in t) if t else "failed"
    ms = "/".join(f"{x:.0f}" for x in m) if m else "failed"
    print(f"{label:<18} {ts:<28} {ms:<26}")
print()
print(f"{'ratio (medians)':<36} {'time':>6} {'memory':>7}")
for a, b in PAIRS:
    if a in runs and b in runs and runs[a][0] and runs[b][0]:
        tr = runs[a][0][1] / runs[b][0][1]
        mr = runs[a][1][1] / runs[b][1][1] if runs[a][1] and runs[b][1] else float("nan")
        print(f"{a + ' / ' + b:<36} {tr:>6.2f} {mr:>7.2f}")
