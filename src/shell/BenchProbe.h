// A measuring hook for the benchmarks, made only when ORVEX_BENCH_PROBE is
// set (never in normal use). It reads commands from standard input, one a
// line, and answers on standard output:
//   gap          "gap <ms>": the longest the event loop went without turning
//                since the probe started or the last "gap"
//   quiet        "quiet 0": the meter stops (it would count in an idle
//                measurement)
//   state        "state <letters>": each window in tab order, A(ctive),
//                F(rozen) or D(iscarded)
//   wake <index> "woke <index> <ms>": the window at that tab comes to the
//                front; <ms> is the monotonic clock when it was chosen
#pragma once

namespace orvex {

class TMainForm;

void StartBenchProbe(TMainForm *form);

} // namespace orvex
