"""CSV text in and out: a numeric CSV and a mixed one, read and written by each library.

The texts are made in memory, the same for every run: `rows` data rows, about 48 bytes a
row. Peers that read bytes get the text already encoded, so that only reading is timed.
"""

import io
import random

import quorvel
from compare import Workload, peer

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


def workloads(rows):
    pd = peer("pandas")
    pl = peer("polars")
    pa = peer("pyarrow")
    if pa is not None:
        import pyarrow.csv as pa_csv

    result = []
    for kind, text in (("numeric", numeric_csv(rows)), ("mixed", mixed_csv(rows))):
        data = text.encode()
        read = Workload(f"read_csv {kind}", size_bytes=len(data))
        read.contenders["quorvel"] = lambda text=text: quorvel.read_csv(text)
        if pd is not None:
            read.contenders["pandas"] = lambda text=text: pd.read_csv(io.StringIO(text))
        if pl is not None:
            read.contenders["polars"] = lambda data=data: pl.read_csv(data)
        if pa is not None:
            options = pa_csv.ReadOptions(use_threads=False)
            read.contenders["pyarrow"] = lambda data=data: pa_csv.read_csv(io.BytesIO(data), read_options=options)
        result.append(read)

        frame = quorvel.read_csv(text)
        write = Workload(f"to_csv {kind}", size_bytes=len(frame.to_csv().encode()))
        write.contenders["quorvel"] = frame.to_csv
        if pd is not None:
            df = pd.read_csv(io.StringIO(text))
            write.contenders["pandas"] = lambda df=df: df.to_csv(index=False)
        if pl is not None:
            pl_df = pl.read_csv(data)
            write.contenders["polars"] = pl_df.write_csv
        if pa is not None:
            table = pa_csv.read_csv(io.BytesIO(data), read_options=pa_csv.ReadOptions(use_threads=False))
            write.contenders["pyarrow"] = lambda table=table: pa_csv.write_csv(table, io.BytesIO())
        result.append(write)
    return result
