"""The lexer against CPython's tokenize over the same in-memory corpus.

Runs lexer_bench (the native lexer and a branch-per-byte-class loop over
the same bytes, taking turns, best of five rounds each) and then
tokenize.generate_tokens over the same files (best of two), and prints the
throughputs and the lexer's ratios to the loop and to tokenize.

    python3.13 bench/lexer_bench.py --native build/bench/lexer_bench [DIR]
"""

import argparse
import io
import os
import subprocess
import sys
import sysconfig
import time
import tokenize

# The differential tests' lister of Python files serves the benches too.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, "tests", "python"))
from stdlib_corpus import python_files  # noqa: E402


def load(root):
    texts = []
    for path in python_files(root):
        data = open(path, "rb").read()
        try:
            texts.append((len(data), data.decode("utf-8")))
        except UnicodeDecodeError:
            pass
    return texts


def tokenize_all(texts):
    tokens = 0
    for _, text in texts:
        try:
            for _ in tokenize.generate_tokens(io.StringIO(text).readline):
                tokens += 1
        except (SyntaxError, tokenize.TokenError):
            pass
    return tokens


def measure(reference):
    """Runs the bench's native program on the corpus its arguments name, then
    `reference` over the same files, best of two. Returns the native
    program's figures, the reference's throughput in MB/s and what the
    reference returned."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--native", required=True)
    parser.add_argument("root", nargs="?", default=sysconfig.get_paths()["stdlib"])
    args = parser.parse_args()

    run = subprocess.run([args.native, args.root], capture_output=True,
                         text=True, check=True)
    native = dict(pair.split("=") for pair in run.stdout.split())

    texts = load(args.root)
    size = sum(n for n, _ in texts)
    best = float("inf")
    for _ in range(2):
        start = time.perf_counter()
        result = reference(texts)
        best = min(best, time.perf_counter() - start)
    return native, size / best / 1e6, result


def main():
    native, reference, tokens = measure(tokenize_all)
    lexer = float(native["mb_per_s"])
    loop = float(native["loop_mb_per_s"])
    print(f"corpus: {native['files']} files, {int(native['bytes']) / 1e6:.1f} MB")
    print(f"lexer:    {lexer:8.1f} MB/s "
          f"({native['tokens']} tokens)")
    print(f"loop:     {loop:8.1f} MB/s "
          f"({native['loop_tokens']} tokens, branch per byte class)")
    print(f"tokenize: {reference:8.1f} MB/s ({tokens} tokens)")
    print(f"lexer / loop:     {lexer / loop:8.2f}")
    print(f"lexer / tokenize: {lexer / reference:8.1f}x")


if __name__ == "__main__":
    main()
