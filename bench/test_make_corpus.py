#!/usr/bin/env python3
"""Checks the corpus builder: an input that ended inside a tag, or missed its size, would make
the benchmark measure a warning path or the wrong amount of work.

    python3 bench/test_make_corpus.py
"""

import re
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_corpus  # noqa: E402

MB = make_corpus.MB


def ends_outside_tag(data: bytes) -> bool:
    return data.rfind(b"<") < data.rfind(b">") or b"<" not in data


class CleanCutTest(unittest.TestCase):
    CASES = [
        # data, wanted, starts inside a tag, stop at a line end, expected cut
        (b"ab\ncd\nef", 1, False, True, 3),
        (b"ab\ncd\nef", 3, False, True, 3),
        (b"ab\ncd\nef", 4, False, True, 6),
        (b"ab\ncd", 4, False, True, 5),  # no line end left: all of it
        (b"<a\nb>c\nd", 2, False, True, 7),  # inside a tag: on to its '>' and the line end
        (b"x>y\nz", 0, True, True, 4),  # begins inside a tag closed in this piece
        (b"xy\nz", 1, True, True, 4),  # still inside a tag at its end: all of it
        (b"ab<cd>ef", 3, False, False, 6),
        (b"ab<cd>ef", 2, False, False, 2),
        (b"ab", 5, False, False, 2),
    ]

    def test_cuts(self):
        for data, wanted, inside, at_line_end, expected in self.CASES:
            with self.subTest(data=data, wanted=wanted, inside=inside, at_line_end=at_line_end):
                state = make_corpus.TagState()
                state.inside = inside
                self.assertEqual(make_corpus.clean_cut(data, wanted, state, at_line_end), expected)


class WriteCycledTest(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp())

    def tearDown(self):
        for path in self.dir.iterdir():
            path.unlink()
        self.dir.rmdir()

    def source(self, name: str, data: bytes) -> Path:
        path = self.dir / name
        path.write_bytes(data)
        return path

    def test_sizes_and_ends(self):
        pages = [self.source("a.html", b"<p>one\ntwo</p>\n"),
                 # ends inside a tag: the next page must close it before a cut is allowed
                 self.source("b.html", b"<a href='x'\n"),
                 self.source("c.html", b"title='y'>link</a> text\n")]
        # Pages of 15, 12 and 24 bytes: 51 a cycle.
        cases = [
            # target, stop at a line end, expected size
            (10, True, 15),
            (15, True, 15),
            (16, True, 51),  # cutting in b.html would leave the tag open: on through c.html
            (200, True, 204),  # 200 falls in the fourth c.html: its line end
            (205, False, 207),  # in the fifth a.html: past the '>' of its first tag
        ]
        for target, at_line_end, expected in cases:
            with self.subTest(target=target, at_line_end=at_line_end):
                out = self.dir / "out.html"
                make_corpus.write_cycled(out, pages, target, at_line_end=at_line_end)
                data = out.read_bytes()
                self.assertEqual(len(data), expected)
                self.assertTrue(ends_outside_tag(data), data[-40:])
                if at_line_end:
                    self.assertTrue(data.endswith(b"\n"))
                self.assertTrue(b"".join(p.read_bytes() for p in pages * 10).startswith(data))

    def test_one_pass_without_target_removes_line_ends(self):
        page = self.source("a.html", b"<p>a\r\nb</p>\n" * 1000)
        out = self.dir / "line.html"
        make_corpus.write_cycled(out, [page], None, make_corpus.strip_line_ends)
        self.assertEqual(out.read_bytes(), b"<p>ab</p>" * 1000)


class GeneratedPageTest(unittest.TestCase):
    def test_page_is_crlf_html_of_the_size_asked(self):
        with tempfile.TemporaryDirectory() as directory:
            path = Path(directory) / "page.html"
            make_corpus.write_generated(path, 2 * MB)
            data = path.read_bytes()
        self.assertGreaterEqual(len(data), 2 * MB - 200_000)
        self.assertLessEqual(len(data), 2 * MB + 200_000)
        self.assertTrue(data.startswith(b"<!DOCTYPE html>\r\n"))
        self.assertTrue(data.endswith(b"</html>\r\n"))
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))  # every line end is CR LF
        self.assertTrue(ends_outside_tag(data))
        # The constructs the page exists for.
        self.assertRegex(data, re.compile(rb"<img [^>]*\r\n[^>]*\r\n[^>]*>"))
        self.assertIn(b"<!-- generated section", data)
        self.assertIn(b"\r\n        \r\n", data)


if __name__ == "__main__":
    unittest.main()
