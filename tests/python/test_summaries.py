import pytest

import quorvel
from conftest import make_frame, on_other_thread


def frame_with_rows(n):
    return make_frame(a=list(range(n)))


@pytest.mark.parametrize(
    "make, text",
    [
        (quorvel.Frame, "Frame(0 rows: )"),
        (lambda: make_frame(a=[1], b=["x"]), "Frame(1 rows: a i64, b str)"),
        (lambda: make_frame(a=[1, 2, 3]).select([]), "Frame(3 rows: )"),
        (lambda: frame_with_rows(5).tail(2), "Frame(2 rows: a i64)"),  # its own height, not the storage's
        (lambda: make_frame(**{"x, y": [1.5]}), "Frame(1 rows: x, y f64)"),  # names are not escaped
        (lambda: make_frame(**{'q"\n\u0301': ["v"]}), 'Frame(1 rows: q"\n\u0301 str)'),
        (lambda: make_frame(k=["b", "a", "b", "c", "a"]).group(["k"]), "Grouped(3 groups by k)"),
        (lambda: make_frame(a=[1, 1, 2, 2], b=[1, 2, 1, 2]).group(["a", "b"]), "Grouped(4 groups by a, b)"),
        (lambda: make_frame(a=[1, 2], b=[3, 4]).group(["b", "a"]), "Grouped(2 groups by b, a)"),
        (lambda: make_frame(k=["x", "y", "x"]).group(["k"]).count(), "Frame(2 rows: k str, count i64)"),
        (lambda: frame_with_rows(4).group([]), "Grouped(1 groups by )"),
        (lambda: frame_with_rows(0).group([]), "Grouped(0 groups by )"),
        (lambda: make_frame(**{"é, \t": [1]}).group(["é, \t"]), "Grouped(1 groups by é, \t)"),
    ],
)
def test_repr_str_and_describe_give_the_summary(make, text):
    thing = make()
    assert repr(thing) == text
    assert str(thing) == text
    assert thing.describe() == text
    assert type(thing).describe.__text_signature__ == "($self)"


@pytest.mark.parametrize("make", [quorvel.Frame, lambda: quorvel.Frame().group([])])
def test_summaries_belong_to_the_owner_thread(make):
    thing = make()
    error = on_other_thread(lambda: repr(thing))["error"]
    assert type(error).__name__ == "PanicException"
    assert "is unsendable, but sent to another thread" in str(error)
