"""The README's examples run and print what the README says they print.

Every ```python block of README.md is a doctest of its own, run in a fresh namespace, so each
block can be pasted alone and none can drift from the library.
"""

import doctest
import gc
import pathlib
import re

import pytest

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
PYTHON_BLOCK = re.compile(r"^```python\n(.*?)^```$", re.DOTALL | re.MULTILINE)


def python_blocks():
    """(first line number, source) of each python block."""
    text = README.read_text(encoding="utf-8")
    return [(text.count("\n", 0, match.start(1)) + 1, match.group(1)) for match in PYTHON_BLOCK.finditer(text)]


def test_every_python_block_is_found():
    text = README.read_text(encoding="utf-8")
    blocks = python_blocks()
    assert len(blocks) == text.count("```python") > 0


@pytest.mark.parametrize("line, source", [pytest.param(*block, id=f"line {block[0]}") for block in python_blocks()])
def test_example(line, source):
    test = doctest.DocTestParser().get_doctest(source, {}, f"README.md, block at line {line}", str(README), line - 1)
    assert test.examples, "a block without >>> examples checks nothing"
    report = []
    runner = doctest.DocTestRunner()
    # One example uses a thread; the collector must not drop other tests' frames there.
    gc.collect()
    gc.disable()
    try:
        runner.run(test, out=report.append)
    finally:
        gc.enable()
    assert runner.failures == 0, "".join(report)
