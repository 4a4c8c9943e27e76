"""The module's public names, its classes and their documentation."""

import inspect
import sys

import pytest

import quorvel

FREE_DOC = "Nothing under CPython, which frees the object itself; in a page, the instance goes back to the library."


def test_public_names_in_order():
    assert quorvel.__all__ == ["read_csv", "Frame", "Grouped"]
    for name in quorvel.__all__:
        assert getattr(quorvel, name) is not None
    assert not hasattr(quorvel, "PanicException")


@pytest.mark.parametrize("cls", [quorvel.Frame, quorvel.Grouped])
def test_classes_are_builtins_that_cannot_be_subclassed(cls):
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_frame_docstring_and_signature():
    assert quorvel.Frame.__doc__ == "A table: named columns of one length."
    assert quorvel.Frame.__text_signature__ == "()"


def test_grouped_docstring_and_no_constructor():
    assert quorvel.Grouped.__doc__ == (
        "A frame split by the values of some columns; each aggregation is a `Frame` with the key\n"
        "columns first, one row per group."
    )
    with pytest.raises(TypeError):
        quorvel.Grouped()


FRAME_METHODS = [
    "add_floats", "add_ints", "add_strings", "add_date_part", "height", "width", "names", "dtypes",
    "select", "head", "tail", "sort", "where_eq", "where_ne", "where_lt", "where_le", "where_gt",
    "where_ge", "where_among", "where_is", "where_in", "group", "floats", "ints", "strings",
    "to_csv", "describe", "free", "where_null", "where_not_null", "where_starts_with", "where_ends_with",
    "where_contains", "from_arrow", "sort_by", "join", "unique", "concat", "rename",
]  # fmt: skip
GROUPED_METHODS = [
    "groups", "count", "sum", "mean", "min", "max", "describe", "free", "agg", "median", "var", "std", "first",
    "last", "n_unique",
]  # fmt: skip
PARAMETERS = {
    "add_floats": "name, values", "add_ints": "name, values", "add_strings": "name, values",
    "add_date_part": "name, source, part", "select": "names", "group": "names", "head": "n", "tail": "n",
    "sort": "name, descending", "where_among": "name, values", "where_in": "name, values",
    "floats": "name", "ints": "name", "strings": "name",
    "sum": "name", "mean": "name", "min": "name", "max": "name",
    "sort_by": "names, descending", "join": "other, on, how", "unique": "names", "concat": "other",
    "rename": "old, new",
    "where_null": "name", "where_not_null": "name", "where_starts_with": "name, text", "where_ends_with": "name, text",
    "where_contains": "name, text", "agg": "specs", "median": "name", "var": "name", "std": "name", "first": "name",
    "last": "name", "n_unique": "name",
    **{f"where_{op}": "name, value" for op in ("eq", "ne", "lt", "le", "gt", "ge", "is")},
}  # fmt: skip


@pytest.mark.parametrize(
    "cls, method",
    [(quorvel.Frame, m) for m in FRAME_METHODS if m != "from_arrow"] + [(quorvel.Grouped, m) for m in GROUPED_METHODS],
)
def test_method_signatures_and_docstrings(cls, method):
    function = getattr(cls, method)
    parameters = PARAMETERS.get(method)
    assert function.__text_signature__ == (f"($self, {parameters})" if parameters else "($self)")
    assert function.__doc__ == (FREE_DOC if method == "free" else None)
    assert list(inspect.signature(function).parameters) == ["self"] + (parameters.split(", ") if parameters else [])


def test_arrow_methods_signatures():
    assert quorvel.Frame.from_arrow.__self__ is quorvel.Frame
    assert quorvel.Frame.from_arrow.__text_signature__ == "($type, data)"
    assert list(inspect.signature(quorvel.Frame.from_arrow).parameters) == ["data"]
    stream = quorvel.Frame.__arrow_c_stream__
    assert stream.__text_signature__ == "($self, requested_schema=None)"
    assert inspect.signature(stream).parameters["requested_schema"].default is None
    assert (quorvel.Frame.from_arrow.__doc__, stream.__doc__) == (None, None)


def test_read_csv_is_a_module_function():
    assert quorvel.read_csv.__module__ == "quorvel"
    assert quorvel.read_csv.__self__ is quorvel
    assert quorvel.read_csv.__text_signature__ == "(text)"
    assert quorvel.read_csv.__doc__ is None


@pytest.mark.parametrize("cls, table", [(quorvel.Frame, FRAME_METHODS), (quorvel.Grouped, GROUPED_METHODS)])
def test_method_table_order(cls, table):
    # The class dictionary keeps the order of the method table.
    methods = [name for name in vars(cls) if not name.startswith("_")]
    assert methods == table


def test_instances_take_no_attributes():
    f = quorvel.Frame()
    with pytest.raises(AttributeError):
        f.extra = 1
    assert not hasattr(f, "__dict__")
    with pytest.raises(TypeError):
        __import__("weakref").ref(f)


def test_free_does_nothing():
    f = quorvel.Frame()
    f.add_ints("a", [1])
    assert f.free() is None
    assert f.ints("a") == [1]


# Python 3.13 can make such an interpreter; a module built for it declares that it refuses.
@pytest.mark.skipif(sys.version_info < (3, 13), reason="no sub-interpreters with a lock of their own")
def test_a_sub_interpreter_with_its_own_lock_cannot_import_it():
    import _interpreters

    interpreter = _interpreters.create()  # isolated: its own interpreter lock
    try:
        failure = _interpreters.run_string(interpreter, "import quorvel")
    finally:
        _interpreters.destroy(interpreter)
    assert failure.type.__name__ == "ImportError"
    assert failure.msg == "module quorvel does not support loading in subinterpreters"
