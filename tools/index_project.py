"""Indexes a project's Python files with trelk_rs, in the background, and
prints its feature classes and resolvers.

usage: python3.13 tools/index_project.py [PROJECT_ROOT]

PROJECT_ROOT defaults to examples/sample_project. Every .py file below it is
indexed without being imported or run. Each feature class is printed with its
module, namespace, decorator and fields, each resolver with its decorator,
parameters and return annotation, each on a line that begins with its place
as PATH:LINE:COLUMN (1-based, columns counted in characters), so that an
editor can open it. Every file that could not be read or parsed is named with
its error, and the last line sums up the run.

The module must be importable (PYTHONPATH pointing at the build's src/).
"""

import os
import re
import sys
import time

import trelk_rs

DEFAULT_ROOT = os.path.join(
    os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples",
    "sample_project")

# The index answers queries by name, so the names to ask for are read from
# the text first. A name found here that is no definition (it stands in a
# string, say) only costs a query that finds nothing.
CLASS_NAME = re.compile(r"^[ \t]*class[ \t]+(\w+)", re.MULTILINE)
FUNCTION_NAME = re.compile(r"^[ \t]*(?:async[ \t]+)?def[ \t]+(\w+)",
                           re.MULTILINE)
# Line breaks as the locations count them.
LINE_BREAK = re.compile(r"\r\n|\r|\n")


def project_files(root):
    """The .py files below `root`, as absolute paths, in a stable order."""
    files = []
    for directory, subdirectories, names in os.walk(root):
        subdirectories.sort()
        for name in sorted(names):
            if name.endswith(".py"):
                files.append(os.path.abspath(os.path.join(directory, name)))
    return files


def unique(names):
    return list(dict.fromkeys(names))


def plural(count, word, words=None):
    return f"{count} {word}" if count == 1 else f"{count} {words or word + 's'}"


def shown_path(path):
    """`path` relative to the working directory when it lies below it."""
    relative = os.path.relpath(path)
    return path if relative.startswith(os.pardir) else relative


class SourceFile:
    """One file's text, for showing the code at a location."""

    def __init__(self, path, text):
        self.shown = shown_path(path)
        # Characters on the first line are counted after a byte-order mark.
        self.lines = LINE_BREAK.split(text.removeprefix("\ufeff"))

    def place(self, location):
        line, character, _, _ = location
        return f"{self.shown}:{line + 1}:{character + 1}"

    def code(self, location):
        """The text at `location`, its white space runs made single spaces."""
        start_line, start, end_line, end = location
        if start_line == end_line:
            text = self.lines[start_line][start:end]
        else:
            text = "\n".join([self.lines[start_line][start:]]
                             + self.lines[start_line + 1:end_line]
                             + [self.lines[end_line][:end]])
        return " ".join(text.split())


def describe_feature_class(source, cls):
    lines = [f"{source.place(cls.class_name_location)}: feature class "
             f"{cls.class_name} (module {cls.module}, namespace "
             f"{cls.namespace})",
             f"{source.place(cls.decorator_location)}:   decorator "
             f"@{source.code(cls.decorator_location)}"]
    for field in cls.fields.values():
        text = field.field_name
        if field.annotation is not None:
            text += ": " + source.code(field.annotation)
        if field.feature_call is not None:
            text += " = " + source.code(field.feature_call)
        if field.owner is not None:
            text += f"  [owner {field.owner}]"
        if field.tags:
            text += "  [tags " + ", ".join(field.tags) + "]"
        if field.description is not None:
            text += "  # " + " ".join(field.description.split())
        lines.append(f"{source.place(field.field_name_location)}:   field "
                     f"{text}")
    return lines


def describe_resolver(source, resolver):
    lines = [f"{source.place(resolver.resolver_name_location)}: resolver "
             f"{resolver.resolver_name} (module {resolver.module})",
             f"{source.place(resolver.decorator_location)}:   decorator "
             f"@{source.code(resolver.decorator_location)}"]
    args = resolver.args
    for name in unique(resolver.args_in_order):
        location = args[name].arg_location
        lines.append(f"{source.place(location)}:   parameter "
                     f"{source.code(location)}")
    if resolver.return_annotation is not None:
        lines.append(f"{source.place(resolver.return_annotation)}:   returns "
                     f"{source.code(resolver.return_annotation)}")
    elif resolver.missing_return_annotation is not None:
        lines.append(f"{source.place(resolver.missing_return_annotation)}:   "
                     "no return annotation")
    return lines


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1] in ("-h", "--help")):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1] if len(argv) == 2 else DEFAULT_ROOT)
    if not os.path.isdir(root):
        print(f"{root} is not a directory", file=sys.stderr)
        return 2
    started = time.perf_counter()
    files = project_files(root)
    print(f"Indexing {plural(len(files), 'file')} under {shown_path(root)} "
          "in the background")
    filesystem = trelk_rs.StdAstFileSystem(files)
    index = trelk_rs.AstProjectIndex(files, root, filesystem)
    # Workers compute every file while this thread asks for them in order;
    # a query waits for a file that a worker is computing.
    index.nonblocking_start_index()

    classes = resolvers = 0
    failures = []
    # Only files in which nothing was found can have failed; they are asked
    # once more, of a parse cache, for the error that the index keeps to
    # itself.
    parse_cache = trelk_rs.AstFileParserCache([], root, filesystem)
    for path in files:
        try:
            text = filesystem.read_to_string(path)
        except OSError as error:
            failures.append(f"failed: Failed to read {shown_path(path)}: "
                            f"{error}")
            continue
        source = SourceFile(path, text)
        found = False
        for name in unique(CLASS_NAME.findall(text)):
            cls = index.feature_class_ast_in_file(path, name)
            if cls is not None:
                found = True
                classes += 1
                print("\n".join(describe_feature_class(source, cls)))
        for name in unique(FUNCTION_NAME.findall(text)):
            resolver = index.resolver_ast_in_file(path, name)
            if resolver is not None:
                resolvers += 1
                print("\n".join(describe_resolver(source, resolver)))
            found = found or index.function_ast_in_file(path, name) is not None
        if not found:
            try:
                parse_cache.get_parsed_file(path)
            except ValueError as error:
                # The message names the file by the path it was given.
                message = str(error).replace(path, source.shown, 1)
                failures.append(f"failed: {message}")
    for failure in failures:
        print(failure)
    elapsed = time.perf_counter() - started
    print(f"{plural(len(files), 'file')}, "
          f"{plural(classes, 'feature class', 'feature classes')}, "
          f"{plural(resolvers, 'resolver')}, "
          f"{plural(len(failures), 'failure')} in {elapsed * 1000:.1f} ms")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except BrokenPipeError:
        # The reader stopped early (`| head`): no traceback, and none from
        # the flush at exit either.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
