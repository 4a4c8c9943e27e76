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
    """{name: (dtype, cells)} of a frame."""
    read = {"i64": frame.ints, "f64": frame.floats, "str": frame.strings}
    return {name: (dtype, read[dtype](name)) for name, dtype in zip(frame.names(), frame.dtypes())}


def test_module_function():
    assert (quorvel.read_csv.__module__, quorvel.read_csv.__text_signature__) == ("quorvel", "(text)")
    assert columns(quorvel.read_csv(text="a\n1\n")) == {"a": ("i64", [1])}


@pytest.mark.parametrize(
    "args, kwargs, error, message, note",
    [
        ((), {}, TypeError, "read_csv() missing 1 required positional argument: 'text'", None),
        (("a", "b"), {}, TypeError, "read_csv() takes 1 positional arguments but 2 were given", None),
        (("a",), {"text": "a"}, TypeError, "read_csv() got multiple values for argument 'text'", None),
        ((b"a\n",), {}, TypeError, "'bytes' object is not an instance of 'str'", "text"),
        ((None,), {}, TypeError, "'None' is not an instance of 'str'", "text"),
        (("a\n\ud800\n",), {}, UnicodeEncodeError, None, "text"),
        (("a\n\"x\"y\n",), {}, ValueError, "line 2: text after a closing quote", None),
        (("é,é\n",), {}, ValueError, 'the frame has a column "é" already', None),
    ],
)
def test_failures(args, kwargs, error, message, note):
    with pytest.raises(error) as raised:
        quorvel.read_csv(*args, **kwargs)
    if message is not None:
        assert raised.value.args == (message,)
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)


def test_text_beyond_ascii():
    frame = quorvel.read_csv('\ufeffcity,°C\r\nZürich,-1.5\r\n"東京","2"\r\n\u2003x,\ufeff\r\n')
    assert columns(frame) == {"city": ("str", ["Zürich", "東京", "\u2003x"]), "°C": ("str", ["-1.5", "2", "\ufeff"])}


# Upstream, location_coordinates.json does not match its CSV (see tests/data/README.md).
SPECTRUM = sorted(p.stem for p in (DATA / "csv-spectrum" / "csvs").glob("*.csv") if p.stem != "location_coordinates")


@pytest.mark.parametrize("name", SPECTRUM)
def test_csv_spectrum(name):
    frame = quorvel.read_csv((DATA / "csv-spectrum" / "csvs" / f"{name}.csv").read_bytes().decode())
    records = json.loads((DATA / "csv-spectrum" / "json" / f"{name}.json").read_text())
    assert (frame.names(), frame.height()) == (list(records[0]), len(records))
    as_dtype = {"i64": int, "f64": float, "str": str}
    for column, (dtype, cells) in columns(frame).items():
        assert cells == [as_dtype[dtype](record[column]) for record in records], column


def expected_columns(text):
    """The columns of a text without quotes, worked out with the csv module, int() and float()."""
    header, *rows = [row for row in csv.reader(io.StringIO(text)) if row]
    result = {}
    for i, name in enumerate(header):
        fields = [row[i] for row in rows]
        numeric = all(re.fullmatch(r"[+-]?[0-9.eE]+", f) for f in fields if f)
        for dtype, convert in (("i64", int), ("f64", float), ("str", str)):
            try:
                if dtype == "str" or numeric:
                    result[name] = (dtype, [convert(f) if f else None for f in fields])
                    break
            except ValueError:
                pass
    return result


@pytest.mark.parametrize("name", ["titanic", "penguins"])
def test_datasets_with_missing_values(name):
    text = (DATA / f"{name}.csv").read_text()
    assert columns(quorvel.read_csv(text)) == expected_columns(text)


def test_reading_does_not_leak():
    text = 'a,b,c\n1,x,2.5\n,"q""",\n' * 50
    assert python_memory_growth(lambda: quorvel.read_csv(text)) < 10_000
    assert python_memory_growth(lambda: pytest.raises(ValueError, quorvel.read_csv, text + '"')) < 10_000


# The float grammar written out again, as an oracle.
FLOAT = re.compile(r"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?|[+-](inf|infinity|nan)", re.IGNORECASE)
digits = st.text("0123456789", max_size=25)
signs = st.sampled_from(["", "+", "-"])
exponents = st.one_of(st.just(""), st.builds("{}{}{}".format, st.sampled_from("eE"), signs, st.integers(0, 400)))
float_texts = st.builds("{}{}{}{}{}".format, signs, digits, st.sampled_from(["", "."]), digits, exponents)
words = st.builds("{}{}".format, signs, st.sampled_from(["inf", "INFINITY", "nAn", "in", "infinit"]))
near_misses = st.text("0123456789+-.eEinfaINFA x_", min_size=1, max_size=12)


@settings(max_examples=1500, deadline=None)
@given(st.one_of(float_texts, words, near_misses))
def test_float_test_agrees_with_python(text):
    # The second row moves any integer column on to the float pass.
    frame = quorvel.read_csv(f"x\n{text}\n0.5\n")
    if FLOAT.fullmatch(text):
        value, expected = frame.floats("x")[0], float(text)
        assert struct.pack("<d", value) == struct.pack("<d", expected) or math.isnan(value) and math.isnan(expected)
    elif text:
        assert columns(frame) == {"x": ("str", [text, "0.5"])}


@settings(max_examples=300, deadline=None)
@given(st.integers(-(2**70), 2**70), st.sampled_from(["", "0", "+", "+00"]))
def test_integer_test_agrees_with_python(value, prefix):
    text = ("-" if value < 0 else prefix) + str(abs(value))
    expected = ("i64", [value]) if -(2**63) <= value < 2**63 else ("f64", [float(value)])
    assert columns(quorvel.read_csv(f"x\n{text}\n")) == {"x": expected}
