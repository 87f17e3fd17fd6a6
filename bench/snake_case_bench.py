"""trelk_rs.to_snake_case against a two-regex Python version on the same names.

The names are the distinct class names of the standard library (found by a
text search), the names that feature classes are likely to have. The
reference is the usual Python idiom, two re.sub calls and str.lower; the
three substitutions of to_snake_case itself (with `__([A-Z])` between them)
are timed too. Each side converts every name, best of five rounds. Prints
the time a call of each, the ratios, and whether the results are identical:
to the three substitutions on every name, and to the two-regex version on
every name without a double underscore before a capital (where the idiom
lacks the middle step). Then the same for the names behind a non-ASCII
letter, whose lowering is ICU's.

    PYTHONPATH=build/src python3.13 bench/snake_case_bench.py [DIR]
"""

import argparse
import os
import re
import sysconfig
import time

import trelk_rs

CLASS_NAME = re.compile(r"^[ \t]*class[ \t]+(\w+)", re.MULTILINE)
ROUNDS = 5

FIRST = re.compile(r"(.)([A-Z][a-z]+)")
MIDDLE = re.compile(r"__([A-Z])")
LAST = re.compile(r"([a-z0-9])([A-Z])")


def two_regex(name):
    return LAST.sub(r"\1_\2", FIRST.sub(r"\1_\2", name)).lower()


def three_regex(name):
    name = MIDDLE.sub(r"_\1", FIRST.sub(r"\1_\2", name))
    return LAST.sub(r"\1_\2", name).lower()


def class_names(root):
    names = {}
    for directory, subdirectories, files in os.walk(root):
        subdirectories.sort()
        for file in sorted(files):
            if file.endswith(".py"):
                try:
                    with open(os.path.join(directory, file),
                              encoding="utf-8") as f:
                        names.update(dict.fromkeys(CLASS_NAME.findall(f.read())))
                except (OSError, UnicodeDecodeError):
                    pass
    return list(names)


def best_ns(convert, names):
    best = float("inf")
    for _ in range(ROUNDS):
        start = time.perf_counter()
        list(map(convert, names))
        best = min(best, time.perf_counter() - start)
    return best / len(names) * 1e9


def compare(label, names):
    ours = list(map(trelk_rs.to_snake_case, names))
    same_three = sum(a == b for a, b in zip(ours, map(three_regex, names)))
    idiom = [n for n in names if not MIDDLE.search(FIRST.sub(r"\1_\2", n))]
    same_two = sum(trelk_rs.to_snake_case(n) == two_regex(n) for n in idiom)
    native = best_ns(trelk_rs.to_snake_case, names)
    two = best_ns(two_regex, names)
    three = best_ns(three_regex, names)
    print(f"{label}: {len(names)} names")
    print(f"  to_snake_case:   {native:7.0f} ns a call")
    print(f"  two regexes:     {two:7.0f} ns a call, ratio {two / native:5.2f}x"
          f" (identical on {same_two} of {len(idiom)} names it handles)")
    print(f"  three regexes:   {three:7.0f} ns a call, ratio "
          f"{three / native:5.2f}x (identical on {same_three} of "
          f"{len(names)})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?",
                        default=sysconfig.get_paths()["stdlib"])
    args = parser.parse_args()
    names = class_names(args.root)
    compare("class names of the standard library (ASCII)", names)
    compare("the same after \u00c4 (lowered by ICU)",
            ["\u00c4" + n for n in names])


if __name__ == "__main__":
    main()
