"""AstProjectIndex with background indexing against ast.parse in a pool of 8
processes, over every .py file of the standard library.

The index: construction, nonblocking_start_index(), then function_ast_in_file
for every function name of every file, in file order, so that a query waits
for a file that a worker is computing or computes it itself. The reference,
the closest pure-Python equivalent: each file read, parsed with ast.parse and
walked for its function definitions, in a multiprocessing pool of 8
processes (its start included). The function names that the index is asked
for are found beforehand by a text search, outside the timing. Each side
runs three times with a fresh index or pool; the best time counts. Prints
both wall times and their ratio.

    PYTHONPATH=build/src python3.13 bench/index_bench.py [DIR]
"""

import argparse
import ast
import multiprocessing
import os
import re
import sysconfig
import time
import warnings

import trelk_rs
from lexer_bench import python_files

FUNCTION_NAME = re.compile(r"^[ \t]*(?:async[ \t]+)?def[ \t]+(\w+)",
                           re.MULTILINE)
ROUNDS = 3
PROCESSES = 8


def function_names(path):
    try:
        with open(path, encoding="utf-8") as f:
            return list(dict.fromkeys(FUNCTION_NAME.findall(f.read())))
    except (OSError, UnicodeDecodeError):
        return []


def index_run(files, names, root):
    start = time.perf_counter()
    index = trelk_rs.AstProjectIndex(files, root)
    index.nonblocking_start_index()
    found = 0
    for path, file_names in zip(files, names):
        for name in file_names:
            found += index.function_ast_in_file(path, name) is not None
    return time.perf_counter() - start, found


def definitions(path):
    """The function definitions of one file, or None when it fails."""
    try:
        with open(path, encoding="utf-8") as f:
            tree = ast.parse(f.read())
    except (OSError, UnicodeDecodeError, SyntaxError, ValueError):
        return None
    return [(node.name, node.lineno, node.col_offset)
            for node in ast.walk(tree)
            if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef))]


def init_worker():
    warnings.simplefilter("ignore")


def pool_run(files):
    start = time.perf_counter()
    with multiprocessing.Pool(PROCESSES, initializer=init_worker) as pool:
        results = pool.map(definitions, files, chunksize=16)
    found = sum(len(result) for result in results if result is not None)
    return time.perf_counter() - start, found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?",
                        default=sysconfig.get_paths()["stdlib"])
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    files = python_files(root)
    # Also brings every file into the page cache before either side runs.
    names = [function_names(path) for path in files]

    index_times, pool_times = [], []
    for _ in range(ROUNDS):
        seconds, index_found = index_run(files, names, root)
        index_times.append(seconds)
        seconds, pool_found = pool_run(files)
        pool_times.append(seconds)
    index_best, pool_best = min(index_times), min(pool_times)
    print(f"{len(files)} files under {root}, {os.cpu_count()} processors")
    print(f"AstProjectIndex, background indexing, function_ast_in_file: "
          f"{index_best:.3f} s ({index_found} of {sum(map(len, names))} names "
          "found)")
    print(f"ast.parse and walk, pool of {PROCESSES} processes: "
          f"{pool_best:.3f} s ({pool_found} definitions)")
    print(f"ratio (ast pool / index): {pool_best / index_best:.2f}")


if __name__ == "__main__":
    main()
