"""The module across the life of its interpreter: daemon threads inside
calls while the interpreter ends, and subinterpreters. Each case runs in a
child process, so that an abort or a crash is seen as the child's status
instead of ending this runner."""

import concurrent.futures
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest


def run_child(script, *args, timeout=120):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(script), *args],
        capture_output=True, text=True, timeout=timeout, env=dict(os.environ))


class ExitWithDaemonThreadsTest(unittest.TestCase):
    # Daemon threads loop on calls that release the interpreter lock, and
    # the main thread ends as soon as each has made one call. The
    # interpreter ends a thread that takes the lock back after it began to
    # finalise; that must end only the thread, never the process, whichever
    # call the thread is in, and also where the thread is inside Python code
    # that a call runs.
    CHILD = """
        import sys, threading
        import trelk_rs

        root, path = sys.argv[1], sys.argv[2]
        name = "HTTPServerX" * 2000
        files = ["%s/m%d.py" % (root, i) for i in range(2000)]
        filesystem = trelk_rs.StdAstFileSystem([path])

        class Files:
            # Python code that native code runs with the lock held, and in
            # which the interpreter may end the thread.
            def __len__(self):
                return 2000

            def __getitem__(self, index):
                if index >= 2000:
                    raise IndexError(index)
                return "m%d.py" % index

        calls = [
            lambda: trelk_rs.to_snake_case(name),
            lambda: trelk_rs.AstFileParserCache([path], root)
                        .get_parsed_file(path),
            lambda: trelk_rs.AstProjectIndex(files, root),
            lambda: trelk_rs.parse_iso_date("2024-01-02"),
            lambda: filesystem.read_to_string(path),
            lambda: trelk_rs.StdAstFileSystem(Files()),
        ]
        started = threading.Barrier(len(calls) + 1)

        def loop(call):
            call()
            started.wait()
            while True:
                call()

        for call in calls:
            threading.Thread(target=loop, args=(call,), daemon=True).start()
        started.wait()
    """
    RUNS = 240
    PARALLEL = 4

    def test_the_process_exits_with_its_own_status(self):
        with tempfile.TemporaryDirectory() as root:
            path = os.path.join(root, "m.py")
            with open(path, "w", encoding="utf-8") as f:
                f.write("def f(a: int) -> int:\n    return a\n" * 400)
            with concurrent.futures.ThreadPoolExecutor(self.PARALLEL) as pool:
                runs = list(pool.map(
                    lambda _: run_child(self.CHILD, root, path),
                    range(self.RUNS)))
        failed = [(run.returncode, run.stderr) for run in runs
                  if run.returncode != 0 or run.stderr]
        self.assertEqual(len(failed), 0,
                         "%d of %d runs failed, the first: %r"
                         % (len(failed), self.RUNS, failed[:1]))


class SubinterpreterTest(unittest.TestCase):
    # The module keeps its class objects, the PanicException type, interned
    # texts and the datetime C API for the life of the process, bound to the
    # interpreter that made them, so it refuses every interpreter but the
    # main one. The main interpreter goes on working, whether it imported
    # the module before or after a subinterpreter tried.
    CHILD = r"""
        import sys
        kind, main_first, outcome_path = sys.argv[1], sys.argv[2], sys.argv[3]
        if main_first == "1":
            import trelk_rs
            trelk_rs.parse_iso_date("2024-01-02")

        code = "\n".join([
            "try:",
            "    import trelk_rs",
            "    trelk_rs.parse_iso_date('2024-01-02')",
            "    outcome = 'imported'",
            "except ImportError as error:",
            "    outcome = 'ImportError: ' + str(error)",
            "with open(%r, 'w') as f:" % outcome_path,
            "    f.write(outcome)",
        ])
        if kind == "run_in_subinterp":
            import _testcapi
            _testcapi.run_in_subinterp(code)
        else:
            import _interpreters
            interpreter = _interpreters.create(kind)
            _interpreters.run_string(interpreter, code)
            _interpreters.destroy(interpreter)

        import datetime
        import trelk_rs
        assert trelk_rs.parse_iso_date("2024-01-02") == datetime.date(2024, 1, 2)
        assert trelk_rs.parse_iso_time("10:00+01:00").utcoffset() == \
            datetime.timedelta(hours=1)
        trelk_rs.parse_datetime("10:00")
        assert trelk_rs.timezone_from_name("UTC") is not None
        assert trelk_rs.StdAstFileSystem(["a.py"]).all_files() == ["a.py"]
        print("main interpreter works")
    """

    def test_only_the_main_interpreter_imports_the_module(self):
        kinds = ["run_in_subinterp", "legacy", "isolated"]
        for kind in kinds:
            for main_first in ("0", "1"):
                with self.subTest(kind=kind, main_first=main_first), \
                        tempfile.TemporaryDirectory() as directory:
                    outcome_path = os.path.join(directory, "outcome")
                    run = run_child(self.CHILD, kind, main_first,
                                    outcome_path)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertEqual(run.stdout, "main interpreter works\n")
                    with open(outcome_path, encoding="utf-8") as f:
                        self.assertEqual(
                            f.read(),
                            "ImportError: module trelk_rs does not support "
                            "loading in subinterpreters")


if __name__ == "__main__":
    unittest.main()
