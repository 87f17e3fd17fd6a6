"""to_snake_case against the same substitutions done with `re` and str.lower.

Seeded random names mix ASCII capitals, lower-case letters, digits and
underscores (which the patterns act on) with line terminators, which "." must
refuse only for a line feed, and with non-ASCII letters, marks and symbols,
among them capital and small sigma (the final-sigma rule of lowering) and
characters whose lower case is longer than themselves.

Known, intended differences: none.
"""

import random
import re
import unittest

import trelk_rs

STEPS = [
    (re.compile(r"(.)([A-Z][a-z]+)"), r"\1_\2"),
    (re.compile(r"__([A-Z])"), r"_\1"),
    (re.compile(r"([a-z0-9])([A-Z])"), r"\1_\2"),
]


def reference(name):
    for pattern, replacement in STEPS:
        name = pattern.sub(replacement, name)
    return name.lower()


ASCII = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789__ "
LINE_TERMINATORS = "\n\r\x0b\x0c\x1c\x1d\x1e\x85\u2028\u2029"
NON_ASCII = (
    "\u00c4\u00e4\u00c9\u00e9\u00df\u0130\u0131"  # Latin, dotted/dotless i
    "\u01c5\u01c4\u1e9e\ufb03"  # title case, capital sharp s, ligature
    "\u03a3\u03c3\u03c2\u0391\u03b1\u0345"  # sigma forms, ypogegrammeni
    "\u0301\u00ad\u2019\u00b7"  # case-ignorable marks and punctuation
    "\u0414\u0434\u10a0\u13a0\uff21\uff41"  # Cyrillic, Georgian, Cherokee, wide
    "\U0001d400\U00010400\U0001f600\u4e2d"  # outside the BMP, CJK
)


def random_character(rng):
    roll = rng.random()
    if roll < 0.55:
        return rng.choice(ASCII)
    if roll < 0.65:
        return rng.choice(LINE_TERMINATORS)
    if roll < 0.9:
        return rng.choice(NON_ASCII)
    while True:
        code = rng.randrange(0x80, 0x110000)
        if not 0xD800 <= code <= 0xDFFF:
            return chr(code)


class SnakeCaseRandomTest(unittest.TestCase):
    def test_ten_thousand_random_names(self):
        rng = random.Random(20261210)
        mismatches = []
        for _ in range(10_000):
            name = "".join(random_character(rng)
                           for _ in range(rng.randrange(0, 24)))
            expected = reference(name)
            actual = trelk_rs.to_snake_case(name)
            if actual != expected:
                mismatches.append((name, expected, actual))
        self.assertEqual(mismatches[:10], [])
        self.assertEqual(len(mismatches), 0)


if __name__ == "__main__":
    unittest.main()
