#!/usr/bin/env python3
"""Times quorvel against the libraries a user would pick instead, at one thread and at two.

    python3 bench/compare.py [--rows N] [--only TEXT] [--repeat K] [--mode both|long|fresh]
                             [--threads 1,2] [--chart PATH.png]
    python3 bench/compare.py --from-json PATH.json [--chart PATH.png]

Workloads live in bench/workloads_*.py (bench/workload.py says what they give). Each library,
at each thread count, runs in processes of its own, in one of two ways:

- long-lived: one process runs every workload in a fixed order, the reads first, as a program
  that reads, sorts, groups and writes would; what earlier workloads allocated and freed
  stays with the later ones.
- fresh: a new process for each workload.

Each figure is the median of K runs. pandas and quorvel run on one thread; polars, pyarrow
and DuckDB also on two. Prints milliseconds, MB/s where a workload has a size, how many
times faster quorvel is than each peer (long-lived medians), and flags each workload whose
long-lived median is more than 10% off its fresh-process one. With --chart the figures are
also saved as JSON beside the PNG and drawn from the long-lived medians (bench/chart.py);
--from-json redraws a saved run.
"""

import argparse
import gc
import importlib
import importlib.metadata
import importlib.util
import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH))

import chart  # noqa: E402  (found through the path above)

LIBRARIES = ["quorvel", "pandas", "polars", "pyarrow", "duckdb"]
MULTI_THREADED = {"polars", "pyarrow", "duckdb"}
# The families in the order a long-lived process runs them: reading comes first.
FAMILIES = ["csv", "groups", "rows", "joins"]
# A long-lived median this far from the fresh one, either way, is flagged.
TOLERANCE = 0.10


def all_workloads(rows, only=""):
    """(family, workload) in running order, those whose name contains `only`."""
    for family in FAMILIES:
        module = importlib.import_module(f"workloads_{family}")
        for workload in module.workloads(rows):
            if only in workload.name:
                yield family, workload


def label(library, threads):
    return library if threads == 1 else f"{library} ({threads} threads)"


def contenders(thread_counts):
    """(library, threads) for each installed library at each count it can use."""
    found = []
    for library in LIBRARIES:
        if importlib.util.find_spec(library) is None:
            print(f"{library} is not installed: left out")
            continue
        found += [(library, t) for t in thread_counts if t == 1 or library in MULTI_THREADED]
    return found


# The worker: one library at one thread count, in this process.


def median_time(run, repeat):
    times = []
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times), times


def drop_kept_data(family):
    """Frees what a family's workloads made once and kept for each other. Held on, its Python
    objects would be walked by every later gc.collect, which evicts the caches: later
    workloads then ran up to a tenth slower in a long-lived process than in a fresh one, a
    cost of this harness's objects and not of the library's memory."""
    module = importlib.import_module(f"workloads_{family}")
    for value in vars(module).values():
        if hasattr(value, "cache_clear"):
            value.cache_clear()


def work(args):
    """Times the chosen workloads of one library in order, a JSON line for each; the frames
    of each are made just before it and dropped after it, the data a family shares once the
    family is done."""
    family_before = None
    for family, workload in all_workloads(args.rows, args.only):
        if family_before not in (None, family):
            drop_kept_data(family_before)
        family_before = family
        if args.workload is not None and workload.name != args.workload:
            continue
        setup = workload.setups.get(args.library)
        if setup is None:
            continue
        run = setup(args.threads)
        median, times = median_time(run, args.repeat)
        del run
        print(json.dumps({"workload": workload.name, "median": median, "times": times}), flush=True)


# The conductor: starts the workers, gathers and reports their figures.


def start_worker(args, library, threads, workload=None):
    """The medians of one worker process, by workload name."""
    command = [sys.executable, str(BENCH / "compare.py"), "--worker", library, "--threads", str(threads)]
    command += ["--rows", str(args.rows), "--repeat", str(args.repeat), "--only", args.only]
    if workload is not None:
        command += ["--workload", workload]
    count = str(threads)
    environment = dict(os.environ, POLARS_MAX_THREADS=count, OMP_NUM_THREADS=count, OPENBLAS_NUM_THREADS=count)
    finished = subprocess.run(command, env=environment, capture_output=True, text=True)
    if finished.returncode != 0:
        # What it measured before failing still counts; the rest of the run goes on.
        print(f"{label(library, threads)} failed (status {finished.returncode}):\n{finished.stderr}", file=sys.stderr)
    return {line["workload"]: line["median"] for line in map(json.loads, finished.stdout.splitlines())}


def measure(args, workloads, players):
    """{mode: {workload name: {label: median seconds}}} for the modes asked for."""
    found = {"long": {}, "fresh": {}}
    for library, threads in players:
        if args.mode in ("both", "long"):
            print(f"long-lived: {label(library, threads)}", file=sys.stderr, flush=True)
            for name, median in start_worker(args, library, threads).items():
                found["long"].setdefault(name, {})[label(library, threads)] = median
        if args.mode in ("both", "fresh"):
            for _, workload in workloads:
                if library not in workload.setups:
                    continue
                print(f"fresh: {label(library, threads)}, {workload.name}", file=sys.stderr, flush=True)
                medians = start_worker(args, library, threads, workload.name)
                if workload.name in medians:
                    found["fresh"].setdefault(workload.name, {})[label(library, threads)] = medians[workload.name]
    return found


def drift(long, fresh):
    """long / fresh, and whether it is past the tolerance."""
    ratio = long / fresh
    return ratio, abs(ratio - 1) > TOLERANCE


def report(name, rows, size_bytes, long, fresh):
    print(f"\n{name} ({rows:,} rows)")
    print(f"  {'':<22} {'long-lived':>11} {'fresh':>11} {'long/fresh':>11}")
    ours = long.get("quorvel")
    for player in dict.fromkeys([*long, *fresh]):
        line = f"  {player:<22}"
        line += f" {long[player] * 1000:8.1f} ms" if player in long else f" {'':>11}"
        line += f" {fresh[player] * 1000:8.1f} ms" if player in fresh else f" {'':>11}"
        if player in long and player in fresh:
            ratio, flagged = drift(long[player], fresh[player])
            line += f" {ratio:10.2f}{'!' if flagged else ' '}"
        else:
            line += f" {'':>11}"
        seconds = long.get(player, fresh.get(player))
        if size_bytes:
            line += f" {size_bytes / seconds / 1e6:7.0f} MB/s"
        if ours and player != "quorvel" and player in long:
            line += f"  quorvel is {long[player] / ours:5.2f}x as fast"
        print(line)


def report_drift(found):
    flagged = []
    for name, long in found["long"].items():
        for player, seconds in long.items():
            fresh = found["fresh"].get(name, {}).get(player)
            if fresh is not None and drift(seconds, fresh)[1]:
                flagged.append(f"  {name}, {player}: {seconds * 1000:.1f} ms long-lived, {fresh * 1000:.1f} ms fresh")
    if found["long"] and found["fresh"]:
        print(f"\nLong-lived medians more than {TOLERANCE:.0%} off the fresh-process ones ({len(flagged)}):")
        print("\n".join(flagged) if flagged else "  none")


def versions(players):
    """The version of each library that took part; quorvel's is the commit of this tree."""
    commit = subprocess.run(["git", "-C", str(BENCH), "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    found = {"quorvel": commit.stdout.strip()}
    found.update({name: importlib.metadata.version(name) for name, _ in players if name != "quorvel"})
    return found


def conduct(args):
    thread_counts = sorted({int(count) for count in args.threads.split(",")})
    players = contenders(thread_counts)
    workloads = list(all_workloads(args.rows, args.only))
    figures = chart.new_run(args.rows, args.repeat)
    # The CSV texts are made once, by whichever process needs them first (bench/workload.py).
    with tempfile.TemporaryDirectory(prefix="quorvel-bench-") as data_folder:
        os.environ["QUORVEL_BENCH_DATA"] = data_folder
        found = measure(args, workloads, players)
        for family, workload in workloads:
            long, fresh = found["long"].get(workload.name, {}), found["fresh"].get(workload.name, {})
            size_bytes = workload.size_bytes() if workload.size_bytes else None
            report(workload.name, args.rows, size_bytes, long, fresh)
            figures["workloads"].append(
                {"family": family, "name": workload.name, "size_bytes": size_bytes, "seconds": long, "fresh_seconds": fresh}
            )
    report_drift(found)
    if args.chart:
        if args.mode == "fresh":
            sys.exit("the chart is drawn from long-lived runs: --chart needs --mode both or long")
        figures["versions"] = versions(players)
        chart.save(figures, pathlib.Path(args.chart).with_suffix(".json"))
        chart.draw(figures, args.chart)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--only", default="", help="run only workloads whose name contains this text")
    parser.add_argument("--repeat", type=int, default=5, help="runs of each workload; the median is kept")
    parser.add_argument("--mode", choices=["both", "long", "fresh"], default="both",
                        help="one long-lived process a library, a fresh process a workload, or both")
    parser.add_argument("--threads", default="1,2", help="thread counts for the peers that can use more than one")
    parser.add_argument("--chart", metavar="PATH.png", help="draw the figures here, and save them beside it as JSON")
    parser.add_argument("--from-json", metavar="PATH.json", help="draw a saved run instead of running")
    parser.add_argument("--worker", metavar="LIBRARY", help=argparse.SUPPRESS)
    parser.add_argument("--workload", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.from_json:
        chart.draw(chart.load(args.from_json), args.chart or pathlib.Path(args.from_json).with_suffix(".png"))
    elif args.worker:
        args.library = args.worker
        args.threads = int(args.threads)
        work(args)
    else:
        conduct(args)


if __name__ == "__main__":
    main()
