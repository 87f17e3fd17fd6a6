"""The type stub against the built module: every name, signature, constructor,
method and property that the module has at run time is in trelk_rs.pyi beside
it, with the same parameters and defaults, and every value that the module
returns on a small project has the type that the stub gives."""

import ast
import datetime
import inspect
import os
import types
import unittest
from pathlib import Path

import trelk_rs
from test_project_index import FEATURES, RESOLVERS, FixtureProject

STUB = Path(trelk_rs.__file__).with_name("trelk_rs.pyi")

# Py_TPFLAGS_BASETYPE: the class can be subclassed.
BASETYPE_FLAG = 1 << 10

def parse_stub():
    return ast.parse(STUB.read_text(encoding="utf-8"), filename=str(STUB))


def stub_all(tree):
    for node in tree.body:
        if isinstance(node, ast.Assign) and [
                target.id for target in node.targets] == ["__all__"]:
            return ast.literal_eval(node.value)
    raise AssertionError("the stub has no __all__")


def is_property(function):
    return any(isinstance(d, ast.Name) and d.id == "property"
               for d in function.decorator_list)


def stub_parameters(function, skip_first):
    """(name, kind, default) of each parameter, as inspect names them."""
    arguments = function.args
    result = []
    positional = arguments.posonlyargs + arguments.args
    defaults = [None] * (len(positional) - len(arguments.defaults)) + [
        ast.literal_eval(d) for d in arguments.defaults]
    kinds = ([inspect.Parameter.POSITIONAL_ONLY] * len(arguments.posonlyargs)
             + [inspect.Parameter.POSITIONAL_OR_KEYWORD] * len(arguments.args))
    has_default = ([False] * (len(positional) - len(arguments.defaults))
                   + [True] * len(arguments.defaults))
    for arg, kind, default, given in zip(positional, kinds, defaults,
                                         has_default):
        result.append((arg.arg, kind, default if given else inspect._empty))
    if arguments.vararg:
        result.append((arguments.vararg.arg, inspect.Parameter.VAR_POSITIONAL,
                       inspect._empty))
    for arg, default in zip(arguments.kwonlyargs, arguments.kw_defaults):
        result.append((arg.arg, inspect.Parameter.KEYWORD_ONLY,
                       inspect._empty if default is None
                       else ast.literal_eval(default)))
    if arguments.kwarg:
        result.append((arguments.kwarg.arg, inspect.Parameter.VAR_KEYWORD,
                       inspect._empty))
    return result[1:] if skip_first else result


def runtime_parameters(callable_object, skip_first):
    parameters = list(inspect.signature(callable_object).parameters.values())
    result = [(p.name, p.kind, p.default) for p in parameters]
    return result[1:] if skip_first else result


def all_annotations(function):
    arguments = function.args
    every = (arguments.posonlyargs + arguments.args + arguments.kwonlyargs
             + [a for a in (arguments.vararg, arguments.kwarg) if a])
    return [(arg.arg, arg.annotation) for arg in every] + [
        ("return", function.returns)]


class Conformance:
    """Checks a value against a return annotation of the stub."""

    def __init__(self, self_type=None):
        self.self_type = self_type

    def check(self, value, annotation):
        match annotation:
            case ast.Constant(value=None):
                return value is None
            case ast.BinOp(op=ast.BitOr()):
                return (self.check(value, annotation.left)
                        or self.check(value, annotation.right))
            case ast.Name(id="Self"):
                return type(value) is self.self_type
            case ast.Name(id=name) if name in ("str", "int", "float", "bool"):
                return type(value) is {"str": str, "int": int,
                                       "float": float, "bool": bool}[name]
            case ast.Name(id=name):
                return type(value) is getattr(trelk_rs, name)
            case ast.Attribute(value=ast.Name(id="datetime"), attr="tzinfo"):
                # Abstract: every zone is of a subclass.
                return isinstance(value, datetime.tzinfo)
            case ast.Attribute(value=ast.Name(id="datetime"), attr=attr):
                # Exact, since a datetime is also a date.
                return type(value) is getattr(datetime, attr)
            case ast.Subscript(value=ast.Name(id="tuple"), slice=ast.Tuple(
                    elts=items)):
                return (type(value) is tuple and len(value) == len(items)
                        and all(map(self.check, value, items)))
            case ast.Subscript(value=ast.Name(id="list"), slice=item):
                return type(value) is list and all(
                    self.check(element, item) for element in value)
            case ast.Subscript(value=ast.Name(id="dict"), slice=ast.Tuple(
                    elts=[key, item])):
                return type(value) is dict and all(
                    self.check(k, key) and self.check(v, item)
                    for k, v in value.items())
        raise AssertionError(f"no check for {ast.unparse(annotation)}")


def runtime_names():
    classes = [name for name in trelk_rs.__all__
               if isinstance(getattr(trelk_rs, name), type)]
    functions = [name for name in trelk_rs.__all__ if name not in classes]
    return classes, functions


def runtime_members(cls):
    methods = [name for name, value in vars(cls).items()
               if not name.startswith("__")
               and isinstance(value, types.MethodDescriptorType)]
    properties = [name for name, value in vars(cls).items()
                  if isinstance(value, types.GetSetDescriptorType)
                  and not name.startswith("__")]
    return methods, properties


class StubShapeTest(unittest.TestCase):
    """Names and signatures: the stub says what the module has."""

    @classmethod
    def setUpClass(cls):
        cls.tree = parse_stub()
        cls.classes = {node.name: node for node in cls.tree.body
                       if isinstance(node, ast.ClassDef)}
        cls.functions = {node.name: node for node in cls.tree.body
                         if isinstance(node, ast.FunctionDef)}

    def test_public_names_are_the_modules_in_its_order(self):
        self.assertEqual(stub_all(self.tree), trelk_rs.__all__)
        public = [node.name for node in self.tree.body
                  if isinstance(node, (ast.ClassDef, ast.FunctionDef))]
        self.assertEqual(public, trelk_rs.__all__)
        self.assertNotIn("PanicException", public)

    def test_functions_have_the_modules_parameters_and_defaults(self):
        _, functions = runtime_names()
        for name in functions:
            with self.subTest(name):
                self.assertEqual(
                    stub_parameters(self.functions[name], skip_first=False),
                    runtime_parameters(getattr(trelk_rs, name),
                                       skip_first=False))

    def test_classes_have_the_modules_members_in_order(self):
        classes, _ = runtime_names()
        for name in classes:
            cls = getattr(trelk_rs, name)
            node = self.classes[name]
            members = [m for m in node.body if isinstance(m, ast.FunctionDef)]
            methods, properties = runtime_members(cls)
            with self.subTest(name):
                self.assertEqual(
                    [m.name for m in members
                     if not is_property(m) and not m.name.startswith("__")],
                    methods)
                self.assertEqual(
                    [m.name for m in members if is_property(m)], properties)
                # Properties are read-only: a getter only, never a setter.
                self.assertEqual(len({m.name for m in members}), len(members))
                for method in methods:
                    stub_method = next(m for m in members if m.name == method)
                    self.assertEqual(
                        stub_parameters(stub_method, skip_first=True),
                        runtime_parameters(getattr(cls, method),
                                           skip_first=True), method)

    def test_constructors_match_and_only_service_classes_have_one(self):
        classes, _ = runtime_names()
        for name in classes:
            cls = getattr(trelk_rs, name)
            constructors = [m for m in self.classes[name].body
                            if isinstance(m, ast.FunctionDef)
                            and m.name in ("__new__", "__init__")]
            with self.subTest(name):
                if cls.__text_signature__ is None:
                    with self.assertRaises(TypeError):
                        cls()
                    self.assertEqual(constructors, [])
                    continue
                self.assertEqual([c.name for c in constructors], ["__new__"])
                self.assertEqual(
                    stub_parameters(constructors[0], skip_first=True),
                    runtime_parameters(cls, skip_first=False))

    def test_classes_are_final_exactly_when_they_cannot_be_subclassed(self):
        classes, _ = runtime_names()
        for name in classes:
            decorators = [ast.unparse(d)
                          for d in self.classes[name].decorator_list]
            subclassable = bool(getattr(trelk_rs, name).__flags__
                                & BASETYPE_FLAG)
            with self.subTest(name):
                self.assertEqual("final" in decorators, not subclassable)

    def test_every_parameter_and_result_is_annotated(self):
        nodes = list(self.functions.values()) + [
            member for cls in self.classes.values() for member in cls.body
            if isinstance(member, ast.FunctionDef)]
        for node in nodes:
            annotations = all_annotations(node)
            if annotations[0][0] in ("self", "cls"):
                annotations = annotations[1:]
            for parameter, annotation in annotations:
                with self.subTest(node.name, parameter=parameter):
                    self.assertIsNotNone(annotation)


class StubTypesTest(unittest.TestCase):
    """Values: what the module returns has the stub's type."""

    @classmethod
    def setUpClass(cls):
        tree = parse_stub()
        cls.returns = {}
        for node in tree.body:
            if isinstance(node, ast.FunctionDef):
                cls.returns[node.name] = node.returns
            if isinstance(node, ast.ClassDef):
                for member in node.body:
                    if isinstance(member, ast.FunctionDef):
                        cls.returns[f"{node.name}.{member.name}"] = (
                            member.returns)
        cls.project = FixtureProject(
            {"features.py": FEATURES, "resolvers.py": RESOLVERS})
        cls.features = cls.project.path("features.py")
        cls.resolvers = cls.project.path("resolvers.py")
        cls.root = cls.project.root

    @classmethod
    def tearDownClass(cls):
        cls.project.tmp.cleanup()

    def samples(self):
        """(qualified name, result) of calls that cover every callable."""
        files = [self.features, self.resolvers]
        filesystem = trelk_rs.StdAstFileSystem(files)
        cache = trelk_rs.AstFileParserCache(files, self.root)
        index = trelk_rs.AstProjectIndex(files, self.root, filesystem)
        missing = os.path.join(self.root, "missing.py")
        return [
            ("StdAstFileSystem.__new__", filesystem),
            ("StdAstFileSystem.read_to_string",
             filesystem.read_to_string(self.features)),
            ("StdAstFileSystem.all_files", filesystem.all_files()),
            ("AstFileParserCache.__new__", cache),
            ("AstFileParserCache.all_files", cache.all_files()),
            ("AstFileParserCache.get_parsed_file",
             cache.get_parsed_file(self.resolvers)),
            ("AstProjectIndex.__new__", index),
            ("AstProjectIndex.feature_class_ast",
             index.feature_class_ast("features", "User")),
            ("AstProjectIndex.feature_class_ast",
             index.feature_class_ast("features", "Nobody")),
            ("AstProjectIndex.feature_class_ast_in_file",
             index.feature_class_ast_in_file(self.features, "User")),
            ("AstProjectIndex.feature_class_ast_in_file",
             index.feature_class_ast_in_file(missing, "User")),
            ("AstProjectIndex.resolver_ast",
             index.resolver_ast("resolvers", "get_name")),
            ("AstProjectIndex.resolver_ast",
             index.resolver_ast("resolvers", "plain")),
            ("AstProjectIndex.resolver_ast_in_file",
             index.resolver_ast_in_file(self.resolvers, "get_name")),
            ("AstProjectIndex.function_ast",
             index.function_ast("resolvers", "plain")),
            ("AstProjectIndex.function_ast",
             index.function_ast("resolvers", "nothing")),
            ("AstProjectIndex.function_ast_in_file",
             index.function_ast_in_file(self.resolvers, "plain")),
            ("AstProjectIndex.nonblocking_start_index",
             index.nonblocking_start_index()),
            ("parse_duration_ms", trelk_rs.parse_duration_ms("1h30m")),
            ("parse_duration_s", trelk_rs.parse_duration_s("1h30m")),
            ("seconds_to_duration_string",
             trelk_rs.seconds_to_duration_string(5400)),
            ("parse_iso_date", trelk_rs.parse_iso_date("2024-01-02")),
            ("parse_iso_time", trelk_rs.parse_iso_time("12:00+05:30")),
            ("parse_datetime", trelk_rs.parse_datetime("2024-01-02T12:00Z")),
            ("parse_iso_duration", trelk_rs.parse_iso_duration("PT1.5S")),
            ("duration_isoformat",
             trelk_rs.duration_isoformat(datetime.timedelta(seconds=90))),
            ("timezone_from_name", trelk_rs.timezone_from_name("UTC")),
            ("timezone_from_name", trelk_rs.timezone_from_name("")),
            ("to_snake_case", trelk_rs.to_snake_case("HelloWorld")),
            ("build_namespaced_name",
             trelk_rs.build_namespaced_name("a", "b")),
        ]

    def records(self, samples):
        """Every record reachable from the samples, nested ones included."""
        pending = [value for _, value in samples]
        found = []
        while pending:
            value = pending.pop()
            if isinstance(value, (list, tuple)):
                pending.extend(value)
            elif isinstance(value, dict):
                pending.extend(value.values())
            elif type(value).__name__ in ("FeatureClassAST", "FeatureFieldAST",
                                          "ResolverAST", "FunctionArgAST"):
                found.append(value)
                _, properties = runtime_members(type(value))
                pending.extend(getattr(value, name) for name in properties)
        return found

    def test_results_have_the_stubs_types(self):
        samples = self.samples()
        called = set()
        for name, value in samples:
            called.add(name)
            self_type = getattr(trelk_rs, name.split(".")[0], None)
            with self.subTest(name, value=value):
                self.assertTrue(Conformance(self_type).check(
                    value, self.returns[name]), ast.unparse(self.returns[name]))
        classes, functions = runtime_names()
        every = set(functions)
        for class_name in classes:
            cls = getattr(trelk_rs, class_name)
            methods, _ = runtime_members(cls)
            every.update(f"{class_name}.{m}" for m in methods)
            if cls.__text_signature__ is not None:
                every.add(f"{class_name}.__new__")
        self.assertEqual(called, every)

    def test_properties_have_the_stubs_types(self):
        seen = {}
        for record in self.records(self.samples()):
            cls = type(record)
            _, properties = runtime_members(cls)
            for name in properties:
                qualified = f"{cls.__name__}.{name}"
                value = getattr(record, name)
                seen.setdefault(qualified, set()).add(value is None)
                with self.subTest(qualified, value=value):
                    self.assertTrue(Conformance().check(
                        value, self.returns[qualified]),
                        ast.unparse(self.returns[qualified]))
        every = {f"{name}.{p}" for name in runtime_names()[0]
                 for p in runtime_members(getattr(trelk_rs, name))[1]}
        self.assertEqual(set(seen), every)
        # Each property was seen with a value, so more than the None of an
        # optional type has been checked.
        self.assertEqual([name for name, nones in seen.items()
                          if nones == {True}], [])


if __name__ == "__main__":
    unittest.main()
