"""Filtering (numbers and texts), sorting and date parts, against pandas, polars and (for
dates) DuckDB.

Each peer does the same work on the same values: a frame of 1,000,000 rows by default, made
by the library's setup before its timing starts (and dropped after).
"""

import functools
import random

import quorvel
from workload import Workload, peer


def cities(count, rng):
    """`count` distinct city-like names, letters of varied length, some sharing long prefixes."""
    syllables = ["san", "ta", "ber", "lin", "os", "lo", "li", "ma", "por", "to", "new", "york", "ham", "burg"]
    names = set()
    while len(names) < count:
        name = "".join(rng.choice(syllables) for _ in range(rng.randint(2, 4))).capitalize()
        if rng.random() < 0.2:
            name = "San " + name
        names.add(name)
    return sorted(names)


@functools.cache
def columns(rows):
    rng = random.Random(20240607)
    floats = [rng.random() for _ in range(rows)]
    ints = [rng.randrange(-10**9, 10**9) for _ in range(rows)]
    places = cities(200, rng)
    towns = [rng.choice(places) for _ in range(rows)]
    dates = [f"{rng.randint(1970, 2030):04d}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}" for _ in range(rows)]
    return {"x": floats, "n": ints, "city": towns, "day": dates}


def quorvel_frame(rows):
    data = columns(rows)
    frame = quorvel.Frame()
    frame.add_floats("x", data["x"])
    frame.add_ints("n", data["n"])
    frame.add_strings("city", data["city"])
    frame.add_strings("day", data["day"])
    return frame


def setups(rows, ours, pandas, polars, duckdb=None):
    """Setups from each library's run, given its frame (and for pandas and polars, the module)."""
    found = {
        "quorvel": lambda threads: functools.partial(ours, quorvel_frame(rows)),
        "pandas": lambda threads: functools.partial(pandas, peer("pandas").DataFrame(columns(rows)), peer("pandas")),
        "polars": lambda threads: functools.partial(polars, peer("polars").DataFrame(columns(rows)), peer("polars")),
    }
    if duckdb:
        found["duckdb"] = duckdb
    return found


def duckdb_year(rows):
    def setup(threads):
        connection = peer("duckdb").connect()
        connection.execute(f"SET threads={threads}")
        connection.execute("CREATE TABLE dates (day VARCHAR)")
        connection.register("source", peer("pandas").DataFrame({"day": columns(rows)["day"]}))
        connection.execute("INSERT INTO dates SELECT day FROM source")
        connection.unregister("source")
        return lambda: connection.execute("SELECT year(CAST(day AS DATE)) AS year FROM dates").fetchnumpy()

    return setup


def quorvel_year(frame):
    days = frame.select(["day"])
    days.add_date_part("year", "day", "year")
    return days


def workloads(rows):
    found = [
        Workload(
            "filter f64 x > 0.5",
            setups(
                rows,
                lambda frame: frame.where_gt("x", 0.5),
                lambda df, pd: df[df.x > 0.5],
                lambda df, pl: df.filter(pl.col("x") > 0.5),
            ),
        ),
    ]
    for column, label in [("n", "i64"), ("x", "f64"), ("city", "str (200 cities)")]:
        found.append(
            Workload(
                f"sort by {label}",
                setups(
                    rows,
                    lambda frame, column=column: frame.sort(column, False),
                    lambda df, pd, column=column: df.sort_values(column, kind="stable"),
                    lambda df, pl, column=column: df.sort(column, maintain_order=True),
                ),
            )
        )
    found.append(
        Workload(
            'where_contains: texts holding "ber"',
            setups(
                rows,
                lambda frame: frame.where_contains("city", "ber"),
                lambda df, pd: df[df.city.str.contains("ber", regex=False)],
                lambda df, pl: df.filter(pl.col("city").str.contains("ber", literal=True)),
            ),
        )
    )
    found.append(
        Workload(
            'where_starts_with: texts beginning "San"',
            setups(
                rows,
                lambda frame: frame.where_starts_with("city", "San"),
                lambda df, pd: df[df.city.str.startswith("San")],
                lambda df, pl: df.filter(pl.col("city").str.starts_with("San")),
            ),
        )
    )
    found.append(
        Workload(
            "year of YYYY-MM-DD",
            setups(
                rows,
                quorvel_year,
                lambda df, pd: pd.to_datetime(df.day, format="%Y-%m-%d").dt.year,
                lambda df, pl: df.select(pl.col("day").str.to_date("%Y-%m-%d").dt.year()),
                duckdb_year(rows),
            ),
        )
    )
    return found
