"""The module and its tools under adverse conditions: a heap that runs out,
an object that misreports its length, signals during a blocked read, and
output that cannot be written. Each would otherwise give a wrong result,
an internal failure, a lost interrupt or a failure reported as success.

The memory and signal cases run in a child process, so that a limit or a
handler cannot touch this runner, and a child that hangs is ended by its
timeout."""

import json
import os
import resource
import subprocess
import sys
import tempfile
import textwrap
import unittest

from trelk_rs import StdAstFileSystem


def run_child(script, *args, timeout=120):
    completed = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(script), *args],
        capture_output=True, text=True, timeout=timeout, env=dict(os.environ))
    return completed


class MemoryLimitTest(unittest.TestCase):
    # Sweeps the headroom left under RLIMIT_AS from nothing up to more than a
    # call needs, in steps small enough to land inside every allocation of
    # the call. The name, "aB" 16 Ki times, is the shortest whose strings
    # leave the heap's free lists. ASCII names are converted without ICU, so
    # the same name after an "\u00c4" shows ICU's own failures. Each step
    # must give the whole text or MemoryError, creating the result included.
    SWEEP = """
        import json, resource, sys
        import trelk_rs

        count = 16384
        name = "aB" * count
        wide = "\u00c4" + name
        calls = {
            "to_snake_case": (lambda: trelk_rs.to_snake_case(name),
                              "a_b" * count),
            "to_snake_case, not ASCII": (
                lambda: trelk_rs.to_snake_case(wide),
                "\u00e4" + "a_b" * count),
            "build_namespaced_name": (
                lambda: trelk_rs.build_namespaced_name(name, "N"),
                "a_b" * count + "::N"),
        }
        # The patterns are compiled outside the limit: ICU's RegexPattern
        # dereferences a null pointer when one allocation of its own fails.
        # Only a name that is not ASCII reaches them.
        trelk_rs.to_snake_case("\u00c4Bc")
        page = resource.getpagesize()
        _, hard = resource.getrlimit(resource.RLIMIT_AS)
        step, steps = 6144, 128
        outcomes = {}
        for label, (call, expected) in calls.items():
            seen = []
            for index in range(steps):
                with open("/proc/self/statm") as statm:
                    used = int(statm.read().split()[0]) * page
                resource.setrlimit(resource.RLIMIT_AS,
                                   (used + index * step, hard))
                try:
                    try:
                        result = call()
                    finally:
                        resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
                    outcome = ("right" if result == expected
                               else "wrong text of %d characters" % len(result))
                except MemoryError:
                    outcome = "MemoryError"
                except BaseException as error:
                    outcome = "%s: %s" % (type(error).__name__, error)
                if not seen or seen[-1][0] != outcome:
                    seen.append([outcome, 0])
                seen[-1][1] += 1
            outcomes[label] = seen
        print(json.dumps(outcomes))
    """

    def test_every_limit_gives_the_whole_text_or_memory_error(self):
        completed = run_child(self.SWEEP)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        outcomes = json.loads(completed.stdout)
        for label, runs in outcomes.items():
            with self.subTest(label):
                kinds = {outcome for outcome, _ in runs}
                self.assertLessEqual(kinds, {"right", "MemoryError"}, runs)
                # The sweep reached both: too little memory, and enough.
                self.assertIn("MemoryError", kinds, runs)
                self.assertEqual(runs[-1][0], "right", runs)


class MisreportedLengthTest(unittest.TestCase):
    def test_length_only_sizes_the_list(self):
        class Files:
            def __init__(self, length):
                self.length = length

            def __len__(self):
                return self.length

            def __getitem__(self, index):
                if index == 0:
                    return "a.py"
                raise IndexError(index)

        cases = [
            (2**40, "a length no heap can reserve"),
            (sys.maxsize, "a length past what a vector can hold"),
            (2**64, "a length that does not fit an index"),
            (0, "a length that tells too little"),
        ]
        for length, label in cases:
            with self.subTest(label):
                self.assertEqual(StdAstFileSystem(Files(length)).all_files(),
                                 ["a.py"])


class InterruptedReadTest(unittest.TestCase):
    # A read blocked on a FIFO, in open() (no writer) or in read() (a writer
    # that writes nothing), gets a signal sent from a timer thread to the main
    # thread. A handler that raises ends the read with its exception (Ctrl-C's
    # KeyboardInterrupt, not an OSError, and not held back until the writer
    # closes); one that returns runs during the read, which goes on and takes
    # what the writer then writes. Every wait of the writer is bounded at 5 s
    # and recorded: one that gives up shows a handler or an exception held
    # back until the writer acted.
    SCENARIOS = """
        import errno, json, os, signal, sys, threading, time
        import trelk_rs

        filesystem = trelk_rs.StdAstFileSystem([])
        main = threading.main_thread().ident
        directory = sys.argv[1]

        def open_writer(fifo, give_up):
            # Opens without blocking once a reader is there.
            deadline = time.monotonic() + 5
            while not give_up.is_set() and time.monotonic() < deadline:
                try:
                    return os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
                except OSError as error:
                    if error.errno != errno.ENXIO:
                        raise
                time.sleep(0.01)
            return None

        def scenario(blocked_in, handler):
            fifo = os.path.join(directory, blocked_in + "-" + handler + ".py")
            os.mkfifo(fifo)
            finished = threading.Event()
            handled = threading.Event()
            # Whether each wait of the writer saw its event in time.
            waits = []
            if handler == "raises":
                number = signal.SIGINT
                signal.signal(number, signal.default_int_handler)
            else:
                number = signal.SIGUSR1
                signal.signal(number, lambda signum, frame: handled.set())

            def writer():
                fd = None
                if blocked_in == "read":
                    fd = os.open(fifo, os.O_WRONLY)
                time.sleep(0.3)
                signal.pthread_kill(main, number)
                if handler == "returns":
                    # The handler must run while the read still waits.
                    waits.append(handled.wait(5))
                    if fd is None:
                        fd = open_writer(fifo, finished)
                        waits.append(fd is not None)
                    if fd is not None:
                        os.write(fd, b"written after the signal")
                else:
                    # The read must end without the writer closing.
                    waits.append(finished.wait(5))
                if fd is not None:
                    os.close(fd)

            thread = threading.Thread(target=writer, daemon=True)
            thread.start()
            outcome, late = "interrupted before an outcome", False
            try:
                try:
                    outcome = filesystem.read_to_string(fifo)
                except KeyboardInterrupt:
                    outcome = "KeyboardInterrupt"
                except OSError as error:
                    outcome = "OSError: %s" % error
                finished.set()
                # A signal whose handler did not run during the call runs here.
                time.sleep(0.1)
            except KeyboardInterrupt:
                late = True
            finished.set()
            thread.join(10)
            signal.signal(signal.SIGINT, signal.default_int_handler)
            signal.signal(signal.SIGUSR1, signal.SIG_DFL)
            return {"outcome": outcome, "late interrupt": late,
                    "writer's waits": waits}

        results = {}
        for blocked_in in ("open", "read"):
            for handler in ("raises", "returns"):
                results[blocked_in + ", handler " + handler] = scenario(
                    blocked_in, handler)
        print(json.dumps(results))
    """

    def test_signal_handlers_run_during_a_blocked_read(self):
        with tempfile.TemporaryDirectory() as directory:
            completed = run_child(self.SCENARIOS, directory, timeout=60)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        results = json.loads(completed.stdout)
        expected = {
            "open, handler raises": {"outcome": "KeyboardInterrupt",
                                     "late interrupt": False,
                                     "writer's waits": [True]},
            "open, handler returns": {"outcome": "written after the signal",
                                      "late interrupt": False,
                                      "writer's waits": [True, True]},
            "read, handler raises": {"outcome": "KeyboardInterrupt",
                                     "late interrupt": False,
                                     "writer's waits": [True]},
            "read, handler returns": {"outcome": "written after the signal",
                                      "late interrupt": False,
                                      "writer's waits": [True]},
        }
        self.assertEqual(results.keys(), expected.keys())
        for label, result in results.items():
            with self.subTest(label):
                self.assertEqual(result, expected[label])


# A write lease held on a file makes every other open() of it block until the
# holder lets go (or the system's lease-break time, 45 s by default, ends),
# and tells the holder by a signal of its choice that the open began: a read
# of a regular file that blocks, as one on a slow network file system does,
# with a signal at the moment it blocks. The constants are Linux's.
LEASE = """
    import fcntl, os, signal, sys
    F_SETSIG, F_SETLEASE = 10, 1024

    def hold_lease(path, number):
        holder = os.open(path, os.O_WRONLY)
        fcntl.fcntl(holder, fcntl.F_SETOWN, os.getpid())
        fcntl.fcntl(holder, F_SETSIG, number)
        try:
            fcntl.fcntl(holder, F_SETLEASE, fcntl.F_WRLCK)
        except OSError:
            print("no lease")
            sys.exit(0)
        return holder

    def let_go(holder):
        fcntl.fcntl(holder, F_SETLEASE, fcntl.F_UNLCK)
"""


class BlockedCacheReadTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.path = os.path.join(self.tmp.name, "a.py")
        with open(self.path, "w") as f:
            f.write("def f(): pass\n")

    def run_lease_child(self, script):
        # The bound ends a child that waits for the lease-break time.
        result = run_child(textwrap.dedent(LEASE) + textwrap.dedent(script),
                           self.path,
                           timeout=30)
        if result.stdout == "no lease\n":
            self.skipTest("this file system grants no leases")
        self.assertEqual(result.stderr, "")
        return result.stdout

    def test_ctrl_c_ends_a_blocked_get_parsed_file_and_is_not_kept(self):
        # The lease's signal is SIGINT itself: Ctrl-C as the open blocks.
        # Before, the read went on after the handler and KeyboardInterrupt
        # came only when the lease-break time let the open through.
        stdout = self.run_lease_child("""
            from trelk_rs import AstFileParserCache
            path = sys.argv[1]
            cache = AstFileParserCache([path], os.path.dirname(path))
            holder = hold_lease(path, signal.SIGINT)
            try:
                cache.get_parsed_file(path)
                print("read")
            except KeyboardInterrupt:
                print("KeyboardInterrupt")
            let_go(holder)
            print(cache.get_parsed_file(path)[1], end="")
        """)
        self.assertEqual(stdout, "KeyboardInterrupt\ndef f(): pass\n")

    def test_a_fork_during_a_workers_read_leaves_the_child_answering(self):
        # The worker blocks opening a.py; the lease's signal says it did,
        # and the process forks. Before, the child's query waited forever for
        # the worker, which does not exist in the child.
        stdout = self.run_lease_child("""
            import warnings
            from trelk_rs import AstProjectIndex
            path = sys.argv[1]
            signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR1})
            holder = hold_lease(path, signal.SIGUSR1)
            index = AstProjectIndex([path], os.path.dirname(path))
            index.nonblocking_start_index()
            if signal.sigtimedwait({signal.SIGUSR1}, 20) is None:
                sys.exit("the worker never opened the file")
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", DeprecationWarning)
                pid = os.fork()
            if pid == 0:
                found = index.function_ast_in_file(path, "f")
                os.write(1, (found.resolver_name + "\\n").encode())
                os._exit(0)
            let_go(holder)
            _, status = os.waitpid(pid, 0)
            print("child exit", os.waitstatus_to_exitcode(status))
            print(index.function_ast_in_file(path, "f").resolver_name)
        """)
        self.assertEqual(stdout, "f\nchild exit 0\nf\n")


@unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
class ParseCheckOutputTest(unittest.TestCase):
    # parse_check ends with status 3 and says why on standard error when its
    # output cannot be written; 1 would mean that a file had errors.
    def setUp(self):
        self.tool = os.environ.get("TRELK_PARSE_CHECK")
        if not self.tool:
            self.skipTest("TRELK_PARSE_CHECK is not set")
        self.directory = tempfile.TemporaryDirectory()
        self.source = os.path.join(self.directory.name, "f.py")
        with open(self.source, "w") as file:
            file.write("x = 'a'  # c\n")

    def tearDown(self):
        self.directory.cleanup()

    def run_tool(self, mode, stdout):
        return subprocess.run([self.tool, *mode, self.source], stdout=stdout,
                              stderr=subprocess.PIPE, text=True, timeout=60)

    def test_a_failed_write_is_a_failure(self):
        modes = [["--tokens"], ["--strings"], ["--comments"],
                 ["--module-tree"], []]
        for mode in modes:
            with self.subTest(mode=mode):
                with open("/dev/full", "w") as full:
                    completed = self.run_tool(mode, full)
                self.assertEqual(completed.returncode, 3, completed.stderr)
                self.assertEqual(
                    completed.stderr,
                    "parse_check: cannot write standard output: "
                    "No space left on device\n")
                written = self.run_tool(mode, subprocess.PIPE)
                self.assertEqual(written.returncode, 0, written.stderr)
                self.assertNotEqual(written.stdout, "")


class ParseCheckManyFilesTest(unittest.TestCase):
    # One run over several files prints, for each, what a run over it alone
    # prints, then a NUL line; a file that cannot be read says so in its
    # place, and the files after it are still read.
    def test_each_file_as_alone_and_a_nul_line(self):
        tool = os.environ.get("TRELK_PARSE_CHECK")
        if not tool:
            self.skipTest("TRELK_PARSE_CHECK is not set")
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        contents = [b"x = 'a\\n'  # c\n", b"def f(:\n  f'{x!r:>{w}}'\n",
                    b"\xff\n", b"", b"class C: pass"]
        paths = []
        for number, data in enumerate(contents):
            paths.append(os.path.join(directory.name, f"{number}.py"))
            with open(paths[-1], "wb") as file:
                file.write(data)
        for mode in ("--tokens", "--strings", "--comments", "--module-tree"):
            with self.subTest(mode=mode):
                expected = b""
                for path in paths:
                    alone = subprocess.run([tool, mode, path],
                                           capture_output=True, timeout=60)
                    if alone.returncode == 1:
                        self.assertIn(b"valid UTF-8", alone.stderr)
                        alone.stdout = (b"unreadable: stream did not contain "
                                        b"valid UTF-8\n")
                    expected += alone.stdout + b"\0\n"
                together = subprocess.run([tool, mode, *paths],
                                          capture_output=True, timeout=60)
                self.assertEqual(together.returncode, 1, together.stderr)
                self.assertEqual(together.stdout, expected)
                # More than the NUL lines and the unreadable file's line.
                self.assertGreater(expected.count(b"\n"), len(paths) + 1)


class ParseCheckMemoryTest(unittest.TestCase):
    # parse_check under a 128 MiB address-space limit: a file whose text does
    # not fit (2 GiB, sparse, so that it takes no disk) is unreadable, one
    # whose text fits but whose parse does not (8 MiB of short lines) failed,
    # each with the same text, and the good file after them is still ok.
    LIMIT = 128 << 20

    def setUp(self):
        self.tool = os.environ.get("TRELK_PARSE_CHECK")
        if not self.tool:
            self.skipTest("TRELK_PARSE_CHECK is not set")
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.paths = {name: os.path.join(directory.name, name)
                      for name in ("huge.py", "big.py", "good.py")}
        with open(self.paths["huge.py"], "wb") as file:
            file.truncate(2 << 30)
        with open(self.paths["big.py"], "w") as file:
            file.write("x = [1, 2, 3]\n" * (600 << 10))
        with open(self.paths["good.py"], "w") as file:
            file.write("x = 1\n")

    def test_exhausted_memory_fails_one_file_and_goes_on(self):
        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (self.LIMIT, self.LIMIT))

        completed = subprocess.run(
            [self.tool, *self.paths.values()], capture_output=True, text=True,
            timeout=120, preexec_fn=limit)
        self.assertEqual(completed.returncode, 1, completed.stderr)
        self.assertEqual(completed.stdout.splitlines(), [
            self.paths["huge.py"] + ": unreadable: memory allocation failed",
            self.paths["big.py"] + ": failed: memory allocation failed",
            self.paths["good.py"] + ": ok",
        ])


if __name__ == "__main__":
    unittest.main()
