"""parse_check against a Python process that reads and ast.parses the same
files, both whole processes: start, reading and exit included.

parse_check is given every .py file below DIR (the standard library by
default) on its command line, its lines going to a pipe that is read and
dropped; the reference is the configured interpreter running a loop that
reads each file's bytes and calls ast.parse on them. parse_check runs five
times and the reference three, after one run of each that warms the page
cache; the best time of each counts. Prints both wall times and their ratio.

    python3.13 bench/parse_check_bench.py --tool build/tools/parse_check [DIR]
"""

import argparse
import os
import subprocess
import sys
import sysconfig
import time

from lexer_bench import python_files

REFERENCE = """
import ast, sys, warnings
warnings.simplefilter("ignore")
for path in sys.argv[1:]:
    with open(path, "rb") as file:
        data = file.read()
    try:
        ast.parse(data)
    except (SyntaxError, ValueError):
        pass
"""


def best_seconds(command, rounds):
    best = float("inf")
    for _ in range(rounds + 1):
        start = time.perf_counter()
        completed = subprocess.run(command, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        # parse_check says 1 when a file has errors: the corpus has some.
        if completed.returncode not in (0, 1):
            sys.exit(f"{command[0]} ended with {completed.returncode}: "
                     f"{completed.stderr.decode(errors='replace')}")
        best = min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("root", nargs="?",
                        default=sysconfig.get_paths()["stdlib"])
    args = parser.parse_args()
    files = python_files(args.root)
    size = sum(os.path.getsize(path) for path in files)
    native = best_seconds([args.tool, *files], 5)
    reference = best_seconds([sys.executable, "-c", REFERENCE, *files], 3)
    print(f"corpus: {len(files)} files, {size / 1e6:.1f} MB under {args.root}")
    print(f"parse_check:          {native * 1e3:8.1f} ms")
    print(f"read and ast.parse:   {reference * 1e3:8.1f} ms")
    print(f"ratio:                {reference / native:8.1f}x")


if __name__ == "__main__":
    main()
