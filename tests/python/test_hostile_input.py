"""CSV text built to hurt, through read_csv and to_csv: very deep quoting, very many columns
or blank lines, one huge field, odd line ends, NUL and other invisible characters, and text
that cannot be encoded. Each gives the right frame or the designed error."""

import pytest

import quorvel


def value_error(text):
    with pytest.raises(ValueError) as raised:
        quorvel.read_csv(text)
    return raised.value.args


PAIRS = 1_000_000
QUOTES = '""' * PAIRS


def test_a_million_doubled_quotes():
    text = 'a\n"' + QUOTES + '"\n'
    frame = quorvel.read_csv(text)
    assert frame.strings("a") == ['"' * PAIRS]
    assert frame.to_csv() == text


@pytest.mark.parametrize(
    "tail, message",
    [
        ("\n", "line 2: a quoted field is never closed"),
        ("", "line 2: a quoted field is never closed"),
        ('"x\n', "line 2: text after a closing quote"),
        ('",1\n', "line 2: 2 fields; the header has 1"),
    ],
)
def test_a_million_doubled_quotes_then_an_error(tail, message):
    assert value_error('a\n"' + QUOTES + tail) == (message,)


def test_hundreds_of_thousands_of_columns():
    width = 200_000
    names = [f"c{i}" for i in range(width)]
    header = ",".join(names)
    row = ",".join(str(i % 10) for i in range(width))
    text = f"{header}\n{row}\n{row}\n"
    frame = quorvel.read_csv(text)
    assert (frame.names(), frame.height(), set(frame.dtypes())) == (names, 2, {"i64"})
    assert frame.ints(names[-1]) == [(width - 1) % 10] * 2
    assert frame.to_csv() == text
    assert value_error(f"{header},c{width // 2}\n") == (f'the frame has a column "c{width // 2}" already',)
    assert value_error(f"{header}\n{row},0\n") == (f"line 2: {width + 1} fields; the header has {width}",)


@pytest.mark.parametrize("letter", ["x", "é", "😀"])
def test_one_huge_field(letter):
    size = 30_000_000 // len(letter.encode())
    field = letter * size
    text = f"a,b\n{field},1\n"
    frame = quorvel.read_csv(text)
    assert frame.ints("b") == [1]
    assert frame.strings("a") == [field]
    assert frame.to_csv() == text


@pytest.mark.parametrize("end", ["\n", "\r", "\r\n"])
def test_a_million_blank_lines(end):
    blanks = 1_000_000
    run = end * blanks
    start = f"{run}a,b{end}{run}1,2{end}{run}"
    assert quorvel.read_csv(f"{start}3,4{end}{run}").ints("b") == [2, 4]
    assert value_error(f"{start}3{end}") == (f"line {3 * blanks + 3}: 1 fields; the header has 2",)
    assert value_error(run) == ("no header line",)


@pytest.mark.parametrize(
    "text, cells",
    [
        ("a,b\r1,2\n3,4\r\n5,6", [2, 4, 6]),
        ("a,b\r\r\n\n\r1,2\r", [2]),
        ('a,b\r"x\ry",1\r2\r', ("line 3: 1 fields; the header has 2",)),
        ('a,b\r"x\ny",1\r2\r', ("line 4: 1 fields; the header has 2",)),
        ('a,b\r\n"x\r\n",1\r\n"z"q,2\r\n', ("line 4: text after a closing quote",)),
    ],
)
def test_mixed_line_ends(text, cells):
    if isinstance(cells, tuple):
        assert value_error(text) == cells
    else:
        assert quorvel.read_csv(text).ints("b") == cells


def test_nul_and_control_characters():
    text = "\0a,b\n\0,x\0y\n\x01,\x7f\n"
    frame = quorvel.read_csv(text)
    assert frame.names() == ["\0a", "b"]
    assert (frame.strings("\0a"), frame.strings("b")) == (["\0", "\x01"], ["x\0y", "\x7f"])
    assert frame.to_csv() == text
    with pytest.raises(ValueError) as raised:
        frame.strings("\0\x01\x7f")
    assert raised.value.args == ('no column "\\0\\u{1}\\u{7f}" (the frame has "\\0a", "b")',)


def test_invisible_characters_in_names_are_shown_escaped():
    # Only the leading byte-order mark is dropped; the second one is part of the name.
    frame = quorvel.read_csv("\ufeff\ufeffa,e\u0301,\u200b,\u2028\n1,2,3,4\n")
    assert frame.names() == ["\ufeffa", "e\u0301", "\u200b", "\u2028"]
    with pytest.raises(ValueError) as raised:
        frame.ints("x")
    assert raised.value.args == ('no column "x" (the frame has "\\u{feff}a", "e\\u{301}", "\\u{200b}", "\\u{2028}")',)
    # A name that begins with white space is quoted; the byte-order mark is not white space, but
    # a first name that begins with one is quoted too, or reading it back would drop it.
    assert frame.to_csv() == '"\ufeffa",e\u0301,\u200b,"\u2028"\n1,2,3,4\n'
    assert quorvel.read_csv(frame.to_csv()).names() == frame.names()


@pytest.mark.parametrize(
    "text",
    ["\ud800", "a\n\udfff\n", "a\n\ud83d\ude00\n", "a,\ud800b\n1,2\n", "a\n" + "x" * 100_000 + "\udbff"],
)
def test_lone_surrogates_are_refused(text):
    with pytest.raises(UnicodeEncodeError) as raised:
        quorvel.read_csv(text)
    assert raised.value.__notes__ == ["while processing 'text'"]
