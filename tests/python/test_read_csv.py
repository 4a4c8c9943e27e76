import csv
import io
import json
import math
import pathlib
import re
import struct

import pytest
from hypothesis import given, settings, strategies as st

import quorvel
from conftest import python_memory_growth

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"


def columns(frame):
    """{name: (dtype, cells)} of a frame, cells read back with the reader of their dtype."""
    read = {"i64": frame.ints, "f64": frame.floats, "str": frame.strings}
    return {name: (dtype, read[dtype](name)) for name, dtype in zip(frame.names(), frame.dtypes())}


def float_bits(x):
    return struct.pack("<d", x)


def test_module_function_surface():
    assert quorvel.__all__ == ["read_csv", "Frame", "Grouped"]
    assert quorvel.read_csv.__module__ == "quorvel"
    assert quorvel.read_csv.__name__ == "read_csv"
    assert quorvel.read_csv.__text_signature__ == "(text)"
    assert columns(quorvel.read_csv(text="a\n1\n")) == {"a": ("i64", [1])}


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: quorvel.read_csv(), TypeError, "read_csv() missing 1 required positional argument: 'text'"),
        (lambda: quorvel.read_csv("a", "b"), TypeError, "read_csv() takes 1 positional arguments but 2 were given"),
        (lambda: quorvel.read_csv(txt="a"), TypeError, "read_csv() got an unexpected keyword argument 'txt'"),
        (lambda: quorvel.read_csv("a", text="a"), TypeError, "read_csv() got multiple values for argument 'text'"),
    ],
)
def test_parameter_errors_carry_no_note(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value) == message
    assert not getattr(raised.value, "__notes__", None)


@pytest.mark.parametrize(
    "argument, error, message",
    [
        (b"a\n1\n", TypeError, "'bytes' object is not an instance of 'str'"),
        (None, TypeError, "'None' is not an instance of 'str'"),
        ("a\n\ud800\n", UnicodeEncodeError, None),
    ],
)
def test_argument_must_be_text(argument, error, message):
    with pytest.raises(error) as raised:
        quorvel.read_csv(argument)
    if message:
        assert str(raised.value) == message
    assert raised.value.__notes__ == ["while processing 'text'"]


def test_str_subclass_is_text():
    class Text(str):
        pass

    assert columns(quorvel.read_csv(Text("a\n1\n"))) == {"a": ("i64", [1])}


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "no header line"),
        ("\ufeff", "no header line"),
        ("a,b\n1\n\"x\"y,2\n", "line 3: text after a closing quote"),
        ("a,b\n\"x\ny\",1\n2,3,4\n", "line 4: 3 fields; the header has 2"),
        ("a\n\"x\n", "line 2: a quoted field is never closed"),
        ("naïve,naïve\n1,2\n", 'the frame has a column "naïve" already'),
        ("a\u200b,a\u200b\n", 'the frame has a column "a\\u{200b}" already'),
    ],
)
def test_errors_are_value_errors_with_one_message(text, message):
    with pytest.raises(ValueError) as raised:
        quorvel.read_csv(text)
    assert raised.value.args == (message,)
    assert not getattr(raised.value, "__notes__", None)


def test_non_ascii_text():
    frame = quorvel.read_csv("\ufeffcity,°C\r\nZürich,-1.5\r\n\"東京\",\"2\"\r\n\u2003x,\ufeff\r\n")
    assert columns(frame) == {
        "city": ("str", ["Zürich", "東京", "\u2003x"]),
        "°C": ("str", ["-1.5", "2", "\ufeff"]),
    }


SPECTRUM = sorted(p.stem for p in (DATA / "csv-spectrum" / "csvs").glob("*.csv") if p.stem != "location_coordinates")


@pytest.mark.parametrize("name", SPECTRUM)
def test_csv_spectrum(name):
    text = (DATA / "csv-spectrum" / "csvs" / f"{name}.csv").read_bytes().decode()
    expected = json.loads((DATA / "csv-spectrum" / "json" / f"{name}.json").read_text())
    frame = quorvel.read_csv(text)
    assert frame.names() == list(expected[0])
    assert frame.height() == len(expected)
    as_dtype = {"i64": int, "f64": float, "str": str}
    for column, (dtype, cells) in columns(frame).items():
        assert cells == [as_dtype[dtype](record[column]) for record in expected], column


def reference_columns(text):
    """The columns the reader must produce for a text without quotes, worked out with the
    csv module and Python's own int() and float()."""
    records = [row for row in csv.reader(io.StringIO(text)) if row]
    header, rows = records[0], records[1:]
    result = {}
    for i, name in enumerate(header):
        fields = [row[i] for row in rows]
        present = [f for f in fields if f != ""]
        for dtype, convert in (("i64", int), ("f64", float), ("str", str)):
            try:
                if dtype != "str" and not all(re.fullmatch(r"[+-]?[0-9.eE]+", f) for f in present):
                    raise ValueError
                result[name] = (dtype, [convert(f) if f != "" else None for f in fields])
                break
            except ValueError:
                continue
    return result


@pytest.mark.parametrize("name", ["titanic", "penguins"])
def test_datasets_with_missing_values(name):
    text = (DATA / f"{name}.csv").read_text()
    frame = quorvel.read_csv(text)
    assert columns(frame) == reference_columns(text)
    assert frame.height() == text.count("\n") - 1


def test_titanic_dtypes_and_nulls():
    frame = quorvel.read_csv((DATA / "titanic.csv").read_text())
    assert dict(zip(frame.names(), frame.dtypes())) == {
        "survived": "i64", "pclass": "i64", "sex": "str", "age": "f64", "sibsp": "i64", "parch": "i64",
        "fare": "f64", "embarked": "str", "class": "str", "who": "str", "adult_male": "str", "deck": "str",
        "embark_town": "str", "alive": "str", "alone": "str",
    }
    assert frame.floats("age").count(None) == 177
    assert frame.strings("deck").count(None) == 688


def test_failed_and_successful_reads_do_not_leak():
    text = "a,b,c\n1,x,2.5\n,\"q\"\"\",\n" * 50
    assert python_memory_growth(lambda: quorvel.read_csv(text)) < 10_000

    def failing():
        with pytest.raises(ValueError):
            quorvel.read_csv(text + "\"open")

    assert python_memory_growth(failing) < 10_000


# The float grammar, written out independently as an oracle.
FLOAT = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?|[+-](inf|infinity|nan)", re.IGNORECASE)

digits = st.text("0123456789", max_size=25)
float_texts = st.builds(
    lambda sign, whole, point, fraction, exponent: sign + whole + point + fraction + exponent,
    st.sampled_from(["", "+", "-"]),
    digits,
    st.sampled_from(["", "."]),
    digits,
    st.one_of(st.just(""), st.builds("{}{}{}".format, st.sampled_from("eE"), st.sampled_from(["", "+", "-"]),
                                     st.integers(0, 400).map(str))),
)
words = st.builds(
    lambda sign, word: sign + "".join(c.upper() if u else c for c, u in zip(word, [True, False] * 4)),
    st.sampled_from(["", "+", "-"]),
    st.sampled_from(["inf", "infinity", "nan", "in", "infinit", "nana"]),
)
near_misses = st.text("0123456789+-.eEinfaINFA x_", min_size=1, max_size=12)


@settings(max_examples=1500, deadline=None)
@given(st.one_of(float_texts, words, near_misses))
def test_float_test_agrees_with_python(text):
    # A second row 0.5 moves any integer column to the float pass.
    frame = quorvel.read_csv(f"x\n{text}\n0.5\n")
    if text == "":
        assert columns(frame) == {"x": ("f64", [0.5])}  # the line was blank
    elif FLOAT.fullmatch(text):
        assert frame.dtypes() == ["f64"], text
        value = frame.floats("x")[0]
        expected = float(text)
        assert float_bits(value) == float_bits(expected) or (math.isnan(value) and math.isnan(expected)), text
    else:
        assert columns(frame) == {"x": ("str", [text, "0.5"])}


@settings(max_examples=500, deadline=None)
@given(st.integers(-(2**70), 2**70), st.sampled_from(["", "0", "000"]), st.sampled_from(["", "+"]))
def test_integer_test_agrees_with_python(value, zeros, plus):
    text = ("-" if value < 0 else plus) + zeros + str(abs(value))
    frame = quorvel.read_csv(f"x\n{text}\n")
    if -(2**63) <= value < 2**63:
        assert columns(frame) == {"x": ("i64", [value])}
    else:
        assert columns(frame) == {"x": ("f64", [float(value)])}
