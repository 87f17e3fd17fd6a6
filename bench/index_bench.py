"""AstProjectIndex with background indexing against ast.parse in a pool of
processes, over every .py file of the standard library.

The index: construction, nonblocking_start_index(), then function_ast_in_file
for every function name of every file, in file order, so that a query waits
for a file that a worker is computing or computes it itself. The reference,
the closest pure-Python equivalent: each file read, parsed with ast.parse and
walked for its function definitions, in a multiprocessing pool (its start
included). The function names that the index is asked for are found
beforehand by a text search, outside the timing. Each side runs three times
with a fresh index or pool; the best time counts.

Prints, with the machine's load average:
- both wall times at 8 workers and 8 processes, and their ratio;
- a scaling table for 1, 2, 4 and 8 workers (the process's CPU affinity set
  to that many processors before the index starts, which is how the index
  picks its worker count) with the efficiency: the time at 1 divided by n
  times the time at n. With --pool-scaling, the pool too, with as many
  processes on the same processors (slow: minutes on one processor);
- the resident memory an index of every file holds per byte of source, in a
  fresh process: the growth of its resident set (/proc/self/statm) and of
  the C heap in use (mallinfo2) from before the index is made to after
  every file has been computed.

    PYTHONPATH=build/src python3.13 bench/index_bench.py [DIR]
"""

import argparse
import ast
import ctypes
import multiprocessing
import os
import re
import subprocess
import sys
import sysconfig
import time
import warnings

import trelk_rs
from lexer_bench import python_files

FUNCTION_NAME = re.compile(r"^[ \t]*(?:async[ \t]+)?def[ \t]+(\w+)",
                           re.MULTILINE)
ROUNDS = 3
PROCESSES = 8
SCALING = (1, 2, 4, 8)


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


def pool_run(files, processes=PROCESSES):
    start = time.perf_counter()
    with multiprocessing.Pool(processes, initializer=init_worker) as pool:
        results = pool.map(definitions, files, chunksize=16)
    found = sum(len(result) for result in results if result is not None)
    return time.perf_counter() - start, found


def best_times(files, names, root, processes):
    """The best index time and its names found, and the best pool time and
    its definitions (None for both when `processes` is 0)."""
    index_times, pool_times = [], []
    pool_best = pool_found = None
    for _ in range(ROUNDS):
        seconds, index_found = index_run(files, names, root)
        index_times.append(seconds)
        if processes:
            seconds, pool_found = pool_run(files, processes)
            pool_times.append(seconds)
    if processes:
        pool_best = min(pool_times)
    return min(index_times), index_found, pool_best, pool_found


def scaling(files, names, root, with_pool):
    """Best times at each worker count, on as many processors."""
    available = sorted(os.sched_getaffinity(0))
    table = {}
    try:
        for count in SCALING:
            if count > len(available):
                break
            # Threads and processes started from here on inherit the mask.
            os.sched_setaffinity(0, available[:count])
            index_best, _, pool_best, _ = best_times(
                files, names, root, count if with_pool else 0)
            table[count] = (index_best, pool_best)
    finally:
        os.sched_setaffinity(0, available)
    return table


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
        "fsmblks", "uordblks", "fordblks", "keepcost")]


def heap_in_use():
    """Bytes of the C heap in use: small blocks and mapped ones."""
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def memory_child(root):
    """Run in a fresh process: prints the index's growth in bytes."""
    files = python_files(root)
    source = sum(os.path.getsize(path) for path in files)
    resident, heap = resident_bytes(), heap_in_use()
    index = trelk_rs.AstProjectIndex(files, root)
    index.nonblocking_start_index()
    for path in files:
        # Any query by file waits for that file's entry or computes it.
        index.function_ast_in_file(path, "")
    print(source, resident_bytes() - resident, heap_in_use() - heap)


def index_memory(root):
    run = subprocess.run(
        [sys.executable, __file__, "--memory-child", root],
        capture_output=True, text=True, check=True,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    source, resident, heap = map(int, run.stdout.split())
    return source, resident, heap


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?",
                        default=sysconfig.get_paths()["stdlib"])
    parser.add_argument("--pool-scaling", action="store_true",
                        help="measure the pool at each count too")
    parser.add_argument("--memory-child", action="store_true",
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    if args.memory_child:
        memory_child(root)
        return
    files = python_files(root)
    # Also brings every file into the page cache before either side runs.
    names = [function_names(path) for path in files]

    print(f"{len(files)} files under {root}, {os.cpu_count()} processors, "
          f"load average {os.getloadavg()[0]:.2f} at the start")
    index_best, index_found, pool_best, pool_found = best_times(
        files, names, root, PROCESSES)
    print(f"AstProjectIndex, background indexing, function_ast_in_file: "
          f"{index_best:.3f} s ({index_found} of {sum(map(len, names))} names "
          "found)")
    print(f"ast.parse and walk, pool of {PROCESSES} processes: "
          f"{pool_best:.3f} s ({pool_found} definitions)")
    print(f"ratio (ast pool / index): {pool_best / index_best:.2f}")

    table = scaling(files, names, root, args.pool_scaling)
    print("workers  index s  efficiency" +
          ("  pool s  efficiency  ratio" if args.pool_scaling else ""))
    index_one, pool_one = table[1]
    for count, (index_best, pool_best) in table.items():
        line = (f"{count:7d}  {index_best:7.3f}  "
                f"{index_one / (count * index_best):10.2f}")
        if args.pool_scaling:
            line += (f"  {pool_best:6.3f}  "
                     f"{pool_one / (count * pool_best):10.2f}  "
                     f"{pool_best / index_best:5.2f}")
        print(line)

    source, resident, heap = index_memory(root)
    print(f"index of {source} source bytes: resident set +{resident} bytes "
          f"({resident / source:.2f} per source byte), C heap in use "
          f"+{heap} bytes ({heap / source:.2f} per source byte)")
    print(f"load average {os.getloadavg()[0]:.2f} at the end")


if __name__ == "__main__":
    main()
