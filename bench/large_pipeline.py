"""A 10,000,000-row frame through the whole pipeline: read_csv, a filter, a sort, grouping and
the five aggregations, a date part, to_csv. Prints each step's time and the memory peak
during it, the peaks as a multiple of the CSV text's size.

    python3 bench/large_pipeline.py [rows]

Peaks are resident memory (VmHWM, reset before each step where the kernel allows); a step's
"added" memory is its peak less what the process held when it began. The process's overall
peak (ru_maxrss) includes making the text.
"""

import resource
import sys
import time

import quorvel

CITIES = [f"city{i:02d}" for i in range(50)]


def make_text(rows, chunk=100_000):
    """id, city, day (YYYY-MM-DD), amount (two decimals), qty (2% empty): about 45 bytes a row."""
    parts = ["id,city,day,amount,qty\n"]
    for start in range(0, rows, chunk):
        lines = []
        for i in range(start, min(start + chunk, rows)):
            mixed = (i * 2654435761) % 4294967296
            day = f"{1990 + (mixed >> 4) % 40}-{1 + (mixed >> 10) % 12:02d}-{1 + (mixed >> 14) % 28:02d}"
            qty = "" if (mixed >> 19) % 50 == 0 else str((mixed >> 7) % 1000)
            lines.append(f"{i},{CITIES[mixed % 50]},{day},{(mixed >> 2) % 1_000_000 / 100:.2f},{qty}\n")
        parts.append("".join(lines))
    return "".join(parts)


def resident(field):
    """A /proc/self/status figure in bytes (VmRSS, VmHWM)."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)


def reset_peak():
    """Resets VmHWM to the current resident size; False where the kernel does not allow it."""
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
        return True
    except OSError:
        return False


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
    started = time.perf_counter()
    text = make_text(rows)
    size = len(text)
    print(f"{rows:,} rows, {size / 1e6:,.0f} MB of CSV text, made in {time.perf_counter() - started:.1f} s")
    # "added": how far the step's peak rose above the memory held when it began.
    print(f"{'step':<42}{'seconds':>8}{'peak MB':>9}{'added MB':>10}{'added/text':>12}")

    def step(name, work):
        per_step = reset_peak()
        start = resident("VmRSS")
        before = time.perf_counter()
        result = work()
        seconds = time.perf_counter() - before
        peak = resident("VmHWM") if per_step else float("nan")
        print(f"{name:<42}{seconds:>8.2f}{peak / 1e6:>9,.0f}{(peak - start) / 1e6:>10,.0f}{(peak - start) / size:>12.2f}")
        return result

    frame = step("read_csv", lambda: quorvel.read_csv(text))
    kept = step("where_gt amount 100", lambda: frame.where_gt("amount", 100.0))
    ordered = step("sort amount descending", lambda: kept.sort("amount", True))
    grouped = step("group city", lambda: ordered.group(["city"]))
    step("count", grouped.count)
    step("sum qty", lambda: grouped.sum("qty"))
    step("mean amount", lambda: grouped.mean("amount"))
    step("min day", lambda: grouped.min("day"))
    step("max amount", lambda: grouped.max("amount"))
    step("add_date_part year (writes the rows out)", lambda: ordered.add_date_part("year", "day", "year"))
    step("group city, year + sum amount", lambda: ordered.group(["city", "year"]).sum("amount"))
    written = step("to_csv", ordered.to_csv)
    print(f"written: {len(written) / 1e6:,.0f} MB, {ordered.height():,} rows")
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024  # reported in KiB
    print(f"process peak (ru_maxrss): {peak / 1e6:,.0f} MB = {peak / size:.2f} x the text")


if __name__ == "__main__":
    main()
