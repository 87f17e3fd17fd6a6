"""Module-level behaviour: registration, class properties, argument binding."""

import subprocess
import unittest
import weakref

import trelk_rs
from test_stub import parse_stub, stub_all

# The registration order of the module body is the stub's `__all__`, which
# test_stub holds to the stub's own classes and functions.
REGISTRATION_ORDER = stub_all(parse_stub())

SERVICE_CLASSES = ["StdAstFileSystem", "AstFileParserCache", "AstProjectIndex"]


class RegistrationTest(unittest.TestCase):
    def test_all_lists_the_registered_names_in_registration_order(self):
        self.assertIsInstance(trelk_rs.__all__, list)
        self.assertEqual(trelk_rs.__all__, REGISTRATION_ORDER)
        self.assertIn("StdAstFileSystem", trelk_rs.__all__)

    def test_module_has_empty_documentation(self):
        self.assertEqual(trelk_rs.__doc__, "")

    def test_functions_are_bound_to_the_module(self):
        for name in trelk_rs.__all__:
            value = getattr(trelk_rs, name)
            if isinstance(value, type):
                continue
            with self.subTest(name):
                self.assertIs(value.__self__, trelk_rs)
                self.assertEqual(value.__module__, "trelk_rs")

    def test_only_the_entry_point_is_exported(self):
        output = subprocess.run(
            ["nm", "-D", "--defined-only", trelk_rs.__file__],
            check=True, capture_output=True, text=True).stdout
        symbols = [line.split()[-1] for line in output.splitlines() if line.strip()]
        self.assertEqual(symbols, ["PyInit_trelk_rs"])


class ClassPropertiesTest(unittest.TestCase):
    def classes(self):
        return [getattr(trelk_rs, name) for name in trelk_rs.__all__
                if isinstance(getattr(trelk_rs, name), type)]

    def test_classes_report_builtins_and_their_bare_name(self):
        for cls in self.classes():
            with self.subTest(cls.__name__):
                self.assertEqual(cls.__module__, "builtins")
                self.assertEqual(cls.__qualname__, cls.__name__)
                self.assertIs(cls.__base__, object)

    def test_classes_cannot_be_subclassed(self):
        for cls in self.classes():
            with self.subTest(cls.__name__):
                with self.assertRaises(TypeError):
                    type("Derived", (cls,), {})

    def test_service_class_signature_and_documentation(self):
        signatures = {
            "StdAstFileSystem": "(files)",
            "AstFileParserCache": "(files, project_root, filesystem=None)",
            "AstProjectIndex": "(files, project_root, filesystem=None)",
        }
        for name in SERVICE_CLASSES:
            cls = getattr(trelk_rs, name)
            with self.subTest(name):
                self.assertEqual(cls.__text_signature__, signatures[name])
                # The documentation is only the signature block, which the
                # interpreter strips from __doc__.
                self.assertEqual(cls.__doc__, "")

    def test_method_signatures(self):
        cls = trelk_rs.StdAstFileSystem
        self.assertEqual(cls.all_files.__text_signature__, "($self)")
        self.assertEqual(cls.read_to_string.__text_signature__, "($self, path)")
        self.assertIsNone(cls.all_files.__doc__)

    def test_instances_have_no_dict_and_no_weak_references(self):
        instance = trelk_rs.StdAstFileSystem([])
        with self.assertRaises(AttributeError):
            instance.anything = 1
        self.assertFalse(hasattr(instance, "__dict__"))
        with self.assertRaises(TypeError):
            weakref.ref(instance)


class PanicExceptionTest(unittest.TestCase):
    def test_is_not_a_module_attribute(self):
        self.assertFalse(hasattr(trelk_rs, "PanicException"))


if __name__ == "__main__":
    unittest.main()
