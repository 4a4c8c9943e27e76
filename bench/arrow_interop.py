"""Frames to Arrow and back at 10,000,000 rows: time and memory, side by side in one process.

    python3 bench/arrow_interop.py [rows] [--repeat K]

- export without a row selection (`pyarrow.table(f)`): should cost a constant time per column
  and add no memory of the columns' size;
- export with a selection (the engine benchmark `bench/engine/selection_bench.cpp` sets it
  against materialising the same rows);
- `Frame.from_arrow` of a pyarrow table (int64, float64 and text columns, 1% nulls) against
  `pyarrow.Table.to_pandas()` of the same table.

Medians of K runs; memory is the growth of resident memory over a step's first run, measured
with its result still alive.
"""

import argparse
import gc
import os
import statistics
import time

os.environ.setdefault("ARROW_NUM_THREADS", "1")

import pyarrow as pa  # noqa: E402

import quorvel  # noqa: E402

pa.set_cpu_count(1)


def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def measure(run, repeat):
    """(median seconds, resident growth over the first run with its result alive: later runs
    may reuse what the allocator kept of earlier ones)."""
    times = []
    grown = None
    for _ in range(repeat):
        gc.collect()
        before = resident()
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
        if grown is None:
            grown = resident() - before
        del result
    return statistics.median(times), grown


def make_table(rows):
    """An int64, a float64 and a text column, every hundredth cell null."""
    numbers = pa.array(range(rows), pa.int64())
    nulls = pa.array([i % 100 == 0 for i in range(rows)])
    ints = pa.compute.if_else(nulls, None, numbers)
    floats = pa.compute.if_else(nulls, None, pa.compute.divide(pa.compute.cast(numbers, pa.float64()), 7.0))
    texts = pa.compute.if_else(nulls, None, pa.compute.binary_join_element_wise("city", pa.compute.cast(pa.compute.bit_wise_and(numbers, 255), pa.string()), ""))
    return pa.table({"n": ints, "x": floats, "city": texts})


def report(name, seconds, grown, note=""):
    print(f"  {name:<48} {seconds * 1000:9.1f} ms  {grown / 2**20:8.1f} MB resident added  {note}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("rows", type=int, nargs="?", default=10_000_000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    table = make_table(args.rows)
    f = quorvel.Frame.from_arrow(table)
    column_bytes = args.rows * 16 + table.column("city").nbytes
    print(f"{args.rows:,} rows; the frame's columns hold about {column_bytes / 2**20:.0f} MB\n")

    print("Export without a row selection")
    seconds, grown = measure(lambda: pa.table(f), args.repeat)
    report("pyarrow.table(f)", seconds, grown)
    small = quorvel.Frame.from_arrow(table.slice(0, 1000))
    seconds_small, _ = measure(lambda: pa.table(small), args.repeat)
    report("pyarrow.table(f) of 1,000 rows, for comparison", seconds_small, 0)

    print("\nExport with a row selection (every other row, reversed): gathered batch by batch")
    selected = f.where_lt("n", args.rows).sort("n", True).where_ne("n", -1)
    seconds_selected, grown = measure(lambda: pa.table(selected), args.repeat)
    report("pyarrow.table(selected)", seconds_selected, grown, "(bench/engine/selection_bench.cpp sets it against materialising)")

    print("\nImport")
    seconds_ours, grown = measure(lambda: quorvel.Frame.from_arrow(table), args.repeat)
    report("quorvel.Frame.from_arrow(table)", seconds_ours, grown)
    seconds_pandas, grown = measure(lambda: table.to_pandas(), args.repeat)
    report("table.to_pandas()", seconds_pandas, grown, f"quorvel is {seconds_pandas / seconds_ours:.1f}x as fast")


if __name__ == "__main__":
    main()
