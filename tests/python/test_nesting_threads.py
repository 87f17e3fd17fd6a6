"""Deep input through get_parsed_file on threads of every stack size: the
main thread, a thread made with a 256 KiB stack, and the index's own
workers. Each gets CPython's verdict (a SyntaxError from CPython means our
error), never a crash: the parse runs on a stack of known size whatever the
caller's."""

import ast
import os
import subprocess
import sys
import tempfile
import textwrap
import threading
import unittest

from trelk_rs import AstFileParserCache

OVERFLOW = "Parser stack overflowed - Python source too complex to parse"
SMALL_STACK = 256 * 1024


def with_blocks(depth):
    return "".join(" " * i + "with x:\n" for i in range(depth)) + \
        " " * depth + "pass\n"


def format_specs(depth):
    return "f'{x:{" * depth + "y" + "}}'" * depth + "\n"


# (name, source, CPython's verdict): the limits CPython reaches and one past.
CASES = [
    ("with 99 deep", with_blocks(99), True),
    ("with 100 deep", with_blocks(100), False),
    ("with 250 deep", with_blocks(250), False),
    ("format specs 100 deep", format_specs(100), True),
    ("format specs 90 deep", format_specs(90), True),
    ("parentheses 200 deep", "x = " + "(" * 200 + "1" + ")" * 200 + "\n",
     True),
    ("f-strings 149 deep", "x = " + "f'{" * 149 + "1" + "}'" * 149 + "\n",
     True),
    ("3,000 negations", "x = " + "-" * 3000 + "1\n", True),
    ("1,000 conditionals", "x = a" + " if b else c" * 1000 + "\n", True),
    ("parentheses 2,000 deep", "x = " + "(" * 2000 + "1" + ")" * 2000 + "\n",
     False),
]


def cpython_accepts(source):
    # The parser's verdict: compile() would add its compiler's limits.
    try:
        ast.parse(source)
    except (SyntaxError, MemoryError, RecursionError):
        return False
    return True


class NestingThreadsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.paths = []
        for index, (_, source, _) in enumerate(CASES):
            path = os.path.join(self.tmp.name, f"case{index}.py")
            with open(path, "w", encoding="utf-8") as f:
                f.write(source)
            self.paths.append(path)

    def tearDown(self):
        self.tmp.cleanup()

    def verdicts(self):
        cache = AstFileParserCache(self.paths, self.tmp.name)
        found = []
        for path in self.paths:
            try:
                cache.get_parsed_file(path)
                found.append(True)
            except ValueError:
                found.append(False)
        return found

    def test_cases_hold_cpython_verdicts(self):
        for name, source, accepted in CASES:
            with self.subTest(name):
                self.assertEqual(cpython_accepts(source), accepted)

    def test_main_thread(self):
        for (name, _, accepted), verdict in zip(CASES, self.verdicts()):
            with self.subTest(name):
                self.assertEqual(verdict, accepted)

    def test_thread_with_small_stack(self):
        # In a child process: a crash there fails this test instead of
        # ending the whole run.
        script = textwrap.dedent(f"""
            import threading, sys
            sys.path[:0] = {sys.path!r}
            from test_nesting_threads import NestingThreadsTest
            test = NestingThreadsTest()
            test.setUp()
            found = []
            threading.stack_size({SMALL_STACK})
            thread = threading.Thread(target=lambda: found.extend(
                test.verdicts()))
            thread.start()
            thread.join()
            test.tearDown()
            print(found)
        """)
        result = subprocess.run([sys.executable, "-c", script],
                                capture_output=True, text=True, timeout=300,
                                cwd=os.path.dirname(__file__))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.strip(),
                         str([accepted for _, _, accepted in CASES]))


if __name__ == "__main__":
    unittest.main()
