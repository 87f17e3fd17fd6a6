"""parse_module against CPython's ast.parse over the same in-memory corpus.

Runs parse_bench (the native parser, best of five rounds) and then
ast.parse over the same files (best of two), and prints both throughputs,
their ratio, the parse's memory per byte of source and the cost of one
parser checkpoint and rewind.

    python3.13 bench/parse_bench.py --native build/bench/parse_bench [DIR]
"""

import ast
import warnings

from lexer_bench import measure


def parse_all(texts):
    failed = 0
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for _, text in texts:
            try:
                ast.parse(text)
            except (SyntaxError, ValueError):
                failed += 1
    return failed


def main():
    native, reference, failed = measure(parse_all)
    print(f"corpus: {native['files']} files, {int(native['bytes']) / 1e6:.1f} MB")
    print(f"parse_module: {float(native['mb_per_s']):8.1f} MB/s "
          f"({native['failed']} files with errors)")
    print(f"ast.parse:    {reference:8.1f} MB/s ({failed} files rejected)")
    print(f"ratio:        {float(native['mb_per_s']) / reference:8.1f}x")
    print(f"memory kept:  {float(native['bytes_per_byte']):.2f} bytes per byte "
          f"of source (worst file of 4 KiB or more: "
          f"{float(native['worst_bytes_per_byte']):.2f})")
    print(f"checkpoint and rewind: {float(native['checkpoint_ns']):.1f} ns")


if __name__ == "__main__":
    main()
