"""CSV text in and out: a numeric CSV and a mixed one, read and written by each library.

The texts are made in memory, the same for every run: `rows` data rows, about 48 bytes a
row (made once a run and kept in a file for its other processes). Peers that read bytes get
the text already encoded, so that only reading is timed.
"""

import functools
import io
import random

import quorvel
from workload import Workload, cached_text, peer

WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"]
NOTES = ['"Smith, J."', '"said ""hi"""', "ok", '"a, b, and c"', "pending", '"x ""y"", z"', "", "late"]


def numeric_csv(rows, seed=1):
    """i64 and f64 columns, some nulls: id, qty, price, ratio, delta, total."""
    rng = random.Random(seed)
    lines = ["id,qty,price,ratio,delta,total"]
    for i in range(rows):
        qty = "" if rng.random() < 0.02 else str(rng.randrange(10_000))
        price = f"{rng.randrange(1, 1_000_000) / 100:.2f}"
        ratio = repr(rng.random())
        delta = "" if rng.random() < 0.05 else repr(rng.randrange(-10_000, 10_000) / 8)
        total = str(rng.randrange(-(10**6), 10**6))
        lines.append(f"{i},{qty},{price},{ratio},{delta},{total}")
    return "\n".join(lines) + "\n"


def mixed_csv(rows, seed=2):
    """Text, YYYY-MM-DD dates, quoted fields with commas and doubled quotes, numbers, nulls.
    The names are nearly all different, as names, e-mail addresses and comments are in real
    files (a reader that shares equal texts gains nothing here)."""
    rng = random.Random(seed)
    lines = ["id,name,date,note,amount,flag,score"]
    for i in range(rows):
        name = f"{rng.choice(WORDS)}.{rng.choice(WORDS)}{rng.randrange(100_000)}"
        date = f"{rng.randrange(1990, 2030)}-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d}"
        note = rng.choice(NOTES)
        amount = f"{rng.randrange(-100_000, 100_000) / 100:.2f}"
        flag = rng.choice(["yes", "no", ""])
        score = str(rng.randrange(100))
        lines.append(f"{i},{name},{date},{note},{amount},{flag},{score}")
    return "\n".join(lines) + "\n"


@functools.cache
def csv_text(kind, rows):
    make = numeric_csv if kind == "numeric" else mixed_csv
    return cached_text(f"{kind}-{rows}", lambda: make(rows))


def arrow_bytes(pa, text):
    """The text's bytes in memory of Arrow's own. Arrow lets go of a buffer of Python's on one
    of its threads, taking the interpreter's lock, which aborts the process when that comes
    after the interpreter has begun to exit."""
    data = text.encode()
    buffer = pa.allocate_buffer(len(data))
    pa.FixedSizeBufferWriter(buffer).write(data)
    return buffer


def read_setups(kind, rows):
    def ours(threads):
        text = csv_text(kind, rows)
        return lambda: quorvel.read_csv(text)

    def pandas(threads):
        pd, text = peer("pandas"), csv_text(kind, rows)
        return lambda: pd.read_csv(io.StringIO(text))

    def polars(threads):
        pl, data = peer("polars"), csv_text(kind, rows).encode()
        return lambda: pl.read_csv(data)

    def pyarrow(threads):
        pa = peer("pyarrow", threads)
        import pyarrow.csv as pa_csv

        data, options = arrow_bytes(pa, csv_text(kind, rows)), pa_csv.ReadOptions(use_threads=threads > 1)
        return lambda: pa_csv.read_csv(pa.BufferReader(data), read_options=options)

    return {"quorvel": ours, "pandas": pandas, "polars": polars, "pyarrow": pyarrow}


def write_setups(kind, rows):
    def ours(threads):
        return quorvel.read_csv(csv_text(kind, rows)).to_csv

    def pandas(threads):
        pd = peer("pandas")
        frame = pd.read_csv(io.StringIO(csv_text(kind, rows)))
        return lambda: frame.to_csv(index=False)

    def polars(threads):
        return peer("polars").read_csv(csv_text(kind, rows).encode()).write_csv

    def pyarrow(threads):
        pa = peer("pyarrow", threads)
        import pyarrow.csv as pa_csv

        options = pa_csv.ReadOptions(use_threads=threads > 1)
        table = pa_csv.read_csv(pa.BufferReader(arrow_bytes(pa, csv_text(kind, rows))), read_options=options)
        return lambda: pa_csv.write_csv(table, pa.BufferOutputStream())

    return {"quorvel": ours, "pandas": pandas, "polars": polars, "pyarrow": pyarrow}


def workloads(rows):
    """Both reads first, then both writes: a long-lived process starts as a program does."""
    kinds = ("numeric", "mixed")
    reads = [
        Workload(f"read_csv {kind}", read_setups(kind, rows), lambda kind=kind: len(csv_text(kind, rows).encode()))
        for kind in kinds
    ]
    writes = [
        Workload(
            f"to_csv {kind}",
            write_setups(kind, rows),
            lambda kind=kind: len(quorvel.read_csv(csv_text(kind, rows)).to_csv().encode()),
        )
        for kind in kinds
    ]
    return reads + writes
