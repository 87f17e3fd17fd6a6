"""Extraction of one very large definition against CPython's ast.parse of
the same file, in the same run, at two sizes: a feature class of N fields
(every fourth documented by a comment, every tenth assigned again later),
a function of N parameters, a resolver decorator of N keywords and an
import of N names. When the time per item stays the same from the smaller
size to the larger, extraction is linear.

Each measurement is the best of a few rounds. Ours is a fresh
AstProjectIndex and the query that reads, parses and extracts the file;
the reference is ast.parse of the text already read.

    PYTHONPATH=build/src python3.13 bench/extraction_scaling_bench.py [N...]
"""

import ast
import os
import sys
import tempfile
import time

import trelk_rs

ROUNDS = 3


def feature_class(count):
    lines = ["from trelk.features import features", "", "@features",
             "class Big:"]
    for i in range(count):
        if i % 4 == 0:
            lines.append(f"    # Field {i}.")
            lines.append(f"    # :owner: team{i % 7}@example.com")
        lines.append(f"    f{i}: int")
    for i in range(0, count, 10):
        lines.append(f"    f{i} = feature(max_staleness='1d')")
    return "\n".join(lines) + "\n", "feature_class_ast", "Big"


def parameters(count):
    names = ", ".join(f"p{i}: int" for i in range(count))
    return f"def big({names}) -> int:\n    return 0\n", "function_ast", "big"


def decorator_keywords(count):
    keywords = ", ".join(f"k{i}={i}" for i in range(count))
    return ("from trelk import online\n\n"
            f"@online({keywords})\n"
            "def big() -> int:\n    return 0\n", "resolver_ast", "big")


def imported_names(count):
    names = ", ".join(f"n{i}" for i in range(count))
    return (f"from trelk.features import {names}\n\n"
            "def big() -> int:\n    return 0\n", "function_ast", "big")


SHAPES = [
    ("fields", feature_class),
    ("parameters", parameters),
    ("decorator keywords", decorator_keywords),
    ("imported names", imported_names),
]


def best(function):
    times = []
    for _ in range(ROUNDS):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return min(times)


def measure(root, count, make):
    text, query, name = make(count)
    path = os.path.join(root, "big.py")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)

    def ours():
        index = trelk_rs.AstProjectIndex([path], root)
        found = getattr(index, query)("big", name)
        assert found is not None

    reference = best(lambda: ast.parse(text))
    extraction = best(ours)
    return extraction, reference


def main():
    counts = [int(arg) for arg in sys.argv[1:]] or [40_000, 80_000]
    with tempfile.TemporaryDirectory() as root:
        for label, make in SHAPES:
            for count in counts:
                extraction, reference = measure(root, count, make)
                print(f"{count:7,} {label + ':':20} trelk_rs {extraction:8.3f} s"
                      f"  ast.parse {reference:7.3f} s"
                      f"  ratio {extraction / reference:7.2f}"
                      f"  per item {extraction / count * 1e6:7.2f} us")


if __name__ == "__main__":
    main()
