import pytest

import quorvel


def dates(*texts):
    f = quorvel.Frame()
    f.add_strings("d", list(texts))
    return f


@pytest.mark.parametrize(
    "text, parts",
    [
        ("2024-02-29", (2024, 2, 29)),
        ("0001-01-01", (1, 1, 1)),
        ("2023-02-29", None),
        ("2024-01-05 ", None),
        # Digits outside ASCII, fullwidth and Arabic-Indic: not dates, and shown as given.
        ("２０２４-01-05", None),
        ("2024-01-0٥", None),
    ],
)
def test_dates(text, parts):
    f = dates(text)
    if parts is None:
        with pytest.raises(ValueError) as raised:
            f.add_date_part("y", "d", "year")
        assert raised.value.args == (f'column "d", row 0: "{text}" is not a YYYY-MM-DD date',)
        assert f.names() == ["d"]
    else:
        for part in ("year", "month", "day"):
            f.add_date_part(part, "d", part)
        assert (f.ints("year")[0], f.ints("month")[0], f.ints("day")[0]) == parts
        assert f.dtypes() == ["str", "i64", "i64", "i64"]


@pytest.mark.parametrize(
    "name, source, part, message",
    [
        ("y", "nowhere", "Year", 'part "Year": give "year", "month" or "day"'),
        ("y", "nowhere", "week", 'part "week": give "year", "month" or "day"'),
        ("y", "nowhere", "day", 'no column "nowhere" (the frame has "d", "n")'),
        ("y", "n", "day", 'column "n" is i64, not str'),
        ("n", "d", "month", 'column "d", row 1: "2023-02-29" is not a YYYY-MM-DD date'),
        ("d", "d", "month", 'column "d", row 1: "2023-02-29" is not a YYYY-MM-DD date'),
    ],
)
def test_checks_run_in_order(name, source, part, message):
    f = dates("2024-01-05", "2023-02-29")
    f.add_ints("n", [1, 2])
    with pytest.raises(ValueError) as raised:
        f.add_date_part(name, source, part)
    assert raised.value.args == (message,)
    assert f.names() == ["d", "n"] and f.strings("d") == ["2024-01-05", "2023-02-29"]


def test_the_name_is_checked_after_every_date():
    f = dates("2024-01-05")
    with pytest.raises(ValueError) as raised:
        f.add_date_part("d", "d", "day")
    assert raised.value.args == ('the frame has a column "d" already',)


def test_rows_follow_the_frames_order():
    f = dates("2021-03-04", "1999-12-31", "bad", "2020-02-29")
    ordered = f.where_in("d", ["2021-03-04", "1999-12-31", "2020-02-29"]).sort("d", True)
    ordered.add_date_part("m", "d", "month")
    assert ordered.ints("m") == [3, 2, 12]
    assert f.names() == ["d"]
    with pytest.raises(ValueError) as raised:
        f.sort("d", False).add_date_part("y", "d", "year")
    assert raised.value.args == ('column "d", row 3: "bad" is not a YYYY-MM-DD date',)

    empty = dates("x").head(0)
    empty.add_date_part("y", "d", "year")
    assert empty.dtypes() == ["str", "i64"] and empty.ints("y") == []


@pytest.mark.parametrize(
    "call, message, note",
    [
        (lambda f: f.add_date_part("y"), "Frame.add_date_part() missing 2 required positional arguments: 'source' "
         "and 'part'", None),
        (lambda f: f.add_date_part(), "Frame.add_date_part() missing 3 required positional arguments: 'name', "
         "'source', and 'part'", None),
        (lambda f: f.add_date_part("y", "d", 1), "'int' object is not an instance of 'str'", "part"),
        (lambda f: f.add_date_part("y", None, "year"), "'None' is not an instance of 'str'", "source"),
    ],
)
def test_argument_errors(call, message, note):
    f = dates("2024-01-05")
    with pytest.raises(TypeError) as raised:
        call(f)
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)
    assert f.names() == ["d"]
