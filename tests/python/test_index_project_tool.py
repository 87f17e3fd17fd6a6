"""tools/index_project.py as a user runs it: the exact lines on each stream
and the exit status for a small project with a broken file, a FIFO and a
file that is not UTF-8; --help and usage errors; Ctrl-C, a reader that stops
early and a full output device on a project whose output outgrows a pipe."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                    os.pardir, "tools", "index_project.py")

USAGE = "usage: index_project.py [-h] [PROJECT_ROOT]\n"

FEATURES = (
    "from trelk import online\n"
    "from trelk.features import features\n"
    "\n"
    "\n"
    "@features\n"
    "class Café:\n"
    "    id: int\n"
    "\n"
    "\n"
    "@online\n"
    'def greet(id: Café.id) -> str: return "Olá, «" + str(id) + "»"\n'
)

# What the tool prints for FEATURES as app/features.py; the columns count
# characters.
FEATURES_SHOWN = [
    "app/features.py:6:7: feature class Café (module app.features, "
    "namespace café)",
    "app/features.py:5:2:   decorator @features",
    "app/features.py:7:5:   field id: int",
    "app/features.py:11:5: resolver greet (module app.features)",
    "app/features.py:10:2:   decorator @online",
    "app/features.py:11:11:   parameter id: Café.id",
    "app/features.py:11:27:   returns str",
]

# The error stands after non-ASCII text on its line: byte 20, character 17.
BROKEN = 'name = "Zoë €"; def broken(:\n'

SUMMARY = re.compile(r"^(.*) in [0-9]+\.[0-9] ms((?:, interrupted)?)$")


def write(root, name, content):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content.encode() if isinstance(content, str) else content)


def timeless(stdout):
    """The stdout lines, with the summary's time left out."""
    lines = stdout.splitlines()
    if lines:
        lines[-1] = SUMMARY.sub(r"\1 in T ms\2", lines[-1])
    return lines


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.root = self.tmp.name

    def start(self, *arguments, **options):
        return subprocess.Popen([sys.executable, TOOL, *arguments],
                                cwd=self.root, encoding="utf-8", **options)

    def run_tool(self, *arguments, stdout=subprocess.PIPE):
        return subprocess.run([sys.executable, TOOL, *arguments],
                              cwd=self.root, stdout=stdout,
                              stderr=subprocess.PIPE, encoding="utf-8",
                              timeout=120)


class ProjectOutputTest(ToolTest):
    def test_each_stream_and_status(self):
        cases = [
            {"name": "all well",
             "files": {"app/features.py": FEATURES},
             "stdout": [
                 "Indexing 1 file under . in the background",
                 *FEATURES_SHOWN,
                 "1 file, 1 feature class, 1 resolver, 0 failures in T ms"],
             "stderr": [],
             "status": 0},
            {"name": "broken, FIFO, not UTF-8",
             "files": {"app/features.py": FEATURES,
                       "app/broken.py": BROKEN,
                       "app/latin1.py": b'x = "caf\xe9"\n',
                       "app/notes.txt": BROKEN,
                       "empty.py": ""},
             "fifo": "app/pipe.py",
             "stdout": [
                 "Indexing 4 files under . in the background",
                 *FEATURES_SHOWN,
                 "4 files, 1 feature class, 1 resolver, 2 failures in T ms"],
             # The root's own file comes first, then the directory's in
             # name order.
             "stderr": [
                 "app/broken.py:1:17: error: Compound statements are not "
                 "allowed on the same line as simple statements",
                 "app/latin1.py: error: stream did not contain valid UTF-8",
                 "app/pipe.py: warning: skipped, a FIFO"],
             "status": 1},
            {"name": "links that lead nowhere",
             "files": {"ok.py": "x = 1\n"},
             "links": {"gone.py": "missing.py", "loop.py": "loop.py"},
             "stdout": [
                 "Indexing 1 file under . in the background",
                 "1 file, 0 feature classes, 0 resolvers, 0 failures in T ms"],
             "stderr": ["gone.py: warning: skipped, a dangling symbolic link",
                        "loop.py: warning: skipped, a loop of symbolic links"],
             "status": 0},
        ]
        for case in cases:
            with self.subTest(case["name"]):
                with tempfile.TemporaryDirectory() as root:
                    self.root = root
                    for name, content in case["files"].items():
                        write(root, name, content)
                    if "fifo" in case:
                        os.mkfifo(os.path.join(root, case["fifo"]))
                    for name, target in case.get("links", {}).items():
                        os.symlink(target, os.path.join(root, name))
                    result = self.run_tool(".")
                self.assertEqual(timeless(result.stdout), case["stdout"])
                self.assertEqual(result.stderr.splitlines(), case["stderr"])
                self.assertEqual(result.returncode, case["status"])

    def test_errors_at_their_line_and_column(self):
        # Lines end as the locations count them; characters on the first
        # line are counted after a byte-order mark.
        cases = [
            ("\ufeffdef f(:\n", "1:7: error: Expected a parameter or the end "
                                "of the parameter list"),
            ("x = 1\r\ny = 'é' +\r\n", "2:10: error: Expected an expression"),
            ("x = 1\ry = (\r", "3:1: error: unexpected EOF while parsing"),
            ("s = '''ü\n€''' +\n", "2:7: error: Expected an expression"),
        ]
        for text, place in cases:
            with self.subTest(text=text):
                write(self.root, "f.py", text)
                result = self.run_tool(".")
                self.assertEqual(result.stderr, f"f.py:{place}\n")
                self.assertEqual(result.returncode, 1)

    def test_a_file_name_that_is_not_utf8(self):
        write(self.root, "ok.py", "x = 1\n")
        with open(os.path.join(os.fsencode(self.root), b"caf\xe9.py"),
                  "w") as f:
            f.write("x = 1\n")
        result = subprocess.run([sys.executable, TOOL, "."], cwd=self.root,
                                capture_output=True, timeout=120)
        self.assertEqual(result.stderr,
                         b"caf\xe9.py: error: the file name is not UTF-8\n")
        self.assertEqual(result.stdout.splitlines()[0],
                         b"Indexing 1 file under . in the background")
        self.assertEqual(result.returncode, 1)


class CommandLineTest(ToolTest):
    def test_help(self):
        result = self.run_tool("--help")
        self.assertEqual(result.stderr, "")
        self.assertTrue(result.stdout.startswith(USAGE), result.stdout)
        self.assertIn("Exit status: 0 when every file was read and parsed",
                      result.stdout)
        self.assertEqual(result.returncode, 0)

    def test_usage_errors(self):
        cases = [
            (["-x"], "unrecognized arguments: -x"),
            (["--root", "."], "unrecognized arguments: --root"),
            ([".", "."], "unrecognized arguments: ."),
            (["missing"], "missing is not a directory"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                result = self.run_tool(*arguments)
                self.assertEqual(result.stdout, "")
                self.assertEqual(result.stderr,
                                 f"{USAGE}index_project.py: error: {message}\n")
                self.assertEqual(result.returncode, 2)


class LargeOutputTest(ToolTest):
    # Enough output that a pipe nobody reads fills up long before the end,
    # so the tool is still running when the test acts.
    MODULES = 400

    def setUp(self):
        super().setUp()
        write(self.root, "a_broken.py", BROKEN)
        for i in range(self.MODULES):
            write(self.root, f"m{i:03d}.py", FEATURES)
        self.error = ("a_broken.py:1:17: error: Compound statements are not "
                      "allowed on the same line as simple statements\n")

    def test_interrupt(self):
        complete = self.run_tool(".")
        self.assertEqual(complete.returncode, 1)
        lines = timeless(complete.stdout)
        per_module = (len(lines) - 2) // self.MODULES
        process = self.start(".", stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        try:
            self.assertEqual(process.stdout.readline(), lines[0] + "\n")
            # The first result follows the broken file's failure.
            self.assertEqual(process.stdout.readline(), lines[1] + "\n")
            process.send_signal(signal.SIGINT)
            # Read on through the same buffers as readline: what it read
            # ahead is part of the output.
            stdout = process.stdout.read()
            stderr = process.stderr.read()
            process.wait(timeout=120)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
            process.stderr.close()
        shown = lines[:2] + timeless(stdout)
        summary = re.fullmatch(
            r"([0-9]+) of 401 files, ([0-9]+) feature class(?:es)?, "
            r"([0-9]+) resolvers?, 1 failure in T ms, interrupted", shown[-1])
        self.assertIsNotNone(summary, shown[-1])
        done = int(summary[1])
        self.assertLess(done, 401)
        self.assertEqual(int(summary[2]), done - 1)
        self.assertEqual(int(summary[3]), done - 1)
        # Whole files' lines, in order, and nothing after the summary.
        self.assertEqual(shown[:-1], lines[:1 + (done - 1) * per_module])
        self.assertEqual(stderr, self.error)
        self.assertEqual(process.returncode, 130)

    def test_reader_stops_early(self):
        tool = self.start(".", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        head = subprocess.Popen(["head", "-1"], stdin=tool.stdout,
                                stdout=subprocess.PIPE, encoding="utf-8")
        # Only the reader holds the pipe now: when it ends, writing fails.
        tool.stdout.close()
        first, _ = head.communicate(timeout=120)
        stderr = tool.stderr.read()
        tool.wait(timeout=120)
        tool.stderr.close()
        self.assertEqual(first, "Indexing 401 files under . in the "
                                "background\n")
        self.assertEqual(stderr, self.error)
        self.assertEqual(tool.returncode, 3)

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_full_output_device(self):
        with open("/dev/full", "w") as full:
            result = self.run_tool(".", stdout=full)
        self.assertEqual(result.stderr,
                         "index_project.py: error: cannot write standard "
                         "output: No space left on device\n")
        self.assertEqual(result.returncode, 3)


if __name__ == "__main__":
    unittest.main()
