"""The module's public names, its classes and their documentation."""

import inspect

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


@pytest.mark.parametrize(
    "method, signature",
    [
        ("add_floats", "($self, name, values)"),
        ("add_ints", "($self, name, values)"),
        ("add_strings", "($self, name, values)"),
        ("height", "($self)"),
        ("width", "($self)"),
        ("names", "($self)"),
        ("dtypes", "($self)"),
        ("select", "($self, names)"),
        ("head", "($self, n)"),
        ("tail", "($self, n)"),
        ("floats", "($self, name)"),
        ("ints", "($self, name)"),
        ("strings", "($self, name)"),
        ("to_csv", "($self)"),
        ("free", "($self)"),
    ],
)
def test_frame_method_signatures(method, signature):
    function = getattr(quorvel.Frame, method)
    assert function.__text_signature__ == signature
    assert function.__doc__ == (FREE_DOC if method == "free" else None)
    parameters = list(inspect.signature(function).parameters)
    assert parameters == [p.strip().lstrip("$") for p in signature.strip("()").split(",")]


FRAME_METHODS = [
    "add_floats", "add_ints", "add_strings", "add_date_part", "height", "width", "names", "dtypes",
    "select", "head", "tail", "sort", "where_eq", "where_ne", "where_lt", "where_le", "where_gt",
    "where_ge", "where_among", "where_is", "where_in", "group", "floats", "ints", "strings",
    "to_csv", "describe", "free",
]  # fmt: skip
GROUPED_METHODS = ["groups", "count", "sum", "mean", "min", "max", "describe", "free"]


@pytest.mark.parametrize("cls, table", [(quorvel.Frame, FRAME_METHODS), (quorvel.Grouped, GROUPED_METHODS)])
def test_method_table_order(cls, table):
    # The class dictionary keeps the order of the method table.
    methods = [name for name in vars(cls) if not name.startswith("_")]
    assert methods == [name for name in table if name in methods]


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
