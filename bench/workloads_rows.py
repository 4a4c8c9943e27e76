"""Filtering, sorting and date parts, against pandas, polars and (for dates) DuckDB.

Each peer does the same work on the same values: a frame of 1,000,000 rows by default, with
the data prepared before any timing starts.
"""

import random

from compare import Workload, peer

import quorvel


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


def workloads(rows):
    rng = random.Random(20240607)
    floats = [rng.random() for _ in range(rows)]
    ints = [rng.randrange(-10**9, 10**9) for _ in range(rows)]
    places = cities(200, rng)
    towns = [rng.choice(places) for _ in range(rows)]
    dates = [f"{rng.randint(1970, 2030):04d}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}" for _ in range(rows)]

    frame = quorvel.Frame()
    frame.add_floats("x", floats)
    frame.add_ints("n", ints)
    frame.add_strings("city", towns)
    frame.add_strings("day", dates)
    columns = {"x": floats, "n": ints, "city": towns, "day": dates}

    pd = peer("pandas")
    pl = peer("polars")
    duckdb = peer("duckdb")
    pd_df = pd.DataFrame(columns) if pd else None
    pl_df = pl.DataFrame(columns) if pl else None

    def contenders(ours, pandas=None, polars=None, **others):
        table = {"quorvel": ours}
        if pd and pandas:
            table["pandas"] = pandas
        if pl and polars:
            table["polars"] = polars
        table.update({name: run for name, run in others.items() if run})
        return table

    found = [
        Workload(
            "filter f64 x > 0.5",
            contenders(
                lambda: frame.where_gt("x", 0.5),
                lambda: pd_df[pd_df.x > 0.5],
                lambda: pl_df.filter(pl.col("x") > 0.5),
            ),
        ),
    ]
    for column, label in [("n", "i64"), ("x", "f64"), ("city", "str (200 cities)")]:
        found.append(
            Workload(
                f"sort by {label}",
                contenders(
                    lambda column=column: frame.sort(column, False),
                    lambda column=column: pd_df.sort_values(column, kind="stable"),
                    lambda column=column: pl_df.sort(column, maintain_order=True),
                ),
            )
        )

    duckdb_year = None
    if duckdb:
        connection = duckdb.connect()
        connection.execute("SET threads=1")
        connection.execute("CREATE TABLE dates (day VARCHAR)")
        connection.register("source", pd_df[["day"]] if pd else pl_df.select("day").to_arrow())
        connection.execute("INSERT INTO dates SELECT day FROM source")
        connection.unregister("source")

        def duckdb_year():
            return connection.execute("SELECT year(CAST(day AS DATE)) AS year FROM dates").fetchnumpy()

    def quorvel_year():
        days = frame.select(["day"])
        days.add_date_part("year", "day", "year")
        return days

    found.append(
        Workload(
            "year of YYYY-MM-DD",
            contenders(
                quorvel_year,
                lambda: pd.to_datetime(pd_df.day, format="%Y-%m-%d").dt.year,
                lambda: pl_df.select(pl.col("day").str.to_date("%Y-%m-%d").dt.year()),
                duckdb=duckdb_year,
            ),
        )
    )
    return found
