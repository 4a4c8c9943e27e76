#!/usr/bin/env python3
"""Times quorvel against the libraries a user would pick instead, each on one thread.

    python3 bench/compare.py [--rows N] [--only TEXT] [--repeat K] [--chart PATH.png]
    python3 bench/compare.py --from-json PATH.json [--chart PATH.png]

Workloads live in bench/workloads_*.py; each module has `workloads(rows)`, returning a list of
`Workload`s whose data is already prepared. Every contender is timed in this process, best of
K runs. Peers that are not installed are skipped. Prints milliseconds, MB/s where a workload
has a size, and how many times faster quorvel is than each peer. With --chart the figures are
also saved as JSON beside the PNG and drawn (bench/chart.py); --from-json redraws a saved run.
"""

import argparse
import gc
import importlib
import importlib.metadata
import os
import pathlib
import subprocess
import sys
import time
from dataclasses import dataclass, field
from typing import Callable

import chart

# One thread for every peer: set before any of them is imported.
os.environ.setdefault("POLARS_MAX_THREADS", "1")
os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.environ.setdefault("ARROW_NUM_THREADS", "1")

BENCH = pathlib.Path(__file__).resolve().parent
PEERS = ["pandas", "polars", "pyarrow", "duckdb"]


@dataclass
class Workload:
    name: str
    contenders: dict[str, Callable[[], object]] = field(default_factory=dict)
    size_bytes: int | None = None


def peer(module_name):
    """The peer module, or None when it is not installed."""
    try:
        module = importlib.import_module(module_name)
    except ImportError:
        return None
    if module_name == "pyarrow":
        module.set_cpu_count(1)
        module.set_io_thread_count(1)
    return module


def best_time(run, repeat):
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def versions():
    """The version of each library that took part; quorvel's is the commit of this tree."""
    commit = subprocess.run(["git", "-C", str(BENCH), "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    found = {"quorvel": commit.stdout.strip()}
    found.update({name: importlib.metadata.version(name) for name in PEERS if name in sys.modules})
    return found


def report(workload, rows, times):
    print(f"\n{workload.name} ({rows:,} rows)")
    ours = times.get("quorvel")
    for name, seconds in times.items():
        line = f"  {name:<10} {seconds * 1000:10.1f} ms"
        if workload.size_bytes:
            line += f"  {workload.size_bytes / seconds / 1e6:8.0f} MB/s"
        if ours and name != "quorvel":
            line += f"  quorvel is {seconds / ours:5.2f}x as fast"
        print(line)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--only", default="", help="run only workloads whose name contains this text")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--chart", metavar="PATH.png", help="draw the figures here, and save them beside it as JSON")
    parser.add_argument("--from-json", metavar="PATH.json", help="draw a saved run instead of running")
    args = parser.parse_args()

    sys.path.insert(0, str(BENCH))
    if args.from_json:
        chart.draw(chart.load(args.from_json), args.chart or pathlib.Path(args.from_json).with_suffix(".png"))
        return
    figures = chart.new_run(args.rows, args.repeat)
    for path in sorted(BENCH.glob("workloads_*.py")):
        module = importlib.import_module(path.stem)
        for workload in module.workloads(args.rows):
            if args.only not in workload.name:
                continue
            times = {name: best_time(run, args.repeat) for name, run in workload.contenders.items()}
            report(workload, args.rows, times)
            family = path.stem.removeprefix("workloads_")
            figures["workloads"].append(
                {"family": family, "name": workload.name, "size_bytes": workload.size_bytes, "seconds": times}
            )
    if args.chart:
        figures["versions"] = versions()
        chart.save(figures, pathlib.Path(args.chart).with_suffix(".json"))
        chart.draw(figures, args.chart)


if __name__ == "__main__":
    main()
