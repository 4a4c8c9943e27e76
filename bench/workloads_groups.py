"""Grouping workloads: one key column, one or several aggregations on the same groups.

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


def setups(rows, key, value, aggregations, one_call=False):
    """Each library grouping `key` and taking `aggregations` (names of quorvel's methods, of
    polars' expressions alike; pandas' and SQL's where they differ) of `value`. quorvel and
    pandas make one call per aggregation, or with `one_call` one for all of them (quorvel's
    agg, pandas' named aggregation); polars and DuckDB always make one."""
    sql = {"mean": "avg", "std": "stddev_samp", "var": "var_samp"}
    in_pandas = {"count": "size", "n_unique": "nunique"}

    def ours(threads):
        frame = quorvel_frame(columns(rows))
        specs = [(name, "count") if name == "count" else (name, name, value) for name in aggregations]

        def run():
            grouped = frame.group([key])
            if one_call:
                return grouped.agg(specs)
            return tuple(grouped.count() if name == "count" else getattr(grouped, name)(value) for name in aggregations)

        return run

    def pandas(threads):
        frame = peer("pandas").DataFrame(columns(rows))
        named = {name: (value, in_pandas.get(name, name)) for name in aggregations}

        def run():
            grouped = frame.groupby(key, sort=False)
            if one_call:
                return grouped.agg(**named)
            return tuple(getattr(grouped[value], in_pandas.get(name, name))() for name in aggregations)

        return run

    def polars(threads):
        pl = peer("polars")
        data = columns(rows)
        frame = pl.DataFrame({name: list(values) if values.dtype == object else values for name, values in data.items()})
        expressions = [pl.len() if name == "count" else getattr(pl.col(value), name)().alias(name) for name in aggregations]
        return lambda: frame.group_by(key, maintain_order=True).agg(expressions)

    def term(name):
        if name == "count":
            return "count(*)"
        if name == "n_unique":
            return f"count(DISTINCT {value})"
        return f"{sql.get(name, name)}({value})"

    def duckdb(threads):
        connection = duckdb_table(columns(rows), threads)
        query = f"SELECT {key}, {', '.join(map(term, aggregations))} FROM t GROUP BY {key}"
        return lambda: connection.execute(query).fetchnumpy()

    return {"quorvel": ours, "pandas": pandas, "polars": polars, "duckdb": duckdb}


FIVE = ["count", "sum", "mean", "min", "max"]


def workloads(rows):
    five_calls = setups(rows, "k_str", "n", FIVE)
    return [
        Workload("group by i64 key (1,000 groups): sum, mean, count", setups(rows, "k_int", "x", ["sum", "mean", "count"])),
        Workload("group by str key (200 groups): sum, min, max", setups(rows, "k_str", "n", ["sum", "min", "max"])),
        Workload("group by str key (200 groups): agg count, sum, mean, min, max", setups(rows, "k_str", "n", FIVE, True)),
        # quorvel alone: the same five as single calls, beside agg.
        Workload("group by str key (200 groups): count, sum, mean, min, max, five calls", {"quorvel": five_calls["quorvel"]}),
        Workload("group by str key (200 groups): median", setups(rows, "k_str", "x", ["median"])),
        Workload("group by str key (200 groups): std", setups(rows, "k_str", "x", ["std"])),
        Workload("group by str key (200 groups): n_unique", setups(rows, "k_str", "n", ["n_unique"])),
    ]
