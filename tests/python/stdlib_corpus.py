"""The files of CPython's standard library, for the differential tests."""

import collections
import concurrent.futures
import os
import sysconfig

STDLIB = os.environ.get("TRELK_STDLIB", sysconfig.get_paths()["stdlib"])


def stdlib_files():
    """Every .py file below the standard library, in a stable order."""
    files = []
    for root, dirs, names in os.walk(STDLIB):
        dirs.sort()
        files.extend(os.path.join(root, n) for n in sorted(names)
                     if n.endswith(".py"))
    return files


def map_files(function, files):
    """function(path) for every path, on at most four worker processes."""
    workers = min(4, os.cpu_count() or 1)
    with concurrent.futures.ProcessPoolExecutor(workers) as pool:
        yield from pool.map(function, files, chunksize=16)


def compare_corpus(compare_file, items=None):
    """Runs compare_file over the whole standard library and adds up its
    results. compare_file(path) returns (status, count, count, differences);
    the result is (files, statuses counted, the two count totals, every
    difference). With `items`, compare_file is given each of them in place
    of the library's paths."""
    files = stdlib_files() if items is None else items
    statuses = collections.Counter()
    totals = [0, 0]
    diffs = []
    for status, first, second, found in map_files(compare_file, files):
        statuses[status] += 1
        totals[0] += first
        totals[1] += second
        diffs.extend(found)
    return files, dict(statuses), totals, diffs
