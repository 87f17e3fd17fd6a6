"""AstProjectIndex with background indexing against ast.parse in a pool of
processes, over every .py file of the standard library.

The index: construction, nonblocking_start_index(), then function_ast_in_file
for every function name of every file, in file order, so that a query waits
for a file that a worker is computing or computes it itself. The reference,
the closest pure-Python equivalent: each file read, parsed with ast.parse and
walked for its function definitions, in a multiprocessing pool (its start
included). The function names that the index is asked for are found
beforehand by a text search, outside the timing.

Each side runs in processes of its own, three rounds of each in turn, and
the best time counts. The pool forks: run in the index's process, its forks
would leave every page the index reuses to fault again on its next write,
which no caller of the index pays. An index round is a fresh process that
builds two indexes one after the other: the first is what a program pays for
its first index (every page of its trees fresh from the kernel), the second
what it pays once it has freed an earlier index's memory.

Prints, with the machine's load average:
- the index's times at 8 workers, first and second in a process, the pool's
  time with 8 processes, and the ratios;
- a scaling table for 1, 2, 4 and 8 workers (the process's CPU affinity set
  to that many processors before the index starts, which is how the index
  picks its worker count) with the efficiency: the time at 1 divided by n
  times the time at n, the best of three indexes in one process. With
  --pool-scaling, the pool too, with as many processes on the same
  processors (slow: minutes on one processor);
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


def child(root, *arguments):
    """Runs this bench in a fresh process with `arguments` and returns its
    output's numbers; the process inherits this one's CPU affinity."""
    run = subprocess.run(
        [sys.executable, __file__, root, *arguments],
        capture_output=True, text=True, check=True,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    return [float(word) for word in run.stdout.split()]


def index_child(root):
    """In a fresh process: the times of a first and a second index, and the
    names the second found."""
    files = python_files(root)
    names = [function_names(path) for path in files]
    first, _ = index_run(files, names, root)
    second, found = index_run(files, names, root)
    print(first, second, found)


def pool_child(root, processes):
    files = python_files(root)
    print(*pool_run(files, processes))


def best_times(root, processes):
    """The best first and second index times and the second's names found,
    and the best pool time and its definitions, each side in processes of
    its own."""
    firsts, seconds, pools = [], [], []
    index_found = pool_found = 0
    for _ in range(ROUNDS):
        first, second, index_found = child(root, "--index-child")
        firsts.append(first)
        seconds.append(second)
        pool, pool_found = child(root, "--pool-child", str(processes))
        pools.append(pool)
    return (min(firsts), min(seconds), int(index_found), min(pools),
            int(pool_found))


def scaling(files, names, root, with_pool):
    """Best index times at each worker count, on as many processors, and
    with `with_pool` the pool's."""
    available = sorted(os.sched_getaffinity(0))
    table = {}
    try:
        for count in SCALING:
            if count > len(available):
                break
            # Threads and processes started from here on inherit the mask.
            os.sched_setaffinity(0, available[:count])
            index_best = min(index_run(files, names, root)[0]
                             for _ in range(ROUNDS))
            pool_best = None
            if with_pool:
                pool_best = min(child(root, "--pool-child", str(count))[0]
                                for _ in range(ROUNDS))
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
    source, resident, heap = map(int, child(root, "--memory-child"))
    return source, resident, heap


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?",
                        default=sysconfig.get_paths()["stdlib"])
    parser.add_argument("--pool-scaling", action="store_true",
                        help="measure the pool at each count too")
    parser.add_argument("--memory-child", action="store_true",
                        help=argparse.SUPPRESS)
    parser.add_argument("--index-child", action="store_true",
                        help=argparse.SUPPRESS)
    parser.add_argument("--pool-child", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    if args.memory_child:
        memory_child(root)
        return
    if args.index_child:
        index_child(root)
        return
    if args.pool_child:
        pool_child(root, args.pool_child)
        return
    files = python_files(root)
    # Also brings every file into the page cache before either side runs.
    names = [function_names(path) for path in files]

    print(f"{len(files)} files under {root}, {os.cpu_count()} processors, "
          f"load average {os.getloadavg()[0]:.2f} at the start")
    first, second, index_found, pool_best, pool_found = best_times(
        root, PROCESSES)
    print(f"AstProjectIndex, background indexing, function_ast_in_file: "
          f"first index in a process {first:.3f} s, second {second:.3f} s "
          f"({index_found} of {sum(map(len, names))} names found)")
    print(f"ast.parse and walk, pool of {PROCESSES} processes: "
          f"{pool_best:.3f} s ({pool_found} definitions)")
    print(f"ratio (ast pool / index): {pool_best / first:.2f} against the "
          f"first index, {pool_best / second:.2f} against the second")

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
