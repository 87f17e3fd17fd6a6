"""AstFileParserCache from Python, on a fixture project in a temporary
directory: parsed files, import maps, stored failures, file systems."""

import os
import re
import tempfile
import threading
import unittest

from trelk_rs import AstFileParserCache, StdAstFileSystem

FILES = {
    "pkg/__init__.py": "",
    "pkg/imports.py": (
        "from a.b import c as d, e\n"
        "from a.b import c\n"
        "from . import x\n"
        "from .m import y\n"
        "import os\n"
        "if t:\n"
        "    from hidden import z\n"
        "from m import n as b, n as B, n as a\n"
        "from star import *\n"
    ),
    "pkg/plain.py": "import os\nx = 1\n",
    "pkg/bad.py": "def f(:\n    pass\n",
    "dir with space/mod.py": "from trelk import online\n",
    "caf\u00e9/mod.py": "from trelk.features import features as f\n",
}


class ParseCacheTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        for name, text in FILES.items():
            path = os.path.join(self.root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
        self.paths = [os.path.join(self.root, name) for name in FILES]

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def cache(self, **kwargs):
        return AstFileParserCache(self.paths, self.root, **kwargs)

    def test_parsed_file_is_path_text_and_import_map(self):
        cache = self.cache()
        path = self.path("pkg/imports.py")
        self.assertEqual(
            cache.get_parsed_file(path),
            (path, FILES["pkg/imports.py"], {
                "a.b": {"c": ["c", "d"], "e": ["e"]},
                "m": {"n": ["B", "a", "b"]},
                "star": {"*": ["*"]},
            }))

    def test_files_without_from_imports_give_an_empty_map(self):
        cache = self.cache()
        for name in ("pkg/plain.py", "pkg/__init__.py"):
            with self.subTest(name=name):
                _, text, imports = cache.get_parsed_file(self.path(name))
                self.assertEqual(text, FILES[name])
                self.assertEqual(imports, {})

    def test_directories_with_a_space_and_a_non_ascii_name(self):
        cache = self.cache()
        self.assertEqual(
            cache.get_parsed_file(self.path("dir with space/mod.py"))[2],
            {"trelk": {"online": ["online"]}})
        self.assertEqual(
            cache.get_parsed_file(self.path("caf\u00e9/mod.py"))[2],
            {"trelk.features": {"features": ["f"]}})

    def test_read_failure_is_kept_even_after_the_file_appears(self):
        cache = self.cache()
        missing = self.path("pkg/missing.py")
        with self.assertRaises(ValueError) as first:
            cache.get_parsed_file(missing)
        message = first.exception.args[0]
        self.assertEqual(
            message,
            f"Failed to read {missing}: No such file or directory (os error 2)")
        with open(missing, "w") as f:
            f.write("x = 1\n")
        with self.assertRaises(ValueError) as second:
            cache.get_parsed_file(missing)
        self.assertEqual(second.exception.args, (message,))
        self.assertIsNot(type(second.exception), FileNotFoundError)

    def test_read_failures_carry_the_file_systems_text(self):
        not_utf8 = self.path("pkg/latin1.py")
        with open(not_utf8, "wb") as f:
            f.write(b"x = '\xe9'\n")
        directory = self.path("pkg")
        cases = [
            (not_utf8, "stream did not contain valid UTF-8"),
            ("a\0b.py", "file name contained an unexpected NUL byte"),
            (directory, "Is a directory (os error 21)"),
            ("", "No such file or directory (os error 2)"),
        ]
        cache = self.cache()
        for path, error in cases:
            with self.subTest(path=path):
                with self.assertRaises(ValueError) as raised:
                    cache.get_parsed_file(path)
                self.assertEqual(raised.exception.args,
                                 (f"Failed to read {path}: {error}",))

    def test_text_is_returned_as_read(self):
        path = self.path("pkg/bom.py")
        text = "\ufeff# c\r\nfrom a import b\rx = 1\n"
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        self.assertEqual(self.cache().get_parsed_file(path),
                         (path, text, {"a": {"b": ["b"]}}))

    def test_parse_failure_is_kept_even_after_the_file_is_repaired(self):
        cache = self.cache()
        bad = self.path("pkg/bad.py")
        with self.assertRaises(ValueError) as first:
            cache.get_parsed_file(bad)
        message = first.exception.args[0]
        self.assertTrue(message.startswith(f"Failed to parse {bad}: "),
                        message)
        self.assertRegex(message, r" at byte range \d+\.\.\d+\Z")
        with open(bad, "w") as f:
            f.write("x = 1\n")
        with self.assertRaises(ValueError) as second:
            cache.get_parsed_file(bad)
        self.assertEqual(second.exception.args, (message,))

    def test_same_path_gives_equal_results_of_distinct_objects(self):
        cache = self.cache()
        path = self.path("pkg/imports.py")
        first = cache.get_parsed_file(path)
        second = cache.get_parsed_file(path)
        self.assertEqual(first, second)
        self.assertIsNot(first, second)
        self.assertIsNot(first[2], second[2])
        self.assertIsNot(first[2]["a.b"]["c"], second[2]["a.b"]["c"])

    def test_a_path_and_its_dotted_form_are_two_entries(self):
        cwd = os.getcwd()
        os.chdir(self.root)
        try:
            cache = AstFileParserCache([], self.root)
            plain = cache.get_parsed_file("pkg/plain.py")
            dotted = cache.get_parsed_file("./pkg/plain.py")
            self.assertEqual(plain[0], "pkg/plain.py")
            self.assertEqual(dotted[0], "./pkg/plain.py")
            # Repair-proof: an entry is never re-read, so changing the file
            # shows which path texts share an entry.
            with open("pkg/plain.py", "w") as f:
                f.write("y = 2\n")
            self.assertEqual(cache.get_parsed_file("pkg/plain.py")[1],
                             FILES["pkg/plain.py"])
            self.assertEqual(cache.get_parsed_file("pkg//plain.py")[1],
                             "y = 2\n")
        finally:
            os.chdir(cwd)

    def test_unlisted_paths_are_read_all_the_same(self):
        cache = AstFileParserCache([], self.root)
        self.assertEqual(cache.all_files(), [])
        self.assertEqual(cache.get_parsed_file(self.path("pkg/plain.py"))[1],
                         FILES["pkg/plain.py"])

    def test_listing_without_a_file_system(self):
        cache = AstFileParserCache(["b.py", "a.py", "c.txt", "a.py"], "/r")
        self.assertEqual(cache.all_files(), ["a.py", "b.py"])
        self.assertEqual(cache.all_files(), cache.all_files())
        self.assertIsNot(cache.all_files(), cache.all_files())

    def test_a_given_file_system_replaces_files(self):
        fs = StdAstFileSystem(["z.py", "y.py"])
        for filesystem in (fs, None):
            with self.subTest(filesystem=filesystem):
                cache = AstFileParserCache(["b.py", "a.py"], "/r", filesystem)
                expected = ["y.py", "z.py"] if filesystem else ["a.py", "b.py"]
                self.assertEqual(cache.all_files(), expected)
        by_keyword = AstFileParserCache([], "/r", filesystem=fs)
        self.assertEqual(by_keyword.all_files(), ["y.py", "z.py"])
        # One file system serves several caches.
        self.assertEqual(AstFileParserCache([], "/s", fs).all_files(),
                         ["y.py", "z.py"])

    def test_files_is_still_checked_when_a_file_system_is_given(self):
        fs = StdAstFileSystem([])
        with self.assertRaises(TypeError) as raised:
            AstFileParserCache("a.py", "/r", fs)
        self.assertEqual(str(raised.exception),
                         "argument 'files': Can't extract `str` to `Vec`")
        with self.assertRaises(TypeError) as raised:
            AstFileParserCache(["a.py", 3], "/r", fs)
        self.assertEqual(
            str(raised.exception),
            "argument 'files': 'int' object is not an instance of 'str'")

    def test_argument_errors(self):
        cases = [
            ((), {}, "AstFileParserCache.__new__() missing 2 required "
                     "positional arguments: 'files' and 'project_root'"),
            (([],), {}, "AstFileParserCache.__new__() missing 1 required "
                        "positional argument: 'project_root'"),
            (([], "/r", None, 4), {},
             "AstFileParserCache.__new__() takes from 2 to 3 positional "
             "arguments but 4 were given"),
            (([], 1), {},
             "argument 'project_root': 'int' object is not an instance of "
             "'str'"),
            (([], "/r", 1), {},
             "argument 'filesystem': 'int' object is not an instance of "
             "'StdAstFileSystem'"),
            (([], "/r"), {"fs": None},
             "AstFileParserCache.__new__() got an unexpected keyword "
             "argument 'fs'"),
        ]
        for args, kwargs, message in cases:
            with self.subTest(args=args, kwargs=kwargs):
                with self.assertRaises(TypeError) as raised:
                    AstFileParserCache(*args, **kwargs)
                self.assertEqual(str(raised.exception), message)
        cache = AstFileParserCache([], "/r")
        with self.assertRaises(TypeError) as raised:
            cache.get_parsed_file()
        self.assertEqual(
            str(raised.exception),
            "AstFileParserCache.get_parsed_file() missing 1 required "
            "positional argument: 'path'")
        with self.assertRaises(TypeError) as raised:
            cache.get_parsed_file(b"a.py")
        self.assertEqual(
            str(raised.exception),
            "argument 'path': 'bytes' object is not an instance of 'str'")
        with self.assertRaises(TypeError):
            cache.all_files(1)

    def test_class_properties(self):
        self.assertEqual(AstFileParserCache.__text_signature__,
                         "(files, project_root, filesystem=None)")
        self.assertEqual(AstFileParserCache.get_parsed_file.__text_signature__,
                         "($self, path)")
        self.assertEqual(AstFileParserCache.__module__, "builtins")
        with self.assertRaises(TypeError):
            class Sub(AstFileParserCache):
                pass
        with self.assertRaises(AttributeError):
            AstFileParserCache([], "/r").extra = 1

    def test_threads_share_one_parse(self):
        cache = self.cache()
        path = self.path("pkg/imports.py")
        results = []

        def work():
            results.append(cache.get_parsed_file(path))

        threads = [threading.Thread(target=work) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(len(results), 8)
        for result in results:
            self.assertEqual(result, results[0])


if __name__ == "__main__":
    unittest.main()
