"""A small in-memory table library: typed columns, filters, sorts, groups, CSV text in and out.

Columns are i64, f64 or str, and every cell may be null (None when read back). Every method
returns a new object, except the add methods, which change their frame in place. An engine
error raises ValueError with the library's message; a bad argument raises TypeError with the
note "while processing '{argument}'". Objects belong to the thread that made them.
"""

from collections.abc import Sequence
from typing import Literal, Protocol, SupportsFloat, SupportsIndex, final, type_check_only

__all__ = ["read_csv", "Frame", "Grouped"]

def read_csv(text: str) -> Frame:
    """A new frame from CSV text: comma separator, double-quote quoting, LF, CR LF or CR line ends.

    The first non-blank line names the columns. Each column is i64 when every field is an
    integer, else f64 when every field is a number, else str; a quoted field makes its
    column str. Empty unquoted fields are None. Malformed text raises ValueError naming the
    line.
    """

@type_check_only
class _ArrowStream(Protocol):
    """Anything that hands out its data as an Arrow C stream: pyarrow, polars, pandas, DuckDB."""

    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

@type_check_only
class _ArrowArray(Protocol):
    """Anything that hands out its data as one Arrow C array: a pyarrow RecordBatch."""

    def __arrow_c_array__(self, requested_schema: object | None = None) -> tuple[object, object]: ...

@final
class Frame:
    """A table: named columns of one length."""

    def __new__(cls) -> Frame:
        """An empty frame: no columns, no rows."""

    def add_floats(self, name: str, values: Sequence[SupportsFloat | SupportsIndex]) -> None:
        """Appends an f64 column holding a copy of `values`."""

    def add_ints(self, name: str, values: Sequence[SupportsIndex]) -> None:
        """Appends an i64 column holding a copy of `values`."""

    def add_strings(self, name: str, values: Sequence[str]) -> None:
        """Appends a str column holding a copy of `values`."""

    def add_date_part(self, name: str, source: str, part: Literal["year", "month", "day"]) -> None:
        """Appends an i64 column: the year, month or day of each YYYY-MM-DD text in `source`.

        A null date gives a null; any other text raises ValueError and adds nothing.
        """

    def height(self) -> int:
        """The number of rows."""

    def width(self) -> int:
        """The number of columns."""

    def names(self) -> list[str]:
        """The column names, in order."""

    def dtypes(self) -> list[str]:
        """Each column's dtype, "i64", "f64" or "str", in column order."""

    def select(self, names: Sequence[str]) -> Frame:
        """The named columns, in the order given."""

    def head(self, n: SupportsIndex) -> Frame:
        """The first `n` rows; all but the last `-n` when `n` is negative."""

    def tail(self, n: SupportsIndex) -> Frame:
        """The last `n` rows; all but the first `-n` when `n` is negative."""

    def sort(self, name: str, descending: bool) -> Frame:
        """The rows ordered by one column, stably; nulls last and f64 NaN just before them, both ways.

        Texts compare by their UTF-8 bytes.
        """

    def where_eq(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell equals the number (compared exactly; nulls never pass)."""

    def where_ne(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell differs from the number; NaN differs from all, nulls never pass."""

    def where_lt(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell is less than the number."""

    def where_le(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell is at most the number."""

    def where_gt(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell is greater than the number."""

    def where_ge(self, name: str, value: SupportsFloat | SupportsIndex) -> Frame:
        """The rows whose i64 or f64 cell is at least the number."""

    def where_among(self, name: str, values: Sequence[SupportsFloat | SupportsIndex]) -> Frame:
        """The rows whose i64 or f64 cell equals one of the numbers."""

    def where_is(self, name: str, value: str) -> Frame:
        """The rows whose str cell has exactly the bytes of `value`."""

    def where_in(self, name: str, values: Sequence[str]) -> Frame:
        """The rows whose str cell has exactly the bytes of one of `values`."""

    def group(self, names: Sequence[str]) -> Grouped:
        """The rows split by the values of the named columns; groups in order of first appearance."""

    def floats(self, name: str) -> list[float | None]:
        """An f64 column, in row order; None for a null."""

    def ints(self, name: str) -> list[int | None]:
        """An i64 column, in row order; None for a null."""

    def strings(self, name: str) -> list[str | None]:
        """A str column, in row order; None for a null."""

    def to_csv(self) -> str:
        """The frame as CSV text that read_csv reads back; every line ends with LF."""

    def describe(self) -> str:
        """'Frame({height} rows: {name} {dtype}, ...)', as repr() and str() give it."""

    def __repr__(self) -> str: ...
    def free(self) -> None:
        """Nothing under CPython, which frees the object itself; in a page, the instance goes back to the library."""

    def where_null(self, name: str) -> Frame:
        """The rows whose cell, of any dtype, is null."""

    def where_not_null(self, name: str) -> Frame:
        """The rows whose cell, of any dtype, is not null."""

    def where_starts_with(self, name: str, text: str) -> Frame:
        """The rows whose str cell begins with the bytes of `text`; nulls never pass."""

    def where_ends_with(self, name: str, text: str) -> Frame:
        """The rows whose str cell ends with the bytes of `text`; nulls never pass."""

    def where_contains(self, name: str, text: str) -> Frame:
        """The rows whose str cell holds the bytes of `text` somewhere; nulls never pass."""

    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object:
        """The frame as an Arrow C stream (a PyCapsule), for pyarrow, polars, pandas, DuckDB and the like.

        One nullable field per column: i64 as int64, f64 as float64, str as large_utf8 (utf8
        when `requested_schema` asks for it and the texts fit). Without a row selection the
        arrays share the columns' memory; with one, rows are gathered batch by batch as they
        are read. Unlike the other methods it may be called from any thread.
        """

    @classmethod
    def from_arrow(cls, data: _ArrowStream | _ArrowArray) -> Frame:
        """A new frame holding a copy of Arrow data: a pyarrow Table, RecordBatch or reader, a
        polars or pandas DataFrame, a DuckDB relation, a Frame.

        Integers become i64, floats f64, texts (dictionary-encoded too) str, and a column of
        the null type an i64 column of nulls. Other types raise TypeError, malformed data or
        text that is not UTF-8 raises ValueError naming the column and row.
        """

    def sort_by(self, names: Sequence[str], descending: bool | Sequence[bool]) -> Frame:
        """The rows ordered by several columns, stably: the first decides, each next breaks ties.

        `descending` is one bool for every column or one per name. Each column orders as
        sort orders it: nulls last and f64 NaN just before them, both ways; texts by bytes.
        """

    def join(self, other: Frame, on: Sequence[str], how: Literal["inner", "left", "full", "semi", "anti"]) -> Frame:
        """This frame joined with `other` on the key columns `on`, by a hash table on `other`.

        Keys are equal as group finds them, but a null key matches nothing. "inner", "left"
        and "full" give this frame's columns, then other's non-key ones: each row in order,
        followed by its matches in other's order; "left" keeps a row without matches with
        nulls, "full" also adds other's unmatched rows at the end. "semi" keeps the rows
        that match, "anti" those that do not, with this frame's columns only.
        """

    def unique(self, names: Sequence[str]) -> Frame:
        """The first row of each distinct combination of the named columns (all when empty), in order."""

    def concat(self, other: Frame) -> Frame:
        """This frame's rows, then other's; both must have the same names and dtypes in the same order."""

    def rename(self, old: str, new: str) -> Frame:
        """The frame with column `old` called `new`, sharing its values."""

@final
class Grouped:
    """A frame split by the values of some columns; each aggregation is a `Frame` with the key
    columns first, one row per group."""

    def groups(self) -> int:
        """The number of groups."""

    def count(self) -> Frame:
        """The rows of each group, nulls included, in a column "count" ("len" when a key is named "count")."""

    def sum(self, name: str) -> Frame:
        """The sum of each group's i64 or f64 values, nulls skipped; 0 for none.

        An i64 sum is exact and raises ValueError on overflow; an f64 sum is compensated.
        """

    def mean(self, name: str) -> Frame:
        """The f64 mean of each group's i64 or f64 values, nulls skipped; null for none."""

    def min(self, name: str) -> Frame:
        """The least value of each group, nulls skipped; null for none. Texts compare by bytes."""

    def max(self, name: str) -> Frame:
        """The greatest value of each group, nulls skipped; null for none. Texts compare by bytes."""

    def describe(self) -> str:
        """'Grouped({groups} groups by {key}, ...)', as repr() and str() give it."""

    def __repr__(self) -> str: ...
    def free(self) -> None:
        """Nothing under CPython, which frees the object itself; in a page, the instance goes back to the library."""

    def agg(self, specs: Sequence[tuple[str, str, str] | tuple[str, Literal["count"]]]) -> Frame:
        """Several aggregations in one pass: the key columns, then a column per spec, in order.

        A spec is (name, operation, column), the operation one of "sum", "mean", "min", "max",
        "median", "var", "std", "first", "last", "n_unique", or (name, "count"). Errors give
        the failing spec's position, from 0.
        """

    def median(self, name: str) -> Frame:
        """The f64 median of each group's i64 or f64 values, the mean of the two middle ones rounded once; null for none."""

    def var(self, name: str) -> Frame:
        """The f64 sample variance (divided by n - 1) of each group's i64 or f64 values; null for fewer than two."""

    def std(self, name: str) -> Frame:
        """The f64 sample standard deviation of each group's i64 or f64 values; null for fewer than two."""

    def first(self, name: str) -> Frame:
        """The first value of each group in row order, nulls skipped; null for none."""

    def last(self, name: str) -> Frame:
        """The last value of each group in row order, nulls skipped; null for none."""

    def n_unique(self, name: str) -> Frame:
        """The number of distinct values of each group, nulls skipped, equal as grouping decides."""
