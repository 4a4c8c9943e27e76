"""Grouping workloads: one key column, three aggregations on the same groups.

Keys are drawn at random, so groups are met in no particular order; every contender keeps
groups in order of first appearance where it can (pandas sort=False, polars
maintain_order=True); DuckDB has no such option and returns its own order.
"""

import functools

import numpy

import quorvel
from workload import Workload, peer


@functools.cache
def columns(rows):
    rng = numpy.random.default_rng(5)
    int_keys = rng.integers(-(2**62), 2**62, 1_000)
    text_keys = numpy.array([f"station-{i * 7919 % 100_003:05d}-{'x' * (i % 9)}" for i in range(200)], dtype=object)
    return {
        "k_int": int_keys[rng.integers(0, len(int_keys), rows)],
        "k_str": text_keys[rng.integers(0, len(text_keys), rows)],
        "x": rng.normal(50.0, 20.0, rows),
        "n": rng.integers(-1_000_000, 1_000_000, rows),
    }


def quorvel_frame(data):
    frame = quorvel.Frame()
    frame.add_ints("k_int", data["k_int"].tolist())
    frame.add_strings("k_str", data["k_str"].tolist())
    frame.add_floats("x", data["x"].tolist())
    frame.add_ints("n", data["n"].tolist())
    return frame


def duckdb_table(data, threads):
    """A connection holding the columns as table t, or None without pandas to hand them over."""
    duckdb, pd = peer("duckdb"), peer("pandas")
    if pd is None:
        return None
    connection = duckdb.connect()
    connection.execute(f"SET threads={threads}")
    connection.register("source", pd.DataFrame(data))
    connection.execute("CREATE TABLE t AS SELECT * FROM source")
    connection.unregister("source")
    return connection


def setups(rows, key, value, aggregations):
    """Each library grouping `key` and taking `aggregations` (names of quorvel's methods, of
    pandas' and of polars' expressions alike; SQL's where they differ) of `value`."""
    sql = {"mean": "avg"}

    def ours(threads):
        frame = quorvel_frame(columns(rows))

        def run():
            grouped = frame.group([key])
            return tuple(grouped.count() if name == "count" else getattr(grouped, name)(value) for name in aggregations)

        return run

    def pandas(threads):
        frame = peer("pandas").DataFrame(columns(rows))

        def run():
            grouped = frame.groupby(key, sort=False)
            return tuple(grouped.size() if name == "count" else getattr(grouped[value], name)() for name in aggregations)

        return run

    def polars(threads):
        pl = peer("polars")
        data = columns(rows)
        frame = pl.DataFrame({name: list(values) if values.dtype == object else values for name, values in data.items()})
        expressions = [pl.len() if name == "count" else getattr(pl.col(value), name)().alias(name) for name in aggregations]
        return lambda: frame.group_by(key, maintain_order=True).agg(expressions)

    def duckdb(threads):
        connection = duckdb_table(columns(rows), threads)
        terms = ", ".join("count(*)" if name == "count" else f"{sql.get(name, name)}({value})" for name in aggregations)
        query = f"SELECT {key}, {terms} FROM t GROUP BY {key}"
        return lambda: connection.execute(query).fetchnumpy()

    return {"quorvel": ours, "pandas": pandas, "polars": polars, "duckdb": duckdb}


def workloads(rows):
    return [
        Workload("group by i64 key (1,000 groups): sum, mean, count", setups(rows, "k_int", "x", ["sum", "mean", "count"])),
        Workload("group by str key (200 groups): sum, min, max", setups(rows, "k_str", "n", ["sum", "min", "max"])),
    ]
