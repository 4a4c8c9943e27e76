#!/usr/bin/env python3
"""Times quorvel against the libraries a user would pick instead, each on one thread.

    python3 bench/compare.py [--rows N] [--only TEXT] [--repeat K]

Workloads live in bench/workloads_*.py; each module has `workloads(rows)`, returning a list of
`Workload`s whose data is already prepared. Every contender is timed in this process, best of
K runs. Peers that are not installed are skipped. Prints seconds, MB/s where a workload has
a size, and how many times faster quorvel is than each peer.
"""

import argparse
import gc
import importlib
import os
import pathlib
import sys
import time
from dataclasses import dataclass, field
from typing import Callable

# One thread for every peer: set before any of them is imported.
os.environ.setdefault("POLARS_MAX_THREADS", "1")
os.environ.setdefault("OMP_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.environ.setdefault("ARROW_NUM_THREADS", "1")

BENCH = pathlib.Path(__file__).resolve().parent


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--only", default="", help="run only workloads whose name contains this text")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    sys.path.insert(0, str(BENCH))
    for path in sorted(BENCH.glob("workloads_*.py")):
        module = importlib.import_module(path.stem)
        for workload in module.workloads(args.rows):
            if args.only not in workload.name:
                continue
            times = {name: best_time(run, args.repeat) for name, run in workload.contenders.items()}
            print(f"\n{workload.name} ({args.rows:,} rows)")
            ours = times.get("quorvel")
            for name, seconds in times.items():
                line = f"  {name:<10} {seconds * 1000:10.1f} ms"
                if workload.size_bytes:
                    line += f"  {workload.size_bytes / seconds / 1e6:8.0f} MB/s"
                if ours and name != "quorvel":
                    line += f"  quorvel is {seconds / ours:5.2f}x as fast"
                print(line)


if __name__ == "__main__":
    main()
