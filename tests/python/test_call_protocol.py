"""How every call is matched, converted, borrowed and checked for its thread."""

import gc
import sys

import pytest

import quorvel
from conftest import on_other_thread, python_memory_growth


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value


# Parameter matching ------------------------------------------------------------------------


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda f: f.head(1, 2), "Frame.head() takes 1 positional arguments but 2 were given"),
        (lambda f: f.add_ints("a", [], 3), "Frame.add_ints() takes 2 positional arguments but 3 were given"),
        (lambda f: quorvel.Frame(1), "Frame.__new__() takes 0 positional arguments but 1 was given"),
        (lambda f: quorvel.Frame(1, 2), "Frame.__new__() takes 0 positional arguments but 2 were given"),
        (lambda f: quorvel.Frame(x=1), "Frame.__new__() got an unexpected keyword argument 'x'"),
        (lambda f: f.head(1, n=2), "Frame.head() got multiple values for argument 'n'"),
        (lambda f: f.ints(name="i", name2="j"), "Frame.ints() got an unexpected keyword argument 'name2'"),
        (lambda f: f.head(m=1), "Frame.head() got an unexpected keyword argument 'm'"),
        (lambda f: f.add_ints(values=[1]), "Frame.add_ints() missing 1 required positional argument: 'name'"),
        (lambda f: f.add_ints(), "Frame.add_ints() missing 2 required positional arguments: 'name' and 'values'"),
        (lambda f: f.ints(), "Frame.ints() missing 1 required positional argument: 'name'"),
        (lambda f: f.select(), "Frame.select() missing 1 required positional argument: 'names'"),
    ],
)
def test_parameter_matching_messages(frame, call, message):
    error = raised(lambda: call(frame))
    assert type(error) is TypeError
    assert error.args == (message,)
    assert not hasattr(error, "__notes__")


def test_arguments_by_keyword_in_any_order(frame):
    frame.add_ints(values=[7, 8, 9], name="k")
    assert frame.ints(name="k") == [7, 8, 9]
    assert frame.head(n=1).ints("k") == [7]


def test_no_argument_methods_refuse_arguments(frame):
    with pytest.raises(TypeError):
        frame.height(1)
    with pytest.raises(TypeError):
        frame.names(x=1)


# Argument conversion ----------------------------------------------------------------------


def conversion_error(call, argument):
    error = raised(call)
    assert error.__notes__ == [f"while processing '{argument}'"]
    return error


@pytest.mark.parametrize(
    "call, argument, exception, message",
    [
        (lambda f: f.ints(5), "name", TypeError, "'int' object is not an instance of 'str'"),
        (lambda f: f.ints(None), "name", TypeError, "'None' is not an instance of 'str'"),
        (lambda f: f.ints(b"i"), "name", TypeError, "'bytes' object is not an instance of 'str'"),
        (lambda f: f.add_ints("n", "123"), "values", TypeError, "Can't extract `str` to `Vec`"),
        (lambda f: f.add_ints("n", {1, 2, 3}), "values", TypeError, "'set' object is not an instance of 'Sequence'"),
        (lambda f: f.add_ints("n", {1: 1}), "values", TypeError, "'dict' object is not an instance of 'Sequence'"),
        (lambda f: f.add_ints("n", iter([1, 2, 3])), "values", TypeError,
         "'list_iterator' object is not an instance of 'Sequence'"),
        (lambda f: f.add_ints("n", (i for i in [1])), "values", TypeError,
         "'generator' object is not an instance of 'Sequence'"),
        (lambda f: f.add_strings("n", ["a", None, "c"]), "values", TypeError, "'None' is not an instance of 'str'"),
        (lambda f: f.add_strings("n", ["a", 2, "c"]), "values", TypeError, "'int' object is not an instance of 'str'"),
        (lambda f: f.select("i"), "names", TypeError, "Can't extract `str` to `Vec`"),
        (lambda f: f.head(2**64), "n", OverflowError, None),
        (lambda f: f.head("3"), "n", TypeError, None),
        (lambda f: f.head(1.0), "n", TypeError, None),
        (lambda f: f.add_ints("n", [1, 2.5, 3]), "values", TypeError, None),
        (lambda f: f.add_ints("n", [1, 2, 2**63]), "values", OverflowError, None),
        (lambda f: f.add_floats("n", [1, 2, 10**400]), "values", OverflowError, None),
        (lambda f: f.add_floats("n", [1, 2, "3"]), "values", TypeError, None),
        (lambda f: f.ints("\ud800"), "name", UnicodeEncodeError, None),
    ],
)
def test_conversion_errors_carry_a_note(frame, call, argument, exception, message):
    error = conversion_error(lambda: call(frame), argument)
    assert type(error) is exception
    if message is not None:
        assert error.args == (message,)
    assert frame.names() == ["i", "f", "s"]


def test_first_failing_argument_decides(frame):
    error = conversion_error(lambda: frame.add_ints(1, "not a list"), "name")
    assert error.args == ("'int' object is not an instance of 'str'",)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Real:
    def __float__(self):
        return 0.25


class Text(str):
    pass


def test_integer_and_number_protocols(frame):
    assert frame.head(True).ints("i") == [3]
    assert frame.head(Index(2)).ints("i") == [3, 1]
    f = quorvel.Frame()
    f.add_ints("a", [True, False, Index(-5)])
    f.add_floats("b", (1, 2.5, Real()))
    f.add_strings(Text("c"), [Text("x"), "y", "z"])
    assert f.ints("a") == [1, 0, -5]
    assert f.floats("b") == [1.0, 2.5, 0.25]
    assert f.names() == ["a", "b", "c"] and f.strings("c") == ["x", "y", "z"]


def test_any_sequence_is_a_list(frame):
    f = quorvel.Frame()
    f.add_ints("bytes", b"ab")
    f.add_ints("range", range(5, 7))
    f.add_floats("tuple", (1, 2.5))
    assert (f.ints("bytes"), f.ints("range"), f.floats("tuple")) == ([97, 98], [5, 6], [1.0, 2.5])


class Exploding:
    """A sequence whose iteration fails part way."""

    def __len__(self):
        return 3

    def __getitem__(self, index):
        if index == 1:
            raise KeyError("boom")
        return 1


class LyingLength:
    """A sequence that claims to be huge and cannot tell its length."""

    def __init__(self, length_error):
        self.length_error = length_error

    def __len__(self):
        if self.length_error:
            raise RuntimeError("no length")
        return 2**62

    def __getitem__(self, index):
        if index >= 2:
            raise IndexError
        return index


def test_exceptions_of_the_argument_pass_unchanged(frame):
    error = conversion_error(lambda: frame.add_ints("n", Exploding()), "values")
    assert type(error) is KeyError and error.args == ("boom",)
    assert frame.names() == ["i", "f", "s"]


@pytest.mark.parametrize("length_error", [False, True])
def test_reported_length_only_sizes_the_result(length_error):
    f = quorvel.Frame()
    f.add_ints("a", LyingLength(length_error))
    assert f.ints("a") == [0, 1]


def test_engine_errors_have_no_note(frame):
    error = raised(lambda: frame.ints("missing"))
    assert type(error) is ValueError
    assert error.args == ('no column "missing" (the frame has "i", "f", "s")',)
    assert not hasattr(error, "__notes__")


# Borrows ----------------------------------------------------------------------------------


class CallsBack:
    """A sequence whose item access calls back into a frame."""

    def __init__(self, callback, items=("i", "f", "s")):
        self.callback = callback
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        item = self.items[index]
        self.callback()
        return item


def test_reading_the_frame_while_it_adds_a_column(frame):
    error = conversion_error(lambda: frame.add_ints("n", CallsBack(frame.height, (1, 2, 3))), "values")
    assert type(error) is RuntimeError and error.args == ("Already mutably borrowed",)
    assert frame.names() == ["i", "f", "s"]
    assert frame.height() == 3, "the borrow is released after the failure"


def test_adding_to_the_frame_while_it_is_read(frame):
    error = conversion_error(lambda: frame.select(CallsBack(lambda: frame.add_ints("n", [1, 2, 3]))), "names")
    assert type(error) is RuntimeError and error.args == ("Already borrowed",)
    frame.add_ints("n", [1, 2, 3])
    assert frame.names() == ["i", "f", "s", "n"]


def test_shared_borrows_nest(frame):
    seen = []
    picked = frame.select(CallsBack(lambda: seen.append(frame.ints("i")), ("s", "i")))
    assert picked.names() == ["s", "i"]
    assert seen == [[3, 1, 2], [3, 1, 2]]
    frame.add_ints("n", [1, 2, 3])  # every shared borrow was released


# Threads ----------------------------------------------------------------------------------


@pytest.mark.parametrize("method", ["width", "free", "names"])
def test_use_from_another_thread_panics(frame, method):
    error = on_other_thread(getattr(frame, method))["error"]
    assert not isinstance(error, Exception) and isinstance(error, BaseException)
    assert type(error).__name__ == "PanicException"
    assert "quorvel::api::Frame is unsendable, but sent to another thread" in str(error)
    assert frame.width() == 3, "the owner thread still uses it"


def test_panic_is_not_caught_by_except_exception(frame):
    def catch_exception():
        try:
            frame.height()
        except Exception:
            return "caught"

    error = on_other_thread(catch_exception)["error"]
    assert "unsendable" in str(error)
    panic = type(error)
    assert panic.__bases__ == (BaseException,)
    assert "BaseException" in panic.__doc__ and "native code fails" in panic.__doc__
    assert type(on_other_thread(frame.width)["error"]) is panic, "the class is made once"


def test_frames_made_on_another_thread_belong_to_it(monkeypatch):
    def build():
        f = quorvel.Frame()
        f.add_ints("a", [1, 2])
        return f.ints("a"), f

    made = on_other_thread(build)
    values, foreign = made.pop("value")
    assert values == [1, 2]
    try:
        foreign.height()
    except BaseException as error:
        assert "unsendable" in str(error)
    else:
        pytest.fail("no panic")
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    del foreign, made
    assert [str(report.exc_value) for report in reports] == [
        "quorvel::api::Frame is unsendable, but is being dropped on another thread"
    ]


def test_dropping_on_another_thread_is_reported(monkeypatch):
    gc.collect()
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    box = [quorvel.Frame()]
    box[0].add_ints("a", [1, 2, 3])
    on_other_thread(box.clear)
    assert len(reports) == 1
    assert type(reports[0].exc_value) is RuntimeError
    assert str(reports[0].exc_value) == "quorvel::api::Frame is unsendable, but is being dropped on another thread"


# References -------------------------------------------------------------------------------


def test_calls_keep_no_references_to_arguments_or_results(frame):
    name, values, names = "fresh", [10, 20, 30], ["s", "i"]
    counts = [sys.getrefcount(name), sys.getrefcount(values), sys.getrefcount(names)]
    for _ in range(100):
        g = frame.head(3)
        g.add_ints(name, values)
        g.select(names)
        with pytest.raises(ValueError):
            g.add_ints(name, values)
    assert [sys.getrefcount(name), sys.getrefcount(values), sys.getrefcount(names)] == counts
    result = frame.strings("s")
    assert sys.getrefcount(result) == 2
    assert all(sys.getrefcount(item) <= 3 for item in frame.floats("f"))


@pytest.mark.parametrize(
    "call",
    [
        lambda f: f.strings("s"),
        lambda f: f.floats("f"),
        lambda f: f.names(),
        lambda f: f.tail(2).select(["s"]),
        lambda f: raised(lambda: f.ints("missing")),
        lambda f: raised(lambda: f.add_ints("n", [1, "x"])),
        lambda f: raised(lambda: f.head(1, 2)),
    ],
)
def test_repeated_calls_do_not_grow_memory(frame, call):
    assert python_memory_growth(lambda: call(frame)) < 10_000


# Flags ------------------------------------------------------------------------------------


def numpy_style(type_name, bool_method):
    """A class that looks like numpy's boolean scalar type to the flag conversion."""
    namespace = {"__module__": "numpy"}
    if bool_method is not None:
        namespace["__bool__"] = bool_method
    return type(type_name, (), namespace)()


@pytest.mark.parametrize("type_name", ["bool_", "bool"])
@pytest.mark.parametrize("flag", [True, False])
def test_numpy_style_flags_are_asked_for_their_truth(frame, type_name, flag):
    expected = frame.sort("i", flag).ints("i")
    assert frame.sort("i", numpy_style(type_name, lambda self: flag)).ints("i") == expected


def test_flags_are_only_true_and_false(frame):
    for value in (1, 0, 1.0, "yes", None):
        error = conversion_error(lambda: frame.sort("i", value), "descending")
        assert type(error) is TypeError
        expected = "'None' is not an instance of 'bool'" if value is None else (
            f"'{type(value).__name__}' object is not an instance of 'bool'"
        )
        assert error.args == (expected,)
    imposter = type("bool_", (), {"__module__": "not_numpy", "__bool__": lambda self: True})()
    assert type(conversion_error(lambda: frame.sort("i", imposter), "descending")) is TypeError


def test_numpy_style_flag_failures(frame):
    class Boom(Exception):
        pass

    def explode(self):
        raise Boom

    error = conversion_error(lambda: frame.sort("i", numpy_style("bool_", explode)), "descending")
    assert type(error) is Boom

    error = conversion_error(lambda: frame.sort("i", numpy_style("bool_", lambda self: 1)), "descending")
    assert error.args == ("'int' object is not an instance of 'bool'",)

    error = conversion_error(lambda: frame.sort("i", numpy_style("bool_", None)), "descending")
    assert error.args == ("object of type 'bool_' does not define a '__bool__' conversion",)
