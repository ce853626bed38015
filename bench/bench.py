#!/usr/bin/python3
"""The measurements behind bench/run.sh.

  bench.py trees   --bed DIR --bin DIR --port P [--quick]
      writes the server's document root (DIR/www): one manifest tree per
      scenario, the packages, the language file.
  bench.py measure --bed DIR --bin DIR --port P --runs N [--quick] --setup EXE
                   --setup32 EXE --cacert PEM --wineserver PATH --display D --out FILE
      runs every scenario with its baseline interleaved and writes FILE.
  bench.py report  (the arguments of measure)
      writes FILE again from the figures the last measure kept.

run.sh owns the display, the prefix, wineserver and nginx; this script only
starts Windows programs (each bounded by a timeout) and curl.
"""

import argparse
import json
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of a run lands in the source tree

from benchlib import scenarios  # noqa: E402
from benchlib.bed import Bed, wineserver_pid  # noqa: E402
from benchlib.report import load_average, machine_details, write_report  # noqa: E402
from benchlib.trees import SIZES, make_trees  # noqa: E402


def measure(args):
    started = time.time()
    sizes = SIZES["quick" if args.quick else "full"]
    bed = Bed(args)
    results = scenarios.Results()
    load_before = load_average()
    server_pid = wineserver_pid(bed)
    runs = args.runs

    parts = [
        ("startup", lambda: scenarios.measure_startup(bed, results, 2 * runs)),
        ("empty", lambda: scenarios.measure_fixed_cost(bed, results, runs)),
        ("big", lambda: scenarios.measure_download_case(bed, results, "big", runs, args.cacert, sizes)),
        ("small", lambda: scenarios.measure_download_case(bed, results, "small", runs, args.cacert, sizes)),
        ("wait", lambda: scenarios.measure_wait(bed, results, runs, sizes["wait_ms"], server_pid)),
        ("removal", lambda: scenarios.measure_removal(bed, results, runs, sizes["tree"])),
        ("lang", lambda: scenarios.measure_language_load(bed, results, runs)),
        ("progress", lambda: scenarios.measure_progress_lines(bed, results, runs)),
    ]
    only = args.only.split(",") if args.only else None
    for name, part in parts:
        if only is None or name in only:
            part()
    bed.reset_machine()

    if only is not None:
        # A partial run is for looking at one figure: no table.
        for name, values in results.series.items():
            print("%s: %s" % (name, values))
        return 0
    facts = {"sizes": sizes, "load_before": load_before, "load_after": load_average(),
             "elapsed": time.time() - started, "machine": machine_details(), "runs": args.runs, "series": results.series}
    with open(results_json(args), "w") as f:
        json.dump(facts, f)
    return render(args, facts)


def results_json(args):
    """The figures of the last full run, kept beside the prefix so that the
    table can be written again (bench.py report) without measuring."""
    return os.path.join(args.bed, "results-%s.json" % ("quick" if args.quick else "full"))


def render(args, facts):
    results = scenarios.Results()
    results.series = facts["series"]
    write_report(args, results, facts)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["trees", "measure", "report"])
    parser.add_argument("--bed", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--setup")
    parser.add_argument("--setup32")
    parser.add_argument("--size-reference")
    parser.add_argument("--cacert")
    parser.add_argument("--wineserver")
    parser.add_argument("--display")
    parser.add_argument("--out")
    parser.add_argument("--only", help="comma-separated parts, for a look at some figures without the table")
    args = parser.parse_args()
    args.bed = os.path.realpath(args.bed)
    if args.action == "trees":
        return make_trees(args)
    if args.action == "report":
        with open(results_json(args)) as f:
            return render(args, json.load(f))
    try:
        return measure(args)
    except (RuntimeError, subprocess.SubprocessError, OSError) as error:
        print("bench: %s" % error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
