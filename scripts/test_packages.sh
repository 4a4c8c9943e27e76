# The packages the Python tests import besides the module; sourced by setup.sh and
# check_wheel.sh. numpy: a test passes numpy's own bool_ as a flag. pyarrow, polars, DuckDB,
# pandas and Dask: frames are handed to them and read back from them.
test_packages=(pytest hypothesis numpy pyarrow polars duckdb pandas "dask[distributed]")
test_imports="import pytest, hypothesis, numpy, pyarrow, polars, duckdb, pandas, dask.distributed"
