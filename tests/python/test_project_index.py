"""AstProjectIndex and the four record classes from Python, on a fixture
project in a temporary directory: every query found and not found, every
property with its expected value written out, failing files, argument
binding, the class properties, and background indexing (also in
subprocesses that exit while the workers run)."""

import gc
import os
import re
import subprocess
import sys
import tempfile
import textwrap
import threading
import unittest

from trelk_rs import (AstFileParserCache, AstProjectIndex, FeatureClassAST,
                      FeatureFieldAST, FunctionArgAST, ResolverAST,
                      StdAstFileSystem)

FEATURES = (
    "from trelk.features import features, feature\n"
    "\n"
    "\n"
    '@features(name="users", owner="ops")\n'
    "class User:\n"
    "    id: int\n"
    "    # Name of the user.\n"
    "    # :owner: ops\n"
    "    # :tags: pii, core\n"
    '    name: str = feature(max_staleness="1d")\n'
    "    age = 5\n"
)

RESOLVERS = (
    "from trelk import online\n"
    "\n"
    "\n"
    '@online(cron="1h", tags={"a": 1, "b": x, c: 2})\n'
    "def get_name(uid: int, /, b=1, *args, c, **kw) -> str:\n"
    "    if uid:\n"
    '        return "x"\n'
    '    return "y"\n'
    "\n"
    "\n"
    "def plain(x):\n"
    "    def nested():\n"
    "        return 1\n"
    "    pass\n"
)

OTHER = (
    "from trelk import online\n"
    "from trelk.features import features\n"
    "\n"
    "@features\n"
    "class User:\n"
    "    id: int\n"
    "\n"
    "@online\n"
    "def get_name():\n"
    "    return 1\n"
)

# A byte-order mark before a definition on the first line, and a keyword
# that starts the third line.
EDGES = (
    "\ufeffdef first(): pass\n"
    "@online(\n"
    'owner="x")\n'
    "def second(): pass\n"
    "from trelk import online\n"
)

FILES = {
    "pkg/__init__.py": "",
    "pkg/bad.py": "def get_name(:\n    pass\n",
    "pkg/features.py": FEATURES,
    "pkg/resolvers.py": RESOLVERS,
    "other/mod.py": OTHER,
    "other/script": "from trelk import online\n@online\ndef scripted(): pass\n",
    "edges.py": EDGES,
}
# The index's list: the failing file comes before the ones that define the
# same names, and "other/script" has no .py extension.
ORDER = ["pkg/__init__.py", "pkg/bad.py", "pkg/features.py",
         "pkg/resolvers.py", "other/mod.py", "other/script", "edges.py"]

PROPERTIES = {
    FeatureClassAST: [
        "module", "namespace", "class_name", "source", "class_name_location",
        "class_definition_location", "decorator_location", "kwarg_names",
        "kwargs", "fields", "annotations"],
    FeatureFieldAST: [
        "field_name", "field_name_location", "comment", "description", "owner",
        "tags", "annotation", "feature_call", "kwarg_names", "kwargs"],
    ResolverAST: [
        "module", "resolver_name", "resolver_name_location",
        "decorator_location", "kwarg_names", "kwargs", "kwarg_dict_key_names",
        "kwarg_dict_values", "args_in_order", "args", "return_annotation",
        "missing_return_annotation", "return_statements", "body",
        "return_arg"],
    FunctionArgAST: ["arg_name", "arg_location", "annotation"],
}


def as_data(value):
    """A record, with its nested records, as plain dicts, lists and
    tuples."""
    names = PROPERTIES.get(type(value))
    if names is not None:
        return {name: as_data(getattr(value, name)) for name in names}
    if isinstance(value, dict):
        return {key: as_data(item) for key, item in value.items()}
    if isinstance(value, list):
        return [as_data(item) for item in value]
    return value


def field(name, location, annotation=None, feature_call=None, comment=None,
          description=None, owner=None, tags=(), kwarg_names=None,
          kwargs=None):
    return {
        "field_name": name, "field_name_location": location,
        "comment": comment, "description": description, "owner": owner,
        "tags": list(tags), "annotation": annotation,
        "feature_call": feature_call, "kwarg_names": kwarg_names or {},
        "kwargs": kwargs or {},
    }


ID_FIELD = field("id", (5, 4, 5, 6), annotation=(5, 8, 5, 11))
NAME_FIELD = field(
    "name", (9, 4, 9, 8), annotation=(9, 10, 9, 13),
    feature_call=(9, 16, 9, 43),
    comment="Name of the user.\n:owner: ops\n:tags: pii, core",
    description="Name of the user.", owner="ops", tags=["pii", "core"],
    kwarg_names={"max_staleness": (9, 24, 9, 37)},
    kwargs={"max_staleness": (9, 38, 9, 42)})
AGE_FIELD = field("age", (10, 4, 10, 7), feature_call=(10, 10, 10, 11))

USER = {
    "module": "pkg.features",
    "namespace": "users",
    "class_name": "User",
    "source": FEATURES[FEATURES.index("@features"):],
    "class_name_location": (4, 6, 4, 10),
    "class_definition_location": (4, 0, 4, 11),
    "decorator_location": (3, 1, 3, 36),
    "kwarg_names": {"name": (3, 10, 3, 14), "owner": (3, 24, 3, 29)},
    "kwargs": {"name": (3, 15, 3, 22), "owner": (3, 30, 3, 35)},
    "fields": {"id": ID_FIELD, "name": NAME_FIELD, "age": AGE_FIELD},
    "annotations": [ID_FIELD, NAME_FIELD],
}

OTHER_USER_ID = field("id", (5, 4, 5, 6), annotation=(5, 8, 5, 11))
OTHER_USER = {
    "module": "other.mod",
    "namespace": "user",
    "class_name": "User",
    "source": "@features\nclass User:\n    id: int\n",
    "class_name_location": (4, 6, 4, 10),
    "class_definition_location": (4, 0, 4, 11),
    "decorator_location": (3, 1, 3, 9),
    "kwarg_names": {},
    "kwargs": {},
    "fields": {"id": OTHER_USER_ID},
    "annotations": [OTHER_USER_ID],
}


def arg(name, location, annotation=None):
    return {"arg_name": name, "arg_location": location,
            "annotation": annotation}


GET_NAME = {
    "module": "pkg.resolvers",
    "resolver_name": "get_name",
    "resolver_name_location": (4, 4, 4, 12),
    "decorator_location": (3, 1, 3, 47),
    "kwarg_names": {"cron": (3, 8, 3, 12), "tags": (3, 19, 3, 23)},
    "kwargs": {"cron": (3, 13, 3, 17), "tags": (3, 24, 3, 46)},
    # The key c is a name, not a string literal.
    "kwarg_dict_key_names": {"tags": {"a": (3, 25, 3, 28),
                                      "b": (3, 33, 3, 36)}},
    "kwarg_dict_values": {"tags": {"a": (3, 30, 3, 31), "b": (3, 38, 3, 39)}},
    "args_in_order": ["uid", "b", "args", "c", "kw"],
    "args": {
        "uid": arg("uid", (4, 13, 4, 21), (4, 18, 4, 21)),
        "b": arg("b", (4, 26, 4, 27)),
        "args": arg("args", (4, 31, 4, 36)),
        "c": arg("c", (4, 38, 4, 39)),
        "kw": arg("kw", (4, 41, 4, 45)),
    },
    "return_annotation": (4, 50, 4, 53),
    "missing_return_annotation": None,
    "return_statements": [(6, 8, 6, 18), (7, 4, 7, 14)],
    "body": (5, 4, 7, 14),
    "return_arg": (7, 11, 7, 14),
}

PLAIN = {
    "module": "pkg.resolvers",
    "resolver_name": "plain",
    "resolver_name_location": (10, 4, 10, 9),
    "decorator_location": None,
    "kwarg_names": {},
    "kwargs": {},
    "kwarg_dict_key_names": {},
    "kwarg_dict_values": {},
    "args_in_order": ["x"],
    "args": {"x": arg("x", (10, 10, 10, 11))},
    "return_annotation": None,
    "missing_return_annotation": (10, 12, 10, 13),
    # The nested function's return counts; none is at the top level.
    "return_statements": [(12, 8, 12, 16)],
    "body": (11, 4, 13, 8),
    "return_arg": None,
}

NESTED = {
    "module": "pkg.resolvers",
    "resolver_name": "nested",
    "resolver_name_location": (11, 8, 11, 14),
    "decorator_location": None,
    "kwarg_names": {},
    "kwargs": {},
    "kwarg_dict_key_names": {},
    "kwarg_dict_values": {},
    "args_in_order": [],
    "args": {},
    "return_annotation": None,
    "missing_return_annotation": (11, 16, 11, 17),
    "return_statements": [(12, 8, 12, 16)],
    "body": (12, 8, 12, 16),
    "return_arg": (12, 15, 12, 16),
}

OTHER_GET_NAME = {
    "module": "other.mod",
    "resolver_name": "get_name",
    "resolver_name_location": (8, 4, 8, 12),
    "decorator_location": (7, 1, 7, 7),
    "kwarg_names": {},
    "kwargs": {},
    "kwarg_dict_key_names": {},
    "kwarg_dict_values": {},
    "args_in_order": [],
    "args": {},
    "return_annotation": None,
    "missing_return_annotation": (8, 14, 8, 15),
    "return_statements": [(9, 4, 9, 12)],
    "body": (9, 4, 9, 12),
    "return_arg": (9, 11, 9, 12),
}


class FixtureProject:
    """The fixture files written into a temporary directory."""

    def __init__(self, files=FILES):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        for name, text in files.items():
            path = os.path.join(self.root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)

    def path(self, name):
        return os.path.join(self.root, name)

    def paths(self, names=ORDER):
        return [self.path(name) for name in names]


class ProjectIndexTestCase(unittest.TestCase):
    def setUp(self):
        self.project = FixtureProject()
        self.addCleanup(self.project.tmp.cleanup)
        self.root = self.project.root
        self.path = self.project.path
        self.index = AstProjectIndex(self.project.paths(), self.root)


class QueryTest(ProjectIndexTestCase):
    def test_feature_class_by_module(self):
        self.assertEqual(
            as_data(self.index.feature_class_ast("pkg.features", "User")),
            USER)
        # pkg.features comes first in the list: its User is passed over.
        self.assertEqual(
            as_data(self.index.feature_class_ast("other.mod", "User")),
            OTHER_USER)
        for module, name in [("pkg.features", "Order"), ("pkg.bad", "User"),
                             ("other", "User"), ("", "")]:
            with self.subTest(module=module, name=name):
                self.assertIsNone(self.index.feature_class_ast(module, name))

    def test_feature_class_in_file(self):
        self.assertEqual(
            as_data(self.index.feature_class_ast_in_file(
                self.path("pkg/features.py"), "User")),
            USER)
        self.assertIsNone(self.index.feature_class_ast_in_file(
            self.path("pkg/features.py"), "user"))
        self.assertIsNone(self.index.feature_class_ast_in_file(
            self.path("pkg/missing.py"), "User"))

    def test_resolver_by_module(self):
        self.assertEqual(
            as_data(self.index.resolver_ast("pkg.resolvers", "get_name")),
            GET_NAME)
        self.assertEqual(
            as_data(self.index.resolver_ast("other.mod", "get_name")),
            OTHER_GET_NAME)
        # A path without the .py extension is walked and named all the same.
        scripted = self.index.resolver_ast("other.script", "scripted")
        self.assertEqual(scripted.resolver_name_location, (2, 4, 2, 12))
        for module, name in [("pkg.resolvers", "plain"),
                             ("pkg.bad", "get_name"), ("pkg", "get_name")]:
            with self.subTest(module=module, name=name):
                self.assertIsNone(self.index.resolver_ast(module, name))

    def test_resolver_in_file(self):
        self.assertEqual(
            as_data(self.index.resolver_ast_in_file(
                self.path("pkg/resolvers.py"), "get_name")),
            GET_NAME)
        for name in ["plain", "nested", "missing"]:
            with self.subTest(name=name):
                self.assertIsNone(self.index.resolver_ast_in_file(
                    self.path("pkg/resolvers.py"), name))

    def test_function_by_module(self):
        self.assertEqual(
            as_data(self.index.function_ast("pkg.resolvers", "plain")), PLAIN)
        self.assertEqual(
            as_data(self.index.function_ast("pkg.resolvers", "nested")),
            NESTED)
        self.assertEqual(
            as_data(self.index.function_ast("pkg.resolvers", "get_name")),
            GET_NAME)
        self.assertIsNone(self.index.function_ast("pkg.features", "plain"))
        self.assertIsNone(self.index.function_ast("pkg.resolvers", "missing"))

    def test_function_in_file(self):
        resolvers = self.path("pkg/resolvers.py")
        for name, expected in [("get_name", GET_NAME), ("plain", PLAIN),
                               ("nested", NESTED)]:
            with self.subTest(name=name):
                self.assertEqual(
                    as_data(self.index.function_ast_in_file(resolvers, name)),
                    expected)
        self.assertIsNone(self.index.function_ast_in_file(resolvers, "User"))

    def test_a_file_that_fails_to_parse_is_skipped_or_none(self):
        bad = self.path("pkg/bad.py")
        self.assertIsNone(self.index.function_ast_in_file(bad, "get_name"))
        self.assertIsNone(self.index.resolver_ast_in_file(bad, "get_name"))
        self.assertIsNone(self.index.feature_class_ast_in_file(bad, "User"))
        self.assertIsNone(self.index.function_ast("pkg.bad", "get_name"))
        # Queries by module walk past it to the files that answer.
        self.assertEqual(
            self.index.function_ast("pkg.resolvers", "get_name").module,
            "pkg.resolvers")

    def test_a_query_by_file_reads_a_path_that_is_not_listed(self):
        index = AstProjectIndex([], self.root)
        self.assertEqual(
            as_data(index.resolver_ast_in_file(self.path("pkg/resolvers.py"),
                                               "get_name")),
            GET_NAME)
        self.assertIsNone(index.resolver_ast("pkg.resolvers", "get_name"))

    def test_an_empty_index_answers_nothing(self):
        index = AstProjectIndex([], self.root)
        self.assertIsNone(index.nonblocking_start_index())
        self.assertIsNone(index.nonblocking_start_index())
        self.assertIsNone(index.feature_class_ast("pkg.features", "User"))
        self.assertIsNone(index.function_ast("pkg.resolvers", "plain"))
        self.assertIsNone(index.resolver_ast("pkg.resolvers", "get_name"))

    def test_with_a_filesystem_the_index_walks_its_own_list(self):
        # The file system lists nothing of the index's files; they are read
        # all the same, and in the order of `files`.
        filesystem = StdAstFileSystem([self.path("edges.py")])
        index = AstProjectIndex(
            [self.path("other/mod.py"), self.path("pkg/features.py")],
            self.root, filesystem)
        self.assertEqual(index.feature_class_ast("pkg.features", "User")
                         .namespace, "users")
        self.assertIsNone(index.function_ast("edges", "first"))
        self.assertIsNotNone(index.function_ast_in_file(self.path("edges.py"),
                                                        "first"))

    def test_a_path_listed_twice_is_walked_as_given(self):
        index = AstProjectIndex(
            [self.path("other/mod.py"), self.path("other/mod.py")], self.root)
        self.assertEqual(as_data(index.resolver_ast("other.mod", "get_name")),
                         OTHER_GET_NAME)
        self.assertIsNone(index.resolver_ast("pkg.resolvers", "get_name"))

    def test_the_first_function_of_a_name_wins(self):
        project = FixtureProject({"m.py": (
            "class C:\n    def f(self):\n        pass\n"
            "def f(a, a):\n    pass\n")})
        self.addCleanup(project.tmp.cleanup)
        index = AstProjectIndex(project.paths(["m.py"]), project.root)
        method = index.function_ast("m", "f")
        self.assertEqual(method.args_in_order, ["self"])
        self.assertEqual(method.resolver_name_location, (1, 8, 1, 9))

    def test_locations_count_characters_and_skip_a_byte_order_mark(self):
        first = self.index.function_ast("edges", "first")
        self.assertEqual(first.resolver_name_location, (0, 4, 0, 9))
        second = self.index.resolver_ast("edges", "second")
        self.assertEqual(second.kwarg_names, {"owner": (2, 0, 2, 5)})
        self.assertEqual(second.kwargs, {"owner": (2, 6, 2, 9)})
        self.assertEqual(second.decorator_location, (1, 1, 2, 10))


class RecordObjectTest(ProjectIndexTestCase):
    def setUp(self):
        super().setUp()
        self.user = self.index.feature_class_ast("pkg.features", "User")
        self.resolver = self.index.resolver_ast("pkg.resolvers", "get_name")

    def test_each_class_has_exactly_its_properties_in_order(self):
        for cls, names in PROPERTIES.items():
            with self.subTest(cls.__name__):
                own = [name for name, value in vars(cls).items()
                       if type(value).__name__ == "getset_descriptor"]
                self.assertEqual(own, names)
                for name in names:
                    self.assertIsNone(vars(cls)[name].__doc__)

    def test_records_cannot_be_made_changed_or_extended(self):
        objects = {FeatureClassAST: self.user,
                   FeatureFieldAST: self.user.fields["id"],
                   ResolverAST: self.resolver,
                   FunctionArgAST: self.resolver.args["uid"]}
        for cls, instance in objects.items():
            with self.subTest(cls.__name__):
                self.assertIsNone(cls.__doc__)
                self.assertEqual(cls.__module__, "builtins")
                with self.assertRaises(TypeError):
                    cls()
                with self.assertRaises(TypeError):
                    type("Derived", (cls,), {})
                name = PROPERTIES[cls][0]
                before = getattr(instance, name)
                with self.assertRaises(AttributeError):
                    setattr(instance, name, "changed")
                with self.assertRaises(AttributeError):
                    delattr(instance, name)
                with self.assertRaises(AttributeError):
                    instance.other = 1
                self.assertEqual(getattr(instance, name), before)
                self.assertFalse(hasattr(instance, "__dict__"))
                # The interpreter's default representation.
                self.assertEqual(repr(instance), object.__repr__(instance))
                self.assertIn(f"{cls.__name__} object at 0x", repr(instance))

    def test_every_read_builds_new_objects(self):
        first, second = self.user.fields, self.user.fields
        self.assertIsNot(first, second)
        self.assertIsNot(first["id"], second["id"])
        self.assertEqual(as_data(first["id"]), as_data(second["id"]))
        first["id"] = None
        del first["name"]
        self.assertEqual(as_data(self.user.fields), USER["fields"])
        annotations = self.user.annotations
        annotations.clear()
        self.assertEqual(len(self.user.annotations), 2)
        tags = self.user.fields["name"].tags
        tags.append("x")
        self.assertEqual(self.user.fields["name"].tags, ["pii", "core"])
        self.assertIsNot(self.resolver.args_in_order,
                         self.resolver.args_in_order)
        self.assertIsNot(self.resolver.kwarg_dict_key_names["tags"],
                         self.resolver.kwarg_dict_key_names["tags"])

    def test_equal_queries_give_distinct_equal_objects(self):
        again = self.index.feature_class_ast("pkg.features", "User")
        self.assertIsNot(again, self.user)
        # Records compare by identity, as plain objects do.
        self.assertNotEqual(again, self.user)
        self.assertEqual(as_data(again), as_data(self.user))

    def test_records_outlive_their_index(self):
        # A record object shares the index's own record; a nested one shares
        # its parent's. Each keeps what it needs when the rest is gone.
        field = self.user.fields["name"]
        arg = self.resolver.args["uid"]
        user, resolver = self.user, self.resolver
        del self.user, self.resolver, self.index
        gc.collect()
        self.assertEqual(as_data(user), USER)
        self.assertEqual(as_data(resolver), GET_NAME)
        del user, resolver
        gc.collect()
        self.assertEqual(as_data(field), USER["fields"]["name"])
        self.assertEqual(as_data(arg), GET_NAME["args"]["uid"])

    def test_locations_are_tuples_of_ints(self):
        location = self.resolver.resolver_name_location
        self.assertIs(type(location), tuple)
        self.assertTrue(all(type(number) is int for number in location))


class BindingTest(ProjectIndexTestCase):
    QUERIES = [
        ("feature_class_ast", "module", "class_name"),
        ("feature_class_ast_in_file", "file_path", "class_name"),
        ("resolver_ast", "module", "resolver_name"),
        ("resolver_ast_in_file", "file_path", "resolver_name"),
        ("function_ast", "module", "function_name"),
        ("function_ast_in_file", "file_path", "function_name"),
    ]

    def assert_type_error(self, text, call, *args, **kwargs):
        with self.assertRaises(TypeError) as caught:
            call(*args, **kwargs)
        self.assertIs(type(caught.exception), TypeError)
        self.assertEqual(str(caught.exception), text)

    def test_constructor_texts(self):
        cases = [
            ((), {}, "AstProjectIndex.__new__() missing 2 required positional"
                     " arguments: 'files' and 'project_root'"),
            (("x",), {}, "AstProjectIndex.__new__() missing 1 required "
                         "positional argument: 'project_root'"),
            (("x", "r"), {}, "argument 'files': Can't extract `str` to `Vec`"),
            (([], 1), {}, "argument 'project_root': 'int' object is not an "
                          "instance of 'str'"),
            (([], "r", 1), {}, "argument 'filesystem': 'int' object is not "
                               "an instance of 'StdAstFileSystem'"),
            (([1], "r"), {}, "argument 'files': 'int' object is not an "
                             "instance of 'str'"),
            ((None, "r"), {}, "argument 'files': 'None' is not an instance "
                              "of 'Sequence'"),
            (([], "r", None, 4), {}, "AstProjectIndex.__new__() takes from 2 "
                                     "to 3 positional arguments but 4 were "
                                     "given"),
            (([],), {"root": "r"}, "AstProjectIndex.__new__() got an "
                                   "unexpected keyword argument 'root'"),
            (([],), {"files": []}, "AstProjectIndex.__new__() got multiple "
                                   "values for argument 'files'"),
        ]
        for args, kwargs, text in cases:
            with self.subTest(args=args, kwargs=kwargs):
                self.assert_type_error(text, AstProjectIndex, *args, **kwargs)
        # Every parameter may be given by keyword, in any order.
        index = AstProjectIndex(filesystem=None, project_root=self.root,
                                files=(self.path("other/mod.py"),))
        self.assertIsNotNone(index.resolver_ast("other.mod", "get_name"))

    def test_query_texts(self):
        for method, first, second in self.QUERIES:
            call = getattr(self.index, method)
            prefix = f"AstProjectIndex.{method}()"
            with self.subTest(method):
                self.assert_type_error(
                    f"{prefix} missing 2 required positional arguments: "
                    f"'{first}' and '{second}'", call)
                self.assert_type_error(
                    f"{prefix} missing 1 required positional argument: "
                    f"'{second}'", call, "m")
                self.assert_type_error(
                    f"{prefix} takes 2 positional arguments but 3 were given",
                    call, "a", "b", "c")
                self.assert_type_error(
                    f"{prefix} got an unexpected keyword argument 'name'",
                    call, "a", name="b")
                self.assert_type_error(
                    f"{prefix} got multiple values for argument '{first}'",
                    call, "a", **{first: "b"})
                self.assert_type_error(
                    f"argument '{first}': 'int' object is not an instance of "
                    "'str'", call, 1, "b")
                self.assert_type_error(
                    f"argument '{second}': 'None' is not an instance of "
                    "'str'", call, "a", None)
                with self.assertRaises(UnicodeEncodeError):
                    call("\ud800", "b")
                self.assertIsNone(call(**{second: "nothing", first: "x"}))

    def test_nonblocking_start_index_takes_no_arguments(self):
        with self.assertRaises(TypeError):
            self.index.nonblocking_start_index(1)

    def test_signatures(self):
        self.assertEqual(AstProjectIndex.__text_signature__,
                         "(files, project_root, filesystem=None)")
        for method, first, second in self.QUERIES:
            with self.subTest(method):
                self.assertEqual(
                    getattr(AstProjectIndex, method).__text_signature__,
                    f"($self, {first}, {second})")
        self.assertEqual(
            AstProjectIndex.nonblocking_start_index.__text_signature__,
            "($self)")


def every_answer(index, project):
    """Every query of the fixture, found or not, as plain data."""
    answers = []
    for module, name in [("pkg.features", "User"), ("other.mod", "User"),
                         ("pkg.bad", "User")]:
        answers.append(as_data(index.feature_class_ast(module, name)))
    for module in ["pkg.resolvers", "other.mod", "other.script", "edges",
                   "pkg.bad"]:
        for name in ["get_name", "plain", "nested", "scripted", "first",
                     "second"]:
            answers.append(as_data(index.function_ast(module, name)))
            answers.append(as_data(index.resolver_ast(module, name)))
    for name in ORDER:
        path = project.path(name)
        answers.append(as_data(index.feature_class_ast_in_file(path, "User")))
        for function in ["get_name", "plain", "nested", "first", "second"]:
            answers.append(as_data(index.function_ast_in_file(path, function)))
            answers.append(as_data(index.resolver_ast_in_file(path, function)))
    return answers


class BackgroundIndexingTest(ProjectIndexTestCase):
    def test_background_indexing_gives_the_same_answers(self):
        fresh = every_answer(
            AstProjectIndex(self.project.paths(), self.root), self.project)
        self.index.nonblocking_start_index()
        self.assertEqual(every_answer(self.index, self.project), fresh)
        self.assertIn(USER, fresh)
        self.assertIn(GET_NAME, fresh)

    def test_threads_query_while_workers_run(self):
        # Started by several threads at once: once only, and every thread
        # gets the answers of a fresh index.
        fresh = every_answer(
            AstProjectIndex(self.project.paths(), self.root), self.project)
        results = [None] * 6

        def run(slot):
            self.index.nonblocking_start_index()
            results[slot] = every_answer(self.index, self.project)

        threads = [threading.Thread(target=run, args=(slot,))
                   for slot in range(len(results))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for result in results:
            self.assertEqual(result, fresh)


def run_python(code, cwd):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          cwd=cwd, capture_output=True, text=True,
                          timeout=120)


class SubprocessTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.root = self.tmp.name

    def test_exiting_while_workers_run(self):
        for i in range(300):
            with open(os.path.join(self.root, f"m{i}.py"), "w") as f:
                f.write(FEATURES + RESOLVERS * 20)
        code = """
            import glob, os
            from trelk_rs import AstProjectIndex
            root = os.getcwd()
            index = AstProjectIndex(sorted(glob.glob(root + "/*.py")), root)
            index.nonblocking_start_index()
            del index
        """
        # Exiting races the workers; a few runs meet them at different
        # points.
        for attempt in range(3):
            with self.subTest(attempt=attempt):
                result = run_python(code, self.root)
                self.assertEqual(result.stderr, "")
                self.assertEqual(result.returncode, 0)

    def test_deep_and_long_files_on_the_workers(self):
        files = {
            "deep.py": "x = " + "(" * 5000 + "1" + ")" * 5000 + "\n"
                       "def in_deep(): pass\n",
            "long.py": "x = " + "+".join(["1"] * 100_000) + "\n"
                       "def after_long(): pass\n",
            "ok.py": "from trelk import online\n@online\ndef fine(): pass\n",
        }
        for name, text in files.items():
            with open(os.path.join(self.root, name), "w") as f:
                f.write(text)
        code = """
            import os
            from trelk_rs import AstFileParserCache, AstProjectIndex
            root = os.getcwd()
            paths = [os.path.join(root, name)
                     for name in ("deep.py", "long.py", "ok.py")]
            index = AstProjectIndex(paths, root)
            index.nonblocking_start_index()
            assert index.resolver_ast("ok", "fine") is not None
            assert index.function_ast_in_file(paths[1], "after_long")
            assert index.function_ast_in_file(paths[0], "in_deep") is None
            assert index.function_ast("deep", "in_deep") is None
            try:
                AstFileParserCache(paths, root).get_parsed_file(paths[0])
            except ValueError as error:
                assert "Parser stack overflowed" in str(error), error
            else:
                raise AssertionError("deep.py parsed")
            print("answered")
        """
        result = run_python(code, self.root)
        self.assertEqual(result.stderr, "")
        self.assertEqual(result.stdout, "answered\n")
        self.assertEqual(result.returncode, 0)

    def test_a_fifo_in_the_project_is_a_failed_file(self):
        # Before, a worker blocked opening the FIFO and the query by module
        # waited for it with the interpreter lock held: the child hung until
        # the bounded wait of run_python ended it.
        os.mkfifo(os.path.join(self.root, "a_pipe.py"))
        with open(os.path.join(self.root, "b.py"), "w") as f:
            f.write("def f(): pass\n")
        code = """
            import os
            from trelk_rs import AstFileParserCache, AstProjectIndex
            root = os.getcwd()
            paths = [os.path.join(root, name) for name in ("a_pipe.py", "b.py")]
            index = AstProjectIndex(paths, root)
            index.nonblocking_start_index()
            print(index.function_ast("b", "f").resolver_name)
            print(index.function_ast_in_file(paths[0], "f"))
            try:
                AstFileParserCache(paths, root).get_parsed_file(paths[0])
            except ValueError as error:
                print(error)
        """
        result = run_python(code, self.root)
        self.assertEqual(result.stderr, "")
        self.assertEqual(
            result.stdout,
            "f\nNone\nFailed to read " + os.path.join(self.root, "a_pipe.py")
            + ": No such device or address (os error 6)\n")
        self.assertEqual(result.returncode, 0)


REPOSITORY = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                          os.pardir, os.pardir)


class MainJobTest(unittest.TestCase):
    def test_the_readme_shows_what_the_main_job_prints(self):
        with open(os.path.join(REPOSITORY, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        shown = readme.split("it prints (the time varies):\n\n", 1)[1]
        shown = textwrap.dedent(shown.split("\n\n", 1)[0]) + "\n"

        def timeless(text):
            return re.sub(r" in [0-9.]+ ms$", " in T ms", text, flags=re.M)

        def run(stderr):
            return subprocess.run(
                [sys.executable, os.path.join("tools", "index_project.py")],
                cwd=REPOSITORY, stdout=subprocess.PIPE, stderr=stderr,
                encoding="utf-8", timeout=120)

        # Both streams into one, as a terminal shows them: the failure in
        # its file's place.
        together = run(subprocess.STDOUT)
        self.assertEqual(together.returncode, 1)
        self.assertEqual(timeless(together.stdout), timeless(shown))
        # Apart: the failure alone on standard error, the summary last on
        # standard output.
        apart = run(subprocess.PIPE)
        self.assertEqual(apart.returncode, 1)
        lines = shown.splitlines(keepends=True)
        self.assertEqual(apart.stderr,
                         "".join(line for line in lines if ": error: " in line))
        self.assertEqual(timeless(apart.stdout), timeless(
            "".join(line for line in lines if ": error: " not in line)))
        self.assertRegex(apart.stdout.splitlines()[-1],
                         r"^7 files, 4 feature classes, 4 resolvers, 1 failure"
                         r" in [0-9.]+ ms$")


if __name__ == "__main__":
    unittest.main()
