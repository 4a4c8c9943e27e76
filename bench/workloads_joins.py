"""Joins, sorts by two keys, unique rows and concatenation, against pandas, polars and DuckDB.

Joins take a frame of `rows` rows (1,000,000 by default) and one of keys and values:
- an i64 key of 1,000 values, its 1,000 rows holding each once (a lookup table),
- unique i64 keys on both sides, `rows` rows each, in two different random orders,
- a str key of 200 values (city names), its 200 rows holding each once.
Every contender keeps the frame's row order where it can (polars maintain_order="left";
pandas merge keeps it for inner joins); DuckDB has no such option. The mixed frame (city,
amount, n, day) is sorted by city and then amount descending, made unique by city, and put
end to end with a second one. DuckDB's results are made as Arrow tables, its own way of
handing a whole result over; polars concatenates with rechunk=True, so that each column
of its result is one block, as quorvel's and the others' are.
"""

import functools
import random

import numpy

import quorvel
from workload import Workload, peer
from workloads_rows import cities


@functools.cache
def places():
    """The 200 city names of bench/workloads_rows.py's frame."""
    return numpy.array(cities(200, random.Random(3)), dtype=object)


@functools.cache
def lookup_tables(rows):
    """(frame, keys) columns of the three joins, by the name of the join."""
    rng = numpy.random.default_rng(13)
    int_keys = rng.choice(numpy.arange(-(2**62), 2**62, 2**40), 1_000, replace=False)
    ids = rng.permutation(rows) * 7 - 3 * rows
    labels = numpy.array([f"label-{i}" for i in range(1_000)], dtype=object)
    countries = numpy.array([f"country-{i % 31}" for i in range(200)], dtype=object)
    values = lambda: {"x": rng.random(rows), "n": rng.integers(-(10**9), 10**9, rows)}  # noqa: E731
    return {
        "i64": (
            {"k": int_keys[rng.integers(0, 1_000, rows)], **values()},
            {"k": int_keys, "w": rng.random(1_000), "label": labels},
        ),
        "unique": (
            {"k": ids, "x": rng.random(rows)},
            {"k": rng.permutation(ids), "y": rng.integers(0, 10**6, rows)},
        ),
        "str": (
            {"k": places()[rng.integers(0, 200, rows)], **values()},
            {"k": places(), "country": countries, "population": rng.integers(10**4, 10**7, 200)},
        ),
    }


@functools.cache
def mixed_columns(rows, seed):
    rng = numpy.random.default_rng(seed)
    days = numpy.datetime64("1990-01-01") + rng.integers(0, 14_000, rows)
    return {
        "city": places()[rng.integers(0, 200, rows)],
        "amount": rng.integers(-100_000, 100_000, rows) / 100,
        "n": rng.integers(-(10**9), 10**9, rows),
        "day": numpy.datetime_as_string(days).astype(object),
    }


def quorvel_frame(data):
    frame = quorvel.Frame()
    for name, values in data.items():
        add = {"O": frame.add_strings, "f": frame.add_floats, "i": frame.add_ints}[values.dtype.kind]
        add(name, values.tolist())
    return frame


def polars_frame(data):
    pl = peer("polars")
    return pl.DataFrame({name: values.tolist() if values.dtype == object else values for name, values in data.items()})


def duckdb_connection(threads, tables):
    """A connection holding each of `tables` (name: columns) as a table of its own."""
    duckdb, pd = peer("duckdb"), peer("pandas")
    connection = duckdb.connect()
    connection.execute(f"SET threads={threads}")
    for name, data in tables.items():
        connection.register("source", pd.DataFrame(data))
        connection.execute(f"CREATE TABLE {name} AS SELECT * FROM source")
        connection.unregister("source")
    return connection


def setups(make_tables, ours, pandas, polars, sql):
    """Each library's run over the frames `make_tables()` gives (a dict of name: columns, in
    the order of the run's arguments); `sql` is DuckDB's query over tables of those names."""

    def quorvel_setup(threads):
        frames = [quorvel_frame(data) for data in make_tables().values()]
        return functools.partial(ours, *frames)

    def pandas_setup(threads):
        pd = peer("pandas")
        frames = [pd.DataFrame(data) for data in make_tables().values()]
        return functools.partial(pandas, *frames, pd)

    def polars_setup(threads):
        frames = [polars_frame(data) for data in make_tables().values()]
        return functools.partial(polars, *frames, peer("polars"))

    def duckdb_setup(threads):
        connection = duckdb_connection(threads, make_tables())
        return lambda: connection.sql(sql).to_arrow_table()

    return {"quorvel": quorvel_setup, "pandas": pandas_setup, "polars": polars_setup, "duckdb": duckdb_setup}


def join_workload(name, rows, kind):
    return Workload(
        name,
        setups(
            lambda: dict(zip(("l", "r"), lookup_tables(rows)[kind])),
            lambda frame, keys: frame.join(keys, ["k"], "inner"),
            lambda frame, keys, pd: frame.merge(keys, on="k", how="inner"),
            lambda frame, keys, pl: frame.join(keys, on="k", how="inner", maintain_order="left"),
            "SELECT * FROM l JOIN r USING (k)",
        ),
    )


def workloads(rows):
    mixed = lambda: {"t": mixed_columns(rows, 1)}  # noqa: E731
    return [
        join_workload("inner join on an i64 key, 1,000 keys of 1,000 rows", rows, "i64"),
        join_workload(f"inner join on unique i64 keys, {rows:,} rows each", rows, "unique"),
        join_workload("inner join on a str key, 200 keys of 200 rows", rows, "str"),
        Workload(
            "sort_by city, amount descending",
            setups(
                mixed,
                lambda frame: frame.sort_by(["city", "amount"], [False, True]),
                lambda df, pd: df.sort_values(["city", "amount"], ascending=[True, False], kind="stable"),
                lambda df, pl: df.sort(["city", "amount"], descending=[False, True], maintain_order=True),
                "SELECT * FROM t ORDER BY city, amount DESC",
            ),
        ),
        Workload(
            "unique by city",
            setups(
                mixed,
                lambda frame: frame.unique(["city"]),
                lambda df, pd: df.drop_duplicates(subset=["city"]),
                lambda df, pl: df.unique(subset=["city"], keep="first", maintain_order=True),
                "SELECT DISTINCT ON (city) * FROM t",
            ),
        ),
        Workload(
            f"concat two frames of {rows:,} rows",
            setups(
                lambda: {"a": mixed_columns(rows, 1), "b": mixed_columns(rows, 2)},
                lambda first, second: first.concat(second),
                lambda first, second, pd: pd.concat([first, second], ignore_index=True),
                lambda first, second, pl: pl.concat([first, second], rechunk=True),
                "SELECT * FROM a UNION ALL SELECT * FROM b",
            ),
        ),
    ]
