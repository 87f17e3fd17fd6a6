"""Differential test: feature-class extraction against CPython 3.13's ast
over a corpus made from its standard library.

Every .py file of the standard library that defines a class is rewritten
into a temporary directory: it first imports the `features` decorator, and
every line that begins a class statement gets `@features(name="x")` right
above it, so that every class of the library becomes a feature class.
`extract_dump` (path in TRELK_EXTRACT_DUMP) extracts the corpus in one run,
which must end with no internal failure. For every class CPython finds,
extraction must find one at the same place, with the same name location,
definition line and decorator location, the same keyword locations of the
decorator, and the same fields: for each annotated field and each plain
field of the class body, its name location, annotation, assigned value and
the keyword locations of an assigned call, merged by the rules of feature
fields. CPython gives no location for a class's name: it is taken as the
identifier after `class` in the source.

Known, intended differences (the only normalisations applied):

1. Files that are not UTF-8, that CPython refuses once rewritten, or whose
   text holds a carriage return (whose definition lines would need the
   line-break rules spelled out twice) are not compared; they are counted.
"""

import ast
import os
import re
import tempfile
import unittest
import warnings

from stdlib_corpus import STDLIB, compare_corpus, stdlib_files
from test_extraction_stdlib import Source, location, run_extract_dump

EXTRACT_DUMP = os.environ.get("TRELK_EXTRACT_DUMP")
CLASS_LINE = re.compile(r"^([ \t]*)class ", re.M)
CLASS_KEYWORD = re.compile(r"class(?:[ \t\f]|\\\n)+")
IDENTIFIER = re.compile(r"\w+")
DECORATOR = '@features(name="x")'


def rewrite(text):
    return ("from trelk.features import features\n"
            + CLASS_LINE.sub(lambda m: f"{m[1]}{DECORATOR}\n{m[1]}class ",
                             text))


def parse_dump(lines):
    """The feature classes of one file's dump."""
    classes = []
    target = None
    for line in lines:
        words = line.split(" ")
        if line.startswith("feature_class "):
            classes.append({"name": words[1], "at": location(words[2]),
                            "keywords": {}, "annotations": [], "fields": {}})
            target = classes[-1]["keywords"]
        elif not classes or not line.startswith("  "):
            continue
        elif line.startswith("  line "):
            classes[-1]["line"] = location(words[3])
        elif line.startswith("  decorator "):
            classes[-1]["decorator"] = location(words[3])
        elif line.startswith(("  annotation ", "  field ")):
            field = {"name": words[3], "at": location(words[4]),
                     "annotation": location(words[6]),
                     "call": location(words[8]), "keywords": {}}
            if words[2] == "annotation":
                classes[-1]["annotations"].append(field)
            else:
                classes[-1]["fields"][field["name"]] = field
            target = field["keywords"]
        elif line.startswith(("  kwarg_name ", "    kwarg_name ")):
            target.setdefault(line.split()[1], [None, None])[0] = location(
                line.split()[2])
        elif line.startswith(("  kwarg ", "    kwarg ")):
            target.setdefault(line.split()[1], [None, None])[1] = location(
                line.split()[2])
    return classes


def keywords(source, call):
    found = {}
    for keyword in call.keywords:
        if keyword.arg is None:
            continue
        start = source.offset(*source.position(keyword.lineno,
                                               keyword.col_offset))
        value = source.span(keyword.value)
        name = source.text.find(keyword.arg, start,
                                source.offset(*value[:2]))
        found[keyword.arg] = [
            source.at(name) + source.at(name + len(keyword.arg))
            if name >= 0 else None, value]
    found = {k: v for k, v in found.items() if v[0] is not None}
    return found


def field_record(source, statement, annotated):
    target = statement.target if annotated else statement.targets[0]
    value = statement.value
    is_call = isinstance(value, ast.Call)
    return {
        "name": target.id,
        "at": source.span(target),
        "annotation": source.span(statement.annotation) if annotated
        else None,
        "call": source.span(value) if value is not None
        and (is_call or not annotated) else None,
        "keywords": keywords(source, value) if is_call else {},
    }


def expected_class(source, node):
    start = source.offset(*source.position(node.lineno, node.col_offset))
    name_start = CLASS_KEYWORD.match(source.text, start).end()
    name_end = IDENTIFIER.match(source.text, name_start).end()
    line, _ = source.at(name_start)
    line_end = source.text.find("\n", name_start)
    line_end = len(source.text) if line_end < 0 else line_end
    decorator = node.decorator_list[-1]
    annotations = []
    plain = []
    for statement in node.body:
        if (isinstance(statement, ast.AnnAssign)
                and isinstance(statement.target, ast.Name)):
            annotations.append(field_record(source, statement, True))
        elif (isinstance(statement, ast.Assign)
              and len(statement.targets) == 1
              and isinstance(statement.targets[0], ast.Name)):
            plain.append(field_record(source, statement, False))
    fields = {}
    for field in annotations:
        fields.setdefault(field["name"], dict(field))
    for field in plain:
        if field["name"] in fields:
            fields[field["name"]].update(call=field["call"],
                                         keywords=field["keywords"])
        else:
            fields[field["name"]] = field
    return {
        "name": node.name,
        "at": source.at(name_start) + source.at(name_end),
        "line": (line, 0) + source.at(line_end),
        "decorator": source.span(decorator),
        "keywords": keywords(source, decorator),
        "annotations": annotations,
        "fields": fields,
    }


def compare_file(item):
    """Returns (status, classes compared, fields compared, differences)."""
    path, lines = item
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")
    if "\r" in text:
        return "carriage-return", 0, 0, []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            tree = ast.parse(text)
        except (SyntaxError, ValueError):
            return "cpython-refuses", 0, 0, []
    if lines and lines[0].startswith(("error: ", "panic: ")):
        return "ours-fails", 0, 0, [f"{path}: {lines[0]}"]
    source = Source(text)
    expected = sorted((expected_class(source, node)
                       for node in ast.walk(tree)
                       if isinstance(node, ast.ClassDef)),
                      key=lambda c: c["at"])
    ours = sorted(parse_dump(lines), key=lambda c: c["at"])
    if [c["name"] for c in ours] != [c["name"] for c in expected]:
        return "compared", 0, 0, [f"{path}: classes differ"]
    diffs = []
    fields = 0
    for mine, theirs in zip(ours, expected):
        fields += len(theirs["annotations"]) + len(theirs["fields"])
        for key in theirs:
            if mine.get(key) != theirs[key]:
                diffs.append(f"{path}: class {theirs['name']} at "
                             f"{theirs['at']}: {key} {mine.get(key)} != "
                             f"{theirs[key]}")
    return "compared", len(expected), fields, diffs


@unittest.skipUnless(EXTRACT_DUMP, "TRELK_EXTRACT_DUMP is not set")
class FeatureExtractionStdlibTest(unittest.TestCase):
    def test_feature_classes_match_cpython(self):
        with tempfile.TemporaryDirectory() as corpus:
            files = []
            for path in stdlib_files():
                try:
                    with open(path, encoding="utf-8", newline="") as f:
                        text = f.read()
                except UnicodeDecodeError:
                    continue
                if "class " not in text:
                    continue
                out = os.path.join(corpus, os.path.relpath(path, STDLIB))
                os.makedirs(os.path.dirname(out), exist_ok=True)
                with open(out, "w", encoding="utf-8", newline="") as f:
                    f.write(rewrite(text))
                files.append(out)
            summary, dumps = run_extract_dump(self, corpus, files, corpus)
            print(f"\nextraction: {summary}")
            _, statuses, (compared, fields), diffs = compare_corpus(
                compare_file, [(path, dumps[path]) for path in files])
        print(f"files by status: {statuses}; classes compared: {compared}; "
              f"fields compared: {fields}")
        self.assertGreater(compared, 10000)
        self.maxDiff = None
        self.assertEqual(diffs[:20], [])
        self.assertEqual(len(diffs), 0)


if __name__ == "__main__":
    unittest.main()
