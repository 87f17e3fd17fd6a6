"""Line and column of every token start in CPython's standard library.

For every token start that CPython's tokenize reports in every .py file of the
standard library, the line index (through tools/line_column_check) must give
the same line, and tokenize's column (counted in characters) plus one.

Known, intended differences, whose files are skipped and counted:
- a lone carriage return ends a line for the index, but not for tokenize;
- files that are not UTF-8, or that tokenize rejects, have no positions to
  compare (a file is tokenized as decoded text, so its coding declaration does
  not matter).
Positions that tokenize reports past the end of the text (the end marker and
dedents after a last line without a line break) are not compared.

Environment: LINE_COLUMN_CHECK (the tool), STDLIB_DIR (the library to walk).
"""

import io
import multiprocessing
import os
import re
import subprocess
import sys
import tokenize
import unittest

BOM = b"\xef\xbb\xbf"
LONE_CR = re.compile(rb"\r(?!\n)")


def expected_positions(path):
    """(status, [(offset, line, column), ...]) for one file."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return "not utf-8", []
    if LONE_CR.search(data):
        return "lone cr", []
    # Tokenized as text, so that a coding declaration does not matter: the
    # bytes are UTF-8 either way. The byte-order mark is not part of line 1.
    text = text.removeprefix("\ufeff")
    try:
        tokens = list(tokenize.generate_tokens(io.StringIO(text).readline))
    except (SyntaxError, tokenize.TokenError):
        return "rejected", []
    line_starts = [0] + [m.end() for m in re.finditer(rb"\n", data)]
    lines = {}
    positions = set()
    for token in tokens:
        row, col = token.start
        if row > len(line_starts):
            continue
        if row not in lines:
            start = line_starts[row - 1]
            if row == 1 and data.startswith(BOM):
                start += len(BOM)
            end = line_starts[row] if row < len(line_starts) else len(data)
            lines[row] = (start, data[start:end].decode("utf-8"))
        start, text = lines[row]
        if col > len(text):
            continue
        offset = start + len(text[:col].encode("utf-8"))
        positions.add((offset, row, col + 1))
    return "compared", sorted(positions)


def stdlib_files(root):
    for directory, subdirectories, files in os.walk(root):
        subdirectories.sort()
        for name in sorted(files):
            if name.endswith(".py"):
                yield os.path.join(directory, name)


class StdlibPositionsTest(unittest.TestCase):
    def test_every_token_start(self):
        tool = os.environ["LINE_COLUMN_CHECK"]
        root = os.environ.get("STDLIB_DIR", os.path.dirname(os.__file__))
        paths = list(stdlib_files(root))
        with multiprocessing.Pool(4) as pool:
            results = pool.map(expected_positions, paths, chunksize=16)

        requests = []
        compared_paths = []
        counts = {}
        for path, (status, positions) in zip(paths, results):
            counts[status] = counts.get(status, 0) + 1
            if status == "compared":
                compared_paths.append((path, positions))
                offsets = " ".join(str(offset) for offset, _, _ in positions)
                requests.append(f"{path}\t{offsets}\n")
        output = subprocess.run(
            [tool], input="".join(requests), capture_output=True, text=True,
            check=True).stdout.splitlines()
        self.assertEqual(len(output), len(compared_paths))

        compared = 0
        mismatches = []
        for (path, positions), line in zip(compared_paths, output):
            got = line.split()
            self.assertEqual(len(got), len(positions), path)
            for (offset, row, column), answer in zip(positions, got):
                compared += 1
                if answer != f"{row}:{column}" and len(mismatches) < 20:
                    mismatches.append(
                        f"{path} @{offset}: {answer}, tokenize {row}:{column}")
        print(f"\nfiles: {counts.get('compared', 0)} compared, "
              f"{counts.get('not utf-8', 0)} not UTF-8, "
              f"{counts.get('rejected', 0)} rejected by tokenize, "
              f"{counts.get('lone cr', 0)} with a lone CR; "
              f"positions compared: {compared}", file=sys.stderr)
        self.assertEqual(mismatches, [])
        self.assertGreater(counts.get("compared", 0), 1000)


if __name__ == "__main__":
    unittest.main()
