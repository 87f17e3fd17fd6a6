"""The files of CPython's standard library, for the differential tests and
the benches."""

import collections
import concurrent.futures
import os
import sysconfig

STDLIB = os.environ.get("TRELK_STDLIB", sysconfig.get_paths()["stdlib"])


def python_files(root):
    """Every .py file below `root`, in a stable order."""
    files = []
    for directory, subdirectories, names in os.walk(root):
        subdirectories.sort()
        files.extend(os.path.join(directory, name) for name in sorted(names)
                     if name.endswith(".py"))
    return files


def stdlib_files():
    """Every .py file below the standard library, in a stable order."""
    return python_files(STDLIB)


def map_files(function, files, batch=None):
    """function(path) for every path, on at most four worker processes, in
    order. With `batch`, function is given lists of up to `batch` paths and
    returns a list of their results, so that it can hand a whole list to one
    run of a tool."""
    workers = min(4, os.cpu_count() or 1)
    with concurrent.futures.ProcessPoolExecutor(workers) as pool:
        if batch is None:
            yield from pool.map(function, files, chunksize=16)
            return
        batches = [files[i:i + batch] for i in range(0, len(files), batch)]
        for results in pool.map(function, batches):
            yield from results


def compare_corpus(compare_file, items=None, batch=None):
    """Runs compare_file over the whole standard library and adds up its
    results. compare_file(path) returns (status, count, count, differences);
    the result is (files, statuses counted, the two count totals, every
    difference). With `items`, compare_file is given each of them in place
    of the library's paths; with `batch`, lists of them (see map_files)."""
    files = stdlib_files() if items is None else items
    statuses = collections.Counter()
    totals = [0, 0]
    diffs = []
    for status, first, second, found in map_files(compare_file, files,
                                                  batch):
        statuses[status] += 1
        totals[0] += first
        totals[1] += second
        diffs.extend(found)
    return files, dict(statuses), totals, diffs
