"""StdAstFileSystem from Python: listing, reading, argument and I/O errors."""

import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

import trelk_rs
from trelk_rs import StdAstFileSystem


class StrSubclass(str):
    pass


class TypeErrorSubclass(TypeError):
    pass


class FailingSequence:
    """A sequence whose length fails and whose iteration raises mid-way."""

    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, index):
        if index == 0:
            return "a.py"
        raise TypeErrorSubclass("broken item")


class LengthlessSequence:
    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, index):
        if index < 2:
            return ["b.py", "a.py"][index]
        raise IndexError(index)


class ListingTest(unittest.TestCase):
    def test_listing_is_filtered_sorted_and_deduplicated(self):
        cases = [
            (["b.py", "a.py", "b.py", "c.txt"], ["a.py", "b.py"]),
            (("b.py", "a.py"), ["a.py", "b.py"]),
            ([], []),
            (["b.py", "a.py", "b.py", "c.txt", ".py", "d.PY"], ["a.py", "b.py"]),
            (["pkg/a.py/", "pkg/a.py/.", "pkg/..", "..py"],
             ["..py", "pkg/a.py/", "pkg/a.py/."]),
            (["B.py", "a.py", "a.pyi", "a.py.bak", "a.py."], ["B.py", "a.py"]),
            ([StrSubclass("s.py")], ["s.py"]),
            (LengthlessSequence(), ["a.py", "b.py"]),
        ]
        for files, expected in cases:
            with self.subTest(files=files):
                self.assertEqual(StdAstFileSystem(files).all_files(), expected)

    def test_each_listing_is_a_new_list(self):
        fs = StdAstFileSystem(["a.py"])
        first, second = fs.all_files(), fs.all_files()
        self.assertEqual(first, second)
        self.assertIsNot(first, second)
        first.append("changed.py")
        self.assertEqual(fs.all_files(), ["a.py"])


class ArgumentErrorTest(unittest.TestCase):
    def assert_type_error(self, call, text):
        with self.assertRaises(TypeError) as caught:
            call()
        self.assertIs(type(caught.exception), TypeError)
        self.assertEqual(caught.exception.args, (text,))

    def test_constructor_binding_and_conversion_texts(self):
        cases = [
            (lambda: StdAstFileSystem(),
             "StdAstFileSystem.__new__() missing 1 required positional argument: 'files'"),
            (lambda: StdAstFileSystem([], []),
             "StdAstFileSystem.__new__() takes 1 positional arguments but 2 were given"),
            (lambda: StdAstFileSystem(file=[]),
             "StdAstFileSystem.__new__() got an unexpected keyword argument 'file'"),
            (lambda: StdAstFileSystem([], files=[]),
             "StdAstFileSystem.__new__() got multiple values for argument 'files'"),
            (lambda: StdAstFileSystem("a.py"),
             "argument 'files': Can't extract `str` to `Vec`"),
            (lambda: StdAstFileSystem(StrSubclass("a.py")),
             "argument 'files': Can't extract `str` to `Vec`"),
            (lambda: StdAstFileSystem(["a.py", 3]),
             "argument 'files': 'int' object is not an instance of 'str'"),
            (lambda: StdAstFileSystem({"a.py"}),
             "argument 'files': 'set' object is not an instance of 'Sequence'"),
            (lambda: StdAstFileSystem(None),
             "argument 'files': 'None' is not an instance of 'Sequence'"),
            (lambda: StdAstFileSystem([b"a.py"]),
             "argument 'files': 'bytes' object is not an instance of 'str'"),
        ]
        for call, text in cases:
            with self.subTest(text):
                self.assert_type_error(call, text)

    def test_constructor_accepts_its_parameter_by_keyword(self):
        self.assertEqual(StdAstFileSystem(files=["a.py"]).all_files(), ["a.py"])

    def test_method_binding_and_conversion_texts(self):
        fs = StdAstFileSystem([])
        cases = [
            (lambda: fs.read_to_string(),
             "StdAstFileSystem.read_to_string() missing 1 required positional argument: 'path'"),
            (lambda: fs.read_to_string("a", "b"),
             "StdAstFileSystem.read_to_string() takes 1 positional arguments but 2 were given"),
            (lambda: fs.read_to_string(paths="a"),
             "StdAstFileSystem.read_to_string() got an unexpected keyword argument 'paths'"),
            (lambda: fs.read_to_string("a", path="b"),
             "StdAstFileSystem.read_to_string() got multiple values for argument 'path'"),
            (lambda: fs.read_to_string(1),
             "argument 'path': 'int' object is not an instance of 'str'"),
            (lambda: fs.read_to_string(None),
             "argument 'path': 'None' is not an instance of 'str'"),
        ]
        for call, text in cases:
            with self.subTest(text):
                self.assert_type_error(call, text)

    def test_all_files_takes_no_arguments(self):
        fs = StdAstFileSystem([])
        with self.assertRaises(TypeError) as caught:
            fs.all_files(1)
        self.assertIn("takes no arguments", str(caught.exception))

    def test_unpaired_surrogate_raises_unicode_encode_error(self):
        with self.assertRaises(UnicodeEncodeError):
            StdAstFileSystem(["\ud800.py"])
        with self.assertRaises(UnicodeEncodeError):
            StdAstFileSystem([]).read_to_string("\udc00")

    def test_exceptions_raised_while_iterating_pass_unchanged(self):
        # A TypeError subclass is not renamed after the argument.
        with self.assertRaises(TypeErrorSubclass) as caught:
            StdAstFileSystem(FailingSequence())
        self.assertEqual(caught.exception.args, ("broken item",))

    def test_renamed_error_keeps_the_original_cause(self):
        class Items:
            def __len__(self):
                return 1

            def __getitem__(self, index):
                try:
                    raise KeyError("inner")
                except KeyError as inner:
                    raise TypeError("outer") from inner

        with self.assertRaises(TypeError) as caught:
            StdAstFileSystem(Items())
        self.assertEqual(caught.exception.args, ("argument 'files': outer",))
        self.assertIsInstance(caught.exception.__cause__, KeyError)


class ReadTest(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.root = self.directory.name
        self.fs = StdAstFileSystem([])

    def tearDown(self):
        self.directory.cleanup()

    def write(self, name, data):
        path = os.path.join(self.root, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def assert_os_error(self, path, text):
        with self.assertRaises(OSError) as caught:
            self.fs.read_to_string(path)
        self.assertIs(type(caught.exception), OSError)
        self.assertEqual(caught.exception.args, (text,))
        self.assertIsNone(caught.exception.errno)
        self.assertIsNone(caught.exception.strerror)

    def test_reads_any_path_unchanged(self):
        cases = [
            ("plain.py", b"x = 1\r\ny = 2\rz\n"),
            ("bom.py", b"\xef\xbb\xbfx = 1\n"),
            ("empty.py", b""),
            ("nul.py", b"a\x00b"),
            ("utf8.txt", "é€😀".encode()),
        ]
        for name, data in cases:
            with self.subTest(name):
                path = self.write(name, data)
                self.assertEqual(self.fs.read_to_string(path), data.decode())
                self.assertEqual(self.fs.read_to_string(path=path), data.decode())

    def test_a_byte_order_mark_is_kept_as_the_first_character(self):
        path = self.write("bom.py", b"\xef\xbb\xbfpass\n")
        self.assertEqual(self.fs.read_to_string(path)[0], "\ufeff")

    def test_relative_paths_resolve_against_the_working_directory(self):
        self.write("rel.py", b"relative\n")
        previous = os.getcwd()
        os.chdir(self.root)
        try:
            self.assertEqual(self.fs.read_to_string("rel.py"), "relative\n")
        finally:
            os.chdir(previous)

    def test_io_error_texts(self):
        invalid = [
            ("latin1.py", b"caf\xe9\n"),
            ("surrogate.py", b"\xed\xa0\x80"),
            ("overlong.py", b"\xc0\xaf"),
            ("truncated.py", b"ok\xe2\x82"),
        ]
        for name, data in invalid:
            with self.subTest(name):
                self.assert_os_error(self.write(name, data),
                                     "stream did not contain valid UTF-8")
        missing = os.path.join(self.root, "missing.py")
        self.assert_os_error(missing, "No such file or directory (os error 2)")
        self.assert_os_error("", "No such file or directory (os error 2)")
        self.assert_os_error(self.root, "Is a directory (os error 21)")
        self.assert_os_error("a\x00b.py", "file name contained an unexpected NUL byte")


class InterpreterLockTest(unittest.TestCase):
    def test_lock_is_released_while_reading(self):
        # A reader thread blocks inside read_to_string on a FIFO until the
        # main thread opens it for writing. If the read held the interpreter
        # lock, the main thread could never run, and the child would hang
        # until the timeout below.
        script = textwrap.dedent("""
            import os, sys, threading
            import trelk_rs
            fifo = sys.argv[1]
            result = []
            reader = threading.Thread(
                target=lambda: result.append(
                    trelk_rs.StdAstFileSystem([]).read_to_string(fifo)))
            reader.start()
            fd = os.open(fifo, os.O_WRONLY)
            os.write(fd, b"written through the fifo")
            os.close(fd)
            reader.join(timeout=30)
            print(result[0] if result else "reader did not finish")
        """)
        with tempfile.TemporaryDirectory() as root:
            fifo = os.path.join(root, "pipe.py")
            os.mkfifo(fifo)
            completed = subprocess.run(
                [sys.executable, "-c", script, fifo], capture_output=True,
                text=True, timeout=60, env=dict(os.environ))
        self.assertEqual(completed.returncode, 0, completed.stderr)
        self.assertEqual(completed.stdout.strip(), "written through the fifo")


if __name__ == "__main__":
    unittest.main()
